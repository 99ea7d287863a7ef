#include "cli/CliSession.h"

#include <chrono>
#include <exception>
#include <thread>

#include "cli/CliSupport.h"
#include "platform/UserSettings.h"
#include "profiles/ProfileMngr.h"
#include "shell/Tessal.h"
#include "survey/Station.h"
#include "survey/StationMngr.h"

namespace wavory::cli {

void CMessageCollector::ShowMessage(const std::string& text, EMsgIcon /*icon*/) {
    m_Messages.push_back(text);
}

std::vector<std::string> CMessageCollector::Take() {
    std::vector<std::string> out;
    out.swap(m_Messages);
    return out;
}

CCliSession::CCliSession(EAccess access) : m_nUncaught(std::uncaught_exceptions()), m_Access(access) {
    std::string error;
    m_pStore = OpenUserSettings(error);
    if (!m_pStore) Fail(error);
    m_pView = std::make_unique<CCliRegistry>(*m_pStore);
    m_pView->SetReadOnly(access == EAccess::ReadOnly);
    theApp.m_pRegistry = m_pView.get();
    theApp.m_pMessages = &m_Messages;
    // No polling thread: nothing samples in the background, and the core checks for its absence.
    theApp.m_pPoll = nullptr;
    theApp.m_bAdHocApplied = false;
    if (access == EAccess::Settings) BeginChange();
}

CCliSession::~CCliSession() noexcept(false) {
    const bool failing = std::uncaught_exceptions() > m_nUncaught;
    bool stored = true;
    if (m_bChanging) {
        // A command that fails leaves the store as it was.
        if (failing) m_pView->CancelUpdate();
        stored = m_pView->EndUpdate() || failing;
    }
    // Nothing a failed command's managers write on their way out is kept either.
    if (failing) m_pView->SetReadOnly(true);
    // The order of the window's shutdown: stations, then profiles, then the link.
    if (theApp.m_pProfileMngr) theApp.m_pProfileMngr->m_fnCurrentStation = nullptr;
    delete theApp.m_pStationMngr;
    theApp.m_pStationMngr = nullptr;
    delete theApp.m_pProfileMngr;
    theApp.m_pProfileMngr = nullptr;
    theApp.DisconnectDriver();
    theApp.m_pMessages = nullptr;
    theApp.m_pRegistry = nullptr;
    if (!stored)
        throw CCliError(kExitFailed,
                        "the change could not be stored in the settings file " + m_pStore->FileName());
}

void CCliSession::BeginChange() {
    if (m_bChanging || m_Access == EAccess::ReadOnly) return;
    m_bChanging = true;
    m_pView->BeginUpdate();
    // What was read before the change began may be out of date by now.
    if (theApp.m_pProfileMngr) theApp.m_pProfileMngr->LoadAll(false);
}

bool CCliSession::TryAdapter() { return theApp.m_bDriverConnected || theApp.ConnectDriver(); }

void CCliSession::RequireAdapter() {
    if (!TryAdapter()) Fail("no adapter found (the driver link could not be opened)");
}

CProfileMngr& CCliSession::Profiles() {
    if (m_Access == EAccess::Profiles) BeginChange();
    if (!theApp.m_pProfileMngr) {
        theApp.m_pProfileMngr = new CProfileMngr();
        theApp.m_pProfileMngr->m_fnCurrentStation = []() -> std::shared_ptr<CProfile> {
            return theApp.m_pStationMngr ? theApp.m_pStationMngr->GetCurrent() : nullptr;
        };
    }
    return *theApp.m_pProfileMngr;
}

CStationMngr& CCliSession::Stations() {
    // Created after the profile manager, as at start-up: a lost connection found by a merge tells it.
    Profiles();
    if (!theApp.m_pStationMngr) theApp.m_pStationMngr = new CStationMngr();
    return *theApp.m_pStationMngr;
}

std::string CCliSession::LastMessageOr(const std::string& fallback) {
    const std::vector<std::string> shown = m_Messages.Take();
    return shown.empty() ? fallback : shown.back();
}

}  // namespace wavory::cli
