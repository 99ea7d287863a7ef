#include "store/StoreCopies.h"

#include <dirent.h>
#include <fcntl.h>
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

// Copies a file's bytes to a new private file, as a whole (a temporary file renamed into place).
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
    if (ok && ::rename(temp.c_str(), to.c_str()) == 0) return true;
    if (out >= 0) ::unlink(temp.c_str());
    return false;
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

void MakeDailyStoreCopy(CSqliteRegistry& store) {
    if (!store.IsOpen() || !store.IsWritable() || store.IsEmpty()) return;
    const std::vector<SStoreCopy> copies = ListStoreCopies(store.FileName());
    const std::time_t now = std::time(nullptr);
    // A copy dated in the future (a clock set back) does not count as the day's.
    if (!copies.empty() && copies.front().when <= now && now - copies.front().when < kDay) return;
    MakeStoreCopy(store, "daily");
}

SStoreOpening OpenSettingsStore(const std::string& folder) {
    SStoreOpening opening;
    const std::string file = folder + "/" + CSqliteRegistry::kFileName;
    opening.store = std::make_unique<CSqliteRegistry>(file);
    if (opening.store->IsOpen()) {
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

    // Kept for whoever wants to look at it, under a name no program opens; its journal files go
    // with it.
    const std::string kept = file + ".damaged-" + Stamp(std::time(nullptr));
    if (::rename(file.c_str(), kept.c_str()) != 0) {
        opening.error =
            damage + "; it could not be moved aside (" + std::strerror(errno) + "), so nothing was changed";
        return opening;
    }
    for (const char* companion : {"-wal", "-shm"})
        ::rename((file + companion).c_str(), (kept + companion).c_str());

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
