// ExportarAsignaciones: one ASIGT row per group and subject taught to it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "store/dbase/table_files.h"
#include "store/error.h"
#include "store/work_tables.h"
#include "support/error_text.h"
#include "support/recreate_table.h"
#include "toworkdb/step_fixture.h"

namespace lindavex::testing {
namespace {

std::string grupo(const std::string& code, const std::string& subjects,
                  const std::string& rest = "Turno=\"M\" CodigoEnsenanza=\"ESO\" Curso=\"1\"") {
    return "<Grupo Codigo=\"" + code + "\" " + rest + "><MateriasGrupo>" + subjects +
           "</MateriasGrupo></Grupo>";
}

std::string materia(const std::string& code, const std::string& horas) {
    return "<MateriaGrupo Codigo=\"" + code + "\" Horas=\"" + horas + "\"/>";
}

class AsignacionesTest : public StepFixture {
  protected:
    AsignacionesTest() {
        // The earlier steps of a run have made these two.
        store::recreateTable(workDir, "GRUPOST", store::work_tables::grupost());
        store::recreateTable(workDir, "ASIGNOMT", store::work_tables::asignomt());
        state.L1 = 55;
        state.L2 = 35;
    }
    void convert(const std::string& grupos) {
        loadCentre("<Grupos>" + grupos + "</Grupos>");
        run(toworkdb::ExportarAsignaciones);
    }
};

TEST_F(AsignacionesTest, WorkedExampleRowByRow) {
    convert(grupo("1A", materia("MAT", "04,00") + materia("TUT", "01,50") + materia("", "02,00"),
                  "Turno=\"M\" CodigoEnsenanza=\"ESO\" Curso=\"1\" Letra=\"A\"") +
            grupo("1B", materia("LEN", "02,75") + materia("EF", "00,00"),
                  "Turno=\"M\" CodigoEnsenanza=\"ESO\" Curso=\"1\" Letra=\"B\""));

    // CASIG CPROF CGRUP CAULA TURNO NIVEL CURSO GRUPO HORAS SESIONES NCONEX CTAREA ASIG_GESTION
    const std::vector<Row> expected = {
        {"MAT", "", "1A", "", "M", "ESO", "1", "A", "4", "1111", "", "CCM", "1A"},
        {"TUT", "", "1A", "", "M", "ESO", "1", "A", "2", "11", "", "CCM", "1A"},
        {"LEN", "", "1B", "", "M", "ESO", "1", "B", "3", "111", "", "CCM", "1B"},
        {"EF", "", "1B", "", "M", "ESO", "1", "B", "1", "1", "", "CCM", "1B"},
    };
    EXPECT_EQ(rows("ASIGT"), expected);
}

TEST_F(AsignacionesTest, SubjectsFollowTheirGroupsCodeInDocumentOrder) {
    // Two groups share the code 1A with another group between them: each 1A gets the subjects
    // of both, in document order; 2A only its own.
    convert(grupo("1A", materia("MAT", "04,00") + materia("LEN", "03,00")) +
            grupo("2A", materia("ING", "02,00")) + grupo("1A", materia("MUS", "02,00")));
    EXPECT_EQ(column("ASIGT", "CASIG"),
              (std::vector<std::string>{"MAT", "LEN", "MUS", "ING", "MAT", "LEN", "MUS"}));
    EXPECT_EQ(column("ASIGT", "CGRUP"),
              (std::vector<std::string>{"1A", "1A", "1A", "2A", "1A", "1A", "1A"}));
}

TEST_F(AsignacionesTest, ASingleGroupIsConverted) {
    convert(grupo("4ESOA", materia("FYQ", "02,75")));
    EXPECT_EQ(column("ASIGT", "CASIG"), (std::vector<std::string>{"FYQ"}));
    EXPECT_EQ(column("ASIGT", "SESIONES"), (std::vector<std::string>{"111"}));
}

TEST_F(AsignacionesTest, CodesAreWrittenAsReadAndCutByTheFields) {
    convert(grupo("GRUPO-ESO-1A", materia("   ", "04,00") + materia("MATEMATICAS-II", "04,00"),
                  "Turno=\"Tarde\" CodigoEnsenanza=\"BACHILLER\" Curso=\"1\" Letra=\"A\""));
    const std::vector<Row> expected = {{"MATEMATICA", "", "GRUPO-ESO-", "", "T", "BACHI", "1", "A",
                                        "4", "1111", "", "CCM", "GRUPO-ESO-"}};
    EXPECT_EQ(rows("ASIGT"), expected);
}

TEST_F(AsignacionesTest, ExactMinutesAndWholeHoursByValue) {
    state.L1 = 42;
    state.L2 = 0;
    convert(grupo("1A", materia("A", "04,20") + materia("B", "4") + materia("C", "4,00") +
                            materia("D", "15,00")));
    EXPECT_EQ(column("ASIGT", "HORAS"), (std::vector<std::string>{"6", "4", "4", "15"}));
    EXPECT_EQ(column("ASIGT", "SESIONES"),
              (std::vector<std::string>{"111111", "1111", "1111", "2" + std::string(13, '1')}));
}

TEST_F(AsignacionesTest, ABadHorasAnywhereStopsTheStep) {
    // Even on a subject that gives no row (empty code), in the last group.
    EXPECT_EQ(
        errorText([&] {
            convert(grupo("1A", materia("MAT", "04,00")) + grupo("1B", materia("", "cuatro")));
        }),
        "'cuatro' is not a valid floating point value\n"
        "Grupo Codigo=\"1B\", MateriaGrupo Codigo=\"\" Horas=\"cuatro\" (línea 2 del archivo)");
}

TEST_F(AsignacionesTest, NeedsTheGroupsAndSubjectsTablesOfTheRun) {
    store::deleteTableFiles(workDir, "GRUPOST");
    EXPECT_THROW(convert(grupo("1A", materia("MAT", "04,00"))), Error);
}

}  // namespace
}  // namespace lindavex::testing
