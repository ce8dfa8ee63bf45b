// Editing "Morvalen.ini": only the one key changes, every other byte stays.
#include "shell/settings_file.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "store/error.h"
#include "store/files/file_io.h"
#include "support/error_text.h"
#include "support/files.h"
#include "support/scratch_dir.h"

namespace lindavex::shell {
namespace {
namespace fs = std::filesystem;
using lindavex::testing::readBytes;
using lindavex::testing::snapshot;
using lindavex::testing::writeBytes;
using testing::ScratchDir;

std::string set(std::string_view text, std::string_view value = "1") {
    return setProfileValue(text, "Transformadores", "Transformado", value);
}

TEST(SettingsText, ReplacesTheValueInPlaceKeepingEveryOtherByte) {
    const std::string text =
        "; Morvalen\r\n[General]\r\nRuta=C:\\WTEMP\r\n\r\n[Transformadores]\r\n"
        "Otro=7\r\nTransformado=0\r\n;nota\r\n\r\n[Fin]\r\nx=1\r\n";
    std::string expected = text;
    expected.replace(expected.find("Transformado=0"), 14, "Transformado=-1");
    EXPECT_EQ(set(text, "-1"), expected);
}

TEST(SettingsText, SetsTheOneKeyWhereverItStandsOrBelongs) {
    const struct {
        const char* what;
        std::string before, after;
    } cases[] = {
        {"section and key in any letter case keep their spelling",
         "[TRANSFORMADORES]\ntransformado=0\n", "[TRANSFORMADORES]\ntransformado=1\n"},
        {"blanks around names", "  [ transformadores ]\n TransFormado = 5\n",
         "  [ transformadores ]\n TransFormado =1\n"},
        {"a missing key goes at the end of its section, before the blank lines",
         "[Transformadores]\r\nOtro=2\r\n\r\n[Fin]\r\n",
         "[Transformadores]\r\nOtro=2\r\nTransformado=1\r\n\r\n[Fin]\r\n"},
        {"a missing key in an empty section", "[Transformadores]\n[Fin]\n",
         "[Transformadores]\nTransformado=1\n[Fin]\n"},
        {"only the first matching section and key change",
         "[Transformadores]\nTransformado=0\nTransformado=9\n[transformadores]\nTransformado=8\n",
         "[Transformadores]\nTransformado=1\nTransformado=9\n[transformadores]\nTransformado=8\n"},
        {"comments and keys of other sections are not the key",
         "[Otra]\nTransformado=4\n[Transformadores]\n;Transformado=3\n",
         "[Otra]\nTransformado=4\n[Transformadores]\n;Transformado=3\nTransformado=1\n"},
        {"an empty file", "", "[Transformadores]\r\nTransformado=1\r\n"},
        {"a missing section goes at the end in the file's own line ending", "[A]\nb=1\n",
         "[A]\nb=1\n[Transformadores]\nTransformado=1\n"},
        {"the same without a final line end", "[A]\r\nb=1",
         "[A]\r\nb=1\r\n[Transformadores]\r\nTransformado=1\r\n"},
        {"a missing final line end stays missing", "[Transformadores]\r\nTransformado=0",
         "[Transformadores]\r\nTransformado=1"},
        {"and after an added key", "[Transformadores]\r\nOtro=0",
         "[Transformadores]\r\nOtro=0\r\nTransformado=1"},
    };
    for (const auto& c : cases) EXPECT_EQ(set(c.before), c.after) << c.what;
}

TEST(SettingsText, ReadsTheValueBack) {
    EXPECT_EQ(profileValue("[transformadores]\r\nTRANSFORMADO = -1 \r\n", "Transformadores",
                           "Transformado"),
              "-1");
    EXPECT_FALSE(profileValue("[Otra]\nTransformado=1\n", "Transformadores", "Transformado"));
}

std::size_t entriesIn(const fs::path& dir) {
    return static_cast<std::size_t>(std::distance(fs::directory_iterator(dir), {}));
}

TEST(SettingsFile, CreatesAMissingFile) {
    ScratchDir dir;
    writeProfileString(dir / "Morvalen.ini", "Transformadores", "Transformado", "1");
    EXPECT_EQ(readBytes(dir / "Morvalen.ini"), "[Transformadores]\r\nTransformado=1\r\n");
    EXPECT_EQ(readProfileString(dir / "Morvalen.ini", "Transformadores", "Transformado"), "1");
    EXPECT_EQ(entriesIn(dir.path()), 1u) << "no temporary file is left beside it";
}

TEST(SettingsFile, EditsAnExistingFileKeepingItsOtherContentAndPermissions) {
    ScratchDir dir;
    const std::string before =
        "[Morvalen]\r\nVersion=17\r\n\r\n[Transformadores]\r\nTransformado=1";
    writeBytes(dir / "Morvalen.ini", before);
    fs::permissions(dir / "Morvalen.ini", fs::perms::owner_read | fs::perms::owner_write);
    // As the platform keeps them (Windows has no owner bits of its own).
    const fs::perms permissions = fs::status(dir / "Morvalen.ini").permissions();
    writeProfileString(dir / "Morvalen.ini", "Transformadores", "Transformado", "0");
    EXPECT_EQ(readBytes(dir / "Morvalen.ini"),
              "[Morvalen]\r\nVersion=17\r\n\r\n[Transformadores]\r\nTransformado=0");
    EXPECT_EQ(fs::status(dir / "Morvalen.ini").permissions(), permissions);
}

TEST(SettingsFile, EditsTheFileALinkPointsTo) {
    ScratchDir dir;
    writeBytes(dir / "real.ini", "[A]\nb=1\n");
    std::error_code ec;
    fs::create_symlink(dir / "real.ini", dir / "Morvalen.ini", ec);
    // Wine makes no symbolic links, and Windows only with a privilege users rarely have.
    if (ec) GTEST_SKIP() << "no symbolic links here: " << ec.message();
    writeProfileString(dir / "Morvalen.ini", "Transformadores", "Transformado", "1");
    EXPECT_TRUE(fs::is_symlink(dir / "Morvalen.ini"));
    EXPECT_EQ(readBytes(dir / "real.ini"), "[A]\nb=1\n[Transformadores]\nTransformado=1\n");
}

void expectUnableToWrite(const fs::path& file) {
    EXPECT_EQ(testing::errorText(
                  [&] { writeProfileString(file, "Transformadores", "Transformado", "1"); }),
              "Unable to write to " + file.string());
}

TEST(SettingsFile, FilesThatCannotBeWrittenRaiseTheErrorAndStayAsTheyWere) {
    ScratchDir dir;
    // Read-only: refused even for a user whom the permissions would not stop.
    writeBytes(dir / "Morvalen.ini", "[Transformadores]\nTransformado=0\n");
    fs::permissions(dir / "Morvalen.ini", fs::perms::owner_read | fs::perms::group_read);
    expectUnableToWrite(dir / "Morvalen.ini");
    EXPECT_EQ(readBytes(dir / "Morvalen.ini"), "[Transformadores]\nTransformado=0\n");

    // A folder of that name.
    fs::create_directory(dir / "carpeta.ini");
    expectUnableToWrite(dir / "carpeta.ini");
    EXPECT_TRUE(fs::is_directory(dir / "carpeta.ini"));

    // A folder that does not exist.
    expectUnableToWrite(dir / "falta" / "Morvalen.ini");
    EXPECT_EQ(entriesIn(dir.path()), 2u) << "no temporary file is left behind";
}

// Paths under one folder as the product's installation and the user's VirtualStore see them.
TEST(VirtualStore, TheCopyIsThePathWithoutItsDriveUnderTheStore) {
    const fs::path base = fs::path("/") / "base";
    const fs::path store = base / "Local" / "VirtualStore";
    const VirtualStore virtualization{{base / "Program Files", base / "Program Files (x86)" / ""},
                                      store};
    const struct {
        fs::path file;
        std::optional<fs::path> copy;
    } cases[] = {
        {base / "Program Files (x86)" / "Morvalen" / "Morvalen.ini",
         store / "base" / "Program Files (x86)" / "Morvalen" / "Morvalen.ini"},
        // Names compared as Windows compares them; the copy keeps the file's own spelling.
        {base / "PROGRAM FILES" / "m" / "." / "Morvalen.ini",
         store / "base" / "PROGRAM FILES" / "m" / "Morvalen.ini"},
        {base / "Program Files2" / "Morvalen.ini", std::nullopt},
        {base / "Morvalen" / "Morvalen.ini", std::nullopt},
        {base / "Program Files", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(virtualStoreCopy(c.file, virtualization), c.copy) << c.file;
}

TEST(VirtualStore, TheStatusReachesWhicheverFileTheProductReads) {
    const std::string real = "; RV17\r\n[Transformadores]\r\nTransformado=0\r\n[Otra]\r\nx=1\r\n";
    const std::string copied = "[Transformadores]\nTransformado=-1\n";
    const auto with1 = [](const std::string& text) {
        return setProfileValue(text, "Transformadores", "Transformado", "1");
    };
    const struct {
        const char* what;
        std::optional<std::string> realBefore, copyBefore;
        bool realReadOnly, copyReadOnly, storeBlocked;
        std::optional<std::string> realAfter, copyAfter;  // no value: absent
        bool refused;
    } cases[] = {
        {"the file can be written: no copy is made",
         real,
         {},
         false,
         false,
         false,
         with1(real),
         {},
         false},
        {"it cannot: its copy, as Windows would make it",
         real,
         {},
         true,
         false,
         false,
         real,
         with1(real),
         false},
        {"a missing file in a folder that refuses it: a copy of nothing",
         {},
         {},
         false,
         false,
         false,
         {},
         "[Transformadores]\r\nTransformado=1\r\n",
         false},
        {"a copy that exists is edited, and so is the file", real, copied, false, false, false,
         with1(real), with1(copied), false},
        {"a copy alone when the file cannot be written", real, copied, true, false, false, real,
         with1(copied), false},
        {"the file alone when the copy cannot be written", real, copied, false, true, false,
         with1(real), copied, false},
        {"nothing can be written", real, {}, true, false, true, real, {}, true},
        {"neither the file nor its copy", real, copied, true, true, false, real, copied, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ScratchDir dir;
        const VirtualStore virtualization{{dir / "Program Files (x86)"},
                                          dir / "Local" / "VirtualStore"};
        const fs::path folder = dir / "Program Files (x86)" / "Morvalen RV17";
        const fs::path ini = folder / "Morvalen.ini";
        const fs::path copy = *virtualStoreCopy(ini, virtualization);
        fs::create_directories(folder);
        const auto readOnly = [](const fs::path& file, bool on) {
            if (fs::exists(file))
                fs::permissions(
                    file, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    on ? fs::perm_options::remove : fs::perm_options::add);
        };
        if (c.realBefore) writeBytes(ini, *c.realBefore);
        if (c.copyBefore) {
            fs::create_directories(copy.parent_path());
            writeBytes(copy, *c.copyBefore);
        }
        // A folder that cannot be made: a file where the VirtualStore folder would go.
        if (c.storeBlocked) writeBytes(dir / "Local", "");
        // Without the file, only the folder can refuse it: its first file fails to be created.
        if (!c.realBefore)
            store::file_io::inject({store::file_io::Operation::CreateFile, 1, EACCES});
        readOnly(ini, c.realReadOnly);
        readOnly(copy, c.copyReadOnly);
        const std::string error = testing::errorText([&] {
            writeProfileStringSeenByLegacyPrograms(ini, virtualization, "Transformadores",
                                                   "Transformado", "1");
        });
        store::file_io::reset();
        readOnly(ini, false);
        readOnly(copy, false);
        EXPECT_EQ(error, c.refused ? "Unable to write to " + ini.string() : "(no error)");
        EXPECT_EQ(fs::exists(ini) ? std::optional(readBytes(ini)) : std::nullopt, c.realAfter);
        EXPECT_EQ(fs::exists(copy) ? std::optional(readBytes(copy)) : std::nullopt, c.copyAfter);
        EXPECT_EQ(entriesIn(folder), fs::exists(ini) ? 1u : 0u) << "no temporary file is left";
    }
}

}  // namespace
}  // namespace lindavex::shell
