// NetworkManager's D-Bus API on the system bus (sd-bus): the few calls the utility makes to change
// an interface NetworkManager runs. Every call answers with an SNmReply that says what went wrong,
// and none waits longer than a few seconds for NetworkManager. One client per thread.
#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "NmSettings.h"

struct sd_bus;
struct sd_bus_slot;

namespace wavory::kccl {

// Values of NMActiveConnectionState that an activation waits for.
constexpr uint32_t kNmActiveActivated = 2;
constexpr uint32_t kNmActiveDeactivated = 4;

struct SNmReply {
    bool ok = true;
    ENmError error = ENmError::Other;
    std::string name;     // the D-Bus error's name
    std::string message;  // and its text

    explicit operator bool() const { return ok; }
};

class CNmClient {
public:
    CNmClient() = default;
    ~CNmClient();
    CNmClient(const CNmClient&) = delete;
    CNmClient& operator=(const CNmClient&) = delete;

    // How long a call waits for NetworkManager's answer.
    static constexpr std::chrono::seconds kCallTimeout{5};

    // Connects to the system bus and finds the device of the interface.
    SNmReply Open(const std::string& interfaceName);
    // What NetworkManager's authorisation allows this user ("yes", "no", "auth"), by permission.
    SNmReply Permissions(std::map<std::string, std::string>& out);

    // Adds the connection as volatile (NetworkManager deletes it when it is no longer active) and
    // activates it on the device; `activePath` is the active connection's object.
    // With `specificObject` (an access point's object), that access point of the network is the
    // one NetworkManager starts with.
    SNmReply AddAndActivate(const NmSettings& settings, std::string& activePath,
                            const std::string& specificObject = "/");
    // The device's access points: object and BSSID as NetworkManager writes it ("AA:BB:..").
    SNmReply AccessPoints(std::vector<std::pair<std::string, std::string>>& out);
    // The device's state and the reason of its last change.
    SNmReply DeviceState(uint32_t& state, uint32_t& reason);
    // The object of the device's active connection ("/" without one).
    SNmReply DeviceActiveConnection(std::string& activePath);
    // The state of an active connection (NMActiveConnectionState); fails once it is gone.
    SNmReply ActiveConnectionState(const std::string& activePath, uint32_t& state);
    // The UUID, name and settings object of the connection behind an active connection.
    SNmReply ActiveConnectionUuid(const std::string& activePath, std::string& uuid);
    SNmReply ActiveConnectionId(const std::string& activePath, std::string& id);
    SNmReply ActiveConnectionSettings(const std::string& activePath, std::string& connectionPath);
    // The first 802.1X method ("peap", "ttls", "tls", "pwd") in a connection's settings; empty
    // without an 802-1x setting.
    SNmReply ConnectionEapMethod(const std::string& connectionPath, std::string& method);
    // Activates a saved connection on the device again.
    SNmReply Activate(const std::string& connectionPath, std::string& activePath);
    SNmReply Deactivate(const std::string& activePath);
    // Whether NetworkManager forgets a connection of the utility's once it is no longer active: an
    // attempt keeps the one it may have to go back to until it has ended.
    SNmReply SetVolatile(const std::string& connectionPath, bool isVolatile);
    SNmReply DeleteConnection(const std::string& connectionPath);
    // A scan; with an SSID, one that also asks that network by name (hidden networks answer it).
    SNmReply RequestScan(const std::string& ssid = {});

    // Registers this process as a secret agent that answers every request for the secrets of the
    // connection `connectionPath` with "cancelled by the user". NetworkManager asks the agents of the
    // process that activated a connection first, so a key the network refused ends the activation
    // at once instead of showing the user a password prompt of the desktop's agent.
    SNmReply RegisterAgent();
    void GuardSecretsOf(const std::string& connectionPath) { m_Guarded = connectionPath; }
    void UnregisterAgent();
    // Answers the calls that came in (the agent's); call it while waiting.
    void Process();
    // How many secret requests the agent refused.
    int RefusedSecretRequests() const { return m_nRefused; }
    // The agent's answer to a request for the secrets of the connection at `connectionPath`: true
    // for the connection it guards (it then refuses them).
    bool RefuseSecretsOf(const std::string& connectionPath) {
        if (connectionPath != m_Guarded) return false;
        ++m_nRefused;
        return true;
    }

private:
    SNmReply GetProperty(const std::string& path, const char* interface, const char* member, const char* type,
                         void* out);

    sd_bus* m_pBus = nullptr;
    sd_bus_slot* m_pAgentSlot = nullptr;
    bool m_bAgent = false;
    std::string m_Device;
    std::string m_Guarded;
    int m_nRefused = 0;
};

}  // namespace wavory::kccl
