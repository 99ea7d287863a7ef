#include "SimDump.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "SimScenario.h"
#include "kccl_sim.h"
#include "radio/Hotspot.h"

namespace wavory::kccl {

using nlohmann::json;

namespace {

std::string CodeText(uint32_t code) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", code);
    return text;
}

const char* FaultKindName(int kind) {
    switch (kind) {
        case KCCL_SIM_FAULT_RESULT:
            return "result";
        case KCCL_SIM_FAULT_STATUS:
            return "status";
        case KCCL_SIM_FAULT_THROW:
            return "throw";
        default:
            return "none";
    }
}

// A pinned access point as the scenarios write BSSIDs; empty when none is pinned.
std::string PinText(const uint8_t* pin) {
    static const uint8_t zero[6] = {};
    return std::memcmp(pin, zero, 6) == 0 ? std::string() : FormatBssid(pin);
}

json ScanHalf(const SimNetwork* entries, int count) {
    json list = json::array();
    for (int i = 0; i < count; ++i) list.push_back(NetworkToJson(entries[i]));
    return list;
}

const char* JoinStateName(uint32_t state) {
    switch (state) {
        case KCOM_JOIN_JOINING:
            return "joining";
        case KCOM_JOIN_JOINED:
            return "joined";
        case KCOM_JOIN_FAILED:
            return "failed";
        default:
            return "idle";
    }
}

const char* JoinCauseName(uint32_t cause) {
    static const char* const names[] = {"none",          "wrong_key",      "not_found",   "refused",
                                        "unsupported",   "needs_8021x",    "timeout",     "adapter_gone",
                                        "not_permitted", "cert_untrusted", "server_name", "method_refused",
                                        "cancelled"};
    return cause < sizeof names / sizeof names[0] ? names[cause] : "unknown";
}

json JoinJson(const SimJoin& join, int64_t nowNs) {
    json j;
    j["state"] = JoinStateName(join.state);
    j["attempt"] = join.attempt;
    j["ssid"] = std::string(reinterpret_cast<const char*>(join.ssid), join.ssidLen);
    j["ssid_hex"] = HexText(join.ssid, join.ssidLen);
    if (join.state == KCOM_JOIN_JOINING)
        j["remaining_ms"] = std::max<int64_t>(0, (join.endNs - nowNs) / 1000000);
    if (join.state == KCOM_JOIN_FAILED) {
        j["cause"] = JoinCauseName(join.cause);
        j["restored"] = (join.flags & KCOM_JOIN_FLAG_RESTORED) != 0;
        j["detail"] = std::string(join.detail, strnlen(join.detail, sizeof join.detail));
    }
    return j;
}

}  // namespace

std::string StateToJson(const SimState& s, int64_t nowNs) {
    const SimSettings& st = s.settings;
    json j;
    j["present"] = s.present != 0;
    j["plug_generation"] = s.plugGeneration;
    j["clock_ms"] = nowNs / 1000000;
    j["adapter"] = {{"mac", FormatBssid(s.info.mac)},
                    {"driver_version", s.info.driverVersion},
                    {"firmware", s.info.firmware},
                    {"nvm", s.info.nvm},
                    {"reg_domain", s.info.regDomain}};
    j["scan_duration_ms"] = s.scanDurationMs;
    j["join_delay_ms"] = s.joinDelayMs;

    j["ssid"] = std::string(reinterpret_cast<const char*>(st.ssid), st.ssidLen);
    j["ssid_hex"] = HexText(st.ssid, st.ssidLen);
    j["mode"] = st.mode;
    j["channel"] = st.channel;
    j["channel_set"] = st.channelSet != 0;
    j["short_preamble"] = st.shortPreamble;
    j["phy"] = st.phy;
    j["power_save"] = st.powerSave;
    j["security"] = st.security;
    j["active_key"] = st.activeKey;
    json keys = json::array();
    for (const SimWepKey& key : st.keys) keys.push_back(HexText(key.bytes, key.len));
    j["keys"] = keys;
    j["connection_setting"] = st.connectionSetting;
    j["join_bssid"] = st.bssidSet ? FormatBssid(st.bssid) : "";
    // The network's own settings as told, and those of the network joined.
    auto netJson = [](const SimNetSettings& net) {
        return json{{"mac_mode", net.macMode},
                    {"metered", net.metered != 0},
                    {"ipv4", net.text[KCOM_NET_IPV4]},
                    {"gateway4", net.text[KCOM_NET_GATEWAY4]},
                    {"ipv6", net.text[KCOM_NET_IPV6]},
                    {"gateway6", net.text[KCOM_NET_GATEWAY6]},
                    {"dns", net.text[KCOM_NET_DNS]},
                    {"prefer_high_band", net.preferHighBand != 0},
                    {"band_floor_dbm", net.bandFloorDbm},
                    {"pin", PinText(net.pin)}};
    };
    j["net"] = netJson(st.net);
    j["active_net"] = netJson(s.active.net);
    static const uint8_t zero[6] = {};
    const bool own = std::memcmp(s.address.inUse, zero, 6) == 0;
    j["address"] = {{"in_use", FormatBssid(own ? s.info.mac : s.address.inUse)},
                    {"random", !own && std::memcmp(s.address.inUse, s.info.mac, 6) != 0},
                    {"mode", s.address.mode}};

    j["associated"] = s.link.associated != 0;
    j["own_cell"] = s.link.ownCell != 0;
    j["bssid"] = s.link.associated ? FormatBssid(s.link.bss.bssid) : "";
    if (s.link.associated) j["signal_dbm"] = s.link.bss.signalDbm;
    j["join"] = JoinJson(s.join, nowNs);
    j["counters"] = {{"tx_bytes", s.traffic.txBytes}, {"rx_bytes", s.traffic.rxBytes}};
    // The hotspot (never its passphrase) and the radio's abilities for one.
    const SimHotspot& h = s.hotspot;
    j["hotspot"] = {{"running", h.running != 0},
                    {"ssid", std::string(reinterpret_cast<const char*>(h.ssid), h.ssidLen)},
                    {"security", h.running ? json(HotspotSecurityName(h.security)) : json(nullptr)},
                    {"frequency_mhz", h.freqMHz},
                    {"station_left", h.stationLeft != 0},
                    {"access_point", s.info.canAp != 0},
                    {"access_point_with_station", s.info.apWithStation != 0}};

    j["scanning"] = s.scan.scanning != 0;
    j["scan_results"] = {{"infrastructure", ScanHalf(s.scan.infra, s.scan.infraCount)},
                         {"adhoc", ScanHalf(s.scan.adhoc, s.scan.adhocCount)}};

    json faults = json::array();
    for (uint32_t i = 0; i < s.faultCount; ++i) {
        const SimFault& f = s.faults[i];
        faults.push_back({{"code", CodeText(f.code)},
                          {"kind", FaultKindName(f.kind)},
                          {"value", f.kind == KCCL_SIM_FAULT_STATUS ? json(static_cast<uint32_t>(f.value))
                                                                    : json(f.value)}});
    }
    j["faults"] = faults;

    json networks = json::array();
    for (uint32_t i = 0; i < s.networkCount; ++i) networks.push_back(NetworkToJson(s.networks[i]));
    j["networks"] = networks;
    // SSIDs need not be UTF-8; the text form then shows replacement characters, the hex form is exact.
    return j.dump(2, ' ', false, json::error_handler_t::replace);
}

}  // namespace wavory::kccl
