// Every saved fuzz input (the seed corpora and the inputs of past findings) through the same
// code the fuzz targets run, so that a fixed finding stays fixed in the ordinary test run.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz/feed_centre_document.h"
#include "fuzz/feed_dbf_table.h"
#include "fuzz/feed_settings_file.h"

namespace {

namespace fs = std::filesystem;

std::vector<fs::path> savedInputs(const std::string& target) {
    std::vector<fs::path> files;
    for (const char* kind : {"corpus", "regressions"}) {
        const fs::path dir = fs::path(LINDAVEX_SOURCE_DIR) / "fuzz" / kind / target;
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator(dir, ec))
            if (entry.is_regular_file()) files.push_back(entry.path());
    }
    return files;
}

template <typename Feed>
void feedAll(const std::string& target, Feed feed, std::size_t atLeast) {
    const std::vector<fs::path> files = savedInputs(target);
    ASSERT_GE(files.size(), atLeast) << target;
    for (const fs::path& file : files) {
        SCOPED_TRACE(file.string());
        std::ifstream in(file, std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)), {});
        feed(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    }
}

TEST(FuzzRegressions, TableReader) { feedAll("dbf_table", lindavex::fuzz::feedDbfTable, 8); }

TEST(FuzzRegressions, CentreFileThroughBothActions) {
    feedAll("centre_document", lindavex::fuzz::feedCentreDocument, 2);
}

TEST(FuzzRegressions, SettingsFile) {
    feedAll("settings_file", lindavex::fuzz::feedSettingsFile, 3);
}

}  // namespace
