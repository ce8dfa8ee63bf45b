// Findings lists: the CSV reads back field for field as a spreadsheet splits it, whatever the
// fields hold, and grouped text leaves out empty groups.
#include "store/report.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace lindavex::report {
namespace {

// Rows as a spreadsheet reads a ';'-separated file: quoted fields may hold anything, "" is a
// quote inside them.
std::vector<std::vector<std::string>> readCsv(std::string_view text) {
    std::vector<std::vector<std::string>> rows(1, std::vector<std::string>(1));
    bool quoted = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted && c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
            rows.back().back() += '"';
            ++i;
        } else if (c == '"') {
            quoted = !quoted;
        } else if (!quoted && c == ';') {
            rows.back().emplace_back();
        } else if (!quoted && c == '\n') {
            rows.emplace_back(1);
        } else {
            rows.back().back() += c;
        }
    }
    rows.pop_back();  // after the last line's end
    return rows;
}

TEST(Csv, ReadsBackFieldForFieldWithAByteOrderMarkFirst) {
    std::mt19937 random(20);
    const std::string alphabet = "ab;\",\r\n ñ";
    const std::vector<std::string_view> header = {"tipo", "registro", "mensaje"};
    std::vector<std::vector<std::string>> rows = {{"tipo", "registro", "mensaje"}};
    Csv csv(header);
    for (int n = 0; n < 500; ++n) {
        std::vector<std::string> row(3);
        for (std::string& field : row)
            for (std::size_t k = random() % 6; k > 0; --k)
                field += alphabet[random() % alphabet.size()];
        csv.row({row[0], row[1], row[2]});
        rows.push_back(row);
    }
    ASSERT_EQ(csv.text().substr(0, 3), kByteOrderMark);
    EXPECT_EQ(readCsv(csv.text().substr(3)), rows);
    EXPECT_EQ(Csv({"a", "b,c"}).text().substr(3), "a;b,c\n");  // a comma needs no quotes
}

TEST(GroupedText, HeadingsCountTheirLinesAndEmptyGroupsAreLeftOut) {
    EXPECT_EQ(groupedText({{"Sin escribir", {"registro 1", "registro 4"}},
                           {"Vacío", {}},
                           {"Escritos sin aula", {"registro 2"}}}),
              "Sin escribir (2):\n  registro 1\n  registro 4\n\nEscritos sin aula (1):\n"
              "  registro 2\n");
    EXPECT_EQ(groupedText({{"Vacío", {}}}), "");
}

}  // namespace
}  // namespace lindavex::report
