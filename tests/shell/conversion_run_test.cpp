// The first action as a whole: dialog, messages, status, wait cursor, and the work database
// changed all together or not at all.
#include "toworkdb/conversion_run.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "shell/controller.h"
#include "store/dbase/table.h"
#include "store/dbase/table_files.h"
#include "store/error.h"
#include "store/files/file_io.h"
#include "store/files/platform.h"
#include "support/copy_snapshots.h"
#include "support/error_text.h"
#include "support/files.h"
#include "support/process.h"
#include "support/recording_ui.h"
#include "support/scratch_dir.h"
#include "toworkdb/findings.h"

namespace lindavex::toworkdb {
namespace {
namespace fs = std::filesystem;
using lindavex::testing::copySnapshots;
using lindavex::testing::errorText;
using lindavex::testing::readBytes;
using lindavex::testing::snapshot;
using lindavex::testing::without;
using lindavex::testing::writeBytes;
using shell::runConversion;
using testing::RecordingUi;
using testing::ScratchDir;

std::size_t records(const fs::path& dir, const char* table) {
    return store::Table::open(dir, table, store::Table::Mode::Shared).recordCount();
}

// Records the order of what the run shows and does.
class OrderedUi : public RecordingUi {
  public:
    std::vector<std::string> events;
    void showMessage(const std::string& text) override {
        RecordingUi::showMessage(text);
        events.push_back(text);
    }
    void closeWindow() override {
        RecordingUi::closeWindow();
        events.push_back("close");
    }
};

class ConversionRunTest : public ::testing::Test {
  protected:
    ConversionRunTest() {
        fs::create_directories(workDb);
        state.workDb = workDb;
    }

    // The shipped example with one text replaced.
    fs::path exampleWith(const std::string& from, const std::string& to) {
        std::string text = readBytes(example);
        const auto at = text.find(from);
        EXPECT_NE(at, std::string::npos) << from;
        text.replace(at, from.size(), to);
        const fs::path path = scratch / "variant.xml";
        writeBytes(path, text);
        return path;
    }

    void runOn(const fs::path& file) {
        ui.dialogAnswers.push_back(file);
        report = runConversion(state, ui);
    }

    // A work database as an earlier run and the timetabling product left it.
    void fillWorkDb() {
        runOn(example);
        ASSERT_EQ(state.completionStatus, 1);
        writeBytes(store::dbfPath(workDb, "CURSOST"), "courses");
        writeBytes(store::mdxPath(workDb, "CURSOST"), "courses index");
        writeBytes(workDb / "SOLUC.DBF", "solution");
        ui = OrderedUi();
        state.completionStatus = 0;
    }

    // Runs on a file, expecting an error; nothing in the work database may change.
    void expectFailureLeavesWorkDbAsItWas(const fs::path& file, const std::string& message) {
        const auto before = snapshot(workDb);
        const std::string error = errorText([&] { runOn(file); });
        EXPECT_NE(error.find(message), std::string::npos) << error;
        EXPECT_EQ(snapshot(workDb), before);
        EXPECT_EQ(state.completionStatus, 0);
        EXPECT_TRUE(ui.messages.empty());
        EXPECT_EQ(ui.cursorChanges, (std::vector<bool>{true, false}));
    }

    ScratchDir scratch;
    fs::path workDb = scratch / "WTEMP";
    fs::path example = fs::path(LINDAVEX_SOURCE_DIR) / "examples" / "centro.xml";
    RunState state;
    std::optional<ConversionReport> report;  // of the last runOn
    OrderedUi ui;
};

TEST_F(ConversionRunTest, FirstClickCancelledReportsNoFileAndTouchesNothing) {
    runConversion(state, ui);
    EXPECT_EQ(ui.events, (std::vector<std::string>{"No existe archivo"}));
    EXPECT_EQ(state.completionStatus, 0);
    EXPECT_TRUE(ui.cursorChanges.empty());
    EXPECT_TRUE(fs::is_empty(workDb));

    // A typed name of a missing file, and a folder, are no file either.
    runOn(scratch / "falta.xml");
    runOn(scratch.path());
    EXPECT_EQ(ui.messages.size(), 3u);
    EXPECT_EQ(state.completionStatus, 0);
    EXPECT_EQ(ui.closeCount, 0);
}

TEST_F(ConversionRunTest, EmbeddedRunsShowTheMessageThenClose) {
    state.argumentCount = 2;
    runOn(scratch / "falta.xml");
    EXPECT_EQ(ui.events, (std::vector<std::string>{"No existe archivo", "close"}));
    EXPECT_EQ(state.completionStatus, -1);
    EXPECT_TRUE(fs::is_empty(workDb));

    ui = OrderedUi();
    runOn(example);
    EXPECT_EQ(ui.events, (std::vector<std::string>{"Proceso finalizado", "close"}));
    EXPECT_EQ(state.completionStatus, 1);
    EXPECT_EQ(ui.cursorChanges, (std::vector<bool>{true, false}));
}

TEST_F(ConversionRunTest, WritesTheSevenTablesAndRemovesCourses) {
    writeBytes(store::dbfPath(workDb, "CURSOST"), "courses");
    writeBytes(store::mdxPath(workDb, "CURSOST"), "courses index");
    writeBytes(store::mdxPath(workDb, "ASIGT"), "an index of an older ASIGT");
    writeBytes(workDb / "SOLUC.DBF", "solution");
    // Other programs' spellings of the same names: each is replaced or removed with its table.
    for (const char* name :
         {"proft.dbf", "cursost.dbf", "Cursost.mdx", "countses.mdx", "Asigt.Mdx"})
        writeBytes(workDb / name, "written by another program");
    // Every one of them is kept in the run's copy, SOLUC not.
    auto replaced = snapshot(workDb);
    replaced.erase("SOLUC.DBF");

    runOn(example);
    EXPECT_EQ(ui.events, (std::vector<std::string>{"Proceso finalizado"}));
    EXPECT_EQ(state.completionStatus, 1);
    EXPECT_EQ(state.xmlFileName, example);

    std::vector<std::string> files;
    for (const auto& entry : fs::directory_iterator(workDb))
        files.push_back(entry.path().filename().string());
    std::sort(files.begin(), files.end());
    EXPECT_EQ(files,
              (std::vector<std::string>{"ASIGNOMT.DBF", "ASIGT.DBF", "AULAT.DBF", "COUNTSES.DBF",
                                        "COUNTSES.MDX", "DIASHORAST.DBF", "GRUPOST.DBF",
                                        "LINDAVEX-COPIAS", "PROFT.DBF", "SOLUC.DBF"}));
    ASSERT_TRUE(report);
    EXPECT_EQ(report->earlierTables.parent_path(), workDb / "LINDAVEX-COPIAS");
    EXPECT_EQ(copySnapshots(workDb / "LINDAVEX-COPIAS"),
              (std::map<std::string, std::map<std::string, std::string>>{
                  {report->earlierTables.filename().string(), replaced}}));
    // The example: 19 subjects and 2 activity types, 12 teachers, 13 rooms, 8 groups,
    // 5 days of 6 periods in two lengths, 82 subjects taught.
    EXPECT_EQ(records(workDb, "ASIGNOMT"), 21u);
    EXPECT_EQ(records(workDb, "PROFT"), 12u);
    EXPECT_EQ(records(workDb, "AULAT"), 13u);
    EXPECT_EQ(records(workDb, "GRUPOST"), 8u);
    EXPECT_EQ(records(workDb, "DIASHORAST"), 30u);
    EXPECT_EQ(records(workDb, "COUNTSES"), 2u);
    EXPECT_EQ(records(workDb, "ASIGT"), 82u);
    ASSERT_TRUE(report);
    EXPECT_EQ(report->L1, 55);
    EXPECT_EQ(report->L2, 35);
    // The sessions step ran before the assignments: 02,75 is three sessions of 55 minutes.
    auto asigt = store::Table::open(workDb, "ASIGT", store::Table::Mode::Shared);
    ASSERT_TRUE(asigt.lookup("CASIG", "FYQ"));
    EXPECT_EQ(asigt.asText("SESIONES"), "111");
}

TEST_F(ConversionRunTest, ASecondRunReusesTheFileAndWritesTheSameTables) {
    runOn(example);
    const auto first = snapshot(workDb);
    ASSERT_TRUE(report);
    ASSERT_FALSE(report->usedShortCodes.empty());

    report = runConversion(state, ui);  // dialog cancelled: the file of the first run
    EXPECT_EQ(ui.dialogCount, 2);
    EXPECT_EQ(ui.messages, (std::vector<std::string>{"Proceso finalizado", "Proceso finalizado"}));
    // Same rows; only the dates of last update in the headers could differ.
    EXPECT_EQ(records(workDb, "ASIGNOMT"), 21u);
    const auto second = without(snapshot(workDb), "LINDAVEX-COPIAS");
    EXPECT_EQ(second.size(), first.size());
    for (const auto& [name, bytes] : second) EXPECT_EQ(bytes.size(), first.at(name).size()) << name;
    // The first run's tables are the second's copy, byte for byte.
    ASSERT_TRUE(report);
    auto copy = snapshot(report->earlierTables);
    copy.erase(store::kCopyOrderFile);
    EXPECT_EQ(copy, first);
}

// Converted as an empty centre, it would empty every table: refused before the wait cursor.
TEST_F(ConversionRunTest, AFileThatDoesNotParseChangesNothing) {
    fillWorkDb();
    writeBytes(workDb / "CURSOST.DBF", "courses");
    const auto before = snapshot(workDb);
    const fs::path broken = scratch / "roto.xml";
    writeBytes(broken, "<Centro><Materias><Materia Codigo=\"MAT\"></Centro");
    EXPECT_NE(errorText([&] { runOn(broken); }).find("no es un documento XML válido (línea 1"),
              std::string::npos);
    EXPECT_EQ(snapshot(workDb), before);
    EXPECT_EQ(state.completionStatus, 0);
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_TRUE(ui.cursorChanges.empty());
}

TEST_F(ConversionRunTest, AStepErrorLeavesTheWorkDatabaseAsItWas) {
    fillWorkDb();
    {
        SCOPED_TRACE("bad Horas");
        expectFailureLeavesWorkDbAsItWas(exampleWith("Horas=\"02,75\"", "Horas=\"2 3/4\""),
                                         "'2 3/4' is not a valid floating point value");
    }
    ui = OrderedUi();
    {
        SCOPED_TRACE("bad time form");
        expectFailureLeavesWorkDbAsItWas(exampleWith("HoraInicio=\"08:00\"", "HoraInicio=\"8:00\""),
                                         "'8:' is not a valid integer value");
    }
}

// Another process that holds a table open, as the timetabling product would, until told to stop:
// folder, table, "shared" or "exclusive", and the marker it makes once it holds the table.
const testing::Role holdTable("hold-table", [](const std::vector<std::string>& args) {
    const auto mode =
        args.at(2) == "exclusive" ? store::Table::Mode::Exclusive : store::Table::Mode::Shared;
    const store::Table table = store::Table::open(args.at(0), args.at(1), mode);
    testing::signalReadyAndWait(args.at(3));
    return 0;
});

class TableHolder {
  public:
    TableHolder(const fs::path& dir, const char* name, store::Table::Mode mode)
        : marker_(dir.parent_path() / "table-held"),
          holder_(testing::runRole(
              holdTable,
              {dir.string(), name, mode == store::Table::Mode::Exclusive ? "exclusive" : "shared",
               marker_.string()})) {
        EXPECT_TRUE(testing::waitUntilReady(holder_, marker_))
            << "the child could not open the table";
    }
    ~TableHolder() {
        std::error_code ec;
        fs::remove(marker_, ec);
        holder_.wait();
    }

  private:
    fs::path marker_;
    testing::Process holder_;
};

TEST_F(ConversionRunTest, ATableInUseStopsTheRunBeforeAnythingChanges) {
    namespace io = store::file_io;
    fillWorkDb();
    for (const auto mode : {store::Table::Mode::Exclusive, store::Table::Mode::Shared}) {
        SCOPED_TRACE(mode == store::Table::Mode::Exclusive ? "exclusive" : "shared");
        ui = OrderedUi();
        TableHolder holder(workDb, "PROFT", mode);
        io::reset();
        expectFailureLeavesWorkDbAsItWas(example, "PROFT.DBF");
        EXPECT_EQ(
            io::totalCalls() - io::calls(io::Operation::List) - io::calls(io::Operation::Read), 0u)
            << "the run stops before it changes anything";
    }
    // The product's engine holds the tables it writes without this tool's lock; Windows keeps
    // other writers out by the way the file is opened.
    {
        const testing::HeldLikeTheProduct held(store::dbfPath(workDb, "ASIGT"));
        if (held.held()) {
            ui = OrderedUi();
            io::reset();
            expectFailureLeavesWorkDbAsItWas(example, "La tabla está en uso por otro programa: " +
                                                          store::dbfPath(workDb, "ASIGT").string());
            EXPECT_EQ(
                io::totalCalls() - io::calls(io::Operation::List) - io::calls(io::Operation::Read),
                0u);
        }
    }
    // Once the table is free again the run goes through.
    ui = OrderedUi();
    runOn(example);
    EXPECT_EQ(ui.messages, (std::vector<std::string>{"Proceso finalizado"}));
}

TEST_F(ConversionRunTest, AMissingWorkDatabaseIsAClearError) {
    state.workDb = scratch / "NOEXISTE";
    const std::string error = errorText([&] { runOn(example); });
    EXPECT_NE(error.find("NOEXISTE"), std::string::npos) << error;
    EXPECT_FALSE(fs::exists(state.workDb));
    EXPECT_EQ(ui.cursorChanges, (std::vector<bool>{true, false}));
    EXPECT_EQ(state.completionStatus, 0);
}

TEST_F(ConversionRunTest, WhatAKilledRunLeftBehindIsCleared) {
    fs::create_directories(workDb / ".lindavex-run" / "anterior");
    writeBytes(workDb / ".lindavex-run" / "ASIGT.DBF", "half written");
    writeBytes(workDb / ".lindavex-run" / "anterior" / "PROFT.DBF", "old");
    runOn(example);
    EXPECT_EQ(ui.messages, (std::vector<std::string>{"Proceso finalizado"}));
    EXPECT_FALSE(fs::exists(workDb / ".lindavex-run"));
    EXPECT_EQ(records(workDb, "ASIGT"), 82u);
}

// A run stopped while it moved its tables in (its journal there: the new PROFT.DBF in, the old
// one in the backups) is put back when the window starts, which says so; another run under way
// is said too; and nothing is said when there is nothing to put back.
TEST_F(ConversionRunTest, TheWindowPutsBackAStoppedRunWhenItStarts) {
    fillWorkDb();
    const std::string old = readBytes(store::dbfPath(workDb, "PROFT"));
    const fs::path run = workDb / ".lindavex-run";
    fs::create_directories(run / "anterior");
    fs::rename(store::dbfPath(workDb, "PROFT"), run / "anterior" / "PROFT.DBF");
    writeBytes(store::dbfPath(workDb, "PROFT"), "new, half the run");
    writeBytes(run / "moviendo", "1 PROFT.DBF\n0 GRUPOST.MDX\n");
    {
        store::platform::File held;
        ASSERT_EQ(store::platform::holdFolder(run, held), 0);
        shell::repairAtStart(state, ui);
        ASSERT_EQ(ui.messages.size(), 1U);
        EXPECT_NE(ui.messages[0].find("Otra conversi"), std::string::npos) << ui.messages[0];
    }
    shell::repairAtStart(state, ui);
    ASSERT_EQ(ui.messages.size(), 2U);
    EXPECT_EQ(ui.messages[1].rfind("Se deshizo una operación interrumpida: ", 0), 0U);
    EXPECT_EQ(readBytes(store::dbfPath(workDb, "PROFT")), old);
    EXPECT_FALSE(fs::exists(run));
    shell::repairAtStart(state, ui);
    EXPECT_EQ(ui.messages.size(), 2U);
}

TEST_F(ConversionRunTest, ASecondRunOnTheSameWorkDatabaseIsRefusedWhileTheFirstWorks) {
    fillWorkDb();
    // What a run in progress holds: its folder, locked, with a table half built.
    const fs::path busy = workDb / ".lindavex-run";
    fs::create_directories(busy);
    writeBytes(busy / "PROFT.DBF", "being written");
    store::platform::File held;
    ASSERT_EQ(store::platform::holdFolder(busy, held), 0);
    expectFailureLeavesWorkDbAsItWas(example, "Otra conversi");
}

TEST_F(ConversionRunTest, AFailingMoveIntoPlaceIsUndone) {
    namespace io = store::file_io;
    fillWorkDb();
    // How many renames a whole run makes; before the last, which makes the old files a copy,
    // eight put the staged files in place.
    io::reset();
    runOn(example);
    const std::size_t renames = io::calls(io::Operation::Rename);
    ASSERT_GT(renames, 9u);
    ui = OrderedUi();
    state.completionStatus = 0;

    for (const std::size_t failing : {renames - 8, renames - 4, renames - 1}) {
        SCOPED_TRACE(failing);
        ui = OrderedUi();
        io::reset();
        io::inject({io::Operation::Rename, failing, EIO});
        expectFailureLeavesWorkDbAsItWas(example, "No se puede escribir");
    }
    // Tables whose old files cannot be kept are not replaced either.
    ui = OrderedUi();
    io::reset();
    io::inject({io::Operation::Rename, renames, EIO});
    expectFailureLeavesWorkDbAsItWas(example, "No se puede guardar la copia de las tablas");
    // Where another program opened a table after the run's test, Windows refuses to replace it
    // with a sharing violation or access denied: the table is in use, not unwritable.
    for (const int error : {EWOULDBLOCK, EACCES}) {
        SCOPED_TRACE(error);
        ui = OrderedUi();
        io::reset();
        io::inject({io::Operation::Rename, renames - 1, error});
        expectFailureLeavesWorkDbAsItWas(example, "La tabla está en uso por otro programa: ");
    }
    io::reset();
}

TEST_F(ConversionRunTest, BackupsAreCopiedWhereLinksAreRefused) {
    namespace io = store::file_io;
    fillWorkDb();
    io::reset();
    io::inject({io::Operation::Link, 1, EPERM, true});
    runOn(example);
    io::reset();
    EXPECT_EQ(ui.messages, (std::vector<std::string>{"Proceso finalizado"}));
    EXPECT_FALSE(fs::exists(store::dbfPath(workDb, "CURSOST")));
    EXPECT_EQ(records(workDb, "ASIGT"), 82u);
}

// The closing message carries where the earlier tables went, the codes stored otherwise and what
// was left out, as its details; with nothing of the kind, the message alone.
TEST_F(ConversionRunTest, TheClosingMessageCarriesWhatWasStoredOtherwise) {
    runOn(exampleWith("Profesor Codigo=\"P02\"", "Profesor Codigo=\"PROFESOR_LARGO\""));
    ASSERT_TRUE(report);
    EXPECT_EQ(ui.messages, std::vector<std::string>{kFinishedText});
    EXPECT_EQ(ui.details, std::vector<std::string>{renamedCodesText(report->findings)});
    EXPECT_NE(ui.details.back().find("PROFT: PROFESOR_LARGO → PROFESOR_L\n"), std::string::npos)
        << ui.details.back();

    // Against the tables it replaced: the teacher's new code, and the group he tutored.
    runOn(example);
    const std::string copy = report->earlierTables.filename().string();
    EXPECT_EQ(ui.details.back(),
              "Filas por tabla, frente a las tablas anteriores (2):\n"
              "  PROFT: 1 nuevas, 1 quitadas, 0 cambiadas\n"
              "  GRUPOST: 0 nuevas, 0 quitadas, 1 cambiadas\n"
              "Tablas anteriores guardadas en: " +
                  report->earlierTables.string() +
                  "\n  Para volver a ellas: lindavex-cli restaurar " + copy + '\n');

    fs::remove_all(workDb);
    fs::create_directories(workDb);
    runOn(example);
    EXPECT_EQ(ui.details.back(), "");
}

}  // namespace
}  // namespace lindavex::toworkdb
