#include "store/xml/xml_cp1252.h"

#include <libxml/encoding.h>

#include <algorithm>
#include <mutex>
#include <string>
#include <string_view>

#include "store/codepage.h"

namespace lindavex::store {
namespace {

// Single bytes to UTF-8. Every byte has a code point, so this never fails.
int decode(unsigned char* out, int* outlen, const unsigned char* in, int* inlen) {
    int read = 0;
    int written = 0;
    while (read < *inlen) {
        const std::string utf8 =
            codepage::toUtf8(std::string_view(reinterpret_cast<const char*>(in) + read, 1));
        if (written + static_cast<int>(utf8.size()) > *outlen) break;
        std::copy(utf8.begin(), utf8.end(), out + written);
        written += static_cast<int>(utf8.size());
        ++read;
    }
    *inlen = read;
    *outlen = written;
    return written;
}

int sequenceLength(unsigned char lead) {
    if (lead < 0x80) return 1;
    if (lead >= 0xF0) return 4;
    if (lead >= 0xE0) return 3;
    return 2;
}

// UTF-8 (always well formed, it comes from libxml2) to single bytes. A character the code
// page lacks stops the conversion with -2; libxml2 then writes it as a character reference.
int encode(unsigned char* out, int* outlen, const unsigned char* in, int* inlen) {
    if (in == nullptr) {  // flush call: no state is kept between chunks
        *outlen = 0;
        *inlen = 0;
        return 0;
    }
    int read = 0;
    int written = 0;
    int result = 0;
    while (read < *inlen && written < *outlen) {
        const int length = sequenceLength(in[read]);
        if (read + length > *inlen) break;  // the rest comes with the next chunk
        const std::string_view character(reinterpret_cast<const char*>(in) + read,
                                         static_cast<std::size_t>(length));
        const std::string byte = codepage::fromUtf8(character);
        if (byte.size() != 1 || (byte == "?" && character != "?")) {
            result = -2;
            break;
        }
        out[written++] = static_cast<unsigned char>(byte.front());
        read += length;
    }
    *inlen = read;
    *outlen = written;
    return result == 0 ? written : result;
}

}  // namespace

void registerWindows1252Encoding() {
    static std::once_flag once;
    std::call_once(once, [] {
        // libxml2 keeps the handler for the life of the process.
        xmlNewCharEncodingHandler("WINDOWS-1252", decode, encode);
        xmlAddEncodingAlias("WINDOWS-1252", "CP1252");
    });
}

}  // namespace lindavex::store
