// The result file: a loaded centre document with its root replaced, streamed into place.
#include "store/xml/result_writer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "store/error.h"
#include "store/files/file_io.h"
#include "store/xml/centre_document.h"
#include "support/error_text.h"
#include "support/files.h"
#include "support/scratch_dir.h"

namespace lindavex::store {
namespace {

using testing::errorText;
using testing::readBytes;
using testing::ScratchDir;
using testing::writeBytes;

const char* const kCentre = R"(<?xml version="1.0" encoding="UTF-8"?>
<!-- exported by the school system -->
<?stylesheet kind="none"?>
<Centro Codigo=" 38001 " Nombre="IES Montaña" CursoEscolar="2026" Version="3">
  <Materias>
    <Materia Codigo="MAT" Denominacion="Matemáticas"/>
  </Materias>
</Centro>
<!-- end -->
)";

// A file that streaming its own root back gives again byte for byte.
const char* const kSmall =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!-- c -->\n<Centro Codigo=\"1\"/>\n";

// Writes <Centro Codigo="1"/> in place of the document's root.
void writeSmallRoot(const CentreDocument& doc, const std::filesystem::path& target) {
    const auto out = streamReplacingRoot(doc, target);
    out->startElement("Centro");
    out->attribute("Codigo", "1");
    out->commit();
}

std::vector<std::string> folderListing(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

TEST(ResultWriterTest, ReplacingTheRootKeepsWhatLiesOutsideIt) {
    ScratchDir dir;
    writeBytes(dir / "centro.xml", kCentre);
    CentreDocument doc;
    doc.load(dir / "centro.xml");

    const auto out = streamReplacingRoot(doc, dir / "out.xml");
    out->startElement("Centro");
    out->attribute("Codigo", "38001");
    out->attribute("Nombre",
                   "IES Monta\xF1"
                   "a \x80");  // code page text
    out->startElement("horario");
    out->startElement("actividad");
    out->attribute("dia", "X");
    out->commit();
    // The loaded document stays as it was loaded.
    EXPECT_EQ(doc.selectNodes("/Centro/Materias/Materia").size(), 1u);

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

// What would make a file that no reader accepts is refused, and the target stays as it was.
TEST(ResultWriterTest, MisplacedOrUnwritableContentIsRefused) {
    const struct {
        const char* what;
        std::function<void(ElementWriter&)> write;
        const char* error;
    } cases[] = {
        {"control character",
         [](ElementWriter& w) {
             w.startElement("a");
             w.attribute("Nombre", std::string("a\x01"
                                               "b"));
         },
         "no admite caracteres de control"},
        {"zero byte",
         [](ElementWriter& w) {
             w.startElement("a");
             w.attribute("Nombre", std::string("a\0b", 3));
         },
         "no admite caracteres de control"},
        {"attribute name",
         [](ElementWriter& w) {
             w.startElement("a");
             w.attribute("1x", "v");
         },
         "'1x' no es un nombre de atributo válido"},
        {"element name", [](ElementWriter& w) { w.startElement("a b"); },
         "'a b' no es un nombre de elemento válido"},
        {"attribute name named once, before any element",
         [](ElementWriter& w) { w.attributeName("a b"); },
         "'a b' no es un nombre de atributo válido"},
        {"control character by a name named once",
         [](ElementWriter& w) {
             const ElementWriter::Name nombre = w.attributeName("Nombre");
             w.startElement(w.elementName("a"));
             w.attribute(nombre, "ok");
             w.attribute(nombre, std::string("a\x1f"));
         },
         "no admite caracteres de control"},
        {"attribute after a child",
         [](ElementWriter& w) {
             w.startElement("a");
             w.startElement("b");
             w.endElement();
             w.attribute("Nombre", "n");
         },
         "No hay elemento al que poner el atributo."},
        {"nothing to close",
         [](ElementWriter& w) {
             w.startElement("a");
             w.endElement();
             w.endElement();
         },
         "No hay elemento que cerrar."},
    };
    ScratchDir dir;
    writeBytes(dir / "centro.xml", kCentre);
    CentreDocument doc;
    doc.load(dir / "centro.xml");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        writeBytes(dir / "out.xml", "earlier");
        const std::string error = errorText([&] {
            const auto out = streamReplacingRoot(doc, dir / "out.xml");
            c.write(*out);
            out->commit();
        });
        EXPECT_NE(error.find(c.error), std::string::npos) << error;
        EXPECT_EQ(readBytes(dir / "out.xml"), "earlier");
        EXPECT_EQ(folderListing(dir.path()), (std::vector<std::string>{"centro.xml", "out.xml"}));
    }
    // Tab and line ends are fine.
    const auto out = streamReplacingRoot(doc, dir / "out.xml");
    out->startElement("a");
    out->attribute("Nombre", "a\tb\n");
    out->commit();
    EXPECT_NE(readBytes(dir / "out.xml").find("<a Nombre=\"a&#9;b&#10;\"/>"), std::string::npos);
}

TEST(ResultWriterTest, ReplacesTheTargetAndKeepsItsPermissions) {
    ScratchDir dir;
    writeBytes(dir / "centro.xml", kSmall);
    writeBytes(dir / "out.xml", "old result");
    std::filesystem::permissions(dir / "out.xml", std::filesystem::perms::owner_read |
                                                      std::filesystem::perms::owner_write |
                                                      std::filesystem::perms::group_read);
    // As the platform keeps them (Windows has no group and no owner bits of its own).
    const auto permissions = std::filesystem::status(dir / "out.xml").permissions();
    CentreDocument doc;
    doc.load(dir / "centro.xml");
    writeSmallRoot(doc, dir / "out.xml");
    EXPECT_EQ(readBytes(dir / "out.xml"), readBytes(dir / "centro.xml"));
    EXPECT_EQ(std::filesystem::status(dir / "out.xml").permissions(), permissions);
    EXPECT_EQ(folderListing(dir.path()), (std::vector<std::string>{"centro.xml", "out.xml"}));
}

TEST(ResultWriterTest, AFailedResultLeavesEverythingAsItWas) {
    ScratchDir dir;
    writeBytes(dir / "centro.xml", kCentre);
    CentreDocument doc;
    doc.load(dir / "centro.xml");

    // A folder that does not exist.
    EXPECT_THROW(writeSmallRoot(doc, dir / "missing" / "out.xml"), Error);
    // A target that is a folder with content: the rename must fail, and the scratch file go.
    std::filesystem::create_directory(dir / "out.xml");
    writeBytes(dir / "out.xml" / "keep.txt", "keep");
    EXPECT_THROW(writeSmallRoot(doc, dir / "out.xml"), Error);
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
        EXPECT_THROW(writeSmallRoot(doc, dir / "locked" / "out.xml"), Error);
        EXPECT_EQ(readBytes(dir / "locked" / "out.xml"), "old result");
        EXPECT_EQ(folderListing(dir / "locked"), (std::vector<std::string>{"out.xml"}));
    }
    std::filesystem::permissions(dir / "locked", std::filesystem::perms::owner_all);

    EXPECT_EQ(folderListing(dir.path()),
              (std::vector<std::string>{"centro.xml", "locked", "out.xml"}));
    const std::string error = errorText([&] { writeSmallRoot(doc, dir / "out.xml"); });
    EXPECT_NE(error.find("out.xml"), std::string::npos) << error;

    // The disk full while the writer is still being made, writing what lies outside the root
    // (a comment of over a megabyte): the error, no file left, and the output buffer and its
    // encoder closed, which the sanitizer pass checks.
    writeBytes(dir / "big.xml", "<!--" + std::string(std::size_t{3} << 19, 'x') + "-->\n<C/>");
    CentreDocument big;
    ASSERT_TRUE(big.load(dir / "big.xml"));
    file_io::reset();
    file_io::inject({file_io::Operation::Write, 1, ENOSPC, true});
    const std::string full =
        errorText([&] { (void)streamReplacingRoot(big, dir / "big-out.xml"); });
    file_io::reset();
    EXPECT_NE(full.find("no queda espacio en el disco"), std::string::npos) << full;
    EXPECT_EQ(folderListing(dir.path()),
              (std::vector<std::string>{"big.xml", "centro.xml", "locked", "out.xml"}));
}

}  // namespace
}  // namespace lindavex::store
