// Reader of regedit text files: "Windows Registry Editor Version 5.00" in UTF-16LE (byte-order mark
// FF FE) or UTF-8, and 8-bit "REGEDIT4" files.
#pragma once

#include <string_view>

#include "base/RegTree.h"

namespace wavory {

// Parses a whole file into its top key: the shallowest key of the file (the first of equal depth),
// with every key below it as a subkey; keys outside it, deletion lines and default values are
// skipped. A value line that cannot be read spoils only its key (SRegKey::fault says which line); a
// string value in hex form keeps every byte before its terminator, NULs included. REG_OK, or
// REG_ERROR_INVALID_DATA for anything else that is not a complete file, in which case `top` is left
// as it was.
int ParseRegText(std::string_view bytes, SRegKey& top);

}  // namespace wavory
