// ExportarSesiones: DIASHORAST, COUNTSES and the leading session lengths.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "store/dbase/table_files.h"
#include "support/error_text.h"
#include "toworkdb/step_fixture.h"

namespace lindavex::testing {
namespace {

std::string sesion(const std::string& dia, const std::string& start, const std::string& end) {
    return "<Sesion Dia=\"" + dia + "\" HoraInicio=\"" + start + "\" HoraFin=\"" + end + "\"/>";
}

class SesionesTest : public StepFixture {
  protected:
    void convert(const std::string& sesiones) {
        loadCentre("<Sesiones>" + sesiones + "</Sesiones>");
        run(toworkdb::ExportarSesiones);
    }
    void expectLengths(int l1, int l2, int l3) const {
        EXPECT_EQ(state.L1, l1);
        EXPECT_EQ(state.L2, l2);
        EXPECT_EQ(state.L3, l3);
    }
};

TEST_F(SesionesTest, WorkedExampleRowByRow) {
    convert(sesion("L", "09:00", "09:55") + sesion("L", "08:00", "08:55") +
            sesion("M", "08:00", "08:55") + sesion("", "10:00", "10:55") +
            sesion("L", "10:25", "11:00"));

    // DIHO CODDIHO DIA TEXTODIA HORA TEXTOHOR HORADESDE HORAHASTA MINUTOS MARCO MARCOXML
    const std::vector<Row> expected = {
        {"11", "", "1", "Lunes", "1", "1-08:00-08:55", "08:00", "08:55", "55", "0", ""},
        {"12", "", "1", "Lunes", "2", "2-09:00-09:55", "09:00", "09:55", "55", "0", ""},
        {"13", "", "1", "Lunes", "3", "3-10:25-11:00", "10:25", "11:00", "35", "0", ""},
        {"21", "", "2", "Martes", "1", "1-08:00-08:55", "08:00", "08:55", "55", "0", ""},
    };
    EXPECT_EQ(rows("DIASHORAST"), expected);
    EXPECT_EQ(rows("COUNTSES"), (std::vector<Row>{{"55", "3"}, {"35", "1"}}));
    expectLengths(55, 35, 0);
    EXPECT_EQ(state.workingSet,
              (std::vector<std::string>{"108:0008:55 08:00-08:55", "109:0009:55 09:00-09:55",
                                        "110:2511:00 10:25-11:00", "208:0008:55 08:00-08:55"}));
    // COUNTSES carries its production index.
    EXPECT_TRUE(std::filesystem::exists(store::mdxPath(workDir, "COUNTSES")));
}

TEST_F(SesionesTest, EveryDayLetterAndItsName) {
    convert(sesion("D", "08:00", "09:00") + sesion("S", "08:00", "09:00") +
            sesion("V", "08:00", "09:00") + sesion("J", "08:00", "09:00") +
            sesion("X", "08:00", "09:00") + sesion("Martes", "08:00", "09:00") +
            sesion("Lunes", "08:00", "09:00"));
    EXPECT_EQ(column("DIASHORAST", "DIHO"),
              (std::vector<std::string>{"11", "21", "31", "41", "51", "61", "71"}));
    EXPECT_EQ(column("DIASHORAST", "TEXTODIA"),
              (std::vector<std::string>{"Lunes", "Martes", "Miércoles", "Jueves", "Viernes",
                                        "Sábado", "Domingo"}));
    EXPECT_EQ(rows("COUNTSES"), (std::vector<Row>{{"60", "7"}}));
    expectLengths(60, 0, 0);
}

TEST_F(SesionesTest, SessionsWithoutADayAddNoRow) {
    // Empty, blank, lower case and unknown first letters name no day.
    convert(sesion("", "08:00", "08:55") + sesion("   ", "08:00", "08:55") +
            sesion("l", "08:00", "08:55") + sesion("Q", "08:00", "08:55") +
            sesion("1", "08:00", "08:55") + sesion(" J ", "09:00", "09:50"));
    EXPECT_EQ(column("DIASHORAST", "DIHO"), (std::vector<std::string>{"41"}));
    EXPECT_EQ(state.workingSet.size(), 1u);
}

TEST_F(SesionesTest, ASingleSessionIsConverted) {
    convert(sesion("X", "12:00", "12:45"));
    EXPECT_EQ(rows("DIASHORAST"),
              (std::vector<Row>{{"31", "", "3", "Miércoles", "1", "1-12:00-12:45", "12:00", "12:45",
                                 "45", "0", ""}}));
    expectLengths(45, 0, 0);
}

TEST_F(SesionesTest, EachRunStartsFromAnEmptyWorkingSet) {
    state.workingSet = {"108:0008:55 08:00-08:55", "208:0008:55 08:00-08:55"};
    state.L1 = 55;
    state.L2 = 35;
    state.L3 = 20;
    convert("");
    EXPECT_TRUE(state.workingSet.empty());
    EXPECT_TRUE(rows("DIASHORAST").empty());
    EXPECT_TRUE(rows("COUNTSES").empty());
    expectLengths(0, 0, 0);

    // And a second run over a document of one session has only that one.
    state.workingSet = {"108:0008:55 08:00-08:55"};
    convert(sesion("V", "10:00", "10:30"));
    EXPECT_EQ(column("DIASHORAST", "DIHO"), (std::vector<std::string>{"51"}));
}

TEST_F(SesionesTest, PeriodsAreNumberedByTimeWithinEachDay) {
    std::string sessions;
    // Tuesday only, given backwards; two with the same start ordered by end; a duplicate.
    for (int h = 17; h >= 8; --h) {
        const std::string hh = (h < 10 ? "0" : "") + std::to_string(h);
        sessions += sesion("M", hh + ":00", hh + ":55");
    }
    sessions += sesion("M", "08:00", "08:30") + sesion("M", "08:00", "08:30");
    convert(sessions);

    const auto diho = column("DIASHORAST", "DIHO");
    ASSERT_EQ(diho.size(), 12u);
    EXPECT_EQ(diho.front(), "21");
    EXPECT_EQ(diho[9], "210");
    EXPECT_EQ(diho.back(), "212");
    const auto textohor = column("DIASHORAST", "TEXTOHOR");
    EXPECT_EQ(textohor[0], "1-08:00-08:30");
    EXPECT_EQ(textohor[1], "2-08:00-08:30");
    EXPECT_EQ(textohor[2], "3-08:00-08:55");
    EXPECT_EQ(textohor[9], "10-15:00-15:55");
    // Lengths in order of first meeting: 30 (twice), then 55 (ten times).
    EXPECT_EQ(rows("COUNTSES"), (std::vector<Row>{{"30", "2"}, {"55", "10"}}));
    expectLengths(30, 55, 0);
}

TEST_F(SesionesTest, NegativeLengthsAreCountedLikeAnyOther) {
    convert(sesion("L", "08:00", "08:55") + sesion("L", "09:00", "08:30") +
            sesion("L", "10:00", "10:40") + sesion("L", "11:00", "11:20"));
    EXPECT_EQ(column("DIASHORAST", "MINUTOS"), (std::vector<std::string>{"55", "-30", "40", "20"}));
    EXPECT_EQ(rows("COUNTSES"),
              (std::vector<Row>{{"55", "1"}, {"-30", "1"}, {"40", "1"}, {"20", "1"}}));
    expectLengths(55, -30, 40);
}

// The conversion's own text, then the session as the file gives it, counted in document order.
TEST_F(SesionesTest, TimesOfAnotherFormStopTheStepNamingTheSession) {
    struct Case {
        std::string start, end, message;
    };
    for (const Case& c :
         {Case{"8:00", "08:55",
               "'8:' is not a valid integer value\n"
               "Sesión 3 del archivo: Dia=\"Lunes\" HoraInicio=\"8:00\" HoraFin=\"08:55\""},
          Case{"08:00:00", "08:55",
               "':0' is not a valid integer value\n"
               "Sesión 3 del archivo: Dia=\"Lunes\" HoraInicio=\"08:00:00\" HoraFin=\"08:55\""},
          // A blank inside a time is no part of its hour or minute.
          Case{"8 :00", "08:55",
               "'8 ' is not a valid integer value\n"
               "Sesión 3 del archivo: Dia=\"Lunes\" HoraInicio=\"8 :00\" HoraFin=\"08:55\""},
          Case{"08:00", "08: 55",
               "' 5' is not a valid integer value\n"
               "Sesión 3 del archivo: Dia=\"Lunes\" HoraInicio=\"08:00\" HoraFin=\"08: 55\""}}) {
        EXPECT_EQ(errorText([&] {
                      convert(sesion("M", "09:00", "09:55") + sesion("", "x", "x") +
                              sesion("Lunes", c.start, c.end) + sesion("L", "09:00", "09:55"));
                  }),
                  c.message)
            << c.start << " " << c.end;
    }
}

}  // namespace
}  // namespace lindavex::testing
