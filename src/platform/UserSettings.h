// Opens the user's settings store. The first store was an INI file in the same folder; its content
// moves into the new store once, the first time the new store is opened empty, and the file is kept
// beside it under another name.
#pragma once

#include <memory>
#include <string>

#include "store/SqliteRegistry.h"

namespace wavory {

// The name the moved INI file is kept under, in the same folder.
inline constexpr const char* kMovedIniSuffix = ".moved-to-settings.db";

// The store in `folder` (default: the user's settings folder); null with the reason in `error`
// when it cannot be used (another user's folder or file, a damaged database).
std::unique_ptr<CSqliteRegistry> OpenUserSettings(std::string& error, const std::string& folder = {});

// The move alone: reads the INI file into an empty store and renames the file. False with the
// reason when the store could not take it (the file is then left where it was).
bool MoveIniIntoStore(const std::string& iniFile, CSqliteRegistry& store, std::string& error);

}  // namespace wavory
