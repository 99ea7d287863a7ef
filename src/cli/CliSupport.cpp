#include "cli/CliSupport.h"

#include <algorithm>
#include <iterator>

#include "base/DisplayText.h"
#include "base/Registry.h"
#include "driver/CommVar.h"

namespace wavory::cli {

void FailWithRefusal(const std::string& general) {
    const std::string refusal = TakeDriverRefusal();
    Fail(refusal.empty() ? general : refusal);
}

std::string StoreReason(int code) {
    switch (code) {
        case REG_ERROR_DISK_FULL:
            return "store_full";
        case REG_ERROR_WRITE_PROTECT:
            return "store_read_only";
        case REG_ERROR_BUSY:
            return "store_busy";
        case REG_ERROR_BADDB:
            return "store_damaged";
        default:
            return "store_failed";
    }
}

void FailStore(int code, const std::string& what) {
    std::string why;
    switch (code) {
        case REG_ERROR_DISK_FULL:
            why = "the disk that holds the settings is full";
            break;
        case REG_ERROR_WRITE_PROTECT:
            why = "the settings are read-only";
            break;
        case REG_ERROR_BUSY:
            why = "another program kept the settings locked for the whole wait; try again";
            break;
        case REG_ERROR_BADDB:
            why = "the settings file is damaged";
            break;
        default:
            why = SystemErrorText(code);
    }
    throw CCliError(kExitFailed, what + ": " + why, "settings", StoreReason(code));
}

namespace {

constexpr const char* kReplacement = "\xEF\xBF\xBD";  // U+FFFD
constexpr const char* kHexDigits = "0123456789abcdef";

// Length of the valid UTF-8 sequence starting at i, or 0 when the byte there starts none (overlong
// forms, surrogates and code points above U+10FFFF are not valid).
std::size_t SequenceLength(std::string_view s, std::size_t i) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char b0 = byte(i);
    if (b0 < 0x80) return 1;
    std::size_t len;
    unsigned char lo = 0x80, hi = 0xBF;  // range of the second byte
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        len = 2;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        len = 3;
        if (b0 == 0xE0) lo = 0xA0;
        if (b0 == 0xED) hi = 0x9F;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        len = 4;
        if (b0 == 0xF0) lo = 0x90;
        if (b0 == 0xF4) hi = 0x8F;
    } else {
        return 0;
    }
    if (i + len > s.size()) return 0;
    if (byte(i + 1) < lo || byte(i + 1) > hi) return 0;
    for (std::size_t k = 2; k < len; ++k)
        if (byte(i + k) < 0x80 || byte(i + k) > 0xBF) return 0;
    return len;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string PadTo(const std::string& text, std::size_t width) {
    const std::size_t columns = DisplayWidth(text);
    return columns >= width ? text : text + std::string(width - columns, ' ');
}

struct SRange {
    char32_t first, last;
};

// Characters that take no column of their own: combining marks, zero-width spaces and joiners,
// variation selectors.
constexpr SRange kZeroWidth[] = {
    {0x0300, 0x036F}, {0x0483, 0x0489},   {0x0591, 0x05BD},   {0x05BF, 0x05BF},  {0x05C1, 0x05C2},
    {0x05C4, 0x05C5}, {0x05C7, 0x05C7},   {0x0610, 0x061A},   {0x064B, 0x065F},  {0x0670, 0x0670},
    {0x06D6, 0x06DC}, {0x06DF, 0x06E4},   {0x06E7, 0x06E8},   {0x06EA, 0x06ED},  {0x0900, 0x0902},
    {0x093A, 0x093A}, {0x093C, 0x093C},   {0x0941, 0x0948},   {0x094D, 0x094D},  {0x0E31, 0x0E31},
    {0x0E34, 0x0E3A}, {0x0E47, 0x0E4E},   {0x1AB0, 0x1AFF},   {0x1DC0, 0x1DFF},  {0x200B, 0x200F},
    {0x202A, 0x202E}, {0x2060, 0x2064},   {0x20D0, 0x20FF},   {0xFE00, 0xFE0F},  {0xFE20, 0xFE2F},
    {0xFEFF, 0xFEFF}, {0x1F3FB, 0x1F3FF}, {0xE0000, 0xE007F}, {0xE0100, 0xE01EF}};

// Characters a terminal shows two columns wide: East Asian wide and full-width forms, and the
// emoji shown as pictures by default.
constexpr SRange kWide[] = {
    {0x1100, 0x115F},   {0x231A, 0x231B},   {0x2329, 0x232A},   {0x23E9, 0x23EC},   {0x23F0, 0x23F0},
    {0x23F3, 0x23F3},   {0x25FD, 0x25FE},   {0x2614, 0x2615},   {0x2648, 0x2653},   {0x267F, 0x267F},
    {0x2693, 0x2693},   {0x26A1, 0x26A1},   {0x26AA, 0x26AB},   {0x26BD, 0x26BE},   {0x26C4, 0x26C5},
    {0x26CE, 0x26CE},   {0x26D4, 0x26D4},   {0x26EA, 0x26EA},   {0x26F2, 0x26F3},   {0x26F5, 0x26F5},
    {0x26FA, 0x26FA},   {0x26FD, 0x26FD},   {0x2705, 0x2705},   {0x270A, 0x270B},   {0x2728, 0x2728},
    {0x274C, 0x274C},   {0x274E, 0x274E},   {0x2753, 0x2755},   {0x2757, 0x2757},   {0x2795, 0x2797},
    {0x27B0, 0x27B0},   {0x27BF, 0x27BF},   {0x2B1B, 0x2B1C},   {0x2B50, 0x2B50},   {0x2B55, 0x2B55},
    {0x2E80, 0x303E},   {0x3041, 0x33FF},   {0x3400, 0x4DBF},   {0x4E00, 0x9FFF},   {0xA000, 0xA4CF},
    {0xA960, 0xA97F},   {0xAC00, 0xD7A3},   {0xF900, 0xFAFF},   {0xFE10, 0xFE19},   {0xFE30, 0xFE6F},
    {0xFF00, 0xFF60},   {0xFFE0, 0xFFE6},   {0x16FE0, 0x16FE4}, {0x17000, 0x18CFF}, {0x1B000, 0x1B2FF},
    {0x1F004, 0x1F004}, {0x1F0CF, 0x1F0CF}, {0x1F18E, 0x1F18E}, {0x1F191, 0x1F19A}, {0x1F200, 0x1F251},
    {0x1F300, 0x1F320}, {0x1F32D, 0x1F335}, {0x1F337, 0x1F37C}, {0x1F37E, 0x1F393}, {0x1F3A0, 0x1F3CA},
    {0x1F3CF, 0x1F3D3}, {0x1F3E0, 0x1F3F0}, {0x1F3F4, 0x1F3F4}, {0x1F3F8, 0x1F3FA}, {0x1F400, 0x1F43E},
    {0x1F440, 0x1F440}, {0x1F442, 0x1F4FC}, {0x1F4FF, 0x1F53D}, {0x1F54B, 0x1F54E}, {0x1F550, 0x1F567},
    {0x1F57A, 0x1F57A}, {0x1F595, 0x1F596}, {0x1F5A4, 0x1F5A4}, {0x1F5FB, 0x1F64F}, {0x1F680, 0x1F6C5},
    {0x1F6CC, 0x1F6CC}, {0x1F6D0, 0x1F6D2}, {0x1F6D5, 0x1F6D7}, {0x1F6DC, 0x1F6DF}, {0x1F6EB, 0x1F6EC},
    {0x1F6F4, 0x1F6FC}, {0x1F7E0, 0x1F7EB}, {0x1F7F0, 0x1F7F0}, {0x1F90C, 0x1F93A}, {0x1F93C, 0x1F945},
    {0x1F947, 0x1F9FF}, {0x1FA70, 0x1FAFF}, {0x20000, 0x2FFFD}, {0x30000, 0x3FFFD}};

template <std::size_t N>
bool InRanges(const SRange (&ranges)[N], char32_t c) {
    const auto it = std::upper_bound(std::begin(ranges), std::end(ranges), c,
                                     [](char32_t v, const SRange& r) { return v < r.first; });
    return it != std::begin(ranges) && c <= std::prev(it)->last;
}

}  // namespace

bool IsUtf8(std::string_view bytes) {
    for (std::size_t i = 0; i < bytes.size();) {
        const std::size_t len = SequenceLength(bytes, i);
        if (len == 0) return false;
        i += len;
    }
    return true;
}

std::string Utf8Lossy(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size();) {
        const std::size_t len = SequenceLength(bytes, i);
        if (len == 0) {
            out += kReplacement;
            ++i;
        } else {
            out.append(bytes.substr(i, len));
            i += len;
        }
    }
    return out;
}

std::string HexOf(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() * 2);
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        out += kHexDigits[b >> 4];
        out += kHexDigits[b & 0xF];
    }
    return out;
}

std::optional<std::string> BytesFromHex(std::string_view hex) {
    if (hex.size() % 2 != 0) return std::nullopt;
    std::string out;
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        const int hi = HexValue(hex[i]), lo = HexValue(hex[i + 1]);
        if (hi < 0 || lo < 0) return std::nullopt;
        out += static_cast<char>((hi << 4) | lo);
    }
    return out;
}

std::string Printable(std::string_view bytes) { return DisplayText(bytes); }

std::size_t CharCount(std::string_view utf8) {
    return static_cast<std::size_t>(std::count_if(
        utf8.begin(), utf8.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

std::size_t DisplayWidth(std::string_view utf8) {
    std::size_t width = 0;
    for (std::size_t i = 0; i < utf8.size();) {
        std::size_t len = SequenceLength(utf8, i);
        if (len == 0) {  // not UTF-8: one column per byte, as it would be escaped anyway
            ++width;
            ++i;
            continue;
        }
        const auto b = [&](std::size_t k) {
            return static_cast<char32_t>(static_cast<unsigned char>(utf8[i + k]));
        };
        char32_t c =
            len == 1   ? b(0)
            : len == 2 ? ((b(0) & 0x1F) << 6) | (b(1) & 0x3F)
            : len == 3 ? ((b(0) & 0x0F) << 12) | ((b(1) & 0x3F) << 6) | (b(2) & 0x3F)
                       : ((b(0) & 0x07) << 18) | ((b(1) & 0x3F) << 12) | ((b(2) & 0x3F) << 6) | (b(3) & 0x3F);
        i += len;
        if (InRanges(kZeroWidth, c)) continue;
        width += InRanges(kWide, c) ? 2 : 1;
    }
    return width;
}

std::string IsoTime(std::time_t when) {
    std::tm local{};
    localtime_r(&when, &local);
    char text[40];
    if (std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S%z", &local) == 0) return {};
    std::string iso = text;
    // strftime writes the offset as +0100; ISO 8601's extended form has +01:00.
    if (iso.size() >= 5) iso.insert(iso.size() - 2, ":");
    return iso;
}

std::string NameCell(std::string_view bytes) { return bytes.empty() ? std::string("--") : Printable(bytes); }

std::string AsciiLower(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

void PutSsid(json& j, const std::string& ssid) {
    j["ssid"] = Utf8Lossy(ssid);
    j["ssid_hex"] = HexOf(ssid);
}

std::string FormatFields(const std::vector<std::pair<std::string, std::string>>& fields) {
    std::size_t width = 0;
    for (const auto& [label, value] : fields) width = std::max(width, DisplayWidth(label));
    std::string out;
    for (const auto& [label, value] : fields) {
        out += value.empty() ? label : PadTo(label, width + 2) + value;
        out += '\n';
    }
    return out;
}

std::string FormatTable(const std::vector<std::string>& header,
                        const std::vector<std::vector<std::string>>& rows) {
    std::vector<std::size_t> widths(header.size(), 0);
    auto measure = [&widths](const std::vector<std::string>& row) {
        for (std::size_t c = 0; c < row.size() && c < widths.size(); ++c)
            widths[c] = std::max(widths[c], DisplayWidth(row[c]));
    };
    measure(header);
    for (const auto& row : rows) measure(row);
    auto line = [&widths](const std::vector<std::string>& row) {
        std::string out;
        for (std::size_t c = 0; c < row.size() && c < widths.size(); ++c)
            out += c + 1 == row.size() ? row[c] : PadTo(row[c], widths[c] + 2);
        // Trailing blanks of an empty last cell are no use to anyone.
        out.erase(out.find_last_not_of(' ') + 1);
        return out + '\n';
    };
    std::string out = line(header);
    for (const auto& row : rows) out += line(row);
    return out;
}

std::string FormatMarkedTable(std::vector<std::string> header, std::vector<std::vector<std::string>> rows,
                              const std::vector<bool>& marked) {
    if (std::find(marked.begin(), marked.end(), true) == marked.end()) return FormatTable(header, rows);
    header.insert(header.begin(), " ");
    for (std::size_t r = 0; r < rows.size(); ++r)
        rows[r].insert(rows[r].begin(), r < marked.size() && marked[r] ? "*" : " ");
    return FormatTable(header, rows);
}

}  // namespace wavory::cli
