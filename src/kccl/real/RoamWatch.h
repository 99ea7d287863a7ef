// Why a real interface moved to another access point of its network. The kernel tells that it
// connected to another access point (and, where it went through a disconnect, who ended the old
// link); the supplicant tells that the access point asked the station to move (its WNM lines). This
// puts the two together into the record of OID_LAST_ROAM. Plain state fed with times, so that each
// case is tested without a radio.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <string>

#include "DropEvents.h"

namespace wavory::kccl {

// A line from wpa_supplicant's monitor that says the access point asked the station to move: a BSS
// transition management request with a list of candidates, or with disassociation imminent.
bool IsSteerLine(const std::string& line);

// The SSID element of an association request's elements (NL80211_ATTR_REQ_IE); empty when absent.
std::string SsidOfRequestIes(const uint8_t* ies, std::size_t len, bool* found);

class CRoamWatch {
public:
    using Clock = std::chrono::steady_clock;
    using Bssid = std::array<uint8_t, 6>;

    // roamsForSignal: a supplicant runs the link, which moves by itself only for a better access
    // point where nothing else explains the move.
    explicit CRoamWatch(bool roamsForSignal) : m_bRoamsForSignal(roamsForSignal) {}

    // The link as a status read saw it, and its signal.
    void LinkSeen(const Bssid& bssid, const std::string& ssid, Clock::time_point now);
    void SignalSeen(const Bssid& bssid, int signalDbm) {
        if (bssid == m_Link) m_nLinkSignal = signalDbm;
    }
    // The supplicant's line is read when the library next runs, which may be after the kernel's
    // connection was: a move a moment before it is the one the access point asked for.
    void SteerSeen(Clock::time_point now);
    void Dropped(const SDropEvent& drop, Clock::time_point now);
    // A join asked through this library: the next connection is that join's, no roam.
    void JoinStarted(Clock::time_point now) { m_JoinAt = now; }
    // The kernel connected (or roamed) to bssid; ssid as the association request named it, empty
    // when not told. wallMs: the time of day for the record.
    void Connected(const Bssid& bssid, const std::string& ssid, Clock::time_point now, uint64_t wallMs);

    uint32_t Count() const { return m_nCount; }
    // KCOM_ROAM_LAYOUT.
    void Fill(uint8_t* p) const;

    // How long a drop or a request to move still explains a connection to another access point.
    static constexpr std::chrono::seconds kWindow{30};
    // How long before the request's line was read a move still counts as its answer.
    static constexpr std::chrono::seconds kLateLine{5};

private:
    const bool m_bRoamsForSignal;
    Bssid m_Link{};  // the access point of the link before the move; zero = none known
    std::string m_strLinkSsid;
    int m_nLinkSignal = 0;
    Clock::time_point m_LinkAt{};  // when that link was made or first seen
    Clock::time_point m_SteerAt{};
    Clock::time_point m_JoinAt{};
    SDropEvent m_Drop;
    Clock::time_point m_DropAt{};

    uint32_t m_nCount = 0;
    uint32_t m_nTrigger = 0;
    Bssid m_From{}, m_To{};
    int m_nFromSignal = 0;
    uint64_t m_nTimeMs = 0;
    Clock::time_point m_MoveAt{};
};

}  // namespace wavory::kccl
