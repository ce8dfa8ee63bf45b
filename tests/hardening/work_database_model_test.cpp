// Random sequences of what happens to a work database, checked against a small model of what it
// and each copy of its tables must hold: the first action over several centre files, restores
// of random copies, the second action, the clock set back and forward, copies tampered with by
// hand, and any file call failing on the way. After every step the tables are all of one state,
// every copy is whole (or refused when tampered with), the copies are listed in the order they
// were made whatever the clock said, and the copy a run announced is there. The seed is printed
// on failure, and LINDAVEX_MODEL_SEED replays it; LINDAVEX_MODEL_STEPS sets how many steps (240,
// 120 on Windows, when unset).
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <system_error>
#include <vector>

#include "hardening_support.h"
#include "store/files/file_io.h"
#include "store/workdb/copy_restore.h"
#include "support/scratch_dir.h"
#include "toworkdb/conversion_run.h"
#include "toxml/result_export.h"

namespace lindavex::testing {
namespace {

namespace io = store::file_io;
using Tables = std::map<std::string, std::string>;

// The work tables a folder holds, each as the engine reads it.
Tables tablesIn(const fs::path& dir) {
    Tables tables;
    for (const char* name : store::work_tables::writtenTables())
        if (fs::exists(store::findDbf(dir, name))) tables[name] = tableContent(dir, name);
    return tables;
}

struct ModelCopy {
    std::string name;
    Tables tables;
    bool tampered = false;
    bool emptied = false;  // its number in the order made went with its files: listed first
};

struct Model {
    Tables current;                 // empty: the work database has no tables yet
    std::vector<ModelCopy> copies;  // in the order made, oldest first
};

class WorkDatabaseModelTest : public ::testing::Test {
  protected:
    void TearDown() override { io::reset(); }

    // One command, with the armed failure if any; whether it ended well.
    template <typename Command>
    bool run(Command command, std::optional<io::Injection> failure, std::string& error) {
        io::reset();
        io::shiftClock(clockShift);
        if (failure) io::inject(*failure);
        bool finished = false;
        try {
            command();
            finished = true;
        } catch (const Error& e) {
            error = e.what();
        }
        io::reset();
        io::shiftClock(clockShift);
        return finished;
    }

    // The copies as listed, checked against the model; the model then holds what is there,
    // since a copy that pruning should have removed may stay when a call failed on the way.
    void checkAgainstModel(Model& model, const std::vector<std::string>& mustStay) {
        EXPECT_EQ(tablesIn(workDb), model.current) << "tables of another state";
        const auto listed = store::tableCopies(workDb, store::restoredWorkTables());
        std::vector<ModelCopy> present;
        for (auto it = listed.rbegin(); it != listed.rend(); ++it) {
            const auto known = std::find_if(model.copies.begin(), model.copies.end(),
                                            [&](const ModelCopy& c) { return c.name == it->name; });
            ASSERT_NE(known, model.copies.end()) << "a copy no run made: " << it->name;
            EXPECT_EQ(it->problems.empty(), !known->tampered) << it->name;
            if (!known->tampered) {
                EXPECT_EQ(tablesIn(it->folder), known->tables) << it->name;
            }
            present.push_back(*known);
        }
        // Listed newest first, in the order made: the model's order, whatever the clock said.
        std::vector<std::string> order, expected, emptied;
        for (const ModelCopy& c : present) order.push_back(c.name);
        for (const ModelCopy& c : model.copies)
            if (std::any_of(present.begin(), present.end(),
                            [&](const ModelCopy& p) { return p.name == c.name; }))
                (c.emptied ? emptied : expected).push_back(c.name);
        std::sort(emptied.begin(), emptied.end());
        expected.insert(expected.begin(), emptied.begin(), emptied.end());
        EXPECT_EQ(order, expected) << "copies out of the order they were made";
        for (const std::string& name : mustStay)
            EXPECT_TRUE(std::any_of(present.begin(), present.end(),
                                    [&](const ModelCopy& c) { return c.name == name; }))
                << "pruned: " << name;
        // The ten most recently made stay (of those whose number is known).
        std::size_t newest = 0;
        for (auto it = model.copies.rbegin(); it != model.copies.rend(); ++it) {
            if (it->emptied) continue;
            if (newest++ == store::kCopiesKept) break;
            EXPECT_TRUE(std::any_of(present.begin(), present.end(),
                                    [&](const ModelCopy& c) { return c.name == it->name; }))
                << "one of the newest pruned: " << it->name;
        }
        model.copies = present;
    }

    ScratchDir scratch;
    fs::path workDb = scratch / "WTEMP";
    std::chrono::seconds clockShift{0};
};

TEST_F(WorkDatabaseModelTest, RandomSequencesKeepTablesAndCopiesWhole) {
    const char* stepsText = std::getenv("LINDAVEX_MODEL_STEPS");
#ifdef _WIN32
    constexpr std::size_t kDefaultSteps = 120;  // each file call is several times slower there
#else
    constexpr std::size_t kDefaultSteps = 240;
#endif
    const std::size_t steps =
        stepsText != nullptr ? std::strtoul(stepsText, nullptr, 10) : kDefaultSteps;
    const char* seedText = std::getenv("LINDAVEX_MODEL_SEED");
    const unsigned seed = seedText != nullptr
                              ? static_cast<unsigned>(std::strtoul(seedText, nullptr, 10))
                              : std::random_device{}();
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    const auto chance = [&](int percent) {
        return std::uniform_int_distribution<int>(1, 100)(random) <= percent;
    };
    const auto pick = [&](std::size_t n) {
        return std::uniform_int_distribution<std::size_t>(0, n - 1)(random);
    };

    // What each centre file gives, converted once on its own; the last one stops every run.
    const std::vector<fs::path> centres = {
        smallCentre(), exampleCentre(),
        fs::path(LINDAVEX_SOURCE_DIR) / "examples/centro-con-problemas.xml"};
    std::vector<std::optional<Tables>> converted;
    for (const fs::path& centre : centres) {
        const fs::path alone = scratch / ("SOLO" + std::to_string(converted.size()));
        fs::create_directories(alone);
        try {
            toworkdb::convert(centre, alone);
            converted.emplace_back(tablesIn(alone));
        } catch (const Error&) {
            converted.emplace_back();
        }
    }
    ASSERT_TRUE(converted[0] && converted[1] && !converted[2]);
    fs::create_directories(workDb);
    const fs::path resultCentre = scratch / "centro.xml";
    writeBytes(resultCentre, readBytes(exampleCentre()));

    constexpr io::Operation kOperations[] = {
        io::Operation::Write, io::Operation::Flush,  io::Operation::Rename,
        io::Operation::Link,  io::Operation::Delete, io::Operation::CreateDirectory,
        io::Operation::Read,  io::Operation::List,   io::Operation::CreateFile};
    Model model;
    for (std::size_t step = 0; step < steps && !HasFatalFailure(); ++step) {
        std::optional<io::Injection> failure;
        if (chance(30))
            failure = io::Injection{kOperations[pick(std::size(kOperations))], 1 + pick(40), EIO};
        std::string error;
        std::vector<std::string> mustStay;
        const int what = std::uniform_int_distribution<int>(0, 99)(random);
        if (what < 35) {
            const std::size_t centre = pick(centres.size());
            SCOPED_TRACE("step " + std::to_string(step) + ": exportar " +
                         centres[centre].filename().string());
            toworkdb::ConversionReport report;
            const bool finished =
                run([&] { report = toworkdb::convert(centres[centre], workDb); }, failure, error);
            if (finished) {
                ASSERT_TRUE(converted[centre]);
                if (!model.current.empty()) {
                    // The copy the run announces is there, holding what it replaced.
                    ASSERT_FALSE(report.earlierTables.empty());
                    ASSERT_TRUE(fs::is_directory(report.earlierTables));
                    const std::string name = report.earlierTables.filename().string();
                    model.copies.push_back({name, model.current});
                    mustStay.push_back(name);
                }
                model.current = *converted[centre];
            }
        } else if (what < 55) {
            const bool bogus = model.copies.empty() || chance(5);
            const std::size_t chosen = bogus ? 0 : pick(model.copies.size());
            const std::string name = bogus ? "2001-01-01_000000" : model.copies[chosen].name;
            SCOPED_TRACE("step " + std::to_string(step) + ": restaurar " + name);
            store::RestoredCopy restored;
            const bool finished = run(
                [&] {
                    restored = store::restoreTableCopy(workDb, name, store::restoredWorkTables());
                },
                failure, error);
            if (!bogus && model.copies[chosen].tampered) {
                EXPECT_FALSE(finished) << "a damaged copy put back";
            }
            if (finished) {
                ASSERT_FALSE(bogus);
                const Tables before = model.current;
                model.current = model.copies[chosen].tables;
                mustStay.push_back(name);
                if (!before.empty()) {
                    ASSERT_TRUE(fs::is_directory(restored.keptCopy));
                    const std::string kept = restored.keptCopy.filename().string();
                    model.copies.push_back({kept, before});
                    mustStay.push_back(kept);
                }
            }
        } else if (what < 65) {
            SCOPED_TRACE("step " + std::to_string(step) + ": importar");
            if (!model.current.empty() && !fs::exists(workDb / "SOLUC.DBF"))
                writeSolutionFromTables(workDb);
            if (fs::exists(workDb / "SOLUC.DBF")) {
                const bool finished =
                    run([&] { toxml::exportResult(resultCentre, workDb); }, failure, error);
                if (!failure) {
                    EXPECT_TRUE(finished) << error;
                }
            }
        } else if (what < 80) {
            // The clock set back ten years or an hour (October), or on by an hour or a day.
            const std::chrono::seconds jumps[] = {std::chrono::hours(-24 * 3653),
                                                  std::chrono::hours(-1), std::chrono::seconds(0),
                                                  std::chrono::hours(1), std::chrono::hours(24)};
            clockShift = jumps[pick(std::size(jumps))];
            SCOPED_TRACE("step " + std::to_string(step) + ": clock moved " +
                         std::to_string(clockShift.count()) + " s");
        } else if (what < 90 && !model.copies.empty()) {
            ModelCopy& copy = model.copies[pick(model.copies.size())];
            const fs::path folder = workDb / store::kCopiesFolder / copy.name;
            SCOPED_TRACE("step " + std::to_string(step) + ": tampered with " + copy.name);
            if (!fs::is_directory(folder)) continue;
            const fs::path table = folder / "ASIGT.DBF";
            switch (pick(4)) {
                case 0:  // cut short
                    if (fs::exists(table)) fs::resize_file(table, fs::file_size(table) * 2 / 3);
                    copy.tampered = true;
                    break;
                case 1:  // emptied
                    if (fs::exists(table)) fs::resize_file(table, 0);
                    copy.tampered = true;
                    break;
                case 2:  // every file removed by hand
                    for (const auto& file : fs::directory_iterator(folder)) fs::remove(file);
                    copy.tampered = copy.emptied = true;
                    break;
                default:  // a second spelling of a table beside the first: no damage
                    // Where names have no letter case (Windows) both are one file: nothing to do.
                    if (fs::exists(folder / "PROFT.DBF") && !fs::exists(folder / "proft.dbf")) {
                        std::error_code ec;
                        fs::copy_file(folder / "PROFT.DBF", folder / "proft.dbf", ec);
                    }
                    break;
            }
        }
        checkAgainstModel(model, mustStay);
    }
}

}  // namespace
}  // namespace lindavex::testing
