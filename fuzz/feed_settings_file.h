#pragma once
// Any bytes as the settings file: the completion status is set and read back, both in memory
// and through the file. Whatever the file held, the value set must be the value read.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "fuzz/fuzz_scratch.h"
#include "shell/settings_file.h"
#include "store/error.h"

namespace lindavex::fuzz::detail {

constexpr std::string_view kSection = "Transformadores";
constexpr std::string_view kKey = "Transformado";

void expectValue(const std::optional<std::string>& read, std::string_view wanted) {
    if (!read || *read != wanted) std::abort();
}

}  // namespace lindavex::fuzz::detail

namespace lindavex::fuzz {

// One input through the code under test; aborts on a broken promise.
inline void feedSettingsFile(const std::uint8_t* data, std::size_t size) {
    using namespace detail;  // NOLINT(google-build-using-namespace)
    static const lindavex::fuzz::FolderRemover folder{lindavex::fuzz::scratchFolder("ini")};
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    using namespace lindavex::shell;

    (void)profileValue(text, kSection, kKey);
    const std::string edited = setProfileValue(text, kSection, kKey, "-1");
    expectValue(profileValue(edited, kSection, kKey), "-1");

    const std::filesystem::path file = folder.dir / "Morvalen.ini";
    lindavex::fuzz::writeFile(file, data, size);
    try {
        writeProfileString(file, kSection, kKey, "1");
        expectValue(readProfileString(file, kSection, kKey), "1");
    } catch (const lindavex::Error&) {
        std::abort();  // a plain writable file must always take the value
    }
}

}  // namespace lindavex::fuzz
