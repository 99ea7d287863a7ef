// Start-up and shutdown of the application object, the main tick and the tray tip.
#include <cctype>
#include <functional>

#include "base/DisplayText.h"
#include "base/Registry.h"
#include "base/ServiceControl.h"
#include "base/Trace.h"
#include "driver/Card.h"
#include "monitor/HistoryRecorder.h"
#include "monitor/Poll.h"
#include "profiles/ProfileMngr.h"
#include "shell/MainWindow.h"
#include "shell/Tessal.h"
#include "shell/UserJoin.h"
#include "survey/LinkActions.h"
#include "survey/Station.h"
#include "survey/StationMngr.h"

namespace wavory {

bool CTessalApp::InitInstance(IMainWindow* window) {
    m_bDriverConnected = ConnectDriver();  // a failure is silent: every request tries again
    m_bAdHocApplied = false;
    m_bAutoPaused = false;
    if (m_pServiceControl) StopServiceAndDependents(*m_pServiceControl, "wzcsvc");

    m_pGraphPage = nullptr;
    m_pMainWnd = nullptr;
    m_pPoll = new CPoll();
    m_pHistory = StartHistory(m_fnOpenHistory);
    m_pPoll->SetHistory(m_pHistory);
    if (!m_pPoll->Start()) {
        delete m_pPoll;
        m_pPoll = nullptr;  // start-up goes on without polling
    }

    m_pCardMngr = new CCardMngr();
    m_pProfileMngr = new CProfileMngr();
    m_pProfileMngr->m_fnCurrentStation = [this]() -> std::shared_ptr<CProfile> {
        return m_pStationMngr ? m_pStationMngr->GetCurrent() : nullptr;
    };
    m_pStationMngr = new CStationMngr();
    Trace("\n !!! Main Timer Created\n");

    if (window) {
        m_pMainWnd = window;
        window->Run();
        m_pMainWnd = nullptr;
    }
    return false;
}

int CTessalApp::ExitInstance() {
    while (!TryEnter(CS_MAIN)) {
    }
    DropUserAttempt();
    if (m_pPoll) {
        m_pPoll->Stop();
        delete m_pPoll;
        m_pPoll = nullptr;
    }
    StopHistory();
    m_pHistory.reset();
    Leave(CS_MAIN);

    if (m_pProfileMngr) m_pProfileMngr->m_fnCurrentStation = nullptr;
    delete m_pStationMngr;
    m_pStationMngr = nullptr;
    delete m_pProfileMngr;  // saves every profile
    m_pProfileMngr = nullptr;
    delete m_pCardMngr;
    m_pCardMngr = nullptr;
    DisconnectDriver();
    return 0;
}

void CTessalApp::OnMainTick() {
    if (!TryEnter(CS_MAIN)) return;
    // One look at the store per tick (its data version); the tick's own reads use what it found.
    struct SReadGroup {
        IRegistry* registry;
        ~SReadGroup() {
            if (registry) registry->EndRead();
        }
    } read{m_pRegistry};
    bool changed = false;
    if (m_pRegistry) {
        m_pRegistry->BeginRead();
        const uint64_t changes = m_pRegistry->ChangeCount();
        changed = changes != m_nSeenChanges;
        m_nSeenChanges = changes;
    }
    if (changed && m_pProfileMngr && !m_pProfileMngr->Reload() && !m_bUnreadableTold) {
        // The window keeps showing what it had; the user learns once that the store failed.
        m_bUnreadableTold = true;
        ShowMessage(
            "The settings could not be read again: the settings file is damaged or cannot be read. The "
            "window "
            "shows the profiles as they were; start the utility again to go back to the last copy.",
            EMsgIcon::Warning);
    }
    // A running connection attempt: one look, and its end reported (its steps request a refresh).
    AdvanceUserAttempt();
    if (m_pHistory) {
        // The history is the user's too: what went wrong with its file is said, each failure once.
        std::string error = m_pHistory->TakeError();
        if (!error.empty() && error != m_strHistoryTold) {
            m_strHistoryTold = error;
            error[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(error[0])));
            ShowMessage(error + ".", EMsgIcon::Warning);
        }
    }
    if (IMainWindow* window = m_pMainWnd) {
        if (changed) window->SettingsChanged();
        if (m_bRefreshRequest.exchange(false)) {
            // The adapter is shared: other programs' scans keep its status at "scanning", so our
            // own scan counts as done once it has outlived the longest a scan takes.
            if (m_pStationMngr && (!m_pStationMngr->MergeScan() || m_pStationMngr->ScanOverdue()))
                m_bScanning = false;
            window->RefreshPages(false, true);
            if (window->IsSiteVisible()) window->RefreshSiteList();
        } else {
            window->RefreshPages(false, false);
        }
    }
    Leave(CS_MAIN);
}

void CTessalApp::UpdateTrayTip(const CStation* station) {
    // The network's name as a person reads it: control bytes escaped, and every byte kept (a zero
    // byte would end a "%s").
    // A hidden network joined from its nameless row: the adapter names it.
    std::string name = station ? station->NetName : std::string();
    if (station && name.empty()) name = ConnectedNetworkName();
    const std::string tip = station ? "Wavory Utility\nConnected to:\n" + DisplayText(name)
                                    : std::string("Wavory Utility\nNot Connected");
    SetTrayTip(tip);
    if (IMainWindow* window = m_pMainWnd) window->SetTrayTip(tip);
}

}  // namespace wavory
