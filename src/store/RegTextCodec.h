// Text conversions for profile files: regedit writes UTF-16LE, older files are 8-bit, and the
// settings store and the core hold UTF-8.
#pragma once

#include <string>
#include <string_view>

namespace wavory {

bool IsValidUtf8(std::string_view text);
std::string Latin1ToUtf8(std::string_view text);
// UTF-8 when valid, otherwise the bytes taken as Latin-1 (an 8-bit file of unknown code page).
std::string EightBitToUtf8(std::string_view text);
// Fails on an odd byte count or an unpaired surrogate (a damaged or cut file), except U+DC80..U+DCFF,
// which give back the bytes 0x80..0xFF that Utf8ToUtf16Le escaped.
bool Utf16LeToUtf8(std::string_view bytes, std::string& out);
// Each byte of an invalid UTF-8 sequence becomes an unpaired low surrogate U+DC80..U+DCFF, so that
// texts which are no UTF-8 (SSIDs are bytes) come back unchanged.
std::string Utf8ToUtf16Le(std::string_view text);

}  // namespace wavory
