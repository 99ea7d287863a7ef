#include "survey/LinkActions.h"

#include <algorithm>

#include "base/AppBase.h"
#include "base/Trace.h"
#include "driver/CommVar.h"
#include "driver/CommVarList.h"
#include "driver/Request.h"
#include "kccl_adapters.h"
#include "kccl_oid.h"
#include "profiles/ProfileMngr.h"
#include "survey/Connect.h"
#include "survey/PollControl.h"
#include "survey/Station.h"
#include "survey/StationMngr.h"

namespace wavory {

namespace {

constexpr uint32_t kDriverModeAdHoc = 2;

}  // namespace

bool DisconnectAdapter(std::string* failure) {
    TakeDriverRefusal();
    CCommVarList list;
    list.AddVarExt(OID_DISCONNECT, 0, nullptr, nullptr);
    if (!list.RefreshAll(false, false)) {
        if (failure) {
            const std::string refusal = TakeDriverRefusal();
            *failure = !refusal.empty()   ? refusal
                       : AdapterPresent() ? "Could not disconnect the adapter."
                                          : "Could not disconnect: the adapter is missing.";
        }
        return false;
    }
    // Paused before anything else changes, so that the polling thread's next look does not take
    // the moment without a connection for a lost link and join the next profile.
    theApp.m_bAutoPaused = true;
    theApp.m_bAdHocApplied = false;
    // No connection to read back: a countdown left running would keep the selection waiting.
    theApp.m_nAutoCountdown = -1;
    if (theApp.m_pStationMngr) theApp.m_pStationMngr->SetCurrent(nullptr);
    if (theApp.m_pProfileMngr) theApp.m_pProfileMngr->SetConnected(nullptr, true);
    if (IPollControl* poll = theApp.GetPollControl()) poll->ResetStats(true);
    theApp.UpdateTrayTip(nullptr);
    theApp.m_bRefreshRequest = true;
    Trace("\nDisconnected by the user; automatic selection paused");
    return true;
}

int ForgetNetwork(const std::string& ssid) {
    CProfileMngr* profiles = theApp.m_pProfileMngr;
    if (!profiles) return 0;
    std::vector<std::string> names;
    {
        auto lock = profiles->Lock();
        for (const auto& profile : profiles->Snapshot())
            if (profile->NetName == ssid && !profile->Hotspot) names.push_back(profile->ProfName);
    }
    int removed = 0;
    for (const std::string& name : names) {
        profiles->RemoveProfile(name, true, true);
        if (profiles->GetProfile(name)) return -1;  // the store kept it
        ++removed;
    }
    return removed;
}

std::shared_ptr<CStation> HiddenNetwork(const std::string& ssid, EHiddenSecurity security) {
    const CProfile defaults("", true);
    auto station = std::make_shared<CStation>(defaults);
    station->NetName = ssid;
    station->NetMode = true;
    station->SecType = security == EHiddenSecurity::None ? 0 : 1;
    station->Use802_1 = false;
    station->WpaMode = 0;
    station->ActiveSecKey = security == EHiddenSecurity::Wep ? 0 : -1;
    switch (security) {
        case EHiddenSecurity::Wpa2:
            station->WpaMode = KCOM_SECURITY_MODE_WPA2_PERSONAL;
            break;
        case EHiddenSecurity::Wpa3:
            station->WpaMode = KCOM_SECURITY_MODE_WPA3_PERSONAL;
            break;
        case EHiddenSecurity::Wpa2Wpa3:
            station->WpaMode = KCOM_SECURITY_MODE_WPA2_WPA3_PERSONAL;
            break;
        case EHiddenSecurity::Owe:
            station->WpaMode = KCOM_SECURITY_MODE_OWE;
            break;
        default:
            break;
    }
    return station;
}

EHiddenSecurity HiddenSecurityOfKind(int kind) {
    switch (kind) {
        case KCOM_SECURITY_OPEN:
            return EHiddenSecurity::None;
        case KCOM_SECURITY_WEP:
            return EHiddenSecurity::Wep;
        case KCOM_SECURITY_WPA3:
            return EHiddenSecurity::Wpa3;
        case KCOM_SECURITY_WPA2_WPA3:
            return EHiddenSecurity::Wpa2Wpa3;
        case KCOM_SECURITY_OWE:
            return EHiddenSecurity::Owe;
        default:
            return EHiddenSecurity::Wpa2;
    }
}

bool ParseHiddenSecurity(const std::string& word, EHiddenSecurity* security) {
    static const std::pair<const char*, EHiddenSecurity> kWords[] = {
        {"none", EHiddenSecurity::None}, {"open", EHiddenSecurity::None},
        {"wep", EHiddenSecurity::Wep},   {"wpa2", EHiddenSecurity::Wpa2},
        {"wpa3", EHiddenSecurity::Wpa3}, {"wpa2-wpa3", EHiddenSecurity::Wpa2Wpa3},
        {"owe", EHiddenSecurity::Owe}};
    for (const auto& [text, value] : kWords) {
        if (word == text) {
            *security = value;
            return true;
        }
    }
    return false;
}

bool AdHocCellHeld() {
    CCommVarList list;
    list.AddVarExt(OID_NET_MODE_QUERY, 0, nullptr, nullptr);
    list.AddVarExt(OID_SSID_QUERY, 0, nullptr, nullptr);
    if (!list.RefreshAll(false, false)) return false;
    const uint32_t mode = PayloadU32(list.GetVar(0)->GetBlock(0), 0);
    const uint8_t ssidLength = Payload(list.GetVar(1)->GetBlock(0))[0];
    return mode == kDriverModeAdHoc && ssidLength != 0;
}

bool AdapterPresent() {
    CCommVarList list;
    list.AddVarExt(OID_HW_STATUS, 0, nullptr, nullptr);
    if (list.RefreshAll(false, false)) return true;
    // Busy is another program holding a present adapter; only a missing link or adapter is absence.
    const int result = theApp.m_nDriverResult;
    return result != KCOM_RESULT_NO_LINK && result != KCOM_RESULT_NO_ADAPTER;
}

int SignalBars(int dBm) {
    if (dBm >= -60) return 4;
    if (dBm >= -70) return 3;
    if (dBm >= -80) return 2;
    return 1;
}

std::string SimulatedAdapterNotice() {
    char name[KCCL_ADAPTER_NAME_MAX] = {};
    kccl_adapter_in_use(name, sizeof name);
    if (std::string(name) != "sim") return {};
    // The list holds the wireless interfaces, then the simulated adapter.
    KCCL_ADAPTER adapters[4];
    const int count = kccl_list_adapters(adapters, 4);
    return count > 1 ? "Simulated adapter" : "Simulated adapter \u2014 no wireless interface found";
}

std::string ConnectedNetworkName() {
    CCommVarList list;
    list.AddVarExt(OID_CONNECT_STATUS, 0, nullptr, nullptr);
    list.AddVarExt(OID_SSID_QUERY, 0, nullptr, nullptr);
    if (!list.RefreshAll(false, false) || Payload(list.GetVar(0)->GetBlock(0))[0] == 0) return {};
    const uint8_t* ssid = Payload(list.GetVar(1)->GetBlock(0));
    return std::string(reinterpret_cast<const char*>(ssid + 1), std::min<std::size_t>(ssid[0], 32));
}

}  // namespace wavory
