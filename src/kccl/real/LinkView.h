// What the kernel says about one interface, read through nl80211 and kept for the requests of one
// refresh: a status page asks a dozen questions in a row, and they are answered from one reading
// of the interface, the station, the scan results and power save. A reading is dropped when an
// event says it changed (a link made or lost, a scan ended, the interface changed), when this
// library changed something, and at the next refresh: requests that come more than a moment after
// the last one start a new refresh.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "Nl80211.h"
#include "NlStation.h"
#include "RealFormat.h"

namespace wavory::kccl {

struct SIfaceState {
    uint32_t iftype = 0;  // NL80211_IFTYPE_*
    std::string ssid;     // of the link, empty without one
    uint32_t freqMhz = 0;
    uint32_t widthMhz = 0;  // of the channel in use; 0 when not told
    int wiphy = -1;
};

struct SStationState {
    uint8_t mac[6] = {};
    bool hasSignal = false;
    int signalDbm = 0;
    bool hasTx = false, hasRx = false;
    SRateInfo tx, rx;  // the last frames' rates, sent and received
};

class CLinkView {
public:
    // Requests further apart than this belong to different refreshes.
    static constexpr std::chrono::milliseconds kRefreshGap{500};
    // A reading is never older than this, however close the requests come.
    static constexpr std::chrono::milliseconds kMaxAge{1000};

    CLinkView(CNl80211& nl, int ifindex) : m_Nl(nl), m_nIfindex(ifindex) {}

    // Marks the start of a request; a new refresh drops the last readings.
    void BeginRequest();
    // Drops every reading (this library changed something, or an event said so). Safe from any thread.
    void Invalidate() { m_nGeneration++; }
    // Drops what is known of the radio (its channels and capabilities), which only a regulatory
    // change or the radio coming or going changes: it is kept across refreshes otherwise.
    void InvalidateRadio() { m_nRadioGeneration++; }

    // GET_INTERFACE. False when the kernel does not answer; *err (when given) its error.
    bool Interface(SIfaceState& out, int* err = nullptr);
    // The scan results (GET_SCAN dump); null when the kernel does not answer.
    const std::vector<SBss>* Scan();
    // The network the interface is associated with, or whose ad-hoc cell it has joined.
    bool Associated(SBss& out);
    // The first station entry (the access point, on a station interface).
    bool Station(SStationState& out);
    // Power save on (NL80211_PS_ENABLED) or off; false when the kernel does not say.
    bool PowerSave(bool& enabled);
    // The noise of the channel in use, from the survey; false where the driver gives none. With
    // `ask` false only a survey this refresh has read already answers: no request is made for it.
    bool Noise(uint32_t freqMhz, int& noiseDbm, bool ask = true);
    // The interface's radio: its channels in the regulatory domain in force, generations, SAE.
    bool Wiphy(SWiphyInfo& out);
    // The regulatory domain of the interface's radio (a radio with its own domain reports that one).
    bool RegDomain(std::string& alpha2);

private:
    template <typename T>
    struct SCached {
        uint64_t generation = 0;
        bool ok = false;
        T value{};
        bool Fresh(uint64_t now) const { return generation == now && generation != 0; }
    };
    uint64_t Generation() const { return m_nGeneration.load(); }

    CNl80211& m_Nl;
    int m_nIfindex;
    std::atomic<uint64_t> m_nGeneration{1};
    std::atomic<uint64_t> m_nRadioGeneration{1};
    std::chrono::steady_clock::time_point m_LastRequest{};
    std::chrono::steady_clock::time_point m_RefreshStart{};
    SCached<SIfaceState> m_Iface;
    int m_nIfaceError = 0;
    SCached<std::vector<SBss>> m_Scan;
    SCached<SStationState> m_Station;
    SCached<bool> m_PowerSave;
    SCached<std::vector<std::pair<uint32_t, int>>> m_Survey;  // frequency, noise
    SCached<std::string> m_Reg;
    SCached<SWiphyInfo> m_Wiphy;
};

// One scan result of a GET_SCAN dump (NL80211_ATTR_BSS); false when it carries no BSSID.
bool ParseBss(CNl80211::Attrs tb, SBss& out);

}  // namespace wavory::kccl
