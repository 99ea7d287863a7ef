#include "store/RegTextReader.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "store/RegTextCodec.h"

namespace wavory {

namespace {

constexpr std::string_view kHeader5 = "Windows Registry Editor Version 5.00";
constexpr std::string_view kHeader4 = "REGEDIT4";
// The registry allows no deeper nesting; it also bounds the recursion over the tree.
constexpr size_t kMaxKeyDepth = 512;
// Up to this many values a key's names are compared one by one (a profile holds about 30).
constexpr size_t kLinearValues = 64;

constexpr uint32_t kRegSz = 1;
constexpr uint32_t kRegExpandSz = 2;
constexpr uint32_t kRegBinary = 3;
constexpr uint32_t kRegDword = 4;
constexpr uint32_t kRegDwordBigEndian = 5;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string LowerAscii(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

std::string_view TrimLeft(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    return s;
}

std::string_view TrimRight(std::string_view s) {
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

// Only blanks or a comment remain.
bool AtLineEnd(std::string_view rest) {
    rest = TrimLeft(rest);
    return rest.empty() || rest.front() == ';';
}

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
    return s.size() >= prefix.size() && RegNameEqual(s.substr(0, prefix.size()), prefix);
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Reads up to maxDigits hex digits; at least one.
std::optional<uint32_t> ReadHex(std::string_view& s, size_t maxDigits) {
    uint32_t value = 0;
    size_t n = 0;
    while (n < s.size() && HexDigit(s[n]) >= 0) {
        if (n == maxDigits) return std::nullopt;
        value = (value << 4) | static_cast<uint32_t>(HexDigit(s[n]));
        ++n;
    }
    if (n == 0) return std::nullopt;
    s.remove_prefix(n);
    return value;
}

struct SKeyBlock {
    std::vector<std::string> path;
    std::vector<SRegNamedValue> values;
    std::string fault;  // the first value line of the block that could not be read
};

class CRegTextParser {
public:
    CRegTextParser(std::string_view text, bool wide) : m_Text(text), m_bWide(wide) {}

    bool Parse(std::vector<SKeyBlock>& blocks);
    // The file holds more keys or values than a profile file can.
    bool TooLarge() const { return m_bTooLarge; }

private:
    bool NextLine(std::string_view& line);
    bool ParseKeyLine(std::string_view line, std::vector<SKeyBlock>& blocks, bool& deleted);
    // Parses a value line; `value` stays empty for lines that carry nothing to restore.
    bool ParseValueLine(std::string_view line, std::optional<SRegNamedValue>& value);
    bool ParseQuoted(std::string_view& rest, std::string& out) const;
    // A text of an 8-bit file as UTF-8: each text on its own, so that one stray byte in a file of
    // UTF-8 turns only its own text into Latin-1.
    std::string Text(std::string_view bytes) const {
        return m_bWide ? std::string(bytes) : EightBitToUtf8(bytes);
    }
    bool ParseHexBytes(std::string_view rest, std::string& bytes);
    bool DecodeHexValue(uint32_t type, const std::string& bytes, std::optional<SRegValue>& value) const;

    std::string_view m_Text;
    size_t m_nPos = 0;
    size_t m_nLine = 0;  // of the line last read, from 1
    bool m_bWide;
    size_t m_nValues = 0;
    bool m_bTooLarge = false;
};

bool CRegTextParser::NextLine(std::string_view& line) {
    if (m_nPos >= m_Text.size()) return false;
    size_t end = m_Text.find('\n', m_nPos);
    if (end == std::string_view::npos) end = m_Text.size();
    line = m_Text.substr(m_nPos, end - m_nPos);
    m_nPos = end + 1;
    ++m_nLine;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    return true;
}

bool CRegTextParser::Parse(std::vector<SKeyBlock>& blocks) {
    std::string_view line;
    do {
        if (!NextLine(line)) return false;
    } while (TrimLeft(line).empty());
    line = TrimRight(TrimLeft(line));
    if (line != kHeader5 && line != kHeader4) return false;

    bool inKey = false;
    bool inDeletedKey = false;
    // After a value line that could not be read: the lines that continue it are passed over.
    bool skipping = false;
    while (NextLine(line)) {
        const std::string_view t = TrimLeft(line);
        if (t.empty() || t.front() == ';') continue;
        if (t.front() == '[') {
            if (t.find('\0') != std::string_view::npos || !ParseKeyLine(t, blocks, inDeletedKey))
                return false;
            inKey = !inDeletedKey;
            skipping = false;
        } else if (t.front() == '"' || t.front() == '@') {
            if (!inKey && !inDeletedKey) return false;  // a value before any key
            skipping = false;
            std::optional<SRegNamedValue> value;
            const size_t lineNo = m_nLine;
            // One value that cannot be read spoils its key only: the others of the file still are.
            if (t.find('\0') != std::string_view::npos || !ParseValueLine(t, value)) {
                if (inKey && blocks.back().fault.empty())
                    blocks.back().fault = "the value on line " + std::to_string(lineNo) + " cannot be read";
                skipping = true;
                continue;
            }
            if (value && inKey) {
                if (++m_nValues > kMaxRegValues) {
                    m_bTooLarge = true;
                    return false;
                }
                blocks.back().values.push_back(std::move(*value));
            }
        } else if (!skipping) {
            return false;
        }
    }
    return true;
}

bool CRegTextParser::ParseKeyLine(std::string_view line, std::vector<SKeyBlock>& blocks, bool& deleted) {
    line = TrimRight(line);
    if (line.size() < 3 || line.back() != ']') return false;
    std::string_view inner = line.substr(1, line.size() - 2);
    deleted = inner.front() == '-';
    if (deleted) return true;

    if (blocks.size() == kMaxRegKeys) {
        m_bTooLarge = true;
        return false;
    }
    SKeyBlock block;
    while (true) {
        const size_t sep = inner.find('\\');
        const std::string_view part = inner.substr(0, sep);
        if (part.empty() || block.path.size() == kMaxKeyDepth) return false;
        block.path.push_back(Text(part));
        if (sep == std::string_view::npos) break;
        inner.remove_prefix(sep + 1);
    }
    blocks.push_back(std::move(block));
    return true;
}

bool CRegTextParser::ParseQuoted(std::string_view& rest, std::string& out) const {
    size_t i = 1;
    while (i < rest.size()) {
        // The text up to the next quote or escape goes in as one piece.
        const size_t stop = rest.find_first_of("\"\\", i);
        if (stop == std::string_view::npos) return false;  // no closing quote on the line
        out.append(rest.substr(i, stop - i));
        i = stop;
        if (rest[i] == '"') {
            rest.remove_prefix(i + 1);
            if (!m_bWide) out = Text(out);
            return true;
        }
        if (++i == rest.size()) return false;
        switch (rest[i]) {
            case '\\':
            case '"':
                out += rest[i];
                break;
            case 'n':
                out += '\n';
                break;
            case 'r':
                out += '\r';
                break;
            default:  // not an escape: a lone backslash as hand-written files have them
                out += '\\';
                out += rest[i];
        }
        ++i;
    }
    return false;
}

bool CRegTextParser::ParseValueLine(std::string_view line, std::optional<SRegNamedValue>& value) {
    std::string name;
    std::string_view rest = line;
    if (rest.front() == '@') {
        rest.remove_prefix(1);
    } else if (!ParseQuoted(rest, name)) {
        return false;
    }
    rest = TrimLeft(rest);
    if (rest.empty() || rest.front() != '=') return false;
    rest = TrimLeft(rest.substr(1));

    std::optional<SRegValue> data;
    if (!rest.empty() && rest.front() == '"') {
        std::string text;
        if (!ParseQuoted(rest, text) || !AtLineEnd(rest)) return false;
        data = SRegValue::Sz(std::move(text));
    } else if (!rest.empty() && rest.front() == '-') {
        if (!AtLineEnd(rest.substr(1))) return false;  // deletion of the value: nothing to restore
    } else if (StartsWithNoCase(rest, "dword:")) {
        rest.remove_prefix(6);
        const auto dword = ReadHex(rest, 8);
        if (!dword || !AtLineEnd(rest)) return false;
        data = SRegValue::Dword(*dword);
    } else if (StartsWithNoCase(rest, "hex")) {
        rest.remove_prefix(3);
        uint32_t type = kRegBinary;
        if (!rest.empty() && rest.front() == '(') {
            rest.remove_prefix(1);
            const auto t = ReadHex(rest, 8);
            if (!t || rest.empty() || rest.front() != ')') return false;
            type = *t;
            rest.remove_prefix(1);
        }
        if (rest.empty() || rest.front() != ':') return false;
        std::string bytes;
        if (!ParseHexBytes(rest.substr(1), bytes) || !DecodeHexValue(type, bytes, data)) return false;
    } else {
        return false;
    }
    // The default value ("@" or an empty name) has no place in the store.
    if (data && !name.empty()) value = SRegNamedValue{std::move(name), std::move(*data)};
    return true;
}

// Comma-separated bytes; a backslash at the end of a line continues the list on the next line.
bool CRegTextParser::ParseHexBytes(std::string_view rest, std::string& bytes) {
    while (true) {
        rest = TrimLeft(rest);
        if (rest.empty() || rest.front() == ';') return true;
        if (rest.front() == '\\') {
            if (!AtLineEnd(rest.substr(1))) return false;
            std::string_view next;
            if (!NextLine(next)) return false;
            rest = next;
            continue;
        }
        const auto byte = ReadHex(rest, 2);
        if (!byte) return false;
        bytes += static_cast<char>(*byte);
        rest = TrimLeft(rest);
        if (!rest.empty() && rest.front() == ',') {
            rest.remove_prefix(1);
        } else if (!rest.empty() && rest.front() != '\\' && rest.front() != ';') {
            return false;
        }
    }
}

bool CRegTextParser::DecodeHexValue(uint32_t type, const std::string& bytes,
                                    std::optional<SRegValue>& value) const {
    switch (type) {
        case kRegSz:
        case kRegExpandSz: {
            std::string text;
            if (m_bWide) {
                if (!Utf16LeToUtf8(bytes, text)) return false;
            } else {
                text = EightBitToUtf8(bytes);
            }
            // The terminator ends the string; a NUL before it belongs to the text (a network name is
            // any bytes).
            if (!text.empty() && text.back() == '\0') text.pop_back();
            value = SRegValue::Sz(std::move(text));
            return true;
        }
        case kRegDword:
        case kRegDwordBigEndian: {
            if (bytes.size() != 4) return false;
            uint32_t v = 0;
            for (int i = 0; i < 4; ++i) {
                const auto b = static_cast<uint8_t>(bytes[type == kRegDword ? 3 - i : i]);
                v = (v << 8) | b;
            }
            value = SRegValue::Dword(v);
            return true;
        }
        default:  // binary, multi-string, qword …: the utility stores none of them
            return true;
    }
}

// The file's text, and whether it was UTF-16 (its hex(2) strings are then UTF-16 too). UTF-16 becomes
// UTF-8 here; an 8-bit file stays as it is, and the parser takes each of its texts on its own.
bool DecodeFile(std::string_view bytes, std::string& text, bool& wide) {
    wide =
        bytes.size() >= 2 && static_cast<uint8_t>(bytes[0]) == 0xFF && static_cast<uint8_t>(bytes[1]) == 0xFE;
    if (wide) {
        if (!Utf16LeToUtf8(bytes.substr(2), text)) return false;
    } else {
        if (bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
        text = std::string(bytes);
    }
    return true;
}

}  // namespace

int ParseRegText(std::string_view bytes, SRegKey& top) {
    std::string text;
    bool wide = false;
    std::vector<SKeyBlock> blocks;
    if (!DecodeFile(bytes, text, wide)) return REG_ERROR_INVALID_DATA;
    CRegTextParser parser(text, wide);
    if (!parser.Parse(blocks) || blocks.empty())
        return parser.TooLarge() ? REG_ERROR_FILE_TOO_LARGE : REG_ERROR_INVALID_DATA;

    const SKeyBlock* topBlock = &blocks.front();
    for (const SKeyBlock& b : blocks) {
        if (b.path.size() < topBlock->path.size()) topBlock = &b;
    }
    const std::vector<std::string> topPath = topBlock->path;

    // Built with indexes by name, so that a key of many values or subkeys costs no more than its
    // size: the registry compares names without regard to ASCII case, and a later line wins.
    struct SNode {
        SRegKey key;
        std::unordered_map<std::string, size_t> valueIndex;
        std::unordered_map<std::string, size_t> childIndex;
        std::vector<size_t> children;
    };
    std::vector<SNode> nodes(1);
    nodes[0].key.name = topPath.back();
    for (SKeyBlock& b : blocks) {
        if (b.path.size() < topPath.size()) continue;
        bool under = true;
        for (size_t i = 0; i < topPath.size() && under; ++i) under = RegNameEqual(b.path[i], topPath[i]);
        if (!under) continue;
        size_t node = 0;
        for (size_t i = topPath.size(); i < b.path.size(); ++i) {
            const std::string lower = LowerAscii(b.path[i]);
            auto found = nodes[node].childIndex.find(lower);
            if (found != nodes[node].childIndex.end()) {
                node = found->second;
                continue;
            }
            const size_t child = nodes.size();
            nodes[node].childIndex.emplace(lower, child);
            nodes[node].children.push_back(child);
            nodes.emplace_back();
            nodes.back().key.name = b.path[i];
            node = child;
        }
        SNode& target = nodes[node];
        for (SRegNamedValue& v : b.values) {
            // A key of a few values is searched as it is; one of many gets an index by name.
            if (target.valueIndex.empty() && target.key.values.size() < kLinearValues) {
                if (SRegValue* existing = target.key.FindValue(v.name)) {
                    *existing = std::move(v.value);
                } else {
                    target.key.values.push_back(std::move(v));
                }
                continue;
            }
            if (target.valueIndex.empty()) {
                for (size_t i = 0; i < target.key.values.size(); ++i)
                    target.valueIndex.emplace(LowerAscii(target.key.values[i].name), i);
            }
            auto [it, added] = target.valueIndex.emplace(LowerAscii(v.name), target.key.values.size());
            if (added) {
                target.key.values.push_back(std::move(v));
            } else {
                target.key.values[it->second].value = std::move(v.value);
            }
        }
        if (target.key.fault.empty()) target.key.fault = std::move(b.fault);
    }
    // Children always come after their parent: assemble from the last node back to the top.
    for (size_t n = nodes.size(); n-- > 0;) {
        SNode& node = nodes[n];
        node.key.subkeys.reserve(node.children.size());
        for (size_t child : node.children) node.key.subkeys.push_back(std::move(nodes[child].key));
    }
    top = std::move(nodes[0].key);
    return REG_OK;
}

}  // namespace wavory
