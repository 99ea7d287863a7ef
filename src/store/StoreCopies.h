// Copies of the settings store, kept beside it in the folder "copies": one before each import,
// move of older settings and change of the store's layout, one a day of use, and those the user
// asks for. The newest few are kept. A damaged store is moved aside (kept, named with the date) and
// the newest sound copy takes its place.
#pragma once

#include <ctime>
#include <memory>
#include <string>
#include <vector>

namespace wavory {

class CSqliteRegistry;

// How many copies are kept; making one more removes the oldest.
inline constexpr std::size_t kKeptStoreCopies = 5;

struct SStoreCopy {
    std::string path;
    std::time_t when = 0;  // when it was made
    std::string reason;    // "daily", "import", "migration", "layout", "backup", "restore"
};

// The folder of the copies of the store in `storeFile`.
std::string StoreCopiesFolder(const std::string& storeFile);
// The copies there, newest first.
std::vector<SStoreCopy> ListStoreCopies(const std::string& storeFile);
// Makes a copy of the store now; REG_OK or the error code. `made` gets its path.
int MakeStoreCopy(CSqliteRegistry& store, const std::string& reason, std::string* made = nullptr);
// Takes the texts `secrets` (values of removed profiles) out of every copy: each text value that
// equals one becomes empty, overwritten in place. The copies that could not be changed are counted.
int ScrubStoreCopies(const std::string& storeFile, const std::vector<std::string>& secrets);
// Makes the day's copy of a sound, writable store when the newest copy is a day old or there is none.
void MakeDailyStoreCopy(CSqliteRegistry& store);
// "2024-05-01 10:20" in local time.
std::string CopyTimeText(std::time_t when);

// The user's store as the programs open it.
struct SStoreOpening {
    std::unique_ptr<CSqliteRegistry> store;  // null when it cannot be used (error says why)
    std::string error;
    // The store was found damaged; notice tells the user what was done (where the damaged file is
    // kept, which copy was restored).
    bool damaged = false;
    std::string notice;
};

// Opens settings.db in the folder; a damaged one is moved aside and the newest sound copy restored
// (or, without one, an empty store begun), and the day's copy is made.
SStoreOpening OpenSettingsStore(const std::string& folder);

}  // namespace wavory
