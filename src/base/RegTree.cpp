#include "base/RegTree.h"

#include <algorithm>
#include <charconv>

namespace wavory {

namespace {
char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }
}  // namespace

std::vector<SRegKey> IRegistry::SubKeyValues(std::string_view path, std::span<const SRegRead> reads) const {
    std::vector<SRegKey> keys;
    const std::string prefix = path.empty() ? std::string() : std::string(path) + '\\';
    for (std::string& name : SubKeyNames(path)) {
        SRegKey key{std::move(name), {}, {}};
        const std::string section = prefix + key.name;
        for (const SRegRead& r : reads) {
            key.values.push_back(
                {std::string(r.name), r.type == ERegType::Dword
                                          ? SRegValue::Dword(static_cast<uint32_t>(
                                                GetProfileInt(section, r.name, static_cast<int>(r.dword))))
                                          : SRegValue::Sz(GetProfileString(section, r.name, r.text))});
        }
        keys.push_back(std::move(key));
    }
    return keys;
}

bool RegNameEqual(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](char x, char y) { return AsciiLower(x) == AsciiLower(y); });
}

bool RegNameLess(std::string_view a, std::string_view b) {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                        [](char x, char y) { return AsciiLower(x) < AsciiLower(y); });
}

SRegValue* SRegKey::FindValue(std::string_view valueName) {
    auto it = std::find_if(values.begin(), values.end(),
                           [&](const SRegNamedValue& v) { return RegNameEqual(v.name, valueName); });
    return it == values.end() ? nullptr : &it->value;
}

const SRegValue* SRegKey::FindValue(std::string_view valueName) const {
    return const_cast<SRegKey*>(this)->FindValue(valueName);
}

void SRegKey::SetValue(std::string_view valueName, SRegValue value) {
    if (SRegValue* existing = FindValue(valueName)) {
        *existing = std::move(value);
    } else {
        values.push_back({std::string(valueName), std::move(value)});
    }
}

SRegKey* SRegKey::FindSubKey(std::string_view keyName) {
    auto it = std::find_if(subkeys.begin(), subkeys.end(),
                           [&](const SRegKey& k) { return RegNameEqual(k.name, keyName); });
    return it == subkeys.end() ? nullptr : &*it;
}

const SRegKey* SRegKey::FindSubKey(std::string_view keyName) const {
    return const_cast<SRegKey*>(this)->FindSubKey(keyName);
}

SRegKey& SRegKey::SubKey(std::string_view keyName) {
    if (SRegKey* existing = FindSubKey(keyName)) return *existing;
    subkeys.push_back(SRegKey{std::string(keyName), {}, {}});
    return subkeys.back();
}

std::string SRegKey::FirstFault() const {
    if (!fault.empty()) return fault;
    for (const SRegKey& sub : subkeys) {
        std::string found = sub.FirstFault();
        if (!found.empty()) return found;
    }
    return {};
}

std::optional<uint32_t> ParseDwordText(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    if (text.starts_with('+')) {
        text.remove_prefix(1);
        if (text.starts_with('-')) return std::nullopt;
    }
    int64_t v = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    if (v < INT32_MIN || v > int64_t{UINT32_MAX}) return std::nullopt;
    return static_cast<uint32_t>(v);
}

}  // namespace wavory
