#include "profiles/ProfileValues.h"

#include <algorithm>

#include "base/ProfileFieldList.h"
#include "base/RegTree.h"
#include "base/Registry.h"
#include "profiles/Profile.h"

namespace wavory {

namespace {

// How each field of the list is reached in a record.
struct SAccess {
    int (*getNumber)(const CProfile&);
    void (*setNumber)(CProfile&, int);
    const std::string& (*getText)(const CProfile&);
    void (*setText)(CProfile&, const std::string&);
};

constexpr int DefaultNumber(int v) { return v; }
constexpr int DefaultNumber(bool v) { return v ? 1 : 0; }
constexpr int DefaultNumber(const char*) { return 0; }
constexpr std::string_view DefaultText(const char* v) { return v; }
constexpr std::string_view DefaultText(int) { return {}; }
constexpr std::string_view DefaultText(bool) { return {}; }

#define WAVORY_ACCESS_Text(member)                                                          \
    SAccess {                                                                               \
        nullptr, nullptr, [](const CProfile& p) -> const std::string& { return p.member; }, \
            [](CProfile& p, const std::string& v) { p.member = v; }                         \
    }
#define WAVORY_ACCESS_Int(member)                                      \
    SAccess {                                                          \
        [](const CProfile& p) { return static_cast<int>(p.member); },  \
            [](CProfile& p, int v) { p.member = v; }, nullptr, nullptr \
    }
#define WAVORY_ACCESS_Bool(member)                                                                         \
    SAccess {                                                                                              \
        [](const CProfile& p) { return p.member ? 1 : 0; }, [](CProfile& p, int v) { p.member = v != 0; }, \
            nullptr, nullptr                                                                               \
    }
#define WAVORY_FIELD_ACCESS(kind, member, name, def, flags) WAVORY_ACCESS_##kind(member),
#define WAVORY_FIELD_INFO(kind, member, name, def, flags) \
    SProfileField{name, EFieldKind::kind, flags, DefaultNumber(def), DefaultText(def)},

constexpr SAccess kAccess[] = {WAVORY_PROFILE_FIELDS(WAVORY_FIELD_ACCESS)};
constexpr SProfileField kFields[] = {WAVORY_PROFILE_FIELDS(WAVORY_FIELD_INFO)};
static_assert(std::size(kAccess) == std::size(kFields));

}  // namespace

std::span<const SProfileField> ProfileFields() { return kFields; }

int FieldIndex(std::string_view name) {
    for (size_t i = 0; i < std::size(kFields); ++i)
        if (RegNameEqual(kFields[i].name, name)) return static_cast<int>(i);
    return -1;
}

FieldValues ValuesOf(const CProfile& profile) {
    FieldValues values(std::size(kFields));
    for (size_t i = 0; i < values.size(); ++i) {
        if (kAccess[i].getText)
            values[i].text = kAccess[i].getText(profile);
        else
            values[i].number = kAccess[i].getNumber(profile);
    }
    return values;
}

bool HoldsValues(const CProfile& profile, const FieldValues& values) {
    if (values.size() != std::size(kFields)) return false;
    for (size_t i = 0; i < values.size(); ++i) {
        const bool same = kAccess[i].getText ? kAccess[i].getText(profile) == values[i].text
                                             : kAccess[i].getNumber(profile) == values[i].number;
        if (!same) return false;
    }
    return true;
}

void SetValues(CProfile& profile, const FieldValues& values) {
    for (size_t i = 0; i < std::min(values.size(), std::size(kFields)); ++i) {
        if (kAccess[i].setText)
            kAccess[i].setText(profile, values[i].text);
        else
            kAccess[i].setNumber(profile, values[i].number);
    }
}

FieldValues DefaultValues() {
    FieldValues values(std::size(kFields));
    for (size_t i = 0; i < values.size(); ++i) {
        values[i].number = kFields[i].defaultNumber;
        values[i].text = kFields[i].defaultText;
    }
    return values;
}

FieldValues ReadValues(const IRegistry& registry, std::string_view section) {
    FieldValues values = DefaultValues();
    for (size_t i = 0; i < values.size(); ++i) {
        const SProfileField& f = kFields[i];
        if (f.kind == EFieldKind::Text) {
            values[i].text = registry.GetProfileString(section, f.name, f.defaultText);
        } else {
            const int v = registry.GetProfileInt(section, f.name, f.defaultNumber);
            values[i].number = f.kind == EFieldKind::Bool ? (v != 0 ? 1 : 0) : v;
        }
    }
    return values;
}

bool WriteValues(IRegistry& registry, std::string_view section, const FieldValues& values,
                 const FieldValues* stored) {
    std::vector<SRegWrite> writes;
    writes.reserve(values.size());
    for (size_t i = 0; i < std::min(values.size(), std::size(kFields)); ++i) {
        if (stored && i < stored->size() && (*stored)[i] == values[i]) continue;
        const SProfileField& f = kFields[i];
        if (f.kind == EFieldKind::Text)
            writes.push_back({f.name, ERegType::Sz, 0, values[i].text});
        else
            writes.push_back({f.name, ERegType::Dword, static_cast<uint32_t>(values[i].number), {}});
    }
    return writes.empty() || registry.WriteValues(section, writes);
}

bool ValuesFromKey(const SRegKey& key, FieldValues& values, std::string& problem) {
    values = DefaultValues();
    size_t next = 0;  // files of this utility hold the values in the list's order
    for (const SRegNamedValue& v : key.values) {
        const int i = next < std::size(kFields) && RegNameEqual(kFields[next].name, v.name)
                          ? static_cast<int>(next)
                          : FieldIndex(v.name);
        if (i < 0) continue;
        next = static_cast<size_t>(i) + 1;
        const SProfileField& f = kFields[static_cast<size_t>(i)];
        SFieldValue& out = values[static_cast<size_t>(i)];
        if (f.kind == EFieldKind::Text) {
            out.text = v.value.type == ERegType::Sz ? v.value.text : std::to_string(v.value.dword);
            continue;
        }
        uint32_t number = v.value.dword;
        if (v.value.type == ERegType::Sz) {
            const auto parsed = ParseDwordText(v.value.text);
            if (!parsed) {
                problem = "\"" + std::string(f.name) + "\" is no number";
                return false;
            }
            number = *parsed;
        }
        out.number = f.kind == EFieldKind::Bool ? (number != 0 ? 1 : 0) : static_cast<int>(number);
    }
    return true;
}

std::vector<std::string> ChangedFields(const FieldValues& a, const FieldValues& b) {
    std::vector<std::string> names;
    for (size_t i = 0; i < std::min({a.size(), b.size(), std::size(kFields)}); ++i)
        if (!(a[i] == b[i])) names.emplace_back(kFields[i].name);
    return names;
}

}  // namespace wavory
