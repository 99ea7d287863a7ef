// The ranges the profile editor and wavoryctl allow for each stored profile value. A profile that
// comes from outside (an imported file) is held to them, so that nothing breaks later on a value no
// editor could have set.
#pragma once

#include <string>

namespace wavory {

class CProfile;

// The first value outside its range, as a message naming the value and the range; empty when every
// value fits. The name and the auto-selection place are not checked: an import replaces both.
std::string CheckProfileLimits(const CProfile& profile);

}  // namespace wavory
