#pragma once
// The centre XML document of the school-management system, read with libxml2. All text crossing
// this interface is single-byte code page text (codepage.h).
//
// A loaded file is parsed once into a compact form, which is the document: its elements, with
// their names, attributes and lines, in document order, and beside them what lies outside the
// root, which a result file keeps (result_writer.h). Nothing changes a document once loaded.
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lindavex::store {

class CentreDocument;
class ElementWriter;
struct CompactDocument;

// An attribute name looked up once in a document (CentreDocument::attributeName), for reading
// it from element after element without finding the name each time. Valid with the document it
// was taken from while that holds the file it had loaded.
class AttributeName {
  public:
    AttributeName() = default;

  private:
    friend class CentreDocument;
    friend class Node;
    explicit AttributeName(std::uint32_t id) : id_(id) {}
    std::uint32_t id_ = UINT32_MAX;  // no element of the document carries it
};

// An element of a CentreDocument, by its place in the document; valid while the document lives
// and holds the file it had loaded when the node was taken. A default-constructed Node is "none".
class Node {
  public:
    Node() = default;
    explicit operator bool() const { return document_ != nullptr; }

    std::string name() const;
    // The attribute's text, trimmed of characters below code 33 at both ends, converted to the
    // code page ('?' for characters it lacks). A missing attribute reads as empty text.
    std::string attribute(std::string_view name) const;
    std::string attribute(const AttributeName& name) const;
    // The same text as attribute(name), without a copy when it can be had: a view of the
    // document's own text, or of `scratch` when entities are expanded or the code page
    // conversion changes the text; `scratch` is changed only then. Valid while the document
    // lives and holds the same file, and while `scratch` is neither changed nor read into again.
    std::string_view attributeView(const AttributeName& name, std::string& scratch) const;
    // The same text trimmed but not converted (UTF-8), for comparing codes as Unicode text.
    std::string attributeUnicode(std::string_view name) const;
    std::string attributeUnicode(const AttributeName& name) const;
    // The same as a view, as attributeView() gives it; only expanding entities uses `scratch`.
    std::string_view attributeUnicodeView(const AttributeName& name, std::string& scratch) const;
    bool hasAttribute(std::string_view name) const;
    // The line of the file where the element starts; 0 for none.
    int line() const;
    Node parentNode() const;

    // Which element this is: equal for the same element of the same document.
    const void* raw() const;

  private:
    friend class CentreDocument;
    Node(const CompactDocument* document, std::uint32_t index)
        : document_(document), index_(index) {}
    const CompactDocument* document_ = nullptr;
    std::uint32_t index_ = 0;
};

// What load() made of a file: whether it parsed and, when it did not, where and why.
struct ParseResult {
    enum class Status { Ok, NotWellFormed };
    Status status = Status::Ok;
    int line = 0;             // of the first error; 0 when it parsed or the line is unknown
    std::string description;  // "línea N: ..." (UTF-8), empty when it parsed
    explicit operator bool() const { return status == Status::Ok; }

    // A file that parsed as the single-byte encoding it declares (ISO-8859-1, windows-1252 and
    // the like) although its bytes read as UTF-8 letters: two or more such letters and no byte
    // that UTF-8 refuses. Read as declared, "Matemáticas" becomes "MatemÃ¡ticas". The line of
    // the first such letter, 0 when there is none; the encoding declared; the first letter's
    // bytes read as declared and as UTF-8 (UTF-8 text).
    struct HiddenUtf8 {
        int line = 0;
        std::string declared;
        std::string readAsDeclared;
        std::string readAsUtf8;
    };
    HiddenUtf8 hiddenUtf8;
};

class CentreDocument {
  public:
    CentreDocument();  // empty document
    ~CentreDocument();
    CentreDocument(const CentreDocument&) = delete;
    CentreDocument& operator=(const CentreDocument&) = delete;

    // Parses the whole file. A file that does not parse leaves an empty document (every
    // selection finds nothing) and says so in the result; no external entity or DTD is fetched,
    // entity expansion is bounded. Throws lindavex::Error only when the file cannot be read at
    // all. With Keep::Root only the root element itself is kept, for a reader of the root's
    // attributes alone; the rest of the file is parsed all the same.
    enum class Keep { Elements, Root };
    ParseResult load(const std::filesystem::path& path, Keep keep = Keep::Elements);

    // All elements at an absolute path of plain child steps (/Centro/Materias/Materia),
    // in document order.
    std::vector<Node> selectNodes(std::string_view path) const;
    Node selectSingleNode(std::string_view path) const;
    Node documentElement() const;  // none when the document is empty
    std::size_t elementCount() const;
    // A name (code page text) for reading an attribute of many elements.
    AttributeName attributeName(std::string_view name) const;

  private:
    friend std::unique_ptr<ElementWriter> streamReplacingRoot(const CentreDocument& document,
                                                              const std::filesystem::path& target);
    std::unique_ptr<CompactDocument> impl_;
};

// Why a loaded file cannot be taken for a centre file: it does not parse, or its root element
// is not Centro. No value when it can. The text names the file and, for a parse error, the line
// and the parser's reason (UTF-8). Both actions refuse such a file before they change anything.
std::optional<std::string> notACentreFile(const CentreDocument& document, const ParseResult& parsed,
                                          const std::filesystem::path& file);

}  // namespace lindavex::store
