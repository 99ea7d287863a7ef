// Where the simulated adapter lives: one POSIX shared-memory object per user, named by WAVORY_SIM
// (default "/wavory-sim-<uid>"). The first process to need it creates it exclusively, private to
// the user, and initialises it; the others map what is there. An object of another layout (an
// older library) is replaced. Its name is predictable, so every open checks that the object is
// the user's own and private: one made by another user, or open to others, is refused, since
// whoever else can map it reads the WEP keys and can unplug the adapter.
#pragma once

#include <string>
#include <string_view>

#include "SimScenario.h"
#include "SimState.h"

namespace wavory::kccl {

enum class EAttachError { None, Refused, Failed };

// The adapter of this process, created when it does not exist yet; `initial` is the scenario a new
// adapter starts from (null: the file named by WAVORY_SCENARIO, else the built-in one). Maps again
// when WAVORY_SIM changed or the object was removed. Null after an error, reported on stderr and,
// when asked, in `error` (Refused: the object is not the user's own and private).
SimState* AttachAdapter(const SimScenario* initial = nullptr, EAttachError* error = nullptr);
// The adapter this process mapped last, without any check; null before the first attach.
SimState* AttachedAdapter();
// Removes the object; the next attach creates a fresh adapter.
bool UnlinkAdapter();
std::string AdapterObjectName();

// One line on stderr, prefixed with the library's name.
void ReportSimError(std::string_view what);

}  // namespace wavory::kccl
