// The file layer's listings and piecewise comparison: each gives what a reader of the whole
// folder or of the whole files would say.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "store/dbase/table_files.h"
#include "store/files/file_io.h"
#include "support/files.h"
#include "support/scratch_dir.h"

namespace lindavex::testing {
namespace {
namespace io = store::file_io;

// The same bytes outside [from, to), as a reader of two whole files would say.
bool sameWhole(const std::string& a, const std::string& b, std::size_t from, std::size_t to) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if ((i < from || i >= to) && a[i] != b[i]) return false;
    return true;
}

// Each entry of a folder once, by the name it has, as a folder only when it is one: a link to a
// folder is a file, so that removing it leaves what it names. Both forms of the listing agree,
// and a name is found in any letter case, spelled as the folder spells it.
TEST(FileIo, ListingGivesEachEntryByItsNameAndKind) {
    namespace fs = std::filesystem;
    ScratchDir dir;
    std::map<fs::path, bool> expected = {
        {"PROFT.DBF", false}, {"sub", true}, {fs::path(u8"a\u00f1o.txt"), false}};
#ifndef _WIN32  // where names keep their case, and links are made freely
    expected["proft.dbf"] = false;
#endif
    for (const auto& [name, folder] : expected) {
        if (folder)
            fs::create_directory(dir.path() / name);
        else
            writeBytes(dir.path() / name, "x");
    }
#ifndef _WIN32
    fs::create_directory_symlink(dir / "sub", dir / "linked");
    fs::create_symlink(dir / "gone", dir / "dangling");
    expected["linked"] = false;
    expected["dangling"] = false;
#endif
    std::vector<store::platform::Listed> named;
    std::vector<io::Entry> entries;
    ASSERT_EQ(io::listFolder(dir.path(), named), 0);
    ASSERT_EQ(io::listFolder(dir.path(), entries), 0);
    std::map<fs::path, bool> byName, byPath;
    for (const auto& entry : named) EXPECT_TRUE(byName.emplace(entry.name, entry.folder).second);
    for (const auto& entry : entries) {
        EXPECT_EQ(entry.path.parent_path(), dir.path());
        byPath.emplace(entry.path.filename(), entry.folder);
    }
    EXPECT_EQ(byName, expected);
    EXPECT_EQ(byPath, expected);
    EXPECT_EQ(io::listFolder(dir / "missing", named), ENOENT);
    EXPECT_TRUE(named.empty());

    std::error_code ec;
    const store::FolderNames folder(dir.path(), ec);
    ASSERT_FALSE(ec);
    EXPECT_EQ(folder.spelled("Proft.Dbf"), dir / "PROFT.DBF");
    EXPECT_EQ(folder.spelled("AULAT.DBF"), dir / "AULAT.DBF");
    EXPECT_EQ(folder.spelled("SUB"), dir / "sub");
#ifndef _WIN32
    EXPECT_EQ(folder.spellingsOf("Proft.Dbf").size(), 2u);
    EXPECT_EQ(folder.spelled("proft.dbf"), dir / "proft.dbf");
#endif
}

TEST(FileIo, SameBytesOutsideAgreesWithWholeFiles) {
    constexpr std::size_t kPiece = std::size_t{1} << 20;  // the reader's piece
    struct Case {
        std::size_t size;
        std::size_t changedAt;  // SIZE_MAX: no byte changed
        std::size_t from, to;   // skipped
        std::size_t otherSize;  // of the second file
    };
    const Case cases[] = {
        {0, SIZE_MAX, 1, 4, 0},
        {3, SIZE_MAX, 1, 4, 3},
        {100, 2, 1, 4, 100},                         // inside the skipped range
        {100, 4, 1, 4, 100},                         // just past it
        {100, 0, 1, 4, 100},                         // just before it
        {100, SIZE_MAX, 1, 4, 101},                  // sizes differ
        {kPiece + 7, kPiece, 1, 4, kPiece + 7},      // first byte of the second piece
        {kPiece + 7, kPiece - 1, 1, 4, kPiece + 7},  // last byte of the first piece
        {kPiece + 7, kPiece + 6, 1, 4, kPiece + 7},  // last byte of the file
        {2 * kPiece, kPiece + 1, kPiece - 2, kPiece + 2, 2 * kPiece},  // skip across pieces
        {2 * kPiece, kPiece + 2, kPiece - 2, kPiece + 2, 2 * kPiece},
        {2 * kPiece, SIZE_MAX, 1, 4, 2 * kPiece},
    };
    ScratchDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.size) + " changed at " + std::to_string(c.changedAt));
        std::string a(c.size, 'x');
        for (std::size_t i = 0; i < a.size(); ++i) a[i] = static_cast<char>('a' + i % 23);
        std::string b = a;
        b.resize(c.otherSize, 'y');
        if (c.changedAt < b.size()) b[c.changedAt] = '#';
        writeBytes(dir / "a", a);
        writeBytes(dir / "b", b);
        bool same = true;
        std::uint64_t size = 99;
        ASSERT_EQ(io::sameBytesOutside(dir / "a", dir / "b", c.from, c.to, same, size), 0);
        EXPECT_EQ(same, sameWhole(a, b, c.from, c.to));
        EXPECT_EQ(size, a.size());
    }
    bool same = true;
    std::uint64_t size = 0;
    EXPECT_EQ(io::sameBytesOutside(dir / "a", dir / "missing", 1, 4, same, size), ENOENT);
    EXPECT_FALSE(same);
}

}  // namespace
}  // namespace lindavex::testing
