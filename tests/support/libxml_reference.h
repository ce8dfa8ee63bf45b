#pragma once
// A centre file as libxml2 itself makes it into a whole tree, apart from the code under test:
// the answers the centre document must give (elements at a path, names, lines, parents,
// attributes), and the bytes a result file must have, which are those of the loaded file's
// tree with its root replaced and saved whole.
#include <libxml/SAX2.h>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xmlIO.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "store/codepage.h"
#include "store/error.h"
#include "store/xml/xml_cp1252.h"
#include "support/files.h"

namespace lindavex::testing {
namespace reference_detail {

inline const char* chars(const xmlChar* text) { return reinterpret_cast<const char*>(text); }
inline const xmlChar* xml(const char* text) { return reinterpret_cast<const xmlChar*>(text); }

inline xmlParserInputPtr refuseExternal(const char*, const char*, xmlParserCtxtPtr) {
    return nullptr;
}

// libxml2 keeps an element's line in 16 bits and stops counting at their maximum; past it the
// parser's own line goes into the element's psvi slot.
constexpr unsigned kLineFieldFull = 65535;
inline void startElementKeepingLine(void* context, const xmlChar* localName, const xmlChar* prefix,
                                    const xmlChar* uri, int namespaceCount,
                                    const xmlChar** namespaces, int attributeCount,
                                    int defaultedCount, const xmlChar** attributes) {
    xmlSAX2StartElementNs(context, localName, prefix, uri, namespaceCount, namespaces,
                          attributeCount, defaultedCount, attributes);
    auto* parser = static_cast<xmlParserCtxt*>(context);
    xmlNode* element = parser->node;
    if (element != nullptr && element->line >= kLineFieldFull && parser->input != nullptr)
        element->psvi = reinterpret_cast<void*>(static_cast<std::intptr_t>(parser->input->line));
}

// As the document parses a centre file: nothing fetched from outside, entity references kept,
// the defaults of the file's own document type applied. Null when it does not parse.
inline xmlDoc* parseAsTheDocument(const std::string& bytes, const std::string& url) {
    store::registerWindows1252Encoding();
    xmlSetExternalEntityLoader(&refuseExternal);
    const std::unique_ptr<xmlParserCtxt, void (*)(xmlParserCtxtPtr)> parser(xmlNewParserCtxt(),
                                                                            &xmlFreeParserCtxt);
    parser->sax->startElementNs = &startElementKeepingLine;
    return xmlCtxtReadMemory(
        parser.get(), bytes.data(), static_cast<int>(bytes.size()), url.c_str(), nullptr,
        XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING | XML_PARSE_DTDATTR);
}

struct FreeDoc {
    void operator()(xmlDoc* doc) const { xmlFreeDoc(doc); }
};
using DocPtr = std::unique_ptr<xmlDoc, FreeDoc>;

}  // namespace reference_detail

// A centre file's whole libxml2 tree, answering as the centre document does. Names and paths
// are UTF-8 as written in the file (prefix:local).
class ReferenceTree {
  public:
    explicit ReferenceTree(const std::filesystem::path& file)
        : doc_(reference_detail::parseAsTheDocument(readBytes(file), file.string())) {}

    const xmlNode* root() const { return doc_ ? xmlDocGetRootElement(doc_.get()) : nullptr; }

    // The elements at an absolute path of plain child steps, in document order.
    std::vector<const xmlNode*> select(std::string_view path) const {
        std::vector<const xmlNode*> level;
        std::vector<std::string_view> steps;
        for (std::size_t at = 0; at < path.size();) {
            const std::size_t end = std::min(path.find('/', at), path.size());
            if (end > at) steps.push_back(path.substr(at, end - at));
            at = end + 1;
        }
        if (steps.empty() || root() == nullptr || name(root()) != steps.front()) return level;
        level.push_back(root());
        for (std::size_t i = 1; i < steps.size(); ++i) {
            std::vector<const xmlNode*> next;
            for (const xmlNode* parent : level)
                for (const xmlNode* child = parent->children; child != nullptr; child = child->next)
                    if (child->type == XML_ELEMENT_NODE && name(child) == steps[i])
                        next.push_back(child);
            level = std::move(next);
        }
        return level;
    }

    static std::string name(const xmlNode* node) {
        std::string name;
        if (node->ns != nullptr && node->ns->prefix != nullptr)
            name = reference_detail::chars(node->ns->prefix) + std::string(":");
        return name + reference_detail::chars(node->name);
    }

    static int line(const xmlNode* node) {
        if (node->line < reference_detail::kLineFieldFull) return node->line;
        return static_cast<int>(reinterpret_cast<std::intptr_t>(node->psvi));
    }

    static const xmlNode* parent(const xmlNode* node) {
        return node->parent != nullptr && node->parent->type == XML_ELEMENT_NODE ? node->parent
                                                                                 : nullptr;
    }

    // The attribute's text with its entities expanded, trimmed; no value when the element lacks
    // it. Past the 16 MiB the document allows an attribute to expand to, the document's error.
    std::optional<std::string> attribute(const xmlNode* node, std::string_view wanted) const {
        for (const xmlAttr* a = node->properties; a != nullptr; a = a->next) {
            std::string attributeName;
            if (a->ns != nullptr && a->ns->prefix != nullptr)
                attributeName = reference_detail::chars(a->ns->prefix) + std::string(":");
            attributeName += reference_detail::chars(a->name);
            if (attributeName != wanted) continue;
            xmlChar* value = xmlNodeListGetString(doc_.get(), a->children, 1);
            std::string text = value != nullptr ? reference_detail::chars(value) : "";
            xmlFree(value);
            if (text.size() > (std::size_t{16} << 20))
                throw Error("El valor de un atributo se expande a demasiado texto.");
            return std::string(codepage::trim(text));
        }
        return std::nullopt;
    }

  private:
    reference_detail::DocPtr doc_;
};

// The bytes that the centre file's own tree, its root replaced by the result file's root (its
// elements and attributes, read back by libxml2), gives when libxml2 saves it whole: everything
// outside the root as loaded, in the loaded file's declared encoding (UTF-8 when it declares
// none), characters that encoding lacks as character references.
inline std::string savedWithRootOf(const std::filesystem::path& centreFile,
                                   const std::filesystem::path& resultFile) {
    using reference_detail::chars;
    using reference_detail::xml;
    const reference_detail::DocPtr doc(
        reference_detail::parseAsTheDocument(readBytes(centreFile), centreFile.string()));
    const std::string resultBytes = readBytes(resultFile);
    const reference_detail::DocPtr result(xmlReadMemory(resultBytes.data(),
                                                        static_cast<int>(resultBytes.size()),
                                                        nullptr, nullptr, XML_PARSE_NONET));
    if (!doc || !result) throw std::runtime_error("the centre file or the result does not parse");
    if (xmlNode* old = xmlDocGetRootElement(doc.get())) {
        xmlUnlinkNode(old);
        xmlFreeNode(old);
    }
    // Element by element and attribute by attribute, as nodes of the loaded document.
    const auto copy = [&](const auto& self, const xmlNode* from, xmlNode* parent) -> void {
        xmlNode* node = xmlNewDocNode(doc.get(), nullptr, from->name, nullptr);
        for (const xmlAttr* a = from->properties; a != nullptr; a = a->next) {
            xmlChar* value = xmlNodeListGetString(result.get(), a->children, 1);
            xmlNewProp(node, a->name, value != nullptr ? value : xml(""));
            xmlFree(value);
        }
        if (parent == nullptr)
            xmlDocSetRootElement(doc.get(), node);
        else
            xmlAddChild(parent, node);
        for (const xmlNode* child = from->children; child != nullptr; child = child->next)
            if (child->type == XML_ELEMENT_NODE) self(self, child, node);
    };
    copy(copy, xmlDocGetRootElement(result.get()), nullptr);
    xmlChar* text = nullptr;
    int size = 0;
    xmlDocDumpFormatMemoryEnc(doc.get(), &text, &size,
                              doc->encoding != nullptr ? chars(doc->encoding) : "UTF-8", 0);
    std::string bytes(text != nullptr ? chars(text) : "", static_cast<std::size_t>(size));
    xmlFree(text);
    return bytes;
}

}  // namespace lindavex::testing
