// The simulated adapter's whole state: one fixed-size plain structure that lives in a POSIX
// shared-memory object, so that every process of the user sees one adapter. It holds no pointers
// and no C++ objects; a magic word, a layout version and the structure size tell a stale object
// of another layout apart, which is then re-created.
#pragma once

#include <pthread.h>

#include <cstdint>
#include <type_traits>

#include "kccl.h"
#include "kccl_oid.h"
#include "kccl_status.h"

namespace wavory::kccl {

inline constexpr uint32_t kSimMagic = 0x4D49534B;  // "KSIM"
inline constexpr uint32_t kSimLayoutVersion = 12;

inline constexpr int kMaxNetworks = 256;
inline constexpr int kScanHalfSlots = KCOM_SCAN_HALF_SLOTS;
inline constexpr int kLogSlots = 64;
inline constexpr int kLogHeadBytes = 64;
inline constexpr int kMaxFaults = 32;
inline constexpr int kSsidMax = 32;
inline constexpr int kWepKeyMax = 13;
inline constexpr int kWepKeySlots = 4;
inline constexpr int kPassphraseMax = 64;
// How long a join takes where neither the network nor the scenario says otherwise.
inline constexpr uint32_t kDefaultJoinDelayMs = 300;

// A signal at or below this level is out of range: the adapter neither hears nor joins it.
inline constexpr int32_t kOutOfRangeDbm = -100;
inline constexpr int32_t kNoiseFloorDbm = -95;
// The adapter's own ad-hoc cell, as heard by the adapter itself.
inline constexpr int32_t kOwnCellSignalDbm = -35;

// The 802.1X server behind an enterprise network: what it accepts. A string field is zero-terminated.
inline constexpr int kEapServerText = 64;
struct SimEapServer {
    uint8_t methods;  // bit (1 << KCOM_EAP_METHOD) per method it runs
    char identity[kEapServerText];
    char password[kEapServerText];
    uint8_t caSet;  // a CA certificate file is trusted: the one whose content hashes to caSha256
    uint8_t caSha256[32];
    uint8_t systemCa;                 // its certificate chains to a CA of the system's store
    char serverName[kEapServerText];  // the name in its certificate
    char subject[96];                 // its certificate's subject and fingerprint, for messages
    char fingerprint[80];
    uint8_t clientSet;  // TLS: the client certificate it accepts, by content hash
    uint8_t clientSha256[32];
};

struct SimNetwork {
    uint8_t bssid[6];
    uint8_t ssidLen;
    uint8_t ssid[kSsidMax];
    uint8_t channel;
    uint8_t phy;     // KCOM_PHY_*: 802.11a, b, g, n, ac, ax, be
    uint8_t adhoc;   // 0 = infrastructure (access point), 1 = ad-hoc cell
    uint8_t wepLen;  // 0 = open network, else 5 or 13
    uint8_t wepKey[kWepKeyMax];
    // 0 = open or WEP; else the network's security mode (KCOM_SECURITY_MODE_*): WPA2- or WPA3-
    // Personal, OWE, the WPA2/WPA3 transition, WPA2- or WPA3-Enterprise.
    uint8_t wpa;
    uint8_t passLen;  // its passphrase
    char passphrase[kPassphraseMax];
    int32_t signalDbm;
    uint32_t rxBytesPerS;
    uint32_t txBytesPerS;
    uint16_t freqMHz;     // centre frequency of its (primary) channel
    uint16_t widthMHz;    // the width it operates at: 20, 40, 80, 160 or 320
    uint8_t streams;      // spatial streams it offers
    uint8_t hidden;       // 1 = it does not announce its name: scans list it without one
    int32_t joinDelayMs;  // how long joining it takes; -1 = the adapter's default
    SimEapServer eap;     // an enterprise network's server
};

// The 802.1X settings of OID_EAP_SETTINGS_SET, as strings (zero-terminated) and the content hashes
// of the files named, read when they were set.
struct SimEapSettings {
    uint8_t method;  // KCOM_EAP_METHOD; 0 = none given
    uint8_t phase2;
    uint16_t flags;
    char text[KCOM_EAP_STRING_COUNT][KCOM_EAP_FIELD_MAX + 1];
    uint8_t caRead;  // the CA file could be read
    uint8_t caSha256[32];
    uint8_t clientRead;
    uint8_t clientSha256[32];
    uint8_t keyRead;  // the private key file could be read
};

// The network's own settings of OID_NET_SETTINGS_SET: the hardware address mode, metered, the
// access point choice, and the address strings (KCOM_NET_STRING order, zero-terminated).
inline constexpr int kSimNetTextMax = 255;
struct SimNetSettings {
    uint8_t macMode;  // KCOM_MAC_MODE
    uint8_t metered;
    uint8_t preferHighBand;  // 5/6 GHz before 2.4 GHz where heard at or above bandFloorDbm
    int8_t bandFloorDbm;
    uint8_t pin[6];  // the one access point joined; all zero = any
    char text[KCOM_NET_STRING_COUNT][kSimNetTextMax + 1];
};

// The hardware address in use: the adapter's own until a join asks for another.
struct SimAddress {
    uint8_t inUse[6];  // all zero: the adapter's own (info.mac)
    uint8_t mode;      // KCOM_MAC_MODE the last join asked for
};

struct SimWepKey {
    uint8_t len;  // 0 = no key in this slot
    uint8_t bytes[kWepKeyMax];
    uint32_t type;
};

struct SimAdapterInfo {
    uint8_t mac[6];
    uint32_t driverVersion[4];
    uint32_t firmware[2];
    uint32_t nvm[2];  // [0] answered at +148, [1] at +0 of the device information
    uint32_t regDomain;
    uint8_t canAp;          // the radio can run an access point
    uint8_t apWithStation;  // and a station beside it
};

// A client of the adapter's hotspot (scenario "hotspot_clients"). It joins a while after a start
// when the hotspot's security is one it speaks and, where it was given a passphrase, that one.
inline constexpr int kMaxHotspotClients = 16;
struct SimHotspotClient {
    uint8_t mac[6];
    int32_t signalDbm;
    uint8_t security;  // KCOM_HOTSPOT_SECURITY_VALUE; wpa2-wpa3: it speaks either
    uint8_t passLen;   // 0: it takes the passphrase the hotspot has (the user typed the one shown)
    char passphrase[kPassphraseMax];
    uint32_t joinAfterMs;
};

// What the utility told the adapter to do.
struct SimSettings {
    uint8_t ssidLen;
    uint8_t ssid[kSsidMax];
    uint32_t mode;  // 1 = infrastructure, 2 = ad hoc
    uint8_t channel;
    uint16_t freqMHz;    // the channel's frequency: channel numbers repeat across bands
    uint8_t channelSet;  // a channel was set since the scenario was loaded
    uint32_t shortPreamble;
    uint32_t phy;
    uint32_t powerSave;
    uint32_t security;  // 0 none, 1 WEP, 2 TKIP, then KCOM_SECURITY_MODE_*
    uint8_t passLen;
    char passphrase[kPassphraseMax];
    uint32_t connectionSetting;
    uint8_t bssidSet;  // join this access point of the network only (OID_JOIN_BSSID_SET)
    uint8_t bssid[6];
    uint8_t activeKey;
    SimWepKey keys[kWepKeySlots];
    SimEapSettings eap;
    SimNetSettings net;
};

// The network the adapter is associated with, copied so that queries need no search.
struct SimLink {
    uint8_t associated;
    uint8_t ownCell;  // the adapter started this ad-hoc cell itself
    SimNetwork bss;
};

// The last join attempt, as OID_JOIN_STATE reports it, and what a failed one goes back to.
struct SimJoin {
    uint32_t state;  // KCOM_JOIN_STATE_VALUE
    uint32_t cause;  // KCOM_JOIN_CAUSE_VALUE
    uint32_t attempt;
    uint32_t flags;  // KCOM_JOIN_FLAG
    uint8_t ssidLen;
    uint8_t ssid[kSsidMax];
    char detail[KCOM_JOIN_DETAIL_SIZE];
    int64_t endNs;         // when the running attempt ends
    uint8_t hasPrevious;   // the adapter was on a network when the attempt began
    SimSettings previous;  // the settings it was on that network with
};

// The last connection that ended, as OID_LAST_DISCONNECT reports it.
struct SimDrop {
    uint32_t count;
    uint32_t reason;  // 802.11 reason code; 0 = none
    uint32_t by;      // KCOM_DISCONNECT_BY
    uint8_t bssid[6];
    uint8_t ssidLen;
    uint8_t ssid[kSsidMax];
    uint64_t timeMs;  // wall clock, milliseconds since 1970
};

// The last move to another access point of the same network, as OID_LAST_ROAM reports it.
struct SimRoam {
    uint32_t count;
    uint32_t by;  // KCOM_ROAM_TRIGGER
    uint8_t fromBssid[6];
    uint8_t toBssid[6];
    int32_t fromSignalDbm;
    uint64_t timeMs;
};

struct SimTraffic {
    uint64_t txBytes;
    uint64_t rxBytes;
    double txCarry;  // fractions of a byte not yet counted
    double rxCarry;
    int64_t lastNs;  // simulation time the counters were brought up to
};

// The last complete scan: every network heard, access points and ad-hoc cells apart. The list
// request answers the first twenty of each, the further pages the rest.
struct SimScan {
    uint8_t scanning;
    int64_t endNs;
    uint32_t infraCount;
    uint32_t adhocCount;
    SimNetwork infra[kMaxNetworks];
    SimNetwork adhoc[kMaxNetworks + 1];  // room for the adapter's own cell
};

struct SimFault {
    uint32_t code;
    int32_t kind;  // KCCL_SIM_FAULT_*
    int32_t value;
};

struct SimLogEntry {
    uint32_t code;
    uint32_t status;
    int32_t result;
    uint8_t head[kLogHeadBytes];
};

// The adapter's own access point.
struct SimHotspot {
    uint8_t running;
    uint8_t security;  // KCOM_HOTSPOT_SECURITY_VALUE
    uint8_t ssidLen;
    uint8_t ssid[kSsidMax];
    uint8_t passLen;
    char passphrase[kPassphraseMax];
    uint32_t freqMHz;
    int64_t startNs;       // simulation clock
    uint64_t startWallMs;  // wall clock, for the clients' "connected since"
    uint8_t stationLeft;   // the radio left its network for the hotspot: the stop goes back
    SimSettings before;    // the settings it was on that network with
};

struct SimState {
    uint32_t magic;  // written last when the object is created
    uint32_t version;
    uint32_t size;
    uint32_t reserved;
    pthread_mutex_t mutex;  // process-shared, robust

    uint8_t present;
    uint32_t plugGeneration;  // moves on every unplug; links opened before it are dead
    int64_t clockOffsetNs;    // added to CLOCK_MONOTONIC to form the simulation clock
    uint32_t scanDurationMs;
    SimAdapterInfo info;

    uint32_t networkCount;
    SimNetwork networks[kMaxNetworks];

    SimSettings settings;  // as the utility set them; queries answer these
    SimSettings active;    // those the adapter joins with: the last attempt's, or those restored
    SimLink link;
    SimAddress address;
    uint32_t joinDelayMs;  // default length of a join
    SimJoin join;
    SimDrop drop;
    SimRoam roam;
    SimTraffic traffic;
    SimScan scan;
    uint32_t hotspotClientCount;
    SimHotspotClient hotspotClients[kMaxHotspotClients];
    SimHotspot hotspot;

    uint32_t faultCount;
    SimFault faults[kMaxFaults];

    uint32_t logNext;  // slot the next request is logged in
    uint32_t logCount;
    SimLogEntry log[kLogSlots];
};

static_assert(std::is_standard_layout_v<SimState> && std::is_trivially_copyable_v<SimNetwork>);

}  // namespace wavory::kccl
