#include "profiles/StackKeyFile.h"

#include <algorithm>

#include "driver/Format.h"
#include "profiles/EapProfile.h"
#include "profiles/Profile.h"
#include "profiles/ProfileLimits.h"

namespace wavory {

namespace {

constexpr std::size_t kMaxSsid = 32;
constexpr std::size_t kMaxFileName = 200;

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
    return s;
}

bool Unescape(std::string_view in, std::string& out) {
    out.clear();
    for (std::size_t i = 0; i < in.size(); ++i) {
        if (in[i] != '\\') {
            out += in[i];
            continue;
        }
        if (++i >= in.size()) return false;
        switch (in[i]) {
            case 's':
                out += ' ';
                break;
            case 'n':
                out += '\n';
                break;
            case 't':
                out += '\t';
                break;
            case 'r':
                out += '\r';
                break;
            case '\\':
                out += '\\';
                break;
            // NetworkManager writes a ';' of a list item as "\;": the item's reader undoes it.
            case ';':
                out += "\\;";
                break;
            default:
                return false;
        }
    }
    return true;
}

bool IsHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

}  // namespace

bool HoldsBinary(std::string_view text) {
    return std::any_of(text.begin(), text.end(), [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return (u < 0x20 && c != '\t' && c != '\n' && c != '\r') || u == 0x7F;
    });
}

bool CKeyFile::Parse(std::string_view text, std::string& error) {
    if (text.size() > kMaxStackFileBytes) {
        error = StrFormat("the file is larger than %zu bytes", kMaxStackFileBytes);
        return false;
    }
    if (HoldsBinary(text)) {
        error = "the file holds binary bytes; it is no settings file";
        return false;
    }
    std::string group;
    std::size_t lineNo = 0;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        ++lineNo;
        if (line.size() > kMaxStackLineBytes) {
            error = StrFormat("line %zu is longer than %zu bytes", lineNo, kMaxStackLineBytes);
            return false;
        }
        line = Trim(line);
        if (line.empty() || line.front() == '#' || line.front() == ';') continue;
        if (line.front() == '[') {
            if (line.back() != ']' || line.size() < 3) {
                error = StrFormat("line %zu opens a group that is not closed with ']'", lineNo);
                return false;
            }
            group = std::string(line.substr(1, line.size() - 2));
            if (std::find(m_Groups.begin(), m_Groups.end(), group) == m_Groups.end())
                m_Groups.push_back(group);
            continue;
        }
        const std::size_t eq = line.find('=');
        if (eq == std::string_view::npos || eq == 0) {
            error = StrFormat("line %zu is neither a group, a setting nor a comment", lineNo);
            return false;
        }
        if (group.empty()) {
            error = StrFormat("line %zu sets a value before any [group]", lineNo);
            return false;
        }
        SKeyEntry entry{group, std::string(Trim(line.substr(0, eq))), {}, false};
        if (!Unescape(Trim(line.substr(eq + 1)), entry.value)) {
            error = StrFormat("line %zu holds a bad escape (\\ followed by other than s, n, t, r, \\ or ;)",
                              lineNo);
            return false;
        }
        m_Entries.push_back(std::move(entry));
    }
    return true;
}

const std::string* CKeyFile::Take(std::string_view group, std::string_view key) {
    const std::string* found = nullptr;
    for (SKeyEntry& e : m_Entries) {
        if (e.group == group && e.key == key) {
            e.used = true;
            found = &e.value;
        }
    }
    return found;
}

bool CKeyFile::TakeBool(std::string_view group, std::string_view key, bool fallback, std::string& bad) {
    const std::string* v = Take(group, key);
    if (!v) return fallback;
    if (*v == "true" || *v == "1") return true;
    if (*v == "false" || *v == "0") return false;
    bad = "[" + std::string(group) + "] " + std::string(key) + "=" + *v + " is not true or false";
    return fallback;
}

bool CKeyFile::HasGroup(std::string_view group) const {
    return std::find(m_Groups.begin(), m_Groups.end(), group) != m_Groups.end();
}

void CKeyFile::RenameGroup(std::string_view from, const std::string& to) {
    for (SKeyEntry& e : m_Entries)
        if (e.group == from) e.group = to;
    for (std::string& g : m_Groups)
        if (g == from) g = to;
}

std::vector<std::string> CKeyFile::Unused() const {
    std::vector<std::string> out;
    for (const SKeyEntry& e : m_Entries) {
        if (e.used) continue;
        out.push_back("[" + e.group + "] " + e.key + "=" +
                      (LooksSecret(e.key) ? std::string("(secret)") : e.value));
    }
    return out;
}

bool LooksSecret(std::string_view key) {
    std::string lower(key);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); });
    for (const char* word : {"pass", "psk", "key", "secret", "pin", "token"})
        if (lower.find(word) != std::string::npos) return true;
    return false;
}

std::string EscapeKeyValue(const std::string& value) {
    std::string out;
    for (std::size_t i = 0; i < value.size(); ++i) {
        const char c = value[i];
        if (c == ' ' && i == 0)
            out += "\\s";
        else if (c == '\\')
            out += "\\\\";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\t')
            out += "\\t";
        else if (c == '\r')
            out += "\\r";
        else
            out += c;
    }
    // A blank at the end would be trimmed away by a reader.
    if (!out.empty() && out.back() == ' ') out.replace(out.size() - 1, 1, "\\s");
    return out;
}

std::shared_ptr<CProfile> NewStackProfile() {
    auto p = std::make_shared<CProfile>("", false);
    p->NetMode = true;
    p->Priority = -1;
    return p;
}

void FinishStackNetwork(SStackNetwork& net, std::shared_ptr<CProfile> profile) {
    const std::string& ssid = profile->NetName;
    if (ssid.empty()) {
        net.refusal = "it names no network (no SSID)";
    } else if (ssid.size() > kMaxSsid) {
        net.refusal =
            StrFormat("its network name is %zu bytes long; a network name has 1 to 32 bytes", ssid.size());
    } else if (ssid.find('\0') != std::string::npos) {
        net.refusal = "its network name holds a zero byte, which the utility cannot keep";
    } else if (profile->ProfName.size() > kMaxStackLineBytes) {
        net.refusal = "its name is too long";
    } else {
        net.refusal = CheckProfileLimits(*profile);
    }
    if (net.refusal.empty()) net.profile = std::move(profile);
}

void NoteUncheckedServer(const CProfile& p, std::vector<std::string>& notes) {
    if (IsEnterpriseProfile(p) && !p.EapNoCaCheck && p.EapCaCert.empty() && !p.EapSystemCa &&
        p.EapDomain.empty())
        notes.push_back(
            "the server will not be checked: the profile names no CA certificate nor server name");
}

bool WepKeyDigits(const std::string& key, bool textAllowed, std::string& digits) {
    if ((key.size() == 10 || key.size() == 26) && std::all_of(key.begin(), key.end(), IsHexDigit)) {
        digits = key;
        return true;
    }
    if (textAllowed && (key.size() == 5 || key.size() == 13)) {
        digits = ToHex(key);
        return true;
    }
    return false;
}

std::string ToHex(std::string_view bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out;
    out.reserve(bytes.size() * 2);
    for (char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        out += kDigits[u >> 4];
        out += kDigits[u & 15];
    }
    return out;
}

bool FromHex(std::string_view hex, std::string& bytes) {
    if (hex.size() % 2 != 0) return false;
    bytes.clear();
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        if (!IsHexDigit(hex[i]) || !IsHexDigit(hex[i + 1])) return false;
        bytes += static_cast<char>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16));
    }
    return true;
}

std::string IwdFileStem(const std::string& ssid) {
    const bool plain = std::all_of(ssid.begin(), ssid.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == ' ' ||
               c == '_' || c == '-';
    });
    return plain ? ssid : "=" + ToHex(ssid);
}

bool IwdSsidOfStem(std::string_view stem, std::string& ssid) {
    if (!stem.empty() && stem.front() == '=') return FromHex(stem.substr(1), ssid) && !ssid.empty();
    if (IwdFileStem(std::string(stem)) != stem) return false;
    ssid = std::string(stem);
    return !ssid.empty();
}

std::string SafeFileName(const std::string& name) {
    std::string out;
    for (char c : name) {
        const auto u = static_cast<unsigned char>(c);
        out += (c == '/' || u < 0x20 || u == 0x7F || c == '\\') ? '_' : c;
    }
    if (out.size() > kMaxFileName) {
        out.resize(kMaxFileName);
        // Never end inside a UTF-8 sequence: the last character stays only when it is whole.
        std::size_t start = out.size();
        while (start > 0 && (static_cast<unsigned char>(out[start - 1]) & 0xC0) == 0x80) --start;
        if (start > 0) {
            const auto lead = static_cast<unsigned char>(out[start - 1]);
            const std::size_t length = lead < 0x80    ? 1
                                       : lead >= 0xF0 ? 4
                                       : lead >= 0xE0 ? 3
                                       : lead >= 0xC0 ? 2
                                                      : 1;
            if (out.size() - (start - 1) < length) out.resize(start - 1);
        }
    }
    if (out.empty() || out == "." || out == "..") out = "network";
    if (out.front() == '.' || out.front() == '-') out.insert(out.begin(), '_');
    return out;
}

}  // namespace wavory
