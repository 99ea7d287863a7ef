#include "monitor/HistoryRecorder.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <thread>

#include "base/AppBase.h"
#include "base/Trace.h"
#include "driver/AirText.h"
#include "driver/CommVar.h"
#include "driver/CommVarList.h"
#include "driver/Converters.h"
#include "driver/Request.h"
#include "kccl_oid.h"
#include "survey/ConnectAttempt.h"

namespace wavory {

namespace {

// An event where the look found the station: network, access point, band, signal, security.
SHistoryEvent AtLink(SHistoryEvent::EKind kind, const SLinkLook& look, int64_t nowMs) {
    SHistoryEvent e;
    e.kind = kind;
    e.timeMs = nowMs;
    e.ssid = look.ssid;
    e.bssid = look.bssid;
    e.freqMHz = look.freqMHz;
    e.signalDbm = look.signalDbm;
    e.security = look.security;
    return e;
}

constexpr int64_t kMinuteMs = 60000;

int64_t NowMs() {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

std::string Dashed(const uint8_t* mac) {
    char text[18];
    std::snprintf(text, sizeof text, "%02X-%02X-%02X-%02X-%02X-%02X", mac[0], mac[1], mac[2], mac[3], mac[4],
                  mac[5]);
    return text;
}

std::mutex g_HistoryMutex;
std::shared_ptr<CHistoryRecorder> g_pHistory;

}  // namespace

CHistoryRecorder::CHistoryRecorder(OpenFn open) : m_fnOpen(std::move(open)) {}

void CHistoryRecorder::Add(const SHistoryEvent& event) {
    if (m_fnOpen) {
        // Once: an error of the opening (or a damaged file set aside) is told from here on.
        m_pDb = m_fnOpen();
        m_fnOpen = nullptr;
        if (m_pDb) m_strError = m_pDb->Error();
    }
    if (!m_pDb) return;
    if (!m_pDb->Add(event)) {
        m_strError = m_pDb->Error();
        Trace("\nHistory: %s", m_strError.c_str());
    }
}

std::string CHistoryRecorder::TakeError() {
    std::lock_guard lock(m_Mutex);
    std::string error = std::move(m_strError);
    m_strError.clear();
    return error;
}

void CHistoryRecorder::RecordDrop(const SLastDisconnect& drop) {
    SHistoryEvent e;
    e.kind = SHistoryEvent::EKind::Disconnect;
    e.timeMs = drop.timeMs;
    e.ssid = drop.ssid;
    e.bssid = drop.bssid;
    // The band and signal of the access point left, where the last look was at it.
    if (m_Link.connected && m_Link.ssid == drop.ssid) {
        e.freqMHz = m_Link.freqMHz;
        e.signalDbm = m_Link.signalDbm;
        e.security = m_Link.security;
        if (e.bssid.empty()) e.bssid = m_Link.bssid;
    }
    e.initiator = kccl::InitiatorKey(drop.initiator);
    e.reason = static_cast<int>(drop.reason);
    e.detail = drop.Sentence();
    Add(e);
    NoteEnded(e);
}

bool CHistoryRecorder::RoamThroughDrop(const SLinkLook& look, int64_t nowMs) const {
    const SHistoryEvent& ended = m_Ended;
    if (m_bJoinedSinceEnd || ended.ssid.empty() || ended.ssid != look.ssid || look.bssid.empty() ||
        ended.bssid.empty() || ended.bssid == look.bssid || nowMs - ended.timeMs > kRoamThroughDropMs)
        return false;
    // The access point left the network (reason 3, or 8 leaving the BSS) or was no longer heard, or
    // this machine left it itself; a refusal (a handshake that failed, say) is no roam.
    const bool apLeft = ended.initiator == "access-point" && (ended.reason == 3 || ended.reason == 8);
    const bool localMove = ended.initiator == "this-machine" &&
                           (ended.reason == 0 || ended.reason == 1 || ended.reason == 3);
    return apLeft || localMove || ended.initiator == "signal-lost";
}

void CHistoryRecorder::NoteEnded(const SHistoryEvent& e) {
    m_Ended = e;
    m_bJoinedSinceEnd = false;
}

void CHistoryRecorder::AddRoam(SHistoryEvent& e, SLastRoam::ETrigger trigger) {
    e.cause = RoamTriggerKey(trigger);
    e.detail = "Moved to another access point of the network";
    if (!BandOfFrequency(e.prevFreqMHz).empty() && BandOfFrequency(e.prevFreqMHz) != BandOfFrequency(e.freqMHz))
        e.detail += ", from " + BandOfFrequency(e.prevFreqMHz) + " to " + BandOfFrequency(e.freqMHz);
    const std::string why = RoamTriggerText(trigger);
    e.detail += why.empty() ? "." : ": " + why + ".";
    Add(e);
}

void CHistoryRecorder::FlushMinute() {
    if (m_nSamples > 0 && m_nMinute >= 0) {
        SHistoryEvent e;
        e.kind = SHistoryEvent::EKind::Link;
        e.timeMs = m_nLastSampleMs;
        e.ssid = m_Link.ssid;
        e.bssid = m_Link.bssid;
        e.freqMHz = m_Link.freqMHz;
        e.signalDbm = static_cast<int>(m_nSigSum / m_nSamples);
        e.signalMin = m_nSigMin;
        e.signalMax = m_nSigMax;
        e.signalMean = e.signalDbm;
        e.txKbps = m_nTxSum / m_nSamples;
        e.rxKbps = m_nRxSum / m_nSamples;
        e.key = "link:" + std::to_string(m_nMinute);
        Add(e);
    }
    m_nSamples = 0;
    m_nSigSum = m_nTxSum = m_nRxSum = 0;
}

void CHistoryRecorder::Observe(const SLinkLook& look, int64_t nowMs) {
    std::lock_guard lock(m_Mutex);
    const bool first = !m_bSeen;
    m_bSeen = true;
    const uint32_t dropCount = look.lastDrop ? look.lastDrop->count : 0;
    // A connection that ended since the last look, as the adapter recorded it. At the first look
    // the adapter's record is old news.
    const bool newDrop = !first && look.lastDrop && dropCount != m_nDropCount && dropCount != 0;
    if (look.lastDrop) m_nDropCount = dropCount;

    // The minute summed up so far belongs to the link as it was.
    const int64_t minute = nowMs / kMinuteMs;
    if (m_nMinute >= 0 && (minute != m_nMinute || !look.connected || look.ssid != m_Link.ssid)) FlushMinute();
    m_nMinute = minute;

    const bool wasConnected = m_Link.connected && !first;
    if (newDrop) RecordDrop(*look.lastDrop);
    if (wasConnected && !look.connected && !newDrop) {
        // Ended without the adapter saying how: the user's Disconnect, or the link just went.
        SHistoryEvent e = AtLink(SHistoryEvent::EKind::Disconnect, m_Link, nowMs);
        e.initiator = kccl::InitiatorKey(look.userDisconnected ? kccl::EInitiator::User : kccl::EInitiator::Unknown);
        e.detail = kccl::DisconnectSentence(0, look.userDisconnected ? kccl::EInitiator::User
                                                                      : kccl::EInitiator::Unknown);
        Add(e);
        NoteEnded(e);
    }
    if (look.connected) {
        const bool sameNetwork = wasConnected && !newDrop && look.ssid == m_Link.ssid;
        if (sameNetwork && !look.bssid.empty() && !m_Link.bssid.empty() && look.bssid != m_Link.bssid) {
            SHistoryEvent e = AtLink(SHistoryEvent::EKind::Roam, look, nowMs);
            e.prevBssid = m_Link.bssid;
            e.prevFreqMHz = m_Link.freqMHz;
            e.prevSignalDbm = m_Link.signalDbm;
            // Why, where the adapter tells it for this very move.
            SLastRoam::ETrigger trigger = SLastRoam::ETrigger::Unknown;
            if (look.lastRoam && look.lastRoam->toBssid == look.bssid && look.lastRoam->fromBssid == m_Link.bssid) {
                trigger = look.lastRoam->trigger;
                if (look.lastRoam->fromSignalDbm != 0) e.prevSignalDbm = look.lastRoam->fromSignalDbm;
            }
            AddRoam(e, trigger);
        } else if (!sameNetwork && RoamThroughDrop(look, nowMs)) {
            // Back on the same network through another access point, by nobody's join, after the
            // access point went away or this machine left it: a roam that went through a
            // disconnect (wpa_supplicant moves so after a BSS transition request, for one).
            SHistoryEvent e = AtLink(SHistoryEvent::EKind::Roam, look, nowMs);
            e.prevBssid = m_Ended.bssid;
            e.prevFreqMHz = m_Ended.freqMHz;
            e.prevSignalDbm = m_Ended.signalDbm;
            const bool gone = m_Ended.initiator != "this-machine";
            SLastRoam::ETrigger trigger = gone ? SLastRoam::ETrigger::ApGone : SLastRoam::ETrigger::Unknown;
            // The adapter may know better: an access point's request to move is followed by this
            // machine leaving it.
            if (look.lastRoam && look.lastRoam->toBssid == look.bssid && look.lastRoam->fromBssid == m_Ended.bssid &&
                look.lastRoam->trigger != SLastRoam::ETrigger::Unknown) {
                trigger = look.lastRoam->trigger;
                if (look.lastRoam->fromSignalDbm != 0) e.prevSignalDbm = look.lastRoam->fromSignalDbm;
            }
            AddRoam(e, trigger);
            m_Ended = SHistoryEvent{};
        } else if (!sameNetwork) {
            SHistoryEvent e = AtLink(SHistoryEvent::EKind::Connect, look, nowMs);
            e.detail = "Connected.";
            Add(e);
        }
        if (look.signalDbm != 0) {
            if (m_nSamples == 0 || look.signalDbm < m_nSigMin) m_nSigMin = look.signalDbm;
            if (m_nSamples == 0 || look.signalDbm > m_nSigMax) m_nSigMax = look.signalDbm;
            m_nSigSum += look.signalDbm;
            m_nTxSum += look.txKbps;
            m_nRxSum += look.rxKbps;
            ++m_nSamples;
            m_nLastSampleMs = nowMs;
        }
    }
    m_Link = look;
    m_Link.lastDrop.reset();
}

void CHistoryRecorder::JoinEnded(const CConnectAttempt& attempt, int64_t nowMs) {
    // Going back after a cancelled join is no join of the user's.
    if (attempt.Kind() == CConnectAttempt::EKind::Restore || attempt.Kind() == CConnectAttempt::EKind::Security)
        return;
    const SJoinResult& result = attempt.Result();
    SHistoryEvent e;
    e.kind = SHistoryEvent::EKind::Join;
    e.timeMs = nowMs;
    e.ssid = attempt.Network();
    e.security = attempt.WpaMode() ? WpaModeName(attempt.WpaMode()) : "";
    e.outcome = result.ok ? "joined" : "failed";
    e.cause = result.ok ? "" : JoinCauseKey(result.cause);
    e.durationMs = attempt.Took().count();
    if (!result.ok) {
        // The message's line that names the cause; the first line is the dialog's general one.
        const std::size_t newline = result.failure.find('\n');
        e.detail = newline == std::string::npos ? result.failure : result.failure.substr(newline + 1);
    } else {
        e.detail = "Joined.";
        // Where it joined: the access point and band the adapter chose (or the profile pinned). A
        // read that finds the adapter busy or not yet answering for the new link is made again.
        SLinkLook look = ReadLinkLook();
        for (int retry = 0; retry < 2 && !(look.connected && look.ssid == e.ssid && !look.bssid.empty());
             ++retry) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            look = ReadLinkLook();
        }
        if (look.connected && look.ssid == e.ssid) {
            e.bssid = look.bssid;
            e.freqMHz = look.freqMHz;
            e.signalDbm = look.signalDbm;
        }
    }
    std::lock_guard lock(m_Mutex);
    m_bJoinedSinceEnd = true;
    Add(e);
}

bool CHistoryRecorder::Tick(bool connected) {
    bool due;
    {
        std::lock_guard lock(m_Mutex);
        due = !m_bSeen || connected != m_bWasConnected || (connected && ++m_nTicks >= kLookEveryTicks);
        if (due) m_nTicks = 0;
        m_bWasConnected = connected;
    }
    if (!due) return false;
    SLinkLook look = connected ? ReadLinkLook() : SLinkLook{};
    look.connected = look.connected && connected;
    bool askRoam = false;
    {
        std::lock_guard lock(m_Mutex);
        const bool moved = look.connected && !look.bssid.empty() && !m_Link.bssid.empty() &&
                           look.bssid != m_Link.bssid && look.ssid == m_Link.ssid;
        const bool backElsewhere = look.connected && !look.bssid.empty() && !m_Ended.bssid.empty() &&
                                   look.ssid == m_Ended.ssid && look.bssid != m_Ended.bssid;
        // At the first look too: an adapter may watch for the reasons of moves only once asked.
        askRoam = !m_bSeen || moved || backElsewhere;
    }
    // Another access point of the same network: the adapter may tell why it moved.
    if (askRoam) look.lastRoam = ReadLastRoam();
    // The adapter's record of a drop: at the first look (its count is the base) and whenever the
    // link went down or came back (a drop and a new join between two looks).
    look.lastDrop = ReadLastDisconnect();
    look.userDisconnected = theApp.m_bAutoPaused;
    Observe(look, NowMs());
    return true;
}

SLinkLook ReadLinkLook() {
    SLinkLook look;
    CCommVarList list;
    list.AddVarExt(OID_CONNECT_STATUS, 0, nullptr, nullptr);
    list.AddVarExt(OID_SSID_QUERY, 0, nullptr, nullptr);
    list.AddVarExt(OID_BSSID, 0, nullptr, nullptr);
    if (!list.RefreshAll(false, false) || Payload(list.GetVar(0)->GetBlock(0))[0] == 0) return look;
    look.connected = true;
    const uint8_t* ssid = Payload(list.GetVar(1)->GetBlock(0));
    look.ssid.assign(reinterpret_cast<const char*>(ssid + 1), std::min<std::size_t>(ssid[0], 32));
    const uint8_t* bssid = Payload(list.GetVar(2)->GetBlock(0));
    static const uint8_t kNone[6] = {};
    if (std::memcmp(bssid, kNone, 6) != 0) look.bssid = Dashed(bssid);
    if (const std::optional<SLinkInfo> info = ReadLinkInfo()) {
        look.freqMHz = static_cast<int>(info->freqMHz);
        if (info->signalDbm != INT32_MIN) look.signalDbm = info->signalDbm;
        look.security = LinkSecurityText(info->securityKind, info->eapMethod);
        look.txKbps = static_cast<int64_t>(info->txRate100k) * 100;
        look.rxKbps = static_cast<int64_t>(info->rxRate100k) * 100;
    }
    return look;
}

bool HistoryWanted() {
    const char* off = std::getenv("WAVORY_HISTORY");
    return !(off && std::strcmp(off, "off") == 0);
}

std::shared_ptr<CHistoryRecorder> StartHistory(CHistoryRecorder::OpenFn open) {
    if (!open || !HistoryWanted()) return nullptr;
    auto recorder = std::make_shared<CHistoryRecorder>(std::move(open));
    {
        std::lock_guard lock(g_HistoryMutex);
        g_pHistory = recorder;
    }
    SetJoinObserver([](const CConnectAttempt& attempt) {
        std::shared_ptr<CHistoryRecorder> history;
        {
            std::lock_guard lock(g_HistoryMutex);
            history = g_pHistory;
        }
        if (history) history->JoinEnded(attempt, NowMs());
    });
    return recorder;
}

void StopHistory() {
    SetJoinObserver(nullptr);
    std::lock_guard lock(g_HistoryMutex);
    g_pHistory.reset();
}

}  // namespace wavory
