// lindavex-cli restaurar: the copies the first action keeps of the tables it replaces, listed
// and put back, all or nothing.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "support/copy_snapshots.h"
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
        for (const auto& [name, files] : copySnapshots(workDb / "LINDAVEX-COPIAS"))
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

// A copy is checked before it is trusted: a damaged one is marked in the listing and refused,
// nothing changed; a sound one is found by its name as people type it, and a restore names the
// tables it removes because the copy lacks them.
TEST_F(Restaurar, DamagedCopiesAreRefusedAndNamesAreTakenAsTyped) {
    exportar(small);
    exportar(example);
    const fs::path copies = workDb / "LINDAVEX-COPIAS";
    const fs::path sound = copies / this->copies().back();
    const struct {
        const char* name;
        const char* file;
        std::optional<std::string> bytes;  // none: the file removed
        const char* said;
    } damages[] = {
        {"2001-01-01_000001", "ASIGT.DBF", std::nullopt, nullptr},
        {"2001-01-01_000002", "AULAT.DBF", "", "AULAT.DBF vacía"},
        {"2001-01-01_000003", "PROFT.DBF", std::string(300, 'x'), "PROFT.DBF ilegible"},
        {"2001-01-01_000004", "COUNTSES.MDX", std::nullopt, "COUNTSES.DBF sin su índice"},
        {"2001-01-01_000005", nullptr, std::nullopt, "no tiene ninguna tabla"},
    };
    for (const auto& damage : damages) {
        fs::copy(sound, copies / damage.name);
        const fs::path file = copies / damage.name / (damage.file ? damage.file : "");
        if (damage.file == nullptr) {
            for (const auto& entry : fs::directory_iterator(copies / damage.name))
                fs::remove(entry);
        } else if (damage.bytes) {
            writeBytes(file, *damage.bytes);
        } else if (std::string(damage.file) == "ASIGT.DBF") {
            fs::resize_file(file, fs::file_size(file) - 100);  // cut short
        } else {
            fs::remove(file);
        }
    }
    const Outcome listed = cli({"restaurar"});
    const Files before = snapshot(workDb);
    for (const auto& damage : damages) {
        SCOPED_TRACE(damage.name);
        const std::string said = damage.said ? damage.said : "ASIGT.DBF cortada";
        EXPECT_NE(listed.out.find(std::string(damage.name) + " (dañada: " + said + ")\n"),
                  std::string::npos)
            << listed.out;
        const Outcome o = cli({"restaurar", damage.name});
        EXPECT_EQ(o.status, 1);
        EXPECT_NE(o.err.find("La copia está dañada"), std::string::npos) << o.err;
        EXPECT_NE(o.err.find(said), std::string::npos) << o.err;
        EXPECT_EQ(snapshot(workDb), before);
    }

    // A copy that lacks a table: the table goes, and the output says so.
    fs::copy(sound, copies / "2001-01-01_000006");
    fs::remove(copies / "2001-01-01_000006" / "GRUPOST.DBF");
    Outcome o = cli({"restaurar", "2001-01-01_000006/"});
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_NE(o.out.find("Tablas quitadas porque la copia no las tiene: GRUPOST\n"),
              std::string::npos)
        << o.out;
    EXPECT_FALSE(fs::exists(workDb / "GRUPOST.DBF"));
    // The full path of a copy names it too.
    o = cli({"restaurar", sound.string()});
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_TRUE(fs::exists(workDb / "GRUPOST.DBF"));
}

// A file of the user's where the copies folder goes stops the first action before anything
// changes, is named in the message, and stays as it was.
TEST_F(Restaurar, AFileInTheWayOfTheCopiesIsNamedAndKept) {
    exportar(small);
    writeBytes(workDb / "LINDAVEX-COPIAS", "notas del centro");
    const Files before = snapshot(workDb);
    const Outcome o = cli({"exportar", example.string()});
    EXPECT_EQ(o.status, 1);
    EXPECT_NE(o.err.find("LINDAVEX-COPIAS (es un archivo, no una carpeta)"), std::string::npos)
        << o.err;
    EXPECT_EQ(snapshot(workDb), before);
}

}  // namespace
}  // namespace lindavex::testing
