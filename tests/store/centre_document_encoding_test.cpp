// Centre files in each encoding that the school system writes: reading them, and writing a
// result in the encoding that the loaded file declares.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "store/xml/centre_document.h"
#include "store/xml/result_writer.h"
#include "support/files.h"
#include "support/scratch_dir.h"

namespace lindavex::store {
namespace {

using testing::readBytes;
using testing::ScratchDir;
using testing::writeBytes;

// UTF-16 bytes of text, with a byte order mark.
std::string utf16(std::u16string_view text, bool bigEndian) {
    std::string bytes = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (char16_t unit : text) {
        const char high = static_cast<char>(unit >> 8);
        const char low = static_cast<char>(unit & 0xFF);
        bytes += bigEndian ? high : low;
        bytes += bigEndian ? low : high;
    }
    return bytes;
}

// Code page text of the subject name used in every file: "Ñandú € – Ω".
const std::string kNameInCodePage =
    "\xD1"
    "and\xFA \x80 \x96 ?";

class EncodingTest : public ::testing::Test {
  protected:
    Node loadRoot(const std::string& bytes) {
        writeBytes(dir_ / "centro.xml", bytes);
        doc_.load(dir_ / "centro.xml");
        return doc_.selectSingleNode("/Centro");
    }

    // A result whose root is Centro with these attributes (code page text), read back.
    std::string writeRoot(const std::vector<std::pair<std::string, std::string>>& attributes) {
        const auto out = streamReplacingRoot(doc_, dir_ / "out.xml");
        out->startElement("Centro");
        for (const auto& [name, value] : attributes) out->attribute(name, value);
        out->commit();
        return readBytes(dir_ / "out.xml");
    }

    ScratchDir dir_;
    CentreDocument doc_;
};

TEST_F(EncodingTest, Utf8WithAndWithoutByteOrderMark) {
    const std::string body =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Centro Nombre=\"\xC3\x91"
        "and\xC3\xBA "
        "\xE2\x82\xAC \xE2\x80\x93 \xCE\xA9\"/>";
    EXPECT_EQ(loadRoot(body).attribute("Nombre"), kNameInCodePage);
    EXPECT_EQ(loadRoot("\xEF\xBB\xBF" + body).attribute("Nombre"), kNameInCodePage);
}

TEST_F(EncodingTest, Utf16InBothByteOrders) {
    const std::u16string body =
        u"<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n<Centro Nombre=\" \u00D1and\u00FA \u20AC "
        u"\u2013 \u03A9 \"><Materias><Materia Codigo=\"MAT\"/></Materias></Centro>";
    for (bool bigEndian : {false, true}) {
        SCOPED_TRACE(bigEndian ? "big endian" : "little endian");
        EXPECT_EQ(loadRoot(utf16(body, bigEndian)).attribute("Nombre"), kNameInCodePage);
        EXPECT_EQ(doc_.selectSingleNode("/Centro/Materias/Materia").attribute("Codigo"), "MAT");
    }
}

// A file is parsed in chunks: every element of a file many chunks long reads the same, and on
// its own line, in each encoding, with the characters that take two or three bytes (or two
// UTF-16 units) falling across every place a chunk can end.
TEST_F(EncodingTest, ALongFileReadsTheSameWhereverItsChunksEnd) {
    constexpr int kSubjects = 3000;
    const auto widen = [](std::string_view ascii) {
        return std::u16string(ascii.begin(), ascii.end());
    };
    struct Encoding {
        const char* declared;
        std::string name;  // as the file holds it; empty for UTF-16
        bool bigEndian = false;
    };
    const Encoding encodings[] = {
        {"UTF-8", "\xC3\x91" "and\xC3\xBA \xE2\x82\xAC \xE2\x80\x93 \xCE\xA9"},
        {"windows-1252", "\xD1" "and\xFA \x80 \x96 &#937;"},
        {"UTF-16", "", false},
        {"UTF-16", "", true},
    };
    for (const Encoding& encoding : encodings) {
        SCOPED_TRACE(std::string(encoding.declared) + (encoding.bigEndian ? " big endian" : ""));
        const bool wide = encoding.name.empty();
        const std::string head = "<?xml version=\"1.0\" encoding=\"" +
                                 std::string(encoding.declared) + "\"?>\n<Centro><Materias>\n";
        std::string bytes = head;
        std::u16string text = widen(head);
        for (int i = 0; i < kSubjects; ++i) {
            // The padding moves each name one place further along the chunks.
            const std::string start = "<Materia" + std::string(i % 7, ' ') + " Nombre=\"";
            const std::string end = std::to_string(i) + "\"/>\n";
            bytes += start + encoding.name + end;
            text += widen(start) + u"\u00D1and\u00FA \u20AC \u2013 \u03A9 \U0001D11E" + widen(end);
        }
        bytes += "</Materias></Centro>";
        text += u"</Materias></Centro>";
        ASSERT_TRUE(loadRoot(wide ? utf16(text, encoding.bigEndian) : bytes));
        const std::vector<Node> subjects = doc_.selectNodes("/Centro/Materias/Materia");
        ASSERT_EQ(subjects.size(), static_cast<std::size_t>(kSubjects));
        for (int i = 0; i < kSubjects; ++i) {
            // The code page has no U+1D11E: it reads as '?'.
            const std::string expected = kNameInCodePage + (wide ? " ?" : "") + std::to_string(i);
            ASSERT_EQ(subjects[i].attribute("Nombre"), expected) << "subject " << i;
            ASSERT_EQ(subjects[i].line(), i + 3) << "subject " << i;
        }
    }
}

TEST_F(EncodingTest, Iso88591TakesEveryByteAsItsOwnCodePoint) {
    // 0x80 is a control character in ISO-8859-1 (not the euro sign), absent from the code page.
    const Node root = loadRoot(
        "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<Centro Nombre=\"\xD1"
        "and\xFA \x80\"/>");
    EXPECT_EQ(root.attribute("Nombre"),
              "\xD1"
              "and\xFA ?");
    EXPECT_EQ(root.attributeUnicode("Nombre"),
              "\xC3\x91"
              "and\xC3\xBA \xC2\x80");
}

TEST_F(EncodingTest, Windows1252AsDeclared) {
    const Node root = loadRoot(
        "<?xml version=\"1.0\" encoding=\"windows-1252\"?>\n<Centro Nombre=\"\xD1"
        "and\xFA "
        "\x80 \x96 &#937;\"/>");
    EXPECT_EQ(root.attribute("Nombre"), kNameInCodePage);
    EXPECT_EQ(root.attributeUnicode("Nombre"),
              "\xC3\x91"
              "and\xC3\xBA \xE2\x82\xAC \xE2\x80\x93 \xCE\xA9");
}

TEST_F(EncodingTest, SaveKeepsTheDeclaredSingleByteEncoding) {
    // The euro sign is not in ISO-8859-1: it must come out as a character reference, not as '?'
    // or as bytes of another encoding.
    const Node cp1252Root = loadRoot(
        "<?xml version=\"1.0\" encoding=\"windows-1252\"?>\n<Centro Nombre=\"\xD1 &#937;\"/>");
    const std::string cp1252 =
        writeRoot({{"Nombre", cp1252Root.attribute("Nombre")}, {"Otro", "\x80"}});
    EXPECT_EQ(cp1252.rfind("<?xml version=\"1.0\" encoding=\"windows-1252\"?>\n", 0), 0u) << cp1252;
    EXPECT_NE(cp1252.find("Nombre=\"\xD1 ?\" Otro=\"\x80\""), std::string::npos) << cp1252;

    const Node latin1Root =
        loadRoot("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<Centro Nombre=\"\xD1\"/>");
    const std::string latin1 =
        writeRoot({{"Nombre", latin1Root.attribute("Nombre")}, {"Otro", "\x80"}});
    EXPECT_EQ(latin1.rfind("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n", 0), 0u) << latin1;
    EXPECT_NE(latin1.find("Nombre=\"\xD1\" Otro=\"&#8364;\""), std::string::npos) << latin1;

    // And each saved file reads back to the same text.
    CentreDocument again;
    again.load(dir_ / "out.xml");
    EXPECT_EQ(again.documentElement().attribute("Otro"), "\x80");
}

TEST_F(EncodingTest, SaveKeepsUtf16) {
    loadRoot(
        utf16(u"<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n<Centro Nombre=\"\u03A9\"/>", false));
    const std::string saved = writeRoot({{"Nombre", "\xD1"}});
    ASSERT_GE(saved.size(), 4u);
    EXPECT_TRUE(saved.rfind("\xFF\xFE", 0) == 0 || saved.rfind("\xFE\xFF", 0) == 0) << saved;

    CentreDocument again;
    again.load(dir_ / "out.xml");
    EXPECT_EQ(again.documentElement().attributeUnicode("Nombre"), "\xC3\x91");
}

TEST_F(EncodingTest, FileWithoutDeclarationIsSavedAsUtf8) {
    const Node root = loadRoot("<Centro Nombre=\"\xC3\x91\"/>");
    const std::string saved = writeRoot({{"Nombre", root.attribute("Nombre")}});
    EXPECT_EQ(saved, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Centro Nombre=\"\xC3\x91\"/>\n");
}

TEST_F(EncodingTest, Windows1252FileUsesEveryByteOfTheCodePage) {
    // The high half of the code page, the five bytes it leaves undefined included, reads as the
    // same bytes and is written back as the same bytes.
    std::string high;
    for (int b = 0xA0; b <= 0xFF; ++b) high += static_cast<char>(b);
    std::string controls;
    for (int b = 0x80; b <= 0x9F; ++b) controls += static_cast<char>(b);
    const std::string file = "<?xml version=\"1.0\" encoding=\"windows-1252\"?>\n<Centro A=\"" +
                             controls + "\" B=\"" + high + "\"/>\n";
    const Node root = loadRoot(file);
    ASSERT_TRUE(root);
    EXPECT_EQ(root.attribute("A"), controls);
    EXPECT_EQ(root.attribute("B"), high);
    EXPECT_EQ(root.attributeUnicode("A").substr(0, 3), "\xE2\x82\xAC");
    EXPECT_EQ(writeRoot({{"A", root.attribute("A")}, {"B", root.attribute("B")}}), file);
}

// UTF-8 letters in a file that declares a single-byte encoding: read as declared, and noticed
// with the line of the first, when there are two or more and no byte that UTF-8 refuses.
TEST_F(EncodingTest, Utf8UnderASingleByteDeclarationIsNoticed) {
    const std::string twoSubjects =
        "<Centro>\n<M N=\"Matem\xC3\xA1ticas\"/>\n<M N=\"Espa\xC3\xB1ol\"/></Centro>";
    const struct {
        const char* name;
        std::string bytes;
        int line;
    } cases[] = {
        {"ISO-8859-1", "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n" + twoSubjects, 3},
        {"windows-1252", "<?xml version=\"1.0\" encoding=\"windows-1252\"?>\n" + twoSubjects, 3},
        {"ISO-8859-15", "<?xml version=\"1.0\" encoding=\"iso-8859-15\"?>\n" + twoSubjects, 3},
        {"one letter only",
         "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<Centro N=\"Matem\xC3\xA1ticas\"/>", 0},
        {"a byte UTF-8 refuses",
         "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<Centro N=\"\xC3\xA1\xC3\xB1 \xE1\"/>",
         0},
        {"no letters",
         "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<Centro N=\"\xC2\xAB\xC2\xBB\"/>", 0},
        {"declared UTF-8", "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n" + twoSubjects, 0},
        {"no declaration", twoSubjects, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        writeBytes(dir_ / "centro.xml", c.bytes);
        const ParseResult parsed = doc_.load(dir_ / "centro.xml");
        ASSERT_TRUE(parsed);
        EXPECT_EQ(parsed.hiddenUtf8.line, c.line);
        if (c.line == 0) continue;
        EXPECT_FALSE(parsed.hiddenUtf8.declared.empty());
        EXPECT_EQ(parsed.hiddenUtf8.readAsUtf8, "á");
        EXPECT_EQ(parsed.hiddenUtf8.readAsDeclared, "Ã¡");
        // The conversion itself reads the file as it declares.
        EXPECT_EQ(doc_.selectNodes("/Centro/M").front().attribute("N"), "Matem\xC3\xA1ticas");
    }
}

TEST_F(EncodingTest, UndecodableFileIsEmptyAndQuiet) {
    ::testing::internal::CaptureStderr();
    const Node root =
        loadRoot("<?xml version=\"1.0\" encoding=\"EUC-JP\"?>\n<Centro A=\"\xFF\xFF\xFF\"/>");
    const std::string noise = ::testing::internal::GetCapturedStderr();
    EXPECT_FALSE(root);
    EXPECT_FALSE(doc_.documentElement());
    EXPECT_EQ(noise, "");
}

}  // namespace
}  // namespace lindavex::store
