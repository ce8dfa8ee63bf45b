#include "store/report.h"

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "store/codepage.h"

namespace lindavex::report {

namespace {

bool isControl(char c) {
    return static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) == 0x7F;
}

bool hasControl(std::string_view text) {
    return std::any_of(text.begin(), text.end(), [](char c) { return isControl(c); });
}

}  // namespace

std::string escaped(std::string_view text) {
    if (!hasControl(text)) return std::string(text);
    std::string out;
    for (const char c : text) {
        if (!isControl(c)) {
            out += c;
            continue;
        }
        switch (c) {
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default: {
                static constexpr char kHex[] = "0123456789ABCDEF";
                const auto byte = static_cast<unsigned char>(c);
                out += "\\x";
                out += kHex[byte >> 4];
                out += kHex[byte & 0xF];
            }
        }
    }
    return out;
}

std::string shown(std::string_view cp1252) {
    std::string text = escaped(cp1252);
    // Codes are mostly ASCII, the same in both.
    if (codepage::isAscii(text)) return text;
    return codepage::toUtf8(text);
}

void appendShown(std::string& out, std::string_view cp1252) {
    // Plain ASCII, as codes mostly are, is shown as it stands.
    if (codepage::isAscii(cp1252) && !hasControl(cp1252))
        out += cp1252;
    else
        out += shown(cp1252);
}

void appendQuoted(std::string& out, std::string_view cp1252) {
    out += "«";
    appendShown(out, cp1252);
    out += "»";
}

std::string quoted(std::string_view cp1252) {
    std::string out;
    appendQuoted(out, cp1252);
    return out;
}

std::string groupedText(const std::vector<Group>& groups) {
    std::size_t size = 0;
    for (const Group& group : groups)
        for (const std::string& line : group.lines) size += line.size() + 3;
    std::string text;
    text.reserve(size + 80 * groups.size());
    for (const Group& group : groups) {
        if (group.lines.empty()) continue;
        if (!text.empty()) text += '\n';
        text += group.heading + " (" + std::to_string(group.lines.size()) + "):\n";
        for (const std::string& line : group.lines) {
            text += "  ";
            text += line;
            text += '\n';
        }
    }
    return text;
}

Csv::Csv(const std::vector<std::string_view>& header) : text_(kByteOrderMark) { row(header); }

bool startsAsFormula(std::string_view field) {
    return !field.empty() && kFormulaStarts.find(field.front()) != std::string_view::npos;
}

void Csv::row(const std::vector<std::string_view>& fields) {
    bool first = true;
    for (const std::string_view field : fields) {
        if (!first) text_ += ';';
        first = false;
        // Codes come from files that others wrote: one a spreadsheet would take for a formula
        // is shown as text instead, behind an apostrophe.
        const std::string_view apostrophe = startsAsFormula(field) ? "'" : "";
        if (field.find_first_of(";\"\r\n") == std::string_view::npos) {
            text_ += apostrophe;
            text_ += field;
            continue;
        }
        text_ += '"';
        text_ += apostrophe;
        for (const char c : field) {
            if (c == '"') text_ += '"';
            text_ += c;
        }
        text_ += '"';
    }
    text_ += '\n';
}

}  // namespace lindavex::report
