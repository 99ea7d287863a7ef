#include "shell/UserJoin.h"

#include "base/AppBase.h"
#include "shell/MainWindow.h"

namespace wavory {

namespace {

// Interface thread only.
std::unique_ptr<CConnectAttempt> g_pAttempt;
JoinEndedFn g_fnEnded;

void ShowProgress(const std::string& network) {
    if (IMainWindow* window = theApp.m_pMainWnd) window->JoinProgress(network);
}

// Reports the attempt that has just ended; the slot is free again first, so that the report may
// start the next attempt (the key asked for again).
void Finish() {
    std::unique_ptr<CConnectAttempt> attempt = std::move(g_pAttempt);
    JoinEndedFn ended = std::move(g_fnEnded);
    g_fnEnded = nullptr;
    theApp.m_bJoining = false;
    ShowProgress(std::string());
    if (ended)
        ended(*attempt);
    else if (!attempt->Result().ok)
        theApp.ShowMessage(attempt->Result().failure, EMsgIcon::Warning);
}

}  // namespace

void RunUserAttempt(std::unique_ptr<CConnectAttempt> attempt, JoinEndedFn ended) {
    if (!attempt) return;
    // Connecting is the user's word that the automatic selection may run again after a Disconnect.
    theApp.m_bAutoPaused = false;
    // A running attempt is taken over by the new one at the adapter; it is not reported.
    g_pAttempt = std::move(attempt);
    g_fnEnded = std::move(ended);
    if (g_pAttempt->Ended()) {
        Finish();
        return;
    }
    theApp.m_bJoining = true;
    ShowProgress(g_pAttempt->Network());
}

void AdvanceUserAttempt() {
    if (!g_pAttempt) return;
    if (g_pAttempt->Advance() != CConnectAttempt::EStatus::Joining) Finish();
}

std::string UserAttemptNetwork() { return g_pAttempt ? g_pAttempt->Network() : std::string(); }

void DropUserAttempt() {
    const bool running = g_pAttempt != nullptr;
    g_pAttempt.reset();
    g_fnEnded = nullptr;
    theApp.m_bJoining = false;
    if (running) ShowProgress(std::string());
}

}  // namespace wavory
