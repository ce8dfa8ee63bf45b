// What the second action lists of SOLUC: every record it does not write, with its number and
// why, and every record written without its teacher or room; the result file stays what the
// written records alone give.
#include "toxml/findings.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "support/dbf_builder.h"
#include "support/files.h"
#include "support/scratch_dir.h"
#include "toworkdb/conversion_run.h"
#include "toxml/result_export.h"

namespace lindavex::testing {
namespace {

namespace fs = std::filesystem;
using Reason = toxml::Finding::Reason;
using toxml::RowKind;

// The lookup tables come from the first action: subject MAT, activity type GUA, teacher PG,
// room A1, group 1A, and Monday's first period only (slot key 11).
const std::string kCentre =
    "<Centro Codigo=\"1\" Nombre=\"IES\" CursoEscolar=\"2026-2027\" Version=\"1\">"
    "<Materias><Materia Codigo=\"MAT\" Denominacion=\"Matemáticas\"/></Materias>"
    "<TiposActividad><TipoActividad Codigo=\"GUA\" Denominacion=\"Guardia\"/></TiposActividad>"
    "<Profesores><Profesor Codigo=\"PG\" Nombre=\"Pilar\"/></Profesores>"
    "<Aulas><Aula Codigo=\"A1\" Denominacion=\"Aula 1\"/></Aulas>"
    "<Grupos><Grupo Codigo=\"1A\" Denominacion=\"1A\"/></Grupos>"
    "<Sesiones><Sesion Dia=\"L\" HoraInicio=\"08:00\" HoraFin=\"08:55\"/></Sesiones></Centro>";

// ASIG, TAREA, DIA, HORA, CODGRUPO, PROF, AULA; the deletion flag.
struct Record {
    std::vector<std::string> fields;
    bool deleted = false;
};

class SolutionFindings : public ::testing::Test {
  protected:
    SolutionFindings() {
        fs::create_directories(workDb);
        writeBytes(centre, kCentre);
        toworkdb::convert(centre, workDb);
    }

    // SOLUC as the product writes it at level 7, DIA an integer and HORA a number.
    toxml::ExportReport run(const std::vector<Record>& records) {
        DbfBuilder soluc(DbfBuilder::kLevel7, {{"ASIG", 'C', 10},
                                               {"TAREA", 'C', 10},
                                               {"DIA", 'I'},
                                               {"HORA", 'O'},
                                               {"CODGRUPO", 'C', 10},
                                               {"PROF", 'C', 10},
                                               {"AULA", 'C', 10}});
        for (const Record& r : records) soluc.record(r.fields, r.deleted);
        soluc.write(workDb / "SOLUC.DBF");
        return toxml::exportResult(centre, workDb,
                                   [] { return toxml::LocalDateTime{2026, 3, 7, 9, 5, 1}; });
    }

    // The result of the records that the report does not list as not written, alone.
    std::string resultOfTheWrittenAlone(const std::vector<Record>& records,
                                        const toxml::ExportReport& report) {
        std::vector<bool> lost(records.size(), false);
        for (const toxml::Finding& f : report.findings)
            if (!f.written()) lost.at(f.record - 1) = true;
        std::vector<Record> kept;
        for (std::size_t i = 0; i < records.size(); ++i)
            if (!lost[i] && !records[i].deleted) kept.push_back(records[i]);
        const toxml::ExportReport again = run(kept);
        for (const toxml::Finding& f : again.findings) EXPECT_TRUE(f.written()) << f.record;
        return readBytes(again.result);
    }

    ScratchDir scratch;
    fs::path workDb = scratch / "WTEMP";
    fs::path centre = scratch / "centro.xml";
};

TEST_F(SolutionFindings, EveryRecordNotWrittenWithItsNumberAndReason) {
    const std::vector<Record> records = {
        {{"MAT", "CCM", "1", "1", "1A", "PG", "A1"}},        // 1 written
        {{"MAT", "CCM", "0", "1", "1A", "PG", "A1"}, true},  // 2 deleted: counted, not read
        {{"MAT", "CCM", "0", "1", "1A", "PG", "A1"}},        // 3
        {{"MAT", "CCM", "8", "1", "1A", "PG", "A1"}},        // 4
        {{"MAT", "CCM", "1", "0", "1A", "PG", "A1"}},        // 5
        {{"MAT", "CCM", "1", "1", "9Z", "PG", "A1"}},        // 6
        {{"XXX", "CCM", "1", "1", "1A", "PG", "A1"}},        // 7
        {{"MAT", "CCM", "1", "2", "1A", "PG", "A1"}},        // 8
        {{"GUA", "GUA", "1", "1", "9Z", "NOPE", "A1"}},      // 9 written, group kept
        {{"MAT", "CCM", "1", "1", "1A", "PG", "NOPE"}},      // 10 written
        {{"XXX", "XXX", "1", "1", "1A", "PG", "A1"}},        // 11
        {{"MAT", "CCM", "-1", "1", "1A", "PG", "A1"}},       // 12
        {{"MAT", "CCM", "", "1", "1A", "PG", "A1"}},         // 13 no day at all
        {{"GUA", "GUA", "0", "1", "", "PG", ""}},            // 14
        {{"MAT", "CCM", "1", "1", "1A", "NOPE", "NOPE"}},    // 15 written, both missing
        {{"GUA", "GUA", "1", "1", "", "", ""}},              // 16 written, none named
    };
    const toxml::ExportReport report = run(records);
    const struct {
        std::size_t record;
        Reason reason;
        RowKind row;
        std::string key;
    } expected[] = {
        // The subject rows' pass, then the task rows'.
        {3, Reason::DayZero, RowKind::Subject, ""},
        {4, Reason::DayOutOfRange, RowKind::Subject, ""},
        {5, Reason::HourZero, RowKind::Subject, ""},
        {6, Reason::UnknownGroup, RowKind::Subject, "9Z"},
        {7, Reason::UnknownSubject, RowKind::Subject, "XXX"},
        {8, Reason::NoSlot, RowKind::Subject, "12"},
        {10, Reason::UnknownRoom, RowKind::Subject, "NOPE"},
        {12, Reason::DayOutOfRange, RowKind::Subject, ""},
        {13, Reason::DayZero, RowKind::Subject, ""},
        {15, Reason::UnknownTeacher, RowKind::Subject, "NOPE"},
        {15, Reason::UnknownRoom, RowKind::Subject, "NOPE"},
        {9, Reason::UnknownTeacher, RowKind::Task, "NOPE"},
        {11, Reason::UnknownSubject, RowKind::Task, "XXX"},
        {14, Reason::DayZero, RowKind::Task, ""},
    };
    ASSERT_EQ(report.findings.size(), std::size(expected)) << toxml::findingsText(report);
    for (std::size_t i = 0; i < std::size(expected); ++i) {
        const toxml::Finding& f = report.findings[i];
        SCOPED_TRACE(f.record);
        EXPECT_EQ(f.record, expected[i].record);
        EXPECT_EQ(f.reason, expected[i].reason);
        EXPECT_EQ(f.row, expected[i].row);
        EXPECT_EQ(f.key, expected[i].key);
        const std::vector<std::string> read = {f.asig,     f.tarea, f.dia, f.hora,
                                               f.codGrupo, f.prof,  f.aula};
        EXPECT_EQ(read, records[f.record - 1].fields);
    }
    EXPECT_EQ(report.recordsRead, 15u);
    EXPECT_EQ(report.activities, 5u);
    EXPECT_EQ(resultOfTheWrittenAlone(records, report), readBytes(report.result));

    const std::string text = toxml::findingsText(report);
    EXPECT_EQ(text.substr(0, text.find("\n  ")),
              "SOLUC: 15 registros leídos, 5 actividades escritas, 10 registros sin escribir\n\n"
              "Sin escribir: DIA es 0 o está vacío (3):");
    // Each group by record number, whichever pass met it.
    EXPECT_NE(text.find("\n  registro 13 (fila de materia): ASIG «MAT», TAREA «CCM», DIA «», HORA "
                        "«1», CODGRUPO «1A», PROF «PG», AULA «A1»\n  registro 14 (fila de tarea)"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("«A1»; clave «12»\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\nEscritos sin codigoAula: AULA no es el código de ningún aula de AULAT "
                        "(2):\n  registro 10 "),
              std::string::npos)
        << text;
    const std::string csv = toxml::findingsCsv(report.findings);
    EXPECT_NE(csv.find("\nsin escribir;8;materia;DIASHORAST no tiene el periodo de ese DIA y esa "
                       "HORA;12;MAT;CCM;1;2;1A;PG;A1\n"),
              std::string::npos)
        << csv;
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 15);

    // Nothing to list: no text at all, so the run's lines stand as they did.
    EXPECT_EQ(toxml::findingsText(run({records[0]})), "");
}

// A code holding a line break is listed escaped, on the record's one line.
TEST_F(SolutionFindings, ControlCharactersInCodesAreShownEscaped) {
    const std::string text =
        toxml::findingsText(run({{{"MA\nT", "CCM", "1", "1", "1A", "PG", "A\t1"}}}));
    EXPECT_NE(text.find("\n  registro 1 (fila de materia): ASIG «MA\\nT», TAREA «CCM», DIA «1», "
                        "HORA «1», CODGRUPO «1A», PROF «PG», AULA «A\\t1»\n"),
              std::string::npos)
        << text;
}

// Any SOLUC: each record read is either written or listed once as not written, the record
// number names the record listed, and the result is what the written records alone give.
TEST_F(SolutionFindings, EachRecordIsWrittenOrListedAndTheResultIsUnchanged) {
    std::mt19937 random(20);
    const auto pick = [&random](const std::vector<std::string>& values) {
        return values[random() % values.size()];
    };
    std::vector<Record> records;
    for (int i = 0; i < 300; ++i) {
        const std::string asig = pick({"MAT", "GUA", "XXX"});
        records.push_back({{asig, random() % 3 == 0 ? asig : pick({"CCM", "mat", "GUA"}),
                            pick({"1", "1", "1", "0", "2", "8", "-3", ""}),
                            pick({"1", "1", "1", "0", "2", "1.5"}), pick({"1A", "1A", "9Z", ""}),
                            pick({"PG", "PG", "NOPE"}), pick({"A1", "A1", ""})},
                           random() % 10 == 0});
    }
    const toxml::ExportReport report = run(records);
    std::size_t notWritten = 0;
    for (const toxml::Finding& f : report.findings) {
        const Record& r = records.at(f.record - 1);
        EXPECT_FALSE(r.deleted) << f.record;
        EXPECT_EQ(f.asig + f.dia + f.aula, r.fields[0] + r.fields[2] + r.fields[6]) << f.record;
        notWritten += f.written() ? 0 : 1;
    }
    EXPECT_EQ(report.recordsRead, std::count_if(records.begin(), records.end(),
                                                [](const Record& r) { return !r.deleted; }));
    EXPECT_EQ(report.recordsRead, report.activities + notWritten);
    EXPECT_GT(report.activities, 0u);
    EXPECT_EQ(resultOfTheWrittenAlone(records, report), readBytes(report.result));
}

}  // namespace
}  // namespace lindavex::testing
