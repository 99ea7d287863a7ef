// The first settings store was an INI file written through QSettings
// ($XDG_CONFIG_HOME/Wavory/Wavory Utility.conf): the application key's values in its general
// section, profiles as groups. Its content moves into the SQLite store once; this reads it for that.
#pragma once

#include <sys/stat.h>

#include <functional>
#include <string>
#include <vector>

#include "base/RegTree.h"

namespace wavory {

// Reads the whole file into a tree, with the registry kinds the schema gives its values (a value
// the schema does not know is a dword when it is written as a number, else text). Groups and values
// whose names differ only in ASCII case, which the registry takes for one, are merged: the later one
// (in the file's order) wins, and the trace says so. False, with the reason, when the file cannot be
// read whole.
bool ReadIniSettings(const std::string& file, SRegKey& tree, std::string& error);

// Where the reader module is loaded from. A program that runs with raised rights (set-user-ID,
// set-group-ID, file capabilities: secure execution) must not run code its user can replace: it
// loads the module only from the installed place, and only while that file and every folder above
// it belong to root and nobody else may write to them.
namespace ini_module {

// The kernel says the program runs with raised rights (getauxval(AT_SECURE)).
bool SecureExecution();
// The places to look, in order: beside the build (bin/../lib/wavory of `exePath`) and `installed`;
// under secure execution `installed` alone.
std::vector<std::string> Candidates(bool secureExecution, const std::string& exePath,
                                    const std::string& installed);
// How a path looks (lstat); false when it is not there.
using StatFn = std::function<bool(const std::string& path, struct stat& st)>;
// Why a program with raised rights may not load `path` (a path without links, as realpath makes
// it): a part of it that is not root's, is a link, or may be written by its group or others. Empty
// when it may.
std::string RaisedRightsRefusal(const std::string& path, const StatFn& statOf);

}  // namespace ini_module

}  // namespace wavory
