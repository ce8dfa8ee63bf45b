// How every error naming a file reads: what failed, the file, and why in Spanish.
#include "store/error.h"

#include <gtest/gtest.h>

#include <cerrno>

namespace lindavex {
namespace {

TEST(FileError, WhatFailedTheFileAndWhy) {
    EXPECT_STREQ(fileError("No se puede abrir la tabla", "/w/PROFT.DBF", reasonText(EACCES)).what(),
                 "No se puede abrir la tabla: /w/PROFT.DBF (permiso denegado)");
    EXPECT_STREQ(fileError("No existe la tabla", "/w/SOLUC.DBF").what(),
                 "No existe la tabla: /w/SOLUC.DBF");
    const struct {
        std::error_code reason;
        std::string text;
    } reasons[] = {
        {{}, ""},
        {std::make_error_code(std::errc::no_such_file_or_directory), "no existe"},
        {std::make_error_code(std::errc::no_space_on_device), "no queda espacio en el disco"},
        {std::make_error_code(std::errc::read_only_file_system), "el disco es de solo lectura"},
        // Not a cause a user can act on: the system's own text.
        {std::make_error_code(std::errc::bad_address),
         std::make_error_code(std::errc::bad_address).message()},
    };
    for (const auto& r : reasons) EXPECT_EQ(reasonText(r.reason), r.text) << r.reason.message();
    EXPECT_EQ(reasonText(EWOULDBLOCK), "está en uso por otro programa");
}

}  // namespace
}  // namespace lindavex
