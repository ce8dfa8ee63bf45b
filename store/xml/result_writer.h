#pragma once
// The result file of the second action: a loaded centre document with its root element
// replaced, streamed straight into the file, with no node per element.
#include <cstddef>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "store/xml/centre_document.h"

namespace lindavex::store {

// What takes a loaded document's root element in a result file, given element by element:
// the first element started is the new root, each later one goes into the innermost element
// still open. Names are the program's own, checked once each where they are named (an element
// or attribute written record after record is named once, before the loop); values are code
// page text.
class ElementWriter {
  public:
    using Name = std::size_t;
    virtual ~ElementWriter() = default;
    virtual Name elementName(std::string_view name) = 0;
    virtual Name attributeName(std::string_view name) = 0;

    virtual void startElement(Name name) = 0;
    // Of the element started last, before any element inside it starts.
    virtual void attribute(Name name, std::string_view cp1252value) = 0;
    // An attribute made ready once, for a value written in many elements, and written as it
    // stands: the same bytes as attribute(name, value), refused alike when it is made.
    virtual std::string preparedAttribute(Name name, std::string_view cp1252value) const = 0;
    virtual void attributeAsPrepared(std::string_view prepared) = 0;
    // By name, for an element or attribute written once.
    void startElement(std::string_view name) { startElement(elementName(name)); }
    void attribute(std::string_view name, std::string_view cp1252value) {
        attribute(attributeName(name), cp1252value);
    }
    virtual void endElement() = 0;
    // Ends what is still open and puts the whole file at the target (invariant 1 of
    // file_io.h). A writer dropped without commit() leaves the target as it was.
    virtual void commit() = 0;
};

// Streams the result into a file beside the target: everything the loaded document holds
// outside its root (declaration, document type, comments, processing instructions) as loaded,
// then the new root, in the loaded file's declared encoding (UTF-8 when it declares none) with
// character references for what it lacks. The bytes are those libxml2 writes when it saves the
// loaded file's tree with its root replaced by the same elements. Names that are not XML names
// and control characters that XML cannot carry are refused with lindavex::Error.
std::unique_ptr<ElementWriter> streamReplacingRoot(const CentreDocument& document,
                                                   const std::filesystem::path& target);

}  // namespace lindavex::store
