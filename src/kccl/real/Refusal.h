// The one-line texts for a change that needs a right the user lacks, or a way of control the
// interface does not offer: what is missing and how to get it.
#pragma once

#include <cstdint>
#include <string>

namespace wavory::kccl {

// The text for a status of kccl_adapters.h (KCCL_STATUS_*) on the interface `name`, whose
// supplicant socket (when one runs it) is `controlSocket`; empty for any other status.
std::string RefusalText(uint32_t status, const std::string& name, const std::string& controlSocket);

// Status values of the real adapter beyond those the simulated adapter shares.
inline constexpr uint32_t kStatusFailed = 0xC0000001;

}  // namespace wavory::kccl
