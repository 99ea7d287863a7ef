// What a profile that comes from outside (an imported file) must hold to be of use: only what would
// break connecting with it, or the editor and the command line that show it, is refused. Values the
// program's own editor and joins store (spare WEP keys left half typed, a passphrase kept while WPA
// is off, any channel of the band a joined network used) all pass, so that an export imports again.
// A profile exported without its secrets passes too: its keys are asked for when it is used.
#pragma once

#include <string>

namespace wavory {

class CProfile;

// The first value that would break the profile, as a message naming the value and what it must be;
// empty when there is none. The name and the auto-selection place are not checked: an import
// replaces both.
std::string CheckProfileLimits(const CProfile& profile);

}  // namespace wavory
