// libFuzzer entry point; the input's journey is in feed_centre_document.h.
#include "fuzz/feed_centre_document.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    lindavex::fuzz::feedCentreDocument(data, size);
    return 0;
}
