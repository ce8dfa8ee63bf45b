// The centre document: selecting elements, reading attributes, editing and saving.
#include "store/xml/centre_document.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "store/error.h"
#include "support/error_text.h"
#include "support/files.h"
#include "support/scratch_dir.h"

namespace lindavex::store {
namespace {

using testing::readBytes;
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
    ASSERT_FALSE(doc.isEmpty());

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
    EXPECT_EQ(doc.createElement("Nuevo").line(), 0);
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
}

TEST(CentreDocumentTest, ReplacingTheRootKeepsWhatLiesOutsideIt) {
    ScratchDir dir;
    writeBytes(dir / "centro.xml", kCentre);
    CentreDocument doc;
    doc.load(dir / "centro.xml");

    doc.removeChild(doc.documentElement());
    EXPECT_TRUE(doc.isEmpty());
    EXPECT_TRUE(doc.selectNodes("/Centro/Materias/Materia").empty());

    Node centro = doc.createElement("Centro");
    centro.setAttribute("Codigo", "38001");
    centro.setAttribute("Nombre",
                        "IES Monta\xF1"
                        "a \x80");  // code page text
    doc.appendChild(centro);
    Node horario = doc.createElement("horario");
    centro.appendChild(horario);
    Node actividad = doc.createElement("actividad");
    actividad.setAttribute("dia", "X");
    doc.selectSingleNode("/Centro/horario").appendChild(actividad);

    doc.save(dir / "out.xml");
    const std::string saved = readBytes(dir / "out.xml");
    EXPECT_EQ(saved.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n", 0), 0u) << saved;
    EXPECT_NE(saved.find("<!-- exported by the school system -->"), std::string::npos);
    EXPECT_NE(saved.find("<?stylesheet kind=\"none\"?>"), std::string::npos);
    EXPECT_NE(saved.find("<!-- end -->"), std::string::npos);
    EXPECT_EQ(saved.find("Materias"), std::string::npos);
    EXPECT_NE(saved.find("<Centro Codigo=\"38001\" Nombre=\"IES Monta\xC3\xB1"
                         "a \xE2\x82\xAC\">"
                         "<horario><actividad dia=\"X\"/></horario></Centro>"),
              std::string::npos)
        << saved;

    CentreDocument again;
    again.load(dir / "out.xml");
    EXPECT_EQ(again.selectSingleNode("/Centro").attribute("Nombre"),
              "IES Monta\xF1"
              "a \x80");
    EXPECT_EQ(again.selectNodes("/Centro/horario/actividad").size(), 1u);
}

TEST(CentreDocumentTest, MisplacedChildrenAreRefused) {
    CentreDocument doc;
    Node a = doc.createElement("a");
    Node b = doc.createElement("b");
    doc.appendChild(a);
    a.appendChild(b);
    EXPECT_THROW(doc.appendChild(doc.createElement("second")), Error);
    EXPECT_THROW(b.appendChild(a), Error);
    EXPECT_THROW(b.removeChild(a), Error);
    // Control characters would make the saved file unreadable; tab and line ends are fine.
    EXPECT_THROW(b.setAttribute("Nombre", std::string("a\x01"
                                                      "b")),
                 Error);
    EXPECT_THROW(b.setAttribute("Nombre", std::string("a\0b", 3)), Error);
    EXPECT_FALSE(b.hasAttribute("Nombre"));
    b.setAttribute("Nombre", "a\tb");
    EXPECT_TRUE(b.hasAttribute("Nombre"));
    EXPECT_THROW(b.setAttribute("1x", "v"), Error);
    EXPECT_THROW(doc.createElement("a b"), Error);
    EXPECT_THROW(doc.removeChild(b), Error);
    a.removeChild(b);
    EXPECT_TRUE(doc.selectNodes("/a/b").empty());
}

TEST(CentreDocumentTest, UnparsableFileGivesAnEmptyDocument) {
    ScratchDir dir;
    writeBytes(dir / "bad.xml", "<Centro><Materias></Centro>");
    CentreDocument doc;
    doc.load(dir / "bad.xml");
    EXPECT_TRUE(doc.isEmpty());
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
        EXPECT_EQ(doc.isEmpty(), !c.parses) << c.text;
        if (c.parses) {
            EXPECT_TRUE(result.description.empty()) << result.description;
        } else {
            EXPECT_EQ(result.description.rfind("línea " + std::to_string(c.line) + ": ", 0), 0u)
                << result.description;
        }
    }
}

TEST(CentreDocumentTest, UnreadableFileIsAnError) {
    ScratchDir dir;
    CentreDocument doc;
    EXPECT_THROW(doc.load(dir.path()), Error);
    EXPECT_THROW(doc.load(dir / "missing.xml"), Error);
}

std::vector<std::string> folderListing(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

TEST(CentreDocumentTest, SaveReplacesTheTargetAndKeepsItsPermissions) {
    ScratchDir dir;
    writeBytes(dir / "centro.xml", kCentre);
    writeBytes(dir / "out.xml", "old result");
    std::filesystem::permissions(dir / "out.xml", std::filesystem::perms::owner_read |
                                                      std::filesystem::perms::owner_write |
                                                      std::filesystem::perms::group_read);
    // As the platform keeps them (Windows has no group and no owner bits of its own).
    const auto permissions = std::filesystem::status(dir / "out.xml").permissions();
    CentreDocument doc;
    doc.load(dir / "centro.xml");
    doc.save(dir / "out.xml");
    EXPECT_EQ(readBytes(dir / "out.xml"), readBytes(dir / "centro.xml"));
    EXPECT_EQ(std::filesystem::status(dir / "out.xml").permissions(), permissions);
    EXPECT_EQ(folderListing(dir.path()), (std::vector<std::string>{"centro.xml", "out.xml"}));
}

TEST(CentreDocumentTest, FailedSaveLeavesEverythingAsItWas) {
    ScratchDir dir;
    writeBytes(dir / "centro.xml", kCentre);
    CentreDocument doc;
    doc.load(dir / "centro.xml");

    // A folder that does not exist.
    EXPECT_THROW(doc.save(dir / "missing" / "out.xml"), Error);
    // A target that is a folder with content: the rename must fail, and the scratch file go.
    std::filesystem::create_directory(dir / "out.xml");
    writeBytes(dir / "out.xml" / "keep.txt", "keep");
    EXPECT_THROW(doc.save(dir / "out.xml"), Error);
    EXPECT_EQ(readBytes(dir / "out.xml" / "keep.txt"), "keep");
    // A folder without write permission (root may write anyway, and so may anybody on Windows,
    // where a folder's read-only mark does not stop writes: checked by trying).
    std::filesystem::create_directory(dir / "locked");
    writeBytes(dir / "locked" / "out.xml", "old result");
    std::filesystem::permissions(
        dir / "locked", std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    const bool refusesWrites = !std::ofstream(dir / "locked" / "probe");
    std::filesystem::remove(dir / "locked" / "probe");
    if (refusesWrites) {
        EXPECT_THROW(doc.save(dir / "locked" / "out.xml"), Error);
        EXPECT_EQ(readBytes(dir / "locked" / "out.xml"), "old result");
        EXPECT_EQ(folderListing(dir / "locked"), (std::vector<std::string>{"out.xml"}));
    }
    std::filesystem::permissions(dir / "locked", std::filesystem::perms::owner_all);

    EXPECT_EQ(folderListing(dir.path()),
              (std::vector<std::string>{"centro.xml", "locked", "out.xml"}));
    const std::string error = testing::errorText([&] { doc.save(dir / "out.xml"); });
    EXPECT_NE(error.find("out.xml"), std::string::npos) << error;
}

}  // namespace
}  // namespace lindavex::store
