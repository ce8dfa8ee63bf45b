#pragma once
// The centre XML document of the school-management system, over libxml2.
// All text crossing this interface is single-byte code page text (codepage.h).
//
// A loaded file is parsed once into a compact form: its elements, with their names, attributes
// and lines, in document order, and beside them what lies outside the root. Selections and
// attribute reads are answered from that form. The first change (or save) parses the file again
// into a full libxml2 tree, which every Node handed out before then refers to.
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lindavex::store {

class CentreDocument;
class ElementWriter;

// A reference to an element of a CentreDocument; valid while the document lives and the
// element stays in it. A default-constructed Node is "none".
class Node {
  public:
    Node() = default;
    explicit operator bool() const { return node_ != nullptr; }

    std::string name() const;
    // The attribute's text, trimmed of characters below code 33 at both ends, converted to the
    // code page ('?' for characters it lacks). A missing attribute reads as empty text.
    std::string attribute(std::string_view name) const;
    // The same text trimmed but not converted (UTF-8), for comparing codes as Unicode text.
    std::string attributeUnicode(std::string_view name) const;
    bool hasAttribute(std::string_view name) const;
    // The line of the file where the element starts; 0 for an element made in memory.
    int line() const;
    void setAttribute(std::string_view name, std::string_view cp1252value);
    Node parentNode() const;
    void appendChild(Node child);
    void removeChild(Node child);  // frees the child and everything under it

    // Which element this is: equal for the same element of the same document.
    void* raw() const { return node_; }

  private:
    friend class CentreDocument;
    explicit Node(void* n, void* owner = nullptr) : node_(n), owner_(owner) {}
    void* tree() const;      // the libxml2 node, the document made whole first if need be
    void* node_ = nullptr;   // a libxml2 node, or an element of the owner's compact form
    void* owner_ = nullptr;  // the document whose compact form holds node_; null for a tree node
};

// What load() made of a file: whether it parsed and, when it did not, where and why.
struct ParseResult {
    enum class Status { Ok, NotWellFormed };
    Status status = Status::Ok;
    int line = 0;             // of the first error; 0 when it parsed or the line is unknown
    std::string description;  // "línea N: ..." (UTF-8), empty when it parsed
    explicit operator bool() const { return status == Status::Ok; }
};

class CentreDocument {
  public:
    CentreDocument();  // empty document
    ~CentreDocument();
    CentreDocument(const CentreDocument&) = delete;
    CentreDocument& operator=(const CentreDocument&) = delete;

    // Parses the whole file (into the compact form). A file that does not parse leaves an empty
    // document (every selection finds nothing) and says so in the result; no external entity or DTD
    // is fetched, entity expansion is bounded. Throws lindavex::Error only when the file cannot be
    // read at all.
    // With Keep::Root only the root element itself is kept, for a reader of the root's
    // attributes alone; the rest of the file is parsed all the same.
    enum class Keep { Elements, Root };
    ParseResult load(const std::filesystem::path& path, Keep keep = Keep::Elements);
    // Leaves the document empty and loads the file when the document is first used; a file
    // that cannot be read then leaves it empty. For a document written out by streaming,
    // which is then held without being parsed again unless something looks at it.
    void loadWhenUsed(const std::filesystem::path& path);
    bool isEmpty() const;  // no root element

    // All elements at an absolute path of plain child steps (/Centro/Materias/Materia),
    // in document order.
    std::vector<Node> selectNodes(std::string_view path) const;
    Node selectSingleNode(std::string_view path) const;
    Node documentElement() const;

    Node createElement(std::string_view name);
    // Appends to the document itself (becomes the root when there is none).
    void appendChild(Node child);
    void removeChild(Node child);

    // Writes the whole document (declaration, comments and processing instructions outside the
    // root included) in the loaded file's declared encoding, characters it lacks as character
    // references. Replaces the target atomically: written beside it, flushed, renamed.
    void save(const std::filesystem::path& path) const;

  private:
    friend std::unique_ptr<ElementWriter> streamReplacingRoot(const CentreDocument& document,
                                                              const std::filesystem::path& target);
    struct Impl;
    Impl& state() const;  // loads first what loadWhenUsed named
    std::unique_ptr<Impl> impl_;
};

// Why a loaded file cannot be taken for a centre file: it does not parse, or its root element
// is not Centro. No value when it can. The text names the file and, for a parse error, the line
// and the parser's reason (UTF-8). Both actions refuse such a file before they change anything.
std::optional<std::string> notACentreFile(const CentreDocument& document, const ParseResult& parsed,
                                          const std::filesystem::path& file);

// What takes a loaded document's root element in a result file, given element by element:
// the first element started is the new root, each later one goes into the innermost element
// still open. Names are the program's own; values are code page text.
class ElementWriter {
  public:
    virtual ~ElementWriter() = default;
    virtual void startElement(std::string_view name) = 0;
    // Of the element started last, before any element inside it starts.
    virtual void attribute(std::string_view name, std::string_view cp1252value) = 0;
    virtual void endElement() = 0;
    // Ends what is still open and puts the whole file at the target (invariant 1 of
    // file_io.h). A writer dropped without commit() leaves the target as it was.
    virtual void commit() = 0;
};

// Streams the result straight into a file beside the target, with no node per element:
// everything the loaded document holds outside its root (declaration, comments, processing
// instructions) as loaded, then the new root, in the loaded file's declared encoding with
// character references for what it lacks. The bytes are those save() writes for the document
// with its root replaced by the same elements as nodes (replacingRootAsNodes).
std::unique_ptr<ElementWriter> streamReplacingRoot(const CentreDocument& document,
                                                   const std::filesystem::path& target);

// The same result made as nodes of the document itself (its old root removed) and saved whole
// at commit(): the reference the stream is compared with, byte for byte.
std::unique_ptr<ElementWriter> replacingRootAsNodes(CentreDocument& document,
                                                    const std::filesystem::path& target);

}  // namespace lindavex::store
