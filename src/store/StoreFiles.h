// The settings folder and files are the user's alone: they hold WEP keys, and a file another local
// user could replace would let them plant an auto-selected profile.
#pragma once

#include <string>

namespace wavory {

// Creates the folder (and missing parents) for the owner only, narrows an own folder that others
// may enter to 0700, and refuses (false, with the reason) one that is no folder or belongs to
// another user.
bool PreparePrivateFolder(const std::string& folder, std::string& error);

// Narrows an own file to 0600 and refuses a symbolic link, anything but a regular file, or a file
// of another user. With `create` a missing file is created empty and private; without, a missing
// file is fine.
bool PreparePrivateFile(const std::string& file, bool create, std::string& error);

}  // namespace wavory
