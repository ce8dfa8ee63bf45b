// What a new export changes against the tables in place, over pairs of centre files: said before
// the run by check() and after it by convert(), the two alike.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "support/files.h"
#include "support/scratch_dir.h"
#include "tests/toxml/solution_table.h"
#include "toworkdb/conversion_run.h"
#include "toworkdb/findings.h"
#include "toworkdb/table_changes.h"

namespace lindavex::toworkdb {
namespace {
namespace fs = std::filesystem;
using testing::Solution;

// A centre by its lists; a case replaces some of them.
using Centre = std::map<std::string, std::string>;

const Centre kBase = {
    {"Materias",
     R"(<Materia Codigo="MAT" Denominacion="Matemáticas"/><Materia Codigo="LEN" Denominacion="Lengua"/>)"
     R"(<Materia Codigo="MATEMATICAS" Denominacion="Matemáticas II"/>)"},
    {"Profesores", R"(<Profesor Codigo="GL" Nombre="Ana" Apellido1="García" Apellido2="López"/>)"
                   R"(<Profesor Codigo="GL" Nombre="Luis" Apellido1="García" Apellido2="López"/>)"
                   R"(<Profesor Codigo="P2" Nombre="Pepe" Apellido1="Díaz" Apellido2="Ruiz"/>)"},
    {"Aulas",
     R"(<Aula Codigo="A1" Denominacion="Aula 1"/><Aula Codigo="A2" Denominacion="Aula 2"/>)"},
    {"Grupos",
     R"(<Grupo Codigo="1A" Denominacion="Primero A" CodigoEnsenanza="ESO" Turno="M" Curso="1" Letra="A" CodigoTutor="">)"
     R"(<MateriasGrupo><MateriaGrupo Codigo="MAT" Horas="04,00"/></MateriasGrupo></Grupo>)"
     R"(<Grupo Codigo="1B" Denominacion="Primero B" CodigoEnsenanza="ESO" Turno="M" Curso="1" Letra="B" CodigoTutor=""/>)"},
    {"Sesiones",
     R"(<Sesion Dia="L" HoraInicio="08:00" HoraFin="08:55"/><Sesion Dia="L" HoraInicio="09:00" HoraFin="09:55"/>)"},
};

// The timetable solved on the base centre's tables.
const std::vector<Solution> kSolved = {
    {"MAT", "CCM", 1, 1, "1A", "GL", "A1"},
    {"LEN", "CCM", 1, 2, "1B", "P2", "A2"},
    {"MATEMATIAS", "CCM", 1, 2, "1A", "GL1", "A1"},
};

std::string centreText(const Centre& lists) {
    std::string text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Centro Codigo=\"1\">";
    for (const auto& [list, items] : lists) text += "<" + list + ">" + items + "</" + list + ">";
    return text + "</Centro>\n";
}

struct Case {
    const char* name;
    Centre changed;  // the lists that differ from kBase
    // Each line as "kind TABLE code", in any order, and the SOLUC records touched by field and
    // code.
    std::vector<std::string> lines;
    std::vector<std::string> soluc;
};

std::vector<std::string> linesOf(const TableChanges& changes) {
    std::vector<std::string> lines;
    for (const ChangeLine& line : changeLines(changes, Tense::Would))
        if (line.kind != ChangeLine::Kind::Soluc)
            lines.push_back(std::string(kindName(line.kind)) + " " + line.table + " " + line.code);
    std::sort(lines.begin(), lines.end());
    return lines;
}

std::vector<std::string> solucOf(const TableChanges& changes) {
    std::vector<std::string> touched;
    for (const SolucTouch& t : changes.soluc) {
        std::string text = t.field + " " + t.code + ":";
        for (std::size_t r : t.records) text += " " + std::to_string(r);
        touched.push_back(text);
    }
    return touched;
}

TEST(TableChanges, WhatANewExportChangesIsSaidBeforeAndAfterAlike) {
    const std::vector<Case> cases = {
        {"unchanged", {}, {}, {}},
        {"a teacher added",
         {{"Profesores",
           kBase.at("Profesores") +
               R"(<Profesor Codigo="P3" Nombre="Eva" Apellido1="Sosa" Apellido2=""/>)"}},
         {"fila nueva PROFT P3"},
         {}},
        {"a teacher removed",
         {{"Profesores",
           R"(<Profesor Codigo="GL" Nombre="Ana" Apellido1="García" Apellido2="López"/>)"
           R"(<Profesor Codigo="GL" Nombre="Luis" Apellido1="García" Apellido2="López"/>)"}},
         {"fila quitada PROFT P2"},
         {"PROF P2: 2"}},
        {"two teachers under one code listed the other way round",
         {{"Profesores",
           R"(<Profesor Codigo="GL" Nombre="Luis" Apellido1="García" Apellido2="López"/>)"
           R"(<Profesor Codigo="GL" Nombre="Ana" Apellido1="García" Apellido2="López"/>)"
           R"(<Profesor Codigo="P2" Nombre="Pepe" Apellido1="Díaz" Apellido2="Ruiz"/>)"}},
         {"fila cambiada PROFT GL", "fila cambiada PROFT GL1", "significado PROFT GL",
          "significado PROFT GL1"},
         {"PROF GL: 1", "PROF GL1: 3"}},
        {"a subject's code freed and taken by another",
         {{"Materias",
           R"(<Materia Codigo="MAT" Denominacion="Matemáticas"/><Materia Codigo="LEN" Denominacion="Lengua"/>)"
           R"(<Materia Codigo="MATEMATIAS" Denominacion="Matemáticas aplicadas"/>)"}},
         {"fila cambiada ASIGNOMT MATEMATIAS", "significado ASIGNOMT MATEMATIAS"},
         {"ASIG MATEMATIAS: 3"}},
        {"a group renamed, its hours changed",
         {{"Grupos",
           R"(<Grupo Codigo="1A" Denominacion="1º A" CodigoEnsenanza="ESO" Turno="M" Curso="1" Letra="A" CodigoTutor="">)"
           R"(<MateriasGrupo><MateriaGrupo Codigo="MAT" Horas="03,00"/></MateriasGrupo></Grupo>)"
           R"(<Grupo Codigo="1B" Denominacion="Primero B" CodigoEnsenanza="ESO" Turno="M" Curso="1" Letra="B" CodigoTutor=""/>)"}},
         {"fila cambiada ASIGT 1A / MAT", "fila cambiada GRUPOST 1A"},
         {}},
        {"a period put before the others",
         {{"Sesiones",
           R"(<Sesion Dia="L" HoraInicio="07:00" HoraFin="07:55"/>)" + kBase.at("Sesiones")}},
         {"fila cambiada COUNTSES 55", "fila cambiada DIASHORAST 11", "fila cambiada DIASHORAST 12",
          "fila nueva DIASHORAST 13", "significado DIASHORAST 11", "significado DIASHORAST 12"},
         {"DIA+HORA 11: 1", "DIA+HORA 12: 2 3"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        testing::ScratchDir scratch;
        const fs::path workDb = scratch / "WTEMP";
        fs::create_directories(workDb);
        Centre changed = kBase;
        for (const auto& [list, items] : c.changed) changed[list] = items;
        testing::writeBytes(scratch / "base.xml", centreText(kBase));
        testing::writeBytes(scratch / "changed.xml", centreText(changed));
        convert(scratch / "base.xml", workDb);
        testing::writeSolutionTable(workDb, kSolved);

        const ConversionReport checked = check(scratch / "changed.xml", workDb);
        ASSERT_TRUE(checked.changes.compared) << checked.changes.unavailable;
        std::vector<std::string> expected = c.lines;
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(linesOf(checked.changes), expected);
        EXPECT_EQ(solucOf(checked.changes), c.soluc);
        if (c.lines.empty()) {
            EXPECT_EQ(changesText(checked.changes),
                      "Las tablas de trabajo quedarían como están.\n");
        }

        // The run then says what it did, against the copy of the tables it replaced.
        const ConversionReport done = convert(scratch / "changed.xml", workDb);
        EXPECT_EQ(linesOf(done.changes), linesOf(checked.changes));
        EXPECT_EQ(solucOf(done.changes), c.soluc);
        const std::string details = finishedDetailsText(done);
        if (!checked.changes.meaning.empty()) {
            EXPECT_EQ(details.find("Códigos que cambiaron de significado ("), 0u) << details;
        }
    }
}

TEST(TableChanges, NothingToCompareAndWhatStopsTheComparisonAreSaid) {
    testing::ScratchDir scratch;
    const fs::path workDb = scratch / "WTEMP";
    fs::create_directories(workDb);
    testing::writeBytes(scratch / "base.xml", centreText(kBase));
    // A first export, into an empty work database: nothing to set it against.
    const ConversionReport first = convert(scratch / "base.xml", workDb);
    EXPECT_FALSE(first.changes.compared);
    EXPECT_EQ(changesText(first.changes), "");
    EXPECT_EQ(changesText(check(scratch / "base.xml", workDb).changes),
              "Las tablas de trabajo quedarían como están.\n");

    // The meaning of a code, as the two listings say it.
    testing::writeBytes(
        scratch / "changed.xml",
        centreText(
            {{"Profesores",
              R"(<Profesor Codigo="GL" Nombre="Eva" Apellido1="" Apellido2=""/>)"
              R"(<Profesor Codigo="P2" Nombre="Pepe" Apellido1="Díaz" Apellido2="Ruiz"/>)"}}));
    const std::string text = changesText(check(scratch / "changed.xml", workDb).changes);
    EXPECT_EQ(text.substr(0, text.find("\n\n")),
              "Códigos que cambiarían de significado (1):\n"
              "  PROFT «GL»: ahora Ana, García López; pasaría a ser Eva,")
        << text;

    // A damaged table in place stops the comparison, not the check.
    testing::writeBytes(workDb / "PROFT.DBF", "not a table");
    const ConversionReport damaged = check(scratch / "changed.xml", workDb);
    EXPECT_FALSE(damaged.changes.unavailable.empty());
    EXPECT_EQ(changesText(damaged.changes).find("No se pudo comparar con las tablas de trabajo: "),
              0u);
}

}  // namespace
}  // namespace lindavex::toworkdb
