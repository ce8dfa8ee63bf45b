// Makes each file call of both actions (and of the settings-file write) fail in turn, and
// checks after each failure that the run either reported a clear error and changed nothing,
// or ended normally with the whole new result: never a mixture, never a leftover temporary
// file, never a success report for a failed run.
#include <gtest/gtest.h>

#include <cerrno>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "hardening_support.h"
#include "shell/controller.h"
#include "shell/settings_file.h"
#include "store/dbase/table_files.h"
#include "store/files/file_io.h"
#include "store/work_tables.h"
#include "store/workdb/copy_restore.h"
#include "support/copy_snapshots.h"
#include "support/recording_ui.h"
#include "support/scratch_dir.h"
#include "toworkdb/conversion_run.h"
#include "toxml/result_export.h"

namespace lindavex::testing {
namespace {

namespace io = store::file_io;

constexpr io::Operation kOperations[] = {
    io::Operation::Write,      io::Operation::Flush,  io::Operation::Rename,
    io::Operation::Link,       io::Operation::Delete, io::Operation::CreateDirectory,
    io::Operation::CreateFile, io::Operation::Read,   io::Operation::List};

const char* nameOf(io::Operation operation) {
    switch (operation) {
        case io::Operation::Write:
            return "write";
        case io::Operation::Flush:
            return "flush";
        case io::Operation::Rename:
            return "rename";
        case io::Operation::Link:
            return "link";
        case io::Operation::Delete:
            return "delete";
        case io::Operation::CreateDirectory:
            return "create directory";
        case io::Operation::CreateFile:
            return "create file";
        case io::Operation::Read:
            return "read";
        case io::Operation::List:
            return "list";
    }
    return "?";
}

struct Outcome {
    bool finished = false;
    std::string error;
    std::vector<std::string> messages;
};

class FailureInjectionTest : public ::testing::Test {
  protected:
    void TearDown() override { io::reset(); }

    // One action over the centre file as the window would run it, its end recorded.
    template <class Action>
    Outcome runAction(Action action, const fs::path& centre) {
        RunState state;
        state.workDb = workDb;
        RecordingUi ui;
        ui.dialogAnswers.push_back(centre);
        Outcome outcome;
        try {
            action(state, ui);
        } catch (const Error& e) {
            outcome.error = e.what();
        }
        outcome.finished = state.completionStatus == 1;
        outcome.messages = ui.messages;
        return outcome;
    }
    Outcome exportar(const fs::path& centre) {
        return runAction([](RunState& s, UserInterface& u) { shell::runConversion(s, u); }, centre);
    }
    Outcome importar(const fs::path& centre) {
        return runAction([](RunState& s, UserInterface& u) { shell::runResultExport(s, u); },
                         centre);
    }

    static bool reportedSuccess(const Outcome& outcome) {
        for (const std::string& m : outcome.messages)
            if (m == "Proceso finalizado") return true;
        return false;
    }

    // Runs `run` once per call of every operation that a clean run makes, that call failing.
    template <typename Prepare, typename Run, typename Check>
    std::size_t walkEveryCall(Prepare prepare, Run run, Check check) {
        prepare();
        io::reset();
        run();
        std::vector<std::pair<io::Operation, std::size_t>> plan;
        for (io::Operation operation : kOperations)
            for (std::size_t n = 1; n <= io::calls(operation); ++n) plan.emplace_back(operation, n);
        for (const auto& [operation, n] : plan) {
            SCOPED_TRACE(std::string(nameOf(operation)) + " #" + std::to_string(n));
            prepare();
            io::reset();
            io::inject({operation, n, operation == io::Operation::Write ? ENOSPC : EIO});
            const Outcome outcome = run();
            io::reset();
            check(outcome);
        }
        return plan.size();
    }

    ScratchDir scratch;
    fs::path workDb = scratch / "WTEMP";
};

TEST_F(FailureInjectionTest, FirstActionChangesEveryTableOrNone) {
    fs::create_directories(workDb);
    ASSERT_TRUE(exportar(smallCentre()).finished);
    writeBytes(store::dbfPath(workDb, "CURSOST"), readBytes(store::dbfPath(workDb, "PROFT")));
    // Other programs' spellings of names that the run writes or removes.
    writeBytes(workDb / "proft.dbf", readBytes(store::dbfPath(workDb, "PROFT")));
    writeBytes(workDb / "Countses.mdx", readBytes(store::mdxPath(workDb, "COUNTSES")));
    writeBytes(workDb / "cursost.mdx", "courses index");
    const auto before = snapshot(workDb);
    ASSERT_TRUE(exportar(exampleCentre()).finished);
    const auto newTables = workTables(workDb);
    // One file per name, and the courses table, whose deletion is best-effort, only where its
    // deletion failed and then as it was; the copies are checked apart.
    const auto names = [&](std::map<std::string, std::string> files) {
        files = without(files, store::kCopiesFolder);
        std::set<std::string> kept;
        for (const char* courses : {"CURSOST.DBF", "cursost.mdx"})
            if (files.contains(courses) && files[courses] == before.at(courses))
                files.erase(courses);
        for (const auto& file : files) kept.insert(file.first);
        return kept;
    };
    const auto newNames = names(snapshot(workDb));
    restore(workDb, before);
    ASSERT_NE(workTables(workDb), newTables);

    const fs::path centre = scratch / "centro.xml";
    const std::string centreBytes = readBytes(exampleCentre());
    writeBytes(centre, centreBytes);
    const std::size_t walked =
        walkEveryCall([&] { restore(workDb, before); }, [&] { return exportar(centre); },
                      [&](const Outcome& outcome) {
                          EXPECT_EQ(readBytes(centre), centreBytes);
                          EXPECT_TRUE(strayTemporaries(workDb).empty());
                          if (outcome.finished) {
                              // Only calls whose failure costs nothing (flushing a folder) may go
                              // unnoticed.
                              EXPECT_TRUE(outcome.error.empty());
                              EXPECT_TRUE(reportedSuccess(outcome));
                              EXPECT_EQ(workTables(workDb), newTables);
                              EXPECT_EQ(names(settled(snapshot(workDb))), newNames);
                              // Every file it replaced or removed, kept whole in one copy.
                              const auto copies = copySnapshots(workDb / store::kCopiesFolder);
                              ASSERT_EQ(copies.size(), 1U);
                              EXPECT_EQ(copies.begin()->second, before);
                          } else {
                              EXPECT_FALSE(outcome.error.empty());
                              EXPECT_FALSE(reportedSuccess(outcome));
                              EXPECT_EQ(settled(snapshot(workDb)), before);
                          }
                          // The next run is not disturbed by anything the failed one left.
                          EXPECT_TRUE(exportar(exampleCentre()).finished);
                          EXPECT_EQ(workTables(workDb), newTables);
                      });
    EXPECT_GT(walked, 50U);
}

// A move whose undo fails as well (the disk refuses every rename from some point on) leaves
// its journal and backups; the next run puts the old tables back before anything else, so a
// next run that fails too leaves the work database as it was before both.
TEST_F(FailureInjectionTest, AnUndoThatFailsIsFinishedByTheNextRun) {
    fs::create_directories(workDb);
    ASSERT_TRUE(exportar(smallCentre()).finished);
    const auto before = snapshot(workDb);
    io::reset();
    ASSERT_TRUE(exportar(exampleCentre()).finished);
    const std::size_t renames = io::calls(io::Operation::Rename);
    for (std::size_t n = 2; n <= renames; ++n) {
        SCOPED_TRACE("renames refused from #" + std::to_string(n));
        restore(workDb, before);
        io::reset();
        io::inject({io::Operation::Rename, n, EIO, true});
        if (exportar(exampleCentre()).finished) continue;  // the move had no rename left
        io::reset();
        io::inject({io::Operation::Write, 1, ENOSPC});
        EXPECT_FALSE(exportar(exampleCentre()).finished);
        io::reset();
        EXPECT_EQ(settled(snapshot(workDb)), before);
    }
}

// A restore puts a whole copy back and keeps what it replaced as a new copy, or changes nothing;
// with the copies already as many as are kept, no copy goes until a restore ended well, and then
// never the one restored.
TEST_F(FailureInjectionTest, ARestoreChangesEveryTableOrNone) {
    fs::create_directories(workDb);
    ASSERT_TRUE(exportar(smallCentre()).finished);
    // Another program's spelling of a table, where names keep their letter case; where they do
    // not (Windows) it is the same file.
    writeBytes(workDb / "proft.dbf", readBytes(store::dbfPath(workDb, "PROFT")));
    const auto earliest = snapshot(workDb);
    // Of the table's two spellings the copy holds, the one the system writes is put back.
    auto restored = earliest;
    restored.erase("proft.dbf");
    for (std::size_t run = 0; run < store::kCopiesKept; ++run)
        ASSERT_TRUE(exportar(exampleCentre()).finished);
    const auto before = snapshot(workDb);
    const auto current = without(before, store::kCopiesFolder);
    const auto copiesBefore = copySnapshots(workDb / store::kCopiesFolder);
    ASSERT_EQ(copiesBefore.size(), store::kCopiesKept);
    const std::string oldest = copiesBefore.begin()->first;
    ASSERT_EQ(copiesBefore.begin()->second, earliest);

    std::vector<const char*> tables = store::work_tables::writtenTables();
    tables.push_back(store::work_tables::kRemovedTable);
    const auto restore = [&] {
        Outcome outcome;
        try {
            store::restoreTableCopy(workDb, oldest, tables);
            outcome.finished = true;
        } catch (const Error& e) {
            outcome.error = e.what();
        }
        return outcome;
    };
    const std::size_t walked = walkEveryCall(
        [&] { lindavex::testing::restore(workDb, before); }, restore,
        [&](const Outcome& outcome) {
            EXPECT_TRUE(strayTemporaries(workDb).empty());
            if (!outcome.finished) {
                EXPECT_FALSE(outcome.error.empty());
                EXPECT_EQ(settled(snapshot(workDb)), before);
                return;
            }
            EXPECT_EQ(without(settled(snapshot(workDb)), store::kCopiesFolder), restored);
            // The earlier copies as they were, but the oldest, which goes unless
            // removing it failed; and the tables replaced, now the newest copy.
            auto copies = copySnapshots(workDb / store::kCopiesFolder);
            ASSERT_FALSE(copies.empty());
            EXPECT_EQ(std::prev(copies.end())->second, current);
            copies.erase(std::prev(copies.end()));
            auto expected = copiesBefore;
            if (!copies.contains(oldest)) expected.erase(oldest);
            EXPECT_EQ(copies, expected);
        });
    EXPECT_GT(walked, 30U);
    lindavex::testing::restore(workDb, before);
    ASSERT_TRUE(restore().finished);
    const auto copies = copySnapshots(workDb / store::kCopiesFolder);
    // The copy just restored is not pruned, though it is the oldest: the ten newest stay beside it.
    EXPECT_EQ(copies.size(), store::kCopiesKept + 1);
    EXPECT_TRUE(copies.contains(oldest));
}

TEST_F(FailureInjectionTest, SecondActionWritesAWholeResultOrLeavesTheEarlierOne) {
    fs::create_directories(workDb);
    ASSERT_TRUE(exportar(exampleCentre()).finished);
    writeSolutionFromTables(workDb);
    const fs::path folder = scratch / "datos";
    fs::create_directories(folder);
    const fs::path centre = folder / "centro.xml";
    writeBytes(centre, readBytes(exampleCentre()));
    const fs::path result = toxml::resultFileName(centre);
    const auto tables = snapshot(workDb);

    for (const bool earlierResult : {false, true}) {
        SCOPED_TRACE(earlierResult ? "over an earlier result" : "no earlier result");
        const std::string earlier = "<Centro Codigo=\"anterior\"><horario/></Centro>\n";
        const auto prepare = [&] {
            fs::remove(result);
            if (earlierResult) writeBytes(result, earlier);
        };
        const std::size_t walked = walkEveryCall(
            prepare, [&] { return importar(centre); },
            [&](const Outcome& outcome) {
                EXPECT_EQ(readBytes(centre), readBytes(exampleCentre()));
                EXPECT_EQ(snapshot(workDb), tables);
                EXPECT_TRUE(strayTemporaries(folder).empty());
                if (outcome.finished) {
                    EXPECT_TRUE(reportedSuccess(outcome));
                    EXPECT_TRUE(wellFormedResult(result));
                    EXPECT_NE(readBytes(result), earlier);
                } else {
                    EXPECT_FALSE(outcome.error.empty());
                    EXPECT_FALSE(reportedSuccess(outcome));
                    if (earlierResult)
                        EXPECT_EQ(readBytes(result), earlier);
                    else
                        EXPECT_FALSE(fs::exists(result));
                }
            });
        EXPECT_GE(walked, 3U);
    }
}

TEST_F(FailureInjectionTest, SettingsFileIsTheOldOrTheNewNeverAMixture) {
    const fs::path folder = scratch / "programa";
    fs::create_directories(folder);
    const fs::path ini = folder / "Morvalen.ini";
    const std::string old =
        "[General]\r\nRuta=C:\\WTEMP\r\n[Transformadores]\r\nTransformado=0\r\n";
    const std::string updated = shell::setProfileValue(old, "Transformadores", "Transformado", "1");
    const std::size_t walked = walkEveryCall(
        [&] { writeBytes(ini, old); },
        [&] {
            Outcome outcome;
            try {
                shell::writeProfileString(ini, "Transformadores", "Transformado", "1");
                outcome.finished = true;
            } catch (const Error& e) {
                outcome.error = e.what();
            }
            return outcome;
        },
        [&](const Outcome& outcome) {
            EXPECT_TRUE(strayTemporaries(folder).empty());
            EXPECT_EQ(readBytes(ini), outcome.finished ? updated : old);
            if (!outcome.finished) {
                EXPECT_EQ(outcome.error, "Unable to write to " + ini.string());
            }
        });
    EXPECT_GE(walked, 3U);
}

}  // namespace
}  // namespace lindavex::testing
