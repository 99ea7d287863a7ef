// The kind of every value the utility keeps in its registry key. The store is untyped text on
// Linux, so this table decides what an export writes as REG_DWORD and what as REG_SZ, and what an
// import must convert.
#pragma once

#include <cstddef>
#include <span>
#include <string_view>

#include "base/Registry.h"

namespace wavory {

struct SRegSchemaEntry {
    std::string_view name;
    ERegType type;
};

// How many of the schema's first entries are the values of one profile section: the 27 of the
// original layout, the two of WPA security and the channel's frequency.
inline constexpr std::size_t kProfileValueCount = 30;

// The profile values in load order, then the values of the application key.
std::span<const SRegSchemaEntry> RegistrySchema();

// The entry of a value name as the utility spells it, or null for a name it does not use.
const SRegSchemaEntry* FindSchemaEntry(std::string_view name);
// The same, matching names without regard to ASCII case, as the registry compares them.
const SRegSchemaEntry* FindSchemaEntryNoCase(std::string_view name);

}  // namespace wavory
