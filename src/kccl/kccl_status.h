// The status values a request block comes back with and the library calls' results, shared by the
// simulated adapter and the real ways of control.
#pragma once

#include <cstdint>

#include "kccl.h"

namespace wavory::kccl {

// Status values written into a request block.
inline constexpr uint32_t kStatusSuccess = 2;
inline constexpr uint32_t kStatusAuthRejected = 3;             // the network refused the credentials
inline constexpr uint32_t kStatusNotSupported = 0xC00000BB;    // unknown request code
inline constexpr uint32_t kStatusInvalidData = 0xC0010015;     // a set with a value out of range
inline constexpr uint32_t kStatusNotAssociated = 0xC0010011;   // needs a link, the adapter has none
inline constexpr uint32_t kStatusJoinNotStarted = 0xC0010017;  // no attempt started; the join state says why

// Results of the library calls other than 0.
inline constexpr int kResultBadArgument = KCOM_RESULT_BAD_ARGUMENT;
inline constexpr int kResultNoLink = KCOM_RESULT_NO_LINK;
inline constexpr int kResultNoAdapter = KCOM_RESULT_NO_ADAPTER;  // the shared adapter could not be set up
inline constexpr int kResultBusy = KCOM_RESULT_BUSY;             // its lock stayed held for the whole wait
inline constexpr int kResultRefused = KCOM_RESULT_REFUSED;  // its object is not the user's own and private

}  // namespace wavory::kccl
