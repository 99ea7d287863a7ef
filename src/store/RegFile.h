// Profile files on disk: import of the formats a user may hand us, export as regedit text.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "base/RegTree.h"

namespace wavory {

// Larger files are refused unread. An export of 10,000 profiles (the most the utility holds) at the
// longest values the editor allows is about 27 MiB of UTF-16 (over 40 MiB were every number written
// as a long text); the rest is room for fields a later version adds.
constexpr uint64_t kMaxRegFileSize = 48u << 20;

// Reads a profile file into its top key, deciding the format by the first bytes: "regf" is a binary
// hive, FF FE UTF-16 regedit text, anything else 8-bit regedit text. Only a regular file is read: a
// FIFO, device, folder or symbolic-link loop gives REG_ERROR_NOT_A_FILE at once. Reading and parsing
// take time linear in the file's size; a file of more keys or values than kMaxRegKeys and
// kMaxRegValues is refused as too large. REG_OK or an error code (REG_ERROR_FILE_NOT_FOUND,
// REG_ERROR_ACCESS_DENIED, REG_ERROR_FILE_TOO_LARGE, REG_ERROR_INVALID_DATA, REG_ERROR_NOT_A_FILE); on
// error `top` is left as it was.
int ReadRegFile(const std::string& file, SRegKey& top);

// Brings the tree's values to the kinds the utility stores them as: names the utility knows take
// its spelling, a dword for a text value becomes its decimal text, a decimal text for a dword value
// becomes the number. A text that is no number for a dword value makes the file invalid
// (REG_ERROR_INVALID_DATA). Names the utility does not know keep the file's kind.
int ConformToSchema(SRegKey& tree);

// Writes the key as regedit text. An existing file is replaced only with `overwrite`, and then as a
// whole (a temporary file in the same folder renamed over it); otherwise REG_ERROR_FILE_EXISTS and the
// file stays untouched. On failure no file is left behind. The file is readable by its owner only:
// it holds WEP keys.
int WriteRegFile(const std::string& file, const SRegKey& top, std::string_view topPath, bool overwrite);

}  // namespace wavory
