#include "base/History.h"

#include <array>

#include "base/DisplayText.h"

namespace wavory {

namespace {

constexpr std::array<const char*, 5> kKindKeys{"join", "connect", "roam", "disconnect", "link"};

}  // namespace

const char* HistoryKindKey(SHistoryEvent::EKind kind) { return kKindKeys[static_cast<std::size_t>(kind)]; }

std::optional<SHistoryEvent::EKind> HistoryKindFromKey(const std::string& key) {
    for (std::size_t i = 0; i < kKindKeys.size(); ++i)
        if (key == kKindKeys[i]) return static_cast<SHistoryEvent::EKind>(i);
    return std::nullopt;
}

std::string BandOfFrequency(int freqMHz) {
    if (freqMHz <= 0) return {};
    if (freqMHz < 3000) return "2.4 GHz";
    if (freqMHz < 5925) return "5 GHz";
    if (freqMHz < 7200) return "6 GHz";
    return "60 GHz";
}

std::string HistoryPlace(const std::string& bssid, int freqMHz, int signalDbm) {
    std::string out = bssid;
    const std::string signal = signalDbm ? std::to_string(signalDbm) + " dBm" : std::string();
    for (const std::string& part : {BandOfFrequency(freqMHz), signal}) {
        if (part.empty()) continue;
        if (!out.empty()) out += ", ";
        out += part;
    }
    return out;
}

std::string HistorySentence(const SHistoryEvent& e) {
    const std::string net = "\"" + DisplayText(e.ssid) + "\"";
    std::string line;
    switch (e.kind) {
        case SHistoryEvent::EKind::Join:
            line = (e.outcome == "joined" ? "Joined " : "Could not join ") + net + " (" +
                   std::to_string(e.durationMs) + " ms)";
            if (e.outcome != "joined" && !e.detail.empty()) line += ": " + DisplayText(e.detail);
            break;
        case SHistoryEvent::EKind::Connect:
            line = "Connected to " + net;
            if (const std::string at = HistoryPlace(e.bssid, e.freqMHz, e.signalDbm); !at.empty())
                line += " (" + at + ")";
            break;
        case SHistoryEvent::EKind::Roam:
            line = "Roamed on " + net + " from " + HistoryPlace(e.prevBssid, e.prevFreqMHz, e.prevSignalDbm) +
                   " to " + HistoryPlace(e.bssid, e.freqMHz, e.signalDbm);
            break;
        case SHistoryEvent::EKind::Disconnect:
            line = "Disconnected from " + net;
            if (!e.bssid.empty()) line += " (" + e.bssid + ")";
            if (!e.detail.empty()) line += ": " + DisplayText(e.detail);
            break;
        case SHistoryEvent::EKind::Link:
            line = "Link on " + net + ": signal " + std::to_string(e.signalMin) + "/" +
                   std::to_string(e.signalMean) + "/" + std::to_string(e.signalMax) + " dBm (min/mean/max)";
            if (e.txKbps || e.rxKbps)
                line += ", rates " + std::to_string(e.txKbps / 1000) + "/" + std::to_string(e.rxKbps / 1000) +
                        " Mbit/s (send/receive)";
            break;
    }
    return line;
}

}  // namespace wavory
