// The profile manager's writes: what changed in the held profiles, stored as one change of the store
// after reading what the store holds now; removal; the count.
#include <algorithm>

#include "base/AppBase.h"
#include "base/Messages.h"
#include "base/RegTree.h"
#include "base/Registry.h"
#include "driver/Format.h"
#include "profiles/ProfileMngr.h"
#include "profiles/ProfileSections.h"
#include "profiles/RegistryUpdate.h"

namespace wavory {

namespace {

// A section's values as the manager holds a profile: no place outside the auto-selection order.
FieldValues AsHeld(const FieldValues& values) {
    CProfile held("", false);
    SetValues(held, values);
    if (!held.AutoSelect) held.Priority = -1;
    return ValuesOf(held);
}

// What the store holds for a profile's section now: false when it holds none (deleted, or left
// nameless by a deletion), or could not be read (readError set).
bool StoredProfile(IRegistry& registry, const std::string& section, FieldValues& values, int& readError) {
    if (!registry.KeyExists(section)) {
        readError = registry.TakeReadError();
        return false;
    }
    CProfile stored(section, false);
    if (!stored.Load()) {
        readError = REG_ERROR_BADDB;
        return false;
    }
    if (stored.ProfName.empty()) return false;
    values = AsHeld(ValuesOf(stored));
    return true;
}

}  // namespace

struct CProfileMngr::SStorePlan {
    struct SUpdate {
        std::shared_ptr<CProfile> profile;
        FieldValues values;  // what the profile holds, and the store, once the change is stored
        std::string section;
    };
    std::vector<SUpdate> updates;
    std::vector<std::shared_ptr<CProfile>> dropped;  // deleted by another program, and let go
    bool placesTaken = false;                        // slots another program gave were taken over
    // Profiles not held whose slots moved: their sections and the slots they then have (written
    // unless another program's slot is kept).
    struct SPlaceUpdate {
        std::string section;
        int slot = -1;
        bool write = false;
    };
    std::vector<SPlaceUpdate> places;
    std::vector<std::string> droppedPlaces;  // not held, deleted by another program
};

std::string StoreFailureText(int code) {
    switch (code) {
        case REG_ERROR_DISK_FULL:
            return "The change was not stored: the disk that holds the settings is full. Make room on it, "
                   "then try again.";
        case REG_ERROR_WRITE_PROTECT:
            return "The change was not stored: the settings are read-only (the settings file, its folder "
                   "or their file system cannot be written).";
        case REG_ERROR_BUSY:
            return "The change was not stored: another program kept the settings locked. Try again; if "
                   "this goes on, end the program that holds them.";
        case REG_ERROR_BADDB:
            return "The change was not stored: the settings file is damaged. Start the utility again: it "
                   "keeps the damaged file and goes back to its last copy.";
        default:
            return "The change was not stored: " + SystemErrorText(code);
    }
}

int CProfileMngr::StoredNames(std::set<std::string>& names, SectionSet& sections) const {
    IRegistry& registry = *theApp.m_pRegistry;
    static constexpr SRegRead kName[] = {{"ProfName", ERegType::Sz, 0, ""}};
    for (SRegKey& section : registry.SubKeyValues("", kName)) {
        if (SectionNumber(section.name) < 0) continue;
        std::string& name = section.values[0].value.text;
        // A nameless section is a deletion left half done: free to take over.
        if (name.empty()) continue;
        names.insert(std::move(name));
        sections.insert(std::move(section.name));
    }
    // Names not read are no free names.
    return registry.TakeReadError() != REG_OK ? REG_ERROR_BADDB : REG_OK;
}

int CProfileMngr::WriteCount() {
    IRegistry& registry = *theApp.m_pRegistry;
    const std::vector<std::string> sections = registry.SubKeyNames("");
    const auto count = std::count_if(sections.begin(), sections.end(),
                                     [](const std::string& s) { return SectionNumber(s) >= 0; });
    if (registry.TakeReadError() != REG_OK) return REG_ERROR_BADDB;
    return registry.WriteProfileInt("", kCountEntry, static_cast<int>(count)) ? REG_OK : registry.LastError();
}

CProfileMngr::SStoreResult CProfileMngr::StoreChanges(EOnConflict onConflict) {
    SStoreResult result;
    std::lock_guard lock(m_Mutex);
    IRegistry* registry = theApp.m_pRegistry;
    if (!registry) {
        result.error = REG_ERROR_WRITE_FAULT;
        return result;
    }
    if (std::none_of(m_Profiles.begin(), m_Profiles.end(),
                     [](const auto& e) { return e.second->HasChanges(); }) &&
        !PlacesChanged())
        return result;
    SStorePlan plan;
    CRegistryUpdate group(registry);
    result.error = StoreHeld(onConflict, result, plan);
    if (result.error != REG_OK) {
        group.Cancel();
        return result;
    }
    if (!group.End()) {
        result.error = registry->LastError() != REG_OK ? registry->LastError() : REG_ERROR_WRITE_FAULT;
        return result;
    }
    ApplyPlan(plan);
    return result;
}

bool CProfileMngr::SaveAll() { return StoreChanges(EOnConflict::TakeTheirs).Ok(); }

int CProfileMngr::StoreHeld(EOnConflict onConflict, SStoreResult& result, SStorePlan& plan) {
    IRegistry& registry = *theApp.m_pRegistry;
    registry.TakeReadError();
    std::vector<std::shared_ptr<CProfile>> added;
    std::vector<std::pair<std::shared_ptr<CProfile>, FieldValues>> changed;  // with what the store holds
    for (const auto& [name, profile] : m_Profiles) {
        if (!profile->IsStored()) {
            added.push_back(profile);
            continue;
        }
        if (!profile->HasChanges()) continue;
        const FieldValues mine = ValuesOf(*profile);
        const FieldValues& base = profile->Stored();
        FieldValues theirs;
        int readError = REG_OK;
        if (!StoredProfile(registry, profile->GetSection(), theirs, readError)) {
            if (readError != REG_OK) return readError;
            // Deleted by another program since it was read.
            if (onConflict == EOnConflict::Refuse)
                result.conflicts.push_back({profile->ProfName, {}, true});
            else if (onConflict == EOnConflict::TakeTheirs)
                plan.dropped.push_back(profile);
            else
                added.push_back(profile);
            continue;
        }
        // Field by field: this program's change where it made one, the other program's elsewhere.
        FieldValues merged = theirs;
        std::vector<std::string> both;
        const auto fields = ProfileFields();
        for (size_t i = 0; i < merged.size(); ++i) {
            if (mine[i] == base[i] || mine[i] == theirs[i]) continue;
            if (theirs[i] == base[i] || onConflict == EOnConflict::KeepMine) {
                merged[i] = mine[i];
            } else if (onConflict == EOnConflict::Refuse) {
                both.emplace_back(fields[i].name);
            }
            // TakeTheirs: the stored value stays.
        }
        if (!both.empty()) {
            result.conflicts.push_back({profile->ProfName, std::move(both), false});
            continue;
        }
        if (merged != mine) plan.placesTaken = true;
        changed.emplace_back(profile, std::move(theirs));
        plan.updates.push_back({profile, std::move(merged), profile->GetSection()});
    }
    if (const int rc = CheckPlaces(onConflict, result, plan); rc != REG_OK) return rc;
    if (!result.conflicts.empty()) return kConflict;

    // Names stay unique among the stored profiles: a rename to a name another program gave a
    // profile meanwhile is refused.
    std::set<std::string> names;
    SectionSet sections;
    const bool renamed = std::any_of(plan.updates.begin(), plan.updates.end(), [&](const auto& u) {
        return u.values[0].text != u.profile->Stored()[0].text;
    });
    if (renamed || !added.empty())
        if (const int rc = StoredNames(names, sections); rc != REG_OK) return rc;
    for (size_t i = 0; i < changed.size(); ++i) {
        const SStorePlan::SUpdate& update = plan.updates[i];
        const std::string& name = update.values[0].text;
        if (name != changed[i].second[0].text && names.count(name) != 0) {
            result.clash = name;
            return REG_ERROR_FILE_EXISTS;
        }
        names.erase(changed[i].second[0].text);
        names.insert(name);
        if (!WriteValues(registry, update.section, update.values, &changed[i].second))
            return registry.LastError();
    }
    std::vector<SRegDwordAt> slots;
    for (const SStorePlan::SPlaceUpdate& place : plan.places)
        if (place.write) slots.push_back({place.section, static_cast<uint32_t>(place.slot)});
    if (!slots.empty() && !registry.WriteDwordEach("Priority", slots)) return registry.LastError();
    if (const int rc = StoreNew(added, names, sections, plan, result); rc != REG_OK) return rc;
    if (!added.empty() || !plan.dropped.empty()) return WriteCount();
    return REG_OK;
}

// New profiles take free sections now; one still bearing its automatic name takes the section's.
int CProfileMngr::StoreNew(const std::vector<std::shared_ptr<CProfile>>& added, std::set<std::string>& names,
                           SectionSet& sections, SStorePlan& plan, SStoreResult& result) {
    IRegistry& registry = *theApp.m_pRegistry;
    if (added.empty()) return REG_OK;
    CTakenNumbers taken(sections.size() + names.size() + 2 * added.size());
    for (const std::string& s : sections) taken.Mark(s);
    for (const std::string& n : names) taken.Mark(n);
    for (const auto& profile : added) {
        FieldValues values = ValuesOf(*profile);
        std::string section = profile->GetSection();
        const bool automatic = profile->ProfName == section;
        if (SectionNumber(section) < 0 || sections.count(section) != 0)
            section = SectionName(taken.FirstFree());
        if (automatic) values[0].text = section;
        if (names.count(values[0].text) != 0) {
            result.clash = values[0].text;
            return REG_ERROR_FILE_EXISTS;
        }
        // Whatever a nameless section left there goes: the profile is stored whole.
        if (!WriteValues(registry, section, values)) return registry.LastError();
        names.insert(values[0].text);
        sections.insert(section);
        taken.Mark(values[0].text);
        taken.Mark(section);
        plan.updates.push_back({profile, std::move(values), section});
    }
    return REG_OK;
}

void CProfileMngr::ApplyPlan(SStorePlan& plan) {
    for (SStorePlan::SUpdate& update : plan.updates) {
        SetValues(*update.profile, update.values);
        update.profile->SetSection(update.section);
        update.profile->SetStored(std::move(update.values));
    }
    for (const auto& profile : plan.dropped) {
        std::erase_if(m_Profiles, [&](const auto& e) { return e.second == profile; });
        if (m_pConnected == profile) SetConnected(nullptr, true);
    }
    for (const SStorePlan::SPlaceUpdate& update : plan.places) {
        if (auto it = m_Places.find(update.section); it != m_Places.end())
            it->second.read = it->second.base = it->second.slot = update.slot;
    }
    for (const std::string& section : plan.droppedPlaces) {
        const auto it = m_Places.find(section);
        if (it == m_Places.end()) continue;
        if (auto named = m_StoredNames.find(it->second.name);
            named != m_StoredNames.end() && named->second == section)
            m_StoredNames.erase(named);
        m_Places.erase(it);
    }
    Rekey(plan.placesTaken || !plan.dropped.empty() || !plan.droppedPlaces.empty());
}

bool CProfileMngr::PlacesChanged() const {
    return std::any_of(m_Places.begin(), m_Places.end(),
                       [](const auto& e) { return e.second.slot != e.second.base; });
}

// The profiles not held are checked by their names and places alone, all in one read: a slot is
// written where the store still holds the one that was read; one another program changed meanwhile
// is a conflict, decided as a changed field of a held profile is.
int CProfileMngr::CheckPlaces(EOnConflict onConflict, SStoreResult& result, SStorePlan& plan) {
    if (!PlacesChanged()) return REG_OK;
    IRegistry& registry = *theApp.m_pRegistry;
    static constexpr SRegRead kReads[] = {{"ProfName", ERegType::Sz, 0, ""},
                                          {"AutoSelect", ERegType::Dword, 0, ""},
                                          {"Priority", ERegType::Dword, 0, ""}};
    std::map<std::string, int, SNoCaseLess> stored;  // named sections and their slots, -1 outside the order
    for (const SRegKey& key : registry.SubKeyValues("", kReads)) {
        if (SectionNumber(key.name) < 0 || key.values[0].value.text.empty()) continue;
        stored[key.name] = key.values[1].value.dword != 0 ? static_cast<int>(key.values[2].value.dword) : -1;
    }
    if (registry.TakeReadError() != REG_OK) return REG_ERROR_BADDB;
    for (const auto& [section, place] : m_Places) {
        if (place.slot == place.base) continue;
        const auto it = stored.find(section);
        if (it == stored.end()) {
            // Deleted by another program since it was read: it stays deleted (there is no whole
            // profile here to bring back).
            if (onConflict == EOnConflict::Refuse)
                result.conflicts.push_back({place.name, {}, true});
            else
                plan.droppedPlaces.push_back(section);
            continue;
        }
        const int theirs = it->second;
        if (theirs == place.read || theirs == place.slot || onConflict == EOnConflict::KeepMine) {
            plan.places.push_back({section, place.slot, theirs != place.slot});
        } else if (onConflict == EOnConflict::Refuse) {
            result.conflicts.push_back({place.name, {"Priority"}, false});
        } else {
            plan.places.push_back({section, theirs, false});
            plan.placesTaken = true;
        }
    }
    return REG_OK;
}

void CProfileMngr::DiscardChanges() {
    std::lock_guard lock(m_Mutex);
    for (auto& [name, profile] : m_Profiles)
        if (profile->IsStored()) SetValues(*profile, profile->Stored());
    for (auto& [section, place] : m_Places) place.slot = place.base;
    Rekey(true);
}

int CProfileMngr::RemoveProfile(const std::string& name, bool renumber, bool deleteKey) {
    int error = REG_OK;
    // A profile known only by its name and place is read whole first: it goes as a held one does.
    if (m_Load == ELoad::Names && !LoadProfile(name, &error) && error != REG_OK) {
        theApp.ShowMessage(StoreFailureText(error), EMsgIcon::Warning);
        return error;
    }
    {
        std::lock_guard lock(m_Mutex);
        auto it = m_Profiles.find(name);
        if (it == m_Profiles.end()) return REG_OK;
        const std::shared_ptr<CProfile> profile = it->second;
        const int priority = profile->Priority;
        // Only a member leaves a slot behind; renumbering for any other profile would open an empty one.
        const bool member = profile->AutoSelect && priority >= 0;
        IRegistry* registry = deleteKey ? theApp.m_pRegistry : nullptr;
        // The section, the members moving up and the count go together: a deletion cut short leaves
        // the profile whole. Nothing else is written.
        CRegistryUpdate group(registry);
        if (registry) {
            error = registry->DeleteKeyTree(profile->GetSection());
            if (error == REG_ERROR_FILE_NOT_FOUND) error = REG_OK;  // never stored, or deleted elsewhere
        }
        m_Profiles.erase(it);
        if (renumber && member) UpdatePriorities(priority);
        if (registry && error == REG_OK) {
            SStoreResult ignored;
            SStorePlan plan;
            error = StoreHeld(EOnConflict::TakeTheirs, ignored, plan);
            if (error == REG_OK) error = WriteCount();
            if (error != REG_OK) {
                group.Cancel();
            } else if (!group.End()) {
                error = registry->LastError() != REG_OK ? registry->LastError() : REG_ERROR_WRITE_FAULT;
            } else {
                ApplyPlan(plan);
            }
        }
        if (error != REG_OK) {
            // The store refused: the profile stays, and so does the order, as stored.
            m_Profiles[name] = profile;
            DiscardChanges();
        } else if (m_pConnected && m_pConnected->ProfName == profile->ProfName) {
            SetConnected(nullptr, true);
        }
    }
    if (error != REG_OK) theApp.ShowMessage(StoreFailureText(error), EMsgIcon::Warning);
    return error;
}

}  // namespace wavory
