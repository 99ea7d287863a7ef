// The adapter state as JSON, for tests and the wavory-sim tool.
#pragma once

#include <cstdint>
#include <string>

#include "SimState.h"

namespace wavory::kccl {

// Networks appear in the scenario's own form. The caller holds the lock.
std::string StateToJson(const SimState& state, int64_t nowNs);

}  // namespace wavory::kccl
