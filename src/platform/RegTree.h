// A registry subtree in memory: what a profile file holds and what the settings store saves. Names
// are UTF-8; value and subkey names compare without regard to ASCII case, as in the registry.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/Registry.h"

namespace wavory {

struct SRegValue {
    ERegType type = ERegType::Sz;
    uint32_t dword = 0;
    std::string text;

    static SRegValue Dword(uint32_t v) { return {ERegType::Dword, v, {}}; }
    static SRegValue Sz(std::string v) { return {ERegType::Sz, 0, std::move(v)}; }
    bool operator==(const SRegValue&) const = default;
};

struct SRegNamedValue {
    std::string name;
    SRegValue value;
    bool operator==(const SRegNamedValue&) const = default;
};

struct SRegKey {
    std::string name;
    std::vector<SRegNamedValue> values;  // in the order they were added
    std::vector<SRegKey> subkeys;        // in the order they were added

    SRegValue* FindValue(std::string_view valueName);
    const SRegValue* FindValue(std::string_view valueName) const;
    // Adds the value, or replaces the one of that name (a later line of a file wins).
    void SetValue(std::string_view valueName, SRegValue value);
    SRegKey* FindSubKey(std::string_view keyName);
    const SRegKey* FindSubKey(std::string_view keyName) const;
    // The subkey of that name, created when missing.
    SRegKey& SubKey(std::string_view keyName);

    bool operator==(const SRegKey&) const = default;
};

bool RegNameEqual(std::string_view a, std::string_view b);

}  // namespace wavory
