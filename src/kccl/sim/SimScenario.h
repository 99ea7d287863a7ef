// Scenarios of the simulated adapter: the adapter's identity and the networks around it, read from
// JSON (a file named by WAVORY_SCENARIO, a text handed to the control calls, or the built-in one).
// Parsing happens only when an adapter is created or reset, or a network is put, never per request.
#pragma once

#include <nlohmann/json.hpp>

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "SimState.h"

namespace wavory::kccl {

// A scenario that cannot be used; the text names the place and the problem in one line.
class CSimScenarioError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct SimScenario {
    bool present = true;
    SimAdapterInfo info{};
    uint32_t scanDurationMs = 3000;
    uint32_t joinDelayMs = kDefaultJoinDelayMs;
    std::vector<SimNetwork> networks;
    std::vector<SimHotspotClient> hotspotClients;
};

// The built-in scenario as JSON text (also shipped as scenarios/default.json).
const char* DefaultScenarioText();

// Both throw CSimScenarioError.
SimScenario ParseScenario(std::string_view text);
SimNetwork ParseNetwork(std::string_view text);
// The scenario an adapter starts from: the file named by WAVORY_SCENARIO, else the built-in one.
SimScenario LoadStartScenario();

// A network in the scenario's own form, so that a dump can be fed back.
nlohmann::json NetworkToJson(const SimNetwork& network);

bool ParseBssid(std::string_view text, uint8_t out[6]);
std::string FormatBssid(const uint8_t* bytes);
std::string HexText(const uint8_t* bytes, size_t len);
// UTF-8 text without zero bytes, so that it can stand in JSON as a string.
bool IsPlainUtf8(const uint8_t* bytes, size_t len);
bool IsValidChannel(int channel);
// The kind of security a network asks for (KCOM_SECURITY_KIND).
int SimSecurityKind(const SimNetwork& network);
// An enterprise network: joined with 802.1X credentials, which the adapter is not given.
inline bool IsEnterprise(const SimNetwork& network) {
    return network.wpa == KCOM_SECURITY_MODE_WPA2_ENTERPRISE ||
           network.wpa == KCOM_SECURITY_MODE_WPA3_ENTERPRISE;
}
bool IsValidRegDomain(uint32_t code);

}  // namespace wavory::kccl
