// Reading scenarios: strict about shape and ranges, so that a typing error in a hand-written file
// shows up as one clear line instead of an adapter that behaves strangely.
#include "SimScenario.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <initializer_list>
#include <sstream>

#include "SimEap.h"
#include "kccl_oid.h"
#include "radio/Bands.h"
#include "radio/Hotspot.h"
#include "radio/Security.h"

namespace wavory::kccl {

using nlohmann::json;

namespace {

[[noreturn]] void Fail(const std::string& where, const std::string& what) {
    throw CSimScenarioError(where.empty() ? what : where + ": " + what);
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Hex digits (no separators) to bytes; false on an odd count or a non-hex character.
bool ParseHexBytes(std::string_view text, std::vector<uint8_t>& out) {
    if (text.size() % 2 != 0) return false;
    out.clear();
    for (size_t i = 0; i < text.size(); i += 2) {
        const int hi = HexDigit(text[i]);
        const int lo = HexDigit(text[i + 1]);
        if (hi < 0 || lo < 0) return false;
        out.push_back(static_cast<uint8_t>(hi * 16 + lo));
    }
    return true;
}

void CheckKeys(const json& obj, std::initializer_list<const char*> allowed, const std::string& where) {
    for (const auto& item : obj.items()) {
        const bool known =
            std::any_of(allowed.begin(), allowed.end(), [&](const char* key) { return item.key() == key; });
        if (!known) Fail(where, "unknown key \"" + item.key() + "\"");
    }
}

// An integer in [lo, hi]; hexadecimal text such as "0x10" is accepted as well.
int64_t GetInteger(const json& value, const std::string& where, int64_t lo, int64_t hi) {
    int64_t n = 0;
    if (value.is_number_integer()) {
        if (value.is_number_unsigned() && value.get<uint64_t>() > static_cast<uint64_t>(INT64_MAX)) {
            Fail(where, "number out of range");
        }
        n = value.get<int64_t>();
    } else if (value.is_string()) {
        const std::string text = value.get<std::string>();
        char* end = nullptr;
        errno = 0;
        const long long parsed = std::strtoll(text.c_str(), &end, 0);
        if (text.empty() || *end != '\0' || errno != 0)
            Fail(where, "expected an integer, got \"" + text + "\"");
        n = parsed;
    } else {
        Fail(where, "expected an integer");
    }
    if (n < lo || n > hi) {
        Fail(where,
             "value " + std::to_string(n) + " outside " + std::to_string(lo) + ".." + std::to_string(hi));
    }
    return n;
}

void GetWords(const json& value, const std::string& where, uint32_t* out, size_t count) {
    if (!value.is_array() || value.size() != count) {
        Fail(where, "expected an array of " + std::to_string(count) + " integers");
    }
    for (size_t i = 0; i < count; ++i) {
        out[i] =
            static_cast<uint32_t>(GetInteger(value[i], where + "[" + std::to_string(i) + "]", 0, UINT32_MAX));
    }
}

std::string GetString(const json& value, const std::string& where) {
    if (!value.is_string()) Fail(where, "expected a text");
    return value.get<std::string>();
}

void ParseAdapter(const json& j, SimScenario& scenario) {
    const std::string where = "adapter";
    if (!j.is_object()) Fail(where, "expected an object");
    CheckKeys(j,
              {"present", "mac", "driver_version", "firmware", "nvm", "reg_domain", "access_point",
               "access_point_with_station"},
              where);
    for (const char* key : {"access_point", "access_point_with_station"}) {
        if (!j.contains(key)) continue;
        if (!j[key].is_boolean()) Fail(where + "." + key, "expected true or false");
        (std::string(key) == "access_point" ? scenario.info.canAp : scenario.info.apWithStation) =
            j[key].get<bool>() ? 1 : 0;
    }
    if (j.contains("present")) {
        if (!j["present"].is_boolean()) Fail(where + ".present", "expected true or false");
        scenario.present = j["present"].get<bool>();
    }
    if (j.contains("mac")) {
        const std::string text = GetString(j["mac"], where + ".mac");
        if (!ParseBssid(text, scenario.info.mac)) {
            Fail(where + ".mac", "expected six hex pairs like 00-0A-F5-3C-9E-12, got \"" + text + "\"");
        }
        if (scenario.info.mac[0] & 0x01) Fail(where + ".mac", "a group address cannot be an adapter's");
    }
    if (j.contains("driver_version"))
        GetWords(j["driver_version"], where + ".driver_version", scenario.info.driverVersion, 4);
    if (j.contains("firmware")) GetWords(j["firmware"], where + ".firmware", scenario.info.firmware, 2);
    if (j.contains("nvm")) GetWords(j["nvm"], where + ".nvm", scenario.info.nvm, 2);
    if (j.contains("reg_domain")) {
        const auto code =
            static_cast<uint32_t>(GetInteger(j["reg_domain"], where + ".reg_domain", 0, UINT32_MAX));
        if (!IsValidRegDomain(code)) {
            Fail(where + ".reg_domain", "expected one of 0x10, 0x20, 0x30, 0x31, 0x32, 0x40");
        }
        scenario.info.regDomain = code;
    }
}

// The security modes of the scenario's names; -1 for an unknown name. "none" is the older
// spelling of "open".
int SecurityModeOfName(const std::string& name) {
    if (name == "open" || name == "none" || name == "wep") return 0;
    if (name == "wpa2") return KCOM_SECURITY_MODE_WPA2_PERSONAL;
    if (name == "wpa3") return KCOM_SECURITY_MODE_WPA3_PERSONAL;
    if (name == "owe") return KCOM_SECURITY_MODE_OWE;
    if (name == "wpa2-wpa3") return KCOM_SECURITY_MODE_WPA2_WPA3_PERSONAL;
    if (name == "wpa2-enterprise") return KCOM_SECURITY_MODE_WPA2_ENTERPRISE;
    if (name == "wpa3-enterprise") return KCOM_SECURITY_MODE_WPA3_ENTERPRISE;
    return -1;
}

bool TakesPassphrase(int mode) {
    return mode == KCOM_SECURITY_MODE_WPA2_PERSONAL || mode == KCOM_SECURITY_MODE_WPA3_PERSONAL ||
           mode == KCOM_SECURITY_MODE_WPA2_WPA3_PERSONAL;
}

// "802.11ax", "wifi6", "Wi-Fi 6E" and the like to a PHY type; -1 for an unknown name. Wi-Fi 6E
// is 802.11ax on 6 GHz.
int PhyOfGeneration(std::string name, bool* sixGhz) {
    std::string key;
    for (char c : name)
        if (c != ' ' && c != '-') key += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    *sixGhz = key == "wifi6e";
    static const char* const kStandards[] = {"802.11a",  "802.11b",  "802.11g", "802.11n",
                                             "802.11ac", "802.11ax", "802.11be"};
    for (int phy = 0; phy < kPhyTypeCount; ++phy)
        if (key == kStandards[phy]) return phy;
    if (key == "wifi4") return KCOM_PHY_N;
    if (key == "wifi5") return KCOM_PHY_AC;
    if (key == "wifi6" || key == "wifi6e") return KCOM_PHY_AX;
    if (key == "wifi7") return KCOM_PHY_BE;
    return -1;
}

// Channel, frequency, generation, width and streams, checked against each other: a 6 GHz network
// is given by its frequency, a PHY belongs to its bands, a width to its PHY.
void ParseRadio(const json& j, const std::string& where, SimNetwork& net) {
    if (!j.contains("channel") && !j.contains("frequency_mhz"))
        Fail(where, "missing \"channel\" (or \"frequency_mhz\")");
    int channel = 0;
    int freq = 0;
    if (j.contains("channel")) {
        channel = static_cast<int>(GetInteger(j["channel"], where + ".channel", 0, 255));
        if (!IsValidChannel(channel)) Fail(where + ".channel", "no such channel: " + std::to_string(channel));
    }
    if (j.contains("frequency_mhz")) {
        freq = static_cast<int>(GetInteger(j["frequency_mhz"], where + ".frequency_mhz", 2400, 7125));
        const int numbered = FrequencyToChannel(freq);
        if (numbered == 0)
            Fail(where + ".frequency_mhz", "no channel has the frequency " + std::to_string(freq));
        if (channel != 0 && channel != numbered)
            Fail(where, "channel " + std::to_string(channel) + " is not at " + std::to_string(freq) + " MHz");
        channel = numbered;
    } else {
        freq = LegacyChannelToFrequency(channel);
    }
    net.channel = static_cast<uint8_t>(channel);
    net.freqMHz = static_cast<uint16_t>(freq);
    const EBand band = BandOfFrequency(freq);

    int phy = band == EBand::Band2G4 ? KCOM_PHY_G : band == EBand::Band6G ? KCOM_PHY_AX : KCOM_PHY_A;
    if (j.contains("phy")) phy = static_cast<int>(GetInteger(j["phy"], where + ".phy", 0, kPhyTypeCount - 1));
    if (j.contains("generation")) {
        bool sixGhz = false;
        const std::string name = GetString(j["generation"], where + ".generation");
        phy = PhyOfGeneration(name, &sixGhz);
        if (phy < 0)
            Fail(where + ".generation",
                 "expected 802.11a/b/g/n/ac/ax/be or Wi-Fi 4/5/6/6E/7, got \"" + name + "\"");
        if (sixGhz && band != EBand::Band6G) Fail(where + ".generation", "Wi-Fi 6E is 802.11ax on 6 GHz");
    }
    const bool ok = band == EBand::Band2G4 ? phy == KCOM_PHY_B || phy == KCOM_PHY_G || phy == KCOM_PHY_N ||
                                                 phy == KCOM_PHY_AX || phy == KCOM_PHY_BE
                    : band == EBand::Band6G ? phy == KCOM_PHY_AX || phy == KCOM_PHY_BE
                                            : phy != KCOM_PHY_B && phy != KCOM_PHY_G;
    if (!ok)
        Fail(where, std::string(PhyStandard(phy)) + " has no channels at " + std::to_string(freq) + " MHz");
    net.phy = static_cast<uint8_t>(phy);

    const bool legacy = phy <= KCOM_PHY_G;
    int width = legacy || band == EBand::Band2G4 ? 20 : phy == KCOM_PHY_N ? 40 : 80;
    if (j.contains("width_mhz"))
        width = static_cast<int>(GetInteger(j["width_mhz"], where + ".width_mhz", 20, 320));
    const int widest = legacy                                        ? 20
                       : phy == KCOM_PHY_N || band == EBand::Band2G4 ? 40
                       : phy == KCOM_PHY_BE && band == EBand::Band6G ? 320
                                                                     : 160;
    if ((width != 20 && width != 40 && width != 80 && width != 160 && width != 320) || width > widest)
        Fail(where + ".width_mhz",
             std::string(PhyStandard(phy)) + " here is at most " + std::to_string(widest) + " MHz wide");
    net.widthMHz = static_cast<uint16_t>(width);
    net.streams = legacy ? 1 : 2;
    if (j.contains("streams"))
        net.streams = static_cast<uint8_t>(GetInteger(j["streams"], where + ".streams", 1,
                                                      legacy              ? 1
                                                      : phy == KCOM_PHY_N ? 4
                                                                          : 8));
}

SimNetwork ParseNetworkObject(const json& j, const std::string& where) {
    if (!j.is_object()) Fail(where, "expected an object");
    CheckKeys(j,
              {"ssid", "ssid_hex", "bssid", "channel", "frequency_mhz", "width_mhz", "generation", "streams",
               "phy", "mode", "wep_key", "security", "passphrase", "signal_dbm", "rx_bytes_per_s",
               "tx_bytes_per_s", "join_delay_ms", "hidden", "eap"},
              where);
    SimNetwork net{};
    if (j.contains("hidden")) {
        if (!j["hidden"].is_boolean()) Fail(where + ".hidden", "expected true or false");
        net.hidden = j["hidden"].get<bool>() ? 1 : 0;
    }

    std::vector<uint8_t> ssid;
    if (j.contains("ssid") == j.contains("ssid_hex"))
        Fail(where, "give exactly one of \"ssid\" and \"ssid_hex\"");
    if (j.contains("ssid")) {
        const std::string text = GetString(j["ssid"], where + ".ssid");
        ssid.assign(text.begin(), text.end());
    } else if (!ParseHexBytes(GetString(j["ssid_hex"], where + ".ssid_hex"), ssid)) {
        Fail(where + ".ssid_hex", "expected pairs of hex digits");
    }
    if (ssid.size() > kSsidMax) Fail(where, "SSID longer than 32 bytes");
    net.ssidLen = static_cast<uint8_t>(ssid.size());
    std::copy(ssid.begin(), ssid.end(), net.ssid);

    if (!j.contains("bssid")) Fail(where, "missing \"bssid\"");
    const std::string bssid = GetString(j["bssid"], where + ".bssid");
    if (!ParseBssid(bssid, net.bssid)) {
        Fail(where + ".bssid", "expected six hex pairs like 00-11-22-33-44-55, got \"" + bssid + "\"");
    }

    ParseRadio(j, where, net);

    if (j.contains("mode")) {
        const std::string mode = GetString(j["mode"], where + ".mode");
        if (mode == "adhoc") {
            net.adhoc = 1;
        } else if (mode != "infrastructure") {
            Fail(where + ".mode", "expected \"infrastructure\" or \"adhoc\", got \"" + mode + "\"");
        }
    }

    if (j.contains("wep_key")) {
        std::vector<uint8_t> key;
        const std::string text = GetString(j["wep_key"], where + ".wep_key");
        if ((text.size() != 10 && text.size() != 26) || !ParseHexBytes(text, key)) {
            Fail(where + ".wep_key", "expected 10 or 26 hex digits");
        }
        net.wepLen = static_cast<uint8_t>(key.size());
        std::copy(key.begin(), key.end(), net.wepKey);
    }

    if (j.contains("security")) {
        const std::string security = GetString(j["security"], where + ".security");
        const int mode = SecurityModeOfName(security);
        if (mode < 0)
            Fail(where + ".security",
                 "expected \"open\", \"owe\", \"wep\", \"wpa2\", \"wpa2-wpa3\", \"wpa3\", "
                 "\"wpa2-enterprise\" or \"wpa3-enterprise\", got \"" +
                     security + "\"");
        net.wpa = static_cast<uint8_t>(mode);
        if (security == "wep" && net.wepLen == 0)
            Fail(where + ".security", "a WEP network needs \"wep_key\"");
        if (net.wpa != 0 && net.wepLen != 0) Fail(where, "a network uses WEP or WPA, not both");
    }
    if (TakesPassphrase(net.wpa)) {
        if (!j.contains("passphrase"))
            Fail(where + ".passphrase", "a WPA-Personal network needs a passphrase");
        const std::string pass = GetString(j["passphrase"], where + ".passphrase");
        if (pass.size() < 8 || pass.size() > kPassphraseMax)
            Fail(where + ".passphrase", "expected 8 to 63 characters or 64 hex digits");
        net.passLen = static_cast<uint8_t>(pass.size());
        std::copy(pass.begin(), pass.end(), net.passphrase);
    } else if (j.contains("passphrase")) {
        Fail(where + ".passphrase",
             "only a WPA-Personal network (\"security\": \"wpa2\", \"wpa2-wpa3\" or \"wpa3\") has a "
             "passphrase");
    }
    if (IsEnterprise(net)) {
        if (j.contains("eap"))
            ParseEapServer(j["eap"], where, net.eap);
        else
            DefaultEapServer(net.eap);
    } else if (j.contains("eap")) {
        Fail(where + ".eap",
             "only an enterprise network (\"wpa2-enterprise\", \"wpa3-enterprise\") has an 802.1X server");
    }
    if (BandOfFrequency(net.freqMHz) == EBand::Band6G && net.wpa != KCOM_SECURITY_MODE_WPA3_PERSONAL &&
        net.wpa != KCOM_SECURITY_MODE_OWE && net.wpa != KCOM_SECURITY_MODE_WPA3_ENTERPRISE)
        Fail(where + ".security", "a 6 GHz network uses WPA3 (\"wpa3\", \"wpa3-enterprise\") or \"owe\"");
    if (net.adhoc && BandOfFrequency(net.freqMHz) == EBand::Band6G)
        Fail(where + ".mode", "6 GHz has no ad-hoc cells");

    net.signalDbm = -70;
    if (j.contains("signal_dbm")) {
        net.signalDbm = static_cast<int32_t>(GetInteger(j["signal_dbm"], where + ".signal_dbm", -200, 0));
    }
    net.rxBytesPerS = 20000;
    net.txBytesPerS = 4000;
    if (j.contains("rx_bytes_per_s")) {
        net.rxBytesPerS =
            static_cast<uint32_t>(GetInteger(j["rx_bytes_per_s"], where + ".rx_bytes_per_s", 0, 10000000));
    }
    if (j.contains("tx_bytes_per_s")) {
        net.txBytesPerS =
            static_cast<uint32_t>(GetInteger(j["tx_bytes_per_s"], where + ".tx_bytes_per_s", 0, 10000000));
    }
    net.joinDelayMs = -1;
    if (j.contains("join_delay_ms"))
        net.joinDelayMs =
            static_cast<int32_t>(GetInteger(j["join_delay_ms"], where + ".join_delay_ms", 0, 600000));
    return net;
}

json ParseJson(std::string_view text) {
    try {
        return json::parse(text.begin(), text.end());
    } catch (const json::exception& e) {
        throw CSimScenarioError(std::string("not valid JSON: ") + e.what());
    }
}

}  // namespace

namespace {

// "hotspot_clients": [{"mac": "..", "signal_dbm": -50, "security": "wpa2", "passphrase": "..",
// "join_after_ms": 1500}]; security defaults to wpa2, the delay to 1500 ms.
void ParseHotspotClients(const json& list, SimScenario& scenario) {
    if (!list.is_array()) Fail("hotspot_clients", "expected an array");
    if (list.size() > kMaxHotspotClients)
        Fail("hotspot_clients", "more than " + std::to_string(kMaxHotspotClients) + " clients");
    for (size_t i = 0; i < list.size(); ++i) {
        const std::string where = "hotspot_clients[" + std::to_string(i) + "]";
        const json& j = list[i];
        if (!j.is_object()) Fail(where, "expected an object");
        CheckKeys(j, {"mac", "signal_dbm", "security", "passphrase", "join_after_ms"}, where);
        SimHotspotClient client{};
        if (!j.contains("mac")) Fail(where, "a client needs \"mac\"");
        const std::string mac = GetString(j["mac"], where + ".mac");
        if (!ParseBssid(mac, client.mac) || (client.mac[0] & 0x01))
            Fail(where + ".mac", "expected a unicast address like 02-00-00-00-03-01, got \"" + mac + "\"");
        client.signalDbm =
            j.contains("signal_dbm")
                ? static_cast<int32_t>(GetInteger(j["signal_dbm"], where + ".signal_dbm", -99, -10))
                : -50;
        client.security = KCOM_HOTSPOT_WPA2;
        if (j.contains("security")) {
            const std::string name = GetString(j["security"], where + ".security");
            const int security = HotspotSecurityByName(name);
            if (security < 0)
                Fail(where + ".security", "expected open, wpa2, wpa3 or wpa2-wpa3, got \"" + name + "\"");
            client.security = static_cast<uint8_t>(security);
        }
        if (j.contains("passphrase")) {
            const std::string pass = GetString(j["passphrase"], where + ".passphrase");
            if (!IsHotspotPassphrase(pass))
                Fail(where + ".passphrase", "expected 8 to 63 printable ASCII characters");
            client.passLen = static_cast<uint8_t>(pass.size());
            std::memcpy(client.passphrase, pass.data(), pass.size());
        }
        client.joinAfterMs =
            j.contains("join_after_ms")
                ? static_cast<uint32_t>(GetInteger(j["join_after_ms"], where + ".join_after_ms", 0, 600000))
                : 1500;
        scenario.hotspotClients.push_back(client);
    }
}

}  // namespace

SimScenario ParseScenario(std::string_view text) {
    const json root = ParseJson(text);
    if (!root.is_object()) Fail("", "a scenario must be a JSON object");
    CheckKeys(root,
              {"description", "adapter", "scan_duration_ms", "join_delay_ms", "networks", "hotspot_clients"},
              "scenario");

    SimScenario scenario;
    const uint8_t mac[6] = {0x00, 0x0A, 0xF5, 0x3C, 0x9E, 0x12};
    std::memcpy(scenario.info.mac, mac, sizeof mac);
    const uint32_t driver[4] = {2, 2, 1, 14};
    std::copy(driver, driver + 4, scenario.info.driverVersion);
    scenario.info.firmware[0] = 0x00010004;
    scenario.info.firmware[1] = 0x00020011;
    scenario.info.nvm[0] = 0x0003;
    scenario.info.nvm[1] = 0x0102;
    scenario.info.regDomain = 0x10;
    scenario.info.canAp = 1;

    if (root.contains("adapter")) ParseAdapter(root["adapter"], scenario);
    if (root.contains("scan_duration_ms")) {
        scenario.scanDurationMs =
            static_cast<uint32_t>(GetInteger(root["scan_duration_ms"], "scan_duration_ms", 0, 600000));
    }
    if (root.contains("join_delay_ms")) {
        scenario.joinDelayMs =
            static_cast<uint32_t>(GetInteger(root["join_delay_ms"], "join_delay_ms", 0, 600000));
    }
    if (root.contains("hotspot_clients")) ParseHotspotClients(root["hotspot_clients"], scenario);
    if (root.contains("networks")) {
        const json& list = root["networks"];
        if (!list.is_array()) Fail("networks", "expected an array");
        if (list.size() > kMaxNetworks)
            Fail("networks", "more than " + std::to_string(kMaxNetworks) + " networks");
        for (size_t i = 0; i < list.size(); ++i) {
            const std::string where = "networks[" + std::to_string(i) + "]";
            SimNetwork net = ParseNetworkObject(list[i], where);
            for (const SimNetwork& other : scenario.networks) {
                if (std::memcmp(other.bssid, net.bssid, 6) == 0) {
                    Fail(where + ".bssid", "BSSID " + FormatBssid(net.bssid) + " given twice");
                }
            }
            scenario.networks.push_back(net);
        }
    }
    return scenario;
}

SimNetwork ParseNetwork(std::string_view text) { return ParseNetworkObject(ParseJson(text), "network"); }

SimScenario LoadStartScenario() {
    const char* path = std::getenv("WAVORY_SCENARIO");
    if (path == nullptr || *path == '\0') return ParseScenario(DefaultScenarioText());
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw CSimScenarioError(std::string("cannot read scenario file ") + path + ": " +
                                std::strerror(errno));
    std::ostringstream text;
    text << in.rdbuf();
    try {
        return ParseScenario(text.str());
    } catch (const CSimScenarioError& e) {
        throw CSimScenarioError(std::string(path) + ": " + e.what());
    }
}

json NetworkToJson(const SimNetwork& net) {
    json j = json::object();
    if (IsPlainUtf8(net.ssid, net.ssidLen)) {
        j["ssid"] = std::string(reinterpret_cast<const char*>(net.ssid), net.ssidLen);
    } else {
        j["ssid_hex"] = HexText(net.ssid, net.ssidLen);
    }
    j["bssid"] = FormatBssid(net.bssid);
    j["channel"] = net.channel;
    j["frequency_mhz"] = net.freqMHz;
    j["generation"] = PhyStandard(net.phy);
    j["width_mhz"] = net.widthMHz;
    j["streams"] = net.streams;
    j["mode"] = net.adhoc ? "adhoc" : "infrastructure";
    if (net.wepLen > 0) j["wep_key"] = HexText(net.wepKey, net.wepLen);
    j["security"] = SecurityKindId(SimSecurityKind(net));
    if (net.passLen > 0) j["passphrase"] = std::string(net.passphrase, net.passLen);
    if (IsEnterprise(net)) j["eap"] = EapServerToJson(net.eap);
    j["signal_dbm"] = net.signalDbm;
    j["rx_bytes_per_s"] = net.rxBytesPerS;
    j["tx_bytes_per_s"] = net.txBytesPerS;
    if (net.joinDelayMs >= 0) j["join_delay_ms"] = net.joinDelayMs;
    return j;
}

bool ParseBssid(std::string_view text, uint8_t out[6]) {
    // "00-11-22-33-44-55"; colons are taken as well.
    if (text.size() != 17) return false;
    for (int i = 0; i < 6; ++i) {
        const int hi = HexDigit(text[i * 3]);
        const int lo = HexDigit(text[i * 3 + 1]);
        if (hi < 0 || lo < 0) return false;
        if (i < 5 && text[i * 3 + 2] != '-' && text[i * 3 + 2] != ':') return false;
        out[i] = static_cast<uint8_t>(hi * 16 + lo);
    }
    return true;
}

std::string FormatBssid(const uint8_t* b) {
    char text[18];
    std::snprintf(text, sizeof text, "%.2X-%.2X-%.2X-%.2X-%.2X-%.2X", b[0], b[1], b[2], b[3], b[4], b[5]);
    return text;
}

std::string HexText(const uint8_t* bytes, size_t len) {
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(len * 2);
    for (size_t i = 0; i < len; ++i) {
        text += digits[bytes[i] >> 4];
        text += digits[bytes[i] & 0x0F];
    }
    return text;
}

bool IsPlainUtf8(const uint8_t* s, size_t len) {
    size_t i = 0;
    while (i < len) {
        const uint8_t c = s[i];
        if (c == 0) return false;
        size_t extra = 0;
        uint32_t cp = 0;
        if (c < 0x80) {
            ++i;
            continue;
        } else if ((c & 0xE0) == 0xC0) {
            extra = 1;
            cp = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            extra = 2;
            cp = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            extra = 3;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (i + extra >= len) return false;
        for (size_t k = 1; k <= extra; ++k) {
            if ((s[i + k] & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (s[i + k] & 0x3F);
        }
        static const uint32_t minimum[] = {0, 0x80, 0x800, 0x10000};
        if (cp < minimum[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
        i += extra + 1;
    }
    return true;
}

bool IsValidChannel(int channel) {
    return (channel >= 1 && channel <= 14) || (channel >= 34 && channel <= 196);
}

int SimSecurityKind(const SimNetwork& net) {
    switch (net.wpa) {
        case 0:
            return net.wepLen > 0 ? KCOM_SECURITY_WEP : KCOM_SECURITY_OPEN;
        case KCOM_SECURITY_MODE_WPA2_PERSONAL:
            return KCOM_SECURITY_WPA2;
        case KCOM_SECURITY_MODE_WPA3_PERSONAL:
            return KCOM_SECURITY_WPA3;
        case KCOM_SECURITY_MODE_OWE:
            return KCOM_SECURITY_OWE;
        case KCOM_SECURITY_MODE_WPA2_WPA3_PERSONAL:
            return KCOM_SECURITY_WPA2_WPA3;
        case KCOM_SECURITY_MODE_WPA2_ENTERPRISE:
            return KCOM_SECURITY_WPA2_ENTERPRISE;
        case KCOM_SECURITY_MODE_WPA3_ENTERPRISE:
            return KCOM_SECURITY_WPA3_ENTERPRISE;
        default:
            return KCOM_SECURITY_UNKNOWN;
    }
}

bool IsValidRegDomain(uint32_t code) {
    return code == 0x10 || code == 0x20 || code == 0x30 || code == 0x31 || code == 0x32 || code == 0x40;
}

}  // namespace wavory::kccl
