// GRUPOST: groups' codes, teachings and tutors; the courses table goes.
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "store/error.h"
#include "toworkdb/step_fixture.h"

namespace lindavex::testing {
namespace {

using toworkdb::ExportarGrupos;
using toworkdb::ExportarProfesores;

std::string group(const std::string& code, const std::string& teaching = "",
                  const std::string& tutor = "", const std::string& name = "Primero A") {
    return "<Grupo Codigo=\"" + code + "\" Denominacion=\"" + name + "\" CodigoEnsenanza=\"" +
           teaching + "\" Turno=\"M\" Curso=\"1\" Letra=\"A\" CodigoTutor=\"" + tutor + "\"/>";
}
std::string teaching(const std::string& code, const std::string& name) {
    return "<Ensenanza Codigo=\"" + code + "\" Denominacion=\"" + name + "\"/>";
}

class GroupsTest : public StepFixture {
  protected:
    // The teachers step writes the PROFT that the tutor check reads.
    void convert(const std::string& groups, const std::string& teachings = "",
                 const std::string& teachers = "<Profesor Codigo=\"T07\"/>") {
        loadCentre("<Profesores>" + teachers + "</Profesores><Ensenanzas>" + teachings +
                   "</Ensenanzas><Grupos>" + groups + "</Grupos>");
        run(ExportarProfesores);
        run(ExportarGrupos);
    }
    std::vector<std::string> codes() const { return column("GRUPOST", "ABREV"); }
};

TEST_F(GroupsTest, RecordFieldByField) {
    convert(
        "<Grupo Codigo=\"1A\" Denominacion=\"Primero A\" CodigoEnsenanza=\"E1\" Turno=\"Tarde\""
        " Curso=\"1\" Letra=\"A\" CodigoTutor=\"T07\"/>" +
            group("1B", "e1", "t07", "Primero B") + group("1C", "ABCDEFG", "", "Primero C") +
            group("1D", "", "T07", "Primero D"),
        teaching("E1", "Secundaria"));
    EXPECT_EQ(rows("GRUPOST"),
              (std::vector<Row>{
                  {"1A", "T", "E1", "1", "A", "Primero A (Secundaria)", "0", "T07"},
                  {"1B", "M", "e1", "1", "A", "Primero B", "0", ""},
                  {"1C", "M", "ABCDE", "1", "A", "Primero C", "0", ""},
                  {"1D", "M", "", "1", "A", "Primero D", "0", "T07"},
              }));
}

TEST_F(GroupsTest, TeachingLookup) {
    // The first teaching with the code names it; a one-element list is searched too.
    convert(group("1A", "E1") + group("2A", "E2"),
            teaching("E1", "Secundaria") + teaching("E1", "Otra") + teaching("E2", "Bachillerato"));
    EXPECT_EQ(column("GRUPOST", "DESCRIP"),
              (std::vector<std::string>{"Primero A (Secundaria)", "Primero A (Bachillerato)"}));

    convert(group("1A", "EÑ"), teaching("EÑ", "Enseñanza"));
    EXPECT_EQ(column("GRUPOST", "DESCRIP"), (std::vector<std::string>{"Primero A (Enseñanza)"}));
}

TEST_F(GroupsTest, Codes) {
    convert(group("1A") + group("1A") + group("1a") + group("GRUPO-ESO-1A") + group("") +
            group("") + group("GRUPO-ESO-21A"));
    // The last one's shortened form is taken, so it is numbered on until it is free.
    EXPECT_EQ(codes(),
              (std::vector<std::string>{"1A", "1A1", "1a2", "GRUPO-ES1A", "", "1", "GRUPO-ES-1"}));

    // A code numbered out of a collision never takes the code a later group keeps.
    convert(group("LABORATO-A01") + group("LABORATO-B01") + group("LABORATOB1"));
    EXPECT_EQ(codes(), (std::vector<std::string>{"LABORATO01", "LABORATOB2", "LABORATOB1"}));
}

TEST_F(GroupsTest, CoursesTableGoesAndGroupsTableIsNew) {
    for (const char* file : {"CURSOST.DBF", "CURSOST.MDX", "GRUPOST.MDX"})
        std::ofstream(workDir / file) << "viejo";
    convert(group("1A"));
    convert(group("2B"));  // nothing of the first run survives
    EXPECT_EQ(codes(), (std::vector<std::string>{"2B"}));
    EXPECT_FALSE(std::filesystem::exists(workDir / "CURSOST.DBF"));
    EXPECT_FALSE(std::filesystem::exists(workDir / "CURSOST.MDX"));
    EXPECT_FALSE(std::filesystem::exists(workDir / "GRUPOST.MDX"));
}

TEST_F(GroupsTest, TeachersTableMissingOrHeld) {
    loadCentre("<Grupos>" + group("1A") + "</Grupos>");
    EXPECT_THROW(run(ExportarGrupos), Error);
    EXPECT_TRUE(rows("GRUPOST").empty());

    run(ExportarProfesores);
    {
        auto held = store::Table::open(workDir, "PROFT", store::Table::Mode::Exclusive);
        EXPECT_THROW(run(ExportarGrupos), Error);
    }
    run(ExportarGrupos);
    EXPECT_EQ(codes(), (std::vector<std::string>{"1A"}));
}

TEST_F(GroupsTest, MissingAttributesAndEmptyLists) {
    convert("<Grupo Codigo=\"1A\"/>");
    EXPECT_EQ(rows("GRUPOST"), (std::vector<Row>{{"1A", "", "", "", "", "", "0", ""}}));

    convert("");
    EXPECT_TRUE(rows("GRUPOST").empty());
}

}  // namespace
}  // namespace lindavex::testing
