#pragma once
// Errors of the whole system: one exception type whose text is shown to the user as it stands.
#include <stdexcept>
#include <string>

namespace lindavex {

// Texts are UTF-8. Values taken from tables or attributes (single-byte code page) are converted
// before they are put into a message (see codepage.h).
class Error : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

}  // namespace lindavex
