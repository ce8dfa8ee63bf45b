#include "store/xml/centre_document.h"

#include <libxml/SAX2.h>
#include <libxml/entities.h>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xmlIO.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <utility>

#include "store/codepage.h"
#include "store/error.h"
#include "store/files/file_io.h"
#include "store/xml/loaded_document.h"
#include "store/xml/parse_error.h"
#include "store/xml/xml_cp1252.h"

namespace lindavex::store {
namespace {

// Entities are never fetched from outside (see refuseExternalResources), and libxml2's own
// expansion limits stay on (no huge mode). Entity references are kept as nodes, not substituted
// while parsing. Attribute defaults that the file's own document type declares are applied, as
// every conforming parser does.
constexpr int kParseOptions =
    XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING | XML_PARSE_DTDATTR;

// Applying declared defaults makes libxml2 read the external document type and external
// parameter entities too; no file or address a centre file names is ever opened, so every
// such load finds nothing. Set once for the process, before the first parse.
xmlParserInputPtr refuseExternal(const char* /*url*/, const char* /*id*/, xmlParserCtxtPtr) {
    return nullptr;
}
void refuseExternalResources() {
    static std::once_flag once;
    std::call_once(once, [] { xmlSetExternalEntityLoader(&refuseExternal); });
}

// The file's bytes handed to libxml2 a chunk at a time, as it asks for them. Given the whole
// file at once, libxml2 copies it and then converts the copy to UTF-8 in one piece: two more
// copies of a large file at the peak. Read in chunks, it converts each chunk as it goes and
// lets go of what it has parsed.
int readNextChunk(void* context, char* buffer, int length) {
    auto& rest = *static_cast<std::string_view*>(context);
    if (length <= 0) return 0;
    const std::size_t count = std::min(rest.size(), static_cast<std::size_t>(length));
    std::memcpy(buffer, rest.data(), count);
    rest.remove_prefix(count);
    return static_cast<int>(count);
}

// Reading an attribute expands the internal entities it refers to. A handful of small
// declarations can expand to gigabytes, so the work per attribute is capped.
constexpr std::size_t kExpansionBudget = std::size_t{16} << 20;
constexpr int kMaxEntityDepth = 40;

const xmlChar* xml(const char* text) { return reinterpret_cast<const xmlChar*>(text); }
const char* chars(const xmlChar* text) { return reinterpret_cast<const char*>(text); }

class AttributeText {
  public:
    explicit AttributeText(xmlDoc* doc) : doc_(doc) {}

    std::string read(const xmlNode* children) {
        append(children, 0);
        return std::move(text_);
    }

  private:
    void charge(std::size_t amount) {
        if (amount > budget_) throw Error("El valor de un atributo se expande a demasiado texto.");
        budget_ -= amount;
    }

    void append(const xmlNode* node, int depth) {
        for (; node != nullptr; node = node->next) {
            charge(1);
            if (node->type == XML_TEXT_NODE || node->type == XML_CDATA_SECTION_NODE) {
                if (node->content == nullptr) continue;
                const std::size_t size = std::strlen(chars(node->content));
                charge(size);
                text_.append(chars(node->content), size);
            } else if (node->type == XML_ENTITY_REF_NODE) {
                if (depth >= kMaxEntityDepth)
                    throw Error("El valor de un atributo anida entidades a demasiada profundidad.");
                const xmlEntity* entity = xmlGetDocEntity(doc_, node->name);
                // Only entities declared in the document itself; external ones are never loaded.
                if (entity != nullptr && entity->etype == XML_INTERNAL_GENERAL_ENTITY)
                    append(entity->children, depth + 1);
                else if (entity != nullptr && entity->etype == XML_INTERNAL_PREDEFINED_ENTITY &&
                         entity->content != nullptr)
                    text_ += chars(entity->content);
            }
        }
    }

    xmlDoc* doc_;
    std::size_t budget_ = kExpansionBudget;
    std::string text_;
};

std::vector<std::string_view> pathSteps(std::string_view path) {
    std::vector<std::string_view> steps;
    std::size_t pos = 0;
    while (pos < path.size()) {
        if (path[pos] == '/') {
            ++pos;
            continue;
        }
        const std::size_t end = path.find('/', pos);
        const std::size_t stop = end == std::string_view::npos ? path.size() : end;
        steps.push_back(path.substr(pos, stop - pos));
        pos = stop;
    }
    return steps;
}

// Builds the compact form from the parser's events. libxml2 builds what lies outside the root
// (declaration, comments, processing instructions, the document type and its entities) as
// usual, and the content of entities, which it parses with a context of its own; only the
// elements of the document itself go into the compact form instead of a tree.
class CompactBuilder {
  public:
    CompactBuilder(xmlParserCtxt* parser, CompactDocument& form, bool rootOnly)
        : parser_(parser), form_(form), rootOnly_(rootOnly) {
        current_ = this;
        xmlSAXHandler& sax = *parser->sax;
        sax.startElementNs = &start;
        sax.endElementNs = &end;
        sax.characters = &text;
        sax.ignorableWhitespace = &text;
        sax.cdataBlock = &cdata;
        sax.reference = &reference;
        sax.comment = &comment;
        sax.processingInstruction = &instruction;
    }
    ~CompactBuilder() { current_ = nullptr; }
    CompactBuilder(const CompactBuilder&) = delete;
    CompactBuilder& operator=(const CompactBuilder&) = delete;

  private:
    // The builder of the parse under way, when the event comes from the document itself.
    static CompactBuilder* of(void* context) {
        return current_ != nullptr && context == current_->parser_ ? current_ : nullptr;
    }

    static void start(void* context, const xmlChar* localName, const xmlChar* prefix,
                      const xmlChar* uri, int namespaceCount, const xmlChar** namespaces,
                      int attributeCount, int defaultedCount, const xmlChar** attributes) {
        CompactBuilder* self = of(context);
        if (self == nullptr)
            return xmlSAX2StartElementNs(context, localName, prefix, uri, namespaceCount,
                                         namespaces, attributeCount, defaultedCount, attributes);
        // Attributes defaulted by the document type count only when asked for, as in a tree.
        if (defaultedCount != 0 && (self->parser_->loadsubset & XML_COMPLETE_ATTRS) == 0)
            attributeCount -= defaultedCount;
        if (self->rootOnly_ && self->depth_++ > 0) return;
        self->addElement(prefix, localName, attributeCount, attributes);
    }

    static void end(void* context, const xmlChar* localName, const xmlChar* prefix,
                    const xmlChar* uri) {
        CompactBuilder* self = of(context);
        if (self == nullptr) return xmlSAX2EndElementNs(context, localName, prefix, uri);
        if (self->rootOnly_ && --self->depth_ > 0) return;
        if (!self->open_.empty()) self->open_.pop_back();
    }

    // Text and references inside the root are never read.
    static void text(void* context, const xmlChar* characters, int length) {
        if (of(context) == nullptr) xmlSAX2Characters(context, characters, length);
    }
    static void cdata(void* context, const xmlChar* characters, int length) {
        if (of(context) == nullptr) xmlSAX2CDataBlock(context, characters, length);
    }
    static void reference(void* context, const xmlChar* name) {
        if (of(context) == nullptr) xmlSAX2Reference(context, name);
    }

    // Outside the root they stay, in the tree of what lies there; inside, they are not read.
    static void comment(void* context, const xmlChar* value) {
        const CompactBuilder* self = of(context);
        if (self == nullptr || self->outsideRoot()) xmlSAX2Comment(context, value);
    }
    static void instruction(void* context, const xmlChar* target, const xmlChar* data) {
        const CompactBuilder* self = of(context);
        if (self == nullptr || self->outsideRoot())
            xmlSAX2ProcessingInstruction(context, target, data);
    }

    bool outsideRoot() const { return open_.empty() && depth_ == 0; }

    void addElement(const xmlChar* prefix, const xmlChar* localName, int attributeCount,
                    const xmlChar** attributes) {
        std::vector<CompactElement>& elements = form_.elements;
        const auto index = static_cast<std::uint32_t>(elements.size());
        CompactElement element;
        element.name = nameId(prefix, localName);
        element.line = parser_->input != nullptr ? parser_->input->line : 0;
        element.firstAttribute = static_cast<std::uint32_t>(form_.attributes.size());
        element.attributeCount = static_cast<std::uint32_t>(std::max(attributeCount, 0));
        if (!open_.empty()) {
            element.parent = open_.back();
            CompactElement& parent = elements[element.parent];
            if (parent.lastChild == kNoElement)
                parent.firstChild = index;
            else
                elements[parent.lastChild].nextSibling = index;
            parent.lastChild = index;
        }
        for (int i = 0; i < attributeCount; ++i) {
            const xmlChar* const* attribute = attributes + static_cast<std::ptrdiff_t>(5 * i);
            CompactAttribute compact;
            compact.name = nameId(attribute[1], attribute[0]);
            compact.offset = static_cast<std::uint32_t>(form_.values.size());
            compact.length = static_cast<std::uint32_t>(attribute[4] - attribute[3]);
            // The parser copies a value that holds entity references and ends the copy with a
            // zero; a value left in the input ends at its quote. The tree builder tells them
            // apart in the same way.
            compact.references = *attribute[4] == 0;
            form_.values.append(chars(attribute[3]), compact.length);
            form_.attributes.push_back(compact);
        }
        elements.push_back(element);
        open_.push_back(index);
    }

    // The parser hands out names from its dictionary, one pointer per distinct name.
    std::uint32_t nameId(const xmlChar* prefix, const xmlChar* localName) {
        const auto key = std::make_pair(prefix, localName);
        if (const auto found = seen_.find(key); found != seen_.end()) return found->second;
        std::string name;
        if (prefix != nullptr) {
            name = chars(prefix);
            name += ':';
        }
        name += chars(localName);
        auto [entry, added] =
            form_.ids.emplace(name, static_cast<std::uint32_t>(form_.names.size()));
        if (added) {
            form_.codePageNames.push_back(codepage::fromUtf8(name));
            form_.names.push_back(std::move(name));
        }
        seen_.emplace(key, entry->second);
        return entry->second;
    }

    struct PairHash {
        std::size_t operator()(const std::pair<const xmlChar*, const xmlChar*>& key) const {
            return std::hash<const void*>()(key.first) * 31 + std::hash<const void*>()(key.second);
        }
    };

    static inline CompactBuilder* current_ = nullptr;  // the tool parses one file at a time
    xmlParserCtxt* parser_;
    CompactDocument& form_;
    bool rootOnly_;
    int depth_ = 0;  // of open elements, when only the root is kept
    std::vector<std::uint32_t> open_;
    std::unordered_map<std::pair<const xmlChar*, const xmlChar*>, std::uint32_t, PairHash> seen_;
};

// The first error of a parse: libxml2 goes on after it and keeps only its last, which is often
// a consequence ("Extra content at the end of the document" after a quote left out).
class FirstError {
  public:
    explicit FirstError(xmlParserCtxt* parser) {
        current_ = this;
        parser->sax->serror = &record;
    }
    ~FirstError() { current_ = nullptr; }
    FirstError(const FirstError&) = delete;
    FirstError& operator=(const FirstError&) = delete;

    std::optional<LibxmlError> error;

  private:
    static void record(void* /*context*/, xmlError* error) {
        if (current_ == nullptr || current_->error || error == nullptr ||
            error->level < XML_ERR_ERROR)
            return;
        LibxmlError& first = current_->error.emplace();
        first.code = error->code;
        first.line = error->line;
        first.column = error->int2;
        first.number = error->int1;
        first.name = error->str1 != nullptr ? error->str1 : "";
        first.other = error->str2 != nullptr ? error->str2 : "";
        first.message = error->message != nullptr ? error->message : "";
    }
    static inline FirstError* current_ = nullptr;  // the tool parses one file at a time
};

// Whether an encoding name declares one byte per character: the ISO-8859 and Windows code
// pages, under the names libxml2 knows them by.
bool isSingleByte(std::string name) {
    for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    for (const char* prefix :
         {"ISO-8859-", "ISO8859-", "ISO_8859-", "LATIN", "WINDOWS-125", "CP125", "CP-125", "L1"})
        if (name.starts_with(prefix)) return true;
    return false;
}

// The first of two or more UTF-8 letters in bytes that are all valid UTF-8, for a file that
// declared a single-byte encoding. Letters are those of the Latin, Greek and Cyrillic blocks
// that a Spanish centre file holds as UTF-8 and that read as two code page characters.
ParseResult::HiddenUtf8 hiddenUtf8(std::string_view bytes, const std::string& declared) {
    ParseResult::HiddenUtf8 found;
    if (!isSingleByte(declared)) return found;
    int letters = 0;
    int line = 1;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const auto lead = static_cast<unsigned char>(bytes[i]);
        if (lead == '\n') ++line;
        if (lead < 0x80) continue;
        // The sequence's length and the first code point it may encode without being overlong.
        const std::size_t length = lead >= 0xC2 && lead <= 0xDF   ? 2
                                   : lead >= 0xE0 && lead <= 0xEF ? 3
                                   : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                                  : 0;
        if (length == 0 || i + length > bytes.size()) return {};
        char32_t codePoint = lead & (0xFF >> (length + 1));
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(bytes[i + k]);
            if ((next & 0xC0) != 0x80) return {};
            codePoint = (codePoint << 6) | (next & 0x3F);
        }
        constexpr char32_t kFirstOfLength[] = {0, 0, 0x80, 0x800, 0x10000};
        if (codePoint < kFirstOfLength[length] || codePoint > 0x10FFFF ||
            (codePoint >= 0xD800 && codePoint <= 0xDFFF))
            return {};
        const bool letter =
            (codePoint >= 0xC0 && codePoint <= 0x24F && codePoint != 0xD7 && codePoint != 0xF7) ||
            codePoint == 0xAA || codePoint == 0xBA || (codePoint >= 0x370 && codePoint <= 0x52F);
        if (letter && letters++ == 0) {
            found.line = line;
            found.readAsUtf8 = std::string(bytes.substr(i, length));
            found.readAsDeclared = codepage::toUtf8(bytes.substr(i, length));
        }
        i += length - 1;
    }
    if (letters < 2) return {};
    found.declared = declared;
    return found;
}

// Empty text that is still a view of some text, as a field is copied from it.
constexpr std::string_view kNoText = "";

// The attribute's text, trimmed, as UTF-8: a view of the value as the file holds it, or, for a
// value with entity references, the expanded text in `expanded`.
std::string_view attributeOf(const CompactDocument& document, const CompactElement& element,
                             std::uint32_t id, std::string& expanded) {
    if (id == kNoElement) return kNoText;
    for (std::uint32_t i = 0; i < element.attributeCount; ++i) {
        const CompactAttribute& attribute = document.attributes[element.firstAttribute + i];
        if (attribute.name != id) continue;
        const std::string_view value(document.values.data() + attribute.offset, attribute.length);
        // The parser also copies a value for a character outside ASCII or a blank it turns into
        // a space; with no '&' left in the copy, libxml2 would give the copy back as it is.
        if (!attribute.references || value.find('&') == std::string_view::npos)
            return codepage::trim(value);
        const std::unique_ptr<xmlNode, void (*)(xmlNode*)> children(
            xmlStringLenGetNodeList(document.outside.get(), xml(std::string(value).c_str()),
                                    static_cast<int>(value.size())),
            &xmlFreeNodeList);
        expanded = AttributeText(document.outside.get()).read(children.get());
        return codepage::trim(expanded);
    }
    return kNoText;
}

std::uint32_t attributeId(const CompactDocument& document, std::string_view cp1252name) {
    return document.idOf(codepage::toUtf8(cp1252name));
}

bool hasAttributeOf(const CompactDocument& document, const CompactElement& element,
                    std::string_view cp1252name) {
    const std::uint32_t id = attributeId(document, cp1252name);
    for (std::uint32_t i = 0; id != kNoElement && i < element.attributeCount; ++i)
        if (document.attributes[element.firstAttribute + i].name == id) return true;
    return false;
}

// One level at a time: children of elements in document order stay in document order.
std::vector<std::uint32_t> selectElements(const CompactDocument& document,
                                          const std::vector<std::string_view>& steps) {
    std::vector<std::uint32_t> level;
    if (steps.empty() || document.elements.empty() ||
        document.names[document.elements.front().name] != steps.front())
        return level;
    level.push_back(0);
    std::vector<std::uint32_t> next;
    for (std::size_t i = 1; i < steps.size() && !level.empty(); ++i) {
        next.clear();
        const std::uint32_t id = document.idOf(std::string(steps[i]));
        if (id == kNoElement) return next;
        for (const std::uint32_t parent : level)
            for (std::uint32_t child = document.elements[parent].firstChild; child != kNoElement;
                 child = document.elements[child].nextSibling)
                if (document.elements[child].name == id) next.push_back(child);
        level.swap(next);
    }
    return level;
}

}  // namespace

// ---- Node ----

std::string Node::name() const {
    if (document_ == nullptr) return {};
    return document_->codePageNames[document_->elements[index_].name];
}

std::string Node::attributeUnicode(std::string_view name) const {
    if (document_ == nullptr) return {};
    return attributeUnicode(AttributeName(attributeId(*document_, name)));
}

std::string Node::attributeUnicode(const AttributeName& name) const {
    std::string scratch;
    return std::string(attributeUnicodeView(name, scratch));
}

std::string_view Node::attributeUnicodeView(const AttributeName& name, std::string& scratch) const {
    if (document_ == nullptr) return kNoText;
    return attributeOf(*document_, document_->elements[index_], name.id_, scratch);
}

std::string Node::attribute(std::string_view name) const {
    if (document_ == nullptr) return {};
    return attribute(AttributeName(attributeId(*document_, name)));
}

std::string Node::attribute(const AttributeName& name) const {
    std::string scratch;
    const std::string_view text = attributeView(name, scratch);
    // Text converted whole into the scratch string is handed over as it is.
    if (text.data() == scratch.data() && text.size() == scratch.size()) return scratch;
    return std::string(text);
}

std::string_view Node::attributeView(const AttributeName& name, std::string& scratch) const {
    if (document_ == nullptr) return kNoText;
    const std::string_view utf8 =
        attributeOf(*document_, document_->elements[index_], name.id_, scratch);
    // ASCII reads the same in the code page; only other text is converted, into the scratch
    // string, or out of it when expanding entities put the text there.
    if (codepage::isAscii(utf8)) return utf8;
    const std::less<const char*> before;
    if (!before(utf8.data(), scratch.data()) &&
        before(utf8.data(), scratch.data() + scratch.size()))
        scratch = codepage::fromUtf8(utf8);
    else
        codepage::fromUtf8(utf8, scratch);
    return scratch;
}

bool Node::hasAttribute(std::string_view name) const {
    return document_ != nullptr && hasAttributeOf(*document_, document_->elements[index_], name);
}

int Node::line() const { return document_ == nullptr ? 0 : document_->elements[index_].line; }

Node Node::parentNode() const {
    if (document_ == nullptr) return {};
    const std::uint32_t parent = document_->elements[index_].parent;
    return parent == kNoElement ? Node() : Node(document_, parent);
}

const void* Node::raw() const {
    return document_ == nullptr ? nullptr : &document_->elements[index_];
}

// ---- CentreDocument ----

namespace {

// An empty document: no element, and nothing outside a root.
void makeEmpty(CompactDocument& document) {
    document = CompactDocument{};
    document.outside.reset(xmlNewDoc(xml("1.0")));
    if (document.outside == nullptr) throw std::bad_alloc();
}

}  // namespace

CentreDocument::CentreDocument() : impl_(std::make_unique<CompactDocument>()) { makeEmpty(*impl_); }
CentreDocument::~CentreDocument() = default;

ParseResult CentreDocument::load(const std::filesystem::path& path, Keep keep) {
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec))
        throw fileError("No se puede leer el archivo", path, reasonText(EISDIR));
    // In one piece, into a buffer of the file's size.
    std::string bytes;
    if (const int error = file_io::readFile(path, bytes); error != 0)
        throw fileError("No se puede leer el archivo", path, reasonText(error));
    if (bytes.size() > static_cast<std::size_t>(INT32_MAX))
        throw fileError("No se puede leer el archivo", path, reasonText(EFBIG));
    registerWindows1252Encoding();
    refuseExternalResources();
    const QuietLibxml quiet;
    // What the parser has yet to read of the file: it keeps a pointer to this until it is freed.
    std::string_view unread = bytes;
    const std::unique_ptr<xmlParserCtxt, void (*)(xmlParserCtxtPtr)> parser(xmlNewParserCtxt(),
                                                                            &xmlFreeParserCtxt);
    if (parser == nullptr) throw std::bad_alloc();
    const std::string url = utf8Path(path);
    CompactDocument& document = *impl_;
    makeEmpty(document);
    FirstError first(parser.get());
    {
        const CompactBuilder builder(parser.get(), document, keep == Keep::Root);
        document.outside.reset(xmlCtxtReadIO(parser.get(), &readNextChunk, nullptr, &unread,
                                             url.c_str(), nullptr, kParseOptions));
    }
    ParseResult result;
    if (document.outside != nullptr) {
        // The encoding the file was read in, as declared.
        if (document.outside->encoding != nullptr)
            result.hiddenUtf8 = hiddenUtf8(bytes, chars(document.outside->encoding));
        return result;
    }
    // A file that does not parse leaves an empty document.
    makeEmpty(document);
    result.status = ParseResult::Status::NotWellFormed;
    LibxmlError error = first.error.value_or(LibxmlError{});
    if (!first.error) {
        const xmlError* last = xmlCtxtGetLastError(parser.get());
        error.line = last != nullptr ? last->line : 0;
        error.message = last != nullptr && last->message != nullptr ? last->message : "";
    }
    if (parser->encoding != nullptr) error.encoding = chars(parser->encoding);
    std::string_view content = bytes;
    if (content.starts_with("\xEF\xBB\xBF")) content.remove_prefix(3);
    error.emptyFile = codepage::trim(content).empty();
    result.line = error.line;
    result.description = parseErrorText(error);
    return result;
}

std::optional<std::string> notACentreFile(const CentreDocument& document, const ParseResult& parsed,
                                          const std::filesystem::path& file) {
    const std::string quoted = "\"" + utf8Path(file) + "\"";
    if (!parsed)
        return "El archivo XML " + quoted + " no es un documento XML válido (" +
               parsed.description + ").";
    const Node root = document.documentElement();
    if (!root) return "El archivo XML " + quoted + " no tiene elemento raíz.";
    if (root.name() != "Centro") {
        return "El archivo XML " + quoted + " no tiene el elemento raíz Centro (su raíz es " +
               codepage::toUtf8(root.name()) + ").";
    }
    return std::nullopt;
}

std::vector<Node> CentreDocument::selectNodes(std::string_view path) const {
    const std::string utf8 = codepage::toUtf8(path);
    const std::vector<std::uint32_t> level = selectElements(*impl_, pathSteps(utf8));
    std::vector<Node> found;
    found.reserve(level.size());
    for (const std::uint32_t index : level) found.push_back(Node(impl_.get(), index));
    return found;
}

Node CentreDocument::selectSingleNode(std::string_view path) const {
    std::vector<Node> nodes = selectNodes(path);
    return nodes.empty() ? Node() : nodes.front();
}

AttributeName CentreDocument::attributeName(std::string_view name) const {
    return AttributeName(attributeId(*impl_, name));
}

std::size_t CentreDocument::elementCount() const { return impl_->elements.size(); }

Node CentreDocument::documentElement() const {
    return impl_->elements.empty() ? Node() : Node(impl_.get(), 0);
}

}  // namespace lindavex::store
