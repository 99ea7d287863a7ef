#include "monitor/Poll.h"

#include <algorithm>
#include <set>

#include "base/AppBase.h"
#include "base/DisplayText.h"
#include "base/Trace.h"
#include "driver/CommVar.h"
#include "driver/CommVarList.h"
#include "driver/Request.h"
#include "monitor/HistoryRecorder.h"
#include "profiles/ProfileMngr.h"
#include "survey/Connect.h"
#include "survey/ConnectAttempt.h"
#include "survey/Hotspot.h"
#include "survey/LinkActions.h"
#include "survey/Station.h"
#include "survey/StationMngr.h"

namespace wavory {

namespace {

// Byte totals of the link statistics counters: transmit at 20, 28, 36; receive at 44, 52, 60.
void ByteTotals(const uint8_t* block, uint32_t* rx, uint32_t* tx) {
    *tx = PayloadU32(block, 20) + PayloadU32(block, 28) + PayloadU32(block, 36);
    *rx = PayloadU32(block, 44) + PayloadU32(block, 52) + PayloadU32(block, 60);
}

// Per-mille utilisation of a rate against the full scale, 999 at most.
int32_t Utilisation(uint32_t rateKBps, int fullScale) {
    double u = static_cast<double>(rateKBps) / fullScale * 1000.0;
    if (u > 999.0) u = 999.0;
    return static_cast<int32_t>(u);
}

}  // namespace

CPoll::CPoll() = default;

CPoll::~CPoll() { Stop(); }

void CPoll::SetTiming(std::chrono::milliseconds firstDue, std::chrono::milliseconds period,
                      std::chrono::milliseconds initialDelay) {
    m_FirstDue = firstDue;
    m_Period = period;
    m_InitialDelay = initialDelay;
}

bool CPoll::Start() {
    if (m_Thread.joinable()) return true;
    m_bStop = false;
    // The thread's set-up runs before Start returns, so that the station manager's first scan
    // (created right after) is not undone by a set-up that happens to run later.
    Prepare();
    m_TicksFrom = Clock::now() + std::max(m_InitialDelay, m_FirstDue);
    try {
        m_Thread = std::thread([this] { Run(); });
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

void CPoll::Stop() {
    {
        std::lock_guard lock(m_WaitMutex);
        m_bStop = true;
        m_bDriven = false;
    }
    m_Wake.notify_all();
    if (m_Thread.joinable()) m_Thread.join();
}

int CPoll::ReadIntervalSecs() const {
    const auto ms = static_cast<unsigned>(theApp.GetProfileInt("", "Polling Interval", kDefaultIntervalMs));
    return static_cast<int>(ms / 1000);
}

int CPoll::ReadUtilization() const {
    const int divisor = theApp.GetProfileInt("", "Utilization", kDefaultUtilization);
    // Outside 1..1375 one of the full scales would be zero or negative (or divide by zero).
    if (divisor < 1 || divisor > kLowRateKBps) {
        Trace("\nUtilization %d out of range, using %d", divisor, kDefaultUtilization);
        return kDefaultUtilization;
    }
    return divisor;
}

void CPoll::Prepare() {
    theApp.m_nAutoCountdown = -1;
    theApp.m_bScanning = false;
    m_nTick = 0;
    m_bAdapterPresent = true;
    m_bWasConnected = false;
    ResetStats(true);
    theApp.m_nStatIndex = 0;
    m_nIntervalSecs = ReadIntervalSecs();
}

void CPoll::Run() {
    const Clock::time_point start = Clock::now();
    Trace("\n !!! Polling Timer Created\n");
    std::unique_lock lock(m_WaitMutex);
    // Quiet time after start-up; unlike a plain sleep, a stop request ends it early.
    if (m_Wake.wait_until(lock, start + m_InitialDelay, [this] { return m_bStop; })) return;
    Clock::time_point due = start + m_FirstDue;
    for (;;) {
        if (m_Wake.wait_until(lock, due, [this] { return m_bStop || m_bDriven; })) {
            // The window's timer ticks meanwhile; the thread sleeps until that ends.
            m_bAsleep = true;
            m_Wake.wait(lock, [this] { return m_bStop || !m_bDriven; });
            m_bAsleep = false;
            if (m_bStop) return;
            due = std::max(due, Clock::now() + m_Period);
            continue;
        }
        lock.unlock();
        {
            std::lock_guard tick(m_TickMutex);
            Tick();
        }
        lock.lock();
        // Expiries missed while the tick ran (or during the quiet time) make a single tick.
        const Clock::time_point now = Clock::now();
        while (due <= now) due += m_Period;
    }
}

bool CPoll::SetDriven(bool driven) {
    {
        std::lock_guard lock(m_WaitMutex);
        if (!m_Thread.joinable() || m_bStop) driven = false;
        if (driven == m_bDriven) return driven;
        m_bDriven = driven;
    }
    m_Wake.notify_all();
    return driven;
}

bool CPoll::DrivenTick() {
    {
        std::lock_guard lock(m_WaitMutex);
        if (!m_bDriven || m_bStop) return false;
    }
    if (Clock::now() < m_TicksFrom) return false;
    std::lock_guard tick(m_TickMutex);
    Tick();
    return true;
}

void CPoll::ResetStats(bool fullRatePhy) {
    Trace("\nEnter Reset stats");
    if (!TryEnter(CS_STATS)) return;
    theApp.m_StatHistory.fill(StatSample{});
    theApp.m_RateHistory.fill(StatSample{});
    m_dwLastRx = 0;
    m_dwLastTx = 0;
    m_bFirstSample = true;
    m_nIntervalSecs = 4;
    Leave(CS_STATS);
    m_nFullScale = (fullRatePhy ? kFullRateKBps : kLowRateKBps) / ReadUtilization();
}

void CPoll::BeginScan() {
    theApp.m_bScanning = true;
    m_nIntervalSecs = 4;
}

void CPoll::SetInterval(int seconds) { m_nIntervalSecs = seconds; }

bool CPoll::RequestRefresh(bool value) {
    bool expected = false;
    // Clear: take the value; set: stay set. Either way the old value is returned.
    if (theApp.m_bRefreshRequest.compare_exchange_strong(expected, value)) return false;
    return true;
}

void CPoll::AutoSelect() {
    CStationMngr* stations = theApp.m_pStationMngr;
    CProfileMngr* profiles = theApp.m_pProfileMngr;
    if (!stations || !profiles || m_pAutoAttempt) return;
    // An ad-hoc cell counts as a connection only while the adapter still holds it: after an unplug
    // or a join elsewhere the selection must take over again.
    if (theApp.m_bAdHocApplied && !AdHocCellHeld()) {
        Trace("\nThe ad-hoc cell applied is gone; automatic selection resumes");
        theApp.m_bAdHocApplied = false;
    }
    if (stations->IsConnected() || theApp.m_bAdHocApplied) {
        if (auto current = stations->GetCurrent()) theApp.UpdateTrayTip(current.get());
        return;
    }
    // No new attempt while one is joining: the user's, or another program's at the adapter.
    if (theApp.m_bJoining || theApp.m_bAutoPaused || profiles->GetAutoCount() <= 0) return;
    const SJoinState adapter = ReadJoinState();
    if (adapter.read && adapter.supported && adapter.state == KCOM_JOIN_JOINING) return;
    if (!m_bAdapterPresent) return;  // an attempt now would only fail and use up a member's turn
    // The radio runs a hotspot: no member can join until it stops (a join would end it).
    if (m_bHotspotHold) {
        if (const auto hotspot = ReadHotspot(nullptr); hotspot && hotspot->running) return;
        m_bHotspotHold = false;
        Trace("\nThe hotspot stopped: automatic selection from the top");
        profiles->RestartAutoSelect();
    }
    std::shared_ptr<CProfile> profile = profiles->NextAutoSelect(InRangeTest());
    if (!profile) return;
    m_pAutoAttempt = CConnectAttempt::ForAutoSelect(profile);
    FollowAutoAttempt();
}

std::function<bool(const CProfile&)> CPoll::InRangeTest() const {
    CStationMngr* stations = theApp.m_pStationMngr;
    // Without a scan read there is nothing to go by: every member is tried in its turn.
    if (!stations || !stations->LastMergeRead()) return {};
    std::set<std::string> heard;
    bool nameless = false;
    auto lock = stations->Lock();  // a read-back may change a station's fields meanwhile
    for (const auto& station : stations->Snapshot()) {
        if (!station) continue;
        // A name of zero bytes only is a network that hides its name.
        if (station->NetName.find_first_not_of('\0') == std::string::npos)
            nameless = true;
        else
            heard.insert(station->NetName);
    }
    return [heard = std::move(heard), nameless](const CProfile& profile) {
        // An ad-hoc member starts its own cell where none is heard; a hidden network is not named in
        // a scan, so while one is heard any member may be it.
        return !profile.NetMode || nameless || heard.count(profile.NetName) != 0;
    };
}

void CPoll::WatchAdapter() {
    CStationMngr* stations = theApp.m_pStationMngr;
    CProfileMngr* profiles = theApp.m_pProfileMngr;
    // One read tells both: the connection status, and by its failure whether the adapter is there.
    CCommVarList status;
    status.AddVarExt(OID_CONNECT_STATUS, 0, nullptr, nullptr);
    const bool read = status.RefreshAll(false, false);
    const int result = status.GetVar(0)->m_nLastResult;
    const bool present = read || (result != KCOM_RESULT_NO_LINK && result != KCOM_RESULT_NO_ADAPTER);
    const bool connected = read && Payload(status.GetVar(0)->GetBlock(0))[0] != 0;
    const bool back = present && !m_bAdapterPresent;
    // A connection lost on its own, not one given up for a join of ours.
    const bool lost = m_bWasConnected && !connected && !theApp.m_bJoining && !m_pAutoAttempt;
    m_bAdapterPresent = present;
    m_bWasConnected = connected;
    if (!back && !(lost && present)) return;
    if (back)
        Trace("\nThe adapter is back: scanning, automatic selection from the top");
    else
        Trace("\nThe connection was lost: scanning, automatic selection from the top");
    // The walk starts at the top of the order once the new scan has told which networks are here.
    if (profiles) profiles->RestartAutoSelect();
    if (stations) stations->StartScan();
}

void CPoll::FollowAutoAttempt() {
    if (m_pAutoAttempt->Advance() == CConnectAttempt::EStatus::Joining) return;
    // Joined: the attempt made the profile the connected one. Failed: that profile's turn is done,
    // and the next tick of the selection tries the next one.
    const SJoinResult& result = m_pAutoAttempt->Result();
    if (result.ok) {
        m_strAutoRefusal.clear();
        m_bWasConnected = true;  // a loss from the next tick on is the connection's end
    } else {
        if (result.cause == KCOM_CAUSE_HOTSPOT) {
            Trace("\nA hotspot runs: automatic selection waits until it stops");
            m_bHotspotHold = true;
        }
        // A missing right refuses every member alike: say so once, not on every tick.
        if (!result.refusal.empty() && result.refusal != m_strAutoRefusal)
            Trace("\nAuto-selection of %s refused: %s", DisplayText(m_pAutoAttempt->Network()).c_str(),
                  result.refusal.c_str());
        m_strAutoRefusal = result.refusal;
    }
    m_pAutoAttempt.reset();
}

CPoll::ESample CPoll::SampleStatistics() {
    CCommVarList list;
    list.AddVarExt(OID_STATISTICS, 0, nullptr, nullptr);
    if (!list.RefreshAll(false, false)) return ESample::ReadFailed;
    uint32_t rx = 0, tx = 0;
    ByteTotals(list.GetVar(0)->GetBlock(0), &rx, &tx);
    const Clock::time_point now = m_fnNow();

    if (!TryEnter(CS_STATS)) return ESample::Busy;
    if (m_bFirstSample) {
        m_bFirstSample = false;
        m_dwLastRx = rx;
        m_dwLastTx = tx;
        m_LastSampleTime = now;
    }
    // The rate spans exactly the time since the previous sample, whatever the tick spacing was.
    const auto elapsedMs = std::max<long long>(
        1, std::chrono::duration_cast<std::chrono::milliseconds>(now - m_LastSampleTime).count());
    const int slot = std::clamp(theApp.m_nStatIndex.load(), 0, kStatRingSize - 1);
    const int fullScale = std::max(1, m_nFullScale.load());
    const uint32_t rxDiff = rx - m_dwLastRx;
    const uint32_t txDiff = tx - m_dwLastTx;
    const auto rxRate = static_cast<uint32_t>(rxDiff / static_cast<unsigned long long>(elapsedMs));
    const auto txRate = static_cast<uint32_t>(txDiff / static_cast<unsigned long long>(elapsedMs));
    StatSample& sample = theApp.m_StatHistory[static_cast<std::size_t>(slot)];
    sample.rx = Utilisation(rxRate, fullScale);
    sample.tx = Utilisation(txRate, fullScale);
    theApp.m_RateHistory[static_cast<std::size_t>(slot)] =
        StatSample{static_cast<int32_t>(rxRate), static_cast<int32_t>(txRate)};
    theApp.m_nRxRate = static_cast<int>(rxRate);
    theApp.m_nTxRate = static_cast<int>(txRate);
    Trace("\nSecs %d, Max %d, RxDiff %d, Poll Rx %d Tx %d", m_nTick.load(), fullScale,
          static_cast<int>(rxDiff), sample.rx, sample.tx);
    m_dwLastRx = rx;
    m_dwLastTx = tx;
    m_LastSampleTime = now;
    if (theApp.m_pGraphPage && theApp.m_pStationMngr && theApp.m_pStationMngr->IsConnected())
        theApp.m_pGraphPage->AddPoint(slot);
    theApp.m_nStatIndex = (slot + 1) % kStatRingSize;
    Leave(CS_STATS);
    return ESample::Taken;
}

void CPoll::Tick() {
    ++m_nTicksRun;
    if (m_bRecordOnly) {
        WatchAdapter();
        if (m_pHistory) m_pHistory->Tick(m_bWasConnected);
        return;
    }
    if (theApp.m_nStatIndex < 0) return;

    if (m_pAutoAttempt) FollowAutoAttempt();
    WatchAdapter();
    if (m_pHistory) m_pHistory->Tick(m_bWasConnected);

    if (m_nTick % 3 == 0 && !theApp.m_bScanning && theApp.m_nAutoCountdown < 0) AutoSelect();

    if (!theApp.m_bScanning && m_nTick != 0) {
        const ESample sampled = SampleStatistics();
        if (sampled == ESample::ReadFailed) {
            m_nTick = 0;
            return;
        }
        if (sampled == ESample::Busy) return;  // the sample is lost; the tick count stays
    }

    if (theApp.m_nAutoCountdown == 0) {
        theApp.m_nAutoCountdown = -1;
        auto current = theApp.m_pStationMngr ? theApp.m_pStationMngr->GetCurrent() : nullptr;
        if (current) {
            theApp.m_pStationMngr->ReadBack(current);
            RequestRefresh(true);
        } else {
            theApp.m_nAutoCountdown = 2;
        }
    } else if (theApp.m_nAutoCountdown > 0) {
        --theApp.m_nAutoCountdown;
    }

    if ((m_nTick >= m_nIntervalSecs && theApp.m_nAutoCountdown < 0) || theApp.m_bScanning) {
        RequestRefresh(true);
        m_nTick = 0;
        m_nIntervalSecs = ReadIntervalSecs();
    }
    ++m_nTick;
}

}  // namespace wavory
