// libFuzzer entry point; the input's journey is in feed_dbf_table.h.
#include "fuzz/feed_dbf_table.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    lindavex::fuzz::feedDbfTable(data, size);
    return 0;
}
