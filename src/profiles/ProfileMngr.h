// Owns every stored profile: loads and saves them, names, renames, removes and finds them, keeps the
// auto-selection order the polling thread cycles through, remembers the connected profile, and
// carries out export, import and deletion at the level of settings keys.
//
// Used from the interface thread and the polling thread. Profiles are shared (a lookup hands out a
// reference that keeps the profile alive even after it is removed), and one recursive mutex guards the
// map, the counters and the fields of the held profiles: whoever reads or writes a profile's fields
// holds Lock() meanwhile.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "profiles/Profile.h"

namespace wavory {

class CProfileMngr {
public:
    enum ERegOp : int { REG_OP_EXPORT_ONE = 0, REG_OP_IMPORT = 1, REG_OP_EXPORT_ALL = 2, REG_OP_DELETE = 3 };

    // Names that lookups answer specially; no profile may bear them.
    static constexpr const char* kConnectedStation = "ConnectedStation";
    static constexpr const char* kEditStation = "EditStation";
    static constexpr const char* kRegistryError = "Unknown error while performing profile registry operation";

    // Loads every stored profile.
    CProfileMngr();
    // Saves nothing: every change is stored when it is made.
    virtual ~CProfileMngr();
    CProfileMngr(const CProfileMngr&) = delete;
    CProfileMngr& operator=(const CProfileMngr&) = delete;

    std::unique_lock<std::recursive_mutex> Lock() const { return std::unique_lock(m_Mutex); }

    // "ConnectedStation": the station manager's current station; "EditStation": the station being
    // edited; any other name: the profile of that name. Null when there is none.
    std::shared_ptr<CProfile> GetProfile(std::string_view name) const;
    std::shared_ptr<CProfile> GetConnected() const;
    void SetEditStation(std::shared_ptr<CProfile> station);
    // With no profile and restart set, automatic selection starts again at slot 0.
    void SetConnected(std::shared_ptr<CProfile> profile, bool restart);
    // The profile of the next auto-selection slot in rotation; null when the list is empty or no
    // member holds that slot.
    std::shared_ptr<CProfile> NextAutoSelect();
    // First profile in name order with this priority, or this SSID.
    std::shared_ptr<CProfile> FindByPriority(int priority) const;
    std::shared_ptr<CProfile> FindBySsid(std::string_view ssid) const;

    // Picks the lowest "Profile %d" that no profile bears as its name or holds as its section; returns
    // its number and keeps the name (GetNewName).
    int MakeNewName();
    std::string GetNewName() const;
    // Adds a profile under a new name: a copy of source, or, without one, what its new section
    // holds (normally nothing: the defaults). The profile starts outside the auto-selection order and
    // is not saved. Returns the new name.
    std::string AddProfile(const CProfile* source = nullptr);
    // Renames a profile and saves it; its section stays. Refuses (false, with the reason) an empty or
    // reserved name, a name another profile bears, or an unknown old name. When the renamed profile
    // could not be saved it returns true and puts that failure into reason.
    bool RenameProfile(const std::string& oldName, const std::string& newName, std::string* reason = nullptr);
    // Removes a profile; with renumber the members after it move up one slot, with deleteKey its
    // section is deleted from the store.
    void RemoveProfile(const std::string& name, bool renumber, bool deleteKey);
    // priority < 0: opens a new last slot and returns it; otherwise closes the gap of that slot and
    // returns the new slot count.
    int UpdatePriorities(int priority);

    // Not importing: replaces the held profiles with the stored ones. Importing: adds the profiles of
    // the "Import" key under new names, outside the auto-selection order.
    void LoadAll(bool import);
    // Loads the stored profiles again after another program changed them; the connected and the
    // edited profile are followed to their new records by name.
    void Reload();
    // Stores the count and every profile in one write of the store; false when that failed.
    bool SaveAll();

    // Export of one profile (by name) or all, import, or deletion of a profile's section. Shows the
    // system's message for a store failure. An import is stored whole (the new profiles included) or
    // not at all; a file with no profile or with a value outside the editor's ranges is refused with
    // a message naming it. An exported file that exists is replaced only with
    // overwrite. Any unexpected error is thrown as std::runtime_error(kRegistryError).
    bool RegistryOp(int code, const std::optional<std::string>& file, const std::optional<std::string>& name,
                    bool overwrite = false);

    int GetCount() const;
    int GetAutoCount() const;
    // The profiles in name order.
    std::vector<std::shared_ptr<CProfile>> Snapshot() const;

    // Answers "ConnectedStation"; set once at start-up, before the polling thread runs.
    std::function<std::shared_ptr<CProfile>()> m_fnCurrentStation;

private:
    static bool IsReservedName(std::string_view name);
    // Lowest "Profile %d" free as a name and as a section, also of the sections given.
    std::string FreeName(const std::set<std::string>& reservedSections, int* number) const;
    // Puts loaded members with no valid slot (none, one at or past slotLimit, or one another member
    // holds) at new last slots.
    void PlaceStrayMembers(const std::vector<std::shared_ptr<CProfile>>& members, int slotLimit);
    // The store operations; they return an error code (0 = done) or -1 for a silent failure.
    int DoRegistryOp(int code, const std::optional<std::string>& file, CProfile* profile, bool overwrite);
    int ClearKeyTree(const std::string& path);
    // The import steps after the file is restored: checks and merges the staged profiles.
    int Import(const std::optional<std::string>& file, std::string& refusal);
    int MergeImport();
    static void ShowSystemError(int code);

    mutable std::recursive_mutex m_Mutex;
    std::string m_strNewName;
    std::string m_strRefusal;  // why the last import was refused
    std::map<std::string, std::shared_ptr<CProfile>, std::less<>> m_Profiles;
    int m_nAutoCount = 0;
    std::shared_ptr<CProfile> m_pEditStation;
    std::shared_ptr<CProfile> m_pConnected;
    int m_nRotation = 0;
};

}  // namespace wavory
