// The centre document: selecting elements and reading attributes.
#include "store/xml/centre_document.h"

#include <gtest/gtest.h>

#include "store/error.h"
#include "support/files.h"
#include "support/scratch_dir.h"

namespace lindavex::store {
namespace {

using testing::ScratchDir;
using testing::writeBytes;

const char* const kCentre = R"(<?xml version="1.0" encoding="UTF-8"?>
<!-- exported by the school system -->
<?stylesheet kind="none"?>
<Centro Codigo=" 38001 " Nombre="IES Montaña" CursoEscolar="2026" Version="3">
  <Materias>
    <Materia Codigo="MAT" Denominacion="Matemáticas"/>
    <Materia Codigo="LEN" Denominacion="Lengua"/>
  </Materias>
  <Grupos>
    <Grupo Codigo="1A"><MateriasGrupo><MateriaGrupo Codigo="MAT" Horas="4"/></MateriasGrupo></Grupo>
    <Grupo Codigo="1B"><MateriasGrupo><MateriaGrupo Codigo="LEN" Horas="3"/>
      <MateriaGrupo Codigo="MAT" Horas="5"/></MateriasGrupo></Grupo>
  </Grupos>
  <Materias><Materia Codigo="FIS" Denominacion="Física"/></Materias>
</Centro>
<!-- end -->
)";

std::vector<std::string> codes(const std::vector<Node>& nodes) {
    std::vector<std::string> out;
    for (const Node& n : nodes) out.push_back(n.attribute("Codigo"));
    return out;
}

TEST(CentreDocumentTest, SelectsPlainPathsInDocumentOrder) {
    ScratchDir dir;
    writeBytes(dir / "centro.xml", kCentre);
    CentreDocument doc;
    doc.load(dir / "centro.xml");
    ASSERT_TRUE(doc.documentElement());

    EXPECT_EQ(codes(doc.selectNodes("/Centro/Materias/Materia")),
              (std::vector<std::string>{"MAT", "LEN", "FIS"}));
    EXPECT_EQ(codes(doc.selectNodes("/Centro/Grupos/Grupo/MateriasGrupo/MateriaGrupo")),
              (std::vector<std::string>{"MAT", "LEN", "MAT"}));
    EXPECT_TRUE(doc.selectNodes("/Centro/Aulas/Aula").empty());
    EXPECT_TRUE(doc.selectNodes("/Materias/Materia").empty());
    EXPECT_FALSE(doc.selectSingleNode("/Centro/horario"));

    Node root = doc.selectSingleNode("/Centro");
    ASSERT_TRUE(root);
    EXPECT_EQ(root.raw(), doc.documentElement().raw());
    EXPECT_EQ(root.name(), "Centro");

    // Climbing from a subject of a group back to the group.
    Node second = doc.selectNodes("/Centro/Grupos/Grupo/MateriasGrupo/MateriaGrupo")[1];
    EXPECT_EQ(second.parentNode().parentNode().attribute("Codigo"), "1B");
    EXPECT_FALSE(root.parentNode());

    // Each element knows the line it starts on, for reports that point into the file.
    EXPECT_EQ(root.line(), 4);
    EXPECT_EQ(second.line(), 11);
    EXPECT_EQ(Node().line(), 0);
}

TEST(CentreDocumentTest, LinesPastTheSixteenBitRangeAreKept) {
    ScratchDir dir;
    std::string text = "<Centro>" + std::string(70000, '\n') +
                       "<Materias><Materia/>\n<Materia>\n</Materia>\n</Materias></Centro>";
    writeBytes(dir / "centro.xml", text);
    CentreDocument doc;
    doc.load(dir / "centro.xml");
    const std::vector<Node> subjects = doc.selectNodes("/Centro/Materias/Materia");
    ASSERT_EQ(subjects.size(), 2U);
    EXPECT_EQ(subjects[0].line(), 70001);
    EXPECT_EQ(subjects[1].line(), 70002);
}

TEST(CentreDocumentTest, NamesMatchAsWrittenInTheFile) {
    ScratchDir dir;
    writeBytes(dir / "c.xml",
               "<Centro xmlns=\"urn:centro\" xmlns:p=\"urn:p\" p:Codigo=\"P\" Codigo=\"C\">"
               "<p:Materias><Materia Codigo=\"1\"/></p:Materias><Materias><Materia Codigo=\"2\"/>"
               "</Materias><materias><Materia Codigo=\"3\"/></materias></Centro>");
    CentreDocument doc;
    doc.load(dir / "c.xml");
    EXPECT_EQ(codes(doc.selectNodes("/Centro/Materias/Materia")), std::vector<std::string>{"2"});
    EXPECT_EQ(codes(doc.selectNodes("/Centro/p:Materias/Materia")), std::vector<std::string>{"1"});
    EXPECT_EQ(doc.selectNodes("/Centro/p:Materias")[0].name(), "p:Materias");
    EXPECT_EQ(doc.documentElement().attribute("Codigo"), "C");
    EXPECT_EQ(doc.documentElement().attribute("p:Codigo"), "P");
}

TEST(CentreDocumentTest, AttributesAreTrimmedAndConvertedToTheCodePage) {
    ScratchDir dir;
    writeBytes(dir / "c.xml",
               "<Centro Codigo=\" \t38001&#10; \" Nombre=\"Monta\xC3\xB1"
               "a \xE2\x82\xAC \xE2\x80\x9C"
               "x\xE2\x80\x9D \xCE\xA9 \xF0\x9F\x98\x80\" Vacio=\"   \" Interior=\"a  b\"/>");
    CentreDocument doc;
    doc.load(dir / "c.xml");
    Node root = doc.documentElement();
    EXPECT_EQ(root.attribute("Codigo"), "38001");
    // n-tilde, euro sign and curly quotes exist in the code page; omega and the emoji do not.
    EXPECT_EQ(root.attribute("Nombre"),
              "Monta\xF1"
              "a \x80 \x93x\x94 ? ?");
    EXPECT_EQ(root.attributeUnicode("Nombre"),
              "Monta\xC3\xB1"
              "a \xE2\x82\xAC \xE2\x80\x9Cx\xE2\x80\x9D \xCE\xA9 \xF0\x9F\x98\x80");
    EXPECT_EQ(root.attribute("Vacio"), "");
    EXPECT_TRUE(root.hasAttribute("Vacio"));
    EXPECT_EQ(root.attribute("Interior"), "a  b");
    EXPECT_EQ(root.attribute("Falta"), "");
    EXPECT_FALSE(root.hasAttribute("Falta"));
    EXPECT_EQ(Node().attribute("Codigo"), "");
    // Empty text read as a view is still a view of some text, for the fields copied from it.
    std::string scratch;
    EXPECT_NE(Node().attributeView(AttributeName(), scratch).data(), nullptr);
}

TEST(CentreDocumentTest, UnparsableFileGivesAnEmptyDocument) {
    ScratchDir dir;
    writeBytes(dir / "bad.xml", "<Centro><Materias></Centro>");
    CentreDocument doc;
    doc.load(dir / "bad.xml");
    EXPECT_FALSE(doc.documentElement());
    EXPECT_TRUE(doc.selectNodes("/Centro/Materias").empty());
    EXPECT_FALSE(doc.selectSingleNode("/Centro"));
}

// The parse result says whether the file parsed and, when not, on which line it stopped.
TEST(CentreDocumentTest, LoadReportsTheLineWhereParsingStopped) {
    const struct {
        const char* text;
        bool parses;
        int line;
    } cases[] = {
        {"<Centro Codigo=\"1\"/>", true, 0},
        {"<?xml version=\"1.0\"?>\n<Centro>\n<Materias>\n</Centro>", false, 4},
        {"<Centro a=\"1\" a=\"2\"/>", false, 1},
        {"", false, 1},
    };
    ScratchDir dir;
    for (const auto& c : cases) {
        writeBytes(dir / "c.xml", c.text);
        CentreDocument doc;
        const ParseResult result = doc.load(dir / "c.xml");
        EXPECT_EQ(static_cast<bool>(result), c.parses) << c.text;
        EXPECT_EQ(result.line, c.line) << c.text;
        EXPECT_EQ(!doc.documentElement(), !c.parses) << c.text;
        if (c.parses) {
            EXPECT_TRUE(result.description.empty()) << result.description;
        } else {
            EXPECT_EQ(result.description.rfind("línea " + std::to_string(c.line) + ",", 0), 0u)
                << result.description;
        }
    }
}

// What a school meets, in one Spanish sentence with the line and column of the first error;
// an error without a sentence of its own keeps the parser's text, on one line too.
TEST(CentreDocumentTest, ParseErrorsReadInSpanishOnOneLine) {
    std::string deep;
    for (int i = 0; i < 300; ++i) deep += "<a>";
    const struct {
        const char* name;
        std::string text;
        const char* description;
    } cases[] = {
        {"cut short", "<Centro Codigo=\"1\"><Materias>",
         "línea 1, columna 30: el archivo se acaba antes de cerrar el elemento «Materias», "
         "abierto en la línea 1; quizá se cortó al copiarlo o descargarlo"},
        {"tag not closed", "<Centro>\n<A></B>\n</Centro>",
         "línea 2, columna 8: la etiqueta de cierre «</B>» no cierra el elemento «A», abierto en "
         "la línea 2"},
        {"start tag without >", "<Centro N=\"x\"",
         "línea 1, columna 14: una etiqueta está mal escrita: le falta un espacio, un «=» o un "
         "«>», o le sobra algo"},
        {"bytes not UTF-8",
         "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Centro>\n<A N=\"\xFF\"/></Centro>",
         "línea 3, columna 7: hay bytes que no son texto UTF-8 (0xFF 0x22 0x2F 0x3E); el archivo "
         "no declara la codificación que tiene o se guardó con otra"},
        {"Latin-1 undeclared", "<?xml version=\"1.0\"?>\n<Centro Nombre=\"Matem\xE1ticas\"/>",
         "línea 2, columna 22: hay bytes que no son texto UTF-8 (0xE1 0x74 0x69 0x63); el archivo "
         "no declara la codificación que tiene o se guardó con otra"},
        {"declared UTF-16", "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-16\"?><Centro/>",
         "línea 1, columna 38: la codificación que declara el archivo no es la que tiene "
         "(Document labelled UTF-16 but has UTF-8 content)"},
        {"unknown encoding", "<?xml version=\"1.0\" encoding=\"KLINGON\"?><Centro/>",
         "línea 1, columna 39: el archivo declara la codificación «KLINGON», que no se conoce"},
        {"nesting too deep", deep,
         "línea 1, columna 772: los elementos se anidan a más de 256 niveles"},
        {"undefined entity", "<Centro N=\"&foo;\"/>",
         "línea 1, columna 17: la entidad «&foo;» no está definida; un «&» suelto se escribe "
         "«&amp;»"},
        {"lone ampersand", "<Centro N=\"a&b\"/>",
         "línea 1, columna 15: un «&» no empieza una referencia válida; un «&» suelto se escribe "
         "«&amp;»"},
        {"entity loop", "<!DOCTYPE C [<!ENTITY a \"&b;\"><!ENTITY b \"&a;\">]><C N=\"&a;\"/>",
         "línea 1, columna 59: las entidades del archivo se refieren unas a otras sin fin"},
        {"second root", "<Centro/>\n<Otro/>",
         "línea 2, columna 1: hay algo después del cierre del elemento raíz, como un segundo "
         "elemento raíz; un archivo XML tiene uno solo"},
        {"empty file", "", "línea 1, columna 1: el archivo está vacío"},
        {"byte-order mark and blanks", "\xEF\xBB\xBF \n",
         "línea 2, columna 1: el archivo está vacío"},
        {"text, no element", "hola",
         "línea 1, columna 1: el archivo no empieza por un elemento (falta «<»)"},
        {"attribute twice", "<Centro N=\"1\" N=\"2\"/>",
         "línea 1, columna 20: el atributo «N» aparece dos veces en el mismo elemento"},
        {"value without quotes", "<Centro N=1/>",
         "línea 1, columna 11: el valor de un atributo no va entre comillas"},
        {"< in a value", "<Centro N=\"a<b\"/>",
         "línea 1, columna 13: el valor de un atributo tiene un «<»; se escribe «&lt;»"},
        {"declaration not first", " <?xml version=\"1.0\"?><Centro/>",
         "línea 1, columna 7: la declaración «<?xml …?>» no está al principio del archivo"},
        {"comment not closed", "<Centro><!-- x </Centro>",
         "línea 1, columna 25: un comentario («<!--») no se cierra con «-->»"},
        {"other errors keep the parser's text", "<?xml encoding=\"UTF-8\"?><C/>",
         "línea 1, columna 7: error de XML: Malformed declaration expecting version"},
    };
    ScratchDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        writeBytes(dir / "c.xml", c.text);
        CentreDocument doc;
        const ParseResult result = doc.load(dir / "c.xml");
        ASSERT_FALSE(result);
        EXPECT_EQ(result.description, c.description);
        EXPECT_EQ(notACentreFile(doc, result, dir / "c.xml"),
                  "El archivo XML \"" + utf8Path(dir / "c.xml") +
                      "\" no es un documento XML válido (" + c.description + ").");
    }
}

TEST(CentreDocumentTest, UnreadableFileIsAnError) {
    ScratchDir dir;
    CentreDocument doc;
    EXPECT_THROW(doc.load(dir.path()), Error);
    EXPECT_THROW(doc.load(dir / "missing.xml"), Error);
}

}  // namespace
}  // namespace lindavex::store
