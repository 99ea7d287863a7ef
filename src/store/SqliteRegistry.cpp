#include "store/SqliteRegistry.h"

#include <fcntl.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <thread>

#include "base/RegistrySchema.h"
#include "store/RegFile.h"
#include "store/StoreFiles.h"

namespace wavory {

namespace {

constexpr int kTypeSz = 1;     // REG_SZ
constexpr int kTypeDword = 4;  // REG_DWORD, little-endian
constexpr int64_t kRootKey = 1;
constexpr int64_t kNoKey = 0;
constexpr int64_t kBadPath = -1;

std::atomic<int> g_nKillAt{-1};  // -1: not read from the environment yet
std::atomic<int> g_nWriteSteps{0};

// Kills the process just before a write step, when a test asked for it at this step.
void WriteStep() {
    int at = g_nKillAt.load();
    if (at < 0) {
        const char* env = std::getenv("WAVORY_STORE_KILL_AT");
        at = env ? std::atoi(env) : 0;
        int expected = -1;
        g_nKillAt.compare_exchange_strong(expected, at);
        at = g_nKillAt.load();
    }
    if (at > 0 && ++g_nWriteSteps == at) ::raise(SIGKILL);
}

// The parts of a key path; false for an empty part ("Import\\" or "\\Profile 0").
bool SplitPath(std::string_view path, std::vector<std::string_view>& parts) {
    parts.clear();
    if (path.empty()) return true;
    while (true) {
        const size_t sep = path.find('\\');
        const std::string_view part = path.substr(0, sep);
        if (part.empty()) return false;
        parts.push_back(part);
        if (sep == std::string_view::npos) return true;
        path.remove_prefix(sep + 1);
    }
}

// Digit runs compare by value, so that "Profile 10" follows "Profile 9".
bool NaturalLess(std::string_view a, std::string_view b) {
    auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
    auto digitRun = [&](std::string_view s, size_t& k) {
        const size_t start = k;
        while (k < s.size() && isDigit(s[k])) ++k;
        std::string_view run = s.substr(start, k - start);
        while (run.size() > 1 && run.front() == '0') run.remove_prefix(1);
        return run;
    };
    size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (isDigit(a[i]) && isDigit(b[j])) {
            const std::string_view x = digitRun(a, i), y = digitRun(b, j);
            if (x.size() != y.size()) return x.size() < y.size();
            if (const int c = x.compare(y); c != 0) return c < 0;
            continue;
        }
        if (a[i] != b[j]) return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]);
        ++i, ++j;
    }
    if (a.size() - i != b.size() - j) return a.size() - i < b.size() - j;
    return a < b;
}

// Values the utility knows come first, in the order of its table; others follow by name.
bool ValueOrderLess(const SRegNamedValue& a, const SRegNamedValue& b) {
    auto rank = [](const std::string& name) {
        const SRegSchemaEntry* e = FindSchemaEntry(name);
        return e ? e - RegistrySchema().data() : static_cast<std::ptrdiff_t>(RegistrySchema().size());
    };
    const auto ra = rank(a.name), rb = rank(b.name);
    return ra != rb ? ra < rb : NaturalLess(a.name, b.name);
}

std::string DwordBytes(uint32_t v) {
    std::string out(4, '\0');
    for (int i = 0; i < 4; ++i) out[static_cast<size_t>(i)] = static_cast<char>((v >> (8 * i)) & 0xFF);
    return out;
}

std::optional<uint32_t> DwordOf(const std::string& bytes) {
    if (bytes.size() != 4) return std::nullopt;
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<uint8_t>(bytes[static_cast<size_t>(i)]);
    return v;
}

std::string ColumnBytes(sqlite3_stmt* stmt, int col) {
    const void* data = sqlite3_column_blob(stmt, col);
    const int size = sqlite3_column_bytes(stmt, col);
    return data ? std::string(static_cast<const char*>(data), static_cast<size_t>(size)) : std::string();
}

void BindText(sqlite3_stmt* stmt, int col, std::string_view text) {
    sqlite3_bind_text(stmt, col, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

void BindBlob(sqlite3_stmt* stmt, int col, std::string_view data) {
    // A zero-length blob must not be bound as NULL.
    sqlite3_bind_blob(stmt, col, data.empty() ? "" : data.data(), static_cast<int>(data.size()),
                      SQLITE_TRANSIENT);
}

// Resets the statement when the scope ends, whatever happened to it.
class CStmtUse {
public:
    explicit CStmtUse(sqlite3_stmt* stmt) : m_pStmt(stmt) {}
    ~CStmtUse() {
        if (m_pStmt) {
            sqlite3_reset(m_pStmt);
            sqlite3_clear_bindings(m_pStmt);
        }
    }
    CStmtUse(const CStmtUse&) = delete;
    CStmtUse& operator=(const CStmtUse&) = delete;
    sqlite3_stmt* Get() const { return m_pStmt; }
    explicit operator bool() const { return m_pStmt != nullptr; }

private:
    sqlite3_stmt* m_pStmt;
};

const char* const kSchemaSql =
    "CREATE TABLE IF NOT EXISTS keys("
    " id INTEGER PRIMARY KEY,"
    " parent INTEGER REFERENCES keys(id) ON DELETE CASCADE,"
    " name TEXT NOT NULL COLLATE NOCASE);"
    "CREATE UNIQUE INDEX IF NOT EXISTS keys_by_parent ON keys(parent, name);"
    "CREATE TABLE IF NOT EXISTS vals("
    " key INTEGER NOT NULL REFERENCES keys(id) ON DELETE CASCADE,"
    " name TEXT NOT NULL COLLATE NOCASE,"
    " type INTEGER NOT NULL,"
    " data BLOB NOT NULL,"
    " PRIMARY KEY(key, name)) WITHOUT ROWID;"
    "INSERT OR IGNORE INTO keys(id, parent, name) VALUES(1, NULL, '');";

}  // namespace

size_t CSqliteRegistry::SNoCaseHash::operator()(std::string_view s) const noexcept {
    size_t h = 14695981039346656037ull;  // FNV-1a over the lower-case bytes
    for (char c : s) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        h = (h ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    }
    return h;
}

// ---- Opening ----

std::string CSqliteRegistry::DefaultFolder() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    std::string base;
    if (xdg && xdg[0] == '/') {
        base = xdg;
    } else {
        const char* home = std::getenv("HOME");
        base = std::string(home ? home : "") + "/.config";
    }
    return base + "/Wavory";
}

std::string CSqliteRegistry::DefaultPath() { return DefaultFolder() + "/" + kFileName; }

void CSqliteRegistry::SetKillAtWrite(int step) {
    g_nWriteSteps = 0;
    g_nKillAt = step;
}

CSqliteRegistry::CSqliteRegistry(const std::string& file) : m_strFileName(file) {
    if (!Open()) {
        for (auto& [sql, stmt] : m_Stmts) sqlite3_finalize(stmt);
        m_Stmts.clear();
        if (m_pDb) sqlite3_close_v2(m_pDb);
        m_pDb = nullptr;
    }
}

CSqliteRegistry::~CSqliteRegistry() {
    for (auto& [sql, stmt] : m_Stmts) sqlite3_finalize(stmt);
    if (m_pDb) sqlite3_close_v2(m_pDb);
}

bool CSqliteRegistry::Open() {
    const size_t slash = m_strFileName.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : m_strFileName.substr(0, slash);
    if (!PreparePrivateFolder(folder, m_strError)) return false;
    // The database and its companions are created private before SQLite opens them; it gives its
    // write-ahead log and shared-memory files the database's mode.
    for (const char* suffix : {"", "-wal", "-shm"}) {
        if (!PreparePrivateFile(m_strFileName + suffix, *suffix == '\0', m_strError)) return false;
    }
    const int flags =
        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOFOLLOW | SQLITE_OPEN_FULLMUTEX;
    if (sqlite3_open_v2(m_strFileName.c_str(), &m_pDb, flags, nullptr) != SQLITE_OK) {
        m_strError = "cannot open the settings store " + m_strFileName + ": " +
                     (m_pDb ? sqlite3_errmsg(m_pDb) : "out of memory");
        return false;
    }
    sqlite3_extended_result_codes(m_pDb, 1);
    sqlite3_busy_timeout(m_pDb, kBusyTimeoutMs);
    // WAL: readers never wait for a writer. NORMAL synchronisation keeps every committed change
    // through a crash of the program; only a power loss may take the last ones back.
    // Switching a new database to WAL, or reading one while another program does, can answer
    // "locked" at once without consulting the busy handler: such steps are tried again for as long
    // as the busy timeout allows.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kBusyTimeoutMs);
    const auto execRetrying = [&](const char* sql) {
        for (;;) {
            const int rc = sqlite3_exec(m_pDb, sql, nullptr, nullptr, nullptr);
            if (rc == SQLITE_OK) return true;
            const int primary = rc & 0xFF;
            if ((primary != SQLITE_BUSY && primary != SQLITE_LOCKED) ||
                std::chrono::steady_clock::now() >= deadline)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    };
    if (!execRetrying("PRAGMA journal_mode=WAL") || !Exec("PRAGMA synchronous=NORMAL") ||
        !Exec("PRAGMA foreign_keys=ON") || !execRetrying("BEGIN IMMEDIATE")) {
        m_strError = "cannot open the settings store " + m_strFileName + ": " + sqlite3_errmsg(m_pDb);
        return false;
    }
    if (!Exec(kSchemaSql) || !Exec("COMMIT")) {
        m_strError = "the settings store " + m_strFileName + " is damaged: " + sqlite3_errmsg(m_pDb);
        Exec("ROLLBACK");
        return false;
    }
    for (const char* suffix : {"-wal", "-shm"}) {
        if (!PreparePrivateFile(m_strFileName + suffix, false, m_strError)) return false;
    }
    CheckVersion();
    return true;
}

bool CSqliteRegistry::Exec(const char* sql) const {
    return m_pDb && sqlite3_exec(m_pDb, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

sqlite3_stmt* CSqliteRegistry::Stmt(const char* sql) const {
    if (!m_pDb) return nullptr;
    auto it = m_Stmts.find(sql);
    if (it != m_Stmts.end()) return it->second;
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v3(m_pDb, sql, -1, SQLITE_PREPARE_PERSISTENT, &stmt, nullptr) != SQLITE_OK)
        return nullptr;
    m_Stmts.emplace(sql, stmt);
    return stmt;
}

void CSqliteRegistry::SetReadOnly(bool readOnly) {
    std::lock_guard lock(m_Mutex);
    m_bReadOnly = readOnly;
}

// ---- Transactions and the cache ----

bool CSqliteRegistry::Begin() {
    if (!Exec("BEGIN IMMEDIATE")) return false;
    m_bInTxn = true;
    CheckVersion();
    return true;
}

bool CSqliteRegistry::Commit() {
    WriteStep();
    m_bInTxn = false;
    if (Exec("COMMIT")) return true;
    Rollback();
    return false;
}

void CSqliteRegistry::Rollback() {
    m_bInTxn = false;
    if (sqlite3_get_autocommit(m_pDb) == 0) Exec("ROLLBACK");
    Forget();  // the cache holds the abandoned writes
}

template <typename F>
int CSqliteRegistry::Change(F&& change) {
    if (!m_pDb) return REG_ERROR_BADDB;
    if (m_nUpdateDepth > 0) {
        // A group whose transaction could not start (or failed) stores nothing more.
        if (!m_bInTxn || m_bUpdateFailed) {
            m_bUpdateFailed = true;
            return m_bInTxn ? REG_ERROR_WRITE_FAULT : REG_ERROR_BUSY;
        }
        const int rc = change();
        if (rc != REG_OK) m_bUpdateFailed = true;
        return rc;
    }
    if (!Begin()) return REG_ERROR_BUSY;
    const int rc = change();
    if (rc != REG_OK) {
        Rollback();
        return rc;
    }
    return Commit() ? REG_OK : REG_ERROR_WRITE_FAULT;
}

void CSqliteRegistry::Validate() const {
    if (m_bInTxn || m_nReadDepth > 0 || !MayHaveChanged()) return;
    CheckVersion();
}

namespace {

int64_t SteadyMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

bool CSqliteRegistry::MayHaveChanged() const {
    return !m_pWatch || m_bNoticePending.load() || SteadyMs() < m_nLookUntilMs.load();
}

int CSqliteRegistry::WatchChanges() {
    std::lock_guard lock(m_Mutex);
    if (!m_pDb) return -1;
    if (!m_pWatch) {
        auto watch = std::make_unique<CStoreWatch>(m_strFileName);
        if (watch->Fd() < 0) return -1;
        m_pWatch = std::move(watch);
        m_bNoticePending = true;  // whatever happened before the watch
    }
    return m_pWatch->Fd();
}

void CSqliteRegistry::ChangesNoticed() {
    // Only the event loop's thread reads the notices; the time is read by every reader.
    if (!m_pWatch || !m_pWatch->Drain()) return;
    m_nLookUntilMs = SteadyMs() + m_nLookAfterNoticeMs.load();
    m_bNoticePending = true;
}

void CSqliteRegistry::CheckVersion() const {
    m_bNoticePending = false;
    sqlite3_stmt* stmt = Stmt("PRAGMA data_version");
    if (!stmt) return;
    CStmtUse use(stmt);
    if (sqlite3_step(stmt) != SQLITE_ROW) return;
    const int64_t version = sqlite3_column_int64(stmt, 0);
    if (version == m_nDataVersion) return;
    if (m_nDataVersion >= 0) ++m_nChangeCount;
    m_nDataVersion = version;
    Forget();
}

void CSqliteRegistry::Forget() const {
    m_KeyIds.clear();
    m_Values.clear();
}

void CSqliteRegistry::BeginUpdate() {
    m_Mutex.lock();  // held until the matching EndUpdate
    if (m_nUpdateDepth++ > 0) return;
    m_bUpdateFailed = false;
    if (m_bReadOnly || !m_pDb) return;
    if (!Begin()) m_bUpdateFailed = true;
}

bool CSqliteRegistry::EndUpdate() {
    std::lock_guard lock(m_Mutex);
    if (m_nUpdateDepth == 0) return false;
    bool ok = !m_bUpdateFailed;
    if (--m_nUpdateDepth == 0) {
        if (m_bReadOnly) {
            ok = true;
        } else if (m_bInTxn) {
            if (ok) {
                ok = Commit();
            } else {
                Rollback();
            }
        } else {
            ok = false;
        }
    }
    m_Mutex.unlock();  // the one of BeginUpdate
    return ok;
}

void CSqliteRegistry::CancelUpdate() {
    std::lock_guard lock(m_Mutex);
    if (m_nUpdateDepth > 0) m_bUpdateFailed = true;
}

void CSqliteRegistry::BeginRead() {
    std::lock_guard lock(m_Mutex);
    if (m_nReadDepth++ == 0 && !m_bInTxn && MayHaveChanged()) CheckVersion();
}

void CSqliteRegistry::EndRead() {
    std::lock_guard lock(m_Mutex);
    if (m_nReadDepth > 0) --m_nReadDepth;
}

uint64_t CSqliteRegistry::ChangeCount() {
    std::lock_guard lock(m_Mutex);
    Validate();
    return m_nChangeCount;
}

// ---- Keys and values ----

int64_t CSqliteRegistry::FindKey(std::string_view path) const {
    std::vector<std::string_view> parts;
    if (!SplitPath(path, parts)) return kBadPath;
    if (parts.empty()) return kRootKey;
    if (auto it = m_KeyIds.find(path); it != m_KeyIds.end()) return it->second;
    int64_t id = kRootKey;
    sqlite3_stmt* stmt = Stmt("SELECT id FROM keys WHERE parent = ?1 AND name = ?2");
    for (std::string_view part : parts) {
        CStmtUse use(stmt);
        if (!use) return kNoKey;
        sqlite3_bind_int64(stmt, 1, id);
        BindText(stmt, 2, part);
        if (sqlite3_step(stmt) != SQLITE_ROW) {
            id = kNoKey;
            break;
        }
        id = sqlite3_column_int64(stmt, 0);
    }
    m_KeyIds.emplace(std::string(path), id);
    return id;
}

int64_t CSqliteRegistry::EnsureKey(std::string_view path) {
    const int64_t found = FindKey(path);
    if (found != kNoKey) return found;
    std::vector<std::string_view> parts;
    SplitPath(path, parts);
    int64_t id = kRootKey;
    std::string sofar;
    for (std::string_view part : parts) {
        sofar += sofar.empty() ? "" : "\\";
        sofar += part;
        const int64_t existing = FindKey(sofar);
        if (existing > 0) {
            id = existing;
            continue;
        }
        sqlite3_stmt* stmt = Stmt("INSERT INTO keys(parent, name) VALUES(?1, ?2)");
        CStmtUse use(stmt);
        if (!use) return kNoKey;
        sqlite3_bind_int64(stmt, 1, id);
        BindText(stmt, 2, part);
        if (!StepChange(stmt)) return kNoKey;
        id = sqlite3_last_insert_rowid(m_pDb);
        m_KeyIds[sofar] = id;
        m_Values[id];  // a new key holds nothing yet
    }
    return id;
}

bool CSqliteRegistry::StepChange(sqlite3_stmt* stmt) {
    WriteStep();
    return sqlite3_step(stmt) == SQLITE_DONE;
}

const CSqliteRegistry::ValueMap& CSqliteRegistry::ValuesOf(int64_t key) const {
    if (auto it = m_Values.find(key); it != m_Values.end()) return it->second;
    ValueMap& values = m_Values[key];
    sqlite3_stmt* stmt = Stmt("SELECT name, type, data FROM vals WHERE key = ?1");
    CStmtUse use(stmt);
    if (!use) return values;
    sqlite3_bind_int64(stmt, 1, key);
    while (sqlite3_step(stmt) == SQLITE_ROW) {
        values[ColumnBytes(stmt, 0)] = {sqlite3_column_int(stmt, 1), ColumnBytes(stmt, 2)};
    }
    return values;
}

const CSqliteRegistry::SStored* CSqliteRegistry::FindValue(std::string_view section,
                                                           std::string_view entry) const {
    Validate();
    const int64_t key = FindKey(section);
    if (key <= 0) return nullptr;
    const ValueMap& values = ValuesOf(key);
    auto it = values.find(entry);
    return it == values.end() ? nullptr : &it->second;
}

int CSqliteRegistry::GetProfileInt(std::string_view section, std::string_view entry, int def) const {
    std::lock_guard lock(m_Mutex);
    const SStored* v = FindValue(section, entry);
    if (!v) return def;
    std::optional<uint32_t> dword;
    if (v->type == kTypeDword) {
        dword = DwordOf(v->data);
    } else if (v->type == kTypeSz) {
        dword = ParseDwordText(v->data);
    }
    return dword ? static_cast<int>(*dword) : def;
}

std::string CSqliteRegistry::GetProfileString(std::string_view section, std::string_view entry,
                                              std::string_view def) const {
    std::lock_guard lock(m_Mutex);
    const SStored* v = FindValue(section, entry);
    return v && v->type == kTypeSz ? v->data : std::string(def);
}

bool CSqliteRegistry::WriteValue(std::string_view section, std::string_view entry, int type,
                                 std::string_view data) {
    std::lock_guard lock(m_Mutex);
    if (m_bReadOnly) return true;
    std::vector<std::string_view> parts;
    if (entry.empty() || !SplitPath(section, parts)) {
        if (m_nUpdateDepth > 0) m_bUpdateFailed = true;
        return false;
    }
    // A value stored as it is needs no write: saving all profiles then costs only what changed.
    Validate();
    if (const int64_t known = FindKey(section); known > 0) {
        if (auto it = m_Values.find(known); it != m_Values.end()) {
            auto v = it->second.find(entry);
            if (v != it->second.end() && v->second.type == type && v->second.data == data) return true;
        }
    }
    const int rc = Change([&]() -> int {
        const int64_t key = EnsureKey(section);
        if (key <= 0) return REG_ERROR_WRITE_FAULT;
        sqlite3_stmt* stmt =
            Stmt("INSERT OR REPLACE INTO vals(key, name, type, data) VALUES(?1, ?2, ?3, ?4)");
        CStmtUse use(stmt);
        if (!use) return REG_ERROR_WRITE_FAULT;
        sqlite3_bind_int64(stmt, 1, key);
        BindText(stmt, 2, entry);
        sqlite3_bind_int(stmt, 3, type);
        BindBlob(stmt, 4, data);
        if (!StepChange(stmt)) return REG_ERROR_WRITE_FAULT;
        if (auto it = m_Values.find(key); it != m_Values.end())
            it->second.insert_or_assign(std::string(entry), SStored{type, std::string(data)});
        return REG_OK;
    });
    return rc == REG_OK;
}

bool CSqliteRegistry::WriteProfileInt(std::string_view section, std::string_view entry, int value) {
    return WriteValue(section, entry, kTypeDword, DwordBytes(static_cast<uint32_t>(value)));
}

bool CSqliteRegistry::WriteProfileString(std::string_view section, std::string_view entry,
                                         std::string_view value) {
    return WriteValue(section, entry, kTypeSz, value);
}

bool CSqliteRegistry::KeyExists(std::string_view path) const {
    std::lock_guard lock(m_Mutex);
    Validate();
    return FindKey(path) > 0;
}

bool CSqliteRegistry::HasSubKeys(int64_t id) const {
    sqlite3_stmt* stmt = Stmt("SELECT 1 FROM keys WHERE parent = ?1 LIMIT 1");
    CStmtUse use(stmt);
    if (!use) return false;
    sqlite3_bind_int64(stmt, 1, id);
    return sqlite3_step(stmt) == SQLITE_ROW;
}

// The subkeys' values not read yet come along in one more query: the profile manager reads every
// value of every profile section right after listing them, and one query is cheaper than one each.
std::vector<std::string> CSqliteRegistry::SubKeys(std::string_view path) const {
    std::lock_guard lock(m_Mutex);
    Validate();
    std::vector<std::string> names;
    const int64_t id = FindKey(path);
    if (id <= 0) return names;
    const std::string prefix = path.empty() ? std::string() : std::string(path) + '\\';
    size_t unread = 0;
    {
        sqlite3_stmt* stmt = Stmt("SELECT id, name FROM keys WHERE parent = ?1");
        CStmtUse use(stmt);
        if (!use) return names;
        sqlite3_bind_int64(stmt, 1, id);
        while (sqlite3_step(stmt) == SQLITE_ROW) {
            const int64_t child = sqlite3_column_int64(stmt, 0);
            names.push_back(ColumnBytes(stmt, 1));
            m_KeyIds.insert_or_assign(prefix + names.back(), child);
            if (m_Values.count(child) == 0) ++unread;
        }
    }
    if (unread > 1) {
        sqlite3_stmt* stmt = Stmt(
            "SELECT v.key, v.name, v.type, v.data FROM keys k JOIN vals v ON v.key = k.id WHERE k.parent = "
            "?1");
        CStmtUse use(stmt);
        if (use) {
            sqlite3_bind_int64(stmt, 1, id);
            std::unordered_map<int64_t, ValueMap> fetched;
            while (sqlite3_step(stmt) == SQLITE_ROW) {
                fetched[sqlite3_column_int64(stmt, 0)].insert_or_assign(
                    ColumnBytes(stmt, 1), SStored{sqlite3_column_int(stmt, 2), ColumnBytes(stmt, 3)});
            }
            for (auto& [child, values] : fetched) m_Values.try_emplace(child, std::move(values));
            // A subkey without values holds nothing: known as such, too.
            for (const std::string& name : names) m_Values.try_emplace(m_KeyIds.at(prefix + name));
        }
    }
    std::sort(names.begin(), names.end(),
              [](const std::string& a, const std::string& b) { return NaturalLess(a, b); });
    return names;
}

int CSqliteRegistry::DeleteKey(std::string_view path) {
    std::lock_guard lock(m_Mutex);
    if (m_bReadOnly) return REG_OK;
    Validate();
    const int64_t id = FindKey(path);
    if (id <= 0) return REG_ERROR_FILE_NOT_FOUND;
    if (HasSubKeys(id)) return REG_ERROR_ACCESS_DENIED;
    return Change([&]() -> int {
        // The application key itself stays; it loses only its values.
        sqlite3_stmt* stmt =
            Stmt(id == kRootKey ? "DELETE FROM vals WHERE key = ?1" : "DELETE FROM keys WHERE id = ?1");
        CStmtUse use(stmt);
        if (!use) return REG_ERROR_WRITE_FAULT;
        sqlite3_bind_int64(stmt, 1, id);
        if (!StepChange(stmt)) return REG_ERROR_WRITE_FAULT;
        Forget();
        return REG_OK;
    });
}

int CSqliteRegistry::DeleteKeyTree(std::string_view path) {
    std::lock_guard lock(m_Mutex);
    if (m_bReadOnly) return REG_OK;
    Validate();
    const int64_t id = FindKey(path);
    if (id <= 0) return REG_ERROR_FILE_NOT_FOUND;
    if (id == kRootKey) return REG_ERROR_ACCESS_DENIED;  // never the whole store by accident
    return Change([&]() -> int {
        sqlite3_stmt* stmt = Stmt("DELETE FROM keys WHERE id = ?1");
        CStmtUse use(stmt);
        if (!use) return REG_ERROR_WRITE_FAULT;
        sqlite3_bind_int64(stmt, 1, id);
        if (!StepChange(stmt)) return REG_ERROR_WRITE_FAULT;
        Forget();
        return REG_OK;
    });
}

// ---- Trees, export and import ----

void CSqliteRegistry::ReadKey(int64_t id, SRegKey& key) const {
    {
        sqlite3_stmt* stmt = Stmt("SELECT name, type, data FROM vals WHERE key = ?1");
        CStmtUse use(stmt);
        if (!use) return;
        sqlite3_bind_int64(stmt, 1, id);
        while (sqlite3_step(stmt) == SQLITE_ROW) {
            const int type = sqlite3_column_int(stmt, 1);
            std::string data = ColumnBytes(stmt, 2);
            if (type == kTypeDword) {
                if (auto dword = DwordOf(data))
                    key.values.push_back({ColumnBytes(stmt, 0), SRegValue::Dword(*dword)});
            } else if (type == kTypeSz) {
                key.values.push_back({ColumnBytes(stmt, 0), SRegValue::Sz(std::move(data))});
            }
        }
    }
    std::sort(key.values.begin(), key.values.end(), ValueOrderLess);
    std::vector<std::pair<int64_t, std::string>> children;
    {
        sqlite3_stmt* stmt = Stmt("SELECT id, name FROM keys WHERE parent = ?1");
        CStmtUse use(stmt);
        if (!use) return;
        sqlite3_bind_int64(stmt, 1, id);
        while (sqlite3_step(stmt) == SQLITE_ROW)
            children.emplace_back(sqlite3_column_int64(stmt, 0), ColumnBytes(stmt, 1));
    }
    std::sort(children.begin(), children.end(),
              [](const auto& a, const auto& b) { return NaturalLess(a.second, b.second); });
    // The statements are done before going down: they are shared by every level.
    for (auto& [childId, name] : children) {
        key.subkeys.push_back(SRegKey{std::move(name), {}, {}});
        ReadKey(childId, key.subkeys.back());
    }
}

int CSqliteRegistry::ReadTree(std::string_view path, SRegKey& tree) {
    std::lock_guard lock(m_Mutex);
    Validate();
    const int64_t id = FindKey(path);
    if (id <= 0) return REG_ERROR_FILE_NOT_FOUND;
    SRegKey result{
        std::string(path.substr(path.rfind('\\') == std::string_view::npos ? 0 : path.rfind('\\') + 1)),
        {},
        {}};
    ReadKey(id, result);
    tree = std::move(result);
    return REG_OK;
}

bool CSqliteRegistry::InsertTree(int64_t id, const SRegKey& tree) {
    for (const SRegNamedValue& v : tree.values) {
        if (v.name.empty()) continue;
        sqlite3_stmt* stmt =
            Stmt("INSERT OR REPLACE INTO vals(key, name, type, data) VALUES(?1, ?2, ?3, ?4)");
        CStmtUse use(stmt);
        if (!use) return false;
        sqlite3_bind_int64(stmt, 1, id);
        BindText(stmt, 2, v.name);
        if (v.value.type == ERegType::Dword) {
            sqlite3_bind_int(stmt, 3, kTypeDword);
            BindBlob(stmt, 4, DwordBytes(v.value.dword));
        } else {
            sqlite3_bind_int(stmt, 3, kTypeSz);
            BindBlob(stmt, 4, v.value.text);
        }
        if (!StepChange(stmt)) return false;
    }
    for (const SRegKey& sub : tree.subkeys) {
        if (sub.name.empty() || sub.name.find('\\') != std::string::npos) return false;
        int64_t childId = 0;
        {
            sqlite3_stmt* stmt = Stmt("INSERT INTO keys(parent, name) VALUES(?1, ?2)");
            CStmtUse use(stmt);
            if (!use) return false;
            sqlite3_bind_int64(stmt, 1, id);
            BindText(stmt, 2, sub.name);
            if (!StepChange(stmt)) return false;
            childId = sqlite3_last_insert_rowid(m_pDb);
        }
        if (!InsertTree(childId, sub)) return false;
    }
    return true;
}

int CSqliteRegistry::ReplaceTree(std::string_view path, const SRegKey& tree) {
    std::lock_guard lock(m_Mutex);
    if (m_bReadOnly) return REG_ERROR_ACCESS_DENIED;
    std::vector<std::string_view> parts;
    if (!SplitPath(path, parts)) return REG_ERROR_FILE_NOT_FOUND;
    return Change([&]() -> int {
        const int64_t id = EnsureKey(path);
        if (id <= 0) return REG_ERROR_WRITE_FAULT;
        sqlite3_stmt* clearKeys = Stmt("DELETE FROM keys WHERE parent = ?1");
        sqlite3_stmt* clearValues = Stmt("DELETE FROM vals WHERE key = ?1");
        for (sqlite3_stmt* stmt : {clearKeys, clearValues}) {
            CStmtUse use(stmt);
            if (!use) return REG_ERROR_WRITE_FAULT;
            sqlite3_bind_int64(stmt, 1, id);
            if (!StepChange(stmt)) return REG_ERROR_WRITE_FAULT;
        }
        Forget();
        return InsertTree(id, tree) ? REG_OK : REG_ERROR_WRITE_FAULT;
    });
}

bool CSqliteRegistry::IsEmpty() {
    std::lock_guard lock(m_Mutex);
    Validate();
    return !HasSubKeys(kRootKey) && ValuesOf(kRootKey).empty();
}

int CSqliteRegistry::SaveKey(std::string_view path, const std::string& file, bool overwrite) {
    std::string topPath(kAppKeyPath);
    if (!path.empty()) topPath += '\\' + std::string(path);
    SRegKey tree;
    if (const int rc = ReadTree(path, tree); rc != REG_OK) return rc;
    tree.name = topPath.substr(topPath.rfind('\\') + 1);
    return WriteRegFile(file, tree, topPath, overwrite);
}

int CSqliteRegistry::RestoreKey(std::string_view path, const std::string& file) {
    {
        std::lock_guard lock(m_Mutex);
        if (m_bReadOnly) return REG_ERROR_ACCESS_DENIED;
    }
    SRegKey tree;
    if (const int rc = ReadRegFile(file, tree); rc != REG_OK) return rc;
    if (const int rc = ConformToSchema(tree); rc != REG_OK) return rc;
    return ReplaceTree(path, tree);
}

}  // namespace wavory
