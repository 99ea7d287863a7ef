// The settings folder and files are the user's alone: they hold WEP keys, and a file another local
// user could replace would let them plant an auto-selected profile.
#pragma once

#include <string>

namespace wavory {

// Creates the folder (and missing parents) for the owner only, takes the rights of others away from
// an own folder (the owner's own rights stay as the owner set them: a read-only folder stays
// read-only), and refuses (false, with the reason) one that is no folder or belongs to another user.
bool PreparePrivateFolder(const std::string& folder, std::string& error);

// Takes the rights of others away from an own file (keeping the owner's as they are) and refuses a
// symbolic link, anything but a regular file, or a file of another user. With `create` a missing file
// is created empty and private (0600); without, a missing file is fine. On a read-only file system
// nothing can be narrowed, and nobody can change the file there either: it is used as it is.
bool PreparePrivateFile(const std::string& file, bool create, std::string& error);

}  // namespace wavory
