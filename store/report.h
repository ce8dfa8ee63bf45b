#pragma once
// Lists of findings as the user reads them, the same for both actions: grouped text for the
// console and the window's details, and CSV for a spreadsheet. UTF-8 throughout.
#include <string>
#include <string_view>
#include <vector>

namespace lindavex::report {

// One group of a listing: its heading and its lines, in the order shown.
struct Group {
    std::string heading;
    std::vector<std::string> lines;
};

// A code or name read from a file or a table as a listing shows it: a line break or another
// control character escaped (\n, \r, \t, \x01), so that every finding keeps its one line.
// escaped() takes text in either encoding, since UTF-8 and the code page share those
// characters; shown() and quoted() take code page text and give UTF-8, quoted() between «».
std::string escaped(std::string_view text);
std::string shown(std::string_view cp1252);
std::string quoted(std::string_view cp1252);
void appendQuoted(std::string& out, std::string_view cp1252);  // quoted(), appended to out
void appendShown(std::string& out, std::string_view cp1252);   // shown(), appended to out

// "heading (count):" and each line indented below it; a blank line between groups. Groups
// without lines are left out, so no group at all gives an empty text.
std::string groupedText(const std::vector<Group>& groups);

// A CSV as a spreadsheet with Spanish settings opens it by double-click: a UTF-8 byte-order
// mark, so that accents come out right, and ';' between fields, since there ',' is the decimal
// separator. A field holding ';', '"' or a line break is quoted. A field that begins as a
// spreadsheet formula would ('=', '+', '-', '@', a tab or a carriage return) is written behind
// an apostrophe, so that the spreadsheet shows it as text and never evaluates it.
class Csv {
  public:
    explicit Csv(const std::vector<std::string_view>& header);
    void row(const std::vector<std::string_view>& fields);
    const std::string& text() const { return text_; }

  private:
    std::string text_;
};

inline constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// The first characters that make a spreadsheet read a cell as a formula.
inline constexpr std::string_view kFormulaStarts = "=+-@\t\r";
bool startsAsFormula(std::string_view field);

}  // namespace lindavex::report
