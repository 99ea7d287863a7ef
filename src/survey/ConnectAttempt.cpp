#include "survey/ConnectAttempt.h"

#include <mutex>
#include <thread>

#include "base/AppBase.h"
#include "base/DisplayText.h"
#include "base/StringTable.h"
#include "base/Trace.h"
#include "driver/CommVar.h"
#include "driver/CommVarList.h"
#include "driver/Request.h"
#include "profiles/EapProfile.h"
#include "profiles/NetProfile.h"
#include "profiles/Profile.h"
#include "profiles/ProfileMngr.h"
#include "profiles/ProfileSections.h"
#include "survey/PollControl.h"
#include "survey/Station.h"
#include "survey/StationMngr.h"

namespace wavory {

namespace {

std::mutex g_ObserverMutex;
std::function<void(const CConnectAttempt&)> g_fnObserver;

// The library's results that mean the adapter is not there (any longer).
bool AdapterGone(int result) { return result == KCOM_RESULT_NO_LINK || result == KCOM_RESULT_NO_ADAPTER; }

std::unique_lock<std::recursive_mutex> LockProfiles() {
    return theApp.m_pProfileMngr ? theApp.m_pProfileMngr->Lock() : std::unique_lock<std::recursive_mutex>();
}

std::string FixedText(const uint8_t* bytes, std::size_t size) {
    std::size_t n = 0;
    while (n < size && bytes[n] != 0) ++n;
    return std::string(reinterpret_cast<const char*>(bytes), n);
}

// A connection that failed without the adapter going back to the one before: nothing is current.
void ClearConnection() {
    if (theApp.m_pStationMngr) theApp.m_pStationMngr->SetCurrent(nullptr);
    if (theApp.m_pProfileMngr) theApp.m_pProfileMngr->SetConnected(nullptr, true);
    RememberApplied(nullptr);
}

// The adapter went back to the connection it had: the current station, the applied settings and
// the connected profile still describe it. Its settings are read back and the pages refreshed.
void KeepRestoredConnection() {
    theApp.m_nAutoCountdown = 2;
    theApp.m_bRefreshRequest = true;
}

}  // namespace

void SetJoinObserver(std::function<void(const CConnectAttempt&)> observer) {
    std::lock_guard lock(g_ObserverMutex);
    g_fnObserver = std::move(observer);
}

const char* JoinCauseKey(uint32_t cause) {
    switch (cause) {
        case KCOM_CAUSE_WRONG_KEY:
            return "wrong_key";
        case KCOM_CAUSE_NOT_FOUND:
            return "not_found";
        case KCOM_CAUSE_REFUSED:
            return "refused";
        case KCOM_CAUSE_UNSUPPORTED:
            return "unsupported";
        case KCOM_CAUSE_NEEDS_8021X:
            return "needs_8021x";
        case KCOM_CAUSE_TIMEOUT:
            return "timeout";
        case KCOM_CAUSE_ADAPTER_GONE:
            return "adapter_gone";
        case KCOM_CAUSE_NOT_PERMITTED:
            return "not_permitted";
        case KCOM_CAUSE_CERT_UNTRUSTED:
            return "cert_untrusted";
        case KCOM_CAUSE_SERVER_NAME:
            return "server_name";
        case KCOM_CAUSE_METHOD_REFUSED:
            return "method_refused";
        case KCOM_CAUSE_CANCELLED:
            return "cancelled";
        case KCOM_CAUSE_BUSY:
            return "adapter_busy";
        case KCOM_CAUSE_HOTSPOT:
            return "hotspot_running";
        default:
            return "failed";
    }
}

SJoinState ReadJoinState() {
    SJoinState state;
    CCommVarList list;
    list.AddVarExt(OID_JOIN_STATE, 0, nullptr, nullptr);
    list.RefreshAll(false, false);
    CCommVar* var = list.GetVar(0);
    const auto* block = reinterpret_cast<const KCOM_REQUEST*>(var->GetBlock(0));
    // Carried out at all: a result of 0 (a status other than 2 is an adapter without join states).
    state.result = var->m_nLastResult;
    state.read = state.result == 0;
    state.supported = block->status == KCOM_STATUS_SUCCESS;
    if (!state.read || !state.supported) return state;
    const uint8_t* p = block->payload;
    state.state = PayloadU32(var->GetBlock(0), KCOM_JOIN_STATE_FIELD);
    state.cause = PayloadU32(var->GetBlock(0), KCOM_JOIN_CAUSE);
    state.attempt = PayloadU32(var->GetBlock(0), KCOM_JOIN_ATTEMPT);
    state.flags = PayloadU32(var->GetBlock(0), KCOM_JOIN_FLAGS);
    const std::size_t ssidLen = std::min<std::size_t>(p[KCOM_JOIN_SSID_LEN], 32);
    state.ssid.assign(reinterpret_cast<const char*>(p + KCOM_JOIN_SSID), ssidLen);
    state.detail = FixedText(p + KCOM_JOIN_DETAIL, KCOM_JOIN_DETAIL_SIZE);
    return state;
}

std::string JoinNoteMessage(const std::string& ssid, bool ok, const std::string& detail) {
    if (!ok || detail.empty()) return {};
    return "Connected to \"" + ssid + "\".\nNote: " + detail + ".";
}

std::string JoinCauseLine(const std::string& ssid, uint32_t cause, const std::string& detail, int wpaMode,
                          bool restored) {
    const bool wpa = wpaMode != 0;
    const bool enterprise = kccl::IsEnterpriseMode(static_cast<uint32_t>(wpaMode));
    // The adapter's detail is outside text as much as the name is: shown as data.
    const std::string more = detail.empty() ? std::string() : " (" + DisplayText(detail) + ")";
    std::string why;
    switch (cause) {
        case KCOM_CAUSE_WRONG_KEY:
            why = enterprise ? "the identity, password or client certificate was not accepted" + more
                  : wpa      ? "the passphrase was not accepted"
                             : "the WEP key was not accepted";
            break;
        case KCOM_CAUSE_NOT_FOUND:
            // A detail names what was missing: the one access point the network is pinned to.
            why = detail.empty() ? std::string("the network is not in range") : DisplayText(detail);
            break;
        case KCOM_CAUSE_REFUSED:
            why = "the network refused the connection" + more;
            break;
        case KCOM_CAUSE_UNSUPPORTED:
            why = "joining it is not supported by this way of controlling the adapter" + more;
            break;
        case KCOM_CAUSE_NEEDS_8021X:
            why = enterprise ? "the network needs 802.1X credentials, and the method or identity is missing"
                             : "the network needs 802.1X credentials (an enterprise network): give its "
                               "method, identity and password or certificate";
            break;
        case KCOM_CAUSE_TIMEOUT:
            why = "the adapter did not finish joining in time" + more;
            break;
        case KCOM_CAUSE_ADAPTER_GONE:
            why = "the adapter is missing (unplugged?)";
            break;
        case KCOM_CAUSE_NOT_PERMITTED:
            why = detail.empty() ? "a right to change the adapter is missing" : DisplayText(detail);
            break;
        case KCOM_CAUSE_CERT_UNTRUSTED:
            why = "the server's certificate is not trusted" + more;
            break;
        case KCOM_CAUSE_SERVER_NAME:
            why = "the server's name does not match" + more;
            break;
        case KCOM_CAUSE_METHOD_REFUSED:
            why = "the server refused the 802.1X method" + more;
            break;
        case KCOM_CAUSE_CANCELLED:
            why = "the attempt was ended by a newer one or by a disconnect";
            break;
        case KCOM_CAUSE_BUSY:
            why = detail.empty() ? std::string("another program is joining a network on the adapter")
                                 : DisplayText(detail);
            break;
        case KCOM_CAUSE_HOTSPOT:
            why = "the adapter runs a hotspot: stop it first (the join would end it)";
            break;
        default:
            return {};
    }
    std::string line = "\"" + DisplayText(ssid) + "\": " + why + ".";
    if (restored) line += " The previous connection was restored.";
    return line;
}

CConnectAttempt::CConnectAttempt(EKind kind, std::shared_ptr<CStation> station)
    : m_Kind(kind), m_pStation(std::move(station)) {}

std::unique_ptr<CConnectAttempt> CConnectAttempt::ForProfile(const std::shared_ptr<CProfile>& profile,
                                                             const SJoinSecrets& secrets) {
    std::shared_ptr<CStation> station;
    if (profile) {
        auto lock = LockProfiles();  // the polling thread copies profiles too
        station = std::make_shared<CStation>(*profile);
        // Secrets asked for this join only go with the settings, not into the profile.
        if (!secrets.eapPassword.empty()) station->EapPassword = secrets.eapPassword;
        if (!secrets.eapKeyPassword.empty()) station->EapKeyPassword = secrets.eapKeyPassword;
    }
    std::unique_ptr<CConnectAttempt> attempt(new CConnectAttempt(EKind::Profile, station));
    attempt->m_pProfile = profile;
    attempt->Start();
    return attempt;
}

std::unique_ptr<CConnectAttempt> CConnectAttempt::ForStation(const SJoin& join) {
    std::unique_ptr<CConnectAttempt> attempt(new CConnectAttempt(EKind::Station, join.settings));
    attempt->m_Join = join;
    // A network without a name (a hidden one, as a scan lists it) is never joined or stored as such:
    // its name must be given first.
    if (!join.scanned || !join.settings || join.settings->NetName.empty()) attempt->m_pStation.reset();
    attempt->Start();
    return attempt;
}

std::unique_ptr<CConnectAttempt> CConnectAttempt::ForAutoSelect(const std::shared_ptr<CProfile>& profile) {
    std::shared_ptr<CStation> station;
    if (profile) {
        auto lock = LockProfiles();  // the interface thread may be editing the profile
        station = std::make_shared<CStation>(*profile, std::string(), 0);
    }
    std::unique_ptr<CConnectAttempt> attempt(new CConnectAttempt(EKind::AutoSelect, station));
    attempt->m_pProfile = profile;
    attempt->Start();
    return attempt;
}

std::unique_ptr<CConnectAttempt> CConnectAttempt::ForSecurity(const std::shared_ptr<CStation>& settings) {
    std::unique_ptr<CConnectAttempt> attempt(new CConnectAttempt(EKind::Security, settings));
    attempt->Start();
    return attempt;
}

std::unique_ptr<CConnectAttempt> CConnectAttempt::ForRestore(const std::shared_ptr<CStation>& settings,
                                                             std::shared_ptr<CStation> current,
                                                             std::shared_ptr<CProfile> connected) {
    std::shared_ptr<CStation> station;
    if (settings) {
        auto lock = LockProfiles();
        station = std::make_shared<CStation>(static_cast<const CProfile&>(*settings), settings->m_strBssid,
                                             settings->m_nRssi);
    }
    std::unique_ptr<CConnectAttempt> attempt(new CConnectAttempt(EKind::Restore, station));
    attempt->m_pRestoreCurrent = std::move(current);
    attempt->m_pProfile = std::move(connected);
    attempt->Start();
    return attempt;
}

void CConnectAttempt::Start() {
    m_Started = m_fnNow();
    if (m_pStation) {
        auto lock = LockProfiles();
        m_strNetwork = m_pStation->NetName;
        m_nWpaMode = m_pStation->WpaMode;
        m_nPhyType = m_pStation->PhyType;
    }
    if (m_pStation) {
        // An enterprise join that would not check the server is refused before the adapter is asked.
        std::string problem;
        {
            auto lock = LockProfiles();
            problem = EapJoinProblem(*m_pStation);
        }
        if (!problem.empty()) {
            m_Status = EStatus::Failed;
            m_Result.cause = KCOM_CAUSE_CERT_UNTRUSTED;
            m_Result.detail = problem;
            m_Result.failure = FirstLine() + "\n\"" + DisplayText(m_strNetwork) + "\": " + problem;
            return;
        }
    }
    TakeDriverRefusal();  // a refusal left from before is not this attempt's
    // The adapter counts its attempts: the one that moves the count on is this one.
    const SJoinState before = ReadJoinState();
    m_bAdHocBefore = theApp.m_bAdHocApplied;
    const int mode = m_Kind == EKind::Security ? CStation::CONNECT_SECURITY_ONLY : CStation::CONNECT_APPLY;
    const bool applied = m_pStation && theApp.m_pStationMngr && m_pStation->Connect(mode);
    m_strRefusal = TakeDriverRefusal();
    m_Result.refusal = m_strRefusal;
    if (m_pStation && before.read && before.supported) {
        const SJoinState after = ReadJoinState();
        if (after.read && after.supported && after.attempt != before.attempt) {
            m_bFollowing = true;
            m_nAttempt = after.attempt;
            Look(after);
            return;
        }
        if (!after.read && after.result == KCOM_RESULT_BUSY && applied) {
            // Held by another program just now: the attempt the settings started is looked at later.
            m_bFollowing = true;
            m_nAttempt = before.attempt + 1;
            return;
        }
    }
    // No attempt to follow (an adapter without join states, or settings that started none): the
    // settings' own answers decide, as they always did.
    if (applied) {
        Joined();
    } else {
        const bool gone = m_pStation && AdapterGone(theApp.m_nDriverResult);
        Failed(gone ? KCOM_CAUSE_ADAPTER_GONE : KCOM_CAUSE_NONE, std::string(), false);
    }
}

CConnectAttempt::EStatus CConnectAttempt::Advance() {
    if (Ended()) return m_Status;
    Look(ReadJoinState());
    return m_Status;
}

CConnectAttempt::EStatus CConnectAttempt::Wait(std::chrono::milliseconds pause,
                                               const std::function<bool()>& stop) {
    while (!Ended()) {
        if (stop && stop()) break;
        std::this_thread::sleep_for(pause);
        Advance();
    }
    return m_Status;
}

void CConnectAttempt::Look(const SJoinState& state) {
    const bool overdue = m_fnNow() - m_Started > kTimeout;
    if (!state.read) {
        // Another program holding the adapter only delays the answer; a link that failed means
        // the adapter went away.
        if (AdapterGone(state.result)) {
            Failed(KCOM_CAUSE_ADAPTER_GONE, std::string(), false);
        } else if (state.result != KCOM_RESULT_BUSY) {
            Failed(KCOM_CAUSE_NONE, std::string(), false);
        } else if (overdue) {
            Failed(KCOM_CAUSE_TIMEOUT, std::string(), false);
        }
        return;
    }
    if (!state.supported || state.attempt != m_nAttempt) {
        Failed(KCOM_CAUSE_CANCELLED, std::string(), false);
        return;
    }
    switch (state.state) {
        case KCOM_JOIN_JOINING:
            if (overdue) Failed(KCOM_CAUSE_TIMEOUT, std::string(), false);
            return;
        case KCOM_JOIN_JOINED:
            // What the adapter adds to a join that worked: a setting it could not apply.
            m_Result.detail = state.detail;
            Joined();
            return;
        case KCOM_JOIN_FAILED:
            Failed(state.cause, state.detail, (state.flags & KCOM_JOIN_FLAG_RESTORED) != 0);
            return;
        default:
            Failed(KCOM_CAUSE_NONE, state.detail, false);
            return;
    }
}

void CConnectAttempt::TellEnded() {
    m_Took = std::chrono::duration_cast<std::chrono::milliseconds>(m_fnNow() - m_Started);
    std::function<void(const CConnectAttempt&)> observer;
    {
        std::lock_guard lock(g_ObserverMutex);
        observer = g_fnObserver;
    }
    if (observer) observer(*this);
}

void CConnectAttempt::Joined() {
    m_Status = EStatus::Joined;
    m_Result.ok = true;
    TellEnded();
    CStationMngr* stations = theApp.m_pStationMngr;
    CProfileMngr* profiles = theApp.m_pProfileMngr;
    IPollControl* poll = theApp.GetPollControl();
    theApp.m_nAutoCountdown = 2;  // the polling thread reads the live connection back then
    switch (m_Kind) {
        case EKind::Profile:
            stations->SetCurrent(m_pStation);
            RememberApplied(m_pStation);
            if (profiles) profiles->SetConnected(theApp.m_bAdHocApplied ? m_pProfile : nullptr, true);
            if (poll) poll->ResetStats(m_nPhyType != 1);
            theApp.m_bRefreshRequest = true;
            return;
        case EKind::AutoSelect:
            stations->SetCurrent(m_pStation);
            RememberApplied(m_pStation);
            if (profiles) profiles->SetConnected(m_pProfile, false);
            if (poll) poll->ResetStats(m_nPhyType != 1);
            return;
        case EKind::Security:
            RememberApplied(m_pStation);
            theApp.m_bRefreshRequest = true;
            return;
        case EKind::Restore:
            stations->SetCurrent(m_pRestoreCurrent ? m_pRestoreCurrent : m_pStation);
            RememberApplied(m_pStation);
            if (profiles) profiles->SetConnected(m_pProfile, false);
            if (poll) poll->ResetStats(m_nPhyType != 1);
            theApp.m_bRefreshRequest = true;
            return;
        case EKind::Station:
            break;
    }

    stations->SetCurrent(m_Join.scanned);
    RememberApplied(m_Join.settings);
    if (profiles) profiles->SetConnected(nullptr, true);
    if (poll) poll->SetInterval(2);
    if (!profiles) return;
    if (m_Join.beforeSave) m_Join.beforeSave();

    auto lock = profiles->Lock();
    const CStation& settings = *m_Join.settings;
    // The profile may have been removed while the key was asked for (then the network is new), or
    // read again from the store meanwhile: it is looked up by its name and network.
    std::shared_ptr<CProfile> profile = m_Join.profile;
    if (profile) {
        std::shared_ptr<CProfile> stored = profiles->GetProfile(profile->ProfName);
        profile = stored && stored->NetName == settings.NetName && !stored->Hotspot ? stored : nullptr;
    }
    if (profile) {
        // A key entered for this join has worked now: it is kept, as is one where the profile had
        // none that fitted.
        if (m_Join.keyEntered || !SecurityFitsNetwork(*profile, settings.SecType == 1, settings.WpaMode)) {
            const std::string password = profile->EapPassword, keyPassword = profile->EapKeyPassword;
            CopySecurity(settings, *profile);
            if (!m_Join.keepSecrets) {
                // What the profile held before stays; what was typed for this join only is not kept.
                profile->EapPassword = password;
                profile->EapKeyPassword = keyPassword;
            }
        }
        if (m_Join.netEntered) CopyNetSettings(settings, *profile);
        if (!profile->AutoSelect) {
            profile->AutoSelect = true;
            profile->Priority = profiles->UpdatePriorities(-1);
        }
        m_Result.profileName = profile->ProfName;
    } else {
        m_Result.profileName = profiles->AddProfile(&settings);
        m_Result.created = true;
        // Named after its network where that name reads as text and is free; else the default
        // name stays.
        const std::string& ssid = settings.NetName;
        if (!ssid.empty() && DisplayText(ssid) == ssid && SectionNumber(ssid) < 0 &&
            profiles->RenameProfile(m_Result.profileName, ssid))
            m_Result.profileName = ssid;
        if (auto added = profiles->GetProfile(m_Result.profileName)) {
            if (!m_Join.keepSecrets) {
                added->EapPassword.clear();
                added->EapKeyPassword.clear();
            }
            added->AutoSelect = true;
            added->Priority = profiles->UpdatePriorities(-1);
        }
    }
    m_Result.saved = profiles->SaveAll();
}

std::string CConnectAttempt::FirstLine() const {
    if (!m_strRefusal.empty()) return m_strRefusal;
    switch (m_Kind) {
        case EKind::Station:
            return LoadStringId(IDS_STATION_CONNECT_FAILED);
        case EKind::Security:
            return LoadStringId(IDS_DRIVER_ERROR);
        default:
            return LoadStringId(IDS_CONNECT_FAILED);
    }
}

void CConnectAttempt::Failed(uint32_t cause, const std::string& detail, bool restored) {
    m_Status = EStatus::Failed;
    m_Result.ok = false;
    m_Result.cause = cause;
    m_Result.detail = detail;
    m_Result.restored = restored;
    m_Result.failure = FirstLine();
    // A refusal already says what is missing; a second line would only repeat it.
    const std::string line = m_strRefusal.empty() || cause != KCOM_CAUSE_NOT_PERMITTED
                                 ? JoinCauseLine(m_strNetwork, cause, detail, m_nWpaMode, restored)
                                 : std::string();
    if (!line.empty()) m_Result.failure += "\n" + line;
    Trace("\nConnection to %s failed (cause %u)", DisplayText(m_strNetwork).c_str(), cause);
    TellEnded();

    // A newer attempt (another program's, or a later one of this program) owns the connection now.
    if (cause == KCOM_CAUSE_CANCELLED && m_bFollowing) return;
    theApp.m_bAdHocApplied = restored && m_bAdHocBefore;
    if (m_Kind == EKind::AutoSelect) return;  // nothing was made current
    if (restored)
        KeepRestoredConnection();
    else
        ClearConnection();
}

}  // namespace wavory
