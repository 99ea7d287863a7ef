// Networks read from another stack into the store: through the profile manager's import, the one
// way profiles from outside are stored, and then placed in the auto-selection order by the
// stack's own preference.
#pragma once

#include <string>
#include <vector>

#include "profiles/ProfileMngr.h"
#include "profiles/StackFiles.h"

namespace wavory {

struct SStackImportResult {
    CProfileMngr::SImportResult import;
    // For each network given: the name of its profile once stored, empty when it was not.
    std::vector<std::string> names;
    // For each network given that the import skipped (a limit it failed): why.
    std::vector<std::string> reasons;
    // The auto-selection order could not be stored (a store error code); the profiles are stored.
    int orderError = 0;
};

// Stores the networks that hold a profile. Those the stack joins by itself become members of the
// auto-selection order after the existing ones, its highest priority first (file order among
// equals).
SStackImportResult ImportStackNetworks(CProfileMngr& profiles, const std::vector<SStackNetwork>& networks);

}  // namespace wavory
