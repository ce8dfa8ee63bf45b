// The production index of COUNTSES, read back by an independent reader (XBase::Index from
// Debian's libdbd-xbase-perl): tag NSES, keys ascending with their record numbers.
#include "store/dbase/mdx.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <sstream>

#include "store/dbase/table.h"
#include "support/recreate_table.h"
#include "support/scratch_dir.h"

namespace lindavex::store {
namespace {

using testing::ScratchDir;

struct Listing {
    std::string tags;
    std::vector<std::pair<double, std::size_t>> keys;  // value, 1-based record number
};

bool haveXBase() { return std::system("perl -MXBase::Index -e 1 >/dev/null 2>&1") == 0; }

Listing listIndex(const std::filesystem::path& mdx, const std::string& tag) {
    const std::string command = std::string("perl '") + LINDAVEX_SOURCE_DIR +
                                "/tests/store/mdx_list.pl' '" + mdx.string() + "' " + tag + " 2>&1";
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) throw std::runtime_error("cannot run perl");
    std::string output;
    char buffer[4096];
    while (std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) output.append(buffer, n);
    if (::pclose(pipe) != 0) throw std::runtime_error("perl failed: " + output);
    Listing listing;
    std::istringstream lines(output);
    std::string line;
    std::getline(lines, listing.tags);
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        double value = 0;
        std::size_t record = 0;
        fields >> value >> record;
        listing.keys.emplace_back(value, record);
    }
    return listing;
}

const std::vector<FieldDef> kCountses = {{"DURACION", FieldType::Text, 10},
                                         {"NSES", FieldType::Integer}};

// Fills COUNTSES with these NSES values and returns what the index must list: values
// ascending, equal values in record order.
std::vector<std::pair<double, std::size_t>> fill(const std::filesystem::path& dir,
                                                 const std::vector<std::int32_t>& values) {
    recreateTable(dir, "COUNTSES", kCountses, {{"NSES", "NSES"}});
    Table t = Table::open(dir, "COUNTSES", Table::Mode::Shared);
    std::vector<std::pair<double, std::size_t>> expected;
    for (std::size_t i = 0; i < values.size(); ++i) {
        t.append();
        t.setText("DURACION", std::to_string(i));
        t.setInteger("NSES", values[i]);
        t.post();
        expected.emplace_back(values[i], i + 1);
    }
    t.close();
    std::stable_sort(expected.begin(), expected.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    return expected;
}

class MdxTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!haveXBase()) GTEST_SKIP() << "perl with XBase::Index (libdbd-xbase-perl) is missing";
    }
    ScratchDir dir;
};

TEST_F(MdxTest, EveryKeyIsListedInAscendingOrderUnderTheTag) {
    // 5000 keys make about 80 leaves under two levels of branches.
    std::mt19937 random(7);
    std::vector<std::int32_t> many(5000);
    for (auto& v : many) v = static_cast<std::int32_t>(random() % 2000) - 300;
    for (const auto& values : {std::vector<std::int32_t>{},
                               std::vector<std::int32_t>{55, 3, 0, 12, 3, -7, 100000}, many}) {
        SCOPED_TRACE(values.size());
        const auto expected = fill(dir.path(), values);
        const Listing listing = listIndex(dir / "COUNTSES.MDX", "NSES");
        EXPECT_EQ(listing.tags, "tags: NSES");
        EXPECT_EQ(listing.keys, expected);
    }
}

TEST_F(MdxTest, TheIndexFollowsEditsWhenTheTableIsClosedAgain) {
    fill(dir.path(), {1, 2, 3});
    {
        // Reopened: the engine learns the tag from the index file itself.
        Table t = Table::open(dir.path(), "COUNTSES", Table::Mode::Exclusive);
        ASSERT_TRUE(t.lookup("NSES", "1"));
        t.edit();
        t.setInteger("NSES", 9);
        t.post();
        t.append();
        t.setInteger("NSES", 0);
        t.post();
    }
    Listing listing = listIndex(dir / "COUNTSES.MDX", "NSES");
    EXPECT_EQ(listing.tags, "tags: NSES");
    EXPECT_EQ(listing.keys,
              (std::vector<std::pair<double, std::size_t>>{{0, 4}, {2, 2}, {3, 3}, {9, 1}}));
}

TEST(MdxKeyTest, NumericKeysHaveTheDecimalDigitForm) {
    auto bytes = [](double v) {
        std::string k = mdx::numericKey(v);
        std::string hex;
        char b[3];
        for (char c : k) {
            std::snprintf(b, sizeof b, "%02X", static_cast<unsigned char>(c));
            hex += b;
        }
        return hex;
    };
    EXPECT_EQ(bytes(0), "340100000000000000000000");
    EXPECT_EQ(bytes(12), "360912000000000000000000");
    EXPECT_EQ(bytes(-5), "358550000000000000000000");
    EXPECT_EQ(bytes(100), "370D10000000000000000000");
    EXPECT_EQ(bytes(0.5), "340550000000000000000000");
    EXPECT_EQ(bytes(2.75), "350D27500000000000000000");
}

}  // namespace
}  // namespace lindavex::store
