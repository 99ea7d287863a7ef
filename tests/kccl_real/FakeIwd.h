// A fake iwd on a private D-Bus: a dbus-daemon of the test's own (DBUS_SYSTEM_BUS_ADDRESS points
// the library's clients to it) and a service that owns net.connman.iwd and shows one station with
// the networks the test puts in range. It asks the caller's agent for passphrases the way iwd
// does, keeps a known network for every network it joins, and serves everything from a thread of
// its own.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct sd_bus;
struct sd_bus_message;
struct sd_bus_slot;

namespace wavory::test {

class CFakeIwd {
public:
    struct SNetwork {
        std::string ssid;
        std::string type = "open";  // "open", "psk" (WPA2 and WPA3 alike, as iwd shows them)
        std::string passphrase;     // the one the network takes
        bool hidden = false;        // answers ConnectHiddenNetwork only
        bool afterScan = false;     // shown only once a scan has run
    };

    // `denyUsers`: the bus's policy refuses every call to iwd, as iwd's own policy does for users
    // outside its groups.
    explicit CFakeIwd(bool denyUsers = false);
    ~CFakeIwd();
    CFakeIwd(const CFakeIwd&) = delete;
    CFakeIwd& operator=(const CFakeIwd&) = delete;

    bool Started() const { return m_bStarted; }
    // Owns the name now (the library then finds iwd on the bus).
    bool Serve();

    void AddNetwork(const SNetwork& network);
    // A known network as the user would have made it with iwctl.
    void AddKnown(const std::string& ssid, const std::string& type, const std::string& passphrase = {});
    // Puts the station on a network at once (as iwd's autoconnect would).
    void ConnectTo(const std::string& ssid, const std::string& type);
    // Connection attempts stay unanswered until a disconnect (or the station goes).
    void HoldConnects(bool hold);
    // Scan requests are answered only `delay` after they came, as iwd answers a scan queued behind
    // the radio's other work once the radio starts it; the scan's networks show after that.
    void QueueScans(std::chrono::milliseconds delay);
    // Scans run on after their request was answered, the station saying Scanning, until EndScan(),
    // as iwd's scan in parts does (6 GHz after the other bands); their networks show after that.
    // Another scan asked for meanwhile is refused as busy.
    void HoldScans();
    void EndScan();
    // The station's device disappears (the adapter was unplugged).
    void RemoveDevice();

    std::string ConnectedSsid();
    std::string State();
    std::vector<std::string> Known();  // "ssid/type", sorted
    int PassphraseRequests();
    int Agents();
    int Disconnects();
    int Scans();

    static constexpr const char* kIfname = "wlan7";

private:
    struct SKnown {
        std::string ssid, type, passphrase;
    };
    int Handle(sd_bus_message* m);
    int ReplyObjects(sd_bus_message* m);
    int Connect(sd_bus_message* m, const SNetwork& network);
    void Finish(sd_bus_message* call, const SNetwork& network, const std::string& passphrase, bool fromAgent);
    static int OnAgentReply(sd_bus_message* reply, void* userdata, void*);
    void DropPending(const char* error);
    const SNetwork* FindByPath(const std::string& path) const;
    std::string NetworkPath(const SNetwork& n) const;
    void Loop();

    std::string m_Dir;
    pid_t m_nDaemon = -1;
    sd_bus* m_pBus = nullptr;
    sd_bus_slot* m_pSlot = nullptr;
    std::thread m_Thread;
    std::atomic<bool> m_bStop{false};
    bool m_bStarted = false;

    std::mutex m_Mutex;
    std::vector<SNetwork> m_Networks;
    std::vector<SKnown> m_Known;
    std::map<std::string, std::string> m_Agents;  // bus name -> agent object
    bool m_bDevice = true;
    bool m_bScanned = false;
    bool m_bHold = false;
    std::string m_State = "disconnected";
    std::string m_Connected;  // "ssid/type"
    sd_bus_message* m_pPending = nullptr;
    SNetwork m_PendingNetwork;
    int m_nRequests = 0;
    int m_nDisconnects = 0;
    int m_nScans = 0;
    std::chrono::milliseconds m_ScanDelay{0};
    sd_bus_message* m_pQueuedScan = nullptr;
    std::chrono::steady_clock::time_point m_ScanStarts;
    bool m_bHoldScans = false;
    bool m_bScanRunning = false;
    std::string m_Env;
};

}  // namespace wavory::test
