#include "cli/CliSession.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <thread>

#include "cli/CliSupport.h"
#include "kccl.h"
#include "platform/UserSettings.h"
#include "profiles/ProfileMngr.h"
#include "shell/Tessal.h"
#include "store/SqliteRegistry.h"
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
    SStoreOpening opening = OpenUserSettings();
    if (opening.damaged)
        throw CCliError(kExitFailed, opening.notice.empty() ? opening.error : opening.notice, "settings",
                        "store_damaged");
    if (!opening.store) Fail(opening.error);
    // What the user must know about the store on the way (settings of an earlier version that could
    // not be read) does not keep the command from running.
    if (!opening.notice.empty()) std::fprintf(stderr, "wavoryctl: note: %s\n", opening.notice.c_str());
    m_pStore = std::move(opening.store);
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
        FailStore(m_pStore->LastError(), "the change could not be stored in " + m_pStore->FileName());
}

void CCliSession::BeginChange() {
    if (m_bChanging || m_Access == EAccess::ReadOnly) return;
    if (!m_pStore->IsWritable())
        FailStore(m_pStore->ReadOnlyCode(),
                  "the settings cannot be changed (" + m_pStore->ReadOnlyReason() + ")");
    m_pView->BeginUpdate();
    // Another program holding the store for the whole wait is told now, before the command does
    // anything that would be lost.
    if (const int error = m_pStore->UpdateError(); error != REG_OK) {
        m_pView->CancelUpdate();
        m_pView->EndUpdate();
        FailStore(error, "the settings could not be taken for the change");
    }
    m_bChanging = true;
    // What was read before the change began may be out of date by now.
    if (theApp.m_pProfileMngr && !theApp.m_pProfileMngr->LoadAll())
        FailStore(REG_ERROR_BADDB, "the profiles could not be read");
}

bool CCliSession::TryAdapter() { return theApp.m_bDriverConnected || theApp.ConnectDriver(); }

void CCliSession::RequireAdapter() {
    if (TryAdapter()) return;
    const int result = theApp.m_nDriverResult;
    if (result == KCOM_RESULT_BUSY || result == KCOM_RESULT_REFUSED) FailAdapter("adapter link");
    const char* wanted = std::getenv("WAVORY_ADAPTER");
    if (wanted && *wanted && std::string(wanted) != "sim")
        throw CCliError(kExitFailed,
                        "the adapter \"" + Printable(wanted) +
                            "\" could not be opened (no such wireless interface, or it is not answering; "
                            "see: wavoryctl adapters)",
                        "adapter link", "no_adapter");
    throw CCliError(kExitFailed, "no adapter found (the driver link could not be opened)", "adapter link",
                    "no_adapter");
}

void CCliSession::CheckAdapter(const std::string& step) {
    if (theApp.m_nDriverResult != 0) FailAdapter(step);
}

void CCliSession::FailAdapter(const std::string& step) {
    switch (theApp.m_nDriverResult.load()) {
        case KCOM_RESULT_BUSY:
            throw CCliError(kExitFailed,
                            "adapter busy: another program kept the adapter held for the whole wait (" +
                                step + "); try again",
                            step, "adapter_busy");
        case KCOM_RESULT_REFUSED:
            throw CCliError(kExitFailed,
                            "the adapter was refused: its shared object is not this user's own and "
                            "private (" +
                                step + ")",
                            step, "adapter_refused");
        case KCOM_RESULT_NO_LINK:
        case KCOM_RESULT_NO_ADAPTER:
            throw CCliError(kExitFailed, "the adapter stopped answering during the " + step + " (unplugged?)",
                            step, "adapter_gone");
        case 0:
            throw CCliError(kExitFailed, "the adapter could not carry out the " + step, step,
                            "adapter_failed");
        default:
            throw CCliError(kExitFailed,
                            "the adapter failed during the " + step + " (driver result " +
                                std::to_string(theApp.m_nDriverResult.load()) + ")",
                            step, "adapter_failed");
    }
}

CProfileMngr& CCliSession::Profiles(CProfileMngr::ELoad load) {
    if (m_Access == EAccess::Profiles) BeginChange();
    if (theApp.m_pProfileMngr && load == CProfileMngr::ELoad::All &&
        theApp.m_pProfileMngr->Loading() == CProfileMngr::ELoad::Names) {
        // Names were enough until now; every profile is needed from here on.
        delete theApp.m_pProfileMngr;
        theApp.m_pProfileMngr = nullptr;
    }
    if (!theApp.m_pProfileMngr) {
        theApp.m_pProfileMngr = new CProfileMngr(load);
        // An unreadable store is no empty one: nothing is shown or changed as if it were.
        if (!theApp.m_pProfileMngr->Loaded()) FailStore(REG_ERROR_BADDB, "the profiles could not be read");
        theApp.m_pProfileMngr->m_fnCurrentStation = []() -> std::shared_ptr<CProfile> {
            return theApp.m_pStationMngr ? theApp.m_pStationMngr->GetCurrent() : nullptr;
        };
    }
    return *theApp.m_pProfileMngr;
}

CStationMngr& CCliSession::Stations(bool startScan, CProfileMngr::ELoad load) {
    // Created after the profile manager, as at start-up: a lost connection found by a merge tells it.
    if (!theApp.m_pStationMngr || load == CProfileMngr::ELoad::All) Profiles(load);
    if (!theApp.m_pStationMngr) theApp.m_pStationMngr = new CStationMngr(startScan);
    return *theApp.m_pStationMngr;
}

std::string CCliSession::LastMessageOr(const std::string& fallback) {
    const std::vector<std::string> shown = m_Messages.Take();
    return shown.empty() ? fallback : shown.back();
}

}  // namespace wavory::cli
