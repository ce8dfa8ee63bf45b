// The work database's swap, step by step: whatever call fails from some point on, a swap that
// did not report success leaves the old files or a journal that puts them back, and a swap that
// reported success left no journal that could undo it later.
#include <gtest/gtest.h>

#include <cerrno>
#include <map>
#include <string>

#include "store/error.h"
#include "store/files/file_io.h"
#include "store/workdb/table_copies.h"
#include "store/workdb/table_swap.h"
#include "support/files.h"
#include "support/scratch_dir.h"

namespace lindavex::testing {
namespace {
namespace fs = std::filesystem;
namespace io = store::file_io;

class TableSwapTest : public ::testing::Test {
  protected:
    void TearDown() override { io::reset(); }

    // The work database before the swap: two tables of three, one index.
    void prepare() {
        fs::remove_all(workDb);
        fs::create_directories(workDb);
        writeBytes(workDb / "PROFT.DBF", "old teachers");
        writeBytes(workDb / "PROFT.MDX", "old index");
        writeBytes(workDb / "AULAT.DBF", "old rooms");
    }
    // PROFT and GRUPOST replaced, AULAT removed (nothing staged for it).
    bool swap() {
        try {
            store::TableSwap swap(workDb, {"PROFT", "AULAT", "GRUPOST"});
            writeBytes(swap.folder() / "PROFT.DBF", "new teachers");
            writeBytes(swap.folder() / "GRUPOST.DBF", "new groups");
            swap.commit();
            return true;
        } catch (const Error&) {
            return false;
        }
    }
    std::map<std::string, std::string> tables() {
        auto files = without(snapshot(workDb), store::kCopiesFolder);
        files.erase(".lindavex-run");  // an empty run folder is nobody's
        return files;
    }

    ScratchDir scratch;
    fs::path workDb = scratch / "WTEMP";
};

TEST_F(TableSwapTest, FromAnyFailingCallOnASwapIsUndoneNeverFinishedLater) {
    prepare();
    const auto before = tables();
    io::reset();
    ASSERT_TRUE(swap());
    const auto after = tables();
    const std::size_t total = io::totalCalls();
    ASSERT_GT(total, 10U);
    for (const io::Operation operation :
         {io::Operation::Delete, io::Operation::Rename, io::Operation::Flush, io::Operation::Write,
          io::Operation::Read, io::Operation::List}) {
        prepare();
        io::reset();
        ASSERT_TRUE(swap());
        const std::size_t calls = io::calls(operation);
        for (std::size_t n = 1; n <= calls; ++n) {
            SCOPED_TRACE("operation " + std::to_string(static_cast<int>(operation)) +
                         " failing from #" + std::to_string(n));
            prepare();
            io::reset();
            // Every call of the kind fails from the nth on: even the undo may not finish.
            io::inject({operation, n, EIO, true});
            const bool finished = swap();
            io::reset();
            const bool pending = fs::exists(workDb / ".lindavex-run" / "moviendo");
            if (finished) {
                EXPECT_FALSE(pending) << "success reported with the journal still there";
                EXPECT_EQ(tables(), after);
                // The next command finds nothing to undo.
                EXPECT_EQ(store::repairWorkDb(workDb), "");
                EXPECT_EQ(tables(), after);
                continue;
            }
            // Undone now, or by the next command; never the new tables.
            const std::string repaired = store::repairWorkDb(workDb);
            EXPECT_EQ(repaired.empty(), !pending);
            EXPECT_EQ(tables(), before);
            EXPECT_FALSE(fs::exists(workDb / ".lindavex-run"));
            EXPECT_TRUE(!fs::exists(workDb / store::kCopiesFolder) ||
                        fs::is_empty(workDb / store::kCopiesFolder));
        }
    }
}

}  // namespace
}  // namespace lindavex::testing
