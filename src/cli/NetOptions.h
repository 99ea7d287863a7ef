// The network options of profiles new|edit: the hardware address a profile joins with, metered,
// fixed addresses, gateways and name servers, and which access point of the network it takes.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "cli/CliSupport.h"
#include "profiles/NetProfile.h"

namespace CLI {
class App;
}

namespace wavory {
class CProfile;
}

namespace wavory::cli {

struct SNetArgs {
    std::optional<std::string> mac;  // "device" | "stable" | "random" | "default"
    std::optional<bool> metered;
    std::optional<std::string> ipv4;      // "ADDR/PREFIX"; "" clears
    std::optional<std::string> gateway4;  // "" clears
    std::optional<std::string> ipv6;
    std::optional<std::string> gateway6;
    std::optional<std::vector<std::string>> dns;  // each may hold several, separated by commas
    std::optional<std::string> preferBand;        // "5ghz" | "any"
    std::optional<int> bandFloor;                 // dBm
    std::optional<std::string> pin;               // a BSSID; "" clears

    bool Any() const;  // some option was given
};

void AddNetOptions(CLI::App& command, SNetArgs& args);
// Writes the options into the profile; throws a usage error naming the value refused (and leaves
// the profile untouched).
void ApplyNetArgs(const SNetArgs& args, CProfile& profile);
// Checks the options on their own, as ApplyNetArgs would refuse them (a gateway given without its
// address passes here: it depends on the profile it goes to). Throws a usage error.
void CheckNetArgs(const SNetArgs& args);
// A profile's network settings for --json and as label/value lines.
void PutNetJson(json& j, const CProfile& profile);
void AddNetFields(std::vector<std::pair<std::string, std::string>>& f, const CProfile& profile);

}  // namespace wavory::cli
