// Reader of binary registry hives ("regf"), as the Windows key-save call writes them.
#pragma once

#include <string>

#include "base/RegTree.h"

namespace wavory {

// Reads the hive's root key with all its subkeys into `top`: string values (REG_SZ, REG_EXPAND_SZ)
// as text, REG_DWORD (either byte order) as dwords; other kinds and default values are skipped.
// REG_OK, or REG_ERROR_INVALID_DATA for a damaged hive, in which case `top` is left as it was.
int ReadHive(const std::string& file, SRegKey& top);

}  // namespace wavory
