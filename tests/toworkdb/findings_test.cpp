// What a check finds in a centre file full of problems, and that a conversion of the same file
// finds the same.
#include "toworkdb/findings.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "store/dbase/table.h"
#include "support/files.h"
#include "support/scratch_dir.h"
#include "toworkdb/conversion_run.h"

namespace lindavex::toworkdb {
namespace {
namespace fs = std::filesystem;
using Kind = Finding::Kind;
using What = Finding::What;

const fs::path kProblems = fs::path(LINDAVEX_SOURCE_DIR) / "examples/centro-con-problemas.xml";

// The problem file without what would stop a conversion.
fs::path withoutErrors(const testing::ScratchDir& scratch) {
    std::string text = testing::readBytes(kProblems);
    for (const auto& [from, to] : {std::pair{"Horas=\"x\"", "Horas=\"01,00\""},
                                   std::pair{"Horas=\"4,5,0\"", "Horas=\"04,50\""},
                                   std::pair{"HoraInicio=\"8:00\"", "HoraInicio=\"08:00\""}}) {
        text.replace(text.find(from), std::string(from).size(), to);
    }
    const fs::path file = scratch / "sin-errores.xml";
    testing::writeBytes(file, text);
    return file;
}

TEST(Findings, EveryProblemOfTheShippedExampleWithItsCodesAndLine) {
    struct Expected {
        Kind kind;
        What what;
        const char* element;
        std::string code, stored;
        int line;
    };
    const std::vector<Expected> expected = {
        {Kind::Change, What::Renamed, "Materia", "LENGUA CASTELLANA", "LENGUA CA1", 7},
        {Kind::RoundTrip, What::NotReturned, "Materia", "LENGUA CASTELLANA", "LENGUA CAS", 7},
        {Kind::Change, What::Renamed, "Materia", "CIENCIASNAT01", "CIENCIAS01", 8},
        {Kind::RoundTrip, What::NotReturned, "Materia", "CIENCIASNAT01", "CIENCIASNA", 8},
        {Kind::Change, What::NoRow, "Materia", "MAT", "", 9},
        {Kind::RoundTrip, What::NotReturned, "Materia", "?AC", "?AC", 10},
        {Kind::Change, What::NoRow, "TipoActividad", "MAT", "", 14},
        {Kind::Change, What::Renamed, "Profesor", "P01", "P011", 21},
        {Kind::RoundTrip, What::NotReturned, "Profesor", "P01", "P011", 21},
        {Kind::Change, What::UnknownCode, "Profesor", "PROFESOR_LARGO", "LET", 22},
        {Kind::Change, What::Renamed, "Profesor", "PROFESOR_LARGO", "PROFESOR_L", 22},
        {Kind::RoundTrip, What::NotReturned, "Profesor", "PROFESOR_LARGO", "PROFESOR_L", 22},
        {Kind::Change, What::RoomWithoutCode, "Aula", "", "Laboratori", 26},
        {Kind::Change, What::Renamed, "Aula", "AULA-DE-INFORMATICA-NUEVA", "AULA-DE-VA", 27},
        {Kind::RoundTrip, What::NotReturned, "Aula", "AULA-DE-INFORMATICA-NUEVA",
         "AULA-DE-INFORMATICA-", 27},
        {Kind::Change, What::TutorEmptied, "Grupo", "GRUPO-ESO-1B", "", 41},
        {Kind::Change, What::UnknownCode, "Grupo", "GRUPO-ESO-1B", "ES0", 41},
        {Kind::Change, What::Renamed, "Grupo", "GRUPO-ESO-1B", "GRUPO-ES1B", 41},
        {Kind::RoundTrip, What::NotReturned, "Grupo", "GRUPO-ESO-1B", "GRUPO-ES1B", 41},
        {Kind::Change, What::NoRow, "Sesion", "l", "", 52},
        {Kind::Change, What::NoRow, "Sesion", "", "", 53},
        {Kind::Error, What::BadNumber, "Sesion", "M", "", 54},
        {Kind::Error, What::BadNumber, "MateriaGrupo", "LENGUA CAS", "", 36},
        {Kind::Change, What::NoRow, "MateriaGrupo", "", "", 37},
        {Kind::Change, What::UnknownCode, "MateriaGrupo", "LENGUA CASTELLANA", "LENGUA CAS", 38},
        {Kind::Change, What::UnknownCode, "MateriaGrupo", "FIS", "FIS", 43},
        {Kind::Change, What::ZeroHours, "MateriaGrupo", "MAT", "", 44},
        {Kind::Error, What::BadNumber, "MateriaGrupo", "CIENCIASNAT01", "", 45},
        {Kind::Change, What::UnknownCode, "Grupo", "GRUPO-ESO-1B", "GRUPO-ESO-", 41},
    };
    const ConversionReport report = check(kProblems);
    ASSERT_EQ(report.findings.size(), expected.size()) << findingsText(report.findings);
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const Finding& f = report.findings[i];
        const Expected& e = expected[i];
        SCOPED_TRACE(std::to_string(i) + ": " + f.message);
        EXPECT_EQ(f.kind, e.kind);
        EXPECT_EQ(f.what, e.what);
        EXPECT_EQ(f.element, e.element);
        EXPECT_EQ(f.code, e.code);
        EXPECT_EQ(f.storedCode, e.stored);
        EXPECT_EQ(f.line, e.line);
        EXPECT_FALSE(f.message.empty());
    }
    EXPECT_TRUE(stopsTheRun(report.findings));
    // The errors carry the texts that stop a conversion.
    EXPECT_EQ(report.findings[22].message, "'x' is not a valid floating point value");

    // A file that does not parse is the one error, and says where it breaks.
    testing::ScratchDir scratch;
    testing::writeBytes(scratch / "roto.xml", "<Centro>\n<Materias>\n</Centro>");
    const auto broken = check(scratch / "roto.xml").findings;
    ASSERT_EQ(broken.size(), 1u);
    EXPECT_EQ(broken[0].what, What::NotACentreFile);
    EXPECT_EQ(broken[0].line, 3);
    EXPECT_TRUE(stopsTheRun(broken));
}

// A code cut at a blank is shown as the table gives it back, without that blank.
TEST(Findings, StoredCodesReadAsTheTablesGiveThemBack) {
    testing::ScratchDir scratch;
    const fs::path centre = scratch / "centro.xml";
    testing::writeBytes(centre,
                        "<Centro><Profesores><Profesor Codigo=\"ANA BELEN RUIZ\" Nombre=\"Ana\"/>"
                        "<Profesor Codigo=\"P2\" Nombre=\"Eva\"/></Profesores></Centro>");
    const fs::path workDb = scratch / "WTEMP";
    fs::create_directories(workDb);
    convert(centre, workDb);
    const std::string stored =
        store::Table::open(workDb, "PROFT", store::Table::Mode::Shared).asText("ABREV");
    EXPECT_EQ(stored, "ANA BELEN");
    const auto findings = check(centre).findings;
    ASSERT_EQ(findings.size(), 2u);
    for (const Finding& f : findings) EXPECT_EQ(f.storedCode, stored) << f.message;
    EXPECT_NE(findings[0].message.find("«ANA BELEN»,"), std::string::npos) << findings[0].message;
    EXPECT_NE(findings[1].message.find("«ANA BELEN»"), std::string::npos) << findings[1].message;
}

// An element without a code is listed, and codes and names holding line breaks or other
// control characters keep the listing one finding per line.
TEST(Findings, EmptyCodesAreListedAndControlCharactersShownEscaped) {
    testing::ScratchDir scratch;
    const fs::path centre = scratch / "centro.xml";
    testing::writeBytes(
        centre,
        "<Centro>\n<Materias>\n<Materia Codigo=\"\" Denominacion=\"Sin código\"/>\n"
        "<Materia Codigo=\"MATEMATICAS&#10;AVANZADAS\" Denominacion=\"Dos&#13;&#10;líneas\"/>\n"
        "</Materias>\n<Profesores><Profesor Codigo=\"\" Nombre=\"Ana\"/></Profesores>\n"
        "<Grupos><Grupo Codigo=\"&#9;\" Denominacion=\"G\"/>\n"
        "<Grupo Codigo=\"GRUPO&#9;ESO-1A\" Denominacion=\"G\"/></Grupos>\n</Centro>");
    const std::vector<Finding> findings = check(centre).findings;
    std::vector<std::string> empty;
    for (const Finding& f : findings)
        if (f.what == What::EmptyCode) empty.push_back(f.element + ":" + std::to_string(f.line));
    EXPECT_EQ(empty, (std::vector<std::string>{"Materia:3", "Profesor:6", "Grupo:7"}));

    const std::string text = findingsText(findings);
    std::size_t listed = 0;
    for (std::size_t at = 0; at < text.size(); at = text.find('\n', at) + 1) {
        const std::string line = text.substr(at, text.find('\n', at) - at);
        EXPECT_TRUE(line.empty() || line.starts_with("  línea ") || line.ends_with("):")) << line;
        listed += line.starts_with("  línea ") ? 1 : 0;
    }
    EXPECT_EQ(listed, findings.size()) << text;
    EXPECT_NE(text.find("Materia «MATEMATICAS\\nAVANZADAS» (Dos\\r\\nlíneas)"), std::string::npos)
        << text;
    EXPECT_NE(text.find("Grupo «GRUPO\\tESO-1A»"), std::string::npos) << text;
    EXPECT_NE(text.find("Materia «» (Sin código): código vacío"), std::string::npos) << text;
}

// A file saved as UTF-8 under a single-byte declaration: the check lists it with its first
// line, and a conversion says the same after "Proceso finalizado", and converts as declared.
TEST(Findings, Utf8UnderASingleByteDeclarationIsListedAndConvertedAsDeclared) {
    testing::ScratchDir scratch;
    const fs::path centre = scratch / "centro.xml";
    testing::writeBytes(centre,
                        "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<Centro>\n<Materias>\n"
                        "<Materia Codigo=\"MAT\" Denominacion=\"Matem\xC3\xA1ticas\"/>\n"
                        "<Materia Codigo=\"LEN\" Denominacion=\"Espa\xC3\xB1ol\"/>\n"
                        "</Materias>\n</Centro>");
    const std::vector<Finding> findings = check(centre).findings;
    ASSERT_EQ(findings.size(), 1u) << findingsText(findings);
    EXPECT_EQ(findings[0].what, What::HiddenUtf8);
    EXPECT_EQ(findings[0].kind, Kind::Change);
    EXPECT_FALSE(stopsTheRun(findings));
    const std::string line =
        "línea 4: el archivo declara la codificación ISO-8859-1, pero su texto parece UTF-8: «á» "
        "pasará a las tablas como «Ã¡»; si se guardó como UTF-8, declare encoding=\"UTF-8\" en "
        "su primera línea\n";
    EXPECT_EQ(findingsText(findings), "Cambios que haría la exportación (1):\n  " + line);

    const fs::path workDb = scratch / "WTEMP";
    fs::create_directories(workDb);
    const ConversionReport converted = convert(centre, workDb);
    EXPECT_EQ(finishedDetailsText(converted), "Aviso: " + line);
    store::Table subjects = store::Table::open(workDb, "ASIGNOMT", store::Table::Mode::Shared);
    EXPECT_EQ(subjects.asText("NOMBRE"), "Matem\xC3\xA1ticas");  // as declared: "MatemÃ¡ticas"
}

// The same steps find the same when they convert: the codes listed after a conversion, in the
// command line and in the window's details, are those the check lists.
TEST(Findings, AConversionFindsWhatTheCheckFound) {
    testing::ScratchDir scratch;
    const fs::path centre = withoutErrors(scratch);
    const ConversionReport checked = check(centre);
    EXPECT_FALSE(stopsTheRun(checked.findings));

    const fs::path workDb = scratch / "WTEMP";
    fs::create_directories(workDb);
    const ConversionReport converted = convert(centre, workDb);
    EXPECT_EQ(converted.findings, checked.findings);
    EXPECT_EQ(converted.renamedCodes.size(), 6u);
    const std::string details = renamedCodesText(checked.findings);
    EXPECT_NE(details.find("PROFT: PROFESOR_LARGO → PROFESOR_L\n"), std::string::npos) << details;

    // Nothing renamed or left out: no details.
    const fs::path example = fs::path(LINDAVEX_SOURCE_DIR) / "examples/centro.xml";
    EXPECT_EQ(renamedCodesText(convert(example, workDb).findings), "");
}

}  // namespace
}  // namespace lindavex::toworkdb
