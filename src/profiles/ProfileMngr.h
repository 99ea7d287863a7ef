// Owns every stored profile: loads them, stores what changed, names, renames, removes and finds them,
// keeps the auto-selection order the polling thread cycles through, remembers the connected profile,
// and carries out export, import and deletion at the level of settings keys.
//
// Other programs (wavoryctl, a second window of another session) change the same store. A change is
// stored as one transaction that first reads what the store holds: only the fields this program
// changed are written, a field another program changed meanwhile is kept, and one both changed is a
// conflict the caller decides (StoreChanges). A profile another program deleted is not brought back
// unasked; new profiles get their sections inside the transaction.
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
#include "profiles/ProfileSections.h"

namespace wavory {

struct SRegKey;

class CProfileMngr {
public:
    enum ERegOp : int { REG_OP_EXPORT_ONE = 0, REG_OP_IMPORT = 1, REG_OP_EXPORT_ALL = 2, REG_OP_DELETE = 3 };

    // Names that lookups answer specially; no profile may bear them.
    static constexpr const char* kConnectedStation = "ConnectedStation";
    static constexpr const char* kEditStation = "EditStation";
    static constexpr const char* kRegistryError = "Unknown error while performing profile registry operation";
    // The most profiles one file may bring: the number this utility is made to hold. An export of
    // that many, at the longest values the editor allows, stays within the file size limit.
    static constexpr int kMaxImportProfiles = 10000;
    // Result of StoreChanges when another program changed the same fields (or deleted the profile).
    static constexpr int kConflict = -3;

    enum class EOnConflict {
        Refuse,     // store nothing; the conflicts are reported
        KeepMine,   // this program's values win; a deleted profile is stored again
        TakeTheirs  // the stored values win; a deleted profile stays deleted
    };
    struct SConflict {
        std::string name;                 // the profile as this program holds it
        std::vector<std::string> fields;  // changed here and there; empty when it was deleted there
        bool removed = false;
    };
    struct SStoreResult {
        int error = 0;  // REG_OK, a store error code, or kConflict
        std::vector<SConflict> conflicts;
        std::string clash;  // with REG_ERROR_FILE_EXISTS: the name another stored profile bears
        bool Ok() const { return error == 0; }
    };
    struct SImportResult {
        int error = 0;                   // REG_OK, a store or file error code, or -2 (refused: see refusal)
        std::string refusal;             // why nothing was imported
        std::vector<std::string> added;  // the new profiles' names
        // Profiles of the file that were not imported: the file's name for each, and why.
        std::vector<std::pair<std::string, std::string>> skipped;
    };

    enum class ELoad {
        All,   // every stored profile
        Names  // only the stored profiles' names, sections and auto-selection places, and the whole
               // of those it is asked for (LoadProfile): for a caller that adds, copies, changes or
               // removes one profile (lookups find only the profiles it holds)
    };

    // Loads the stored profiles (or only what `load` says).
    explicit CProfileMngr(ELoad load = ELoad::All);
    // Saves nothing: every change is stored when it is made.
    virtual ~CProfileMngr();
    CProfileMngr(const CProfileMngr&) = delete;
    CProfileMngr& operator=(const CProfileMngr&) = delete;

    std::unique_lock<std::recursive_mutex> Lock() const { return std::unique_lock(m_Mutex); }
    // What it loads (fixed at construction).
    ELoad Loading() const { return m_Load; }

    // "ConnectedStation": the station manager's current station; "EditStation": the station being
    // edited; any other name: the profile of that name. Null when there is none.
    std::shared_ptr<CProfile> GetProfile(std::string_view name) const;
    std::shared_ptr<CProfile> GetConnected() const;
    void SetEditStation(std::shared_ptr<CProfile> station);
    // With no profile and restart set, automatic selection starts again at slot 0.
    void SetConnected(std::shared_ptr<CProfile> profile, bool restart);
    // The next auto-selection member to try: the first, from where the walk stands, that `reachable`
    // accepts (members it refuses, e.g. networks not heard in the last scan, are passed over); the
    // walk then stands after it. Once the end of the order is passed the walk goes on from the
    // top. Null when no member is accepted (the walk stays where it was).
    std::shared_ptr<CProfile> NextAutoSelect(const std::function<bool(const CProfile&)>& reachable = {});
    // The walk starts again at the top of the order (the connection was lost, the adapter is back).
    void RestartAutoSelect();
    // First profile in name order with this priority, or of the network of this SSID (a hotspot
    // profile is the user's own access point, not that network).
    std::shared_ptr<CProfile> FindByPriority(int priority) const;
    std::shared_ptr<CProfile> FindBySsid(std::string_view ssid) const;
    // The profile of that name, read whole from the store first when only its name and place were
    // read (ELoad::Names); it is held from then on. Null when there is no such profile, or (error
    // set) when it could not be read.
    std::shared_ptr<CProfile> LoadProfile(std::string_view name, int* error = nullptr);
    // The name of the member at that auto-selection slot, held or not; empty when none holds it.
    std::string NameAt(int slot) const;

    // Picks the lowest "Profile %d" that no profile bears as its name or holds as its section; returns
    // its number and keeps the name (GetNewName).
    int MakeNewName();
    std::string GetNewName() const;
    // Adds a profile under a new name: a copy of source, or, without one, what its new section
    // holds (normally nothing: the defaults). The profile starts outside the auto-selection order and
    // is not stored (StoreChanges stores it). Returns the new name.
    std::string AddProfile(const CProfile* source = nullptr);
    // Renames a held profile; the store learns it with the next StoreChanges. Refuses (false, with the
    // reason) an empty or reserved name, a name another profile bears, or an unknown old name.
    bool RenameProfile(const std::string& oldName, const std::string& newName, std::string* reason = nullptr);
    // Removes a profile; with renumber the members after it move up one slot, with deleteKey its
    // section is deleted from the store, with the members' new slots and the count, as one change.
    // REG_OK, or the store's error code (shown as a message; the profile then stays).
    int RemoveProfile(const std::string& name, bool renumber, bool deleteKey);
    // priority < 0: opens a new last slot and returns it; otherwise closes the gap of that slot and
    // returns the new slot count. The members after it move up, held or not (StoreChanges stores
    // their places).
    int UpdatePriorities(int priority);

    // Replaces the held profiles with the stored ones (with ELoad::Names, the names and places of
    // all, and the held ones whole). False when the store could not be read: the held profiles then
    // stay as they were.
    bool LoadAll();
    // Loads the stored profiles again after another program changed them; the connected and the
    // edited profile are followed to their new records by section. While an editor is open it waits
    // until the last one closes.
    bool Reload();
    // An editor of profiles is open: reloads wait, so that the record it edits stays the manager's.
    void BeginEditing();
    void EndEditing();

    // Stores what changed in the held profiles since they were read, as one change of the store:
    // new profiles whole, under sections free at that moment (a profile still bearing its automatic
    // name then takes the section's name); others field by field. A field another program changed
    // meanwhile is kept; one that both changed, or a profile the other deleted, is decided by
    // onConflict. A name another stored profile bears meanwhile is refused (REG_ERROR_FILE_EXISTS).
    SStoreResult StoreChanges(EOnConflict onConflict = EOnConflict::Refuse);
    // Stores the changes, never overwriting another program's (StoreChanges(TakeTheirs)).
    bool SaveAll();
    // The held profiles take back what was last read from or written to the store; profiles never
    // stored stay as they are.
    void DiscardChanges();

    // Export of one profile (by name) or all, import, or deletion of a profile's section. Shows a
    // message for a failure. An export reads the store and writes nothing to it; withSecrets false
    // leaves WEP keys and passphrases out. An exported file that exists is replaced only with
    // overwrite. Any unexpected error is thrown as std::runtime_error(kRegistryError).
    bool RegistryOp(int code, const std::optional<std::string>& file, const std::optional<std::string>& name,
                    bool overwrite = false, bool withSecrets = true);
    // Imports the profiles of a file: each one that is fit to connect with is added under its own
    // name (a "Profile N" name when another profile bears it), outside the auto-selection order; the others are skipped with the reason. The file is read whole
    // before the store is touched, and the import is one change of the store (a copy of the store is
    // kept first). Shows no message: the caller reports the result.
    SImportResult ImportFile(const std::string& file);
    // The same for a file already read (ReadRegFile).
    SImportResult ImportTree(const SRegKey& top);

    // False when the store could not be read at construction: the manager then holds no profile.
    bool Loaded() const { return m_bLoaded; }
    // The stored profiles and the ones added since.
    int GetCount() const;
    // Whether a profile bears the name, held or (with ELoad::Names) only stored.
    bool HasName(std::string_view name) const;
    int GetAutoCount() const;
    // The profiles in name order.
    std::vector<std::shared_ptr<CProfile>> Snapshot() const;

    // Answers "ConnectedStation"; set once at start-up, before the polling thread runs.
    std::function<std::shared_ptr<CProfile>()> m_fnCurrentStation;

private:
    static bool IsReservedName(std::string_view name);
    // LoadAll for ELoad::Names.
    bool LoadNames();
    // The stored profile of that section, read whole; null when it holds none (error set when the
    // read failed).
    std::shared_ptr<CProfile> ReadStored(const std::string& section, int& error) const;
    // Holds a profile read whole in place of its name and place.
    void Hold(std::shared_ptr<CProfile> profile);
    // Lowest "Profile %d" free as a name and as a section, also of the sections given.
    std::string FreeName(const std::set<std::string>& reservedSections, int* number) const;
    // Puts loaded members with no valid slot (none, one at or past slotLimit, or one another member
    // holds) at new last slots.
    void PlaceStrayMembers(const std::vector<std::shared_ptr<CProfile>>& members, int slotLimit);
    // The held profiles keyed by their names again; with recount, the slot count from the members.
    void Rekey(bool recount);
    // The steps of StoreChanges inside its transaction, and what they leave to do once it is stored.
    struct SStorePlan;
    int StoreHeld(EOnConflict onConflict, SStoreResult& result, SStorePlan& plan);
    int StoreNew(const std::vector<std::shared_ptr<CProfile>>& added, std::set<std::string>& names,
                 SectionSet& sections, SStorePlan& plan, SStoreResult& result);
    void ApplyPlan(SStorePlan& plan);
    // With ELoad::Names: the places of profiles not held that changed, checked against what the store
    // holds now; what may be written goes to the plan, the rest to the conflicts or the dropped.
    int CheckPlaces(EOnConflict onConflict, SStoreResult& result, SStorePlan& plan);
    bool PlacesChanged() const;
    // The names and sections of the stored profiles, as the store holds them now; REG_OK or the
    // read's error.
    int StoredNames(std::set<std::string>& names, SectionSet& sections) const;
    // "NumOfProfiles": the profile sections the store holds.
    int WriteCount();
    int DoExport(int code, const std::string& file, CProfile* profile, bool overwrite, bool withSecrets);
    // The import's steps: the file's profiles checked, then stored.
    void StageImport(const SRegKey& top, std::vector<std::shared_ptr<CProfile>>& staged,
                     std::vector<const SRegKey*>& sources, SImportResult& result);
    int StoreImport(std::vector<std::shared_ptr<CProfile>>& staged,
                    const std::vector<const SRegKey*>& sources, SImportResult& result);
    static void ShowSystemError(int code);

    mutable std::recursive_mutex m_Mutex;
    ELoad m_Load;
    // With ELoad::Names, a stored profile not held: its name and its auto-selection place as read
    // (`read`: the slot the store gives it, -1 outside the order) and as this manager makes it
    // (`slot`: -1 outside the order or without a valid slot of its own; `base`: that after the read).
    struct SPlace {
        std::string name;
        int read = -1;
        int base = -1;
        int slot = -1;
    };
    std::map<std::string, SPlace, SNoCaseLess> m_Places;            // by section
    std::map<std::string, std::string, std::less<>> m_StoredNames;  // name -> section
    std::string m_strNewName;
    std::map<std::string, std::shared_ptr<CProfile>, std::less<>> m_Profiles;
    int m_nAutoCount = 0;
    std::shared_ptr<CProfile> m_pEditStation;
    std::shared_ptr<CProfile> m_pConnected;
    int m_nRotation = 0;
    int m_nEditing = 0;
    bool m_bReloadPending = false;
    bool m_bLoaded = false;
};

// The text for a failed change of the settings: what failed and, for a full disk, a read-only
// store, a busy or a damaged one, what to do.
std::string StoreFailureText(int code);

}  // namespace wavory
