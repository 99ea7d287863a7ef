// NetworkManager's D-Bus API on the system bus (sd-bus): the few calls the utility makes to change
// an interface NetworkManager runs. Every call answers with an SNmReply that says what went wrong.
#pragma once

#include <cstdint>
#include <string>

#include "NmSettings.h"

struct sd_bus;

namespace wavory::kccl {

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

    // Connects to the system bus and finds the device of the interface.
    SNmReply Open(const std::string& interfaceName);

    // Adds the connection as volatile (NetworkManager deletes it when it is no longer active) and
    // activates it on the device; `activePath` is the active connection's object.
    SNmReply AddAndActivate(const NmSettings& settings, std::string& activePath);
    // The device's state and the reason of its last change.
    SNmReply DeviceState(uint32_t& state, uint32_t& reason);
    // The object of the device's active connection ("/" without one).
    SNmReply DeviceActiveConnection(std::string& activePath);
    // The state of an active connection (NMActiveConnectionState); fails once it is gone.
    SNmReply ActiveConnectionState(const std::string& activePath, uint32_t& state);
    // The UUID of the connection behind an active connection.
    SNmReply ActiveConnectionUuid(const std::string& activePath, std::string& uuid);
    SNmReply Deactivate(const std::string& activePath);
    // A scan; with an SSID, one that also asks that network by name (hidden networks answer it).
    SNmReply RequestScan(const std::string& ssid = {});
    SNmReply Disconnect();

private:
    SNmReply GetProperty(const std::string& path, const char* interface, const char* member, const char* type,
                         void* out);

    sd_bus* m_pBus = nullptr;
    std::string m_Device;
};

}  // namespace wavory::kccl
