// The settings store: the application's registry key as a tree in an SQLite database,
// $XDG_CONFIG_HOME/Wavory/settings.db. A key table (parent, name) and a value table (key, name, kind,
// bytes); names compare without regard to ASCII case, as in the registry. Values come back byte for
// byte as they went in, with their kind (REG_DWORD as four little-endian bytes, REG_SZ as its bytes).
//
// Every change is a transaction (BEGIN IMMEDIATE, so writers queue on the busy timeout instead of
// failing); BeginUpdate/EndUpdate make one transaction of many writes. The window and wavoryctl use
// the store at the same time: a reader notices another program's commit by SQLite's data version and
// then forgets what it had read. The folder is the user's alone (0700) and the files 0600 whatever
// the umask; a folder or file that belongs to someone else is refused.
//
// One object is shared by the interface thread and the polling thread: an update belongs to the
// thread that began it, and the other thread's calls wait until it ends. A read group only spares
// the version check of each read; it holds nothing.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "base/Registry.h"
#include "store/RegTree.h"
#include "store/StoreWatch.h"

struct sqlite3;
struct sqlite3_stmt;

namespace wavory {

class CSqliteRegistry final : public IRegistry {
public:
    // How exports name the application key.
    static constexpr std::string_view kAppKeyPath = "HKEY_CURRENT_USER\\Software\\Wavory\\Wavory Utility";
    static constexpr const char* kFileName = "settings.db";
    // How long a writer waits for another one before it reports the store busy.
    static constexpr int kBusyTimeoutMs = 10000;

    // $XDG_CONFIG_HOME/Wavory ($HOME/.config/Wavory when it is unset).
    static std::string DefaultFolder();
    static std::string DefaultPath();

    // Opens (creating as needed) the store in that file. Check IsOpen; Error tells why not.
    explicit CSqliteRegistry(const std::string& file = DefaultPath());
    ~CSqliteRegistry() override;
    CSqliteRegistry(const CSqliteRegistry&) = delete;
    CSqliteRegistry& operator=(const CSqliteRegistry&) = delete;

    bool IsOpen() const { return m_pDb != nullptr; }
    const std::string& Error() const { return m_strError; }
    const std::string& FileName() const { return m_strFileName; }

    // Writes are then dropped and reported done, so a run that must change nothing (screenshots)
    // goes through the core's bookkeeping without touching the store.
    void SetReadOnly(bool readOnly);

    // The key with its values and subkeys, names in the order an export writes them.
    int ReadTree(std::string_view path, SRegKey& tree);
    // Replaces the key's values and subkeys with those of the tree (the tree's own name is ignored).
    int ReplaceTree(std::string_view path, const SRegKey& tree);
    // Nothing stored but the empty application key.
    bool IsEmpty();

    // For tests: the process kills itself (SIGKILL) just before its n-th write step (a statement
    // that changes the database, or a commit); 0 turns it off. WAVORY_STORE_KILL_AT sets it for a
    // whole process.
    static void SetKillAtWrite(int step);

    // Integers are REG_DWORDs: -1 is stored as 0xFFFFFFFF. A text value that holds a decimal number
    // reads as that number (stores migrated from text files hold such values).
    int GetProfileInt(std::string_view section, std::string_view entry, int def) const override;
    std::string GetProfileString(std::string_view section, std::string_view entry,
                                 std::string_view def) const override;
    bool WriteProfileInt(std::string_view section, std::string_view entry, int value) override;
    bool WriteProfileString(std::string_view section, std::string_view entry,
                            std::string_view value) override;

    bool KeyExists(std::string_view path) const override;
    // Subkey names in natural order ("Profile 2" before "Profile 10").
    std::vector<std::string> SubKeys(std::string_view path) const override;
    int DeleteKey(std::string_view path) override;
    // One statement: the key's rows and, by cascade, everything below it.
    int DeleteKeyTree(std::string_view path) override;
    int SaveKey(std::string_view path, const std::string& file, bool overwrite) override;
    // Reads and checks the whole file first; only then is the key's content replaced.
    int RestoreKey(std::string_view path, const std::string& file) override;

    void BeginUpdate() override;
    bool EndUpdate() override;
    void CancelUpdate() override;
    void BeginRead() override;
    void EndRead() override;
    uint64_t ChangeCount() override;

    // For a program with an event loop: from now on the data version is looked at only after a
    // notice of a write to the store's files (and for a short while after it), not on every read.
    // Call it before other threads use the store. Returns the descriptor that turns readable when
    // a notice waits, and the loop then calls ChangesNoticed; -1 when the system gives no notices
    // (the store then keeps looking on every read).
    int WatchChanges();
    void ChangesNoticed();
    // After a notice the next read looks, and reads keep looking for a while: a writer updates the
    // data version just after its last write to the files, so the tick after the notice looks too.
    static constexpr int kLookAfterNoticeMs = 2000;
    void SetLookAfterNoticeMs(int ms) { m_nLookAfterNoticeMs = ms; }  // tests shorten it

private:
    struct SStored {
        int type = 0;
        std::string data;
    };
    // Names compare without regard to ASCII case; lookups take a string_view as it comes.
    struct SNoCaseHash {
        using is_transparent = void;
        size_t operator()(std::string_view s) const noexcept;
    };
    struct SNoCaseEqual {
        using is_transparent = void;
        bool operator()(std::string_view a, std::string_view b) const noexcept { return RegNameEqual(a, b); }
    };
    using ValueMap = std::unordered_map<std::string, SStored, SNoCaseHash, SNoCaseEqual>;

    bool Open();
    bool Exec(const char* sql) const;
    sqlite3_stmt* Stmt(const char* sql) const;
    // Starts, ends or abandons the transaction of a write.
    bool Begin();
    bool Commit();
    void Rollback();
    // Runs one change: inside an update as part of it, otherwise as a transaction of its own.
    template <typename F>
    int Change(F&& change);
    // Looks for other programs' commits unless a group has done so; forgets the cache on one.
    void Validate() const;
    void CheckVersion() const;
    // False while a watch has seen no write lately.
    bool MayHaveChanged() const;
    void Forget() const;

    // Key id of a path, 0 when it does not exist, -1 for a path no key can have.
    int64_t FindKey(std::string_view path) const;
    int64_t EnsureKey(std::string_view path);
    const ValueMap& ValuesOf(int64_t key) const;
    const SStored* FindValue(std::string_view section, std::string_view entry) const;
    bool WriteValue(std::string_view section, std::string_view entry, int type, std::string_view data);
    bool StepChange(sqlite3_stmt* stmt);
    void ReadKey(int64_t id, SRegKey& key) const;
    bool InsertTree(int64_t id, const SRegKey& tree);
    bool HasSubKeys(int64_t id) const;

    std::string m_strFileName;
    std::string m_strError;
    sqlite3* m_pDb = nullptr;
    mutable std::map<const char*, sqlite3_stmt*> m_Stmts;

    mutable std::recursive_mutex m_Mutex;
    int m_nUpdateDepth = 0;
    bool m_bInTxn = false;
    bool m_bUpdateFailed = false;
    int m_nReadDepth = 0;
    bool m_bReadOnly = false;

    // What was read, valid while the data version stays the same.
    mutable int64_t m_nDataVersion = -1;
    mutable uint64_t m_nChangeCount = 0;
    mutable std::unordered_map<std::string, int64_t, SNoCaseHash, SNoCaseEqual> m_KeyIds;
    mutable std::unordered_map<int64_t, ValueMap> m_Values;

    std::unique_ptr<CStoreWatch> m_pWatch;
    // With a watch: until when (steady clock, ms) reads look at the data version.
    std::atomic<int64_t> m_nLookUntilMs{0};
    mutable std::atomic<bool> m_bNoticePending{false};
    std::atomic<int> m_nLookAfterNoticeMs{kLookAfterNoticeMs};
};

}  // namespace wavory
