#include "store/codepage.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <unordered_map>

namespace lindavex::codepage {
namespace {

// Code points of bytes 0x80..0x9F in Windows-1252; the five undefined bytes map to themselves.
constexpr std::array<char32_t, 32> kHighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

const std::unordered_map<char32_t, unsigned char>& reverseHigh() {
    static const auto* table = [] {
        auto* map = new std::unordered_map<char32_t, unsigned char>;
        for (unsigned i = 0; i < kHighControls.size(); ++i)
            (*map)[kHighControls[i]] = static_cast<unsigned char>(0x80 + i);
        return map;
    }();
    return *table;
}

void appendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

}  // namespace

// Most codes and names are ASCII and need no converting.
bool isAscii(std::string_view text) {
    // Eight bytes at a time: every code and name the steps read passes through here.
    constexpr std::uint64_t kHighBits = 0x8080808080808080U;
    std::size_t i = 0;
    for (; i + sizeof(std::uint64_t) <= text.size(); i += sizeof(std::uint64_t)) {
        std::uint64_t word = 0;
        std::memcpy(&word, text.data() + i, sizeof word);
        if ((word & kHighBits) != 0) return false;
    }
    for (; i < text.size(); ++i)
        if (static_cast<unsigned char>(text[i]) >= 0x80) return false;
    return true;
}

char32_t codePointOf(unsigned char byte) {
    if (byte >= 0x80 && byte <= 0x9F) return kHighControls[byte - 0x80];
    return byte;
}

std::string fromUtf8(std::string_view utf8) {
    std::string out;
    fromUtf8(utf8, out);
    return out;
}

void fromUtf8(std::string_view utf8, std::string& out) {
    if (isAscii(utf8)) {
        out.assign(utf8);
        return;
    }
    // Never longer than the UTF-8: each character, or each malformed byte, gives one byte.
    out.resize(utf8.size());
    std::size_t written = 0;
    std::size_t i = 0;
    while (i < utf8.size()) {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        if (lead < 0x80) {
            out[written++] = static_cast<char>(lead);
            ++i;
            continue;
        }
        const int extra = lead >= 0xF5   ? -1
                          : lead >= 0xF0 ? 3
                          : lead >= 0xE0 ? 2
                          : lead >= 0xC2 ? 1
                                         : -1;
        char32_t cp = extra == 1 ? (lead & 0x1F) : extra == 2 ? (lead & 0x0F) : (lead & 0x07);
        std::size_t consumed = 1;
        bool valid = extra > 0;
        for (int k = 1; valid && k <= extra; ++k) {
            const auto cont = i + k < utf8.size() ? static_cast<unsigned char>(utf8[i + k]) : 0;
            if ((cont & 0xC0) != 0x80) {
                valid = false;
            } else {
                cp = (cp << 6) | (cont & 0x3F);
                consumed = static_cast<std::size_t>(k) + 1;
            }
        }
        i += consumed;
        // Overlong forms and code points past U+10FFFF are malformed too.
        constexpr std::array<char32_t, 4> kShortest = {0, 0x80, 0x800, 0x10000};
        if (valid && (cp < kShortest[extra] || cp > 0x10FFFF)) valid = false;
        char byte = '?';
        if (valid && cp < 0x100 && !(cp >= 0x80 && cp <= 0x9F)) {
            byte = static_cast<char>(cp);
        } else if (valid) {
            if (auto it = reverseHigh().find(cp); it != reverseHigh().end())
                byte = static_cast<char>(it->second);
        }
        out[written++] = byte;
    }
    out.resize(written);
}

std::string toUtf8(std::string_view cp1252) {
    if (isAscii(cp1252)) return std::string(cp1252);
    std::string out;
    out.reserve(cp1252.size() + cp1252.size() / 4);
    for (char c : cp1252) appendUtf8(out, codePointOf(static_cast<unsigned char>(c)));
    return out;
}

std::string_view trim(std::string_view text) {
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && static_cast<unsigned char>(text[begin]) < 33) ++begin;
    while (end > begin && static_cast<unsigned char>(text[end - 1]) < 33) --end;
    return text.substr(begin, end - begin);
}

}  // namespace lindavex::codepage
