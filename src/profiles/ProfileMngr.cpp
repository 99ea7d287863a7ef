#include "profiles/ProfileMngr.h"

#include <algorithm>
#include <stdexcept>

#include "base/AppBase.h"
#include "base/Messages.h"
#include "base/Registry.h"
#include "driver/Format.h"
#include "profiles/RegistryUpdate.h"

namespace wavory {

namespace {

// The probe of LoadAll ends once the stored count plus the missing sections reaches this.
constexpr int kProbeLimit = 100;
constexpr const char* kImportKey = "Import";
constexpr const char* kCountEntry = "NumOfProfiles";
// Result of a store operation that failed without a message of its own.
constexpr int kSilentFailure = -1;

}  // namespace

CProfileMngr::CProfileMngr() { LoadAll(false); }

CProfileMngr::~CProfileMngr() {
    try {
        SaveAll();
    } catch (...) {
        // Nothing can be reported from here; the profiles are dropped unsaved.
    }
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

std::shared_ptr<CProfile> CProfileMngr::NextAutoSelect() {
    std::lock_guard lock(m_Mutex);
    if (m_nAutoCount <= 0) return nullptr;
    const int slot = m_nRotation;
    m_nRotation = (slot + 1) % m_nAutoCount;
    return FindByPriority(slot);
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
        if (profile->NetName == ssid) return profile;
    return nullptr;
}

int CProfileMngr::GetCount() const {
    std::lock_guard lock(m_Mutex);
    return static_cast<int>(m_Profiles.size());
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

// ---- Naming, adding, renaming, removing ----

std::string CProfileMngr::FreeName(const std::set<std::string>& reservedSections, int* number) const {
    // A renamed profile keeps its section, so a name free as a name may still be a section in use.
    std::set<std::string, std::less<>> sections(reservedSections.begin(), reservedSections.end());
    for (const auto& [name, profile] : m_Profiles) sections.insert(profile->GetSection());
    for (int k = 0;; ++k) {
        std::string candidate = StrFormat("Profile %d", k);
        if (m_Profiles.count(candidate) == 0 && sections.count(candidate) == 0) {
            if (number) *number = k;
            return candidate;
        }
    }
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
    if (m_Profiles.count(newName) != 0)
        return refuse(
            StrFormat("A profile named \"%s\" already exists; choose another name.", newName.c_str()));

    auto profile = std::move(it->second);
    m_Profiles.erase(it);
    profile->ProfName = newName;
    m_Profiles[newName] = profile;
    if (!profile->Save(true) && reason)
        *reason = StrFormat("The profile \"%s\" could not be saved.", newName.c_str());
    return true;
}

void CProfileMngr::RemoveProfile(const std::string& name, bool renumber, bool deleteKey) {
    int error = 0;
    {
        std::lock_guard lock(m_Mutex);
        auto it = m_Profiles.find(name);
        if (it == m_Profiles.end()) return;
        auto profile = it->second;
        const int priority = profile->Priority;
        // Only a member leaves a slot behind; renumbering for any other profile would open an empty one.
        const bool member = profile->AutoSelect && priority >= 0;
        if (m_pConnected && m_pConnected->ProfName == profile->ProfName) SetConnected(nullptr, true);
        if (deleteKey) {
            // Clearing the name first also creates the section of a never-saved profile, so the
            // deletion finds it.
            profile->ClearName();
            try {
                error = DoRegistryOp(REG_OP_DELETE, std::nullopt, profile.get(), false);
            } catch (...) {
                error = 0;  // the profile goes from the list even when its section stays
            }
        }
        m_Profiles.erase(name);
        if (renumber && member) UpdatePriorities(priority);
    }
    if (error > 0) ShowSystemError(error);
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
    return m_nAutoCount;
}

// ---- Loading and saving ----

void CProfileMngr::LoadAll(bool import) {
    std::lock_guard lock(m_Mutex);
    const std::string prefix = import ? StrFormat("%s\\", kImportKey) : std::string();
    if (!import) {
        m_Profiles.clear();
        m_nAutoCount = 0;
    }
    IRegistry* registry = theApp.m_pRegistry;
    int count = theApp.GetProfileInt(import ? kImportKey : "", kCountEntry, 0);
    if (count == 0 || !registry) return;
    // The probe stops once the count plus the missing sections reaches the limit. A count at the limit
    // or beyond (a negative one is a huge DWORD) would stop it before the first section and lose every
    // profile; it goes on to the first missing section instead.
    if (count < 0 || count >= kProbeLimit) count = kProbeLimit - 1;

    std::vector<std::shared_ptr<CProfile>> loaded;
    for (int i = 0; count < kProbeLimit; ++i) {
        const std::string section = StrFormat("%sProfile %d", prefix.c_str(), i);
        if (!registry->KeyExists(section)) {
            ++count;
            continue;
        }
        loaded.push_back(std::make_shared<CProfile>(section, true));
    }

    if (import) {
        // Imported profiles keep nothing of their old name and place; they are saved later under
        // their new section.
        for (auto& profile : loaded) {
            profile->AutoSelect = false;
            profile->Priority = -1;
            MakeNewName();
            profile->ProfName = m_strNewName;
            profile->SetSection(m_strNewName);
            m_Profiles[m_strNewName] = profile;
        }
        return;
    }

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
    }

    std::vector<std::shared_ptr<CProfile>> members;
    for (auto& [name, profile] : m_Profiles) {
        if (profile->AutoSelect)
            members.push_back(profile);
        else
            profile->Priority = -1;
    }
    PlaceStrayMembers(members, kProbeLimit + static_cast<int>(loaded.size()));
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
    }
}

bool CProfileMngr::SaveAll() {
    std::lock_guard lock(m_Mutex);
    CRegistryUpdate group(theApp.m_pRegistry);
    bool ok = theApp.WriteProfileInt("", kCountEntry, static_cast<int>(m_Profiles.size()));
    for (const auto& [name, profile] : m_Profiles) ok = profile->Save(false) && ok;
    return group.End() && ok;
}

// ---- Export, import, deletion ----

void CProfileMngr::ShowSystemError(int code) {
    theApp.ShowMessage(SystemErrorText(code), EMsgIcon::Information);
}

int CProfileMngr::ClearKeyTree(const std::string& path) {
    IRegistry& registry = *theApp.m_pRegistry;
    theApp.WriteProfileInt(kImportKey, kCountEntry, 0);
    int code = REG_ERROR_ACCESS_DENIED;
    while (code == REG_ERROR_ACCESS_DENIED || code == REG_ERROR_NO_MORE_ITEMS) {
        code = registry.DeleteKey(path);
        if (code != REG_ERROR_ACCESS_DENIED) continue;
        if (!registry.KeyExists(path)) return kSilentFailure;
        const std::vector<std::string> subKeys = registry.SubKeys(path);
        // Refused although nothing is below it: a real denial, not one to retry.
        if (subKeys.empty()) break;
        for (const std::string& sub : subKeys) {
            const int subCode = ClearKeyTree(StrFormat("%s\\%s", path.c_str(), sub.c_str()));
            if (subCode != REG_OK) return subCode;
        }
        code = REG_ERROR_NO_MORE_ITEMS;
    }
    return code;
}

int CProfileMngr::DoRegistryOp(int code, const std::optional<std::string>& file, CProfile* profile,
                               bool overwrite) {
    IRegistry* registry = theApp.m_pRegistry;
    if (!registry) return kSilentFailure;
    // Backup and restore privileges: nothing to enable on this platform.
    std::string key;
    switch (code) {
        case REG_OP_EXPORT_ONE:
            // A profile without a section of its own would export the whole application key.
            if (!profile || profile->GetSection().empty() || !file) return kSilentFailure;
            // The file holds what the store holds: bring the profile there first.
            if (!profile->Save(false)) return REG_ERROR_WRITE_FAULT;
            key = profile->GetSection();
            break;
        case REG_OP_IMPORT:
        case REG_OP_EXPORT_ALL:
        case REG_OP_DELETE: {
            if (code != REG_OP_DELETE && !file) return kSilentFailure;
            if (code == REG_OP_DELETE && (!profile || profile->GetSection().empty())) return kSilentFailure;
            const int cleared = ClearKeyTree(kImportKey);
            if (cleared != REG_OK) return cleared;
            if (code == REG_OP_IMPORT) {
                theApp.WriteProfileInt(kImportKey, kCountEntry, 0);
                key = kImportKey;
            } else if (code == REG_OP_EXPORT_ALL && !SaveAll()) {
                return REG_ERROR_WRITE_FAULT;
            }
            break;
        }
        default:
            return kSilentFailure;
    }
    if (!key.empty() && !registry->KeyExists(key)) return REG_ERROR_FILE_NOT_FOUND;

    switch (code) {
        case REG_OP_EXPORT_ONE:
        case REG_OP_EXPORT_ALL:
            return registry->SaveKey(key, *file, overwrite);
        case REG_OP_DELETE:
            return registry->DeleteKey(profile->GetSection());
        default:
            break;
    }

    // Import: the file's top key becomes the "Import" key; a count there means a file of all profiles.
    const int restored = registry->RestoreKey(kImportKey, *file);
    if (restored != REG_OK) return restored;
    if (theApp.GetProfileInt(kImportKey, kCountEntry, 0) != 0) {
        LoadAll(true);
    } else {
        const CProfile staged(kImportKey, true);
        auto added = m_Profiles.at(AddProfile(&staged));
        added->AutoSelect = false;
        added->Priority = -1;
    }
    return REG_OK;
}

bool CProfileMngr::RegistryOp(int code, const std::optional<std::string>& file,
                              const std::optional<std::string>& name, bool overwrite) {
    int error = 0;
    try {
        std::shared_ptr<CProfile> profile;
        if (name) {
            profile = GetProfile(*name);
            if (!profile) return false;
        }
        std::lock_guard lock(m_Mutex);
        error = DoRegistryOp(code, file, profile.get(), overwrite);
        // The message is shown after the lock is left, so the polling thread is not held up by it.
    } catch (...) {
        throw std::runtime_error(kRegistryError);
    }
    try {
        if (error > 0) ShowSystemError(error);
    } catch (...) {
        throw std::runtime_error(kRegistryError);
    }
    return error == REG_OK;
}

}  // namespace wavory
