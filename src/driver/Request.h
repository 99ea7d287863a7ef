// Request codes of the driver-access library and little-endian access to request payloads.
#pragma once

#include <cstdint>
#include <cstring>

#include "kccl.h"

namespace wavory {

// Query and set codes; where a value has one code for both, it is listed once.
enum ERequestCode : uint32_t {
    OID_DEVICE_INFO = 0x10,
    OID_MAC_QUERY = 0x30,
    OID_MAC_SET = 0x40,
    OID_BSSID = 0x50,
    OID_SSID_QUERY = 0x70,
    OID_SSID_SET = 0x80,
    OID_PHY_QUERY = 0x90,
    OID_PHY_SET = 0x100,
    OID_POWER_SAVE_QUERY = 0x120,
    OID_POWER_SAVE_SET = 0x130,
    OID_SNR = 0x161,
    OID_SCAN_LIST = 0x190,
    OID_START_SCAN = 0x200,
    OID_NET_MODE_QUERY = 0x210,
    OID_NET_MODE_SET = 0x220,
    OID_CHANNEL_QUERY = 0x350,
    OID_CHANNEL_SET = 0x360,
    OID_STATISTICS = 0x370,
    OID_RESET_STATISTICS = 0x380,
    OID_WEP_KEY = 0x400,
    OID_SECURITY_QUERY = 0x420,
    OID_SECURITY_SET = 0x430,
    OID_CONN_SETTING_QUERY = 0x460,
    OID_CONN_SETTING_SET = 0x470,
    OID_HW_STATUS = 0x530,
    OID_CONNECT_STATUS = 0x590,
    OID_REG_DOMAIN = 0x891
};

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
