// PROFT: teachers' codes, names and departments.
#include <string>
#include <vector>

#include "toworkdb/step_fixture.h"

namespace lindavex::testing {
namespace {

using toworkdb::ExportarProfesores;

std::string teacher(const std::string& code, const std::string& department = "",
                    const std::string& nombre = "Ana", const std::string& apellido1 = "Ruiz",
                    const std::string& apellido2 = "Gil") {
    return "<Profesor Codigo=\"" + code + "\" Nombre=\"" + nombre + "\" Apellido1=\"" + apellido1 +
           "\" Apellido2=\"" + apellido2 + "\" CodigoDep=\"" + department + "\"/>";
}
std::string department(const std::string& code, const std::string& name) {
    return "<Departamento Codigo=\"" + code + "\" Denominacion=\"" + name + "\"/>";
}

class TeachersTest : public StepFixture {
  protected:
    void convert(const std::string& teachers, const std::string& departments = "") {
        loadCentre("<Departamentos>" + departments + "</Departamentos><Profesores>" + teachers +
                   "</Profesores>");
        run(ExportarProfesores);
    }
    std::vector<std::string> codes() const { return column("PROFT", "ABREV"); }
};

TEST_F(TeachersTest, RecordFieldByField) {
    const std::string longName(45, 'x');
    convert(teacher("AR1", "D1") + teacher(" MG ", "d1", " María ", "Gómez", "") +
                teacher("LP", "", "Luis", "", "") + teacher("JS", "D2"),
            department("D1", "Lengua") + department("D2", longName));
    EXPECT_EQ(rows("PROFT"), (std::vector<Row>{
                                 {"AR1", "Ana, Ruiz Gil", "Lengua", ""},
                                 // Both separators stay; the trailing blank is the field's pad.
                                 {"MG", "María, Gómez", "d1", ""},
                                 {"LP", "Luis,", "", ""},
                                 {"JS", "Ana, Ruiz Gil", longName.substr(0, 40), ""},
                             }));
}

TEST_F(TeachersTest, RepeatedCodesAreNumbered) {
    convert(teacher("X") + teacher("X") + teacher("X") + teacher("Y") + teacher("Y1") +
            teacher("Y") + teacher("p1") + teacher("P1") + teacher("") + teacher("") +
            teacher("ABCDEFGHIJKL"));
    EXPECT_EQ(codes(), (std::vector<std::string>{"X", "X1", "X2", "Y", "Y1", "Y2", "p1", "P11", "",
                                                 "1", "ABCDEFGHIJ"}));
}

TEST_F(TeachersTest, DepartmentLookup) {
    // The first department with the code names it; a one-element list is searched too.
    convert(teacher("A", "D1") + teacher("B", "D2"),
            department("D1", "Lengua") + department("D1", "Otra") + department("D2", "Música"));
    EXPECT_EQ(column("PROFT", "DEPART"), (std::vector<std::string>{"Lengua", "Música"}));

    convert(teacher("A", "DÉP"), department("DÉP", "Física y química"));
    EXPECT_EQ(rows("PROFT"), (std::vector<Row>{{"A", "Ana, Ruiz Gil", "Física y química", ""}}));

    // A code the code page cannot hold reads as '?', and matches no department that holds it.
    convert(teacher("A", "Ω1"), department("Ω1", "Griego"));
    EXPECT_EQ(column("PROFT", "DEPART"), (std::vector<std::string>{"?1"}));
}

TEST_F(TeachersTest, MissingAttributesAndEmptyLists) {
    convert("<Profesor Codigo=\"A\"/>");
    EXPECT_EQ(rows("PROFT"), (std::vector<Row>{{"A", ",", "", ""}}));

    convert("");
    EXPECT_TRUE(rows("PROFT").empty());
}

}  // namespace
}  // namespace lindavex::testing
