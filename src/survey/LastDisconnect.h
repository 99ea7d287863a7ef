// The last connection that ended, as the adapter reports it (OID_LAST_DISCONNECT), with the words
// that explain it: who ended it and the 802.11 reason in a sentence.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "radio/Reasons.h"

namespace wavory {

struct SLastDisconnect {
    uint32_t count = 0;   // one more for every connection that ended; 0 = none yet
    uint32_t reason = 0;  // 802.11 reason code; 0 = none told
    kccl::EInitiator initiator = kccl::EInitiator::Unknown;
    std::string ssid;   // raw bytes as the network names itself
    std::string bssid;  // "00-0F-B5-44-7C-20"
    int64_t timeMs = 0;  // milliseconds since 1970 (UTC)

    // "The access point forgot this station: it restarted or dropped it. (reason 7)"
    std::string Sentence() const { return kccl::DisconnectSentence(reason, initiator); }
};

// Decodes the payload of OID_LAST_DISCONNECT (KCOM_DISC_SIZE bytes at least).
SLastDisconnect ParseLastDisconnect(const uint8_t* payload);

// One read of OID_LAST_DISCONNECT; nothing when the adapter cannot tell it (an older adapter, or
// the request failed) or no connection has ended yet.
std::optional<SLastDisconnect> ReadLastDisconnect();

}  // namespace wavory
