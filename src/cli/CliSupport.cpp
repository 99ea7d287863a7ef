#include "cli/CliSupport.h"

#include <algorithm>

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
    const std::size_t chars = CharCount(text);
    return chars >= width ? text : text + std::string(width - chars, ' ');
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
    for (const auto& [label, value] : fields) width = std::max(width, CharCount(label));
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
            widths[c] = std::max(widths[c], CharCount(row[c]));
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
