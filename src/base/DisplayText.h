// How text from outside (SSIDs, profile names, file names, the adapter's own texts) is shown to a
// person: the one place that decides which bytes are written out as escapes. The window and
// wavoryctl both use it, so a network name reads the same everywhere.
#pragma once

#include <string>
#include <string_view>

namespace wavory {

// Valid UTF-8 as it is; every byte of an invalid sequence, and of a control, formatting or line
// separating character (which could hide, reorder or break what is shown), as \xhh. The result is
// always valid UTF-8 and never holds a control character.
std::string DisplayText(std::string_view bytes);

// The order in which names are listed: runs of digits compare by their value ("Profile 9" before
// "Profile 14"), letters without regard to ASCII case; names that tie so are in byte order.
bool NaturalLess(std::string_view a, std::string_view b);

}  // namespace wavory
