// ASIGNOMT: subjects and activity types, their short codes and the run's two code lists.
#include <set>
#include <string>
#include <vector>

#include "toworkdb/step_fixture.h"

namespace lindavex::testing {
namespace {

using toworkdb::ExportarMaterias;
using toworkdb::ExportarTiposActividad;

std::string subject(const std::string& code, const std::string& name = "Materia") {
    return "<Materia Codigo=\"" + code + "\" Denominacion=\"" + name + "\"/>";
}
std::string activityType(const std::string& code, const std::string& name = "Actividad") {
    return "<TipoActividad Codigo=\"" + code + "\" Denominacion=\"" + name + "\"/>";
}

class SubjectsTest : public StepFixture {
  protected:
    void convert(const std::string& subjects, const std::string& activityTypes = "") {
        loadCentre("<Materias>" + subjects + "</Materias><TiposActividad>" + activityTypes +
                   "</TiposActividad>");
        run(ExportarMaterias);
        run(ExportarTiposActividad);
    }
    std::vector<std::string> cods() const { return column("ASIGNOMT", "COD"); }
};

// Every element in document order, each field of each row, and the lists left behind for the
// activity types.
TEST_F(SubjectsTest, WorkedExampleRowByRow) {
    convert(subject("MAT", "Matemáticas") + subject("LENGUA CAS", "Lengua castellana") +
                subject(" LENGUA CASTELLANA ", "Lengua castellana y literatura") +
                subject("CIENCIASNAT01", "Ciencias naturales I") +
                subject("CIENCIASNAT02", "Ciencias naturales II") +
                subject("MAT", "Matemáticas otra vez") +
                subject("CIENCIASNAT01", "Ciencias naturales I bis"),
            activityType("TUT", "Tutoría") + activityType("MAT", "Guardia"));

    const std::vector<Row> expected = {
        {"MAT", "MAT", "Matemáticas", "", "false", "MAT"},
        {"LENGUA CAS", "LENGUA CAS", "Lengua castellana", "", "false", "LENGUA CAS"},
        {"LENGUA CA1", "LENGUA CAS", "Lengua castellana y literatura", "", "false", "LENGUA CAS"},
        {"CIENCIAS01", "CIENCIASNA", "Ciencias naturales I", "", "false", "CIENCIASNA"},
        {"CIENCIAS02", "CIENCIASNA", "Ciencias naturales II", "", "false", "CIENCIASNA"},
        {"CIENCIASNA", "CIENCIASNA", "Ciencias naturales I bis", "", "false", "CIENCIASNA"},
        {"TUT", "TUT", "Tutoría", "", "true", "TUT"},
    };
    EXPECT_EQ(rows("ASIGNOMT"), expected);
    EXPECT_EQ(state.usedShortCodes,
              (std::set<std::string>{"MAT", "LENGUA CAS", "LENGUA CA1", "CIENCIAS01", "CIENCIAS02",
                                     "CIENCIASNA", "TUT"}));
    EXPECT_EQ(state.seenLongCodes,
              (std::set<std::string>{"MAT", "LENGUA CAS", "LENGUA CASTELLANA", "CIENCIASNAT01",
                                     "CIENCIASNAT02", "TUT"}));
}

TEST_F(SubjectsTest, NumbersPastNine) {
    std::string used = subject("ABCDEFGHI") + subject("ABCDEFGHIJ");
    for (int k = 1; k <= 9; ++k) used += subject("ABCDEFGHI" + std::to_string(k));
    convert(used + subject("ABCDEFGHIJK", "Nueva"));
    EXPECT_EQ(rows("ASIGNOMT").back(),
              (Row{"ABCDEFGH10", "ABCDEFGHIJ", "Nueva", "", "false", "ABCDEFGHIJ"}));

    // When that cut form is taken as well, the numbering goes on rather than losing the subject.
    state.usedShortCodes.clear();
    state.seenLongCodes.clear();
    convert(used + subject("ABCDEFGH10") + subject("ABCDEFGHIJK", "Nueva"));
    EXPECT_EQ(cods().back(), "ABCDEFGH11");
}

TEST_F(SubjectsTest, ShortCodes) {
    // Letter case makes codes different.
    convert(subject("MAT") + subject("mat"));
    EXPECT_EQ(cods(), (std::vector<std::string>{"MAT", "mat"}));

    // A short code that ends in blanks is numbered whole, not cut to nine characters.
    state.usedShortCodes.clear();
    state.seenLongCodes.clear();
    convert(subject("HISTORIA") + subject("HISTORIA    ARTE", "Historia del arte"));
    EXPECT_EQ(rows("ASIGNOMT").back(),
              (Row{"HISTORIA1", "HISTORIA", "Historia del arte", "", "false", "HISTORIA"}));
}

TEST_F(SubjectsTest, TakenCutFormIsNumberedButRepeatsGetNoRow) {
    convert(subject("CIENCIAS01") + subject("CIENCIASNAT01") + subject("MAT") + subject("MAT") +
            subject("CIENCIASNAT01") + subject("CIENCIASNAT01"));
    // The second subject's cut form is the first's code; the last one repeats a code whose
    // short form is already taken.
    EXPECT_EQ(cods(), (std::vector<std::string>{"CIENCIAS01", "CIENCIASN1", "MAT", "CIENCIASNA"}));
}

TEST_F(SubjectsTest, ActivityTypes) {
    convert(subject("MAT") + subject("TUTORIA-ES"),
            activityType("MAT") + activityType("TUTORIA-ES") + activityType("GUARDIA-RECREO") +
                activityType("GUARDIA-RECREO2") + activityType("GUARDIA-RECREO3") +
                activityType("GUARDIA-RECREO") + activityType("mat"));
    // A subject's code is no new activity type; activity types sharing their first ten
    // characters get the cut form, the short code, then a number; a repeat gets nothing.
    EXPECT_EQ(cods(), (std::vector<std::string>{"MAT", "TUTORIA-ES", "GUARDIA-EO", "GUARDIA-RE",
                                                "GUARDIA-R1", "mat"}));
    EXPECT_EQ(column("ASIGNOMT", "ESTAREA"),
              (std::vector<std::string>{"false", "false", "true", "true", "true", "true"}));
}

// A school with one subject and one activity type keeps both.
TEST_F(SubjectsTest, OneElementLists) {
    convert(subject("FIS", "Física"), activityType("TUT", "Tutoría"));
    EXPECT_EQ(rows("ASIGNOMT"), (std::vector<Row>{{"FIS", "FIS", "Física", "", "false", "FIS"},
                                                  {"TUT", "TUT", "Tutoría", "", "true", "TUT"}}));
}

TEST_F(SubjectsTest, EmptyAndIncompleteDocuments) {
    convert("", activityType("TUT"));
    EXPECT_EQ(cods(), (std::vector<std::string>{"TUT"}));

    // A missing attribute reads as empty text; the second code-less subject repeats the first.
    state.usedShortCodes.clear();
    state.seenLongCodes.clear();
    convert(
        "<Materia Codigo=\"QUI\"/><Materia Denominacion=\"Sin código\"/>"
        "<Materia Denominacion=\"Otra\"/>");
    EXPECT_EQ(rows("ASIGNOMT"), (std::vector<Row>{{"QUI", "QUI", "", "", "false", "QUI"},
                                                  {"", "", "Sin código", "", "false", ""}}));
}

}  // namespace
}  // namespace lindavex::testing
