#pragma once

#include <string>

namespace wavory::test {

// Gives this test process its own simulated adapter and its own settings folder
// (XDG_CONFIG_HOME points at a fresh temporary folder, so settings never touch the user's).
void PrepareEnvironment();
// Removes the adapter object and the folder again.
void FinishEnvironment();

// The temporary settings folder of this process.
const std::string& TempHome();

}  // namespace wavory::test
