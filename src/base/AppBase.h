// The application object as every subsystem sees it: the driver link, the shared flags and counters
// of the two threads, the locks, the statistics block, the managers and the platform services.
// There is exactly one, `theApp`; the application shell derives from this class and supplies
// start-up, shutdown, the main tick and the tray tip.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "base/History.h"
#include "base/Locks.h"
#include "base/Messages.h"

namespace wavory {

class CCardMngr;
class CProfileMngr;
class CStationMngr;
class CPoll;
class CStation;
class IMainWindow;
class IPollControl;
class IRegistry;
class IServiceControl;

// One utilisation sample in per mille, receive first.
struct StatSample {
    int32_t rx = 0;
    int32_t tx = 0;
};

inline constexpr int kStatRingSize = 20;

// Receives each new utilisation sample (the statistics page's graph).
class IGraphSink {
public:
    virtual ~IGraphSink() = default;
    // Called on the polling thread under the statistics lock, with the ring slot just filled.
    virtual void AddPoint(int slot) = 0;
};

class CAppBase {
public:
    CAppBase();
    virtual ~CAppBase();
    CAppBase(const CAppBase&) = delete;
    CAppBase& operator=(const CAppBase&) = delete;

    // Start-up in the designed order, then the window, then shutdown. Returns the exit code.
    virtual bool InitInstance(IMainWindow* window) = 0;
    virtual int ExitInstance() = 0;
    // The work of the interface thread's timer: reload what another program changed in the settings
    // store, merge a requested scan, refresh the pages.
    virtual void OnMainTick() = 0;
    // Tray tip for the connected station (or "Not Connected" without one).
    virtual void UpdateTrayTip(const CStation* station) = 0;
    // The polling thread as the station manager drives it; null while there is none.
    virtual IPollControl* GetPollControl() = 0;

    // Opens the driver link ("SEARCH"); an exception counts as not connected.
    bool ConnectDriver();
    // Closes the link if it is open.
    void DisconnectDriver();

    CGatedLock& Lock(int selector) { return selector == CS_MAIN ? m_MainLock : m_StatsLock; }

    // The application's profile calls; without a store they answer the default and fail to write.
    int GetProfileInt(std::string_view section, std::string_view entry, int def) const;
    std::string GetProfileString(std::string_view section, std::string_view entry,
                                 std::string_view def) const;
    bool WriteProfileInt(std::string_view section, std::string_view entry, int value);
    bool WriteProfileString(std::string_view section, std::string_view entry, std::string_view value);

    // Message box through the user interface (or the command line); ignored when none is set.
    void ShowMessage(const std::string& text, EMsgIcon icon = EMsgIcon::Information);

    std::string GetTrayTip() const;
    void SetTrayTip(const std::string& tip);

    // Shared between the interface thread and the polling thread.
    std::atomic<bool> m_bAdHocApplied{false};
    std::atomic<bool> m_bDriverConnected{false};
    // Result of the last call into the driver library: 0, or the library's reason for a failure
    // (KCOM_RESULT_BUSY, KCOM_RESULT_NO_LINK, ...), so that a failure can be told to the user.
    std::atomic<int> m_nDriverResult{0};
    std::atomic<bool> m_bScanning{false};
    std::atomic<bool> m_bRefreshRequest{false};
    std::atomic<int> m_nAutoCountdown{-1};
    // A connection attempt the user started is running (the polling thread then starts none).
    std::atomic<bool> m_bJoining{false};
    // The user disconnected: the automatic selection joins nothing until the user connects again.
    std::atomic<bool> m_bAutoPaused{false};

    CCardMngr* m_pCardMngr = nullptr;
    CProfileMngr* m_pProfileMngr = nullptr;
    CStationMngr* m_pStationMngr = nullptr;
    CPoll* m_pPoll = nullptr;
    // Opens the connection history the polling thread records into (set by the program before
    // start-up; empty: no history is kept).
    std::function<std::shared_ptr<IHistoryStore>()> m_fnOpenHistory;

    // Statistics block: the ring, its index, the rates and the graph target are guarded by CS_STATS;
    // the index and rates are also read without it, hence atomic.
    std::atomic<int> m_nStatIndex{0};
    std::array<StatSample, kStatRingSize> m_StatHistory{};
    // The same samples as throughput in KB/s, slot for slot: what the statistics page plots, since
    // a utilisation of 54 Mbit/s says little about a link of a gigabit.
    std::array<StatSample, kStatRingSize> m_RateHistory{};
    std::atomic<int> m_nRxRate{0};
    std::atomic<int> m_nTxRate{0};
    IGraphSink* m_pGraphPage = nullptr;

    // The main window while it exists.
    std::atomic<IMainWindow*> m_pMainWnd{nullptr};

    // Platform services, set by the program before start-up.
    IRegistry* m_pRegistry = nullptr;
    IMessageSink* m_pMessages = nullptr;
    IServiceControl* m_pServiceControl = nullptr;

private:
    CGatedLock m_MainLock{"CS_MAIN", true};
    CGatedLock m_StatsLock{"CS_STATS", false};
    mutable std::mutex m_TipMutex;
    std::string m_strTrayTip;
};

// The one application object, defined by the application shell.
extern CAppBase& theApp;

}  // namespace wavory
