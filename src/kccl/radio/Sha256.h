// SHA-256 of a byte string, for what must be derived the same way each time (a network's stable
// hardware address) and for the simulated adapter's file hashes.
#pragma once

#include <cstddef>
#include <cstdint>

namespace wavory::kccl {

void Sha256(const uint8_t* data, std::size_t len, uint8_t out[32]);

}  // namespace wavory::kccl
