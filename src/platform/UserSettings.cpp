#include "platform/UserSettings.h"

#include <sys/stat.h>

#include <cstdio>

#include "platform/IniSettings.h"

namespace wavory {

namespace {
constexpr const char* kIniFileName = "Wavory Utility.conf";
}  // namespace

bool MoveIniIntoStore(const std::string& iniFile, CSqliteRegistry& store, std::string& error,
                      std::string* notice) {
    struct stat st {};
    if (::lstat(iniFile.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return true;  // nothing to move
    // Only an empty store takes the file: one that already holds settings is newer than it.
    if (!store.IsWritable() || !store.IsEmpty()) return true;
    SRegKey tree;
    std::string why;
    if (!ReadIniSettings(iniFile, tree, why)) {
        if (notice)
            *notice = "The settings of the earlier version in " + iniFile + " could not be read (" + why +
                      "). They were left where they are; the utility starts without them.";
        return true;
    }
    MakeStoreCopy(store, "migration");
    store.BeginUpdate();
    bool moved = false;
    if (store.IsEmpty()) {
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

SStoreOpening OpenUserSettings(const std::string& folder) {
    const std::string dir = folder.empty() ? CSqliteRegistry::DefaultFolder() : folder;
    SStoreOpening opening = OpenSettingsStore(dir);
    if (!opening.store) return opening;
    std::string notice;
    if (!MoveIniIntoStore(dir + "/" + kIniFileName, *opening.store, opening.error, &notice)) {
        opening.store.reset();
        return opening;
    }
    if (!notice.empty()) opening.notice += (opening.notice.empty() ? "" : "\n") + notice;
    return opening;
}

}  // namespace wavory
