// Centre files built to attack the reader: entity expansion bombs and external entities.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "store/error.h"
#include "store/xml/centre_document.h"
#include "store/xml/result_writer.h"
#include "support/files.h"
#include "support/process.h"
#include "support/scratch_dir.h"

namespace lindavex::store {
namespace {

using testing::readBytes;
using testing::ScratchDir;
using testing::writeBytes;

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAddressSanitizer = true;
#else
constexpr bool kAddressSanitizer = false;
#endif

// A result in place of the root, with the root's Nombre: what lies outside the root (the
// document type and its entities included) is written as loaded.
void writeResult(const CentreDocument& doc, const std::filesystem::path& target) {
    const auto out = streamReplacingRoot(doc, target);
    out->startElement("Centro");
    if (const Node root = doc.documentElement()) out->attribute("Nombre", root.attribute("Nombre"));
    out->commit();
}

// Reading a hostile file in another process with a ceiling on memory (not under
// AddressSanitizer, which reserves far more address space) and a deadline, so that a bomb ends
// that process rather than the test run. The role's exit code: 0 read, 3 refused with a clear
// error, 4 anything else; -1 when it had to be killed.
int loadDocument(const std::vector<std::string>& args) {
    try {
        CentreDocument doc;
        doc.load(args.at(0));
        for (const Node& node : doc.selectNodes("/Centro")) (void)node.attribute("Nombre");
        (void)doc.selectNodes("/Centro/Materias");  // the rest of the document stays usable
        writeResult(doc, args.at(0) + ".out");
        return 0;
    } catch (const Error&) {
        return 3;
    } catch (...) {
        return 4;
    }
}
const testing::Role loadLimited("load-limited", loadDocument);

int runLimited(const std::filesystem::path& file) {
    testing::ProcessOptions options;
    options.memoryLimit = kAddressSanitizer ? 0 : std::size_t{1} << 30;
    testing::Process child = testing::runRole(loadLimited, {file.string()}, options);
    if (child.waitFor(std::chrono::seconds(120)) == testing::Process::Outcome::Exited)
        return child.exitCode();
    child.kill();
    return -1;
}

std::string laughs(const std::string& use) {
    std::string dtd = "<!ENTITY l0 \"lol\">";
    for (int i = 1; i <= 9; ++i) {
        dtd += "<!ENTITY l" + std::to_string(i) + " \"";
        for (int k = 0; k < 10; ++k) dtd += "&l" + std::to_string(i - 1) + ";";
        dtd += "\">";
    }
    return "<?xml version=\"1.0\"?>\n<!DOCTYPE Centro [" + dtd + "]>\n" + use;
}

TEST(HostileInputTest, BillionLaughsNeitherExhaustsMemoryNorHangs) {
    ScratchDir dir;
    writeBytes(dir / "attr.xml", laughs("<Centro Nombre=\"&l9;\"/>"));
    writeBytes(dir / "text.xml", laughs("<Centro><Materias>&l9;</Materias></Centro>"));
    for (const char* name : {"attr.xml", "text.xml"}) {
        SCOPED_TRACE(name);
        const auto file = dir / name;
        const int result = runLimited(file);
        // Either refused as not well-formed or read with a clear error; never killed.
        EXPECT_TRUE(result == 0 || result == 3) << result;
    }
}

TEST(HostileInputTest, QuadraticBlowupInAnAttributeIsAClearError) {
    // Few nesting levels, so the parser's own checks let it through, but reading the attribute
    // naively would build two gigabytes of text.
    ScratchDir dir;
    std::string use = "<Centro Nombre=\"";
    for (int i = 0; i < 20000; ++i) use += "&e;";
    use += "\"><Materias/></Centro>";
    writeBytes(dir / "quad.xml", "<?xml version=\"1.0\"?>\n<!DOCTYPE Centro [<!ENTITY e \"" +
                                     std::string(100000, 'x') + "\">]>\n" + use);
    const auto file = dir / "quad.xml";
    const int result = runLimited(file);
    EXPECT_TRUE(result == 0 || result == 3) << result;

    CentreDocument doc;
    doc.load(file);
    if (doc.documentElement()) {
        EXPECT_THROW((void)doc.documentElement().attribute("Nombre"), Error);
        EXPECT_EQ(doc.selectNodes("/Centro/Materias").size(), 1u);
    }
}

// Internal entities expand, and attribute defaults that the file's own document type declares
// apply where the element leaves the attribute out, as in any conforming parser.
TEST(HostileInputTest, InternalEntitiesAndDeclaredDefaultsInAttributes) {
    ScratchDir dir;
    writeBytes(dir / "c.xml",
               "<?xml version=\"1.0\"?>\n<!DOCTYPE Centro [<!ENTITY n \"Monta&#241;a\">"
               "<!ENTITY full \" IES &n; &amp; &#38;#60;\">"
               "<!ATTLIST Centro Version CDATA \" 7 \" Nombre CDATA \"Sin nombre\">"
               "<!ATTLIST Materia Denominacion CDATA \"Sin &n;\">]>\n"
               "<Centro Nombre=\"&full; \"><Materias><Materia Codigo=\"A\"/>"
               "<Materia Codigo=\"B\" Denominacion=\"Bio\"/></Materias></Centro>");
    CentreDocument doc;
    doc.load(dir / "c.xml");
    const Node root = doc.documentElement();
    EXPECT_EQ(root.attribute("Nombre"),
              "IES Monta\xF1"
              "a & <");
    EXPECT_EQ(root.attribute("Version"), "7");
    std::vector<std::string> names;
    for (const Node& m : doc.selectNodes("/Centro/Materias/Materia"))
        names.push_back(m.attribute("Denominacion"));
    EXPECT_EQ(names, (std::vector<std::string>{"Sin Monta\xF1"
                                               "a",
                                               "Bio"}));
}

TEST(HostileInputTest, ExternalEntitiesAndDtdsAreNeverRead) {
    ScratchDir dir;
    writeBytes(dir / "secret.txt", "SECRET");
    writeBytes(dir / "secret.dtd",
               "<!ENTITY leak \"SECRET\"><!ATTLIST Centro Extra CDATA \"SECRET\">");
    const std::string secretTxt = (dir / "secret.txt").string();
    const std::string secretDtd = (dir / "secret.dtd").string();
    const std::string files[] = {
        // A system entity used in content, and through an internal entity in an attribute.
        "<!DOCTYPE Centro [<!ENTITY s SYSTEM \"" + secretTxt +
            "\"><!ENTITY i \"&s;\">]>"
            "<Centro Nombre=\"&i;\"><Materias>&s;</Materias></Centro>",
        "<!DOCTYPE Centro [<!ENTITY s SYSTEM \"" + secretTxt +
            "\">]>"
            "<Centro Nombre=\"x\"><Materias>&s;</Materias></Centro>",
        // An external subset, and an external parameter entity, each declaring an entity.
        "<!DOCTYPE Centro SYSTEM \"" + secretDtd + "\"><Centro Nombre=\"&leak;\"/>",
        "<!DOCTYPE Centro [<!ENTITY % p SYSTEM \"" + secretDtd +
            "\"> %p;]><Centro Nombre=\"&leak;\"/>",
    };
    for (const std::string& text : files) {
        SCOPED_TRACE(text);
        writeBytes(dir / "c.xml", text);
        CentreDocument doc;
        doc.load(dir / "c.xml");
        for (const Node& node : doc.selectNodes("/Centro")) {
            EXPECT_EQ(node.attribute("Nombre").find("SECRET"), std::string::npos);
            EXPECT_EQ(node.attribute("Extra"), "");
        }
        writeResult(doc, dir / "out.xml");
        const std::string saved = readBytes(dir / "out.xml");
        EXPECT_EQ(saved.find("SECRET"), std::string::npos) << saved;
    }
}

}  // namespace
}  // namespace lindavex::store
