#include "profiles/ProfileMngr.h"

#include <algorithm>
#include <stdexcept>

#include "base/AppBase.h"
#include "base/Messages.h"
#include "base/Registry.h"
#include "driver/Format.h"
#include "profiles/ProfileLimits.h"
#include "profiles/RegistryUpdate.h"

namespace wavory {

namespace {

// Loaded members with a slot at or past this plus the number of profiles get a new last slot.
constexpr int kProbeLimit = 100;
constexpr const char* kImportKey = "Import";
constexpr const char* kCountEntry = "NumOfProfiles";
// Result of a store operation that failed without a message of its own.
constexpr int kSilentFailure = -1;
// Result of an import refused with a message of its own (m_strRefusal).
constexpr int kRefused = -2;

// The number of a "Profile N" section name, or -1 for any other name.
int SectionNumber(std::string_view name) {
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

}  // namespace

CProfileMngr::CProfileMngr() { LoadAll(false); }

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
        // The section, the count and the members moving up go together: a deletion cut short leaves
        // the profile whole, never a nameless one in the order.
        CRegistryUpdate group(deleteKey ? theApp.m_pRegistry : nullptr);
        if (deleteKey) {
            profile->ClearName();
            try {
                error = DoRegistryOp(REG_OP_DELETE, std::nullopt, profile.get(), false);
            } catch (...) {
                error = kSilentFailure;
            }
        }
        if (error == REG_ERROR_FILE_NOT_FOUND) error = REG_OK;  // never stored: nothing to delete
        if (error != REG_OK) group.Cancel();
        // When the store refused, the section stays and so does the profile: the list shows what is
        // stored.
        if (error <= 0) {
            m_Profiles.erase(name);
            if (renumber && member) {
                std::vector<std::pair<std::shared_ptr<CProfile>, int>> before;
                for (const auto& [n, p] : m_Profiles) before.emplace_back(p, p->Priority);
                UpdatePriorities(priority);
                if (deleteKey) {
                    for (const auto& [p, old] : before)
                        if (p->Priority != old)
                            theApp.WriteProfileInt(p->GetSection(), "Priority", p->Priority);
                }
            }
            if (deleteKey && error == REG_OK) {
                theApp.WriteProfileInt("", kCountEntry, static_cast<int>(m_Profiles.size()));
                if (!group.End()) {
                    error = REG_ERROR_WRITE_FAULT;
                    LoadAll(false);  // what the store still holds
                }
            }
        }
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
    if (!import) {
        m_Profiles.clear();
        m_nAutoCount = 0;
    }
    IRegistry* registry = theApp.m_pRegistry;
    if (!registry) return;
    CRegistryRead read(registry);
    // Every "Profile N" section loads, whatever its number and whatever "NumOfProfiles" says: a
    // wrong count (a hand-edited file, an older store) must not hide a profile, which the next save
    // would then lose for good.
    const std::string parent = import ? kImportKey : "";
    std::vector<std::shared_ptr<CProfile>> loaded;
    for (const std::string& name : registry->SubKeys(parent)) {
        if (SectionNumber(name) < 0) continue;
        auto profile =
            std::make_shared<CProfile>(import ? StrFormat("%s\\%s", kImportKey, name.c_str()) : name, true);
        // A section without a name is what a deletion of the first store left half done.
        if (!import && profile->ProfName.empty()) continue;
        loaded.push_back(std::move(profile));
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

void CProfileMngr::Reload() {
    std::lock_guard lock(m_Mutex);
    std::map<std::string, std::shared_ptr<CProfile>> bySection;
    for (const auto& [name, profile] : m_Profiles) bySection[profile->GetSection()] = profile;
    LoadAll(false);
    // A profile that is still stored keeps its record, now holding the stored values: whoever holds
    // it (an open editor, the connected profile) goes on working on the live one.
    for (auto& [name, profile] : m_Profiles) {
        auto it = bySection.find(profile->GetSection());
        if (it == bySection.end()) continue;
        it->second->TakeValues(*profile);
        profile = it->second;
    }
    if (m_nAutoCount > 0) m_nRotation %= m_nAutoCount;
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

// The staging key of imports goes in one step, however many keys and values an import left there.
int CProfileMngr::ClearKeyTree(const std::string& path) {
    const int code = theApp.m_pRegistry->DeleteKeyTree(path);
    return code == REG_ERROR_FILE_NOT_FOUND ? REG_OK : code;
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
    return MergeImport();
}

int CProfileMngr::MergeImport() {
    IRegistry& registry = *theApp.m_pRegistry;
    const bool allProfiles = theApp.GetProfileInt(kImportKey, kCountEntry, 0) != 0;
    std::vector<std::string> sections;
    if (allProfiles) {
        for (const std::string& name : registry.SubKeys(kImportKey))
            if (SectionNumber(name) >= 0) sections.push_back(StrFormat("%s\\%s", kImportKey, name.c_str()));
    } else {
        const CProfile staged(kImportKey, true);
        if (!staged.ProfName.empty() || !staged.NetName.empty()) sections.emplace_back(kImportKey);
    }
    if (sections.empty()) {
        m_strRefusal = "The file holds no profile; nothing was imported.";
        return kRefused;
    }
    // Held to the editor's ranges before anything is merged: a value no editor could set would
    // break editing and connecting later.
    for (const std::string& section : sections) {
        const CProfile staged(section, true);
        const std::string problem = CheckProfileLimits(staged);
        if (!problem.empty()) {
            const std::string where = section == kImportKey
                                          ? std::string("the file's profile")
                                          : section.substr(section.find('\\') + 1) + " of the file";
            m_strRefusal = StrFormat("Nothing was imported: in %s, %s.", where.c_str(), problem.c_str());
            return kRefused;
        }
    }
    if (allProfiles) {
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
    std::string refusal;
    try {
        std::shared_ptr<CProfile> profile;
        if (name) {
            profile = GetProfile(*name);
            if (!profile) return false;
        }
        std::lock_guard lock(m_Mutex);
        if (code == REG_OP_IMPORT) {
            error = Import(*file, refusal);
        } else {
            error = DoRegistryOp(code, file, profile.get(), overwrite);
        }
        // The message is shown after the lock is left, so the polling thread is not held up by it.
    } catch (...) {
        throw std::runtime_error(kRegistryError);
    }
    try {
        if (error == kRefused) theApp.ShowMessage(refusal, EMsgIcon::Warning);
        if (error > 0) ShowSystemError(error);
    } catch (...) {
        throw std::runtime_error(kRegistryError);
    }
    return error == REG_OK;
}

// An import is one change of the store: the staging key, the new profiles and the count are stored
// together, or, for a file that is refused, nothing at all (the staging key keeps what it held).
int CProfileMngr::Import(const std::optional<std::string>& file, std::string& refusal) {
    if (!file || !theApp.m_pRegistry) return kSilentFailure;
    const auto before = m_Profiles;
    const int autoCount = m_nAutoCount;
    CRegistryUpdate group(theApp.m_pRegistry);
    m_strRefusal.clear();
    int error = DoRegistryOp(REG_OP_IMPORT, file, nullptr, false);
    if (error == REG_OK) {
        for (const auto& [n, profile] : m_Profiles)
            if (before.count(n) == 0) profile->Save(false);
        theApp.WriteProfileInt("", kCountEntry, static_cast<int>(m_Profiles.size()));
        if (!group.End()) error = REG_ERROR_WRITE_FAULT;
    } else {
        group.Cancel();
    }
    if (error != REG_OK) {
        m_Profiles = before;
        m_nAutoCount = autoCount;
        refusal = m_strRefusal;
    }
    return error;
}

}  // namespace wavory
