// NetworkManager's saved connections on the system bus (sd-bus): read for an import, added or
// updated for an export to NetworkManager. Every call waits a few seconds at most.
#pragma once

#include <string>
#include <vector>

#include "profiles/StackFiles.h"
#include "profiles/StackNmBus.h"

struct sd_bus;

namespace wavory {

struct SNmBusReply {
    bool ok = true;
    bool unreachable = false;  // no system bus, or NetworkManager is not on it
    bool denied = false;       // NetworkManager's authorisation or the bus's policy refused this user
    std::string name;          // the D-Bus error's name
    std::string message;       // and its text

    explicit operator bool() const { return ok; }
    std::string Text() const { return message.empty() ? name : message; }
};

class CNmBus {
public:
    CNmBus() = default;
    ~CNmBus();
    CNmBus(const CNmBus&) = delete;
    CNmBus& operator=(const CNmBus&) = delete;

    SNmBusReply Open();
    // The objects of the saved connections.
    SNmBusReply ListConnections(std::vector<std::string>& paths);
    SNmBusReply GetSettings(const std::string& path, NmBusSettings& out);
    // Merges the secrets of one setting ("802-11-wireless-security", "802-1x") into `into`.
    SNmBusReply GetSecrets(const std::string& path, const std::string& setting, NmBusSettings& into);
    // A saved connection (kept on disk by NetworkManager); `path` is its object.
    SNmBusReply AddConnection(const NmBusSettings& settings, std::string& path);
    SNmBusReply UpdateConnection(const std::string& path, const NmBusSettings& settings);

private:
    sd_bus* m_pBus = nullptr;
};

// A text value of a setting; empty when absent.
std::string NmBusText(const NmBusSettings& settings, const char* setting, const char* key);

enum class ENmRead { Read, Unreachable, Failed };
// The Wi-Fi connections the running NetworkManager shows this user, read as networks to import,
// with the secrets NetworkManager gives this user (where it keeps them from the user, the network
// says so in its notes). Unreachable: NetworkManager is not on the system bus.
ENmRead ReadNmNetworks(std::vector<SStackNetwork>& networks, std::string& error);

}  // namespace wavory
