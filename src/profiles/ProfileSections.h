// The names of profile sections ("Profile N"), shared by the profile manager's parts.
#pragma once

#include <algorithm>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace wavory {

inline constexpr const char* kImportKey = "Import";
inline constexpr const char* kCountEntry = "NumOfProfiles";

// The number of a "Profile N" section name, or -1 for any other name.
inline int SectionNumber(std::string_view name) {
    constexpr std::string_view kPrefix = "Profile ";
    if (name.size() <= kPrefix.size() || name.size() > kPrefix.size() + 9 || !name.starts_with(kPrefix))
        return -1;
    int number = 0;
    for (char c : name.substr(kPrefix.size())) {
        if (c < '0' || c > '9') return -1;
        number = number * 10 + (c - '0');
    }
    return number;
}

inline std::string SectionName(int number) { return "Profile " + std::to_string(number); }

// Section names compare as the store compares key names: without regard to ASCII case.
struct SNoCaseLess {
    bool operator()(const std::string& a, const std::string& b) const {
        const size_t n = std::min(a.size(), b.size());
        for (size_t i = 0; i < n; ++i) {
            const char x = Lower(a[i]), y = Lower(b[i]);
            if (x != y) return x < y;
        }
        return a.size() < b.size();
    }
    static char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }
};
using SectionSet = std::set<std::string, SNoCaseLess>;

// Which "Profile N" names (written exactly so) a set of names and sections takes, marked in one pass:
// the lowest free one is then found without a lookup per candidate (at 10,000 profiles, 10,000 of
// them). Sized for the names it is to be shown, the lowest free number is always within it.
class CTakenNumbers {
public:
    explicit CTakenNumbers(std::size_t names) : m_Taken(names + 1, false) {}
    void Mark(std::string_view name) {
        const int n = SectionNumber(name);
        // "Profile 07" is another name than "Profile 7": only the exact spelling takes the number.
        if (n >= 0 && static_cast<std::size_t>(n) < m_Taken.size() && name == SectionName(n))
            m_Taken[static_cast<std::size_t>(n)] = true;
    }
    // The lowest number from `from` on that nothing marked takes.
    int FirstFree(int from = 0) const {
        std::size_t k = static_cast<std::size_t>(std::max(from, 0));
        while (k < m_Taken.size() && m_Taken[k]) ++k;
        return static_cast<int>(k);
    }

private:
    std::vector<bool> m_Taken;
};

}  // namespace wavory
