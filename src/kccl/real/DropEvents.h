// Why a connection ended, from what each way of control reports: wpa_supplicant's
// CTRL-EVENT-DISCONNECTED line, nl80211's disconnect event, NetworkManager's device state reason.
// Plain functions of the message, so that each is tested on the text or attributes alone.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "Nl80211.h"

namespace wavory::kccl {

struct SDropEvent {
    bool valid = false;   // the message was a disconnect this parser reads
    uint32_t reason = 0;  // 802.11 reason code; 0 = none told
    uint32_t by = 0;      // KCOM_DISCONNECT_BY
    bool hasBssid = false;
    std::array<uint8_t, 6> bssid{};
};

// "<3>CTRL-EVENT-DISCONNECTED bssid=02:00:00:00:01:00 reason=7 [locally_generated=1]". The access
// point ended it unless the line says it was generated here; a lost access point is reported by the
// kernel as its own deauthentication for inactivity (4), which is a lost signal.
SDropEvent ParseWpaDisconnected(const std::string& line);

// NL80211_CMD_DISCONNECT's attributes: NL80211_ATTR_REASON_CODE (u16) and the flag
// NL80211_ATTR_DISCONNECTED_BY_AP; without the flag this machine ended it (or lost the signal).
SDropEvent ParseNlDisconnect(CNl80211::Attrs tb);

// NetworkManager's reason (NMDeviceStateReason) for a device that left the activated state: the
// user's request, this machine (sleep, device removed or unmanaged, the supplicant failed), or a
// network no longer found. It carries no 802.11 code. Not valid for reasons that say nothing of who
// ended it (the supplicant's own disconnect, which the kernel's event explains).
SDropEvent DropFromNmReason(uint32_t reason);

}  // namespace wavory::kccl
