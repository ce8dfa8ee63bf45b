#pragma once
// Why a file does not parse, as a school reads it: libxml2's first error in one Spanish
// sentence. Used by centre_document.cpp alone.
#include <string>

namespace lindavex::store {

// The parts of libxml2's error that the sentence uses.
struct LibxmlError {
    int code = 0;            // an xmlParserErrors value
    int line = 0;            // 0 when unknown
    int column = 0;          // 0 when unknown
    int number = 0;          // libxml2's int1: the line an element opened on, a depth
    std::string name;        // libxml2's str1: an element, attribute, entity or encoding
    std::string other;       // libxml2's str2: the closing tag that does not match
    std::string message;     // libxml2's own text, for errors without a sentence of their own
    std::string encoding;    // the encoding the file declares; empty for none
    bool emptyFile = false;  // the file holds nothing but blanks
};

// "línea 3, columna 7: el archivo se acaba antes de cerrar el elemento «Materias», abierto en
// la línea 1", without a line break. Errors without a sentence of their own keep libxml2's
// text after a Spanish lead.
std::string parseErrorText(const LibxmlError& error);

}  // namespace lindavex::store
