#include "store/xml/parse_error.h"

#include <libxml/xmlerror.h>

#include <string>

namespace lindavex::store {
namespace {

std::string quoted(const std::string& text) { return "«" + text + "»"; }

// libxml2's text on one line, without its trailing line break.
std::string oneLine(std::string text) {
    for (char& c : text)
        if (c == '\n' || c == '\r') c = ' ';
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text;
}

// "Bytes: 0xE1 0x74 0x69 0x63" of an encoding error, as the bytes alone.
std::string bytesOf(const std::string& name) {
    const std::string lead = "Bytes: ";
    return oneLine(name.starts_with(lead) ? name.substr(lead.size()) : name);
}

std::string sentence(const LibxmlError& e) {
    const std::string opened =
        e.number > 0 ? ", abierto en la línea " + std::to_string(e.number) : "";
    switch (e.code) {
        case XML_ERR_DOCUMENT_EMPTY:
            if (e.emptyFile) return "el archivo está vacío";
            return "el archivo no empieza por un elemento (falta «<»)";
        case XML_ERR_DOCUMENT_START:
            return "el archivo no empieza por un elemento (falta «<»)";
        case XML_ERR_DOCUMENT_END:
            return "hay algo después del cierre del elemento raíz, como un segundo elemento raíz; "
                   "un archivo XML tiene uno solo";
        case XML_ERR_TAG_NOT_FINISHED:
            return "el archivo se acaba antes de cerrar el elemento " + quoted(e.name) + opened +
                   "; quizá se cortó al copiarlo o descargarlo";
        case XML_ERR_TAG_NAME_MISMATCH:
            return "la etiqueta de cierre " + quoted("</" + e.other + ">") +
                   " no cierra el elemento " + quoted(e.name) + opened;
        case XML_ERR_GT_REQUIRED:
            return "la etiqueta del elemento " + quoted(e.name) + opened + " no se cierra con «>»";
        case XML_ERR_LTSLASH_REQUIRED:
            return "falta la etiqueta de cierre de un elemento";
        case XML_ERR_NAME_REQUIRED:
            return "un «<» no empieza un nombre de elemento válido; en un texto se escribe «&lt;»";
        case XML_ERR_INVALID_CHAR:
            if (e.name.starts_with("Bytes:")) {
                return "hay bytes que no son texto " +
                       (e.encoding.empty() ? std::string("UTF-8") : e.encoding) + " (" +
                       bytesOf(e.name) +
                       "); el archivo no declara la codificación que tiene o se guardó con otra";
            }
            if (e.message.find("CharRef") != std::string::npos)
                return "una referencia de carácter («&#…;») nombra un carácter que XML no admite";
            return "hay un carácter que XML no admite, como un carácter de control";
        case XML_ERR_INVALID_ENCODING:
            return "la codificación que declara el archivo no es la que tiene (" +
                   oneLine(e.message) + ")";
        case XML_ERR_UNSUPPORTED_ENCODING:
        case XML_ERR_UNKNOWN_ENCODING:
            return "el archivo declara la codificación " + quoted(e.name) + ", que no se conoce";
        case XML_ERR_UNDECLARED_ENTITY:
        case XML_WAR_UNDECLARED_ENTITY:
            return "la entidad " + quoted("&" + e.name + ";") +
                   " no está definida; un «&» suelto se escribe «&amp;»";
        case XML_ERR_ENTITYREF_SEMICOL_MISSING:
        case XML_ERR_NAME_TOO_LONG:
            return "un «&» no empieza una referencia válida; un «&» suelto se escribe «&amp;»";
        case XML_ERR_ENTITY_LOOP:
            return "las entidades del archivo se refieren unas a otras sin fin";
        case XML_ERR_LT_IN_ATTRIBUTE:
            return "el valor de un atributo tiene un «<»; se escribe «&lt;»";
        case XML_ERR_ATTRIBUTE_NOT_STARTED:
            return "el valor de un atributo no va entre comillas";
        case XML_ERR_ATTRIBUTE_NOT_FINISHED:
            return "el valor de un atributo no cierra sus comillas";
        case XML_ERR_ATTRIBUTE_WITHOUT_VALUE:
        case XML_ERR_EQUAL_REQUIRED:
            return "un atributo no tiene «=» y valor";
        case XML_ERR_ATTRIBUTE_REDEFINED:
            return "el atributo " + quoted(e.name) + " aparece dos veces en el mismo elemento";
        case XML_ERR_SPACE_REQUIRED:
            return "una etiqueta está mal escrita: le falta un espacio, un «=» o un «>», o le "
                   "sobra algo";
        case XML_ERR_COMMENT_NOT_FINISHED:
            return "un comentario («<!--») no se cierra con «-->»";
        case XML_ERR_CDATA_NOT_FINISHED:
            return "una sección «<![CDATA[» no se cierra con «]]>»";
        case XML_ERR_PI_NOT_FINISHED:
            return "una instrucción «<?…» no se cierra con «?>»";
        case XML_ERR_DOCTYPE_NOT_FINISHED:
            return "la declaración «<!DOCTYPE» no se cierra";
        case XML_ERR_RESERVED_XML_NAME:
            return "la declaración «<?xml …?>» no está al principio del archivo";
        case XML_ERR_NO_MEMORY:
            return "no hay memoria suficiente para leerlo";
        case XML_ERR_INTERNAL_ERROR:
            // libxml2's limit on nesting has no code of its own.
            if (e.message.starts_with("Excessive depth"))
                return "los elementos se anidan a más de " + std::to_string(e.number) + " niveles";
            break;
        default:
            break;
    }
    if (e.message.empty()) return "no se puede leer";
    return "error de XML: " + oneLine(e.message);
}

}  // namespace

std::string parseErrorText(const LibxmlError& error) {
    std::string text = "línea " + std::to_string(error.line);
    if (error.column > 0) text += ", columna " + std::to_string(error.column);
    return text + ": " + sentence(error);
}

}  // namespace lindavex::store
