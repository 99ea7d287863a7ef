// The link of this process to the simulated adapter, one of the adapters behind the library's calls.
#pragma once

#include "kccl.h"

namespace wavory::kccl {

// 0 when the link is open; a library result otherwise.
int SimConnect();
// Carries out one request; 0 when the block was processed. Throws for an injected exception.
int SimExec(KCOM_REQUEST* request);
void SimDisconnect();

}  // namespace wavory::kccl
