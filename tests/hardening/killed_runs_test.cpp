// Kills `lindavex-cli exportar` and `importar` (SIGKILL, TerminateProcess) at many points:
// just before each file call (the program stops itself there when LINDAVEX_STOP_AT_FILE_CALL
// says so, and the test kills it) and at random moments. After each kill every work table must
// be the complete old one or the complete new one, the centre file unchanged, the result file
// absent, the earlier one or a complete new one, and the next run must succeed.
// LINDAVEX_KILLS sets how many kills (200 when unset; CI may run fewer).
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <map>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "support/copy_snapshots.h"
#include "hardening_support.h"
#include "store/workdb/table_copies.h"
#include "support/process.h"
#include "support/scratch_dir.h"
#include "toxml/result_export.h"

namespace lindavex::testing {
namespace {

enum class Ending { Finished, Failed, Killed };

// Runs the program; it is killed when it stops itself at stopAt (0: never), or after `delay`
// when one is given.
Ending runCli(const std::vector<std::string>& args, std::size_t stopAt,
              std::chrono::microseconds delay = std::chrono::microseconds(-1)) {
    ProcessOptions options;
    if (stopAt != 0)
        options.environment.emplace_back("LINDAVEX_STOP_AT_FILE_CALL", std::to_string(stopAt));
    Process cli(LINDAVEX_CLI, args, options);
    if (delay.count() >= 0) {
        std::this_thread::sleep_for(delay);
        cli.kill();
    } else if (cli.wait() == Process::Outcome::Stopped) {
        cli.kill();
    }
    if (cli.outcome() == Process::Outcome::Killed) return Ending::Killed;
    return cli.exitCode() == 0 ? Ending::Finished : Ending::Failed;
}

// How many file calls a whole run makes: the first stop point at which it is not stopped.
std::size_t fileCallsOf(const std::vector<std::string>& args,
                        const std::function<void()>& prepare) {
    std::size_t low = 1, high = 1;
    for (;; high *= 2) {
        prepare();
        if (runCli(args, high) != Ending::Killed) break;
        low = high;
    }
    while (low + 1 < high) {
        const std::size_t mid = (low + high) / 2;
        prepare();
        (runCli(args, mid) == Ending::Killed ? low : high) = mid;
    }
    return low;
}

std::size_t killsWanted() {
    const char* text = std::getenv("LINDAVEX_KILLS");
    return text == nullptr ? 200 : std::strtoul(text, nullptr, 10);
}

// Kills a run `kills` times: nine in ten just before file calls (every call when there are
// enough kills, else calls spread evenly over the run), the rest at random moments of it. `check`
// runs after each kill.
template <typename Check>
std::size_t killRepeatedly(const std::vector<std::string>& args, std::size_t kills,
                           const std::function<void()>& prepare, Check check) {
    const std::size_t calls = fileCallsOf(args, prepare);
    EXPECT_GT(calls, 0U);
    const std::size_t atCalls = std::min(calls, kills * 9 / 10);
    std::size_t killed = 0;
    for (std::size_t i = 0; i < atCalls; ++i) {
        const std::size_t stopAt = 1 + i * calls / atCalls;
        SCOPED_TRACE("killed before file call " + std::to_string(stopAt));
        prepare();
        EXPECT_EQ(runCli(args, stopAt), Ending::Killed);
        ++killed;
        check();
    }

    prepare();
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(runCli(args, 0), Ending::Finished);
    const auto whole = std::chrono::duration_cast<std::chrono::microseconds>(
        std::chrono::steady_clock::now() - start);
    std::mt19937 random(20261208);
    std::uniform_int_distribution<std::int64_t> moment(0, whole.count());
    for (std::size_t attempt = 0; killed < kills && attempt < kills * 4; ++attempt) {
        const std::chrono::microseconds delay(moment(random));
        SCOPED_TRACE("killed after " + std::to_string(delay.count()) + " us");
        prepare();
        if (runCli(args, 0, delay) == Ending::Killed) ++killed;
        check();
    }
    return killed;
}

std::set<std::string> names(const std::map<std::string, std::string>& files) {
    std::set<std::string> kept;
    for (const auto& file : files) kept.insert(file.first);
    return kept;
}

class KilledRunsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        fs::create_directories(workDb);
        ASSERT_EQ(runCli({"exportar", smallCentre().string(), "--workdb", workDb.string()}, 0),
                  Ending::Finished);
        writeBytes(store::dbfPath(workDb, "CURSOST"), readBytes(store::dbfPath(workDb, "PROFT")));
        // Other programs' spellings of names that the run writes or removes.
        writeBytes(workDb / "proft.dbf", readBytes(store::dbfPath(workDb, "PROFT")));
        writeBytes(workDb / "cursost.mdx", "courses index");
        oldFiles = snapshot(workDb);
        oldTables = workTables(workDb);
        ASSERT_EQ(runCli({"exportar", exampleCentre().string(), "--workdb", workDb.string()}, 0),
                  Ending::Finished);
        newTables = workTables(workDb);
        newFiles = snapshot(workDb);
    }

    // Every work table the complete old one or the complete new one, and an index present
    // that of the version of the table beside it.
    void expectEachTableOldOrNew() {
        for (const char* table : store::work_tables::writtenTables()) {
            SCOPED_TRACE(table);
            std::string content;
            ASSERT_NO_THROW(content = tableContent(workDb, table));
            EXPECT_TRUE(content == oldTables[table] || content == newTables[table]);
            // An index present belongs to the version of the table beside it.
            const fs::path index = store::mdxPath(workDb, table);
            if (fs::exists(index)) {
                const std::string bytes = readBytes(index);
                const std::string name = index.filename().string();
                const bool oldPair = content == oldTables[table] && oldFiles[name] == bytes;
                const bool newPair = content == newTables[table] && newFiles[name] == bytes;
                EXPECT_TRUE(oldPair || newPair) << "the index of another version";
            }
        }
    }

    // No hidden file in the work database but the run folder that the next run clears.
    void expectNoStrayFiles() {
        for (const std::string& name : strayTemporaries(workDb))
            EXPECT_TRUE(name.starts_with(".lindavex-run")) << name;
    }

    ScratchDir scratch;
    fs::path workDb = scratch / "WTEMP";
    std::map<std::string, std::string> oldFiles;
    std::map<std::string, std::string> oldTables;
    std::map<std::string, std::string> newTables;
    std::map<std::string, std::string> newFiles;
};

TEST_F(KilledRunsTest, FirstActionLeavesEachTableWholeAndTheNextRunSucceeds) {
    const std::vector<std::string> args = {"exportar", exampleCentre().string(), "--workdb",
                                           workDb.string()};
    const std::size_t kills = killsWanted() * 3 / 4;
    const std::size_t killed = killRepeatedly(
        args, kills, [&] { restore(workDb, oldFiles); },
        [&] {
            expectEachTableOldOrNew();
            // A copy is there whole or not at all.
            for (const auto& [name, files] : copySnapshots(workDb / store::kCopiesFolder))
                EXPECT_TRUE(files == oldFiles) << name;
            expectNoStrayFiles();
            ASSERT_EQ(runCli(args, 0), Ending::Finished);
            EXPECT_EQ(workTables(workDb), newTables);
            // One file per table, and the old files in a whole copy; when the killed run had
            // put its tables in, the next one kept those in a copy of its own.
            EXPECT_EQ(names(without(snapshot(workDb), store::kCopiesFolder)),
                      names(without(newFiles, store::kCopiesFolder)));
            const auto copies = copySnapshots(workDb / store::kCopiesFolder);
            ASSERT_FALSE(copies.empty());
            EXPECT_EQ(copies.begin()->second, oldFiles);
            if (copies.size() > 1) {
                EXPECT_EQ(copies.size(), 2U);
                EXPECT_EQ(std::prev(copies.end())->second, without(newFiles, store::kCopiesFolder));
            }
            expectNoStrayFiles();
        });
    EXPECT_GE(killed, kills);
}

// A restore killed anywhere leaves each table the current one or the copy's, the copy itself
// whole; the second action, run next, first puts back what the restore left half done and so
// reads the tables of one state, never a mix; the next restore of it succeeds, keeping the
// tables it replaced as a new copy.
TEST_F(KilledRunsTest, ARestoreLeavesEachTableWholeAndTheNextRestoreSucceeds) {
    const auto copies = copySnapshots(workDb / store::kCopiesFolder);
    ASSERT_EQ(copies.size(), 1U);
    const std::string copy = copies.begin()->first;
    const std::vector<std::string> args = {"restaurar", copy, "--workdb", workDb.string()};
    const auto current = without(newFiles, store::kCopiesFolder);
    // Of the two spellings of PROFT in the copy, the one the system writes is put back.
    auto restored = oldFiles;
    restored.erase("proft.dbf");
    // The timetable the product solved, beside the tables, and a centre file to export it to.
    restore(workDb, newFiles);
    writeSolutionFromTables(workDb);
    std::map<std::string, std::string> solution = snapshot(workDb);
    std::erase_if(solution, [&](const auto& file) { return newFiles.contains(file.first); });
    const fs::path folder = scratch / "datos";
    fs::create_directories(folder);
    const fs::path centre = folder / "centro.xml";
    writeBytes(centre, readBytes(exampleCentre()));
    const std::vector<std::string> importar = {"importar", centre.string(), "--workdb",
                                               workDb.string()};
    const auto withoutSolution = [&](std::map<std::string, std::string> files) {
        for (const auto& file : solution) files.erase(file.first);
        return without(files, store::kCopiesFolder);
    };
    const std::size_t kills = killsWanted() / 4;
    const std::size_t killed = killRepeatedly(
        args, kills,
        [&] {
            restore(workDb, newFiles);
            for (const auto& [name, bytes] : solution) writeBytes(workDb / name, bytes);
        },
        [&] {
            expectEachTableOldOrNew();
            expectNoStrayFiles();
            ASSERT_EQ(runCli(importar, 0), Ending::Finished);
            const auto tables = workTables(workDb);
            EXPECT_TRUE(tables == oldTables || tables == newTables) << "tables of two states";
            ASSERT_EQ(runCli(args, 0), Ending::Finished);
            EXPECT_EQ(withoutSolution(snapshot(workDb)), restored);
            // The copy as it was, and the tables it replaced kept in another (by the killed
            // restore when that had put its tables in, else by this one).
            const auto after = copySnapshots(workDb / store::kCopiesFolder);
            EXPECT_TRUE(after.at(copy) == oldFiles);
            EXPECT_TRUE(std::any_of(after.begin(), after.end(), [&](const auto& kept) {
                return kept.first != copy && kept.second == current;
            }));
            expectNoStrayFiles();
        });
    EXPECT_GE(killed, kills);
}

TEST_F(KilledRunsTest, SecondActionLeavesNoPartialResultAndTheNextRunSucceeds) {
    writeSolutionFromTables(workDb);
    const auto tables = snapshot(workDb);
    const fs::path folder = scratch / "datos";
    fs::create_directories(folder);
    const fs::path centre = folder / "centro.xml";
    const std::string centreBytes = readBytes(exampleCentre());
    writeBytes(centre, centreBytes);
    const fs::path result = toxml::resultFileName(centre);
    const std::string earlier = "<Centro Codigo=\"anterior\"><horario/></Centro>\n";
    const std::vector<std::string> args = {"importar", centre.string(), "--workdb",
                                           workDb.string()};

    const std::size_t kills = killsWanted() - killsWanted() * 3 / 4;
    std::size_t round = 0;
    const std::size_t killed = killRepeatedly(
        args, kills,
        [&] {
            // Every other run has an earlier result in the way; temporaries of killed runs stay.
            fs::remove(result);
            if (++round % 2 == 0) writeBytes(result, earlier);
        },
        [&] {
            EXPECT_EQ(readBytes(centre), centreBytes);
            EXPECT_EQ(snapshot(workDb), tables);
            if (fs::exists(result) && readBytes(result) != earlier) {
                EXPECT_TRUE(wellFormedResult(result));
            }
            ASSERT_EQ(runCli(args, 0), Ending::Finished);
            EXPECT_TRUE(wellFormedResult(result));
        });
    EXPECT_GE(killed, kills);
    // The hidden files of killed runs go once they are too old to be a live run's.
    for (const std::string& name : strayTemporaries(folder))
        fs::last_write_time(folder / name,
                            fs::file_time_type::clock::now() - std::chrono::hours(1));
    ASSERT_EQ(runCli(args, 0), Ending::Finished);
    EXPECT_TRUE(strayTemporaries(folder).empty());
}

}  // namespace
}  // namespace lindavex::testing
