// A registry subtree in memory: what a profile file holds and what the settings store saves. Names
// are UTF-8; value and subkey names compare without regard to ASCII case, as in the registry.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/Registry.h"

namespace wavory {

// The most keys, and values, one profile file may hold: an export of the 10,000 profiles the
// utility is made to hold, with room for a few more keys and for fields a later version adds. A
// file beyond them is refused (REG_ERROR_FILE_TOO_LARGE) before its tree is built.
inline constexpr size_t kMaxRegKeys = 10100;
inline constexpr size_t kMaxRegValues = kMaxRegKeys * 64;

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
    // Why some value of this key in a file could not be read (a damaged or hand-edited line): the
    // key is then incomplete, and whoever takes it from the file refuses it.
    std::string fault;

    SRegValue* FindValue(std::string_view valueName);
    const SRegValue* FindValue(std::string_view valueName) const;
    // Adds the value, or replaces the one of that name (a later line of a file wins).
    void SetValue(std::string_view valueName, SRegValue value);
    SRegKey* FindSubKey(std::string_view keyName);
    const SRegKey* FindSubKey(std::string_view keyName) const;
    // The subkey of that name, created when missing.
    SRegKey& SubKey(std::string_view keyName);
    // The key's fault, or else the first of a key below it; empty when every value was read.
    std::string FirstFault() const;

    bool operator==(const SRegKey&) const = default;
};

bool RegNameEqual(std::string_view a, std::string_view b);
// The order of names without regard to ASCII case, as the store keeps them.
bool RegNameLess(std::string_view a, std::string_view b);

// A dword given as decimal text, signed or not ("-1" and "4294967295" are both 0xFFFFFFFF); blanks
// around it are allowed, anything else is no number.
std::optional<uint32_t> ParseDwordText(std::string_view text);

}  // namespace wavory
