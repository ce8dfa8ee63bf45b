// libFuzzer entry point; the input's journey is in feed_settings_file.h.
#include "fuzz/feed_settings_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    lindavex::fuzz::feedSettingsFile(data, size);
    return 0;
}
