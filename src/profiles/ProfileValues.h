// A profile's fields in their stored form, in the order of the field list (base/ProfileFieldList.h),
// and what every path does with them: read a section, write what changed, copy between records,
// take them from a profile file, compare. Nothing here names a field: the list does.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace wavory {

class CProfile;
class IRegistry;
struct SRegKey;

// A number (Int and Bool fields; a Bool as 0 or 1) or a text.
struct SFieldValue {
    int number = 0;
    std::string text;
    bool operator==(const SFieldValue&) const = default;
};
using FieldValues = std::vector<SFieldValue>;

enum class EFieldKind { Text, Int, Bool };

struct SProfileField {
    std::string_view name;  // the value's name in the profile's section
    EFieldKind kind;
    unsigned flags;  // kFieldSecret, kFieldPlace
    int defaultNumber;
    std::string_view defaultText;
};

std::span<const SProfileField> ProfileFields();
// The index of a field by its value name (as the registry compares names), or -1.
int FieldIndex(std::string_view name);

FieldValues ValuesOf(const CProfile& profile);
// Whether the profile holds exactly these values (without copying its fields).
bool HoldsValues(const CProfile& profile, const FieldValues& values);
void SetValues(CProfile& profile, const FieldValues& values);
FieldValues DefaultValues();

// The fields stored in a section; absent values give their defaults.
FieldValues ReadValues(const IRegistry& registry, std::string_view section);
// Writes the fields that differ from `stored` (every field without it) as one call of the store.
bool WriteValues(IRegistry& registry, std::string_view section, const FieldValues& values,
                 const FieldValues* stored = nullptr);
// The fields of a key read from a profile file; absent values give their defaults. A number given
// as decimal text is taken; a text that is no number for a number field is refused (false), with the
// field named in `problem`.
bool ValuesFromKey(const SRegKey& key, FieldValues& values, std::string& problem);
// The names of the fields whose values differ.
std::vector<std::string> ChangedFields(const FieldValues& a, const FieldValues& b);

}  // namespace wavory
