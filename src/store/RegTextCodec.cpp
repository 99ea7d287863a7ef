#include "store/RegTextCodec.h"

#include <cstdint>

namespace wavory {

namespace {

// Bytes 0x80..0xFF that are no UTF-8 as the code units U+DC80..U+DCFF.
constexpr char16_t kEscapeBase = 0xDC00;
constexpr char16_t kEscapeFirst = 0xDC80;
constexpr char16_t kEscapeLast = 0xDCFF;

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// Decodes one code point at `pos`; returns false for an invalid, overlong or cut sequence.
bool NextUtf8(std::string_view s, size_t& pos, char32_t& cp) {
    const auto b0 = static_cast<uint8_t>(s[pos]);
    int extra = 0;
    char32_t min = 0;
    if (b0 < 0x80) {
        cp = b0;
        ++pos;
        return true;
    } else if ((b0 & 0xE0) == 0xC0) {
        extra = 1, cp = b0 & 0x1F, min = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
        extra = 2, cp = b0 & 0x0F, min = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
        extra = 3, cp = b0 & 0x07, min = 0x10000;
    } else {
        return false;
    }
    if (pos + extra >= s.size()) return false;
    for (int i = 1; i <= extra; ++i) {
        const auto b = static_cast<uint8_t>(s[pos + i]);
        if ((b & 0xC0) != 0x80) return false;
        cp = (cp << 6) | (b & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    pos += extra + 1;
    return true;
}

}  // namespace

bool IsValidUtf8(std::string_view text) {
    size_t pos = 0;
    char32_t cp = 0;
    while (pos < text.size()) {
        if (!NextUtf8(text, pos, cp)) return false;
    }
    return true;
}

std::string Latin1ToUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) AppendUtf8(out, static_cast<uint8_t>(c));
    return out;
}

std::string EightBitToUtf8(std::string_view text) {
    return IsValidUtf8(text) ? std::string(text) : Latin1ToUtf8(text);
}

bool Utf16LeToUtf8(std::string_view bytes, std::string& out) {
    if (bytes.size() % 2 != 0) return false;
    const size_t count = bytes.size() / 2;
    // Written into room for the longest result (three bytes a unit) and cut to size afterwards: a
    // profile file of the most profiles is some 20 MiB.
    std::string result(count * 3, '\0');
    size_t n = 0;
    auto unit = [&](size_t i) {
        return static_cast<char16_t>(static_cast<uint8_t>(bytes[2 * i]) |
                                     (static_cast<uint8_t>(bytes[2 * i + 1]) << 8));
    };
    auto put = [&](char32_t cp) {
        if (cp < 0x80) {
            result[n++] = static_cast<char>(cp);
        } else if (cp < 0x800) {
            result[n++] = static_cast<char>(0xC0 | (cp >> 6));
            result[n++] = static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            result[n++] = static_cast<char>(0xE0 | (cp >> 12));
            result[n++] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            result[n++] = static_cast<char>(0x80 | (cp & 0x3F));
        } else {  // from a surrogate pair: four bytes for two units
            result[n++] = static_cast<char>(0xF0 | (cp >> 18));
            result[n++] = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            result[n++] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            result[n++] = static_cast<char>(0x80 | (cp & 0x3F));
        }
    };
    for (size_t i = 0; i < count; ++i) {
        const char16_t u = unit(i);
        if (u < 0x80) {
            result[n++] = static_cast<char>(u);
        } else if (u >= 0xD800 && u <= 0xDBFF) {
            if (i + 1 >= count) return false;
            const char16_t low = unit(i + 1);
            if (low < 0xDC00 || low > 0xDFFF) return false;
            put(0x10000 + ((static_cast<char32_t>(u) - 0xD800) << 10) + (low - 0xDC00));
            ++i;
        } else if (u >= kEscapeFirst && u <= kEscapeLast) {
            result[n++] = static_cast<char>(u - kEscapeBase);  // a byte that was no UTF-8 (see Utf8ToUtf16Le)
        } else if (u >= 0xDC00 && u <= 0xDFFF) {
            return false;
        } else {
            put(u);
        }
    }
    result.resize(n);
    out = std::move(result);
    return true;
}

std::string Utf8ToUtf16Le(std::string_view text) {
    std::string out;
    out.reserve(text.size() * 2);
    auto put = [&](char32_t u) {
        out += static_cast<char>(u & 0xFF);
        out += static_cast<char>((u >> 8) & 0xFF);
    };
    size_t pos = 0;
    while (pos < text.size()) {
        char32_t cp = 0;
        if (!NextUtf8(text, pos, cp)) {
            // A byte that is no UTF-8 (an SSID is any 32 bytes) travels as an unpaired low surrogate,
            // U+DC80..U+DCFF, which Utf16LeToUtf8 turns back into the byte: exact both ways.
            cp = kEscapeBase + static_cast<uint8_t>(text[pos]);
            ++pos;
        }
        if (cp >= 0x10000) {
            put(0xD800 + ((cp - 0x10000) >> 10));
            put(0xDC00 + ((cp - 0x10000) & 0x3FF));
        } else {
            put(cp);
        }
    }
    return out;
}

}  // namespace wavory
