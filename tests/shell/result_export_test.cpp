// What the window's second button does: the reminder, the dialog, the messages, the status and
// the cursor around the second action, over real work tables and real centre files in a scratch
// folder.
#include "toxml/result_export.h"

#include <gtest/gtest.h>
#include <libxml/parser.h>
#include <libxml/tree.h>

#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "shell/controller.h"
#include "store/codepage.h"
#include "store/dbase/table.h"
#include "store/dbase/table_files.h"
#include "store/error.h"
#include "store/files/platform.h"
#include "store/work_tables.h"
#include "store/xml/centre_document.h"
#include "support/dbf_builder.h"
#include "support/error_text.h"
#include "support/files.h"
#include "support/process.h"
#include "support/recording_ui.h"
#include "support/recreate_table.h"
#include "support/scratch_dir.h"
#include "toxml/export_time.h"
#include "toxml/export_time_shown.h"
#include "toxml/solution_table.h"

namespace lindavex::testing {
namespace {

namespace fs = std::filesystem;
using store::FieldDef;
using store::FieldType;
using store::Table;

const std::string kReminder =
    "Deberá Abrir el fichero XML de PINCEL-Ridaz,\r\ndesde el cual realizó la Importación a "
    "Morvalen";
const std::string kMissing = "No existe archivo XML o Solución.";
const std::string kFinished = "Proceso finalizado";

// Appends records of texts (UTF-8) to a table, one value per field in column order; an empty
// text leaves the field unset.
void appendRows(const fs::path& dir, std::string_view table,
                const std::vector<std::vector<std::string>>& rows) {
    Table t = Table::open(dir, table, Table::Mode::Shared);
    const auto fields = t.fields();
    for (const auto& row : rows) {
        t.append();
        for (std::size_t i = 0; i < row.size(); ++i) {
            if (row[i].empty()) continue;
            if (fields[i].type == FieldType::Logical)
                t.setLogical(fields[i].name, row[i] == "true");
            else
                t.setText(fields[i].name, codepage::fromUtf8(row[i]));
        }
        t.post();
    }
    t.close();
}

// One activity of the result: its attribute names and values in document order (UTF-8).
using Attributes = std::vector<std::pair<std::string, std::string>>;

Attributes attributesOf(xmlNode* node) {
    Attributes out;
    for (xmlAttr* a = node->properties; a != nullptr; a = a->next) {
        xmlChar* value = xmlNodeListGetString(node->doc, a->children, 1);
        out.emplace_back(reinterpret_cast<const char*>(a->name),
                         value ? reinterpret_cast<const char*>(value) : "");
        xmlFree(value);
    }
    return out;
}

// The result file as libxml2 reads it, apart from the code under test.
struct ResultFile {
    std::string rootName;
    Attributes rootAttributes;
    std::vector<std::string> rootChildren;  // element names
    std::vector<Attributes> activities;
    std::vector<std::string> outsideRoot;  // comments and processing instructions, in order
    std::string encoding;

    explicit ResultFile(const fs::path& path) {
        const std::string bytes = readBytes(path);  // read here: the name may be wide
        xmlDoc* doc = xmlReadMemory(bytes.data(), static_cast<int>(bytes.size()),
                                    path.string().c_str(), nullptr, XML_PARSE_NONET);
        if (doc == nullptr) throw std::runtime_error("result does not parse: " + path.string());
        if (doc->encoding) encoding = reinterpret_cast<const char*>(doc->encoding);
        for (xmlNode* n = doc->children; n != nullptr; n = n->next) {
            if (n->type == XML_COMMENT_NODE || n->type == XML_PI_NODE) {
                xmlChar* content = xmlNodeGetContent(n);
                outsideRoot.push_back(reinterpret_cast<const char*>(n->name) + std::string(":") +
                                      reinterpret_cast<const char*>(content));
                xmlFree(content);
            }
        }
        xmlNode* root = xmlDocGetRootElement(doc);
        rootName = reinterpret_cast<const char*>(root->name);
        rootAttributes = attributesOf(root);
        for (xmlNode* child = root->children; child != nullptr; child = child->next) {
            if (child->type != XML_ELEMENT_NODE) continue;
            rootChildren.emplace_back(reinterpret_cast<const char*>(child->name));
            if (rootChildren.back() != "horario") continue;
            for (xmlNode* a = child->children; a != nullptr; a = a->next)
                if (a->type == XML_ELEMENT_NODE) activities.push_back(attributesOf(a));
        }
        xmlFreeDoc(doc);
    }
};

// tipo, codigoProfesor, codigoGrupo, codigoMateria, codigoAula, dia, HoraInicio, HoraFin.
Attributes activity(const std::vector<std::string>& values) {
    static const char* names[] = {"tipo",          "codigoProfesor", "codigoGrupo",
                                  "codigoMateria", "codigoAula",     "dia",
                                  "HoraInicio",    "HoraFin"};
    Attributes out;
    for (std::size_t i = 0; i < values.size(); ++i) out.emplace_back(names[i], values[i]);
    return out;
}

const std::string kCentre =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<!-- exportado por Pincel-rIdaz -->\n"
    "<?pincel formato=\"2\"?>\n"
    "<Centro Codigo=\" 38000001 \" Nombre=\"IES Las Cañadas\" CursoEscolar=\"2026-2027\"\n"
    "        Version=\"3.1\" Extra=\"no se copia\">\n"
    "  <Materias><Materia Codigo=\"MAT\" Denominacion=\"Matemáticas\"/></Materias>\n"
    "  <Profesores><Profesor Codigo=\"PG\" Nombre=\"Pilar\"/></Profesores>\n"
    "  <horario><actividad tipo=\"VIEJA\"/></horario>\n"
    "</Centro>\n"
    "<!-- fin -->\n";

class ResultExport : public ::testing::Test {
  protected:
    ResultExport() {
        fs::create_directories(workDb);
        state.workDb = workDb;
        using namespace store::work_tables;
        store::recreateTable(workDb, "GRUPOST", grupost());
        appendRows(workDb, "GRUPOST", {{"1A"}, {"1B"}, {"2A"}});
        store::recreateTable(workDb, "PROFT", proft());
        appendRows(workDb, "PROFT", {{"PG", "Pilar García"}, {"JL", "Juan López"}});
        store::recreateTable(workDb, "AULAT", aulat());
        appendRows(workDb, "AULAT", {{"A1", "Aula 1", "", "", "AULA-101"}, {"LAB", "Lab"}});
        store::recreateTable(workDb, "ASIGNOMT", asignomt());
        appendRows(workDb, "ASIGNOMT",
                   {{"MAT", "MATEMATICA", "Matemáticas", "", "false", "MATEMATICA"},
                    {"mat", "mat", "minúsculas", "", "false", "mat-min"},
                    {"LEN", "LEN", "Lengua", "", "false", "LEN"},
                    {"GUA", "GUARDIA", "Guardia", "", "true", "GUARDIA"}});
        store::recreateTable(workDb, "DIASHORAST", diashorast());
        appendRows(workDb, "DIASHORAST",
                   {{"11", "", "1", "Lunes", "1", "", "08:00", "08:55"},
                    {"12", "", "1", "Lunes", "2", "", "08:55", "09:50"},
                    {"32", "", "3", "Miércoles", "2", "", "08:55", "09:50"},
                    {"110", "", "1", "Lunes", "10", "", "15:00", "15:55"},
                    {"113", "", "1", "Lunes", "13", "", "17:40", "18:35"}});
        store::recreateTable(workDb, "ASIGT", asigt());
        writeBytes(centre, kCentre);
    }

    void writeSolution(const std::vector<Solution>& rows) { writeSolutionTable(workDb, rows); }

    void run(std::optional<fs::path> chosen) {
        ui.dialogAnswers.push_back(std::move(chosen));
        shell::runResultExport(state, ui, [] { return toxml::LocalDateTime{2026, 3, 7, 9, 5, 1}; });
    }
    void run() { run(centre); }

    // Every table of the run can be opened for exclusive use again: none was left open.
    void expectTablesClosed(std::string_view missing = "") {
        for (const char* name :
             {"SOLUC", "GRUPOST", "PROFT", "AULAT", "ASIGNOMT", "DIASHORAST", "ASIGT"})
            if (name != missing) {
                EXPECT_NO_THROW(Table::open(workDb, name, Table::Mode::Exclusive)) << name;
            }
    }

    ScratchDir scratch;
    fs::path workDb = scratch / "WTEMP";
    fs::path centre = scratch / "centro.xml";
    fs::path result = scratch / "ResultadoVelmarcentro.xml";
    RunState state;
    RecordingUi ui;
};

// The row rules, each record chosen to meet one of them; task rows stand first in the table.
TEST_F(ResultExport, WritesSubjectRowsThenTaskRowsByTheRowRules) {
    writeSolution({
        {"GUA", "GUA", 1, 1, "GUARDIA-1", "PG", "A1"},  // task row, group kept as read
        {"MAT", "CCM", 1, 1, "1A", "PG", "A1"},         // subject row, all found
        {"LEN", "CCM", 0, 1, "1A", "PG", "A1"},         // DIA 0
        {"LEN", "CCM", 1, 0, "1A", "PG", "A1"},         // HORA 0
        {"LEN", "CCM", 1, 2, "9Z", "JL", "A1"},         // unknown group: skipped
        {"XXX", "CCM", 1, 2, "1A", "JL", "A1"},         // unknown subject: skipped
        {"XXX", "XXX", 1, 2, "1A", "JL", "A1"},         // unknown subject, task row: skipped
        {"LEN", "CCM", 1, 2, "1B", "NOPE", "NOPE"},     // unknown teacher and room: empty
        {"mat", "MAT", 3, 2, "2A", "JL", "LAB"},        // differ in case only: a subject row
        {"LEN", "CCM", 8, 1, "1A", "PG", "A1"},         // DIA 8: no letter, no slot
        {"MAT", "CCM", 1, 10, "1B", "JL", "A1"},        // period 10 of Monday: key 110
        {"MAT", "CCM", 1, 3, "1B", "JL", "A1"},         // no slot 13
        {"MAT", "CCM", 11, 3, "1B", "JL", "A1"},        // DIA 11: its key 113 is Monday's
        {"MAT", "CCM", -1, 3, "1B", "JL", "A1"},        // DIA -1
        {"GUA", "GUA", 3, 2, "9Z", "NOPE", "LAB"},      // task row: unknown group kept
        {"LEN", "LEN", 1, 2, "1A", "JL", "A1"},         // task row of a subject: no codigoMateria
    });
    run();

    EXPECT_EQ(ui.messages, (std::vector<std::string>{kReminder, kFinished}));
    EXPECT_EQ(state.completionStatus, 1);
    EXPECT_EQ(ui.cursorChanges, (std::vector<bool>{true, false}));
    EXPECT_EQ(ui.closeCount, 0);
    expectTablesClosed();

    const ResultFile file(result);
    EXPECT_EQ(file.activities,
              (std::vector<Attributes>{
                  activity({"CCM", "PG", "1A", "MATEMATICA", "AULA-101", "L", "08:00", "08:55"}),
                  activity({"CCM", "", "1B", "LEN", "", "L", "08:55", "09:50"}),
                  activity({"MAT", "JL", "2A", "mat-min", "", "X", "08:55", "09:50"}),
                  activity({"CCM", "JL", "1B", "MATEMATICA", "AULA-101", "L", "15:00", "15:55"}),
                  activity({"GUA", "PG", "GUARDIA-1", "", "AULA-101", "L", "08:00", "08:55"}),
                  activity({"GUA", "", "9Z", "", "", "X", "08:55", "09:50"}),
                  activity({"LEN", "JL", "1A", "", "AULA-101", "L", "08:55", "09:50"}),
              }));
}

TEST_F(ResultExport, NewRootHoldsTheHeaderAndOneTimetableAndKeepsWhatLiesOutsideIt) {
    writeSolution({{"MAT", "CCM", 1, 1, "1A", "PG", "A1"}});
    const std::string before = readBytes(centre);
    run();

    EXPECT_EQ(readBytes(centre), before);
    const ResultFile file(result);
    EXPECT_EQ(file.rootName, "Centro");
    EXPECT_EQ(file.rootAttributes,
              (Attributes{{"Codigo", "38000001"},
                          {"Nombre", "IES Las Cañadas"},
                          {"CursoEscolar", "2026-2027"},
                          {"FechaExportacion", exportTime("07/03/2026 09:05:01")},
                          {"Version", "3.1"}}));
    EXPECT_EQ(file.rootChildren, std::vector<std::string>{"horario"});
    EXPECT_EQ(file.activities.size(), 1u);
    EXPECT_EQ(file.outsideRoot,
              (std::vector<std::string>{"comment: exportado por Pincel-rIdaz ",
                                        "pincel:formato=\"2\"", "comment: fin "}));
    // The result, as written, reads back as a centre document.
    store::CentreDocument written;
    (void)written.load(result);
    EXPECT_EQ(written.selectNodes("/Centro/horario/actividad").size(), 1u);
}

// Embedded, so the window closes when done.
TEST_F(ResultExport, NoQualifyingRecordGivesAnEmptyTimetable) {
    state.argumentCount = 2;
    writeSolution({{"MAT", "CCM", 0, 1, "1A", "PG", "A1"}});
    run();
    EXPECT_EQ(state.completionStatus, 1);
    EXPECT_EQ(ui.messages.back(), kFinished);
    EXPECT_EQ(ui.closeCount, 1);
    const ResultFile file(result);
    EXPECT_EQ(file.rootChildren, std::vector<std::string>{"horario"});
    EXPECT_TRUE(file.activities.empty());
}

TEST_F(ResultExport, ChoosingAResultFileWritesItsOwnResultBesideIt) {
    writeSolution({{"MAT", "CCM", 1, 1, "1A", "PG", "A1"}});
    run();
    run(result);
    EXPECT_EQ(state.xmlFileName, result);
    const ResultFile second(scratch / "ResultadoVelmarResultadoVelmarcentro.xml");
    EXPECT_EQ(second.activities.size(), 1u);
    EXPECT_EQ(second.rootAttributes.size(), 5u);
}

TEST_F(ResultExport, MissingInputStopsBeforeAnythingIsOpened) {
    // First use, dialog cancelled: no file name at all.
    run(std::nullopt);
    EXPECT_EQ(ui.messages, (std::vector<std::string>{kReminder, kMissing}));
    EXPECT_EQ(state.completionStatus, 0);
    EXPECT_EQ(ui.closeCount, 0);
    EXPECT_TRUE(ui.cursorChanges.empty());

    // The file exists but SOLUC does not; embedded, so the caller learns -1.
    state.argumentCount = 2;
    ui.messages.clear();
    run(centre);
    EXPECT_EQ(state.xmlFileName, centre);
    EXPECT_EQ(ui.messages, (std::vector<std::string>{kReminder, kMissing}));
    EXPECT_EQ(state.completionStatus, -1);
    EXPECT_EQ(ui.closeCount, 1);
    EXPECT_FALSE(fs::exists(result));

    // A folder of that name is no centre file.
    writeSolution({});
    fs::create_directories(scratch / "carpeta.xml");
    ui.messages.clear();
    run(scratch / "carpeta.xml");
    EXPECT_EQ(ui.messages.back(), kMissing);
}

TEST_F(ResultExport, CancelledDialogKeepsTheFileChosenBefore) {
    writeSolution({{"MAT", "CCM", 1, 1, "1A", "PG", "A1"}});
    state.xmlFileName = centre;  // chosen by the first action
    run(std::nullopt);
    EXPECT_EQ(ui.messages.back(), kFinished);
    EXPECT_TRUE(fs::exists(result));
}

// What the run does with a centre file it cannot take the header from: it says which file and
// what is missing, writes nothing and leaves every table closed and an earlier result alone.
TEST_F(ResultExport, CentreFileWithoutItsHeaderStopsTheRun) {
    writeSolution({{"MAT", "CCM", 1, 1, "1A", "PG", "A1"}});
    writeBytes(result, "earlier result");
    state.argumentCount = 2;
    const struct {
        std::string text;
        std::vector<std::string> expected;  // parts of the message
    } cases[] = {
        {"<Centro Codigo='1' Nombre='n' CursoEscolar='c'", {"no es un documento XML"}},
        {"<?xml version='1.0'?><Colegio Codigo='1'/>", {"elemento raíz Centro", "Colegio"}},
        {"<Centro Codigo='1' Nombre='n' CursoEscolar='c'/>", {"el atributo Version"}},
        {"<Centro Nombre='n' Version=''/>", {"los atributos Codigo, CursoEscolar"}},
    };
    for (const auto& c : cases) {
        writeBytes(centre, c.text);
        ui = RecordingUi();
        const std::string message = errorText([&] { run(); });
        EXPECT_NE(message.find(centre.string()), std::string::npos) << message;
        for (const auto& part : c.expected)
            EXPECT_NE(message.find(part), std::string::npos) << message;
        EXPECT_EQ(readBytes(result), "earlier result");
        EXPECT_EQ(readBytes(centre), c.text);
        EXPECT_EQ(state.completionStatus, 0);
        EXPECT_EQ(ui.closeCount, 0);
        EXPECT_FALSE(ui.waitCursorShown());
        expectTablesClosed();
    }
}

TEST_F(ResultExport, ReadErrorsInTheSolutionStopTheRunWithoutAResult) {
    // HORA as text that is not a number.
    DbfBuilder soluc(DbfBuilder::kLevel7, {{"ASIG", 'C', 10},
                                           {"TAREA", 'C', 10},
                                           {"DIA", 'C', 2},
                                           {"HORA", 'C', 2},
                                           {"CODGRUPO", 'C', 10},
                                           {"PROF", 'C', 10},
                                           {"AULA", 'C', 10}});
    soluc.record({"MAT", "CCM", "1", "1", "1A", "", ""});
    soluc.record({"MAT", "CCM", "1", "x", "1A", "", ""});
    soluc.write(workDb / "SOLUC.DBF");
    writeBytes(result, "earlier result");
    EXPECT_EQ(errorText([&] { run(); }),
              "'x' is not a valid floating point value\nSOLUC, registro 2: HORA «x»");
    EXPECT_EQ(readBytes(result), "earlier result");
    EXPECT_FALSE(ui.waitCursorShown());
    expectTablesClosed();
}

TEST_F(ResultExport, AMissingLookupTableStopsTheRunAndClosesTheOthers) {
    writeSolution({{"MAT", "CCM", 1, 1, "1A", "PG", "A1"}});
    store::deleteTableFiles(workDb, "ASIGT");
    EXPECT_THROW(run(), Error);
    EXPECT_FALSE(fs::exists(result));
    EXPECT_FALSE(ui.waitCursorShown());
    expectTablesClosed("ASIGT");
}

// The product's engine holds a table it works on open for writing, without this tool's lock:
// on Windows such a table is in use, and the run stops before it writes anything.
TEST_F(ResultExport, ATableTheProductHoldsOpenForWritingIsInUse) {
    writeSolution({{"MAT", "CCM", 1, 1, "1A", "PG", "A1"}});
    writeBytes(result, "earlier result");
    for (const char* table : {"SOLUC", "DIASHORAST"}) {
        SCOPED_TRACE(table);
        const HeldLikeTheProduct held(store::dbfPath(workDb, table));
        if (!held.held()) GTEST_SKIP() << "opening a file keeps nobody out here";
        EXPECT_EQ(errorText([&] { run(); }), "La tabla está en uso por otro programa: " +
                                                 store::dbfPath(workDb, table).string());
        EXPECT_EQ(readBytes(result), "earlier result");
    }
}

// SOLUC as the product may have written it: any dBase level, DIA and HORA in any numeric or
// text field type. The same two records must give the same two activities every time.
TEST_F(ResultExport, ReadsTheSolutionWhateverItsLevelAndFieldTypes) {
    struct Layout {
        const char* what;
        std::uint8_t level;
        DbfField dia;
        DbfField hora;
        std::string subjectDia, subjectHora, taskDia, taskHora;
    };
    const Layout layouts[] = {
        {"III, N", DbfBuilder::kLevel3, {"DIA", 'N', 2}, {"HORA", 'N', 2}, "3", "2", "1", "1"},
        {"III, N with decimals",
         DbfBuilder::kLevel3,
         {"DIA", 'N', 4, 1},
         {"HORA", 'N', 5, 2},
         "3.0",
         "2.00",
         "1.0",
         "1.00"},
        {"IV/V, F",
         DbfBuilder::kLevel4Memo,
         {"DIA", 'N', 3},
         {"HORA", 'F', 6, 2},
         "3",
         "2.00",
         "1",
         "1.00"},
        {"7, I and O", DbfBuilder::kLevel7, {"DIA", 'I'}, {"HORA", 'O'}, "3", "2", "1", "1"},
        {"7, text", DbfBuilder::kLevel7, {"DIA", 'C', 2}, {"HORA", 'C', 4}, " 3", " 2", "1", "1"},
    };
    for (const Layout& l : layouts) {
        SCOPED_TRACE(l.what);
        DbfBuilder soluc(l.level, {{"ASIG", 'C', 10},
                                   {"TAREA", 'C', 10},
                                   l.dia,
                                   l.hora,
                                   {"CODGRUPO", 'C', 10},
                                   {"PROF", 'C', 10},
                                   {"AULA", 'C', 10}});
        soluc.record({"GUA", "GUA", l.taskDia, l.taskHora, "", "PG", ""});
        soluc.record({"MAT", "CCM", l.subjectDia, l.subjectHora, "1A", "JL", "A1"});
        soluc.record({"MAT", "CCM", l.subjectDia, l.subjectHora, "1A", "JL", "A1"}, true);
        soluc.record({"MAT", "CCM", "", "", "1A", "JL", "A1"});  // no day, no period
        soluc.write(workDb / "SOLUC.DBF");
        run();
        const ResultFile file(result);
        EXPECT_EQ(
            file.activities,
            (std::vector<Attributes>{
                activity({"CCM", "JL", "1A", "MATEMATICA", "AULA-101", "X", "08:55", "09:50"}),
                activity({"GUA", "PG", "", "", "", "L", "08:00", "08:55"})}));
    }
}

// The loaded file's declared encoding is kept; what it cannot hold is written as a reference.
TEST_F(ResultExport, ResultKeepsTheDeclaredEncodingAndLosesNoCharacter) {
    writeBytes(centre,
               "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n"
               "<Centro Codigo=\"1\" Nombre=\"Pe\xF1"
               "alara\" CursoEscolar=\"c\" Version=\"v\"/>\n");
    appendRows(workDb, "AULAT", {{"EUR", "Sala €", "", "", "SALA-€"}});
    writeSolution({{"MAT", "CCM", 1, 1, "1A", "PG", "EUR"}});
    run();

    const std::string bytes = readBytes(result);
    EXPECT_NE(bytes.find("encoding=\"ISO-8859-1\""), std::string::npos) << bytes;
    EXPECT_NE(bytes.find("Pe\xF1"
                         "alara"),
              std::string::npos)
        << bytes;
    EXPECT_NE(bytes.find("SALA-&#8364;"), std::string::npos) << bytes;
    const ResultFile file(result);
    EXPECT_EQ(file.encoding, "ISO-8859-1");
    EXPECT_EQ(file.activities.at(0).at(4).second, "SALA-€");
}

// Other programs may write the tables under names in any letter case.
TEST_F(ResultExport, FindsEveryTableInAnyLetterCase) {
    writeSolution({{"MAT", "CCM", 1, 1, "1A", "PG", "A1"}});
    for (const char* name :
         {"SOLUC", "GRUPOST", "PROFT", "AULAT", "ASIGNOMT", "DIASHORAST", "ASIGT"})
        fs::rename(
            store::dbfPath(workDb, name),
            workDb / (std::string(name) == "SOLUC" ? "soluc.dbf" : std::string(name) + ".dbf"));
    run();
    EXPECT_EQ(ui.messages.back(), kFinished);
    EXPECT_EQ(ResultFile(result).activities.size(), 1u);
}

// A killed run leaves its hidden result file; the next run removes only what is surely such a
// leftover of this very result: its exact name pattern, a plain file, untouched for a while.
TEST_F(ResultExport, RemovesOnlyItsOwnStaleHiddenResults) {
    writeSolution({{"MAT", "CCM", 1, 1, "1A", "PG", "A1"}});
    const auto now = fs::file_time_type::clock::now();
    const struct {
        const char* name;
        std::chrono::minutes age;
        bool removed;
    } leftovers[] = {
        {".ResultadoVelmarcentro.xml.a1B2c3", std::chrono::minutes(11), true},
        {".ResultadoVelmarcentro.xml.Zz9Yy8", std::chrono::minutes(60 * 24), true},
        {".ResultadoVelmarcentro.xml.q1w2e3", std::chrono::minutes(2), false},  // maybe live
        {".ResultadoVelmarcentro.xml.a1B2c", std::chrono::minutes(60), false},
        {".ResultadoVelmarcentro.xml.a1B2c3d", std::chrono::minutes(60), false},
        {".ResultadoVelmarcentro.xml.a1-2c3", std::chrono::minutes(60), false},
        {".ResultadoVelmarotro.xml.a1B2c3", std::chrono::minutes(60), false},
        {".centro.xml.a1B2c3", std::chrono::minutes(60), false},
    };
    for (const auto& l : leftovers) {
        writeBytes(scratch / l.name, "half");
        fs::last_write_time(scratch / l.name, now - l.age);
    }
    fs::create_directory(scratch / ".ResultadoVelmarcentro.xml.d1r2c3");
    // Windows programs cannot always date a folder back; where they cannot, it is left as new.
    std::error_code undated;
    fs::last_write_time(scratch / ".ResultadoVelmarcentro.xml.d1r2c3", now - std::chrono::hours(1),
                        undated);
    run();
    EXPECT_EQ(ui.messages.back(), kFinished);
    for (const auto& l : leftovers) EXPECT_EQ(fs::exists(scratch / l.name), !l.removed) << l.name;
    EXPECT_TRUE(fs::is_directory(scratch / ".ResultadoVelmarcentro.xml.d1r2c3"));
}

}  // namespace
}  // namespace lindavex::testing
