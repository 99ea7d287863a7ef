// The settings store: the application's registry key as a tree in an SQLite database,
// $XDG_CONFIG_HOME/Wavory/settings.db. A key table (parent, name) and a value table (key, name, kind,
// bytes); names compare without regard to ASCII case, as in the registry. Values come back byte for
// byte as they went in, with their kind (REG_DWORD as four little-endian bytes, REG_SZ as its bytes).
// PRAGMA user_version holds the layout's number (kSchemaVersion).
//
// Every change is a transaction (BEGIN IMMEDIATE, so writers queue on the busy timeout instead of
// failing); BeginUpdate/EndUpdate make one transaction of many writes. Opening takes no write lock
// unless the file is new or of an older layout, so a program that holds the lock (even a stopped one)
// keeps no other from starting. The window and wavoryctl use the store at the same time: a reader
// notices another program's commit by SQLite's data version and then forgets what it had read.
//
// The store is checked when it is opened (PRAGMA quick_check); a read that fails is reported as a
// failure (TakeReadError), never taken for the end of the data. A store that cannot be written (the
// file's or folder's mode, a read-only mount, a newer program's layout) opens read-only: every read
// works, every change fails with REG_ERROR_WRITE_PROTECT. The folder is the user's alone and the
// files are narrowed to the owner; a mode the owner set on their own rights is kept.
//
// One object is shared by the interface thread and the polling thread: an update belongs to the
// thread that began it, and the other thread's calls wait until it ends. A read group only spares
// the version check of each read; it holds nothing.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "base/RegTree.h"
#include "base/Registry.h"
#include "store/StoreWatch.h"

struct sqlite3;
struct sqlite3_stmt;

namespace wavory {

class CSqliteRegistry final : public IRegistry {
public:
    // How exports name the application key.
    static constexpr std::string_view kAppKeyPath = "HKEY_CURRENT_USER\\Software\\Wavory\\Wavory Utility";
    static constexpr const char* kFileName = "settings.db";
    // The layout of the tables this program writes (PRAGMA user_version).
    static constexpr int kSchemaVersion = 1;
    // How long a writer waits for another one before it reports the store busy (WAVORY_STORE_BUSY_MS
    // sets another wait for a whole process).
    static constexpr int kBusyTimeoutMs = 10000;

    // $XDG_CONFIG_HOME/Wavory ($HOME/.config/Wavory when it is unset).
    static std::string DefaultFolder();
    static std::string DefaultPath();

    // Opens (creating as needed) the store in that file. Check IsOpen; Error tells why not, and
    // IsDamaged whether the file is there but is no sound store.
    explicit CSqliteRegistry(const std::string& file = DefaultPath());
    // Reads a store file (a copy, say) whole, after checking it: REG_OK, REG_ERROR_BADDB for a
    // damaged one, REG_ERROR_INVALID_DATA for a file that is no store of this utility; findings say
    // what was wrong.
    static int ReadStoreFile(const std::string& file, SRegKey& tree, std::string* findings);
    ~CSqliteRegistry() override;
    CSqliteRegistry(const CSqliteRegistry&) = delete;
    CSqliteRegistry& operator=(const CSqliteRegistry&) = delete;

    bool IsOpen() const { return m_pDb != nullptr; }
    bool IsDamaged() const { return m_bDamaged; }
    const std::string& Error() const { return m_strError; }
    const std::string& FileName() const { return m_strFileName; }
    // Why changes cannot be stored; empty for a writable store. The error code a change then fails
    // with: REG_ERROR_WRITE_PROTECT, or REG_ERROR_DISK_FULL when the disk was full at the start.
    const std::string& ReadOnlyReason() const { return m_strReadOnly; }
    int ReadOnlyCode() const { return m_nReadOnlyCode; }

    // Writes are then dropped and reported done, so a run that must change nothing (screenshots)
    // goes through the core's bookkeeping without touching the store.
    void SetDiscardWrites(bool discard);

    // PRAGMA quick_check of the whole file: REG_OK, or REG_ERROR_BADDB with SQLite's findings.
    int Check(std::string* findings = nullptr);
    // The layout number the file carries.
    int SchemaVersion();
    // A consistent copy of the store in `file` (SQLite's online backup), private to the owner. An
    // existing file is replaced as a whole with `overwrite` (a regular file only), else refused with
    // REG_ERROR_FILE_EXISTS.
    int Backup(const std::string& file, bool overwrite = true);
    // Replaces everything stored with the content of a store file (checked first, see
    // ReadStoreFile), as one change that other programs notice as any other.
    int RestoreFrom(const std::string& file, std::string* findings = nullptr);
    // The error that keeps the update under way from being stored; REG_OK while it can be.
    int UpdateError() const;

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
    bool WriteValues(std::string_view section, std::span<const SRegWrite> values) override;
    // One statement per section, none reading what the section holds.
    bool WriteDwordEach(std::string_view entry, std::span<const SRegDwordAt> writes) override;

    bool KeyExists(std::string_view path) const override;
    // Subkey names in natural order ("Profile 2" before "Profile 10").
    std::vector<std::string> SubKeys(std::string_view path) const override;
    // Without the values: one query for the names alone, in no set order.
    std::vector<std::string> SubKeyNames(std::string_view path) const override;
    // One query per value read, none for the subkeys' other values.
    std::vector<SRegKey> SubKeyValues(std::string_view path, std::span<const SRegRead> reads) const override;
    int DeleteKey(std::string_view path) override;
    // One statement: the key's rows and, by cascade, everything below it.
    int DeleteKeyTree(std::string_view path) override;
    // Without secrets, the values the schema marks secret are left out; an export of the application
    // key leaves out the staging key "Import".
    int SaveKey(std::string_view path, const std::string& file, bool overwrite,
                bool withSecrets = true) override;
    // Reads and checks the whole file first; only then is the key's content replaced.
    int RestoreKey(std::string_view path, const std::string& file) override;

    void BeginUpdate() override;
    bool EndUpdate() override;
    void CancelUpdate() override;
    void BeginRead() override;
    void EndRead() override;
    uint64_t ChangeCount() override;
    int LastError() const override;
    bool IsWritable() const override { return m_strReadOnly.empty(); }
    int TakeReadError() override;
    int KeepCopy(const std::string& reason) override;
    int ReadKeyFile(const std::string& file, SRegKey& top) override;

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

    // Opened only to be read, as it stands (ReadStoreFile).
    enum EInspect { kInspect };
    CSqliteRegistry(const std::string& file, EInspect);

    // ---- Opening (SqliteRegistry.cpp) ----
    bool Open();
    void Close();
    bool OpenConnection(bool writable);
    bool CheckLayout();
    bool CheckContent();
    bool PrepareSchema();
    void SetReadOnly(std::string reason, int code = REG_ERROR_WRITE_PROTECT);
    bool Exec(const char* sql) const;
    sqlite3_stmt* Stmt(const char* sql) const;

    // ---- Transactions and the cache (SqliteTransactions.cpp) ----
    bool Begin();
    bool Commit();
    void Rollback();
    // Runs one change: inside an update as part of it, otherwise as a transaction of its own.
    int Change(const std::function<int()>& change);
    // Refuses a change up front: a read-only store, or no database.
    int Refusal() const;
    // Looks for other programs' commits unless a group has done so; forgets the cache on one.
    void Validate() const;
    void CheckVersion() const;
    // False while a watch has seen no write lately.
    bool MayHaveChanged() const;
    void Forget() const;
    // Forgets what was read of the key and the keys below it only.
    void ForgetKey(std::string_view path, int64_t id) const;
    // Notes a failed SQLite call: its error code for LastError, and for a read, TakeReadError.
    int NoteFailure(int sqliteResult) const;
    void NoteReadFailure(int sqliteResult) const;

    // ---- Keys, values and trees (SqliteTree.cpp) ----
    // Key id of a path, 0 when it does not exist, -1 for a path no key can have.
    int64_t FindKey(std::string_view path) const;
    int64_t EnsureKey(std::string_view path);
    const ValueMap& ValuesOf(int64_t key) const;
    const SStored* FindValue(std::string_view section, std::string_view entry) const;
    bool StepChange(sqlite3_stmt* stmt);
    // INSERT OR REPLACE of that many values of one key (?1), three parameters a row after it.
    sqlite3_stmt* InsertStmt(size_t rows) const;
    bool ReadKey(int64_t id, SRegKey& key) const;
    // Notes the secret values of the key and the keys below it, which a deletion is about to take:
    // once it is committed they are scrubbed from the log and the copies (ScrubRemovedSecrets).
    bool NoteRemovedSecrets(int64_t id);
    void ScrubRemovedSecrets();
    bool InsertTree(int64_t id, const SRegKey& tree);
    bool HasSubKeys(int64_t id) const;

    std::string m_strFileName;
    std::string m_strError;
    std::string m_strReadOnly;
    int m_nReadOnlyCode = REG_ERROR_WRITE_PROTECT;
    bool m_bDamaged = false;
    int m_nLayout = 0;
    bool m_bHasTables = false;
    sqlite3* m_pDb = nullptr;
    mutable std::map<const char*, sqlite3_stmt*> m_Stmts;
    static constexpr size_t kRowsPerInsert = 32;
    mutable std::array<sqlite3_stmt*, kRowsPerInsert> m_InsertStmts{};

    mutable std::recursive_mutex m_Mutex;
    int m_nUpdateDepth = 0;
    bool m_bInTxn = false;
    bool m_bUpdateFailed = false;
    int m_nReadDepth = 0;
    bool m_bDiscardWrites = false;
    mutable int m_nLastError = REG_OK;
    mutable int m_nReadError = REG_OK;
    std::vector<std::string> m_RemovedSecrets;  // of deletions not committed yet

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
