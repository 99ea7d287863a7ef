#include "store/StoreCopies.h"

#include <dirent.h>
#include <fcntl.h>
#include <sqlite3.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/RegTree.h"
#include "base/Registry.h"
#include "store/SqliteRegistry.h"
#include "store/StoreFiles.h"

namespace wavory {

namespace {

constexpr const char* kCopyPrefix = "settings-";
constexpr const char* kCopySuffix = ".db";
constexpr std::time_t kDay = 24 * 60 * 60;
constexpr const char* kDamagedInfix = ".damaged-";
// Damaged files kept at most, and for at most this long: they hold what the store held, keys of
// removed profiles included.
constexpr std::size_t kKeptDamagedFiles = 3;
constexpr std::time_t kDamagedKeptFor = 30 * kDay;
// The folder's lock file: not named after the store, so that the window's watch of the store
// does not take its opening for a change.
constexpr const char* kLockFileName = "settings.lock";

// Every program holds the settings folder's lock shared while it opens and checks the store; the one
// that recovers a damaged store holds it alone, so that no program opens (or creates) the store while
// it is moved aside and a copy put in its place. Without a lock file (a read-only folder nobody can
// change) there is nothing to serialise.
class CFolderLock {
public:
    explicit CFolderLock(const std::string& folder) {
        const std::string path = folder + "/" + kLockFileName;
        m_nFd = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (m_nFd < 0) m_nFd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    }
    ~CFolderLock() {
        if (m_nFd >= 0) ::close(m_nFd);
    }
    CFolderLock(const CFolderLock&) = delete;
    CFolderLock& operator=(const CFolderLock&) = delete;

    void Shared() { Take(LOCK_SH); }
    void Alone() { Take(LOCK_EX); }
    void Release() {
        if (m_nFd >= 0) ::flock(m_nFd, LOCK_UN);
    }

private:
    void Take(int how) {
        while (m_nFd >= 0 && ::flock(m_nFd, how) != 0 && errno == EINTR) {
        }
    }
    int m_nFd = -1;
};

// Gives `from` the name `to`, never replacing a file of that name: errno EEXIST then.
bool MoveNoReplace(const std::string& from, const std::string& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
    if (errno != EINVAL && errno != ENOSYS) return false;
    // A file system without it: a second name (which fails on an existing one), then the first
    // dropped.
    if (::link(from.c_str(), to.c_str()) != 0) return false;
    ::unlink(from.c_str());
    return true;
}

// Test hook: the time a recovery waits between finding the store damaged and moving it aside, so
// that concurrent openers meet there.
void RecoveryPause() {
    const char* env = std::getenv("WAVORY_STORE_RECOVERY_PAUSE_MS");
    const int ms = env ? std::atoi(env) : 0;
    if (ms > 0) ::usleep(static_cast<useconds_t>(std::min(ms, 10000)) * 1000);
}

std::string FolderOf(const std::string& file) {
    const size_t slash = file.rfind('/');
    return slash == std::string::npos ? "." : (slash == 0 ? "/" : file.substr(0, slash));
}

// "20240501-102030" in UTC: names sort by age.
std::string Stamp(std::time_t when) {
    std::tm tm{};
    ::gmtime_r(&when, &tm);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y%m%d-%H%M%S", &tm);
    return buf;
}

std::time_t FromStamp(const std::string& stamp) {
    std::tm tm{};
    if (stamp.size() != 15 || !::strptime(stamp.c_str(), "%Y%m%d-%H%M%S", &tm)) return 0;
    return ::timegm(&tm);
}

// settings-YYYYMMDD-HHMMSS-NNN-reason.db: NNN counts the copies of one second, so that names sort by
// age also then.
bool ParseCopyName(const std::string& name, SStoreCopy& copy) {
    const std::string prefix = kCopyPrefix, suffix = kCopySuffix;
    constexpr size_t kStamp = 15, kCounter = 3;
    const size_t fixed = prefix.size() + kStamp + 1 + kCounter + 1;
    if (name.size() <= fixed + suffix.size() || !name.starts_with(prefix) || !name.ends_with(suffix))
        return false;
    copy.when = FromStamp(name.substr(prefix.size(), kStamp));
    if (copy.when == 0 || name[prefix.size() + kStamp] != '-' || name[fixed - 1] != '-') return false;
    for (size_t i = prefix.size() + kStamp + 1; i < fixed - 1; ++i)
        if (name[i] < '0' || name[i] > '9') return false;
    copy.reason = name.substr(fixed, name.size() - fixed - suffix.size());
    return !copy.reason.empty();
}

// Copies a file's bytes to a new private file, as a whole (a temporary file renamed into place); a
// file that is there already stays.
bool CopyFileBytes(const std::string& from, const std::string& to) {
    const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) return false;
    std::string temp = to + ".XXXXXX";
    const int out = ::mkostemp(temp.data(), O_CLOEXEC);
    bool ok = out >= 0 && ::fchmod(out, 0600) == 0;
    char buf[65536];
    while (ok) {
        const ssize_t n = ::read(in, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            ok = n == 0;
            break;
        }
        for (ssize_t done = 0; ok && done < n;) {
            const ssize_t w = ::write(out, buf + done, static_cast<size_t>(n - done));
            if (w < 0 && errno == EINTR) continue;
            ok = w > 0;
            done += w > 0 ? w : 0;
        }
    }
    ok = ok && ::fsync(out) == 0;
    ::close(in);
    if (out >= 0 && ::close(out) != 0) ok = false;
    if (ok && MoveNoReplace(temp, to)) return true;
    if (out >= 0) ::unlink(temp.c_str());
    return false;
}

struct SDamagedFile {
    std::string path;
    std::time_t when = 0;
    int counter = 1;
};

// The damaged files kept beside the store ("settings.db.damaged-STAMP" and "…-STAMP-N"), newest
// first.
std::vector<SDamagedFile> DamagedFiles(const std::string& file) {
    std::vector<SDamagedFile> found;
    const std::string folder = FolderOf(file);
    const std::string prefix = file.substr(file.rfind('/') + 1) + kDamagedInfix;
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return found;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (!name.starts_with(prefix)) continue;
        const std::string rest = name.substr(prefix.size());
        SDamagedFile damaged;
        damaged.when = FromStamp(rest.substr(0, 15));
        if (damaged.when == 0) continue;
        if (rest.size() > 15) {
            if (rest[15] != '-' || rest.size() == 16 ||
                rest.find_first_not_of("0123456789", 16) != std::string::npos)
                continue;  // a companion (-wal, -shm) or someone else's file
            damaged.counter = std::atoi(rest.c_str() + 16);
        }
        damaged.path = folder + "/" + name;
        found.push_back(std::move(damaged));
    }
    ::closedir(dir);
    std::sort(found.begin(), found.end(), [](const SDamagedFile& a, const SDamagedFile& b) {
        return a.when != b.when ? a.when > b.when : a.counter > b.counter;
    });
    return found;
}

// Keeps the newest few damaged files of the last weeks; older ones go with their companions.
void PruneDamagedFiles(const std::string& file) {
    const std::time_t now = std::time(nullptr);
    const std::vector<SDamagedFile> damaged = DamagedFiles(file);
    for (size_t i = 0; i < damaged.size(); ++i) {
        if (i < kKeptDamagedFiles && damaged[i].when + kDamagedKeptFor > now) continue;
        for (const char* companion : {"", "-wal", "-shm"}) ::unlink((damaged[i].path + companion).c_str());
    }
}

// Moves a damaged store aside under a name of its own (the second of one second gets "-2", and so
// on: none is ever replaced), its journal files with it. The kept name, or "" with errno set.
std::string MoveDamagedAside(const std::string& file) {
    const std::string base = file + kDamagedInfix + Stamp(std::time(nullptr));
    for (int n = 1; n < 1000; ++n) {
        const std::string kept = n == 1 ? base : base + "-" + std::to_string(n);
        if (!MoveNoReplace(file, kept)) {
            if (errno == EEXIST) continue;
            return {};
        }
        // A journal left behind would be replayed into the copy that takes the store's place.
        for (const char* companion : {"-wal", "-shm"}) {
            if (!MoveNoReplace(file + companion, kept + companion) && errno != ENOENT)
                ::unlink((file + companion).c_str());
        }
        return kept;
    }
    errno = EEXIST;
    return {};
}

}  // namespace

std::string StoreCopiesFolder(const std::string& storeFile) { return FolderOf(storeFile) + "/copies"; }

std::vector<SStoreCopy> ListStoreCopies(const std::string& storeFile) {
    std::vector<SStoreCopy> copies;
    const std::string folder = StoreCopiesFolder(storeFile);
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return copies;
    while (const dirent* entry = ::readdir(dir)) {
        SStoreCopy copy;
        if (!ParseCopyName(entry->d_name, copy)) continue;
        copy.path = folder + "/" + entry->d_name;
        copies.push_back(std::move(copy));
    }
    ::closedir(dir);
    std::sort(copies.begin(), copies.end(),
              [](const SStoreCopy& a, const SStoreCopy& b) { return a.path > b.path; });
    return copies;
}

std::string CopyTimeText(std::time_t when) {
    std::tm tm{};
    ::localtime_r(&when, &tm);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M", &tm);
    return buf;
}

int MakeStoreCopy(CSqliteRegistry& store, const std::string& reason, std::string* made) {
    const std::string folder = StoreCopiesFolder(store.FileName());
    std::string error;
    if (!PreparePrivateFolder(folder, error)) return REG_ERROR_ACCESS_DENIED;
    const std::string stamp = Stamp(std::time(nullptr));
    const std::vector<SStoreCopy> before = ListStoreCopies(store.FileName());
    int counter = 0;
    for (const SStoreCopy& copy : before) {
        const std::string name = copy.path.substr(folder.size() + 1);
        if (name.compare(std::strlen(kCopyPrefix), stamp.size(), stamp) == 0)
            counter =
                std::max(counter, std::atoi(name.c_str() + std::strlen(kCopyPrefix) + stamp.size() + 1) + 1);
    }
    char number[16];
    std::snprintf(number, sizeof number, "%03d", std::min(counter, 999));
    const std::string path = folder + "/" + kCopyPrefix + stamp + "-" + number + "-" + reason + kCopySuffix;
    const int rc = store.Backup(path);
    if (rc != REG_OK) return rc;
    if (made) *made = path;
    const std::vector<SStoreCopy> copies = ListStoreCopies(store.FileName());
    for (size_t i = kKeptStoreCopies; i < copies.size(); ++i) {
        for (const char* companion : {"", "-wal", "-shm"}) ::unlink((copies[i].path + companion).c_str());
    }
    return REG_OK;
}

int ScrubStoreCopies(const std::string& storeFile, const std::vector<std::string>& secrets) {
    int failed = 0;
    for (const SStoreCopy& copy : ListStoreCopies(storeFile)) {
        sqlite3* db = nullptr;
        bool ok = sqlite3_open_v2(copy.path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOFOLLOW,
                                  nullptr) == SQLITE_OK;
        auto exec = [&](const char* sql) {
            return ok && sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
        };
        // The journal stays in memory, so that the old pages go to no file; secure_delete overwrites
        // the old values where they stood.
        ok = exec("PRAGMA journal_mode=MEMORY") && exec("PRAGMA secure_delete=ON") && exec("BEGIN IMMEDIATE");
        sqlite3_stmt* stmt = nullptr;
        ok = ok && sqlite3_prepare_v2(db, "UPDATE vals SET data = x'' WHERE type = 1 AND data = ?1", -1,
                                      &stmt, nullptr) == SQLITE_OK;
        for (size_t i = 0; ok && i < secrets.size(); ++i) {
            sqlite3_bind_blob(stmt, 1, secrets[i].data(), static_cast<int>(secrets[i].size()),
                              SQLITE_TRANSIENT);
            ok = sqlite3_step(stmt) == SQLITE_DONE;
            sqlite3_reset(stmt);
        }
        sqlite3_finalize(stmt);
        ok = exec("COMMIT");
        if (!ok && db) sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_close_v2(db);
        if (!ok) ++failed;
    }
    return failed;
}

void MakeDailyStoreCopy(CSqliteRegistry& store) {
    if (!store.IsOpen() || !store.IsWritable() || store.IsEmpty()) return;
    const std::vector<SStoreCopy> copies = ListStoreCopies(store.FileName());
    const std::time_t now = std::time(nullptr);
    // A copy dated in the future (a clock set back) does not count as the day's.
    if (!copies.empty() && copies.front().when <= now && now - copies.front().when < kDay) return;
    MakeStoreCopy(store, "daily");
    PruneDamagedFiles(store.FileName());
}

SStoreOpening OpenSettingsStore(const std::string& folder) {
    SStoreOpening opening;
    const std::string file = folder + "/" + CSqliteRegistry::kFileName;
    std::string error;
    std::unique_ptr<CFolderLock> lock;
    if (PreparePrivateFolder(folder, error)) {
        lock = std::make_unique<CFolderLock>(folder);
        lock->Shared();
    }
    opening.store = std::make_unique<CSqliteRegistry>(file);
    if (!opening.store->IsOpen() && opening.store->IsDamaged()) {
        // One program recovers at a time; another may have done so while this one waited.
        opening.store.reset();
        if (lock) lock->Alone();
        opening.store = std::make_unique<CSqliteRegistry>(file);
    }
    if (opening.store->IsOpen()) {
        if (lock) lock->Release();
        MakeDailyStoreCopy(*opening.store);
        return opening;
    }
    if (!opening.store->IsDamaged()) {
        opening.error = opening.store->Error();
        opening.store.reset();
        return opening;
    }
    const std::string damage = opening.store->Error();
    opening.store.reset();
    opening.damaged = true;
    RecoveryPause();

    // Kept for whoever wants to look at it, under a name no program opens.
    const std::string kept = MoveDamagedAside(file);
    if (kept.empty()) {
        opening.error =
            damage + "; it could not be moved aside (" + std::strerror(errno) + "), so nothing was changed";
        return opening;
    }
    PruneDamagedFiles(file);

    std::string restored;
    for (const SStoreCopy& copy : ListStoreCopies(file)) {
        SRegKey tree;
        if (CSqliteRegistry::ReadStoreFile(copy.path, tree, nullptr) != REG_OK) continue;
        if (CopyFileBytes(copy.path, file)) {
            restored = CopyTimeText(copy.when);
            break;
        }
    }
    opening.store = std::make_unique<CSqliteRegistry>(file);
    opening.notice =
        "The settings file " + file + " was damaged (" + damage.substr(damage.rfind(": ") + 2) +
        "). It was kept as " + kept + ". " +
        (restored.empty() ? std::string("There was no copy to go back to: the settings start empty.")
                          : "The copy of " + restored + " was restored: changes made since are lost.");
    if (!opening.store->IsOpen()) {
        opening.error = opening.store->Error();
        opening.store.reset();
    }
    return opening;
}

}  // namespace wavory
