// Request codes of the driver-access library and little-endian access to request payloads.
#pragma once

#include <cstdint>
#include <cstring>

#include "kccl.h"
#include "kccl_oid.h"

namespace wavory {

// The driver library's request codes, as the core names them.
using ERequestCode = KCOM_OID;

// Offset of the payload inside a request block.
inline constexpr int kPayloadOffset = 8;

// Payload field access by payload offset (the block holds the code and status first).
inline uint32_t PayloadU32(const uint8_t* block, int offset) {
    uint32_t v;
    std::memcpy(&v, block + kPayloadOffset + offset, sizeof v);
    return v;
}
inline int32_t PayloadI32(const uint8_t* block, int offset) {
    int32_t v;
    std::memcpy(&v, block + kPayloadOffset + offset, sizeof v);
    return v;
}
inline void SetPayloadU32(uint8_t* block, int offset, uint32_t v) {
    std::memcpy(block + kPayloadOffset + offset, &v, sizeof v);
}
inline uint8_t* Payload(uint8_t* block) { return block + kPayloadOffset; }
inline const uint8_t* Payload(const uint8_t* block) { return block + kPayloadOffset; }
inline uint32_t BlockCode(const uint8_t* block) {
    uint32_t v;
    std::memcpy(&v, block, sizeof v);
    return v;
}

}  // namespace wavory
