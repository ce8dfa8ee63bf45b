#include "shell/settings_file.h"

#include <fstream>
#include <sstream>
#include <system_error>
#include <vector>

#include "store/codepage.h"
#include "store/error.h"
#include "store/files/file_io.h"

namespace lindavex::shell {
namespace fs = std::filesystem;
namespace {

struct Line {
    std::string_view content;  // without its line ending
    std::string_view ending;   // "\r\n", "\n" or empty for an unterminated last line
};

std::vector<Line> splitLines(std::string_view text) {
    std::vector<Line> lines;
    while (!text.empty()) {
        const std::size_t newline = text.find('\n');
        if (newline == std::string_view::npos) {
            lines.push_back({text, {}});
            break;
        }
        std::size_t end = newline;
        if (end > 0 && text[end - 1] == '\r') --end;
        lines.push_back({text.substr(0, end), text.substr(end, newline + 1 - end)});
        text.remove_prefix(newline + 1);
    }
    return lines;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

// The name of a "[Section]" line, or no value for any other line.
std::optional<std::string_view> sectionName(std::string_view content, bool firstLine) {
    if (firstLine && content.starts_with("\xEF\xBB\xBF")) content.remove_prefix(3);
    content = codepage::trim(content);
    if (!content.starts_with('[')) return std::nullopt;
    content.remove_prefix(1);
    return codepage::trim(content.substr(0, content.find(']')));
}

// The key of a "Key=Value" line, or no value for comments and lines without "=".
std::optional<std::string_view> keyName(std::string_view content) {
    const std::string_view trimmed = codepage::trim(content);
    if (trimmed.starts_with(';')) return std::nullopt;
    const std::size_t equals = content.find('=');
    if (equals == std::string_view::npos) return std::nullopt;
    return codepage::trim(content.substr(0, equals));
}

// Where a section and a key sit among the lines; positions are line indices.
struct Found {
    std::optional<std::size_t> section;  // header line
    std::size_t sectionEnd = 0;          // first line after the section
    std::optional<std::size_t> key;
    std::optional<std::size_t> lastNonBlank;  // within the section, header included
};

Found find(const std::vector<Line>& lines, std::string_view section, std::string_view key) {
    Found found;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const auto name = sectionName(lines[i].content, i == 0);
        if (found.section) {
            if (name) break;
            if (!codepage::trim(lines[i].content).empty()) found.lastNonBlank = i;
            const auto lineKey = keyName(lines[i].content);
            if (!found.key && lineKey && equalsIgnoringCase(*lineKey, key)) found.key = i;
            found.sectionEnd = i + 1;
        } else if (name && equalsIgnoringCase(*name, section)) {
            found.section = i;
            found.lastNonBlank = i;
            found.sectionEnd = i + 1;
        }
    }
    return found;
}

[[noreturn]] void unableToWrite(const fs::path& file) {
    throw Error("Unable to write to " + file.string());
}

}  // namespace

std::string setProfileValue(std::string_view text, std::string_view section, std::string_view key,
                            std::string_view value) {
    const std::vector<Line> lines = splitLines(text);
    std::string_view newline = "\r\n";
    if (!lines.empty() && !lines.front().ending.empty()) newline = lines.front().ending;
    const Found found = find(lines, section, key);

    std::string out;
    out.reserve(text.size() + section.size() + key.size() + value.size() + 8);
    const auto keyLine = [&] { return std::string(key) + "=" + std::string(value); };

    if (!found.section) {
        out.append(text);
        if (!lines.empty() && lines.back().ending.empty()) out.append(newline);
        out.append("[").append(section).append("]").append(newline);
        out.append(keyLine()).append(newline);
        return out;
    }
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const Line& line = lines[i];
        if (found.key && i == *found.key) {
            // The key keeps its spelling and the text before "="; only the value changes.
            out.append(line.content.substr(0, line.content.find('=') + 1)).append(value);
            out.append(line.ending);
            continue;
        }
        out.append(line.content).append(line.ending);
        if (!found.key && i == *found.lastNonBlank) {
            // An unterminated last line gets an ending; the added line then has none, so the
            // file still ends without one.
            if (line.ending.empty()) {
                out.append(newline).append(keyLine());
            } else {
                out.append(keyLine()).append(newline);
            }
        }
    }
    return out;
}

std::optional<std::string> profileValue(std::string_view text, std::string_view section,
                                        std::string_view key) {
    const std::vector<Line> lines = splitLines(text);
    const Found found = find(lines, section, key);
    if (!found.key) return std::nullopt;
    const std::string_view content = lines[*found.key].content;
    return std::string(codepage::trim(content.substr(content.find('=') + 1)));
}

namespace {

std::optional<std::string> readWhole(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) return std::nullopt;
    std::ostringstream content;
    content << in.rdbuf();
    if (in.bad()) return std::nullopt;
    return content.str();
}

}  // namespace

void writeProfileString(const fs::path& file, std::string_view section, std::string_view key,
                        std::string_view value) {
    std::error_code ec;
    // Edit the file a link points to, not the link.
    fs::path target = file;
    if (fs::is_symlink(file, ec)) target = fs::weakly_canonical(file, ec);
    const fs::file_status status = fs::status(target, ec);
    std::string text;
    fs::perms mode = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                     fs::perms::others_read;
    if (fs::exists(status)) {
        constexpr fs::perms anyWrite =
            fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
        // A file without write permission is read-only even for a user who could override it.
        if (!fs::is_regular_file(status) || (status.permissions() & anyWrite) == fs::perms::none)
            unableToWrite(file);
        auto content = readWhole(target);
        if (!content) unableToWrite(file);
        text = std::move(*content);
        mode = status.permissions();
    } else if (ec && ec != std::errc::no_such_file_or_directory) {
        unableToWrite(file);
    }

    const std::string edited = setProfileValue(text, section, key, value);
    // Invariant 1 of store/files/file_io.h: a failure (or a crash) leaves the old file whole.
    if (store::file_io::replaceFile(target, edited, static_cast<mode_t>(mode)) != 0)
        unableToWrite(file);
}

std::optional<std::string> readProfileString(const fs::path& file, std::string_view section,
                                             std::string_view key) {
    const auto content = readWhole(file);
    if (!content) return std::nullopt;
    return profileValue(*content, section, key);
}

}  // namespace lindavex::shell
