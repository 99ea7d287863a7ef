// iwd's D-Bus API on the system bus (sd-bus): the objects iwd shows (devices, stations, networks,
// known networks), read in one call from its object manager and kept by path, and the few calls
// the utility makes. Every call answers with an SIwdReply that says what went wrong; none waits
// longer than a few seconds for iwd. One client per thread.
#pragma once

#include <chrono>
#include <map>
#include <string>
#include <vector>

struct sd_bus;
struct sd_bus_message;
struct sd_bus_slot;

namespace wavory::kccl {

class CJoinContext;

// What a refusal of iwd's (or of the bus on its behalf) means to the utility.
enum class EIwdError {
    Other,
    Unreachable,  // no system bus, or iwd is not on it
    Denied,       // the bus policy refuses this user (org.freedesktop.DBus.Error.AccessDenied)
    Failed,       // net.connman.iwd.Failed: the attempt failed (a refused key among other reasons)
    Aborted,      // net.connman.iwd.Aborted: another request or a disconnect ended it
    NotFound,     // net.connman.iwd.NotFound: no such network in range
    NotSupported,
    Busy,         // net.connman.iwd.Busy / InProgress
    TimedOut,     // no answer within the call's time (iwd queues a scan behind the radio's other work)
    NoAgent,      // net.connman.iwd.NoAgent: a secret was needed and no agent gave it
    Gone          // the object asked about is no longer there
};

EIwdError ClassifyIwdError(const std::string& name);

struct SIwdReply {
    bool ok = true;
    EIwdError error = EIwdError::Other;
    std::string name;     // the D-Bus error's name
    std::string message;  // and its text

    explicit operator bool() const { return ok; }
};

struct SIwdNetwork {
    std::string path;
    std::string name;  // the SSID as iwd shows it (UTF-8)
    std::string type;  // "open", "psk", "8021x", "wep"
    std::string device;
    std::string known;  // the KnownNetwork object, empty while iwd does not know it
    bool connected = false;
};

struct SIwdKnownNetwork {
    std::string path;
    std::string name;
    std::string type;
};

// The objects of iwd that matter here, by path.
struct SIwdObjects {
    std::map<std::string, std::string> devices;  // path -> interface name
    std::map<std::string, std::string> stationState;
    std::map<std::string, std::string> stationNetwork;  // path -> ConnectedNetwork
    std::map<std::string, bool> stationScanning;        // the stations that scan now
    std::map<std::string, SIwdNetwork> networks;
    std::map<std::string, SIwdKnownNetwork> known;

    // The device object of an interface; empty when iwd does not show it.
    std::string DeviceOf(const std::string& ifname) const;
    // The network of `device` with this SSID and type; nullptr when none is in range.
    const SIwdNetwork* Network(const std::string& device, const std::string& ssid, const std::string& type) const;
};

class CIwdClient {
public:
    CIwdClient() = default;
    ~CIwdClient();
    CIwdClient(const CIwdClient&) = delete;
    CIwdClient& operator=(const CIwdClient&) = delete;

    static constexpr std::chrono::seconds kCallTimeout{5};

    // Connects to the system bus and reads iwd's objects.
    SIwdReply Open();
    SIwdReply Read(SIwdObjects& out);

    // iwd answers a scan once the radio has started it, which may wait behind other scans: a call
    // that times out has still been queued.
    SIwdReply Scan(const std::string& station, std::chrono::milliseconds wait = kCallTimeout);
    SIwdReply Disconnect(const std::string& station);
    SIwdReply Forget(const std::string& knownPath);
    // The link's receive mode as iwd's diagnostics tell it ("802.11ac", …); empty where they do not.
    SIwdReply RxMode(const std::string& station, std::string& mode);

    // Registers an agent that gives `passphrase` when iwd asks for the first time and refuses any
    // later request of the attempt (iwd asks again only after a refused key). Lives until
    // UnregisterAgent or the client's end.
    SIwdReply RegisterAgent(const std::string& passphrase);
    void UnregisterAgent();
    int PassphraseRequests() const { return m_nRequests; }

    // A connection attempt, answered later: Network.Connect, or Station.ConnectHiddenNetwork.
    SIwdReply StartConnect(const std::string& network);
    SIwdReply StartConnectHidden(const std::string& station, const std::string& ssid);
    // Answers the agent's calls and reads iwd's answers for up to `slice`; true once the attempt
    // has its answer (then in ConnectResult).
    bool WaitConnect(std::chrono::milliseconds slice, const CJoinContext& context);
    const SIwdReply& ConnectResult() const { return m_ConnectResult; }
    void Process();

    // Called by the agent's handlers.
    bool NextPassphrase(std::string& out);
    void OnConnectAnswer(sd_bus_message* reply);

private:
    SIwdReply StartCall(sd_bus_message* call);

    sd_bus* m_pBus = nullptr;
    sd_bus_slot* m_pAgentSlot = nullptr;
    sd_bus_slot* m_pCallSlot = nullptr;
    bool m_bAgent = false;
    std::string m_Passphrase;
    int m_nRequests = 0;
    bool m_bAnswered = false;
    SIwdReply m_ConnectResult;
};

// The object name iwd gives a network: the SSID's bytes in hex and the type ("576176_psk").
std::string IwdObjectName(const std::string& ssid, const std::string& type);
// The file iwd keeps a network's settings in under /var/lib/iwd: the SSID itself where it is
// letters, digits, ' ', '-' and '_' only, else '=' and the SSID's hex; then '.' and the type.
std::string IwdStorageName(const std::string& ssid, const std::string& type);
// iwd's type of a network of the security mode (KCOM_SECURITY_MODE_*, 0 none, 1 WEP).
std::string IwdTypeOf(uint32_t security);

}  // namespace wavory::kccl
