// The adapter's hotspot as the window and the command line see it: starting and stopping it
// through the driver library, reading what runs and who is on it, and the defaults that make a
// hotspot start without questions (a name from the host name, a generated passphrase).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "radio/Hotspot.h"

namespace wavory {

struct SHotspotClient {
    std::string mac;  // "02:00:00:00:03:01"
    bool hasSignal = false;
    int signalDbm = 0;
    int64_t sinceMs = 0;  // milliseconds since 1970 (UTC) it joined; 0 = not known
};

struct SHotspotState {
    bool running = false;
    bool ours = false;           // started by this utility
    int control = 0;             // KCCL_MANAGED_BY_*, or KCOM_HS_CONTROL_SIM
    int security = -1;           // KCOM_HOTSPOT_SECURITY_VALUE; -1 = not known
    bool canAp = false;          // the radio can run an access point
    bool apWithStation = false;  // and stay on a network beside it
    bool canControl = false;     // the way of control starts one
    bool sae = false;            // WPA3 is offered
    uint8_t bands = 0;           // bit (1 << KCOM_HOTSPOT_BAND_*) per band it may start on
    uint32_t freqMhz = 0;
    std::string ssid;
    std::string note;  // why it cannot start here, or what to know of the one that runs
    std::vector<SHotspotClient> clients;

    // A hotspot can be started here at all.
    bool CanStart() const { return canAp && canControl && bands != 0; }
};

// The answer of OID_HOTSPOT_QUERY.
SHotspotState ParseHotspotState(const uint8_t* payload);

struct SHotspotResult {
    bool ok = false;
    uint32_t status = 0;  // the request's status; 0 when the library did not carry it out
    std::string text;     // the adapter's sentence: why not, or what to know
};

// The requests; each opens the link as every request does. The start waits until the hotspot
// runs or has failed (a few seconds through NetworkManager).
std::optional<SHotspotState> ReadHotspot(std::string* error);
SHotspotResult StartHotspot(const kccl::SHotspotRecord& record);
SHotspotResult StopHotspot();

// "the hotspot": the host name's first label, cut to 32 bytes; a fixed name without one.
std::string DefaultHotspotName();
// 12 characters of an alphabet without look-alikes (no 0/O, 1/l/I), from the kernel's random
// source; empty when it gives nothing.
std::string NewHotspotPassphrase();
// The Wi-Fi URI a phone joins the hotspot from (its QR code); empty when none can be written.
std::string HotspotUri(const kccl::SHotspotRecord& record);
// Who runs it, as `adapters` says: "NetworkManager", "wpa_supplicant", "iwd", "ConnMan", "nobody";
// "simulation" for the simulated adapter.
std::string HotspotControlName(int control);

}  // namespace wavory
