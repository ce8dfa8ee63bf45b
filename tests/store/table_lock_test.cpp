// Exclusive use of a table really excludes other openers, in this process and in others.
#include <gtest/gtest.h>

#include "store/dbase/table.h"
#include "store/dbase/table_files.h"
#include "store/error.h"
#include "store/files/platform.h"
#include "support/error_text.h"
#include "support/files.h"
#include "support/process.h"
#include "support/recreate_table.h"
#include "support/scratch_dir.h"

namespace lindavex::store {
namespace {

using testing::errorText;
using testing::ScratchDir;

// Whether a refusal names the table's file.
bool namesTheFile(const std::string& error) { return error.find("PROFT.DBF") != std::string::npos; }

const std::vector<FieldDef> kFields = {{"ABREV", FieldType::Text, 10}};

// Another process that tries to open the table (folder, "shared" or "exclusive"): exits with 0
// when it opened it, 1 when refused with an error naming the file, 2 on anything else.
const testing::Role openTable("open-table", [](const std::vector<std::string>& args) {
    try {
        const auto mode = args.at(1) == "exclusive" ? Table::Mode::Exclusive : Table::Mode::Shared;
        Table t = Table::open(args.at(0), "PROFT", mode);
        return 0;
    } catch (const Error& e) {
        return namesTheFile(e.what()) ? 1 : 2;
    }
});

int openInChild(const std::filesystem::path& dir, Table::Mode mode) {
    testing::Process child = testing::runRole(
        openTable, {dir.string(), mode == Table::Mode::Exclusive ? "exclusive" : "shared"});
    return child.wait() == testing::Process::Outcome::Exited ? child.exitCode() : -1;
}

TEST(TableLockTest, ExclusiveExcludesEveryOtherOpenerInThisProcess) {
    ScratchDir dir;
    recreateTable(dir.path(), "PROFT", kFields);
    Table held = Table::open(dir.path(), "PROFT", Table::Mode::Exclusive);
    for (auto mode : {Table::Mode::Shared, Table::Mode::Exclusive})
        EXPECT_TRUE(namesTheFile(errorText([&] { (void)Table::open(dir.path(), "PROFT", mode); })));
    held.close();
    EXPECT_NO_THROW(Table::open(dir.path(), "PROFT", Table::Mode::Exclusive));
}

TEST(TableLockTest, ExclusiveExcludesAnotherProcessUntilClosed) {
    ScratchDir dir;
    recreateTable(dir.path(), "PROFT", kFields);
    {
        Table held = Table::open(dir.path(), "PROFT", Table::Mode::Exclusive);
        EXPECT_EQ(openInChild(dir.path(), Table::Mode::Shared), 1);
        EXPECT_EQ(openInChild(dir.path(), Table::Mode::Exclusive), 1);
    }
    EXPECT_EQ(openInChild(dir.path(), Table::Mode::Exclusive), 0);
}

TEST(TableLockTest, SharedOpenersExcludeOnlyExclusiveOnes) {
    ScratchDir dir;
    recreateTable(dir.path(), "PROFT", kFields);
    Table a = Table::open(dir.path(), "PROFT", Table::Mode::Shared);
    EXPECT_EQ(openInChild(dir.path(), Table::Mode::Shared), 0);
    EXPECT_EQ(openInChild(dir.path(), Table::Mode::Exclusive), 1);
    EXPECT_THROW(Table::open(dir.path(), "PROFT", Table::Mode::Exclusive), Error);
}

TEST(TableLockTest, AWriterClosingHandsTheNewFileToTheNextOpener) {
    ScratchDir dir;
    recreateTable(dir.path(), "PROFT", kFields);
    {
        Table t = Table::open(dir.path(), "PROFT", Table::Mode::Exclusive);
        t.append();
        t.setText("ABREV", "ANA");
        t.post();
    }
    Table again = Table::open(dir.path(), "PROFT", Table::Mode::Exclusive);
    EXPECT_EQ(again.recordCount(), 1u);
    EXPECT_EQ(openInChild(dir.path(), Table::Mode::Shared), 1);
}

// Whether this platform lets a file be renamed over one that another handle holds open (POSIX
// does; Windows refuses).
bool replacesOpenFiles(const std::filesystem::path& dir) {
    testing::writeBytes(dir / "held", "held");
    testing::writeBytes(dir / "new", "new");
    platform::File held;
    EXPECT_EQ(platform::openForReading(dir / "held", held), 0);
    const bool replaced = platform::rename(dir / "new", dir / "held") == 0;
    held.close();
    std::filesystem::remove(dir / "held");
    std::filesystem::remove(dir / "new");
    return replaced;
}

TEST(TableLockTest, ASharedWriterDoesNotOverwriteAnotherWritersRecords) {
    ScratchDir dir;
    recreateTable(dir.path(), "PROFT", kFields);
    Table a = Table::open(dir.path(), "PROFT", Table::Mode::Shared);
    Table b = Table::open(dir.path(), "PROFT", Table::Mode::Shared);
    for (Table* t : {&a, &b}) {
        t->append();
        t->setText("ABREV", t == &a ? "ANA" : "LUIS");
        t->post();
    }
    // Where a file held open cannot be replaced, the first writer to close is refused while the
    // other holds the table, and the other then writes; elsewhere the first writer writes and
    // the other is refused. Either way one writer's records are kept, the other is told.
    const bool firstWins = replacesOpenFiles(dir.path());
    Table& refused = firstWins ? b : a;
    if (firstWins) a.close();
    EXPECT_TRUE(namesTheFile(errorText([&] { refused.close(); })))
        << "the second writer overwrote the first";
    if (!firstWins) b.close();
    Table check = Table::open(dir.path(), "PROFT", Table::Mode::Shared);
    ASSERT_EQ(check.recordCount(), 1u);
    EXPECT_EQ(check.asText("ABREV"), firstWins ? "ANA" : "LUIS");
}

TEST(TableLockTest, ATableInUseIsNeitherDeletedNorRecreated) {
    ScratchDir dir;
    recreateTable(dir.path(), "PROFT", kFields, {{"ABREV", "ABREV"}});
    Table held = Table::open(dir.path(), "PROFT", Table::Mode::Shared);
    held.append();
    held.setText("ABREV", "ANA");
    held.post();
    deleteTableFiles(dir.path(), "PROFT");
    EXPECT_TRUE(std::filesystem::exists(dir / "PROFT.DBF"));
    EXPECT_TRUE(std::filesystem::exists(dir / "PROFT.MDX"));
    EXPECT_TRUE(namesTheFile(errorText([&] { recreateTable(dir.path(), "PROFT", kFields); })))
        << "recreated a table in use";
    held.close();
    EXPECT_EQ(Table::open(dir.path(), "PROFT", Table::Mode::Shared).recordCount(), 1u);
    EXPECT_NO_THROW(recreateTable(dir.path(), "PROFT", kFields));
}

}  // namespace
}  // namespace lindavex::store
