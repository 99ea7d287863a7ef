// The built-in scenario: a harbour-side office with access points of every generation on all three
// bands, two cells of one network on different channels, a couple of ad-hoc cells, and every kind
// of security from open and WEP to WPA3, Enhanced Open and an enterprise network.
// scenarios/default.json holds the same text; a test checks that both give the same adapter.
#include "SimScenario.h"

namespace wavory::kccl {

const char* DefaultScenarioText() {
    return R"json({
  "description": "Built-in environment of the simulated adapter",
  "adapter": {
    "present": true,
    "mac": "00-0A-F5-3C-9E-12",
    "driver_version": [2, 2, 1, 14],
    "firmware": ["0x00010004", "0x00020011"],
    "nvm": ["0x0003", "0x0102"],
    "reg_domain": "0x10"
  },
  "scan_duration_ms": 3000,
  "networks": [
    {"ssid": "Harbour", "bssid": "00-14-6C-2A-11-01", "channel": 1, "phy": 2, "mode": "infrastructure",
     "wep_key": "1A2B3C4D5E", "signal_dbm": -58, "rx_bytes_per_s": 48000, "tx_bytes_per_s": 9000},
    {"ssid": "Harbour", "bssid": "00-14-6C-2A-11-06", "channel": 6, "phy": 2, "mode": "infrastructure",
     "wep_key": "1A2B3C4D5E", "signal_dbm": -71, "rx_bytes_per_s": 36000, "tx_bytes_per_s": 7000},
    {"ssid": "Lighthouse", "bssid": "00-0F-B5-44-7C-20", "channel": 11, "phy": 1, "mode": "infrastructure",
     "signal_dbm": -66, "rx_bytes_per_s": 22000, "tx_bytes_per_s": 4000},
    {"ssid": "Quayside-5G", "bssid": "00-18-39-A1-B2-24", "channel": 36, "phy": 0, "mode": "infrastructure",
     "wep_key": "8C1F4A77D02B9E6355C0FA1E29", "signal_dbm": -73, "rx_bytes_per_s": 90000,
     "tx_bytes_per_s": 15000},
    {"ssid": "Boatyard", "bssid": "00-1A-2B-3C-4D-95", "channel": 149, "phy": 0, "mode": "infrastructure",
     "signal_dbm": -82, "rx_bytes_per_s": 12000, "tx_bytes_per_s": 2500},
    {"ssid": "Caf\u00e9 Anchor", "bssid": "00-90-4C-7E-21-09", "channel": 9, "phy": 2, "mode": "infrastructure",
     "signal_dbm": -87, "rx_bytes_per_s": 8000, "tx_bytes_per_s": 1500},
    {"ssid": "Deckhands", "bssid": "02-3E-91-5A-0C-77", "channel": 10, "phy": 1, "mode": "adhoc",
     "signal_dbm": -69, "rx_bytes_per_s": 6000, "tx_bytes_per_s": 6000},
    {"ssid": "GameRoom", "bssid": "02-7B-22-E4-18-03", "channel": 3, "phy": 2, "mode": "adhoc",
     "wep_key": "C0FFEE1234", "signal_dbm": -76, "rx_bytes_per_s": 15000, "tx_bytes_per_s": 15000},
    {"ssid": "Marina", "bssid": "3C-84-6A-51-0E-24", "frequency_mhz": 5180, "generation": "Wi-Fi 6",
     "width_mhz": 80, "streams": 2, "security": "wpa2", "passphrase": "moorings-at-high-tide",
     "signal_dbm": -52, "rx_bytes_per_s": 2400000, "tx_bytes_per_s": 310000},
    {"ssid": "Chandlery", "bssid": "F0-9F-C2-33-7A-64", "frequency_mhz": 5320, "generation": "Wi-Fi 5",
     "width_mhz": 80, "streams": 3, "security": "wpa2", "passphrase": "rope-and-tackle-42", "signal_dbm": -68,
     "rx_bytes_per_s": 900000, "tx_bytes_per_s": 120000},
    {"ssid": "Marina-6E", "bssid": "3C-84-6A-51-0E-65", "frequency_mhz": 5975, "generation": "Wi-Fi 6E",
     "width_mhz": 80, "streams": 2, "security": "wpa3", "passphrase": "moorings-at-high-tide", "signal_dbm": -61,
     "rx_bytes_per_s": 3100000, "tx_bytes_per_s": 420000},
    {"ssid": "Ferry Terminal", "bssid": "00-25-9C-4E-88-06", "channel": 6, "generation": "Wi-Fi 4",
     "width_mhz": 20, "streams": 2, "security": "wpa2-wpa3", "passphrase": "all-aboard-at-nine",
     "signal_dbm": -63, "rx_bytes_per_s": 160000, "tx_bytes_per_s": 30000},
    {"ssid": "Harbour Guest", "bssid": "3C-84-6A-51-0E-95", "frequency_mhz": 5745, "generation": "Wi-Fi 6",
     "width_mhz": 40, "streams": 2, "security": "owe", "signal_dbm": -70, "rx_bytes_per_s": 400000,
     "tx_bytes_per_s": 60000},
    {"ssid": "Port Authority", "bssid": "00-3A-7D-12-C4-34", "frequency_mhz": 5260, "generation": "Wi-Fi 5",
     "width_mhz": 80, "streams": 2, "security": "wpa2-enterprise", "signal_dbm": -66,
     "rx_bytes_per_s": 700000, "tx_bytes_per_s": 90000,
     "eap": {"methods": ["peap", "ttls"], "identity": "alice", "password": "wonderland-2026",
             "server_name": "radius.example.org", "system_ca": true, "subject": "CN=radius.example.org",
             "fingerprint": "SHA256:5E:0F:9A:3C:77:21:B4:D8"}}
  ],
  "hotspot_clients": [
    {"mac": "02-5A-17-C3-90-41", "signal_dbm": -48, "security": "wpa2", "join_after_ms": 2000},
    {"mac": "02-5A-17-C3-90-7E", "signal_dbm": -63, "security": "wpa3", "join_after_ms": 4000}
  ]
}
)json";
}

}  // namespace wavory::kccl
