// AULAT: rooms' abbreviations, shortened codes and the centre's own code beside them.
#include <string>
#include <vector>

#include "toworkdb/step_fixture.h"

namespace lindavex::testing {
namespace {

using toworkdb::ExportarAulas;

std::string room(const std::string& code, const std::string& name = "Aula") {
    return "<Aula Codigo=\"" + code + "\" Denominacion=\"" + name + "\"/>";
}

class RoomsTest : public StepFixture {
  protected:
    void convert(const std::string& rooms) {
        loadCentre("<Aulas>" + rooms + "</Aulas>");
        run(ExportarAulas);
    }
    std::vector<std::string> codes() const { return column("AULAT", "ABREV"); }
};

TEST_F(RoomsTest, RecordFieldByField) {
    convert(room("A12", "Aula 12") + room("", "Laboratorio de idiomas") +
            room("AULA-INF-001", "Informática") + room("GIMNASIO-PRINCIPAL-NORTE", "Gimnasio"));
    EXPECT_EQ(rows("AULAT"), (std::vector<Row>{
                                 {"A12", "Aula 12", "", "", "A12"},
                                 {"Laboratori", "Laboratorio de idiomas", "", "", ""},
                                 {"AULA-INF01", "Informática", "", "", "AULA-INF-001"},
                                 // The centre's code is kept to the field's 20 characters.
                                 {"GIMNASIOTE", "Gimnasio", "", "", "GIMNASIO-PRINCIPAL-N"},
                             }));
}

TEST_F(RoomsTest, RepeatedCodesAreNumberedThenShortened) {
    convert(room("AULA000001", "Primera") + room("AULA000001", "Segunda") + room("b2") +
            room("B2") + room("", "") + room("", "") + room("", "") + room("SALÓN") +
            room("salón") + room("ŒIL") + room("œil"));
    EXPECT_EQ(codes(), (std::vector<std::string>{"AULA000001", "AULA000011", "b2", "B21", "", "1",
                                                 "2", "SALÓN", "salón1", "ŒIL", "œil1"}));
    EXPECT_EQ(column("AULAT", "ABREV_GESTION")[1], "AULA000001");
}

// A code taken from the name is not trimmed; its numbered form starts from the trimmed cut, and
// a code that differs from it only by the blank the field pads with is the same stored code.
TEST_F(RoomsTest, CodesFromNames) {
    convert(room("", "Taller de dibujo") + room("", "Taller de dibujo") + room("", "Taller de"));
    EXPECT_EQ(codes(), (std::vector<std::string>{"Taller de", "Taller de1", "Taller de2"}));
}

TEST_F(RoomsTest, OneRoomAndNone) {
    convert(room("A1", "Única"));
    EXPECT_EQ(rows("AULAT"), (std::vector<Row>{{"A1", "Única", "", "", "A1"}}));

    convert("");
    EXPECT_TRUE(rows("AULAT").empty());

    // A missing attribute reads as empty text.
    convert("<Aula Denominacion=\"Patio\"/><Aula Codigo=\"P2\"/>");
    EXPECT_EQ(rows("AULAT"),
              (std::vector<Row>{{"Patio", "Patio", "", "", ""}, {"P2", "", "", "", "P2"}}));
}

}  // namespace
}  // namespace lindavex::testing
