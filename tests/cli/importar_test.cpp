// `lindavex-cli importar` as a real process, over real work tables.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "cli_process.h"
#include "store/dbase/table.h"
#include "store/work_tables.h"
#include "support/files.h"
#include "support/recreate_table.h"
#include "support/scratch_dir.h"
#include "toxml/findings.h"
#include "toxml/result_export.h"
#include "toxml/solution_table.h"

namespace lindavex::testing {
namespace {

namespace fs = std::filesystem;
using store::Table;

const std::string kRunLines =
    "Deberá Abrir el fichero XML de PINCEL-Ridaz,\r\ndesde el cual realizó la Importación a "
    "Morvalen\nProceso finalizado\nResultado: ";

class Importar : public ::testing::Test {
  protected:
    Importar() { fs::create_directories(workDb); }

    Outcome cli(const std::vector<std::string>& args) { return runCli(scratch.path(), args); }
    Outcome importar() { return cli({"importar", centre.string(), "--workdb", workDb.string()}); }

    void writeCentre(const std::string& text) { std::ofstream(centre, std::ios::binary) << text; }

    ScratchDir scratch;
    fs::path workDb = scratch / "WTEMP";
    fs::path centre = scratch / "centro.xml";
    fs::path result = scratch / "ResultadoVelmarcentro.xml";
};

TEST_F(Importar, UsageErrorsExitWithTwo) {
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"importar"},
             {"importar", "a.xml", "b.xml"},
             {"importar", "a.xml", "--workdb"},
             {"importar", "a.xml", "--workdb", "x", "--workdb", "y"},
             {"importar", "--nada", "a.xml"}}) {
        const Outcome o = cli(args);
        EXPECT_EQ(o.status, 2) << args.size();
        EXPECT_NE(o.err.find("Uso:"), std::string::npos) << o.err;
    }
}

TEST_F(Importar, MissingSolutionExitsWithOneAndSaysSo) {
    writeCentre("<Centro Codigo='1' Nombre='n' CursoEscolar='c' Version='v'/>");
    const Outcome o = importar();
    EXPECT_EQ(o.status, 1);
    EXPECT_NE(o.out.find("No existe archivo XML o Solución."), std::string::npos) << o.out;
    EXPECT_FALSE(fs::exists(result));
}

// The whole road through both commands: the first action's tables are the lookups of the second.
TEST_F(Importar, WritesTheTimetableOverTheFirstActionsTables) {
    writeCentre(R"(<?xml version="1.0" encoding="UTF-8"?>
<Centro Codigo="38000001" Nombre="IES Teide" CursoEscolar="2026-2027" Version="1">
  <Materias><Materia Codigo="MAT" Denominacion="Matemáticas"/>
            <Materia Codigo="LENGUA-CASTELLANA" Denominacion="Lengua"/></Materias>
  <TiposActividad><TipoActividad Codigo="GUA" Denominacion="Guardia"/>
                  <TipoActividad Codigo="REU" Denominacion="Reunión"/></TiposActividad>
  <Profesores><Profesor Codigo="PG" Nombre="Pilar" Apellido1="G" Apellido2="" CodigoDep="D"/>
              <Profesor Codigo="JL" Nombre="Juan" Apellido1="L" Apellido2="" CodigoDep="D"/>
  </Profesores>
  <Aulas><Aula Codigo="101" Denominacion="Aula 101"/><Aula Codigo="LAB" Denominacion="Lab"/></Aulas>
  <Grupos><Grupo Codigo="1A" Denominacion="1A" CodigoEnsenanza="ESO" Turno="M" Curso="1" Letra="A"
                 CodigoTutor="PG"/>
          <Grupo Codigo="1B" Denominacion="1B" CodigoEnsenanza="ESO" Turno="M" Curso="1" Letra="B"
                 CodigoTutor="JL"/></Grupos>
  <Sesiones><Sesion Dia="M" HoraInicio="09:00" HoraFin="09:55"/>
            <Sesion Dia="M" HoraInicio="08:00" HoraFin="08:55"/>
            <Sesion Dia="L" HoraInicio="08:00" HoraFin="08:55"/></Sesiones>
</Centro>
)");
    const Outcome exported = cli({"exportar", centre.string(), "--workdb", workDb.string()});
    ASSERT_EQ(exported.status, 0) << exported.out << exported.err;

    // The long subject code is LENGUA-C + NA in the work tables; Tuesday's second period is
    // 09:00 although it stands first in the file.
    writeSolutionTable(workDb, {{"LENGUA-CNA", "CCM", 2, 2, "1B", "JL", "LAB"},
                                {"GUA", "GUA", 1, 1, "", "PG", ""},
                                {"MAT", "CCM", 1, 1, "1A", "PG", "101"}});
    const std::string before = readBytes(centre);
    const Outcome o = importar();
    ASSERT_EQ(o.status, 0) << o.out << o.err;
    EXPECT_EQ(readBytes(centre), before);
    // Nothing lost: the run's lines alone.
    EXPECT_EQ(o.out, kRunLines + result.string() + "\nActividades: 3\n");

    const std::string xml = readBytes(result);
    const auto first = xml.find(
        "<actividad tipo=\"CCM\" codigoProfesor=\"JL\" codigoGrupo=\"1B\" "
        "codigoMateria=\"LENGUA-CAS\" codigoAula=\"LAB\" dia=\"M\" HoraInicio=\"09:00\" "
        "HoraFin=\"09:55\"/>");
    const auto second = xml.find(
        "<actividad tipo=\"CCM\" codigoProfesor=\"PG\" codigoGrupo=\"1A\" codigoMateria=\"MAT\" "
        "codigoAula=\"101\" dia=\"L\" HoraInicio=\"08:00\" HoraFin=\"08:55\"/>");
    const auto third = xml.find(
        "<actividad tipo=\"GUA\" codigoProfesor=\"PG\" codigoGrupo=\"\" codigoMateria=\"\" "
        "codigoAula=\"\" dia=\"L\" HoraInicio=\"08:00\" HoraFin=\"08:55\"/>");
    EXPECT_NE(first, std::string::npos) << xml;
    EXPECT_LT(first, second) << xml;
    EXPECT_LT(second, third) << xml;
    EXPECT_NE(third, std::string::npos) << xml;
}

// What SOLUC lost follows the run's lines, as text or, for a spreadsheet, as CSV alone.
TEST_F(Importar, ListsWhatItDidNotWriteAfterTheRunsLines) {
    writeCentre(
        "<Centro Codigo='1' Nombre='n' CursoEscolar='c' Version='v'>"
        "<Materias><Materia Codigo='MAT' Denominacion='M'/></Materias>"
        "<Grupos><Grupo Codigo='1A' Denominacion='1A'/></Grupos>"
        "<Sesiones><Sesion Dia='L' HoraInicio='08:00' HoraFin='08:55'/></Sesiones></Centro>");
    ASSERT_EQ(cli({"exportar", centre.string(), "--workdb", workDb.string()}).status, 0);
    writeSolutionTable(workDb, {{"MAT", "CCM", 1, 1, "1A", "", ""},
                                {"MAT", "CCM", 0, 1, "1A", "", ""},
                                {"MAT", "CCM", 1, 1, "2B", "", ""}});
    const toxml::ExportReport report = toxml::exportResult(centre, workDb);
    const std::string listed = toxml::findingsText(report);
    ASSERT_NE(listed.find("3 registros leídos, 1 actividades escritas, 2 registros sin escribir"),
              std::string::npos)
        << listed;

    Outcome o = importar();
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(o.out, kRunLines + result.string() + "\nActividades: 1\n" + listed);
    o = cli({"importar", centre.string(), "--workdb", workDb.string(), "--formato=csv"});
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(o.out, toxml::findingsCsv(report.findings));
    // The counts that head the text listing go with the run's lines.
    EXPECT_EQ(o.err, kRunLines + result.string() + "\nActividades: 1\n" +
                         listed.substr(0, listed.find('\n') + 1));
    EXPECT_EQ(cli({"importar", centre.string(), "--formato", "xls"}).status, 2);
}

// The tables are opened for exclusive use: one that another program holds stops the run with
// the table engine's message, and nothing is written.
TEST_F(Importar, TableHeldByAnotherProgramStopsTheRun) {
    writeCentre("<Centro Codigo='1' Nombre='n' CursoEscolar='c' Version='v'/>");
    using namespace store::work_tables;
    store::recreateTable(workDb, "GRUPOST", grupost());
    store::recreateTable(workDb, "PROFT", proft());
    store::recreateTable(workDb, "AULAT", aulat());
    store::recreateTable(workDb, "ASIGNOMT", asignomt());
    store::recreateTable(workDb, "DIASHORAST", diashorast());
    store::recreateTable(workDb, "ASIGT", asigt());
    writeSolutionTable(workDb, {});
    std::ofstream(result) << "earlier";
    {
        Table held = Table::open(workDb, "PROFT", Table::Mode::Shared);
        const Outcome o = importar();
        EXPECT_EQ(o.status, 1);
        EXPECT_NE(o.err.find("PROFT"), std::string::npos) << o.err;
        EXPECT_EQ(o.out.find("Proceso finalizado"), std::string::npos) << o.out;
        EXPECT_EQ(readBytes(result), "earlier");
    }
    const Outcome o = importar();
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_NE(o.out.find("Actividades: 0"), std::string::npos) << o.out;
}

}  // namespace
}  // namespace lindavex::testing
