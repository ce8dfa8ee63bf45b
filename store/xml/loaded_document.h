#pragma once
// What a loaded centre document is made of, for the document (centre_document.cpp) and the
// result writer (result_writer.cpp) alone: the compact form of its elements, and libxml2's own
// document of what lies outside the root (declaration, document type and its entities,
// comments, processing instructions).
#include <libxml/globals.h>
#include <libxml/tree.h>
#include <libxml/xmlerror.h>

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace lindavex::store {

inline constexpr std::uint32_t kNoElement = UINT32_MAX;

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
    std::uint32_t offset = 0;  // of the value in CompactDocument::values
    std::uint32_t length = 0;
    // The value as the parser left it, entity references unexpanded; expanded when read, under
    // bounds (see AttributeText).
    bool references = false;
};

struct FreeXmlDoc {
    void operator()(xmlDoc* doc) const { xmlFreeDoc(doc); }
};

// Every element of a file with its attributes, in document order; names (prefix:local, UTF-8)
// interned, values side by side in one string.
struct CompactDocument {
    std::vector<CompactElement> elements;
    std::vector<CompactAttribute> attributes;
    std::string values;
    std::vector<std::string> names;
    std::vector<std::string> codePageNames;  // the same names in the code page, made once
    std::unordered_map<std::string, std::uint32_t> ids;
    // What lies outside the root, with the entities the attributes refer to; never null.
    std::unique_ptr<xmlDoc, FreeXmlDoc> outside;

    std::uint32_t idOf(const std::string& name) const {
        const auto found = ids.find(name);
        return found == ids.end() ? kNoElement : found->second;
    }
};

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

}  // namespace lindavex::store
