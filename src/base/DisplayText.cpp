#include "base/DisplayText.h"

#include <array>

namespace wavory {

namespace {

struct SRange {
    char32_t first;
    char32_t last;
};

// Characters that change how text around them is shown rather than showing themselves: controls,
// the format characters (bidirectional overrides, invisible joiners, tags) and the line and
// paragraph separators, and the noncharacters.
constexpr std::array<SRange, 27> kHidden = {{
    {0x0000, 0x001F},     {0x007F, 0x009F},   {0x00AD, 0x00AD},   {0x0600, 0x0605},   {0x061C, 0x061C},
    {0x06DD, 0x06DD},     {0x070F, 0x070F},   {0x0890, 0x0891},   {0x08E2, 0x08E2},   {0x180E, 0x180E},
    {0x200B, 0x200F},     {0x2028, 0x202E},   {0x2060, 0x2064},   {0x2066, 0x206F},   {0xFEFF, 0xFEFF},
    {0xFFF9, 0xFFFB},     {0x110BD, 0x110BD}, {0x110CD, 0x110CD}, {0x13430, 0x1343F}, {0x1BCA0, 0x1BCA3},
    {0x1D173, 0x1D17A},   {0xE0001, 0xE0001}, {0xE0020, 0xE007F}, {0xFFFE, 0xFFFF},   {0x1FFFE, 0x1FFFF},
    {0x10FFFE, 0x10FFFF}, {0xFDD0, 0xFDEF},
}};

bool Hidden(char32_t code) {
    for (const SRange& range : kHidden)
        if (code >= range.first && code <= range.last) return true;
    return false;
}

// Length of the well-formed UTF-8 sequence at pos (no overlong form, no surrogate, nothing above
// U+10FFFF) and its code point; 0 when the bytes there do not make one.
int Decode(std::string_view bytes, std::size_t pos, char32_t* code) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(bytes[k]); };
    const unsigned char lead = byte(pos);
    int length;
    char32_t value;
    if (lead < 0x80) {
        *code = lead;
        return 1;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        value = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        value = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        value = lead & 0x07;
    } else {
        return 0;
    }
    if (pos + static_cast<std::size_t>(length) > bytes.size()) return 0;
    for (int i = 1; i < length; ++i) {
        const unsigned char next = byte(pos + static_cast<std::size_t>(i));
        if ((next & 0xC0) != 0x80) return 0;
        value = (value << 6) | (next & 0x3F);
    }
    static constexpr char32_t kLowest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (value < kLowest[length] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0;
    *code = value;
    return length;
}

void AppendEscape(std::string& out, unsigned char byte) {
    static constexpr char kDigits[] = "0123456789abcdef";
    out += "\\x";
    out += kDigits[byte >> 4];
    out += kDigits[byte & 0xF];
}

}  // namespace

std::string DisplayText(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        char32_t code = 0;
        const int length = Decode(bytes, pos, &code);
        if (length == 0) {
            AppendEscape(out, static_cast<unsigned char>(bytes[pos]));
            ++pos;
            continue;
        }
        if (Hidden(code)) {
            for (int i = 0; i < length; ++i)
                AppendEscape(out, static_cast<unsigned char>(bytes[pos + static_cast<std::size_t>(i)]));
        } else {
            out.append(bytes.substr(pos, static_cast<std::size_t>(length)));
        }
        pos += static_cast<std::size_t>(length);
    }
    return out;
}

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

bool NaturalLess(std::string_view a, std::string_view b) {
    std::size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (IsDigit(a[i]) && IsDigit(b[j])) {
            // Leading zeros do not count; then the longer run is the greater number.
            while (i < a.size() && a[i] == '0') ++i;
            while (j < b.size() && b[j] == '0') ++j;
            std::size_t ei = i, ej = j;
            while (ei < a.size() && IsDigit(a[ei])) ++ei;
            while (ej < b.size() && IsDigit(b[ej])) ++ej;
            if (ei - i != ej - j) return ei - i < ej - j;
            const int order = a.substr(i, ei - i).compare(b.substr(j, ej - j));
            if (order != 0) return order < 0;
            i = ei;
            j = ej;
            continue;
        }
        const char ca = Lower(a[i]), cb = Lower(b[j]);
        if (ca != cb) return static_cast<unsigned char>(ca) < static_cast<unsigned char>(cb);
        ++i;
        ++j;
    }
    if ((i < a.size()) != (j < b.size())) return j < b.size();  // the shorter one first
    return a < b;
}

}  // namespace wavory
