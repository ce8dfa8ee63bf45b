// Exclusive use of a table really excludes other openers, in this process and in others.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include "store/error.h"
#include "store/table.h"
#include "support/error_text.h"
#include "support/scratch_dir.h"

namespace lindavex::store {
namespace {

using testing::errorText;
using testing::ScratchDir;

// Whether a refusal names the table's file.
bool namesTheFile(const std::string& error) { return error.find("PROFT.DBF") != std::string::npos; }

const std::vector<FieldDef> kFields = {{"ABREV", FieldType::Text, 10}};

// Exit status of a child process that tries to open the table: 0 opened, 1 refused with an
// error naming the file, 2 anything else.
int openInChild(const std::filesystem::path& dir, Table::Mode mode) {
    pid_t pid = ::fork();
    if (pid == 0) {
        int status = 2;
        try {
            Table t = Table::open(dir, "PROFT", mode);
            status = 0;
        } catch (const Error& e) {
            status = namesTheFile(e.what()) ? 1 : 2;
        } catch (...) {
        }
        ::_exit(status);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
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
    a.close();
    EXPECT_TRUE(namesTheFile(errorText([&] { b.close(); })))
        << "the second writer overwrote the first";
    Table check = Table::open(dir.path(), "PROFT", Table::Mode::Shared);
    ASSERT_EQ(check.recordCount(), 1u);
    EXPECT_EQ(check.asText("ABREV"), "ANA");
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
