#include "platform/UserSettings.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/SettingsRegistry.h"

namespace wavory {

namespace {
constexpr const char* kIniFileName = "Wavory Utility.conf";
}  // namespace

bool MoveIniIntoStore(const std::string& iniFile, CSqliteRegistry& store, std::string& error) {
    struct stat st {};
    if (::lstat(iniFile.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return true;  // nothing to move
    // Only an empty store takes the file: one that already holds settings is newer than it.
    store.BeginUpdate();
    bool moved = false;
    if (store.IsEmpty()) {
        SRegKey tree;
        CSettingsRegistry(iniFile).ReadAll(tree);
        moved = store.ReplaceTree("", tree) == REG_OK;
        if (!moved) store.CancelUpdate();
    }
    if (!store.EndUpdate()) {
        error = "cannot move the settings of " + iniFile + " into " + store.FileName();
        return false;
    }
    if (!moved) return true;
    // Kept, private, under a name no program reads: the database is the store from now on.
    const std::string kept = iniFile + kMovedIniSuffix;
    if (std::rename(iniFile.c_str(), kept.c_str()) == 0) ::chmod(kept.c_str(), 0600);
    return true;
}

std::unique_ptr<CSqliteRegistry> OpenUserSettings(std::string& error, const std::string& folder) {
    const std::string dir = folder.empty() ? CSqliteRegistry::DefaultFolder() : folder;
    auto store = std::make_unique<CSqliteRegistry>(dir + "/" + CSqliteRegistry::kFileName);
    if (!store->IsOpen()) {
        error = store->Error();
        return nullptr;
    }
    if (!MoveIniIntoStore(dir + "/" + kIniFileName, *store, error)) return nullptr;
    return store;
}

}  // namespace wavory
