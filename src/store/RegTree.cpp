#include "store/RegTree.h"

#include <algorithm>

namespace wavory {

namespace {
char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }
}  // namespace

bool RegNameEqual(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](char x, char y) { return AsciiLower(x) == AsciiLower(y); });
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

}  // namespace wavory
