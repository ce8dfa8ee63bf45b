#pragma once
// Editing of sectioned settings files ("[Section]" headers, "Key=Value" lines) the way the
// Windows profile functions edit them, so that files owned by other programs keep every line
// we do not change exactly as it was.
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

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

// How Windows treats the files of a legacy 32-bit program such as the Morvalen product: its
// writes that fail under one of `folders` (Program Files, ProgramData, Windows) go to the same
// path, without its drive, under `store` (%LOCALAPPDATA%\VirtualStore), and from then on it reads
// that copy whenever one exists.
struct VirtualStore {
    std::vector<std::filesystem::path> folders;
    std::filesystem::path store;
};

// The copy of `file` that such a program reads once its writes were redirected, or no value
// when the file lies under none of the folders. Names are compared without regard to letter
// case, as Windows compares them.
std::optional<std::filesystem::path> virtualStoreCopy(const std::filesystem::path& file,
                                                      const VirtualStore& virtualization);

// Sets key in section so that a legacy program sees the value whichever file Windows gives it,
// the file itself or its VirtualStore copy: a copy that exists is edited, the file itself is
// edited when it can be, and when it cannot and there is no copy, the copy is made (the file's
// bytes with the one line changed, its folders created), as Windows would make it for the
// program. Each edit keeps every other byte. Without a virtualization, or for a file under no
// virtualized folder, this is writeProfileString. Throws "Unable to write to <file>" only when
// nothing could be written.
void writeProfileStringSeenByLegacyPrograms(const std::filesystem::path& file,
                                            const std::optional<VirtualStore>& virtualization,
                                            std::string_view section, std::string_view key,
                                            std::string_view value);

}  // namespace lindavex::shell
