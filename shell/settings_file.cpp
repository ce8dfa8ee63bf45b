#include "shell/settings_file.h"

#include <algorithm>
#include <cwctype>
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
    throw Error("Unable to write to " + utf8Path(file));
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
    std::string content;
    if (store::file_io::readFile(file, content) != 0) return std::nullopt;
    return content;
}

// Edits the file (the one a link points to); false when it cannot be read or written, is
// read-only, or is not a regular file, and then it stays as it was.
bool editProfile(const fs::path& file, std::string_view section, std::string_view key,
                 std::string_view value) {
    std::error_code ec;
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
            return false;
        auto content = readWhole(target);
        if (!content) return false;
        text = std::move(*content);
        mode = status.permissions();
    } else if (ec && ec != std::errc::no_such_file_or_directory) {
        return false;
    }
    const std::string edited = setProfileValue(text, section, key, value);
    // Invariant 1 of store/files/file_io.h: a failure (or a crash) leaves the old file whole.
    // The file belongs to the product: it keeps the access list the school gave it.
    return store::file_io::replaceFileKeepingAccess(target, edited, static_cast<mode_t>(mode)) == 0;
}

// Creates the folders of `dir` that are missing, outermost first.
bool createFolders(const fs::path& dir) {
    std::error_code ec;
    std::vector<fs::path> missing;
    for (fs::path at = dir; !at.empty() && !fs::exists(at, ec); at = at.parent_path()) {
        missing.push_back(at);
        if (at == at.parent_path()) break;
    }
    for (auto it = missing.rbegin(); it != missing.rend(); ++it)
        if (store::file_io::mkdir(*it) != 0 && !fs::is_directory(*it, ec)) return false;
    return fs::is_directory(dir, ec);
}

// The first write of a legacy program to a file it may not write: its VirtualStore copy, made
// from the file's bytes (none when the file is missing) with the one line changed.
bool makeVirtualStoreCopy(const fs::path& file, const fs::path& copy, std::string_view section,
                          std::string_view key, std::string_view value) {
    std::error_code ec;
    std::string text;
    if (fs::exists(file, ec)) {
        auto content = fs::is_regular_file(file, ec) ? readWhole(file) : std::nullopt;
        if (!content) return false;
        text = std::move(*content);
    }
    return createFolders(copy.parent_path()) &&
           store::file_io::replaceFile(copy, setProfileValue(text, section, key, value), 0644) == 0;
}

// Letter case folded as Windows folds it for names: ASCII in narrow names (POSIX, where only
// tests ask), every letter in wide ones.
template <class Char>
Char folded(Char c) {
    if constexpr (sizeof(Char) == 1) {
        return c >= 'A' && c <= 'Z' ? static_cast<Char>(c - 'A' + 'a') : c;
    } else {
        return static_cast<Char>(std::towlower(static_cast<std::wint_t>(c)));
    }
}

bool sameName(const fs::path& a, const fs::path& b) {
    const auto& x = a.native();
    const auto& y = b.native();
    return x.size() == y.size() && std::equal(x.begin(), x.end(), y.begin(), [](auto p, auto q) {
               return folded(p) == folded(q);
           });
}

// Whether `file` lies inside `folder`, both full paths.
bool liesIn(const fs::path& file, const fs::path& folder) {
    auto f = file.begin();
    for (const fs::path& part : folder) {
        if (part.empty()) continue;  // a trailing separator
        if (f == file.end() || !sameName(*f, part)) return false;
        ++f;
    }
    return f != file.end();
}

}  // namespace

void writeProfileString(const fs::path& file, std::string_view section, std::string_view key,
                        std::string_view value) {
    if (!editProfile(file, section, key, value)) unableToWrite(file);
}

std::optional<fs::path> virtualStoreCopy(const fs::path& file, const VirtualStore& virtualization) {
    const fs::path normal = file.lexically_normal();
    for (const fs::path& folder : virtualization.folders)
        if (!folder.empty() && liesIn(normal, folder.lexically_normal()))
            return virtualization.store / normal.relative_path();
    return std::nullopt;
}

void writeProfileStringSeenByLegacyPrograms(const fs::path& file,
                                            const std::optional<VirtualStore>& virtualization,
                                            std::string_view section, std::string_view key,
                                            std::string_view value) {
    const auto copy = virtualization ? virtualStoreCopy(file, *virtualization) : std::nullopt;
    if (!copy) return writeProfileString(file, section, key, value);
    std::error_code ec;
    const bool copyExists = fs::exists(fs::symlink_status(*copy, ec));
    bool written = copyExists && editProfile(*copy, section, key, value);
    if (editProfile(file, section, key, value)) {
        written = true;
    } else if (!copyExists) {
        written = makeVirtualStoreCopy(file, *copy, section, key, value);
    }
    if (!written) unableToWrite(file);
}

std::optional<std::string> readProfileString(const fs::path& file, std::string_view section,
                                             std::string_view key) {
    const auto content = readWhole(file);
    if (!content) return std::nullopt;
    return profileValue(*content, section, key);
}

}  // namespace lindavex::shell
