#include "RoamWatch.h"

#include <algorithm>
#include <cstring>

#include "kccl_oid.h"

namespace wavory::kccl {
namespace {

bool IsZero(const CRoamWatch::Bssid& b) {
    return std::all_of(b.begin(), b.end(), [](uint8_t x) { return x == 0; });
}

bool Within(CRoamWatch::Clock::time_point at, CRoamWatch::Clock::time_point now) {
    return at != CRoamWatch::Clock::time_point{} && now >= at && now - at <= CRoamWatch::kWindow;
}

}  // namespace

bool IsSteerLine(const std::string& line) {
    // "<3>WNM: Preferred List Available", "<3>WNM: Disassociation Imminent - Disassociation Timer 10",
    // "<3>ESS-DISASSOC-IMMINENT 0 1024 http://..."
    const std::size_t start = line.size() > 2 && line[0] == '<' ? line.find('>') + 1 : 0;
    const std::string text = line.substr(std::min(start, line.size()));
    return text.rfind("WNM: Preferred List Available", 0) == 0 ||
           text.rfind("WNM: Disassociation Imminent", 0) == 0 || text.rfind("ESS-DISASSOC-IMMINENT ", 0) == 0;
}

std::string SsidOfRequestIes(const uint8_t* ies, std::size_t len, bool* found) {
    *found = false;
    std::size_t pos = 0;
    while (ies && pos + 2 <= len) {
        const uint8_t id = ies[pos];
        const uint8_t n = ies[pos + 1];
        if (pos + 2 + n > len) break;
        if (id == 0) {
            if (n > 32) break;
            *found = true;
            return std::string(reinterpret_cast<const char*>(ies + pos + 2), n);
        }
        pos += 2 + static_cast<std::size_t>(n);
    }
    return {};
}

void CRoamWatch::LinkSeen(const Bssid& bssid, const std::string& ssid, Clock::time_point now) {
    if (IsZero(bssid) || (bssid == m_Link && ssid == m_strLinkSsid)) return;
    m_Link = bssid;
    m_strLinkSsid = ssid;
    m_nLinkSignal = 0;
    m_LinkAt = now;
}

void CRoamWatch::SteerSeen(Clock::time_point now) {
    if (m_nCount > 0 && m_nTrigger != KCOM_ROAM_BY_AP_REQUEST && now >= m_MoveAt && now - m_MoveAt <= kLateLine) {
        m_nTrigger = KCOM_ROAM_BY_AP_REQUEST;
        return;
    }
    m_SteerAt = now;
}

void CRoamWatch::Dropped(const SDropEvent& drop, Clock::time_point now) {
    m_Drop = drop;
    m_DropAt = now;
    // The user's disconnect ends the link: what connects next is no move of its own.
    if (drop.by == KCOM_DISCONNECT_BY_USER) {
        m_Link = {};
        m_strLinkSsid.clear();
        m_nLinkSignal = 0;
    }
}

void CRoamWatch::Connected(const Bssid& bssid, const std::string& ssid, Clock::time_point now, uint64_t wallMs) {
    if (IsZero(bssid)) return;
    const Bssid from = m_Link;
    const std::string fromSsid = m_strLinkSsid;
    const int fromSignal = m_nLinkSignal;
    const Clock::time_point linkAt = m_LinkAt;
    // The old link ended (a disconnect since it was made), a moment ago or long before.
    const bool ended = m_DropAt != Clock::time_point{} && m_DropAt >= linkAt;
    const bool dropped = ended && Within(m_DropAt, now);
    const bool joined = Within(m_JoinAt, now);
    // The new link is the one the next move starts from.
    m_Link = bssid;
    m_nLinkSignal = 0;
    m_LinkAt = now;
    if (!ssid.empty()) m_strLinkSsid = ssid;
    if (joined || IsZero(from) || from == bssid) return;
    // Another network, or a connection long after the old one ended: no move within a network.
    if (!ssid.empty() && !fromSsid.empty() && ssid != fromSsid) return;
    if (ended && !dropped) return;
    uint32_t trigger = KCOM_ROAM_BY_UNKNOWN;
    const bool apLeft = dropped && ((m_Drop.by == KCOM_DISCONNECT_BY_AP && (m_Drop.reason == 3 || m_Drop.reason == 8)) ||
                                    m_Drop.by == KCOM_DISCONNECT_BY_SIGNAL_LOST);
    if (Within(m_SteerAt, now))
        trigger = KCOM_ROAM_BY_AP_REQUEST;
    else if (apLeft)
        trigger = KCOM_ROAM_BY_AP_GONE;
    else if (dropped && m_Drop.by == KCOM_DISCONNECT_BY_AP)
        return;  // refused or thrown off by the access point: a reconnection, not a move
    else if (m_bRoamsForSignal)
        trigger = KCOM_ROAM_BY_SIGNAL;
    m_SteerAt = {};
    ++m_nCount;
    m_nTrigger = trigger;
    m_From = from;
    m_To = bssid;
    m_nFromSignal = fromSignal;
    m_nTimeMs = wallMs;
    m_MoveAt = now;
}

void CRoamWatch::Fill(uint8_t* p) const {
    std::memset(p, 0, KCOM_ROAM_SIZE);
    std::memcpy(p + KCOM_ROAM_COUNT, &m_nCount, 4);
    if (m_nCount == 0) return;
    std::memcpy(p + KCOM_ROAM_BY, &m_nTrigger, 4);
    std::memcpy(p + KCOM_ROAM_FROM_BSSID, m_From.data(), 6);
    std::memcpy(p + KCOM_ROAM_TO_BSSID, m_To.data(), 6);
    const int32_t signal = m_nFromSignal;
    std::memcpy(p + KCOM_ROAM_FROM_SIGNAL, &signal, 4);
    std::memcpy(p + KCOM_ROAM_TIME, &m_nTimeMs, 8);
}

}  // namespace wavory::kccl
