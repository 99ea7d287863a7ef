#include "profiles/Profile.h"

#include "base/AppBase.h"
#include "driver/Converters.h"
#include "driver/Format.h"
#include "profiles/ProfileMngr.h"
#include "profiles/RegistryUpdate.h"
#include "radio/Bands.h"

namespace wavory {

namespace {

// Index 7 of the 802.11a list is channel 64; from index 8 the list goes on at 149.
constexpr int kLastLowBandIndex = 7;

std::string KeyName(int i) { return StrFormat("%s %d", "Sec Key", i); }
std::string KeyLenName(int i) { return StrFormat("%s %d", "Sec Key Len", i); }

bool ReadBool(const std::string& section, const char* entry, bool def) {
    return theApp.GetProfileInt(section, entry, def ? 1 : 0) != 0;
}

}  // namespace

std::string ProfileSecurityText(const CProfile& profile) {
    if (const char* wpa = WpaModeName(profile.WpaMode)) return wpa;
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

CProfile::CProfile(const std::string& section, bool load) : m_strSection(section) {
    if (load) Load();
}

CProfile::CProfile(const CProfile& other)
    : ProfName(other.ProfName),
      NetName(other.NetName),
      NetMode(other.NetMode),
      PSType(other.PSType),
      PhyType(other.PhyType),
      PhyChnl(other.PhyChnl),
      PhyFreq(other.PhyFreq),
      SecType(other.SecType),
      ActiveSecKey(other.ActiveSecKey),
      SecKey(other.SecKey),
      SecKeyLen(other.SecKeyLen),
      AutoSelect(other.AutoSelect),
      MaxFragment(other.MaxFragment),
      RTSThreshold(other.RTSThreshold),
      UseFragmentation(other.UseFragmentation),
      UseRTS(other.UseRTS),
      ShortPreamble(other.ShortPreamble),
      MaxTxPower(other.MaxTxPower),
      MaxNetRate(other.MaxNetRate),
      WrLessMode(other.WrLessMode),
      Priority(-1),
      Use802_1(other.Use802_1),
      WpaMode(other.WpaMode),
      WpaPassphrase(other.WpaPassphrase) {}

CProfile::~CProfile() = default;

void CProfile::TakeValues(const CProfile& other) {
    if (&other == this) return;
    CProfile copy(other);  // every setting but the section and the place
    m_strSection = other.m_strSection;
    ProfName = std::move(copy.ProfName);
    NetName = std::move(copy.NetName);
    NetMode = copy.NetMode;
    PSType = copy.PSType;
    PhyType = copy.PhyType;
    PhyChnl = copy.PhyChnl;
    PhyFreq = copy.PhyFreq;
    SecType = copy.SecType;
    ActiveSecKey = copy.ActiveSecKey;
    SecKey = std::move(copy.SecKey);
    SecKeyLen = copy.SecKeyLen;
    AutoSelect = copy.AutoSelect;
    MaxFragment = copy.MaxFragment;
    RTSThreshold = copy.RTSThreshold;
    UseFragmentation = copy.UseFragmentation;
    UseRTS = copy.UseRTS;
    ShortPreamble = copy.ShortPreamble;
    MaxTxPower = copy.MaxTxPower;
    MaxNetRate = copy.MaxNetRate;
    WrLessMode = copy.WrLessMode;
    Priority = other.Priority;
    Use802_1 = copy.Use802_1;
    WpaMode = copy.WpaMode;
    WpaPassphrase = std::move(copy.WpaPassphrase);
}

void CProfile::Load() {
    const std::string& s = m_strSection;
    ProfName = theApp.GetProfileString(s, "ProfName", "");
    NetName = theApp.GetProfileString(s, "NetName", "");
    NetMode = ReadBool(s, "NetMode", false);
    PSType = theApp.GetProfileInt(s, "PSType", 0);
    PhyType = theApp.GetProfileInt(s, "PhyType", 1);
    PhyChnl = theApp.GetProfileInt(s, "PhyChnl", 0);
    SecType = theApp.GetProfileInt(s, "SecType", 0);
    ActiveSecKey = theApp.GetProfileInt(s, "ActiveSecKey", -1);
    for (int i = 0; i < kKeyCount; ++i) {
        SecKey[static_cast<std::size_t>(i)] = theApp.GetProfileString(s, KeyName(i), "");
        SecKeyLen[static_cast<std::size_t>(i)] = theApp.GetProfileInt(s, KeyLenName(i), 0);
    }
    AutoSelect = ReadBool(s, "AutoSelect", false);
    MaxFragment = theApp.GetProfileInt(s, "MaxFragment", 0);
    RTSThreshold = theApp.GetProfileInt(s, "RTSThreshold", 0);
    UseFragmentation = ReadBool(s, "UseFragmentation", false);
    UseRTS = ReadBool(s, "UseRTS", false);
    ShortPreamble = ReadBool(s, "ShortPreamble", false);
    MaxTxPower = theApp.GetProfileInt(s, "MaxTxPower", 0);
    MaxNetRate = theApp.GetProfileInt(s, "MaxNetRate", kDefaultMaxNetRate);
    WrLessMode = theApp.GetProfileInt(s, "WrLessMode", 0);
    Use802_1 = ReadBool(s, "Use802_1", false);
    Priority = theApp.GetProfileInt(s, "Priority", 0);
    WpaMode = theApp.GetProfileInt(s, "WpaMode", 0);
    if (WpaMode < 3 || WpaMode > 6) WpaMode = 0;
    WpaPassphrase = theApp.GetProfileString(s, "WpaPassphrase", "");
    PhyFreq = theApp.GetProfileInt(s, "PhyFreq", 0);
}

bool CProfile::Save(bool writeCount) {
    const std::string& s = m_strSection;
    // The count is taken before the store's update begins: the manager's lock always comes first.
    CProfileMngr* mngr = writeCount ? theApp.m_pProfileMngr : nullptr;
    const int count = mngr ? mngr->GetCount() : 0;
    // One change of the store for the whole profile: stored whole or not at all.
    CRegistryUpdate group(theApp.m_pRegistry);
    bool ok = true;
    auto putInt = [&](const std::string& entry, int value) {
        ok = theApp.WriteProfileInt(s, entry, value) && ok;
    };
    auto putText = [&](const std::string& entry, const std::string& value) {
        ok = theApp.WriteProfileString(s, entry, value) && ok;
    };
    putText("ProfName", ProfName);
    putText("NetName", NetName);
    putInt("NetMode", NetMode ? 1 : 0);
    putInt("PSType", PSType);
    putInt("PhyType", PhyType);
    putInt("PhyChnl", PhyChnl);
    putInt("SecType", SecType);
    putInt("ActiveSecKey", ActiveSecKey);
    for (int i = 0; i < kKeyCount; ++i) {
        putText(KeyName(i), SecKey[static_cast<std::size_t>(i)]);
        putInt(KeyLenName(i), SecKeyLen[static_cast<std::size_t>(i)]);
    }
    putInt("AutoSelect", AutoSelect ? 1 : 0);
    putInt("MaxFragment", MaxFragment);
    putInt("RTSThreshold", RTSThreshold);
    putInt("UseFragmentation", UseFragmentation ? 1 : 0);
    putInt("UseRTS", UseRTS ? 1 : 0);
    putInt("ShortPreamble", ShortPreamble ? 1 : 0);
    putInt("MaxTxPower", MaxTxPower);
    putInt("MaxNetRate", MaxNetRate);
    putInt("WrLessMode", WrLessMode);
    putInt("Use802_1", Use802_1 ? 1 : 0);
    putInt("Priority", Priority);
    putInt("WpaMode", WpaMode);
    putText("WpaPassphrase", WpaPassphrase);
    putInt("PhyFreq", PhyFreq);
    if (writeCount) {
        // Without a manager there is no count to write; that is a failure for a caller that asked.
        ok = (mngr && theApp.WriteProfileInt("", "NumOfProfiles", count)) && ok;
    }
    return group.End() && ok;
}

bool CProfile::ClearName() { return theApp.WriteProfileString(m_strSection, "ProfName", ""); }

}  // namespace wavory
