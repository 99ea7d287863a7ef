#include "profiles/StackImport.h"

#include <algorithm>
#include <numeric>

#include "base/RegTree.h"
#include "profiles/ProfileSections.h"
#include "profiles/ProfileValues.h"

namespace wavory {

namespace {

// A profile as the key a profile file holds for it, so that it takes the file import's way.
SRegKey KeyOf(const CProfile& profile, const std::string& name) {
    SRegKey key;
    key.name = name;
    const FieldValues values = ValuesOf(profile);
    const auto fields = ProfileFields();
    for (std::size_t i = 0; i < fields.size(); ++i) {
        const SProfileField& f = fields[i];
        key.SetValue(f.name, f.kind == EFieldKind::Text
                                 ? SRegValue::Sz(values[i].text)
                                 : SRegValue::Dword(static_cast<uint32_t>(values[i].number)));
    }
    return key;
}

}  // namespace

SStackImportResult ImportStackNetworks(CProfileMngr& profiles, const std::vector<SStackNetwork>& networks) {
    SStackImportResult result;
    result.names.assign(networks.size(), {});
    result.reasons.assign(networks.size(), {});
    SRegKey top;
    std::vector<std::size_t> sources;  // network of each subkey
    for (std::size_t i = 0; i < networks.size(); ++i) {
        if (!networks[i].profile) continue;
        top.subkeys.push_back(KeyOf(*networks[i].profile, SectionName(static_cast<int>(sources.size()))));
        sources.push_back(i);
    }
    top.SetValue(kCountEntry, SRegValue::Dword(static_cast<uint32_t>(sources.size())));
    if (sources.empty()) {
        result.import.error = -2;
        result.import.refusal = "Nothing was imported: no network of the input can be used.";
        return result;
    }
    result.import = profiles.ImportTree(top);
    if (result.import.error != 0) return result;
    // The added names follow the subkeys that were not skipped, in order.
    std::size_t next = 0;
    for (std::size_t k = 0; k < sources.size() && next < result.import.added.size(); ++k) {
        const std::string section = SectionName(static_cast<int>(k));
        const auto skipped = std::find_if(result.import.skipped.begin(), result.import.skipped.end(),
                                          [&](const auto& s) { return s.first == section; });
        if (skipped == result.import.skipped.end())
            result.names[sources[k]] = result.import.added[next++];
        else
            result.reasons[sources[k]] = skipped->second;
    }
    std::vector<std::size_t> members;
    for (std::size_t i = 0; i < networks.size(); ++i)
        if (!result.names[i].empty() && networks[i].autoConnect) members.push_back(i);
    if (members.empty()) return result;
    std::stable_sort(members.begin(), members.end(), [&](std::size_t a, std::size_t b) {
        return networks[a].priority > networks[b].priority;
    });
    {
        auto lock = profiles.Lock();
        for (std::size_t i : members) {
            auto profile = profiles.GetProfile(result.names[i]);
            if (!profile) continue;
            profile->AutoSelect = true;
            profile->Priority = profiles.UpdatePriorities(-1);
        }
    }
    const CProfileMngr::SStoreResult stored = profiles.StoreChanges(CProfileMngr::EOnConflict::KeepMine);
    if (!stored.Ok()) result.orderError = stored.error;
    return result;
}

}  // namespace wavory
