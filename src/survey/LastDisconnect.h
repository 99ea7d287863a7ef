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

// The last move to another access point of the same network (OID_LAST_ROAM).
struct SLastRoam {
    enum class ETrigger { Unknown, ApRequest, Signal, ApGone };
    uint32_t count = 0;
    ETrigger trigger = ETrigger::Unknown;
    std::string fromBssid, toBssid;  // "00-0F-B5-44-7C-20"
    int fromSignalDbm = 0;           // 0 = not known
    int64_t timeMs = 0;
};

// The trigger's stable word ("ap-request", "signal", "ap-gone", "unknown") and its words for people
// ("the access point asked it to move (BSS transition request)").
const char* RoamTriggerKey(SLastRoam::ETrigger trigger);
std::string RoamTriggerText(SLastRoam::ETrigger trigger);

SLastRoam ParseLastRoam(const uint8_t* payload);
// One read of OID_LAST_ROAM; nothing when the adapter cannot tell it or has not moved yet.
std::optional<SLastRoam> ReadLastRoam();

}  // namespace wavory
