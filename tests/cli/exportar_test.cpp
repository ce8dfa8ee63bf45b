// lindavex-cli exportar, run as a process: output and exit status.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "cli_process.h"
#include "shell/controller.h"
#include "shell/run_state.h"
#include "store/error.h"
#include "store/files/file_io.h"
#include "support/files.h"
#include "support/recording_ui.h"
#include "support/scratch_dir.h"
#include "toworkdb/conversion_run.h"

namespace {
namespace fs = std::filesystem;
using lindavex::testing::Outcome;
using lindavex::testing::readBytes;
using lindavex::testing::ScratchDir;
using lindavex::testing::snapshot;

class ExportarCommand : public ::testing::Test {
  protected:
    ExportarCommand() { fs::create_directories(workDb); }

    Outcome cli(const std::vector<std::string>& args, const std::string& workDbEnv = "",
                std::size_t stopAtFileCall = 0) {
        return lindavex::testing::runCli(scratch.path(), args, workDbEnv, stopAtFileCall);
    }
    // A centre file whose one subject hours are no number.
    fs::path badCentre() {
        const fs::path bad = scratch / "malo.xml";
        std::ofstream(bad) << "<Centro><Grupos><Grupo Codigo=\"1A\"><MateriasGrupo>"
                              "<MateriaGrupo Codigo=\"MAT\" Horas=\"x\"/>"
                              "</MateriasGrupo></Grupo></Grupos></Centro>";
        return bad;
    }

    ScratchDir scratch;
    fs::path workDb = scratch / "WTEMP";
    std::string example = std::string(LINDAVEX_SOURCE_DIR) + "/examples/centro.xml";
};

TEST_F(ExportarCommand, ConvertsAndCountsTheRecordsOfEachTable) {
    const Outcome r = cli({"exportar", example, "--workdb", workDb.string()});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out,
              "Proceso finalizado\n"
              "ASIGNOMT: 21 registros\n"
              "PROFT: 12 registros\n"
              "AULAT: 13 registros\n"
              "GRUPOST: 8 registros\n"
              "DIASHORAST: 30 registros\n"
              "COUNTSES: 2 registros\n"
              "ASIGT: 82 registros\n");
    EXPECT_EQ(r.err, "");

    // The work database may also come from LINDAVEX_WORKDB, and the option form --workdb=DIR.
    const fs::path other = scratch / "OTRA";
    fs::create_directories(other);
    EXPECT_EQ(cli({"exportar", example}, other.string()).status, 0);
    EXPECT_TRUE(fs::exists(other / "ASIGT.DBF"));
    fs::remove_all(other);
    fs::create_directories(other);
    EXPECT_EQ(cli({"exportar", "--workdb=" + other.string(), example}).status, 0);
    EXPECT_TRUE(fs::exists(other / "ASIGT.DBF"));
}

TEST_F(ExportarCommand, FailuresExitWithOne) {
    Outcome r = cli({"exportar", (scratch / "falta.xml").string(), "--workdb", workDb.string()});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "No existe archivo\n");

    r = cli({"exportar", badCentre().string(), "--workdb", workDb.string()});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err.substr(0, r.err.find('\n') + 1), "'x' is not a valid floating point value\n");
    EXPECT_TRUE(fs::is_empty(workDb));

    r = cli({"exportar", example, "--workdb", (scratch / "NOEXISTE").string()});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("NOEXISTE"), std::string::npos) << r.err;
}

TEST_F(ExportarCommand, UsageErrorsExitWithTwo) {
    const std::vector<std::vector<std::string>> wrong = {
        {"exportar"},
        {"exportar", example, example},
        {"exportar", example, "--workdb"},
        {"exportar", example, "--workdb", "a", "--workdb", "b"},
        {"exportar", example, "--bogus"},
    };
    for (const auto& args : wrong) {
        const Outcome r = cli(args);
        EXPECT_EQ(r.status, 2) << args.size();
        EXPECT_NE(r.err.find("lindavex-cli exportar CENTRO.xml"), std::string::npos) << r.err;
        EXPECT_EQ(r.out, "");
    }
    const Outcome help = cli({"exportar", "--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("lindavex-cli importar"), std::string::npos);
}

TEST_F(ExportarCommand, ARunKilledWhileMovingTablesInIsUndoneByTheNextRun) {
    ASSERT_EQ(cli({"exportar", example, "--workdb", workDb.string()}).status, 0);
    std::ofstream(workDb / "CURSOST.DBF") << "courses";
    std::ofstream(workDb / "SOLUC.DBF") << "solution";
    const auto before = snapshot(workDb);

    // Another school year: other teacher codes and hours, so that PROFT and ASIGT change.
    std::string text = readBytes(example);
    text.replace(text.find("Codigo=\"P01\""), 12, "Codigo=\"P99\"");
    text.replace(text.find("Horas=\"04,00\""), 13, "Horas=\"05,00\"");
    const fs::path next = scratch / "siguiente.xml";
    std::ofstream(next, std::ios::binary) << text;

    // Where the file calls of that run fall, counted on a copy of the work database.
    const fs::path copy = scratch / "COPIA";
    fs::copy(workDb, copy, fs::copy_options::recursive);
    namespace io = lindavex::store::file_io;
    io::reset();
    lindavex::RunState state;
    state.workDb = copy;
    lindavex::testing::RecordingUi ui;
    ui.dialogAnswers.push_back(next);
    const auto report = lindavex::shell::runConversion(state, ui);
    ASSERT_EQ(state.completionStatus, 1);
    // Up to the end of the swap: after it, the run only reads, to say what it changed.
    std::size_t calls = io::totalCalls();
    io::reset();
    ASSERT_TRUE(report && !report->earlierTables.empty());
    try {
        (void)lindavex::toworkdb::compareTables(report->earlierTables, copy, copy);
    } catch (const lindavex::Error&) {
        // SOLUC here is no table: the run says so in its details and so stops reading too.
    }
    calls -= io::totalCalls();
    io::reset();

    // Killed after the first tables went in, before ASIGT (its last calls: rename ASIGT.DBF,
    // remove CURSOST.DBF, flush, move the old files to their copy, flush, drop the journal,
    // flush, list and read the copies to prune them, list the run's folder and remove it); and
    // killed with every table in and the old ones a copy, but the journal still there. Either
    // way the next run puts the old tables back first, even when it then fails itself, and the
    // copy, and the copies folder this run made, go with them.
    const fs::path saved = scratch / "ANTES";
    fs::copy(workDb, saved, fs::copy_options::recursive);
    for (const std::size_t stop : {calls - 11, calls - 6}) {
        SCOPED_TRACE(stop);
        fs::remove_all(workDb);
        fs::copy(saved, workDb, fs::copy_options::recursive);
        ASSERT_EQ(cli({"exportar", next.string(), "--workdb", workDb.string()}, "", stop).status,
                  -2);
        EXPECT_NE(readBytes(workDb / "PROFT.DBF"), before.at("PROFT.DBF"));
        EXPECT_EQ(readBytes(workDb / "ASIGT.DBF") == before.at("ASIGT.DBF"), stop == calls - 11);
        EXPECT_EQ(fs::is_empty(workDb / "LINDAVEX-COPIAS"), stop == calls - 11);

        EXPECT_EQ(cli({"exportar", badCentre().string(), "--workdb", workDb.string()}).status, 1);
        EXPECT_EQ(snapshot(workDb), before);
    }
}

}  // namespace
