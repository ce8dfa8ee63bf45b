// lindavex-cli restaurar: the copies the first action keeps of the tables it replaces, listed
// and put back, all or nothing.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "cli_process.h"
#include "store/dbase/table.h"
#include "support/scratch_dir.h"

namespace lindavex::testing {
namespace {
namespace fs = std::filesystem;
using Files = std::map<std::string, std::string>;

class Restaurar : public ::testing::Test {
  protected:
    Restaurar() { fs::create_directories(workDb); }

    Outcome cli(std::vector<std::string> args) {
        args.insert(args.end(), {"--workdb", workDb.string()});
        return runCli(scratch.path(), args);
    }
    void exportar(const fs::path& centre) {
        const Outcome o = cli({"exportar", centre.string()});
        ASSERT_EQ(o.status, 0) << o.err;
    }
    Files tables() { return without(snapshot(workDb), "LINDAVEX-COPIAS"); }
    // The copies' names, oldest first.
    std::vector<std::string> copies() {
        std::vector<std::string> names;
        for (const auto& [name, files] : folderSnapshots(workDb / "LINDAVEX-COPIAS"))
            names.push_back(name);
        return names;
    }

    ScratchDir scratch;
    fs::path workDb = scratch / "WTEMP";
    fs::path small = fs::path(LINDAVEX_SOURCE_DIR) / "fuzz/corpus/centre_document/small.xml";
    fs::path example = fs::path(LINDAVEX_SOURCE_DIR) / "examples/centro.xml";
};

TEST_F(Restaurar, ListsRestoresAndRefusesChangingNothing) {
    Outcome o = cli({"restaurar"});
    EXPECT_EQ(o.status, 0);
    EXPECT_EQ(o.out, "No hay copias de las tablas en " + workDb.string() + "\n");

    exportar(small);
    const Files smallTables = tables();
    exportar(example);
    const Files exampleTables = tables();
    ASSERT_EQ(copies().size(), 1U);
    const std::string smallCopy = copies().back();
    const std::size_t teachers = store::Table::open(workDb / "LINDAVEX-COPIAS" / smallCopy, "PROFT",
                                                    store::Table::Mode::Shared)
                                     .recordCount();
    o = cli({"restaurar"});
    EXPECT_EQ(o.status, 0);
    EXPECT_EQ(o.out.find(smallCopy + "\n"), 0U) << o.out;
    EXPECT_NE(o.out.find("\n  PROFT.DBF: " + std::to_string(teachers) + " registros\n"),
              std::string::npos)
        << o.out;

    // A restore, then the restore of that restore: each keeps what it replaced as a new copy.
    o = cli({"restaurar", smallCopy});
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(tables(), smallTables);
    ASSERT_EQ(copies().size(), 2U);
    const std::string exampleCopy = copies().back();
    EXPECT_EQ(o.out, "Proceso finalizado\nCopia restaurada: " + smallCopy +
                         "\nTablas anteriores guardadas en: " +
                         (workDb / "LINDAVEX-COPIAS" / exampleCopy).string() +
                         "\n  Para volver a ellas: lindavex-cli restaurar " + exampleCopy + "\n");
    o = cli({"restaurar", exampleCopy});
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(tables(), exampleTables);
    EXPECT_EQ(copies().size(), 3U);
    // Newest first.
    o = cli({"restaurar"});
    EXPECT_LT(o.out.find(copies().back() + "\n"), o.out.find(smallCopy + "\n")) << o.out;

    // Refusals: nothing changes, not even the copies.
    const Files before = snapshot(workDb);
    const struct {
        const char* what;
        std::vector<std::string> args;
        bool holdProft;
        const char* error;
    } refusals[] = {
        {"held table", {"restaurar", smallCopy}, true, "La tabla está en uso por otro programa"},
        {"unknown date", {"restaurar", "2001-01-01_000000"}, false, "No existe la copia"},
        {"not a copy's name", {"restaurar", "../WTEMP"}, false, "No existe la copia"},
    };
    for (const auto& refusal : refusals) {
        SCOPED_TRACE(refusal.what);
        std::optional<store::Table> held;
        if (refusal.holdProft)
            held.emplace(store::Table::open(workDb, "PROFT", store::Table::Mode::Shared));
        o = cli(refusal.args);
        EXPECT_EQ(o.status, 1);
        EXPECT_NE(o.err.find(refusal.error), std::string::npos) << o.err;
        EXPECT_EQ(o.out, "");
        held.reset();
        EXPECT_EQ(snapshot(workDb), before);
    }
    EXPECT_EQ(cli({"restaurar", smallCopy, exampleCopy}).status, 2);
}

TEST_F(Restaurar, TheTenNewestCopiesAreKept) {
    exportar(small);
    for (std::size_t run = 1; run <= 10; ++run) exportar(example);
    const std::vector<std::string> ten = copies();
    ASSERT_EQ(ten.size(), 10U);
    // The eleventh run that replaces tables removes the oldest copy.
    exportar(example);
    const std::vector<std::string> after = copies();
    ASSERT_EQ(after.size(), 10U);
    EXPECT_EQ(std::vector<std::string>(after.begin(), after.end() - 1),
              std::vector<std::string>(ten.begin() + 1, ten.end()));
}

}  // namespace
}  // namespace lindavex::testing
