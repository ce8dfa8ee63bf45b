#include "store/xml/centre_document.h"

#include <libxml/SAX2.h>
#include <libxml/entities.h>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xmlIO.h>
#include <libxml/xmlsave.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fstream>
#include <iterator>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "store/codepage.h"
#include "store/error.h"
#include "store/files/file_io.h"
#include "store/files/platform.h"
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

// Reading an attribute expands the internal entities it refers to. A handful of small
// declarations can expand to gigabytes, so the work per attribute is capped.
constexpr std::size_t kExpansionBudget = std::size_t{16} << 20;
constexpr int kMaxEntityDepth = 40;

const xmlChar* xml(const char* text) { return reinterpret_cast<const xmlChar*>(text); }
const char* chars(const xmlChar* text) { return reinterpret_cast<const char*>(text); }

xmlNode* asXml(void* node) { return static_cast<xmlNode*>(node); }

// Whether a name as written in the file (prefix:local, or local alone) is the wanted one.
bool nameIs(const xmlNs* ns, const xmlChar* local, std::string_view wanted) {
    if (ns != nullptr && ns->prefix != nullptr) {
        const std::string_view prefix = chars(ns->prefix);
        if (wanted.size() <= prefix.size() || wanted.substr(0, prefix.size()) != prefix ||
            wanted[prefix.size()] != ':')
            return false;
        wanted.remove_prefix(prefix.size() + 1);
    }
    return wanted == chars(local);
}

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

const xmlAttr* findAttribute(const xmlNode* node, std::string_view cp1252name) {
    if (node == nullptr || node->type != XML_ELEMENT_NODE) return nullptr;
    const std::string name = codepage::toUtf8(cp1252name);
    for (const xmlAttr* a = node->properties; a != nullptr; a = a->next)
        if (nameIs(a->ns, a->name, name)) return a;
    return nullptr;
}

xmlNode* rootOf(xmlDoc* doc) { return doc == nullptr ? nullptr : xmlDocGetRootElement(doc); }

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

// libxml2 reports some failures (encoding errors among them) straight to standard error; the
// document's callers get their own outcome (an empty document, an Error) instead.
class QuietLibxml {
  public:
    QuietLibxml() : function_(xmlGenericError), context_(xmlGenericErrorContext) {
        xmlSetGenericErrorFunc(nullptr, &ignore);
    }
    ~QuietLibxml() { xmlSetGenericErrorFunc(context_, function_); }
    QuietLibxml(const QuietLibxml&) = delete;
    QuietLibxml& operator=(const QuietLibxml&) = delete;

  private:
    static void ignore(void* /*context*/, const char* /*format*/, ...) {}
    xmlGenericErrorFunc function_;
    void* context_;
};

// The permissions a replaced file keeps, or those of a newly made file.
unsigned permissionsFor(const std::filesystem::path& target) {
    platform::FileInfo info;
    if (platform::describe(target, info) == 0) return info.permissions;
    return platform::defaultPermissions();
}

// Invariant 1 of file_io.h: the target is either the old file or the whole new one.
void writeReplacing(const std::filesystem::path& path, const std::string& bytes) {
    const std::string target = path.string();
    if (const int code = file_io::replaceFile(path, bytes, permissionsFor(path)); code != 0)
        throw fileError("No se puede escribir el archivo", path, reasonText(code));
}

constexpr std::uint32_t kNoElement = UINT32_MAX;

// An element of the compact form; its relatives are indexes into the same list.
struct CompactElement {
    std::uint32_t name = 0;
    std::uint32_t parent = kNoElement;
    std::uint32_t firstChild = kNoElement;
    std::uint32_t lastChild = kNoElement;
    std::uint32_t nextSibling = kNoElement;
    std::uint32_t firstAttribute = 0;
    std::uint32_t attributeCount = 0;
    int line = 0;
};

struct CompactAttribute {
    std::uint32_t name = 0;
    std::uint32_t offset = 0;  // of the value in CompactForm::values
    std::uint32_t length = 0;
    // The value as the parser left it, entity references unexpanded; expanded when read, under
    // the same bounds as a tree's attribute.
    bool references = false;
};

// Every element of a file with its attributes, in document order; names (prefix:local, UTF-8)
// interned, values side by side in one string.
struct CompactForm {
    std::vector<CompactElement> elements;
    std::vector<CompactAttribute> attributes;
    std::string values;
    std::vector<std::string> names;
    std::unordered_map<std::string, std::uint32_t> ids;
    bool rootOnly = false;  // the root was kept without what lies inside it

    std::uint32_t idOf(const std::string& name) const {
        const auto found = ids.find(name);
        return found == ids.end() ? kNoElement : found->second;
    }
};

xmlDoc* parseTree(const std::string& bytes, const std::string& url);

// What a document owns besides its libxml2 tree; reachable from any of its nodes.
struct DocumentState {
    // The whole tree; or, while the document is compact, only what lies outside the root.
    xmlDoc* doc = nullptr;
    // Elements made by createElement and not (yet) placed in the tree; freed with the document.
    std::unordered_set<xmlNode*> detached;
    bool compact = false;
    CompactForm form;
    std::string bytes;  // of the file, while compact: parsed again when the tree is needed
    std::string url;
    std::vector<xmlNode*> treeOf;  // the tree's node of each compact element, once made whole

    DocumentState() { reset(nullptr); }
    ~DocumentState() { release(); }
    DocumentState(const DocumentState&) = delete;
    DocumentState& operator=(const DocumentState&) = delete;

    void release() {
        for (xmlNode* node : detached) xmlFreeNode(node);
        detached.clear();
        if (doc != nullptr) xmlFreeDoc(doc);
        doc = nullptr;
        compact = false;
        form = CompactForm{};
        bytes.clear();
        treeOf.clear();
    }

    void reset(xmlDoc* loaded) {
        release();
        doc = loaded != nullptr ? loaded : xmlNewDoc(xml("1.0"));
        if (doc == nullptr) throw std::bad_alloc();
        doc->_private = this;
    }

    void resetCompact(xmlDoc* outside, CompactForm&& elements, std::string&& file,
                      std::string&& name) {
        reset(outside);
        compact = true;
        form = std::move(elements);
        bytes = std::move(file);
        url = std::move(name);
    }

    const CompactElement* root() const {
        return form.elements.empty() ? nullptr : form.elements.data();
    }

    // Parses the file again into a whole tree, for a change or a save; the compact elements
    // handed out as nodes then stand for the tree's, matched in document order.
    void makeWhole() {
        if (!compact) return;
        xmlDoc* whole = parseTree(bytes, url);
        if (whole == nullptr) throw Error("No se ha podido leer de nuevo el documento.");
        std::vector<xmlNode*> nodes;
        nodes.reserve(form.elements.size());
        collectElements(xmlDocGetRootElement(whole), nodes);
        // A form of the root alone stands for the first element, the root.
        if (form.rootOnly && nodes.size() > form.elements.size())
            nodes.resize(form.elements.size());
        if (nodes.size() != form.elements.size()) {
            xmlFreeDoc(whole);
            throw Error("El documento ha cambiado al leerlo de nuevo.");
        }
        xmlFreeDoc(doc);
        doc = whole;
        doc->_private = this;
        compact = false;
        treeOf = std::move(nodes);
        form.attributes = {};
        form.values = {};
        bytes = {};
    }

    static void collectElements(xmlNode* node, std::vector<xmlNode*>& out) {
        if (node == nullptr || node->type != XML_ELEMENT_NODE) return;
        out.push_back(node);
        for (xmlNode* child = node->children; child != nullptr; child = child->next)
            collectElements(child, out);
    }

    static DocumentState* of(const xmlNode* node) {
        return node != nullptr && node->doc != nullptr
                   ? static_cast<DocumentState*>(node->doc->_private)
                   : nullptr;
    }
};

bool isAncestorOrSelf(const xmlNode* candidate, const xmlNode* node) {
    for (const xmlNode* n = node; n != nullptr; n = n->parent)
        if (n == candidate) return true;
    return false;
}

// Moves child under parent (out of wherever it was), as the document object model does.
void attach(xmlNode* parent, xmlNode* child) {
    if (child == nullptr) throw Error("No hay nodo que añadir.");
    if (child->type != XML_ELEMENT_NODE) throw Error("Solo se pueden añadir elementos.");
    if (child->doc != parent->doc) throw Error("El nodo pertenece a otro documento.");
    if (isAncestorOrSelf(child, parent))
        throw Error("Un nodo no se puede añadir a sí mismo ni a sus descendientes.");
    if (parent->type == XML_DOCUMENT_NODE && rootOf(parent->doc) != nullptr)
        throw Error("El documento ya tiene elemento raíz.");
    if (auto* state = DocumentState::of(child)) state->detached.erase(child);
    xmlUnlinkNode(child);
    if (xmlAddChild(parent, child) == nullptr) throw Error("No se ha podido añadir el nodo.");
}

void detach(xmlNode* parent, xmlNode* child) {
    if (child == nullptr || child->parent != parent)
        throw Error("El nodo que se quiere quitar no es hijo de este nodo.");
    xmlUnlinkNode(child);
    xmlFreeNode(child);
}

// XML cannot carry control characters other than tab and line ends, not even as references:
// written out, they would make a file that no reader accepts.
void checkAttributeValue(const std::string& utf8Name, std::string_view cp1252value) {
    for (const char c : cp1252value) {
        if (static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n' && c != '\r') {
            std::string message = "El atributo '" + utf8Name;
            message += "' no admite caracteres de control: '";
            message += codepage::toUtf8(cp1252value);
            message += "'.";
            throw Error(message);
        }
    }
}

// libxml2 keeps an element's line in 16 bits and stops counting at their maximum. Past it,
// the parser's own line is kept in the element's psvi slot, which nothing else here uses.
constexpr unsigned kLineFieldFull = 65535;

void startElementKeepingLine(void* context, const xmlChar* localName, const xmlChar* prefix,
                             const xmlChar* uri, int namespaceCount, const xmlChar** namespaces,
                             int attributeCount, int defaultedCount, const xmlChar** attributes) {
    xmlSAX2StartElementNs(context, localName, prefix, uri, namespaceCount, namespaces,
                          attributeCount, defaultedCount, attributes);
    auto* parser = static_cast<xmlParserCtxt*>(context);
    xmlNode* element = parser->node;
    if (element != nullptr && element->line >= kLineFieldFull && parser->input != nullptr)
        element->psvi = reinterpret_cast<void*>(static_cast<std::intptr_t>(parser->input->line));
}

xmlDoc* parseTree(const std::string& bytes, const std::string& url) {
    registerWindows1252Encoding();
    refuseExternalResources();
    const QuietLibxml quiet;
    const std::unique_ptr<xmlParserCtxt, void (*)(xmlParserCtxtPtr)> parser(xmlNewParserCtxt(),
                                                                            &xmlFreeParserCtxt);
    if (parser == nullptr) throw std::bad_alloc();
    parser->sax->startElementNs = &startElementKeepingLine;
    return xmlCtxtReadMemory(parser.get(), bytes.data(), static_cast<int>(bytes.size()),
                             url.c_str(), nullptr, kParseOptions);
}

// Builds the compact form from the parser's events. libxml2 builds what lies outside the root
// (declaration, comments, processing instructions, the document type and its entities) as
// usual, and the content of entities, which it parses with a context of its own; only the
// elements of the document itself go into the compact form instead of a tree.
class CompactBuilder {
  public:
    CompactBuilder(xmlParserCtxt* parser, CompactForm& form, bool rootOnly)
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
        if (added) form_.names.push_back(std::move(name));
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
    CompactForm& form_;
    bool rootOnly_;
    int depth_ = 0;  // of open elements, when only the root is kept
    std::vector<std::uint32_t> open_;
    std::unordered_map<std::pair<const xmlChar*, const xmlChar*>, std::uint32_t, PairHash> seen_;
};

const CompactElement* compactElement(void* node) {
    return static_cast<const CompactElement*>(node);
}

std::uint32_t indexOf(const DocumentState& state, const CompactElement* element) {
    return static_cast<std::uint32_t>(element - state.form.elements.data());
}

// The attribute's text, trimmed, as UTF-8.
std::string compactAttribute(const DocumentState& state, const CompactElement& element,
                             std::string_view cp1252name) {
    const std::uint32_t id = state.form.idOf(codepage::toUtf8(cp1252name));
    if (id == kNoElement) return {};
    for (std::uint32_t i = 0; i < element.attributeCount; ++i) {
        const CompactAttribute& attribute = state.form.attributes[element.firstAttribute + i];
        if (attribute.name != id) continue;
        const std::string_view value(state.form.values.data() + attribute.offset, attribute.length);
        if (!attribute.references) return std::string(codepage::trim(value));
        const std::unique_ptr<xmlNode, void (*)(xmlNode*)> children(
            xmlStringLenGetNodeList(state.doc, xml(std::string(value).c_str()),
                                    static_cast<int>(value.size())),
            &xmlFreeNodeList);
        return std::string(codepage::trim(AttributeText(state.doc).read(children.get())));
    }
    return {};
}

bool compactHasAttribute(const DocumentState& state, const CompactElement& element,
                         std::string_view cp1252name) {
    const std::uint32_t id = state.form.idOf(codepage::toUtf8(cp1252name));
    for (std::uint32_t i = 0; id != kNoElement && i < element.attributeCount; ++i)
        if (state.form.attributes[element.firstAttribute + i].name == id) return true;
    return false;
}

}  // namespace

// ---- Node ----

namespace {

DocumentState* ownerState(void* owner) { return static_cast<DocumentState*>(owner); }

// The compact element behind a node, while its document is still compact.
const CompactElement* compactOf(void* node, void* owner) {
    return owner != nullptr && ownerState(owner)->compact ? compactElement(node) : nullptr;
}

}  // namespace

void* Node::tree() const {
    if (owner_ == nullptr) return node_;
    DocumentState& state = *ownerState(owner_);
    state.makeWhole();
    return state.treeOf[indexOf(state, compactElement(node_))];
}

std::string Node::name() const {
    if (node_ == nullptr) return {};
    if (const CompactElement* element = compactOf(node_, owner_))
        return codepage::fromUtf8(ownerState(owner_)->form.names[element->name]);
    const xmlNode* node = asXml(tree());
    std::string name;
    if (node->ns != nullptr && node->ns->prefix != nullptr) {
        name = chars(node->ns->prefix);
        name += ':';
    }
    name += chars(node->name);
    return codepage::fromUtf8(name);
}

std::string Node::attributeUnicode(std::string_view name) const {
    if (node_ == nullptr) return {};
    if (const CompactElement* element = compactOf(node_, owner_))
        return compactAttribute(*ownerState(owner_), *element, name);
    const xmlNode* node = asXml(tree());
    const xmlAttr* attribute = findAttribute(node, name);
    if (attribute == nullptr) return {};
    return std::string(codepage::trim(AttributeText(node->doc).read(attribute->children)));
}

std::string Node::attribute(std::string_view name) const {
    return codepage::fromUtf8(attributeUnicode(name));
}

bool Node::hasAttribute(std::string_view name) const {
    if (node_ == nullptr) return false;
    if (const CompactElement* element = compactOf(node_, owner_))
        return compactHasAttribute(*ownerState(owner_), *element, name);
    return findAttribute(asXml(tree()), name) != nullptr;
}

void Node::setAttribute(std::string_view name, std::string_view cp1252value) {
    if (node_ == nullptr) throw Error("No hay elemento al que poner el atributo.");
    const std::string utf8Name = codepage::toUtf8(name);
    if (xmlValidateName(xml(utf8Name.c_str()), 0) != 0)
        throw Error("'" + utf8Name + "' no es un nombre de atributo válido.");
    checkAttributeValue(utf8Name, cp1252value);
    const std::string utf8Value = codepage::toUtf8(cp1252value);
    if (xmlSetProp(asXml(tree()), xml(utf8Name.c_str()), xml(utf8Value.c_str())) == nullptr)
        throw Error("No se ha podido poner el atributo '" + utf8Name + "'.");
}

int Node::line() const {
    if (node_ == nullptr) return 0;
    if (const CompactElement* element = compactOf(node_, owner_)) return element->line;
    const xmlNode* node = asXml(tree());
    if (node->line < kLineFieldFull) return node->line;
    return static_cast<int>(reinterpret_cast<std::intptr_t>(node->psvi));
}

Node Node::parentNode() const {
    if (node_ == nullptr) return {};
    if (const CompactElement* element = compactOf(node_, owner_)) {
        if (element->parent == kNoElement) return {};
        return Node(&ownerState(owner_)->form.elements[element->parent], owner_);
    }
    xmlNode* parent = asXml(tree())->parent;
    if (parent == nullptr || parent->type != XML_ELEMENT_NODE) return {};
    return Node(parent);
}

void Node::appendChild(Node child) {
    if (node_ == nullptr) throw Error("No hay elemento al que añadir.");
    attach(asXml(tree()), asXml(child.tree()));
}

void Node::removeChild(Node child) {
    if (node_ == nullptr) throw Error("No hay elemento del que quitar.");
    detach(asXml(tree()), asXml(child.tree()));
}

// ---- CentreDocument ----

struct CentreDocument::Impl : DocumentState {
    std::filesystem::path pending;  // loaded when the document is first used
};

CentreDocument::CentreDocument() : impl_(std::make_unique<Impl>()) {}
CentreDocument::~CentreDocument() = default;

void CentreDocument::loadWhenUsed(const std::filesystem::path& path) {
    impl_->reset(nullptr);
    impl_->pending = path;
}

CentreDocument::Impl& CentreDocument::state() const {
    if (!impl_->pending.empty()) {
        const std::filesystem::path path = std::move(impl_->pending);
        impl_->pending.clear();
        try {
            (void)const_cast<CentreDocument*>(this)->load(path);
        } catch (const Error&) {
            impl_->reset(nullptr);  // unreadable: an empty document, as one that does not parse
        }
    }
    return *impl_;
}

ParseResult CentreDocument::load(const std::filesystem::path& path, Keep keep) {
    impl_->pending.clear();
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec))
        throw fileError("No se puede leer el archivo", path, reasonText(EISDIR));
    std::ifstream in(path, std::ios::binary);
    if (!in) throw fileError("No se puede leer el archivo", path, reasonText(errno));
    // In one piece, into a buffer of the file's size: grown a chunk at a time, the buffer was
    // moved and its fresh pages faulted in again at every doubling. Whatever the file grew by
    // meanwhile follows in chunks.
    std::string bytes;
    if (const std::uintmax_t size = std::filesystem::file_size(path, ec);
        !ec && size <= static_cast<std::uintmax_t>(INT32_MAX)) {
        bytes.resize(static_cast<std::size_t>(size));
        in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        bytes.resize(static_cast<std::size_t>(in.gcount()));
    }
    std::array<char, std::size_t{1} << 16> chunk{};
    while (in.read(chunk.data(), chunk.size()) || in.gcount() > 0)
        bytes.append(chunk.data(), static_cast<std::size_t>(in.gcount()));
    if (in.bad()) throw fileError("No se puede leer el archivo", path, reasonText(EIO));
    if (bytes.size() > static_cast<std::size_t>(INT32_MAX))
        throw fileError("No se puede leer el archivo", path, reasonText(EFBIG));
    registerWindows1252Encoding();
    refuseExternalResources();
    const QuietLibxml quiet;
    const std::unique_ptr<xmlParserCtxt, void (*)(xmlParserCtxtPtr)> parser(xmlNewParserCtxt(),
                                                                            &xmlFreeParserCtxt);
    if (parser == nullptr) throw std::bad_alloc();
    std::string url = path.string();
    CompactForm form;
    form.rootOnly = keep == Keep::Root;
    xmlDoc* loaded = nullptr;
    {
        const CompactBuilder builder(parser.get(), form, keep == Keep::Root);
        loaded = xmlCtxtReadMemory(parser.get(), bytes.data(), static_cast<int>(bytes.size()),
                                   url.c_str(), nullptr, kParseOptions);
    }
    // A file that does not parse leaves an empty document.
    if (loaded != nullptr)
        impl_->resetCompact(loaded, std::move(form), std::move(bytes), std::move(url));
    else
        impl_->reset(nullptr);
    ParseResult result;
    if (loaded != nullptr) return result;
    result.status = ParseResult::Status::NotWellFormed;
    const xmlError* error = xmlCtxtGetLastError(parser.get());
    std::string reason = error != nullptr && error->message != nullptr ? error->message : "";
    while (!reason.empty() && (reason.back() == '\n' || reason.back() == ' ')) reason.pop_back();
    result.line = error != nullptr ? error->line : 0;
    result.description = "línea " + std::to_string(result.line) + ": " +
                         (reason.empty() ? "no se puede leer" : reason);
    return result;
}

std::optional<std::string> notACentreFile(const CentreDocument& document, const ParseResult& parsed,
                                          const std::filesystem::path& file) {
    const std::u8string name = file.u8string();
    const std::string quoted =
        "\"" + std::string(reinterpret_cast<const char*>(name.data()), name.size()) + "\"";
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

bool CentreDocument::isEmpty() const {
    const Impl& state = this->state();
    return state.compact ? state.root() == nullptr : rootOf(state.doc) == nullptr;
}

namespace {

std::vector<std::uint32_t> selectCompact(const CompactForm& form,
                                         const std::vector<std::string_view>& steps) {
    std::vector<std::uint32_t> level;
    if (steps.empty() || form.elements.empty() ||
        form.names[form.elements.front().name] != steps.front())
        return level;
    level.push_back(0);
    std::vector<std::uint32_t> next;
    for (std::size_t i = 1; i < steps.size() && !level.empty(); ++i) {
        next.clear();
        const std::uint32_t id = form.idOf(std::string(steps[i]));
        if (id == kNoElement) return next;
        for (const std::uint32_t parent : level)
            for (std::uint32_t child = form.elements[parent].firstChild; child != kNoElement;
                 child = form.elements[child].nextSibling)
                if (form.elements[child].name == id) next.push_back(child);
        level.swap(next);
    }
    return level;
}

}  // namespace

std::vector<Node> CentreDocument::selectNodes(std::string_view path) const {
    std::vector<Node> found;
    const std::string utf8Path = codepage::toUtf8(path);
    const std::vector<std::string_view> steps = pathSteps(utf8Path);
    Impl& state = this->state();
    if (state.compact) {
        const std::vector<std::uint32_t> level = selectCompact(state.form, steps);
        found.reserve(level.size());
        for (const std::uint32_t index : level)
            found.push_back(Node(&state.form.elements[index], static_cast<DocumentState*>(&state)));
        return found;
    }
    xmlNode* root = rootOf(state.doc);
    if (steps.empty() || root == nullptr || !nameIs(root->ns, root->name, steps.front()))
        return found;
    // One level at a time: children of nodes in document order stay in document order.
    std::vector<xmlNode*> level{root};
    std::vector<xmlNode*> next;
    for (std::size_t i = 1; i < steps.size() && !level.empty(); ++i) {
        next.clear();
        for (xmlNode* parent : level)
            for (xmlNode* child = parent->children; child != nullptr; child = child->next)
                if (child->type == XML_ELEMENT_NODE && nameIs(child->ns, child->name, steps[i]))
                    next.push_back(child);
        level.swap(next);
    }
    found.reserve(level.size());
    for (xmlNode* node : level) found.push_back(Node(node));
    return found;
}

Node CentreDocument::selectSingleNode(std::string_view path) const {
    std::vector<Node> nodes = selectNodes(path);
    return nodes.empty() ? Node() : nodes.front();
}

Node CentreDocument::documentElement() const {
    Impl& state = this->state();
    if (state.compact) {
        const CompactElement* root = state.root();
        return root == nullptr
                   ? Node()
                   : Node(const_cast<CompactElement*>(root), static_cast<DocumentState*>(&state));
    }
    xmlNode* root = rootOf(state.doc);
    return root == nullptr ? Node() : Node(root);
}

Node CentreDocument::createElement(std::string_view name) {
    const std::string utf8Name = codepage::toUtf8(name);
    if (xmlValidateName(xml(utf8Name.c_str()), 0) != 0)
        throw Error("'" + utf8Name + "' no es un nombre de elemento válido.");
    Impl& state = this->state();
    state.makeWhole();
    xmlNode* node = xmlNewDocNode(state.doc, nullptr, xml(utf8Name.c_str()), nullptr);
    if (node == nullptr) throw std::bad_alloc();
    impl_->detached.insert(node);
    return Node(node);
}

void CentreDocument::appendChild(Node child) {
    Impl& state = this->state();
    state.makeWhole();
    attach(reinterpret_cast<xmlNode*>(state.doc), asXml(child.tree()));
}

void CentreDocument::removeChild(Node child) {
    Impl& state = this->state();
    state.makeWhole();
    detach(reinterpret_cast<xmlNode*>(state.doc), asXml(child.tree()));
}

void CentreDocument::save(const std::filesystem::path& path) const {
    registerWindows1252Encoding();
    const QuietLibxml quiet;
    xmlChar* text = nullptr;
    int size = 0;
    // The loaded file's declared encoding; libxml2 writes characters it lacks as references.
    // A document read without a declared encoding is written as UTF-8, declared so.
    Impl& state = this->state();
    state.makeWhole();
    xmlDoc* doc = state.doc;
    const xmlChar* encoding = doc->encoding;
    xmlDocDumpFormatMemoryEnc(doc, &text, &size, encoding != nullptr ? chars(encoding) : "UTF-8",
                              0);
    if (text == nullptr || size < 0) {
        xmlFree(text);
        throw fileError("No se puede escribir el archivo", path,
                        "el documento no se puede codificar");
    }
    std::string bytes(chars(text), static_cast<std::size_t>(size));
    xmlFree(text);

    writeReplacing(path, bytes);
}

// ---- Result writers ----

namespace {

[[noreturn]] void throwWriteError(const std::filesystem::path& target, int code) {
    throw fileError("No se puede escribir el archivo", target, reasonText(code));
}

// Appends code page text as an attribute value, in UTF-8 and escaped as libxml2 escapes it when
// it saves a document with a declared encoding: markup characters and the three blanks other
// than the space as references, everything else as it is (the encoder then refers to what the
// file's encoding lacks). One pass, with no text made per value.
void appendAttributeText(std::string& out, std::string_view cp1252) {
    static const std::array<std::string, 256> kUtf8 = [] {
        std::array<std::string, 256> table;
        for (int byte = 0; byte < 256; ++byte)
            table[static_cast<std::size_t>(byte)] =
                codepage::toUtf8(std::string(1, static_cast<char>(byte)));
        return table;
    }();
    for (const char c : cp1252) {
        switch (c) {
            case '\n':
                out += "&#10;";
                break;
            case '\r':
                out += "&#13;";
                break;
            case '\t':
                out += "&#9;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '&':
                out += "&amp;";
                break;
            default:
                if (static_cast<unsigned char>(c) < 0x80)
                    out += c;
                else
                    out += kUtf8[static_cast<unsigned char>(c)];
        }
    }
}

// Text in quotes as libxml2 writes the declaration's values: double ones unless the text holds
// one.
void appendQuoted(std::string& out, std::string_view text) {
    const char quote = text.find('"') == std::string_view::npos ? '"' : '\'';
    out += quote;
    out += text;
    out += quote;
}

class StreamingWriter final : public ElementWriter {
  public:
    StreamingWriter(xmlDoc* doc, const std::filesystem::path& target)
        : target_(target), file_(target, permissionsFor(target)) {
        registerWindows1252Encoding();
        // The loaded file's declared encoding, as save() takes it.
        encoding_ = doc->encoding != nullptr ? chars(doc->encoding) : "UTF-8";
        xmlCharEncodingHandler* handler = xmlFindCharEncodingHandler(encoding_.c_str());
        if (handler == nullptr)
            throw fileError("No se puede escribir el archivo", target,
                            "el documento no se puede codificar");
        if (const int code = file_.create(); code != 0) throwWriteError(target_, code);
        out_ = xmlOutputBufferCreateIO(&StreamingWriter::toFile, nullptr, this, handler);
        if (out_ == nullptr) throw std::bad_alloc();
        writeOutsideRoot(doc);
    }

    ~StreamingWriter() override {
        if (out_ != nullptr) xmlOutputBufferClose(out_);
    }

    StreamingWriter(const StreamingWriter&) = delete;
    StreamingWriter& operator=(const StreamingWriter&) = delete;

    void startElement(std::string_view name) override {
        if (startTagOpen_) staged_ += '>';
        open_.push_back(validName(name, "elemento"));
        staged_ += '<';
        staged_ += open_.back();
        startTagOpen_ = true;
    }

    void attribute(std::string_view name, std::string_view cp1252value) override {
        if (!startTagOpen_) throw Error("No hay elemento al que poner el atributo.");
        const std::string& utf8Name = validName(name, "atributo");
        checkAttributeValue(utf8Name, cp1252value);
        staged_ += ' ';
        staged_ += utf8Name;
        staged_ += "=\"";
        appendAttributeText(staged_, cp1252value);
        staged_ += '"';
    }

    void endElement() override {
        if (open_.empty()) throw Error("No hay elemento que cerrar.");
        if (startTagOpen_) {
            staged_ += "/>";
        } else {
            staged_ += "</";
            staged_ += open_.back();
            staged_ += '>';
        }
        open_.pop_back();
        startTagOpen_ = false;
        if (staged_.size() >= kStageSize) pass();
    }

    void commit() override {
        while (!open_.empty()) endElement();
        staged_ += '\n';
        pass();
        const int closed = xmlOutputBufferClose(out_);
        out_ = nullptr;
        if (closed < 0 || error_ != 0) fail();
        if (const int code = file_.write(pending_); code != 0) throwWriteError(target_, code);
        if (const int code = file_.commit(); code != 0) throwWriteError(target_, code);
    }

  private:
    static constexpr std::size_t kStageSize = std::size_t{64} << 10;
    static constexpr std::size_t kWriteSize = std::size_t{1} << 20;

    // The declaration, then whatever lies outside the root, each followed by a line end, as
    // save() writes them; the old root is left out, and the new one comes after them all.
    void writeOutsideRoot(xmlDoc* doc) {
        staged_ = "<?xml version=";
        appendQuoted(staged_, doc->version != nullptr ? chars(doc->version) : "1.0");
        staged_ += " encoding=";
        appendQuoted(staged_, encoding_);
        if (doc->standalone == 0) staged_ += " standalone=\"no\"";
        if (doc->standalone == 1) staged_ += " standalone=\"yes\"";
        staged_ += "?>\n";
        pass();
        const xmlNode* root = rootOf(doc);
        for (xmlNode* child = doc->children; child != nullptr; child = child->next) {
            if (child == root) continue;
            xmlNodeDumpOutput(out_, doc, child, 0, 0, encoding_.c_str());
            xmlOutputBufferWrite(out_, 1, "\n");
        }
        if (out_->error != 0) fail();
    }

    // Names come from the program, a handful of them: each is checked once.
    const std::string& validName(std::string_view name, const char* what) {
        for (const std::string& known : names_)
            if (known == name) return known;
        const std::string utf8Name = codepage::toUtf8(name);
        if (xmlValidateName(xml(utf8Name.c_str()), 0) != 0)
            throw Error("'" + utf8Name + "' no es un nombre de " + what + " válido.");
        return names_.emplace_back(utf8Name);
    }

    // Hands the staged UTF-8 text to libxml2, which encodes it.
    void pass() {
        if (staged_.empty()) return;
        if (xmlOutputBufferWrite(out_, static_cast<int>(staged_.size()), staged_.data()) < 0)
            fail();
        staged_.clear();
    }

    // libxml2's output: gathered, and written to the file in large pieces.
    static int toFile(void* context, const char* bytes, int size) {
        auto* self = static_cast<StreamingWriter*>(context);
        self->pending_.append(bytes, static_cast<std::size_t>(size));
        if (self->pending_.size() >= kWriteSize) {
            if (const int code = self->file_.write(self->pending_); code != 0) {
                self->error_ = code;
                return -1;
            }
            self->pending_.clear();
        }
        return size;
    }

    [[noreturn]] void fail() {
        if (error_ != 0) throwWriteError(target_, error_);
        throw fileError("No se puede escribir el archivo", target_,
                        "el documento no se puede codificar");
    }

    const QuietLibxml quiet_;
    std::filesystem::path target_;
    file_io::FileBeside file_;
    std::string encoding_;
    xmlOutputBuffer* out_ = nullptr;
    std::string staged_;
    std::string pending_;
    int error_ = 0;
    std::vector<std::string> open_;
    std::deque<std::string> names_;
    bool startTagOpen_ = false;
};

class NodeWriter final : public ElementWriter {
  public:
    NodeWriter(CentreDocument& document, std::filesystem::path target)
        : document_(document), target_(std::move(target)) {}

    void startElement(std::string_view name) override {
        const Node node = document_.createElement(name);
        if (open_.empty()) {
            if (const Node old = document_.documentElement()) document_.removeChild(old);
            document_.appendChild(node);
        } else {
            open_.back().appendChild(node);
        }
        open_.push_back(node);
    }

    void attribute(std::string_view name, std::string_view cp1252value) override {
        if (open_.empty()) throw Error("No hay elemento al que poner el atributo.");
        open_.back().setAttribute(name, cp1252value);
    }

    void endElement() override {
        if (open_.empty()) throw Error("No hay elemento que cerrar.");
        open_.pop_back();
    }

    void commit() override {
        open_.clear();
        document_.save(target_);
    }

  private:
    CentreDocument& document_;
    std::filesystem::path target_;
    std::vector<Node> open_;
};

}  // namespace

std::unique_ptr<ElementWriter> streamReplacingRoot(const CentreDocument& document,
                                                   const std::filesystem::path& target) {
    return std::make_unique<StreamingWriter>(document.state().doc, target);
}

std::unique_ptr<ElementWriter> replacingRootAsNodes(CentreDocument& document,
                                                    const std::filesystem::path& target) {
    return std::make_unique<NodeWriter>(document, target);
}

}  // namespace lindavex::store
