#pragma once
// The system's single-byte code page: Windows-1252 (Western European). Every value that
// the actions handle, in tables and when read from the centre document, is text in this code page.
#include <string>
#include <string_view>

namespace lindavex::codepage {

// UTF-8 to Windows-1252; a character that the code page lacks becomes '?'.
// Malformed UTF-8 sequences also become '?'.
std::string fromUtf8(std::string_view utf8);
// The same into `out`, whose room serves again; `utf8` is not to be a view of `out`.
void fromUtf8(std::string_view utf8, std::string& out);

// Windows-1252 to UTF-8; the five bytes that 1252 leaves undefined map to U+0081 etc.
std::string toUtf8(std::string_view cp1252);

// ASCII reads the same in UTF-8 and in the code page, and goes through either conversion as it is.
bool isAscii(std::string_view text);

// The Unicode code point of a code page byte.
char32_t codePointOf(unsigned char byte);

// Removes leading and trailing characters below code 33 (blanks and control characters).
std::string_view trim(std::string_view text);

}  // namespace lindavex::codepage
