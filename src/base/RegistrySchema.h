// The kind of every value the utility keeps in its registry key: the profile values of the field list
// (base/ProfileFieldList.h), then the application key's own. It decides the order an export writes
// values in, what an import must convert, and which values an export without secrets leaves out.
#pragma once

#include <cstddef>
#include <span>
#include <string_view>

#include "base/ProfileFieldList.h"
#include "base/Registry.h"

namespace wavory {

struct SRegSchemaEntry {
    std::string_view name;
    ERegType type;
    unsigned flags = 0;  // kFieldSecret, kFieldPlace
};

// How many of the schema's first entries are the values of one profile section.
#define WAVORY_COUNT_FIELD(kind, member, name, def, flags) +1
inline constexpr std::size_t kProfileValueCount = 0 WAVORY_PROFILE_FIELDS(WAVORY_COUNT_FIELD);
#undef WAVORY_COUNT_FIELD

// The profile values in load order, then the values of the application key.
std::span<const SRegSchemaEntry> RegistrySchema();

// The entry of a value name as the utility spells it, or null for a name it does not use.
const SRegSchemaEntry* FindSchemaEntry(std::string_view name);
// The same, matching names without regard to ASCII case, as the registry compares them.
const SRegSchemaEntry* FindSchemaEntryNoCase(std::string_view name);

}  // namespace wavory
