// The result file's name and the export time it carries.
#include <gtest/gtest.h>

#include <filesystem>

#include "toxml/export_time.h"
#include "toxml/export_time_shown.h"
#include "toxml/result_export.h"

namespace lindavex::testing {
namespace {

namespace fs = std::filesystem;

TEST(ResultFileName, PrefixesTheFileNameInTheSameFolder) {
    EXPECT_EQ(toxml::resultFileName("/datos/centro.xml"),
              fs::path("/datos/ResultadoVelmarcentro.xml"));
    EXPECT_EQ(toxml::resultFileName(toxml::resultFileName("/datos/centro.xml")),
              fs::path("/datos/ResultadoVelmarResultadoVelmarcentro.xml"));
    EXPECT_EQ(toxml::resultFileName("centro.xml"), fs::path("ResultadoVelmarcentro.xml"));
    EXPECT_EQ(toxml::resultFileName("/a.b/centro.XML"), fs::path("/a.b/ResultadoVelmarcentro.XML"));
}

TEST(ExportTime, SpanishShortDateAndLongTime) {
    EXPECT_EQ(toxml::formatExportTime({2026, 3, 7, 9, 5, 1}), exportTime("07/03/2026 09:05:01"));
    EXPECT_EQ(toxml::formatExportTime({1999, 12, 31, 23, 59, 59}),
              exportTime("31/12/1999 23:59:59", {1999, 12, 31, 23, 59, 59}));
}

}  // namespace
}  // namespace lindavex::testing
