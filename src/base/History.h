// The connection history's events, and the store that keeps them (the settings store's library
// implements it; the recorder and the programs use it through this interface).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace wavory {

struct SHistoryEvent {
    enum class EKind { Join, Connect, Roam, Disconnect, Link };

    int64_t id = 0;      // given by the store
    int64_t timeMs = 0;  // milliseconds since 1970 (UTC)
    EKind kind = EKind::Connect;
    std::string ssid;     // raw bytes as the network names itself
    std::string bssid;    // "00-0F-B5-44-7C-20"; empty when unknown
    int freqMHz = 0;      // 0 = unknown
    int signalDbm = 0;    // 0 = unknown
    std::string security; // "WPA2-Personal"; empty when unknown
    std::string control;  // the way of control: "simulated", "wpa_supplicant", …
    // Roam: where the station was before.
    std::string prevBssid;
    int prevFreqMHz = 0;
    int prevSignalDbm = 0;
    // Join: "joined" or "failed", the cause's stable word and the message; the time it took.
    std::string outcome;
    std::string cause;
    int64_t durationMs = 0;
    // Disconnect: who ended it ("access-point", "this-machine", "user", "signal-lost", "unknown") and
    // the 802.11 reason (0 = none told). Any event: its sentence for people.
    std::string initiator;
    int reason = 0;
    std::string detail;
    // Link (a minute's summary while connected): signal min/mean/max, mean rates in kbit/s.
    int signalMin = 0, signalMean = 0, signalMax = 0;
    int64_t txKbps = 0, rxKbps = 0;
    // An event with a key is written once per key (a minute's summary: "link:<minute>").
    std::string key;
};

// "join", "connect", "roam", "disconnect", "link"; and back (nothing for any other word).
const char* HistoryKindKey(SHistoryEvent::EKind kind);
std::optional<SHistoryEvent::EKind> HistoryKindFromKey(const std::string& key);
// "2.4 GHz", "5 GHz", "6 GHz" for a frequency; empty for 0.
std::string BandOfFrequency(int freqMHz);
// Where the station was, as far as known: "3C-84-6A-51-0E-24, 5 GHz, -57 dBm".
std::string HistoryPlace(const std::string& bssid, int freqMHz, int signalDbm);
// What happened, in one sentence for people (the command line and the window say it alike): the
// network in quotes, shown literally (control bytes and bytes that are not UTF-8 as escapes), where
// the station was, and the reason in words: "Disconnected from "Home" (…): the access point …".
std::string HistorySentence(const SHistoryEvent& event);

struct SHistoryQuery {
    int64_t sinceMs = 0;               // events at or after this time
    int64_t afterId = 0;               // events with a greater id (following the history)
    std::optional<std::string> ssid;   // of this network only
    int limit = 0;                     // the newest so many (0 = all), returned oldest first
};

class IHistoryStore {
public:
    virtual ~IHistoryStore() = default;
    // Records an event; false (Error() says why) when it could not be written.
    virtual bool Add(const SHistoryEvent& event) = 0;
    virtual std::vector<SHistoryEvent> Query(const SHistoryQuery& query) = 0;
    // The last failure, or why the store could not be opened; empty otherwise.
    virtual const std::string& Error() const = 0;
};

}  // namespace wavory
