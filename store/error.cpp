#include "store/error.h"

#include <utility>

namespace lindavex {

std::string utf8Path(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return {reinterpret_cast<const char*>(text.data()), text.size()};
}

Error fileError(std::string_view what, const std::filesystem::path& file, std::string_view reason) {
    return namedFileError(what, utf8Path(file), reason);
}

Error namedFileError(std::string_view what, std::string_view utf8Name, std::string_view reason) {
    std::string text(what);
    text += ": ";
    text += utf8Name;
    if (!reason.empty()) {
        text += " (";
        text += reason;
        text += ')';
    }
    return Error(text);
}

std::string reasonText(std::error_code reason) {
    if (!reason) return {};
    // Compared as portable conditions, so a Windows system error finds its text here too.
    static const std::pair<std::errc, const char*> kReasons[] = {
        {std::errc::no_such_file_or_directory, "no existe"},
        {std::errc::permission_denied, "permiso denegado"},
        {std::errc::operation_not_permitted, "operación no permitida"},
        {std::errc::read_only_file_system, "el disco es de solo lectura"},
        {std::errc::no_space_on_device, "no queda espacio en el disco"},
        {std::errc::file_too_large, "el archivo es demasiado grande"},
        {std::errc::is_a_directory, "es una carpeta"},
        {std::errc::not_a_directory, "una parte de la ruta no es una carpeta"},
        {std::errc::file_exists, "ya existe"},
        {std::errc::directory_not_empty, "la carpeta no está vacía"},
        {std::errc::device_or_resource_busy, "está en uso"},
        {std::errc::resource_unavailable_try_again, "está en uso por otro programa"},
        {std::errc::operation_would_block, "está en uso por otro programa"},
        {std::errc::too_many_files_open, "hay demasiados archivos abiertos"},
        {std::errc::filename_too_long, "el nombre es demasiado largo"},
        {std::errc::cross_device_link, "no se puede mover a otro disco"},
        {std::errc::io_error, "error de lectura o escritura en el disco"},
        {std::errc::not_enough_memory, "no hay memoria suficiente"},
        {std::errc::invalid_argument, "nombre o argumento no válido"},
    };
    for (const auto& [condition, text] : kReasons)
        if (reason == condition) return text;
    return reason.message();
}

std::string reasonText(int errnoValue) {
    return reasonText(std::error_code(errnoValue, std::generic_category()));
}

}  // namespace lindavex
