// 802.1X on the simulated adapter: the settings record it is given, the server of an enterprise
// network (from the scenario) and the server's verdict on an attempt, with the causes a real
// supplicant reports: method refused, certificate not trusted, server name not matched, identity or
// password refused.
#pragma once

#include <nlohmann/json.hpp>

#include <cstdint>
#include <string>

#include "SimState.h"
#include "radio/Sha256.h"

namespace wavory::kccl {

// SHA-256 of a file's contents; false when it cannot be read.
bool Sha256OfFile(const std::string& path, uint8_t out[32]);

// OID_EAP_SETTINGS_SET into the settings: reads the files named and keeps their hashes. A status.
uint32_t SetEapSettings(SimEapSettings& eap, const uint8_t* payload);
// OID_EAP_SETTINGS_QUERY: the record without its secrets.
uint32_t QueryEapSettings(const SimEapSettings& eap, uint8_t* payload);

// The settings may start an attempt: the cause (and detail) that fails it at once, else 0.
uint32_t EapStartProblem(const SimEapSettings& eap, std::string& detail);

// The server's answer to the settings: KCOM_CAUSE_NONE when it lets the station in.
struct SEapVerdict {
    uint32_t cause = 0;
    std::string detail;
};
SEapVerdict CheckEap(const SimEapServer& server, const SimEapSettings& eap);

// A network's "eap" object of the scenario into its server (throws CSimScenarioError via `fail`),
// and back. Absent, an enterprise network has the simulation's default server.
void ParseEapServer(const nlohmann::json& j, const std::string& where, SimEapServer& out);
void DefaultEapServer(SimEapServer& out);
nlohmann::json EapServerToJson(const SimEapServer& server);

}  // namespace wavory::kccl
