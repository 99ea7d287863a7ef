// wpa_supplicant's control interface: a datagram socket per interface, one text command per
// datagram, one text reply. The parsing of replies and events is kept apart from the socket.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "radio/Eap.h"
#include "radio/SecretMemory.h"

namespace wavory::kccl {

// "key=value" lines (STATUS, GET_NETWORK-like replies) into a map.
std::map<std::string, std::string> ParseKeyValues(const std::string& reply);
// The 802.1X method of a STATUS reply ("selectedMethod=25 (EAP-PEAP)"); KCOM_EAP_NONE without one.
uint8_t EapMethodOfStatus(const std::string& reply);
// The generation of a STATUS reply ("wifi_generation=6") as a KCOM_PHY_TYPE; -1 without one.
int GenerationOfStatus(const std::string& reply);

struct SWpaNetwork {
    int id = -1;
    std::string ssid;
    // Whether the supplicant may choose it on its own: not "[DISABLED]", and no P2P group kept
    // for later ("[P2P-PERSISTENT]", which the supplicant never joins as a network).
    bool enabled = true;
};
// LIST_NETWORKS: a header line, then "id<TAB>ssid<TAB>bssid<TAB>flags" per network. The supplicant
// cuts a reply at its buffer's size, possibly within a line: only whole lines count.
std::vector<SWpaNetwork> ParseNetworkList(const std::string& reply);

enum class EWpaEvent {
    None,
    Connected,     // a network is joined
    WrongKey,      // the key or passphrase was not accepted
    Refused,       // the network refused the authentication or association
    ScanStarted,   // a scan began
    NotFound,      // a scan did not find the network
    ConnFailed,    // the supplicant gave up on a network that did not answer
    Disconnected,  // a link ended, which also happens on the way to another network
    Terminating    // the supplicant is leaving the interface
};
struct SWpaEvent {
    EWpaEvent kind = EWpaEvent::None;
    int id = -1;  // the network entry it names, where it names one
};
// What an unsolicited event line ("<3>CTRL-EVENT-CONNECTED - ...") says about a connection attempt.
// An access point that refuses open-system authentication as unsupported (status 13) is no refusal
// yet: the supplicant tries shared-key authentication next, and that answer is the one that counts;
// nor is an association that timed out, which the supplicant tries again.
SWpaEvent ClassifyWpaEvent(const std::string& line);

// The utility's own entry in the supplicant's list, as the values of a connection ask for it.
struct SWpaEntry {
    std::string ssid;
    std::string tag;  // id_str, by which the utility finds its entry again
    bool adHoc = false;
    uint32_t frequencyMhz = 0;           // of an ad-hoc cell
    uint32_t security = 0;               // 0 none, 1 WEP, KCOM_SECURITY_MODE_* (personal, OWE, enterprise)
    std::array<std::string, 4> wepKeys;  // raw key bytes (5 or 13), empty when unset
    uint8_t activeKey = 0;
    std::string passphrase;
    SEapRecord eap;   // the 802.1X settings of WPA2- and WPA3-Enterprise
    bool sae = true;  // the radio can do SAE (else a transition network is joined as WPA2)
    std::string bssid;  // the access point chosen ("02:00:00:00:01:00"); empty = any of the network's
    std::string bssidHint;  // the access point to start with, which the supplicant may leave; empty = none
    uint8_t macMode = 0;  // KCOM_MAC_MODE; 0 leaves the supplicant's own default
    // The stable address of this network ("02:..."), which wpa_supplicant 2.11 takes as its own
    // (mac_addr 3, mac_value); empty: the stable choice falls back to a random one per join.
    std::string stableMac;

    ~SWpaEntry() {
        SecureClear(passphrase);
        SecureClearAll(wepKeys);
    }
};
// The SET_NETWORK settings ("name value") that make the entry, in order: WPA2 with every PSK suite
// (SHA-256, fast roaming) and management-frame protection where offered, WPA3 with every SAE suite
// and protection required, both for a transition network, OWE, WPA2- and WPA3-Enterprise with their
// 802.1X settings. Empty when the entry cannot be made: no SSID, WEP without a key at the active
// index, WPA without a passphrase, a raw 64-digit key for WPA3 (SAE needs the passphrase itself), an
// ad-hoc cell without a frequency, 802.1X settings that are incomplete or on an ad-hoc cell, or a
// security kind the supplicant is not asked for. The hardware address goes as mac_addr: 0 the
// adapter's own, 1 a new random one at each association, 2 random while keeping the vendor part.
std::vector<std::string> WpaEntrySettings(const SWpaEntry& entry);
// A supplicant that does not know a suite refuses the whole key_mgmt setting: the same setting with
// the newer suites left out, one step at a time (empty for any other setting).
std::vector<std::string> KeyMgmtFallbacks(const std::string& setting);

// Values for SET_NETWORK: an SSID as hex digits (any bytes), a passphrase quoted, a raw key as hex.
std::string HexValue(const std::string& bytes);
std::string QuotedValue(const std::string& text);

class CWpaCtrl {
public:
    CWpaCtrl() = default;
    ~CWpaCtrl();
    CWpaCtrl(const CWpaCtrl&) = delete;
    CWpaCtrl& operator=(const CWpaCtrl&) = delete;

    // Opens a client socket to the supplicant's socket at `path`. 0, or -errno (-EACCES when the
    // user may not talk to the supplicant).
    int Open(const std::string& path);
    void Close();
    bool IsOpen() const { return m_fd >= 0; }
    int Fd() const { return m_fd; }
    // Where the client's own socket is (the supplicant answers to it).
    const std::string& LocalPath() const { return m_localPath; }

    // Sends a command and waits for its reply; false on a socket error or a timeout. After a
    // timeout the socket is opened anew, so that a reply that comes late is never taken for the
    // reply of the next command. Event lines that arrive in between (on an attached socket) are
    // kept for NextEvent.
    bool Request(const std::string& command, std::string& reply,
                 std::chrono::milliseconds timeout = std::chrono::milliseconds(-1));
    // How long Request waits when not told otherwise (3 s).
    void SetTimeout(std::chrono::milliseconds timeout) { m_Timeout = timeout; }
    // Attaches for events ("ATTACH"), so that NextEvent sees them.
    bool Attach();
    // The next event line, waiting up to `timeout`; empty when none came.
    std::string NextEvent(std::chrono::milliseconds timeout);

    // The folder of the client sockets for a supplicant socket: $XDG_RUNTIME_DIR when it is the
    // user's own, else the supplicant's folder when this user may write there, else /tmp.
    static std::string ClientFolder(const std::string& supplicantSocket);
    // Removes the client sockets of this utility's processes that have ended, in `folder`.
    static void RemoveStaleSockets(const std::string& folder);

private:
    bool Receive(std::string& text, int timeoutMs);

    int m_fd = -1;
    std::string m_remotePath;
    std::string m_localPath;
    bool m_bAttached = false;
    std::chrono::milliseconds m_Timeout{3000};
    std::vector<std::string> m_Events;
};

}  // namespace wavory::kccl
