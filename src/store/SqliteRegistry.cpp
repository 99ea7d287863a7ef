// The settings store: opening, the layout, the check, copies in and out.
#include "store/SqliteRegistry.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "store/SqliteCommon.h"
#include "store/StoreCopies.h"
#include "store/StoreFiles.h"

namespace wavory {

using namespace sqlite;

namespace {

std::string FolderOf(const std::string& file) {
    const size_t slash = file.rfind('/');
    return slash == std::string::npos ? "." : (slash == 0 ? "/" : file.substr(0, slash));
}

// A file name as an SQLite URI path: characters that mean something in a URI are escaped.
std::string UriPath(const std::string& file) {
    std::string out;
    for (const char c : file) {
        if (c == '%' || c == '?' || c == '#') {
            static const char* hex = "0123456789ABCDEF";
            out += '%';
            out += hex[(static_cast<unsigned char>(c) >> 4) & 0xF];
            out += hex[static_cast<unsigned char>(c) & 0xF];
        } else {
            out += c;
        }
    }
    return out;
}

// Less room left than the write-ahead log's shared memory takes.
bool DiskFull(const std::string& folder) {
    struct statvfs fs {};
    return ::statvfs(folder.c_str(), &fs) == 0 && fs.f_bavail * fs.f_frsize < 64 * 1024;
}

int BusyTimeoutMs() {
    const char* env = std::getenv("WAVORY_STORE_BUSY_MS");
    const int ms = env ? std::atoi(env) : 0;
    return ms > 0 ? ms : CSqliteRegistry::kBusyTimeoutMs;
}

}  // namespace

size_t CSqliteRegistry::SNoCaseHash::operator()(std::string_view s) const noexcept {
    size_t h = 14695981039346656037ull;  // FNV-1a over the lower-case bytes
    for (char c : s) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        h = (h ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    }
    return h;
}

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

void CSqliteRegistry::SetKillAtWrite(int step) { sqlite::SetKillAtWrite(step); }

CSqliteRegistry::CSqliteRegistry(const std::string& file) : m_strFileName(file) {
    if (!Open()) Close();
}

CSqliteRegistry::CSqliteRegistry(const std::string& file, EInspect) : m_strFileName(file) {
    m_strReadOnly = "opened to be looked at";
    if (!OpenConnection(false) || !CheckLayout()) Close();
}

CSqliteRegistry::~CSqliteRegistry() { Close(); }

void CSqliteRegistry::Close() {
    for (auto& [sql, stmt] : m_Stmts) sqlite3_finalize(stmt);
    m_Stmts.clear();
    for (sqlite3_stmt*& stmt : m_InsertStmts) {
        sqlite3_finalize(stmt);
        stmt = nullptr;
    }
    if (m_pDb) sqlite3_close_v2(m_pDb);
    m_pDb = nullptr;
}

// ---- Opening ----

bool CSqliteRegistry::Open() {
    const std::string folder = FolderOf(m_strFileName);
    if (!PreparePrivateFolder(folder, m_strError)) return false;
    struct stat st {};
    const bool exists = ::lstat(m_strFileName.c_str(), &st) == 0;
    // The store is changed only where the folder takes SQLite's journal files and the file may be
    // written; otherwise it is read as it stands, and nothing about it is changed.
    std::string readOnly;
    if (::access(folder.c_str(), W_OK) != 0) {
        readOnly = errno == EROFS ? "the settings folder " + folder + " is on a read-only file system"
                                  : "the settings folder " + folder + " is read-only";
    } else if (exists && ::access(m_strFileName.c_str(), W_OK) != 0) {
        readOnly = errno == EROFS ? "the settings file " + m_strFileName + " is on a read-only file system"
                                  : "the settings file " + m_strFileName + " is read-only";
    }
    if (!exists && !readOnly.empty()) {
        m_strError = "cannot create the settings file " + m_strFileName + ": " + readOnly;
        return false;
    }
    // The database and its companions are made private before SQLite opens them; it gives its
    // write-ahead log and shared-memory files the database's mode.
    for (const char* suffix : {"", "-wal", "-shm"}) {
        if (!PreparePrivateFile(m_strFileName + suffix, *suffix == '\0' && readOnly.empty(), m_strError))
            return false;
    }
    if (!readOnly.empty()) m_strReadOnly = readOnly;
    if (!OpenConnection(readOnly.empty())) return false;
    if (!CheckLayout() || !CheckContent()) return false;
    if (IsWritable() && !PrepareSchema()) return false;
    for (const char* suffix : {"-wal", "-shm"}) {
        if (!PreparePrivateFile(m_strFileName + suffix, false, m_strError)) return false;
    }
    CheckVersion();
    return true;
}

bool CSqliteRegistry::OpenConnection(bool writable) {
    auto open = [&](const std::string& name, int flags) {
        if (m_pDb) sqlite3_close_v2(m_pDb);
        m_pDb = nullptr;
        const int rc = sqlite3_open_v2(name.c_str(), &m_pDb,
                                       flags | SQLITE_OPEN_NOFOLLOW | SQLITE_OPEN_FULLMUTEX, nullptr);
        if (rc != SQLITE_OK) {
            m_strError = "cannot open the settings store " + m_strFileName + ": " +
                         (m_pDb ? sqlite3_errmsg(m_pDb) : "out of memory");
            return false;
        }
        sqlite3_extended_result_codes(m_pDb, 1);
        sqlite3_busy_timeout(m_pDb, BusyTimeoutMs());
        // Deleted keys are overwritten on disk, whatever SQLite was built with: they held WEP keys.
        Exec("PRAGMA secure_delete=ON");
        Exec("PRAGMA foreign_keys=ON");
        // NORMAL synchronisation keeps every committed change through a crash of the program; only a
        // power loss may take the last ones back. The cache holds an import of the most profiles
        // without writing pages out before the commit.
        Exec("PRAGMA synchronous=NORMAL");
        Exec("PRAGMA cache_size=-16384");
        return true;
    };
    // The first read maps the write-ahead log's shared-memory file, which needs room on the disk.
    auto probe = [&] {
        sqlite3_stmt* stmt = nullptr;
        int rc = sqlite3_prepare_v2(m_pDb, "PRAGMA user_version", -1, &stmt, nullptr);
        if (rc == SQLITE_OK) rc = sqlite3_step(stmt);
        sqlite3_finalize(stmt);
        return rc & 0xFF;
    };
    if (writable) {
        if (!open(m_strFileName, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE)) return false;
        const int rc = probe();
        if ((rc != SQLITE_IOERR && rc != SQLITE_FULL && rc != SQLITE_CANTOPEN) ||
            !DiskFull(FolderOf(m_strFileName)))
            return true;
        // A full disk still shows what is stored: read as it stands, and every change refused as such.
        SetReadOnly("the disk that holds the settings is full", REG_ERROR_DISK_FULL);
    }
    if (!open(m_strFileName, SQLITE_OPEN_READONLY)) return false;
    // Read-only, a database in write-ahead mode needs its shared-memory file; where it cannot be
    // made (a read-only folder, a full disk), nobody can be writing the store, which is then read as
    // it stands. With the file read-only too, SQLite says so as a write it may not make.
    const int rc = probe();
    if (rc != SQLITE_CANTOPEN && rc != SQLITE_IOERR && rc != SQLITE_READONLY) return true;
    return open("file:" + UriPath(m_strFileName) + "?immutable=1", SQLITE_OPEN_READONLY | SQLITE_OPEN_URI);
}

// Reads the layout number, waiting out a program that is switching a new store to write-ahead mode.
bool CSqliteRegistry::CheckLayout() {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(BusyTimeoutMs());
    int rc = SQLITE_OK;
    for (;;) {
        sqlite3_stmt* stmt = nullptr;
        rc = sqlite3_prepare_v2(m_pDb,
                                "SELECT (SELECT user_version FROM pragma_user_version),"
                                " (SELECT count(*) FROM sqlite_master WHERE name IN ('keys', 'vals'))",
                                -1, &stmt, nullptr);
        if (rc == SQLITE_OK) rc = sqlite3_step(stmt);
        if (rc == SQLITE_ROW) {
            m_nLayout = sqlite3_column_int(stmt, 0);
            m_bHasTables = sqlite3_column_int(stmt, 1) == 2;
        }
        sqlite3_finalize(stmt);
        if (rc == SQLITE_ROW) break;
        const int primary = rc & 0xFF;
        if ((primary != SQLITE_BUSY && primary != SQLITE_LOCKED) ||
            std::chrono::steady_clock::now() >= deadline)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (rc != SQLITE_ROW) {
        m_bDamaged = IsDamage(rc);
        m_strError = (m_bDamaged ? "the settings store " + m_strFileName + " is damaged: "
                                 : "cannot read the settings store " + m_strFileName + ": ") +
                     sqlite3_errstr(rc);
        return false;
    }
    if (m_nLayout > kSchemaVersion && IsWritable())
        SetReadOnly("the settings file " + m_strFileName + " was written by a newer version of the utility");
    if (!m_bHasTables && !IsWritable()) {
        m_strError = "the settings file " + m_strFileName + " holds no settings and cannot be written";
        return false;
    }
    return true;
}

bool CSqliteRegistry::CheckContent() {
    if (!m_bHasTables) return true;
    std::string findings;
    if (Check(&findings) == REG_OK) return true;
    m_bDamaged = true;
    m_strError = "the settings store " + m_strFileName + " is damaged: " + findings;
    return false;
}

// A new file gets the tables, an older layout its number (after a copy of it is kept); a store of
// this layout is left alone, so opening takes no write lock.
bool CSqliteRegistry::PrepareSchema() {
    if (m_bHasTables && m_nLayout == kSchemaVersion) return true;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(BusyTimeoutMs());
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
    // Write-ahead: readers never wait for a writer.
    if (m_bHasTables && m_nLayout < kSchemaVersion) MakeStoreCopy(*this, "layout");
    if (!execRetrying("PRAGMA journal_mode=WAL") || !execRetrying("BEGIN IMMEDIATE")) {
        m_strError = "cannot open the settings store " + m_strFileName + ": " + sqlite3_errmsg(m_pDb);
        return false;
    }
    const std::string layout = "PRAGMA user_version=" + std::to_string(kSchemaVersion);
    if (!Exec(kSchemaSql) || !Exec(layout.c_str()) || !Exec("COMMIT")) {
        m_strError = "cannot prepare the settings store " + m_strFileName + ": " + sqlite3_errmsg(m_pDb);
        Exec("ROLLBACK");
        return false;
    }
    m_bHasTables = true;
    m_nLayout = kSchemaVersion;
    return true;
}

void CSqliteRegistry::SetReadOnly(std::string reason, int code) {
    if (!m_strReadOnly.empty()) return;
    m_strReadOnly = std::move(reason);
    m_nReadOnlyCode = code;
}

bool CSqliteRegistry::Exec(const char* sql) const {
    return m_pDb && sqlite3_exec(m_pDb, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

sqlite3_stmt* CSqliteRegistry::Stmt(const char* sql) const {
    if (!m_pDb) return nullptr;
    auto it = m_Stmts.find(sql);
    if (it != m_Stmts.end()) return it->second;
    sqlite3_stmt* stmt = nullptr;
    const int rc = sqlite3_prepare_v3(m_pDb, sql, -1, SQLITE_PREPARE_PERSISTENT, &stmt, nullptr);
    if (rc != SQLITE_OK) {
        NoteReadFailure(rc);
        return nullptr;
    }
    m_Stmts.emplace(sql, stmt);
    return stmt;
}

void CSqliteRegistry::SetDiscardWrites(bool discard) {
    std::lock_guard lock(m_Mutex);
    m_bDiscardWrites = discard;
}

// ---- The check and copies ----

int CSqliteRegistry::Check(std::string* findings) {
    std::lock_guard lock(m_Mutex);
    if (!m_pDb) return REG_ERROR_BADDB;
    sqlite3_stmt* stmt = nullptr;
    int rc = sqlite3_prepare_v2(m_pDb, "PRAGMA quick_check", -1, &stmt, nullptr);
    std::string found;
    bool ok = false;
    if (rc == SQLITE_OK) {
        while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
            const std::string line = ColumnBytes(stmt, 0);
            ok = found.empty() && line == "ok";
            if (line != "ok") found += (found.empty() ? "" : "; ") + line;
        }
    }
    sqlite3_finalize(stmt);
    if (rc != SQLITE_DONE) {
        found = sqlite3_errstr(rc);
        ok = false;
    }
    if (findings) *findings = found;
    return ok ? REG_OK : REG_ERROR_BADDB;
}

int CSqliteRegistry::SchemaVersion() {
    std::lock_guard lock(m_Mutex);
    return m_nLayout;
}

int CSqliteRegistry::Backup(const std::string& file, bool overwrite) {
    std::lock_guard lock(m_Mutex);
    if (!m_pDb) return REG_ERROR_BADDB;
    struct stat st {};
    if (::stat(file.c_str(), &st) == 0) {
        if (!overwrite) return REG_ERROR_FILE_EXISTS;
        if (!S_ISREG(st.st_mode)) return REG_ERROR_ACCESS_DENIED;  // never rename over a device or folder
    }
    std::string temp = file + ".XXXXXX";
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) return errno == ENOSPC ? REG_ERROR_DISK_FULL : REG_ERROR_ACCESS_DENIED;
    ::fchmod(fd, 0600);
    ::close(fd);
    // Inside a change the copy is read through a connection of its own: it holds what was committed
    // before the change, and the change's own connection cannot be the source of a backup.
    sqlite3* source = m_pDb;
    if (m_bInTxn) {
        source = nullptr;
        if (sqlite3_open_v2(m_strFileName.c_str(), &source, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOFOLLOW,
                            nullptr) != SQLITE_OK) {
            sqlite3_close_v2(source);
            ::unlink(temp.c_str());
            return REG_ERROR_ACCESS_DENIED;
        }
        sqlite3_busy_timeout(source, BusyTimeoutMs());
    }
    sqlite3* copy = nullptr;
    int rc = sqlite3_open_v2(temp.c_str(), &copy, SQLITE_OPEN_READWRITE, nullptr);
    if (rc == SQLITE_OK) {
        sqlite3_backup* backup = sqlite3_backup_init(copy, "main", source, "main");
        if (!backup) {
            rc = sqlite3_errcode(copy);
        } else {
            rc = sqlite3_backup_step(backup, -1);
            const int finished = sqlite3_backup_finish(backup);
            if (rc == SQLITE_DONE) rc = finished;
        }
    }
    if (sqlite3_close_v2(copy) != SQLITE_OK && rc == SQLITE_OK) rc = SQLITE_IOERR;
    if (source != m_pDb) sqlite3_close_v2(source);
    if (rc != SQLITE_OK) {
        ::unlink(temp.c_str());
        return NoteFailure(rc);
    }
    // Without overwrite the copy takes the name only while it is free: linking refuses an existing
    // file, as renaming does not.
    const auto place = [&] {
        if (overwrite) return ::rename(temp.c_str(), file.c_str()) == 0;
        if (::renameat2(AT_FDCWD, temp.c_str(), AT_FDCWD, file.c_str(), RENAME_NOREPLACE) == 0) return true;
        if ((errno != EINVAL && errno != ENOSYS) || ::link(temp.c_str(), file.c_str()) != 0) return false;
        ::unlink(temp.c_str());
        return true;
    };
    if (!place()) {
        const int err = errno;
        ::unlink(temp.c_str());
        return err == EEXIST ? REG_ERROR_FILE_EXISTS : REG_ERROR_ACCESS_DENIED;
    }
    return REG_OK;
}

int CSqliteRegistry::KeepCopy(const std::string& reason) { return MakeStoreCopy(*this, reason); }

int CSqliteRegistry::ReadStoreFile(const std::string& file, SRegKey& tree, std::string* findings) {
    CSqliteRegistry source(file, kInspect);
    if (!source.IsOpen() || !source.m_bHasTables) {
        if (findings) *findings = source.IsOpen() ? "it holds no settings" : source.Error();
        return source.IsDamaged() ? REG_ERROR_BADDB : REG_ERROR_INVALID_DATA;
    }
    if (source.m_nLayout > kSchemaVersion) {
        if (findings) *findings = "it was written by a newer version of the utility";
        return REG_ERROR_INVALID_DATA;
    }
    if (source.Check(findings) != REG_OK) return REG_ERROR_BADDB;
    const int rc = source.ReadTree("", tree);
    if (rc != REG_OK && findings) *findings = "it could not be read";
    return rc;
}

int CSqliteRegistry::RestoreFrom(const std::string& file, std::string* findings) {
    SRegKey tree;
    if (const int rc = ReadStoreFile(file, tree, findings); rc != REG_OK) return rc;
    return ReplaceTree("", tree);
}

}  // namespace wavory
