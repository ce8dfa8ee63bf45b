#pragma once
// Editing of sectioned settings files ("[Section]" headers, "Key=Value" lines) the way the
// Windows profile functions edit them, so that files owned by other programs keep every line
// we do not change exactly as it was.
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace lindavex::shell {

// Returns text with key set to value in section. Section and key are matched without regard
// to letter case (first match wins); an existing key line keeps its name and gets the new
// value, a missing key is added after the last non-blank line of its section, a missing
// section is added at the end. Every other byte is kept, line endings included; new lines
// use the text's own line ending (CRLF for an empty text).
std::string setProfileValue(std::string_view text, std::string_view section, std::string_view key,
                            std::string_view value);

// The value of key in section, trimmed, or no value when either is missing.
std::optional<std::string> profileValue(std::string_view text, std::string_view section,
                                        std::string_view key);

// Sets key in section of the file, creating the file when it is missing. The new content is
// written beside the file and renamed over it, so a failed write leaves the old file whole.
// Throws lindavex::Error("Unable to write to <path>") when the file cannot be read or written,
// is read-only, or is not a regular file.
void writeProfileString(const std::filesystem::path& file, std::string_view section,
                        std::string_view key, std::string_view value);

std::optional<std::string> readProfileString(const std::filesystem::path& file,
                                             std::string_view section, std::string_view key);

}  // namespace lindavex::shell
