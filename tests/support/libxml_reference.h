#pragma once
// A centre file as libxml2 itself makes it into a whole tree, apart from the code under test:
// the bytes a result file must have, which are those of the loaded file's tree with its root
// replaced and saved whole.
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xmlIO.h>

#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>

#include "store/xml/xml_cp1252.h"
#include "support/files.h"

namespace lindavex::testing {
namespace reference_detail {

inline const char* chars(const xmlChar* text) { return reinterpret_cast<const char*>(text); }
inline const xmlChar* xml(const char* text) { return reinterpret_cast<const xmlChar*>(text); }

inline xmlParserInputPtr refuseExternal(const char*, const char*, xmlParserCtxtPtr) {
    return nullptr;
}

// As the document parses a centre file: nothing fetched from outside, entity references kept,
// the defaults of the file's own document type applied. Null when it does not parse.
inline xmlDoc* parseAsTheDocument(const std::string& bytes, const std::string& url) {
    store::registerWindows1252Encoding();
    xmlSetExternalEntityLoader(&refuseExternal);
    const std::unique_ptr<xmlParserCtxt, void (*)(xmlParserCtxtPtr)> parser(xmlNewParserCtxt(),
                                                                            &xmlFreeParserCtxt);
    return xmlCtxtReadMemory(
        parser.get(), bytes.data(), static_cast<int>(bytes.size()), url.c_str(), nullptr,
        XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING | XML_PARSE_DTDATTR);
}

struct FreeDoc {
    void operator()(xmlDoc* doc) const { xmlFreeDoc(doc); }
};
using DocPtr = std::unique_ptr<xmlDoc, FreeDoc>;

}  // namespace reference_detail

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
