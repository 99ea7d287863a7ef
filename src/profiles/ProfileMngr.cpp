#include "profiles/ProfileMngr.h"

#include <algorithm>

#include "base/AppBase.h"
#include "base/RegTree.h"
#include "base/Registry.h"
#include "driver/Format.h"
#include "profiles/ProfileSections.h"
#include "profiles/RegistryUpdate.h"

namespace wavory {

namespace {

// Loaded members with a slot at or past this plus the number of profiles get a new last slot.
constexpr int kProbeLimit = 100;

}  // namespace

CProfileMngr::CProfileMngr(ELoad load) : m_Load(load) { m_bLoaded = LoadAll(); }

// Every change is stored when it is made, so nothing is saved here: writing back the whole list at
// the end would undo what another program changed in the store meanwhile.
CProfileMngr::~CProfileMngr() {
    std::lock_guard lock(m_Mutex);
    m_Profiles.clear();
}

bool CProfileMngr::IsReservedName(std::string_view name) {
    return name == kConnectedStation || name == kEditStation;
}

// ---- Lookups and the connected profile ----

std::shared_ptr<CProfile> CProfileMngr::GetProfile(std::string_view name) const {
    if (name == kConnectedStation) {
        // Asked without holding this lock: the station manager has its own, and may call in here.
        return m_fnCurrentStation ? m_fnCurrentStation() : nullptr;
    }
    std::lock_guard lock(m_Mutex);
    if (name == kEditStation) return m_pEditStation;
    auto it = m_Profiles.find(name);
    return it == m_Profiles.end() ? nullptr : it->second;
}

std::shared_ptr<CProfile> CProfileMngr::GetConnected() const {
    std::lock_guard lock(m_Mutex);
    return m_pConnected;
}

void CProfileMngr::SetEditStation(std::shared_ptr<CProfile> station) {
    std::lock_guard lock(m_Mutex);
    m_pEditStation = std::move(station);
}

void CProfileMngr::SetConnected(std::shared_ptr<CProfile> profile, bool restart) {
    std::lock_guard lock(m_Mutex);
    if (!profile && restart) m_nRotation = 0;
    m_pConnected = std::move(profile);
}

std::shared_ptr<CProfile> CProfileMngr::NextAutoSelect(const std::function<bool(const CProfile&)>& reachable) {
    std::lock_guard lock(m_Mutex);
    if (m_nAutoCount <= 0) return nullptr;
    // The members by slot in one pass (the first in name order where two claim one).
    std::vector<std::shared_ptr<CProfile>> bySlot(static_cast<std::size_t>(m_nAutoCount));
    for (const auto& [name, profile] : m_Profiles) {
        // A hotspot profile is started, never joined: a slot it claims is the other claimant's.
        if (profile->Hotspot) continue;
        const int slot = profile->Priority;
        if (slot >= 0 && slot < m_nAutoCount && !bySlot[static_cast<std::size_t>(slot)])
            bySlot[static_cast<std::size_t>(slot)] = profile;
    }
    for (int step = 0; step < m_nAutoCount; ++step) {
        const int slot = (m_nRotation + step) % m_nAutoCount;
        const std::shared_ptr<CProfile>& profile = bySlot[static_cast<std::size_t>(slot)];
        if (!profile || (reachable && !reachable(*profile))) continue;
        m_nRotation = (slot + 1) % m_nAutoCount;
        return profile;
    }
    return nullptr;
}

void CProfileMngr::RestartAutoSelect() {
    std::lock_guard lock(m_Mutex);
    m_nRotation = 0;
}

std::shared_ptr<CProfile> CProfileMngr::FindByPriority(int priority) const {
    std::lock_guard lock(m_Mutex);
    for (const auto& [name, profile] : m_Profiles)
        if (profile->Priority == priority) return profile;
    return nullptr;
}

std::shared_ptr<CProfile> CProfileMngr::FindBySsid(std::string_view ssid) const {
    std::lock_guard lock(m_Mutex);
    for (const auto& [name, profile] : m_Profiles)
        if (profile->NetName == ssid && !profile->Hotspot) return profile;
    return nullptr;
}

std::shared_ptr<CProfile> CProfileMngr::LoadProfile(std::string_view name, int* error) {
    if (error) *error = REG_OK;
    if (IsReservedName(name)) return nullptr;
    std::lock_guard lock(m_Mutex);
    if (auto it = m_Profiles.find(name); it != m_Profiles.end()) return it->second;
    const auto named = m_StoredNames.find(name);
    if (named == m_StoredNames.end() || !theApp.m_pRegistry) return nullptr;
    int rc = REG_OK;
    auto profile = ReadStored(named->second, rc);
    if (error) *error = rc;
    // Renamed or deleted since the names were read: no profile of that name now.
    if (!profile || profile->ProfName != name) return nullptr;
    Hold(profile);
    return profile;
}

std::string CProfileMngr::NameAt(int slot) const {
    std::lock_guard lock(m_Mutex);
    if (slot < 0) return {};
    if (const auto held = FindByPriority(slot)) return held->ProfName;
    for (const auto& [section, place] : m_Places)
        if (place.slot == slot) return place.name;
    return {};
}

int CProfileMngr::GetCount() const {
    std::lock_guard lock(m_Mutex);
    return static_cast<int>(m_Profiles.size() + m_Places.size());
}

bool CProfileMngr::HasName(std::string_view name) const {
    std::lock_guard lock(m_Mutex);
    return m_Profiles.count(name) != 0 || m_StoredNames.count(name) != 0;
}

int CProfileMngr::GetAutoCount() const {
    std::lock_guard lock(m_Mutex);
    return m_nAutoCount;
}

std::vector<std::shared_ptr<CProfile>> CProfileMngr::Snapshot() const {
    std::lock_guard lock(m_Mutex);
    std::vector<std::shared_ptr<CProfile>> all;
    all.reserve(m_Profiles.size());
    for (const auto& [name, profile] : m_Profiles) all.push_back(profile);
    return all;
}

// ---- Naming, adding, renaming ----

std::string CProfileMngr::FreeName(const std::set<std::string>& reservedSections, int* number) const {
    // A renamed profile keeps its section, so a name free as a name may still be a section in use.
    CTakenNumbers taken(reservedSections.size() + 2 * m_Profiles.size() + m_Places.size() +
                        m_StoredNames.size());
    for (const std::string& section : reservedSections) taken.Mark(section);
    for (const auto& [name, profile] : m_Profiles) {
        taken.Mark(name);
        taken.Mark(profile->GetSection());
    }
    for (const auto& [section, place] : m_Places) taken.Mark(section);
    for (const auto& [name, section] : m_StoredNames) taken.Mark(name);
    const int k = taken.FirstFree();
    if (number) *number = k;
    return SectionName(k);
}

int CProfileMngr::MakeNewName() {
    std::lock_guard lock(m_Mutex);
    int number = 0;
    m_strNewName = FreeName({}, &number);
    return number;
}

std::string CProfileMngr::GetNewName() const {
    std::lock_guard lock(m_Mutex);
    return m_strNewName;
}

std::string CProfileMngr::AddProfile(const CProfile* source) {
    std::lock_guard lock(m_Mutex);
    MakeNewName();
    auto profile =
        source ? std::make_shared<CProfile>(*source) : std::make_shared<CProfile>(m_strNewName, true);
    // Whatever the section held, the new profile joins the auto-selection order only when its
    // creator gives it a slot; a leftover priority would otherwise claim another member's slot.
    profile->Priority = -1;
    profile->ProfName = m_strNewName;
    profile->SetSection(m_strNewName);
    profile->SetStored({});  // new: StoreChanges stores it whole
    m_Profiles[m_strNewName] = std::move(profile);
    return m_strNewName;
}

bool CProfileMngr::RenameProfile(const std::string& oldName, const std::string& newName,
                                 std::string* reason) {
    auto refuse = [reason](std::string text) {
        if (reason) *reason = std::move(text);
        return false;
    };
    std::lock_guard lock(m_Mutex);
    auto it = m_Profiles.find(oldName);
    if (it == m_Profiles.end())
        return refuse(StrFormat("There is no profile named \"%s\".", oldName.c_str()));
    if (newName == oldName) return true;
    if (newName.empty()) return refuse("A profile needs a name.");
    if (IsReservedName(newName))
        return refuse(StrFormat("The name \"%s\" is reserved; choose another one.", newName.c_str()));
    if (HasName(newName))
        return refuse(
            StrFormat("A profile named \"%s\" already exists; choose another name.", newName.c_str()));

    auto profile = std::move(it->second);
    m_Profiles.erase(it);
    profile->ProfName = newName;
    m_Profiles[newName] = std::move(profile);
    return true;
}

int CProfileMngr::UpdatePriorities(int priority) {
    std::lock_guard lock(m_Mutex);
    if (priority < 0) {
        ++m_nAutoCount;
        return m_nAutoCount - 1;
    }
    if (m_nAutoCount > 0) --m_nAutoCount;
    for (int i = priority; i < m_nAutoCount; ++i)
        if (auto next = FindByPriority(i + 1)) next->Priority = i;
    for (auto& [section, place] : m_Places)
        if (place.slot > priority) --place.slot;
    return m_nAutoCount;
}

void CProfileMngr::Rekey(bool recount) {
    // Only a profile whose name changed moves in the map; most calls find none.
    std::vector<std::shared_ptr<CProfile>> moved;
    for (auto it = m_Profiles.begin(); it != m_Profiles.end();) {
        if (it->first == it->second->ProfName) {
            ++it;
            continue;
        }
        moved.push_back(std::move(it->second));
        it = m_Profiles.erase(it);
    }
    for (auto& profile : moved) m_Profiles.emplace(profile->ProfName, std::move(profile));
    if (!recount) return;
    m_nAutoCount = 0;
    for (const auto& [name, profile] : m_Profiles)
        if (profile->AutoSelect && profile->Priority >= 0)
            m_nAutoCount = std::max(m_nAutoCount, profile->Priority + 1);
    for (const auto& [section, place] : m_Places) m_nAutoCount = std::max(m_nAutoCount, place.slot + 1);
    if (m_nAutoCount > 0) m_nRotation %= m_nAutoCount;
}

// ---- Loading ----

bool CProfileMngr::LoadAll() {
    std::lock_guard lock(m_Mutex);
    if (m_Load == ELoad::Names) return LoadNames();
    IRegistry* registry = theApp.m_pRegistry;
    if (!registry) {
        m_Profiles.clear();
        m_nAutoCount = 0;
        return true;
    }
    CRegistryRead read(registry);
    registry->TakeReadError();  // only this load's reads count
    // Every "Profile N" section loads, whatever its number and whatever "NumOfProfiles" says: a
    // wrong count (a hand-edited file, an older store) must not hide a profile.
    std::vector<std::shared_ptr<CProfile>> loaded;
    for (const std::string& name : registry->SubKeys("")) {
        if (SectionNumber(name) < 0) continue;
        auto profile = std::make_shared<CProfile>(name, false);
        if (!profile->Load()) return false;
        // A section without a name is what a deletion of the first store left half done.
        if (!profile->ProfName.empty()) loaded.push_back(std::move(profile));
    }
    // A read that failed is no end of the profiles: what was held stays, and nothing is written.
    if (registry->TakeReadError() != REG_OK) return false;
    m_Profiles.clear();
    m_nAutoCount = 0;

    // The first section of a name keeps it; a later one of the same (or a reserved) name gets a new
    // name of its own, keeps its section, and the new name is stored there at once.
    std::vector<std::shared_ptr<CProfile>> clashing;
    std::set<std::string> pendingSections;
    for (auto& profile : loaded) {
        if (IsReservedName(profile->ProfName) || !m_Profiles.emplace(profile->ProfName, profile).second) {
            clashing.push_back(profile);
            pendingSections.insert(profile->GetSection());
        }
    }
    for (auto& profile : clashing) {
        pendingSections.erase(profile->GetSection());
        profile->ProfName = FreeName(pendingSections, nullptr);
        m_Profiles[profile->ProfName] = profile;
        theApp.WriteProfileString(profile->GetSection(), "ProfName", profile->ProfName);
        profile->SetStored(ValuesOf(*profile));
    }

    std::vector<std::shared_ptr<CProfile>> members;
    for (auto& [name, profile] : m_Profiles) {
        if (profile->AutoSelect) {
            members.push_back(profile);
        } else {
            // No place outside the order, whatever the section says: what is held and what counts as
            // stored agree, so the stored value is never rewritten for it.
            profile->Priority = -1;
            profile->SetStored(ValuesOf(*profile));
        }
    }
    PlaceStrayMembers(members, kProbeLimit + static_cast<int>(loaded.size()));
    return true;
}

bool CProfileMngr::LoadNames() {
    IRegistry* registry = theApp.m_pRegistry;
    std::vector<SRegKey> stored;
    if (registry) {
        registry->TakeReadError();
        static constexpr SRegRead kReads[] = {{"ProfName", ERegType::Sz, 0, ""},
                                              {"AutoSelect", ERegType::Dword, 0, ""},
                                              {"Priority", ERegType::Dword, 0, ""}};
        stored = registry->SubKeyValues("", kReads);
        if (registry->TakeReadError() != REG_OK) return false;
    }
    std::map<std::string, SPlace, SNoCaseLess> places;
    std::map<std::string, std::string, std::less<>> names;
    for (const SRegKey& section : stored) {
        const std::string& name = section.values[0].value.text;
        // As LoadAll: every "Profile N" section with a name is a profile, whatever the count says.
        const int number = SectionNumber(section.name);
        if (number < 0 || name.empty()) continue;
        const int read =
            section.values[1].value.dword != 0 ? static_cast<int>(section.values[2].value.dword) : -1;
        places[section.name] = {name, read, -1, -1};
        // A name two sections bear is the lower-numbered one's, as LoadAll gives it.
        auto [it, added] = names.try_emplace(name, section.name);
        if (!added && number < SectionNumber(it->second)) it->second = section.name;
    }
    // The members' places as LoadAll takes them: in name order, the first to claim a valid slot keeps
    // it. The others have none here; the next full load places them.
    std::vector<std::pair<std::string_view, SPlace*>> members;
    for (auto& [section, place] : places)
        if (place.read >= 0) members.emplace_back(place.name, &place);
    std::stable_sort(members.begin(), members.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    const int slotLimit = kProbeLimit + static_cast<int>(places.size());
    std::set<int> taken;
    int autoCount = 0;
    for (auto& [name, place] : members) {
        if (place->read >= slotLimit || !taken.insert(place->read).second) continue;
        place->base = place->slot = place->read;
        autoCount = std::max(autoCount, place->read + 1);
    }

    // The stored profiles held so far are held again, read anew.
    std::vector<std::shared_ptr<CProfile>> held;
    for (const auto& [name, profile] : m_Profiles) {
        if (!profile->IsStored() || places.count(profile->GetSection()) == 0) continue;
        int error = REG_OK;
        auto again = ReadStored(profile->GetSection(), error);
        if (error != REG_OK) return false;
        if (again) held.push_back(std::move(again));
    }
    m_Profiles.clear();
    m_Places = std::move(places);
    m_StoredNames = std::move(names);
    m_nAutoCount = autoCount;
    for (auto& profile : held)
        if (m_Profiles.count(profile->ProfName) == 0) Hold(std::move(profile));
    return true;
}

std::shared_ptr<CProfile> CProfileMngr::ReadStored(const std::string& section, int& error) const {
    auto profile = std::make_shared<CProfile>(section, false);
    if (!profile->Load()) {
        error = REG_ERROR_BADDB;
        return nullptr;
    }
    // A section without a name is what a deletion left half done.
    if (profile->ProfName.empty()) return nullptr;
    return profile;
}

void CProfileMngr::Hold(std::shared_ptr<CProfile> profile) {
    const auto it = m_Places.find(profile->GetSection());
    const int slot = it == m_Places.end() ? -1 : it->second.slot;
    const int read = it == m_Places.end() ? -1 : it->second.read;
    if (it != m_Places.end()) {
        const auto named = m_StoredNames.find(it->second.name);
        if (named != m_StoredNames.end() && named->second == it->first) m_StoredNames.erase(named);
        m_Places.erase(it);
    }
    // As LoadAll holds it: no place outside the order. A member keeps the slot its place has now
    // (moved up since, it is a change to store); one without a valid slot of its own, or moved by
    // another program since its place was read, takes a new last one, stored with the next change.
    if (!profile->AutoSelect) profile->Priority = -1;
    profile->SetStored(ValuesOf(*profile));
    if (profile->AutoSelect)
        profile->Priority = slot >= 0 && profile->Priority == read ? slot : m_nAutoCount++;
    m_Profiles[profile->ProfName] = std::move(profile);
}

void CProfileMngr::PlaceStrayMembers(const std::vector<std::shared_ptr<CProfile>>& members, int slotLimit) {
    // Members keep their slots, gaps included; a member without a slot of its own (-1, an absurd one,
    // or one that a member earlier in name order holds) is put at a new last slot, in name order.
    std::set<int> taken;
    std::vector<std::shared_ptr<CProfile>> strays;
    for (const auto& profile : members) {
        const int p = profile->Priority;
        if (p >= 0 && p < slotLimit && taken.insert(p).second)
            m_nAutoCount = std::max(m_nAutoCount, p + 1);
        else
            strays.push_back(profile);
    }
    for (const auto& profile : strays) {
        profile->Priority = m_nAutoCount++;
        theApp.WriteProfileInt(profile->GetSection(), "Priority", profile->Priority);
        profile->SetStored(ValuesOf(*profile));
    }
}

bool CProfileMngr::Reload() {
    std::lock_guard lock(m_Mutex);
    if (m_nEditing > 0) {
        m_bReloadPending = true;
        return true;
    }
    m_bReloadPending = false;
    std::map<std::string, std::shared_ptr<CProfile>> bySection;
    std::vector<std::shared_ptr<CProfile>> unstored;
    for (const auto& [name, profile] : m_Profiles) {
        if (profile->IsStored())
            bySection[profile->GetSection()] = profile;
        else
            unstored.push_back(profile);
    }
    if (!LoadAll()) return false;
    // A profile that is still stored keeps its record, now holding the stored values: whoever holds
    // it (the connected profile, a page) goes on working on the live one.
    for (auto& [name, profile] : m_Profiles) {
        auto it = bySection.find(profile->GetSection());
        if (it == bySection.end()) continue;
        it->second->TakeValues(*profile);
        profile = it->second;
    }
    // A profile not stored yet is kept, unless its name was taken meanwhile (its store then renames it).
    for (auto& profile : unstored) m_Profiles.emplace(profile->ProfName, profile);
    if (m_nAutoCount > 0) m_nRotation %= m_nAutoCount;
    return true;
}

void CProfileMngr::BeginEditing() {
    std::lock_guard lock(m_Mutex);
    ++m_nEditing;
}

void CProfileMngr::EndEditing() {
    std::lock_guard lock(m_Mutex);
    if (m_nEditing > 0 && --m_nEditing == 0 && m_bReloadPending) Reload();
}

}  // namespace wavory
