#include "base/RegistrySchema.h"

#include <algorithm>
#include <iterator>

namespace wavory {

namespace {

constexpr ERegType D = ERegType::Dword;

// The registry kind of each kind of field.
struct SFieldType {
    static constexpr ERegType Text = ERegType::Sz;
    static constexpr ERegType Int = ERegType::Dword;
    static constexpr ERegType Bool = ERegType::Dword;
};

#define WAVORY_SCHEMA_ENTRY(kind, member, name, def, flags) SRegSchemaEntry{name, SFieldType::kind, flags},

constexpr SRegSchemaEntry kSchema[] = {
    // One profile section ("Profile N", "Import\Profile N" or "Import").
    WAVORY_PROFILE_FIELDS(WAVORY_SCHEMA_ENTRY)
    // The application key (and "Import" for the profile count).
    {"NumOfProfiles", D},
    {"Polling Interval", D},
    {"Utilization", D},
    {"dBm-Percent", D},
    {"Active", D},
    {"Scan-Band", D},
    {"Power-Save", D},
    {"Mac-Address", D},
    {"View AP or NET", D},
    {"ConnectedStation", ERegType::Sz},
};

#undef WAVORY_SCHEMA_ENTRY

bool EqualNoCase(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
        return lower(x) == lower(y);
    });
}

}  // namespace

std::span<const SRegSchemaEntry> RegistrySchema() { return kSchema; }

static_assert(std::size(kSchema) == kProfileValueCount + 10);

const SRegSchemaEntry* FindSchemaEntry(std::string_view name) {
    auto it =
        std::find_if(std::begin(kSchema), std::end(kSchema), [&](const auto& e) { return e.name == name; });
    return it == std::end(kSchema) ? nullptr : &*it;
}

const SRegSchemaEntry* FindSchemaEntryNoCase(std::string_view name) {
    auto it = std::find_if(std::begin(kSchema), std::end(kSchema),
                           [&](const auto& e) { return EqualNoCase(e.name, name); });
    return it == std::end(kSchema) ? nullptr : &*it;
}

}  // namespace wavory
