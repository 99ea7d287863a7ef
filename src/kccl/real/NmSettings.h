// What NetworkManager is told and what its answers mean, without the bus: the settings of the
// connection the utility activates for a profile, the device states it reports while activating,
// and its D-Bus errors. No I/O here, so that each piece is tested on its own.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "radio/Eap.h"
#include "radio/NetSettings.h"
#include "radio/SecretMemory.h"

namespace wavory::kccl {

// The connection the utility asks for, as the library's requests built it up.
struct SNmRequest {
    std::string interfaceName;
    std::string uuid;  // of the connection; chosen by the caller so that it can find it again
    std::string ssid;  // raw bytes, 1..32
    bool adHoc = false;
    uint8_t channel = 0;                 // ad hoc: the cell's channel (2.4 or 5 GHz)
    uint32_t freqMhz = 0;                // ad hoc: its frequency where told, else the channel's
    uint32_t security = 0;               // 0 none, 1 WEP, KCOM_SECURITY_MODE_* (personal, OWE, enterprise)
    bool sae = true;                     // a transition network is joined as WPA3 (else as WPA2)
    std::array<std::string, 4> wepKeys;  // raw key bytes: 5 (WEP-64) or 13 (WEP-128), or empty
    uint8_t activeKey = 0;
    bool wepSharedKey = false;  // WEP authentication: shared key instead of open system
    std::string passphrase;
    SEapRecord eap;          // the 802.1X settings of WPA2- and WPA3-Enterprise
    uint32_t powerSave = 0;  // NetworkManager's values: 0 its default, 2 off, 3 on
    std::string user;        // the user the connection is visible to (connection.permissions)
    // The access point chosen among the network's (802-11-wireless.bssid); empty = any of them.
    std::vector<uint8_t> bssid;
    // The network's own settings: cloned-mac-address, metered, fixed addresses and name servers.
    SNetRecord net;

    ~SNmRequest() {
        SecureClear(passphrase);
        SecureClearAll(wepKeys);
    }
};

// One entry of ipv4.address-data and ipv6.address-data (a{sv}: "address" s, "prefix" u).
struct SNmAddress {
    std::string address;
    uint32_t prefix = 0;
    bool operator==(const SNmAddress&) const = default;
};
// One value of a setting: the D-Bus types b, u, i, s, ay, as, au (IPv4 name servers, network byte
// order), aay (IPv6 name servers) and aa{sv} (addresses).
using NmValue =
    std::variant<bool, uint32_t, int32_t, std::string, std::vector<uint8_t>, std::vector<std::string>,
                 std::vector<uint32_t>, std::vector<std::vector<uint8_t>>, std::vector<SNmAddress>>;
// The connection as NetworkManager takes it (a{sa{sv}}): setting name -> property -> value.
using NmSettings = std::map<std::string, std::map<std::string, NmValue>>;

// The settings of a connection that runs only while active (the caller adds it as volatile), never
// connects by itself, is bound to the interface and is visible to its user only. Its hardware
// address follows the request's mode (a stable one keyed to the network's name, so that it is the
// same at every join although each connection is new), metered where asked, and fixed addresses
// and name servers where given. Its secrets are
// NetworkManager's own (not an agent's), so that NetworkManager never has a desktop's secret agent
// ask the user for them. Empty when the request cannot be a connection (no SSID or user, a WEP key
// missing or of the wrong length, a passphrase WPA does not take, an ad-hoc cell without a channel).
NmSettings BuildConnectionSettings(const SNmRequest& request);

// The object of the access point whose BSSID is `bssid` among NetworkManager's (object, "AA:BB:..")
// pairs, for an activation's specific object; "/" (none: NetworkManager picks) when it is not there.
std::string NmAccessPointOf(const std::vector<std::pair<std::string, std::string>>& accessPoints,
                            const std::array<uint8_t, 6>& bssid);

// The name connections of the utility go by.
inline constexpr const char* kNmConnectionId = "Wavory Utility";

// NetworkManager's device states (NMDeviceState) and the reasons that matter here.
enum : uint32_t {
    kNmDeviceDisconnected = 30,
    kNmDevicePrepare = 40,
    kNmDeviceNeedAuth = 60,
    kNmDeviceIpConfig = 70,
    kNmDeviceActivated = 100,
    kNmDeviceDeactivating = 110,
    kNmDeviceFailed = 120,
};
enum : uint32_t {
    kNmReasonNowUnmanaged = 3,
    kNmReasonNoSecrets = 7,
    kNmReasonSupplicantDisconnect = 8,
    kNmReasonSupplicantConfigFailed = 9,
    kNmReasonSupplicantFailed = 10,
    kNmReasonSupplicantTimeout = 11,
    kNmReasonRemoved = 36,
    kNmReasonConnectionRemoved = 38,
    kNmReasonUserRequested = 39,
    kNmReasonSsidNotFound = 53,
    kNmReasonNewActivation = 60,
};

enum class ENmProgress {
    Pending,     // still on its way
    Associated,  // the link is up (addresses may still be coming)
    Refused,     // the network refused the key or passphrase
    Failed,      // anything else: not in range, the supplicant gave up, deactivated by someone
};
// Where an activation stands, from the device's state and reason while the device works on the
// utility's connection. A device that asks for secrets (NEED_AUTH) after the key exchange failed
// had them refused: the utility gave NetworkManager the key, so the network did not take it.
ENmProgress ProgressOfDevice(uint32_t state, uint32_t reason);
// The same once the device has let go of the connection: only the last reason is left.
ENmProgress ProgressAfterRelease(uint32_t lastReason);
// The join cause (KCOM_CAUSE_*) of a failed activation: its progress, the device's last reason, and
// whether the network is secured (a refusal of a secured network is a key not taken).
uint32_t CauseOfNmFailure(ENmProgress progress, uint32_t reason, bool secured);

enum class ENmError {
    PermissionDenied,  // NetworkManager's authorisation (or the bus's policy) refused this user
    NotNow,            // refused for the moment (a scan too soon after the last one, a busy device)
    InvalidSettings,   // the connection was not acceptable
    Unreachable,       // NetworkManager is not on the bus
    Other,
};
// A D-Bus error reply of NetworkManager by its name (and message, for the errors whose name covers
// more than one cause).
ENmError ClassifyNmError(const std::string& name, const std::string& message);

// The library's status for a refused call.
uint32_t StatusOfNmError(ENmError error);

// "xxxxxxxx-xxxx-4xxx-8xxx-xxxxxxxxxxxx" from 16 random bytes (a version 4 UUID).
std::string UuidText(const std::array<uint8_t, 16>& random);

}  // namespace wavory::kccl
