#include "base/RegistrySchema.h"

#include <algorithm>
#include <array>

namespace wavory {

namespace {

constexpr ERegType D = ERegType::Dword;
constexpr ERegType S = ERegType::Sz;

constexpr std::array<SRegSchemaEntry, 39> kSchema{{
    // One profile section ("Profile N", "Import\Profile N" or "Import").
    {"ProfName", S},
    {"NetName", S},
    {"NetMode", D},
    {"PSType", D},
    {"PhyType", D},
    {"PhyChnl", D},
    {"SecType", D},
    {"ActiveSecKey", D},
    {"Sec Key 0", S},
    {"Sec Key Len 0", D},
    {"Sec Key 1", S},
    {"Sec Key Len 1", D},
    {"Sec Key 2", S},
    {"Sec Key Len 2", D},
    {"Sec Key 3", S},
    {"Sec Key Len 3", D},
    {"AutoSelect", D},
    {"MaxFragment", D},
    {"RTSThreshold", D},
    {"UseFragmentation", D},
    {"UseRTS", D},
    {"ShortPreamble", D},
    {"MaxTxPower", D},
    {"MaxNetRate", D},
    {"WrLessMode", D},
    {"Use802_1", D},
    {"Priority", D},
    {"WpaMode", D},
    {"WpaPassphrase", S},
    {"PhyFreq", D},
    // The application key (and "Import" for the profile count).
    {"NumOfProfiles", D},
    {"Polling Interval", D},
    {"Utilization", D},
    {"dBm-Percent", D},
    {"Active", D},
    {"Scan-Band", D},
    {"Power-Save", D},
    {"View AP or NET", D},
    {"ConnectedStation", S},
}};

bool EqualNoCase(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
        return lower(x) == lower(y);
    });
}

}  // namespace

std::span<const SRegSchemaEntry> RegistrySchema() { return kSchema; }

const SRegSchemaEntry* FindSchemaEntry(std::string_view name) {
    auto it = std::find_if(kSchema.begin(), kSchema.end(), [&](const auto& e) { return e.name == name; });
    return it == kSchema.end() ? nullptr : &*it;
}

const SRegSchemaEntry* FindSchemaEntryNoCase(std::string_view name) {
    auto it = std::find_if(kSchema.begin(), kSchema.end(),
                           [&](const auto& e) { return EqualNoCase(e.name, name); });
    return it == kSchema.end() ? nullptr : &*it;
}

}  // namespace wavory
