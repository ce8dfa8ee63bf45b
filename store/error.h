#pragma once
// Errors of the whole system: one exception type whose text is shown to the user as it stands.
#include <concepts>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>
#include <type_traits>

namespace lindavex {

// Texts are UTF-8. Values taken from tables or attributes (single-byte code page) are converted
// before they are put into a message (see codepage.h).
class Error : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// A path as messages show it: UTF-8 on every platform.
std::string utf8Path(const std::filesystem::path& path);

// Every error that names a file reads the same way: what failed, the file, and why when that is
// known, as in "No se puede abrir la tabla: C:\WTEMP\PROFT.DBF (permiso denegado)".
Error fileError(std::string_view what, const std::filesystem::path& file,
                std::string_view reason = {});
// The same for a file already named as text (UTF-8), such as a table's name in its messages.
Error namedFileError(std::string_view what, std::string_view utf8Name,
                     std::string_view reason = {});
// A name already made text would be read again as a path in the system's code page, which
// garbles it on Windows: such a name goes to namedFileError.
template <class Name>
requires std::same_as<std::remove_cvref_t<Name>, std::string> Error
fileError(std::string_view what, Name&& name, std::string_view reason = {})
= delete;

// Why a file call failed, in Spanish for the causes a user can act on; the system's own text
// for the rest. Empty for no error.
std::string reasonText(std::error_code reason);
std::string reasonText(int errnoValue);

}  // namespace lindavex
