// Opens the user's settings store (see store/StoreCopies.h for a damaged one and the copies). The
// first store was an INI file in the same folder; its content moves into the new store once, the
// first time the new store is opened empty, and the file is kept beside it under another name.
#pragma once

#include <string>

#include "store/SqliteRegistry.h"
#include "store/StoreCopies.h"

namespace wavory {

// The name the moved INI file is kept under, in the same folder.
inline constexpr const char* kMovedIniSuffix = ".moved-to-settings.db";

// The store in `folder` (default: the user's settings folder). Without a store, error says why
// (another user's folder or file, a damaged store that could not be moved aside). The notice tells
// the user what happened on the way: a damaged store moved aside, settings of the earlier version
// that could not be read.
SStoreOpening OpenUserSettings(const std::string& folder = {});

// The move alone: reads the INI file into an empty store and renames the file. False with the
// reason when the store could not take it; an INI file that cannot be read is left where it is,
// with the reason in `notice`. Both leave the file where it was.
bool MoveIniIntoStore(const std::string& iniFile, CSqliteRegistry& store, std::string& error,
                      std::string* notice = nullptr);

}  // namespace wavory
