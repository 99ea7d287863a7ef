#include "survey/Connect.h"

#include <mutex>

#include "base/AppBase.h"
#include "base/StringTable.h"
#include "driver/CommVar.h"
#include "driver/CommVarList.h"
#include "driver/Converters.h"
#include "driver/Request.h"
#include "profiles/EapProfile.h"
#include "profiles/NetProfile.h"
#include "profiles/Profile.h"
#include "profiles/ProfileMngr.h"
#include "radio/Eap.h"
#include "survey/ConnectAttempt.h"
#include "survey/PollControl.h"
#include "survey/Station.h"
#include "survey/StationMngr.h"

namespace wavory {

namespace {

constexpr int kShortKeyDigits = 10;
constexpr int kLongKeyDigits = 26;
constexpr uint32_t kDriverModeInfrastructure = 1;
constexpr uint32_t kDriverModeAdHoc = 2;

std::mutex g_AppliedMutex;
std::shared_ptr<CStation> g_pApplied;

std::unique_lock<std::recursive_mutex> LockProfiles() {
    return theApp.m_pProfileMngr ? theApp.m_pProfileMngr->Lock() : std::unique_lock<std::recursive_mutex>();
}

}  // namespace

bool IsKeyComplete(const CProfile& profile, int key) {
    if (key < 0 || key >= CProfile::kKeyCount) return false;
    const auto k = static_cast<std::size_t>(key);
    const int length = profile.SecKeyLen[k];
    if (length != 0 && length != 1) return false;
    return profile.SecKey[k].size() ==
           static_cast<std::size_t>(length == 0 ? kShortKeyDigits : kLongKeyDigits);
}

bool SecurityFitsNetwork(const CProfile& profile, bool wep, int wpaMode) {
    // It needs none, the WPA passphrase is valid, or the active WEP key is complete; an enterprise
    // network needs the 802.1X method and identity (a missing password is asked for at the join).
    if (kccl::IsEnterpriseMode(static_cast<uint32_t>(wpaMode)))
        return profile.EapMethod != KCOM_EAP_NONE && !profile.EapIdentity.empty();
    if (wpaMode != 0) return !ModeTakesPassphrase(wpaMode) || IsValidPassphrase(profile.WpaPassphrase);
    if (!wep || profile.Use802_1) return true;
    return profile.ActiveSecKey >= 0 && profile.ActiveSecKey < CProfile::kKeyCount &&
           IsKeyComplete(profile, profile.ActiveSecKey);
}

void CopySecurity(const CProfile& from, CProfile& to) {
    to.SecType = from.SecType;
    to.Use802_1 = from.Use802_1;
    to.ActiveSecKey = from.ActiveSecKey;
    to.SecKey = from.SecKey;
    to.SecKeyLen = from.SecKeyLen;
    to.WpaMode = from.WpaMode;
    to.WpaPassphrase = from.WpaPassphrase;
    CopyEapSettings(from, to);
}

bool ConnectProfile(const std::shared_ptr<CProfile>& profile, std::string* failure) {
    auto attempt = CConnectAttempt::ForProfile(profile);
    const bool ok = attempt->Wait() == CConnectAttempt::EStatus::Joined;
    if (!ok && failure) *failure = attempt->Result().failure;
    return ok;
}

std::shared_ptr<CProfile> FindJoinProfile(const CStation& scanned) {
    CProfileMngr* profiles = theApp.m_pProfileMngr;
    if (!profiles) return nullptr;
    const bool wep = scanned.SecType == 1;
    const int wpaMode = scanned.WpaMode;
    auto lock = profiles->Lock();
    std::shared_ptr<CProfile> first, fitting, fittingMember;
    for (const auto& profile : profiles->Snapshot()) {
        // A hotspot profile of the same name is the user's own access point, not this network.
        if (profile->NetName != scanned.NetName || profile->Hotspot) continue;
        if (!first) first = profile;
        if (!SecurityFitsNetwork(*profile, wep, wpaMode)) continue;
        if (!fitting) fitting = profile;
        if (profile->AutoSelect && (!fittingMember || profile->Priority < fittingMember->Priority))
            fittingMember = profile;
    }
    return fittingMember ? fittingMember : fitting ? fitting : first;
}

SJoin PrepareJoin(const std::shared_ptr<CStation>& scanned, bool accessPoint) {
    SJoin join;
    join.scanned = scanned;
    if (!scanned) return join;
    CStationMngr* stations = theApp.m_pStationMngr;
    std::unique_lock<std::recursive_mutex> stationLock;
    if (stations) stationLock = stations->Lock();
    join.profile = FindJoinProfile(*scanned);
    auto lock = LockProfiles();
    // The network as the scan heard it; the rest (name, keys, radio settings) from the profile.
    join.settings =
        std::make_shared<CStation>(join.profile ? *join.profile : static_cast<const CProfile&>(*scanned),
                                   scanned->m_strBssid, scanned->m_nRssi);
    CStation& settings = *join.settings;
    settings.NetName = scanned->NetName;
    settings.NetMode = scanned->NetMode;
    settings.PhyType = ProfilePhyType(scanned->PhyType, scanned->FrequencyMHz());
    settings.PhyChnl = ChannelNumberToIndex(settings.PhyType, scanned->PhyChnl);
    settings.PhyFreq = scanned->FrequencyMHz();
    settings.SecType = scanned->SecType;
    // The kind of WPA is the network's; a passphrase of the profile for another kind still serves.
    settings.WpaMode = scanned->WpaMode;
    if (settings.WpaMode == 0) settings.WpaPassphrase.clear();
    // The access point of the row chosen, not whichever of the network's the adapter prefers.
    if (accessPoint && scanned->NetMode) settings.m_strJoinBssid = scanned->m_strBssid;
    return join;
}

bool JoinNeedsKey(const CStation& settings) {
    if (!SecurityFitsNetwork(settings, settings.SecType == 1, settings.WpaMode)) return true;
    // An enterprise join also lacks what it would be refused without: a secret, a checked server.
    return IsEnterpriseProfile(settings) &&
           (EapMissingSecret(settings) != EEapSecret::None || !EapJoinProblem(settings).empty());
}

SJoinResult JoinStation(const SJoin& join) {
    auto attempt = CConnectAttempt::ForStation(join);
    attempt->Wait();
    return attempt->Result();
}

std::shared_ptr<CStation> AppliedSettings() {
    std::shared_ptr<CStation> applied;
    {
        std::lock_guard lock(g_AppliedMutex);
        applied = g_pApplied;
    }
    CStationMngr* stations = theApp.m_pStationMngr;
    if (!applied || !stations) return nullptr;
    auto lock = stations->Lock();
    auto current = stations->GetCurrent();
    return current && current->NetName == applied->NetName ? applied : nullptr;
}

void RememberApplied(const std::shared_ptr<CStation>& settings) {
    std::lock_guard lock(g_AppliedMutex);
    g_pApplied = settings;
}

std::shared_ptr<const CProfile> ProfileInUse(const CStation& network) {
    CStationMngr* stations = theApp.m_pStationMngr;
    std::unique_lock<std::recursive_mutex> stationLock;
    if (stations) stationLock = stations->Lock();
    if (auto applied = AppliedSettings(); applied && applied->NetName == network.NetName) return applied;
    auto lock = LockProfiles();
    if (CProfileMngr* profiles = theApp.m_pProfileMngr)
        if (auto connected = profiles->GetConnected(); connected && connected->NetName == network.NetName)
            return std::make_shared<const CProfile>(*connected);
    auto profile = FindJoinProfile(network);
    return profile ? std::make_shared<const CProfile>(*profile) : nullptr;
}

std::string AccessPointChoiceInUse(const CStation& network) {
    const std::shared_ptr<const CProfile> profile = ProfileInUse(network);
    if (!profile || (profile->PinnedBssid.empty() && !profile->PreferHighBand)) return {};
    return BandChoiceText(*profile);
}

SConnectionBefore ConnectionNow() {
    SConnectionBefore before;
    if (theApp.m_pStationMngr) before.current = theApp.m_pStationMngr->GetCurrent();
    if (!before.current) return before;
    before.settings = AppliedSettings();
    if (!before.settings) {
        const SJoin join = PrepareJoin(before.current, false);
        before.settings = join.settings ? join.settings : before.current;
    }
    if (theApp.m_pProfileMngr) before.connected = theApp.m_pProfileMngr->GetConnected();
    return before;
}

std::shared_ptr<CStation> LiveConnection(const std::shared_ptr<CStation>& scanned) {
    if (!scanned) return nullptr;
    const std::shared_ptr<CStation> applied = AppliedSettings();
    std::shared_ptr<CStation> live;
    {
        CStationMngr* stations = theApp.m_pStationMngr;
        std::unique_lock<std::recursive_mutex> stationLock;
        if (stations) stationLock = stations->Lock();
        auto lock = LockProfiles();
        live = std::make_shared<CStation>(applied ? *applied : static_cast<const CProfile&>(*scanned),
                                          scanned->m_strBssid, scanned->m_nRssi);
        if (!applied) live->PhyType = ProfilePhyType(scanned->PhyType, scanned->FrequencyMHz());
        // The read below puts the channel number there; without it the scan's number stands.
        live->PhyChnl = applied ? ChannelIndexToNumber(applied->PhyType, applied->PhyChnl) : scanned->PhyChnl;
    }
    // SSID, channel and preamble as the adapter has them; then its mode and security.
    live->Connect(CStation::CONNECT_READ);
    if (live->NetName == "--") live->NetName = scanned->NetName;
    live->m_strBssid = scanned->m_strBssid;
    live->PhyChnl = ChannelNumberToIndex(live->PhyType, live->PhyChnl);
    CCommVarList list;
    list.AddVarExt(OID_NET_MODE_QUERY, 0, nullptr, nullptr);
    list.AddVarExt(OID_SECURITY_QUERY, 0, nullptr, nullptr);
    if (list.RefreshAll(false, false)) {
        const uint32_t mode = PayloadU32(list.GetVar(0)->GetBlock(0), 0);
        if (mode == kDriverModeInfrastructure || mode == kDriverModeAdHoc)
            live->NetMode = mode == kDriverModeInfrastructure;
        live->SecType = static_cast<int>(PayloadU32(list.GetVar(1)->GetBlock(0), 0));
    }
    return live;
}

}  // namespace wavory
