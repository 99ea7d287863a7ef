// Writer of regedit text, the profile export format: it imports with regedit on Windows.
#pragma once

#include <string>
#include <string_view>

#include "base/RegTree.h"

namespace wavory {

// The file bytes for a key and its subkeys, depth first: "Windows Registry Editor Version 5.00",
// UTF-16LE with byte-order mark, CRLF line ends, a blank line before each key, keys as full paths
// (`topPath` is the key's own), "Name"=dword:%08x and "Name"="text" values; a text holding a NUL
// byte is written in regedit's hex form of a string, hex(1):.
std::string FormatRegText(const SRegKey& top, std::string_view topPath);

}  // namespace wavory
