// lindavex-cli comprobar, run as a process: what it prints, its exit status, and that it writes
// nothing anywhere.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "cli_process.h"
#include "support/files.h"
#include "support/scratch_dir.h"
#include "toworkdb/conversion_run.h"
#include "toworkdb/findings.h"

namespace {
namespace fs = std::filesystem;
using lindavex::testing::Outcome;
using lindavex::testing::readBytes;
using lindavex::testing::snapshot;
using lindavex::testing::writeBytes;

const std::string kSource = LINDAVEX_SOURCE_DIR;

class ComprobarCommand : public ::testing::Test {
  protected:
    ComprobarCommand() {
        fs::create_directories(workDb);
        fs::create_directories(temp);
    }
    // The work database named by LINDAVEX_WORKDB, and a temporary folder of its own.
    Outcome cli(const std::vector<std::string>& args) {
        return lindavex::testing::runCli(
            scratch.path(), args, workDb.string(), 0,
            {{"TMPDIR", temp.string()}, {"TMP", temp.string()}, {"TEMP", temp.string()}});
    }
    lindavex::testing::ScratchDir scratch;
    fs::path workDb = scratch / "WTEMP";
    fs::path temp = scratch / "tmp";
};

TEST_F(ComprobarCommand, ListsEveryFindingAndWritesNothing) {
    const fs::path centre = scratch / "centro.xml";
    fs::copy_file(kSource + "/examples/centro-con-problemas.xml", centre);
    const std::string before = readBytes(centre);
    ASSERT_EQ(lindavex::testing::runCli(
                  scratch.path(), {"exportar", kSource + "/examples/centro.xml"}, workDb.string())
                  .status,
              0);
    const auto tables = snapshot(workDb);

    const auto checked = lindavex::toworkdb::check(centre, workDb);
    const auto& findings = checked.findings;
    Outcome r = cli({"comprobar", centre.string()});
    EXPECT_EQ(r.status, 1) << r.err;
    // The findings, then what the run would change in the work database it would write.
    EXPECT_EQ(r.out, lindavex::toworkdb::findingsText(findings) +
                         "\nFrente a las tablas de trabajo de " + workDb.string() + ":\n" +
                         lindavex::toworkdb::changesText(checked.changes));
    EXPECT_NE(r.out.find("\nFilas que se irían ("), std::string::npos) << r.out;
    for (const char* heading :
         {"Errores que detendrían la exportación (3):\n", "Cambios que haría la exportación (",
          "Códigos que la importación no devolvería iguales ("})
        EXPECT_NE(r.out.find(heading), std::string::npos) << heading;
    EXPECT_NE(r.out.find("línea 36: MateriaGrupo «LENGUA CAS»: 'x' is not a valid floating point "
                         "value\n"),
              std::string::npos);

    r = cli({"comprobar", "--formato", "csv", centre.string()});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, lindavex::toworkdb::findingsCsv(findings, checked.changes));
    EXPECT_NE(r.out.find("\nfila quitada;PROFT;"), std::string::npos) << r.out;
    // As a spreadsheet with Spanish settings opens it: a byte-order mark, ';' between fields,
    // and the messages' commas left as they are.
    EXPECT_EQ(r.out.substr(0, r.out.find('\n')),
              "\xEF\xBB\xBFtipo;elemento;codigo;codigo_guardado;linea;mensaje");
    EXPECT_NE(r.out.find("\nerror;MateriaGrupo;LENGUA CAS;;36;'x' is not a valid floating point "
                         "value\n"),
              std::string::npos);
    EXPECT_NE(r.out.find(";ASIGNOMT lo guarda como «LENGUA CA1», numerado para que no se repita\n"),
              std::string::npos)
        << r.out;

    // Nothing written: the work database, the centre file and the temporary folder as they were.
    EXPECT_EQ(snapshot(workDb), tables);
    EXPECT_EQ(readBytes(centre), before);
    EXPECT_TRUE(fs::is_empty(temp));

    // Nothing that stops the first action: 0, whatever it would change.
    r = cli({"comprobar", "--formato=texto", kSource + "/examples/centro.xml"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.substr(0, r.out.find('\n')), "Cambios que haría la exportación (1):");
    // Against an empty work database there is nothing to compare with.
    const std::string empty = (scratch / "VACIA").string();
    fs::create_directories(empty);
    writeBytes(centre, "<Centro/>");
    r = cli({"comprobar", centre.string(), "--workdb", empty});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(
        r.out,
        "Cambios que haría la exportación (1):\n  línea 1: Centro «»: el centro no tiene datos "
        "que exportar: la exportación dejaría vacías todas las tablas de trabajo\n");
    writeBytes(centre,
               "<Centro><Aulas><Aula Codigo=\"A1\" Denominacion=\"Aula 1\"/></Aulas></Centro>");
    r = cli({"comprobar", centre.string(), "--workdb=" + empty});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "Nada que señalar: la exportación guardaría el archivo tal cual.\n");
    EXPECT_EQ(cli({"comprobar", (scratch / "falta.xml").string()}).out, "No existe archivo\n");
}

TEST_F(ComprobarCommand, UsageErrorsExitWithTwo) {
    const std::string centre = kSource + "/examples/centro.xml";
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"comprobar"},
             {"comprobar", centre, "--formato"},
             {"comprobar", centre, "--formato", "xls"},
             {"comprobar", centre, "--formato=csv", "--formato=csv"},
             {"comprobar", centre, "--workdb"},
         }) {
        const Outcome r = cli(args);
        EXPECT_EQ(r.status, 2) << args.size();
        EXPECT_NE(r.err.find("lindavex-cli comprobar CENTRO.xml"), std::string::npos) << r.err;
    }
}

std::string utf16le(const std::string& ascii) {
    std::string bytes;
    for (const char c : ascii) bytes += {c, '\0'};
    return bytes;
}

// A file that is no centre file stops exportar before any table is touched, with the file and
// why, and comprobar counts it among the errors; a centre with nothing in it still converts.
TEST_F(ComprobarCommand, AFileThatIsNoCentreFileChangesNothing) {
    const std::string example = readBytes(kSource + "/examples/centro.xml");
    const std::string centre =
        "<Centro Codigo=\"1\"><Materias><Materia Codigo=\"MAT\" "
        "Denominacion=\"Lengua\"/></Materias></Centro>";
    std::string latin1 = centre;
    latin1.replace(latin1.find("Lengua"), 6, "Lat\xEDn");
    struct Case {
        const char* name;
        std::string bytes;
        const char* why;  // empty: converts
    };
    const Case cases[] = {
        {"truncated", example.substr(0, example.size() / 2),
         "no es un documento XML válido (línea"},
        {"latin1-declared-utf8", "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n" + latin1,
         "no es un documento XML válido (línea 2"},
        {"utf16-without-bom", utf16le(centre), "no es un documento XML válido (línea 1"},
        {"wrapped", "<Datos>" + centre + "</Datos>",
         "no tiene el elemento raíz Centro (su raíz es Datos)"},
        {"empty", "", "no es un documento XML válido"},
        {"empty-centre", "<Centro/>", ""},
    };
    ASSERT_EQ(cli({"exportar", kSource + "/examples/centro.xml"}).status, 0);
    writeBytes(workDb / "CURSOST.DBF", "courses");
    const auto tables = snapshot(workDb);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path file = scratch / (std::string(c.name) + ".xml");
        writeBytes(file, c.bytes);
        const Outcome checked = cli({"comprobar", file.string()});
        const Outcome exported = cli({"exportar", file.string()});
        if (*c.why == '\0') {
            EXPECT_EQ(checked.status, 0) << checked.out;
            EXPECT_EQ(exported.status, 0) << exported.err;
            continue;
        }
        EXPECT_EQ(checked.status, 1);
        EXPECT_EQ(checked.out.substr(0, checked.out.find('\n')),
                  "Errores que detendrían la exportación (1):");
        EXPECT_EQ(exported.status, 1);
        EXPECT_EQ(exported.out, "");
        for (const std::string& text : {checked.out, exported.err}) {
            EXPECT_NE(text.find("El archivo XML \"" + file.string() + "\""), std::string::npos)
                << text;
            EXPECT_NE(text.find(c.why), std::string::npos) << text;
        }
        EXPECT_EQ(snapshot(workDb), tables);
        EXPECT_EQ(readBytes(file), c.bytes);
    }
}

// After a conversion the command line lists the codes stored otherwise, as the check does.
TEST_F(ComprobarCommand, ExportarListsTheCodesTheCheckLists) {
    std::string text = readBytes(kSource + "/examples/centro.xml");
    text.replace(text.find("Codigo=\"P12\""), 12, "Codigo=\"P0012-LARGO\"");
    const fs::path centre = scratch / "largo.xml";
    writeBytes(centre, text);
    const std::string listed =
        lindavex::toworkdb::renamedCodesText(lindavex::toworkdb::check(centre).findings);
    EXPECT_EQ(listed, "Códigos guardados con otro código:\n  PROFT: P0012-LARGO → P0012-LARG\n");
    const Outcome r = cli({"exportar", centre.string()});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.substr(r.out.find("ASIGT: 82 registros\n") + 20), listed);
}

}  // namespace
