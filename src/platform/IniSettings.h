// The first settings store was an INI file written through QSettings
// ($XDG_CONFIG_HOME/Wavory/Wavory Utility.conf): the application key's values in its general
// section, profiles as groups. Its content moves into the SQLite store once; this reads it for that.
#pragma once

#include <string>

#include "base/RegTree.h"

namespace wavory {

// Reads the whole file into a tree, with the registry kinds the schema gives its values (a value
// the schema does not know is a dword when it is written as a number, else text). Groups and values
// whose names differ only in ASCII case, which the registry takes for one, are merged: the later one
// (in the file's order) wins, and the trace says so. False, with the reason, when the file cannot be
// read whole.
bool ReadIniSettings(const std::string& file, SRegKey& tree, std::string& error);

}  // namespace wavory
