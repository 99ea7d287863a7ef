#include "profiles/Profile.h"

#include "profiles/HotspotProfile.h"

#include "base/AppBase.h"
#include "base/Registry.h"
#include "driver/Converters.h"
#include "driver/Format.h"
#include "kccl_oid.h"
#include "profiles/ProfileMngr.h"
#include "profiles/RegistryUpdate.h"
#include "radio/Bands.h"
#include "radio/Eap.h"
#include "radio/SecretMemory.h"

namespace wavory {

namespace {

// Index 7 of the 802.11a list is channel 64; from index 8 the list goes on at 149.
constexpr int kLastLowBandIndex = 7;
// The highest channel of each band a profile can hold: 177 at 5 GHz, 14 at 2.4 GHz.
constexpr int kLastChannel5GHz = 177;
constexpr int kLastChannel24GHz = 14;

// An unknown kind of WPA loads as none: the security type then decides, as for older profiles.
void Normalise(CProfile& p) {
    if (p.WpaMode < KCOM_SECURITY_MODE_WPA2_PERSONAL || p.WpaMode > KCOM_SECURITY_MODE_WPA3_ENTERPRISE)
        p.WpaMode = 0;
}

}  // namespace

std::string ProfileSecurityText(const CProfile& profile) {
    if (IsHotspotProfile(profile)) return HotspotProfileText(profile);
    if (const char* wpa = WpaModeName(profile.WpaMode)) {
        const char* method = kccl::EapMethodName(profile.EapMethod);
        if (kccl::IsEnterpriseMode(static_cast<uint32_t>(profile.WpaMode)) && *method)
            return std::string(wpa) + " (" + method + ")";
        return wpa;
    }
    return profile.SecType != 0 ? "WEP" : "None";
}

int ProfilePhyType(int phyType, int freqMHz) {
    if (kccl::BandOfFrequency(freqMHz) != kccl::EBand::Band2G4) return 0;
    return phyType == 1 ? 1 : 2;
}

int ProfileChannelNumber(int phyType, int index, int freqMHz) {
    if (freqMHz > 0)
        if (const int channel = kccl::FrequencyToChannel(freqMHz)) return channel;
    return ChannelIndexToNumber(phyType, index);
}

int ChannelIndexToNumber(int phyType, int index) {
    if (phyType == 0) return index <= kLastLowBandIndex ? index * 4 + 36 : index * 4 + 117;
    return index + 1;
}

int ChannelNumberToIndex(int phyType, int channel) {
    // Highest channel-list position worth probing (802.11a ends well before it).
    constexpr int kMaxChannelIndex = 64;
    int index = 0;
    for (int i = 1; i <= kMaxChannelIndex; ++i) {
        if (ChannelIndexToNumber(phyType, i) > channel) break;
        index = i;
    }
    return index;
}

int LastChannelIndex(int phyType) {
    return ChannelNumberToIndex(phyType, phyType == 0 ? kLastChannel5GHz : kLastChannel24GHz);
}

CProfile::CProfile(const std::string& section, bool load) : m_strSection(section) {
    if (load) Load();
}

CProfile::CProfile(const CProfile& other) {
    SetValues(*this, ValuesOf(other));
    Priority = -1;
}

CProfile::~CProfile() {
    // The keys are overwritten before their memory goes.
    kccl::SecureClear(WpaPassphrase);
    kccl::SecureClearAll(SecKey);
    kccl::SecureClear(EapPassword);
    kccl::SecureClear(EapKeyPassword);
}

void CProfile::TakeValues(const CProfile& other) {
    if (&other == this) return;
    SetValues(*this, ValuesOf(other));
    m_strSection = other.m_strSection;
    m_Stored = other.m_Stored;
}

bool CProfile::Load() {
    IRegistry* registry = theApp.m_pRegistry;
    FieldValues values = registry ? ReadValues(*registry, m_strSection) : DefaultValues();
    if (registry && registry->TakeReadError() != REG_OK) return false;
    SetValues(*this, values);
    Normalise(*this);
    m_Stored = ValuesOf(*this);
    return true;
}

bool CProfile::Save(bool writeCount) {
    // The count is taken before the store's update begins: the manager's lock always comes first.
    CProfileMngr* mngr = writeCount ? theApp.m_pProfileMngr : nullptr;
    const int count = mngr ? mngr->GetCount() : 0;
    // One change of the store for the whole profile: stored whole or not at all.
    CRegistryUpdate group(theApp.m_pRegistry);
    const FieldValues values = ValuesOf(*this);
    bool ok = theApp.m_pRegistry && WriteValues(*theApp.m_pRegistry, m_strSection, values);
    if (writeCount) {
        // Without a manager there is no count to write; that is a failure for a caller that asked.
        ok = (mngr && theApp.WriteProfileInt("", "NumOfProfiles", count)) && ok;
    }
    ok = group.End() && ok;
    if (ok) m_Stored = values;
    return ok;
}

bool CProfile::ClearName() { return theApp.WriteProfileString(m_strSection, "ProfName", ""); }

}  // namespace wavory
