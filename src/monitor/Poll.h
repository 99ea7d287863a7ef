// The polling thread: once a second it samples the link statistics into rates and utilisation,
// tries the next auto-selection profile while the adapter has no connection, reads a new
// connection back two ticks later and, at the end of each reporting interval, asks the main tick
// for a full refresh.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "survey/PollControl.h"

namespace wavory {

class CConnectAttempt;
class CHistoryRecorder;
class CProfile;

class CPoll : public IPollControl {
public:
    using Clock = std::chrono::steady_clock;

    static constexpr int kDefaultIntervalMs = 10000;
    static constexpr int kDefaultUtilization = 3;
    static constexpr int kFullRateKBps = 6750;  // 54 Mbit/s in KB (1000 bytes) per second
    static constexpr int kLowRateKBps = 1375;   // 11 Mbit/s

    CPoll();
    ~CPoll() override;
    CPoll(const CPoll&) = delete;
    CPoll& operator=(const CPoll&) = delete;

    // Records the connection history from each tick (set before Start; may be null).
    void SetHistory(std::shared_ptr<CHistoryRecorder> history) { m_pHistory = std::move(history); }
    // Recording only: each tick watches the adapter and feeds the history, and nothing else (no
    // statistics, no automatic selection, no scan): another program runs the interface.
    void SetRecordOnly(bool recordOnly) { m_bRecordOnly = recordOnly; }
    // Starts the thread; false when it could not be created.
    bool Start();
    // Signals the thread to stop and waits until it has ended.
    void Stop();

    // Clears the history and sets the full scale for the PHY just joined (false = 802.11b).
    void ResetStats(bool fullRatePhy) override;
    // A site-survey scan is running: refresh every tick, no statistics.
    void BeginScan() override;
    // Reporting interval in seconds until the end of the current interval.
    void SetInterval(int seconds) override;
    // Test-and-set of the refresh request; returns the old value.
    bool RequestRefresh(bool value);

    // The thread's set-up (everything before the first wait) and one tick; public so that tests
    // can drive the thread's work without sleeping whole seconds.
    void Prepare();
    void Tick();

    // While the window is hidden its timer runs the ticks (DrivenTick) and the thread sleeps until
    // told otherwise: an idle utility then wakes once a second, not twice. Takes effect only while
    // the thread runs; returns whether it did.
    bool SetDriven(bool driven);
    bool IsDriven() const { return m_bDriven; }
    // The thread sleeps while driven: no tick of its own is running or about to run.
    bool ThreadAsleep() const { return m_bAsleep; }
    // Ticks run so far, by either thread.
    int TicksRun() const { return m_nTicksRun; }
    // One tick in the caller's thread while driven, after the thread's quiet time; false (and
    // nothing done) otherwise. Never overlaps a tick of the thread's own.
    bool DrivenTick();

    // Timing of the thread: first expiry, period and the quiet time after start-up.
    void SetTiming(std::chrono::milliseconds firstDue, std::chrono::milliseconds period,
                   std::chrono::milliseconds initialDelay);
    // Clock used for the elapsed time of a rate (tests replace it).
    void SetClock(std::function<Clock::time_point()> now) { m_fnNow = std::move(now); }

    int GetIntervalSecs() const { return m_nIntervalSecs; }
    int GetFullScale() const { return m_nFullScale; }
    int GetTickCount() const { return m_nTick; }
    // The automatic selection has an attempt running (for tests; polling thread's view).
    bool AutoAttemptRunning() const { return m_pAutoAttempt != nullptr; }

private:
    void Run();
    void AutoSelect();
    // Whether a member's network was heard in the last scan read (none: every member is).
    std::function<bool(const CProfile&)> InRangeTest() const;
    // Notices the adapter coming back and a connection lost on its own: a scan starts at once, and
    // the automatic selection walks the order from the top again.
    void WatchAdapter();
    // One look at the automatic selection's running attempt; when it has ended, its report.
    void FollowAutoAttempt();
    enum class ESample { ReadFailed, Busy, Taken };
    ESample SampleStatistics();
    int ReadIntervalSecs() const;
    int ReadUtilization() const;

    std::thread m_Thread;
    std::mutex m_WaitMutex;
    std::condition_variable m_Wake;
    bool m_bStop = false;
    // Set and read under the wait lock; atomic for IsDriven.
    std::atomic<bool> m_bDriven{false};
    std::atomic<bool> m_bAsleep{false};
    std::atomic<int> m_nTicksRun{0};
    // One tick at a time, whichever thread runs it.
    std::mutex m_TickMutex;
    // The first tick is due then (the quiet time after start-up).
    Clock::time_point m_TicksFrom{};
    // The refusal last traced for the automatic selection (the ticking thread only).
    std::string m_strAutoRefusal;
    // What the last tick saw of the adapter (the ticking thread only).
    bool m_bAdapterPresent = true;
    bool m_bWasConnected = false;
    // A member was refused because the radio runs a hotspot: no attempts until it stops.
    bool m_bHotspotHold = false;
    // The automatic selection's attempt while the adapter joins (the ticking thread only).
    std::shared_ptr<CHistoryRecorder> m_pHistory;
    std::atomic<bool> m_bRecordOnly{false};
    std::unique_ptr<CConnectAttempt> m_pAutoAttempt;

    std::chrono::milliseconds m_FirstDue{100};
    std::chrono::milliseconds m_Period{1000};
    std::chrono::milliseconds m_InitialDelay{5000};
    std::function<Clock::time_point()> m_fnNow = [] { return Clock::now(); };

    // Touched by both threads through the public operations.
    std::atomic<int> m_nIntervalSecs{10};
    std::atomic<int> m_nFullScale{kFullRateKBps / kDefaultUtilization};
    std::atomic<int> m_nTick{0};

    // Guarded by the statistics lock.
    uint32_t m_dwLastTx = 0;
    uint32_t m_dwLastRx = 0;
    bool m_bFirstSample = true;
    Clock::time_point m_LastSampleTime{};
};

}  // namespace wavory
