// The profile record against the real settings store: defaults, the stored kinds, copies, channels.
#include <gtest/gtest.h>

#include <string>

#include "ProfilesFixture.h"
#include "base/RegTree.h"
#include "kccl_oid.h"
#include "profiles/Profile.h"
#include "profiles/ProfileMngr.h"
#include "store/RegFile.h"

using namespace wavory;
using namespace wavory::test;

namespace {

// A profile whose every field differs from its default.
void FillAll(CProfile& p) {
    p.ProfName = "Office";
    p.NetName = "Harbour";
    p.NetMode = true;
    p.PSType = 2;
    p.PhyType = 0;
    p.PhyChnl = 9;
    p.SecType = 1;
    p.ActiveSecKey = 3;
    p.SecKey = {"0102030405", "AABBCCDDEE", "00112233445566778899AABBCC", "FFEEDDCCBB"};
    p.SecKeyLen = {0, 0, 1, 0};
    p.AutoSelect = true;
    p.MaxFragment = 2312;
    p.RTSThreshold = 500;
    p.UseFragmentation = true;
    p.UseRTS = true;
    p.ShortPreamble = true;
    p.MaxTxPower = 2;
    p.MaxNetRate = 5500000;
    p.WrLessMode = 3;
    p.Priority = 4;
    p.Use802_1 = true;
    p.WpaMode = 3;
    p.WpaPassphrase = "a \"quoted\" pass\\phrase";
    p.PhyFreq = 5975;
    p.EapMethod = 2;
    p.EapPhase2 = 4;
    p.EapIdentity = "bob";
    p.EapAnonIdentity = "anonymous@campus";
    p.EapCaCert = "/etc/ca.pem";
    p.EapSystemCa = true;
    p.EapDomain = "campus.example";
    p.EapNoCaCheck = true;
    p.EapClientCert = "/etc/c.pem";
    p.EapPrivateKey = "/etc/k.pem";
    p.EapKeyPassword = "key \"pw\"";
    p.EapPassword = "pw\\";
    p.MacAddress = 3;
    p.Metered = true;
    p.IPv4Address = "192.0.2.10/24";
    p.IPv4Gateway = "192.0.2.1";
    p.IPv6Address = "2001:db8::10/64";
    p.IPv6Gateway = "2001:db8::1";
    p.DnsServers = "192.0.2.53 2001:db8::53";
    p.PreferHighBand = true;
    p.BandFloor = -82;
    p.PinnedBssid = "02:1a:11:00:00:0b";
    p.Hotspot = true;
    p.HotspotBand = 2;
    p.HotspotChannel = 36;
}

void ExpectSameSettings(const CProfile& a, const CProfile& b) {
    EXPECT_EQ(a.ProfName, b.ProfName);
    EXPECT_EQ(a.NetName, b.NetName);
    EXPECT_EQ(a.NetMode, b.NetMode);
    EXPECT_EQ(a.PSType, b.PSType);
    EXPECT_EQ(a.PhyType, b.PhyType);
    EXPECT_EQ(a.PhyChnl, b.PhyChnl);
    EXPECT_EQ(a.PhyFreq, b.PhyFreq);
    EXPECT_EQ(a.SecType, b.SecType);
    EXPECT_EQ(a.ActiveSecKey, b.ActiveSecKey);
    EXPECT_EQ(a.SecKey, b.SecKey);
    EXPECT_EQ(a.SecKeyLen, b.SecKeyLen);
    EXPECT_EQ(a.AutoSelect, b.AutoSelect);
    EXPECT_EQ(a.MaxFragment, b.MaxFragment);
    EXPECT_EQ(a.RTSThreshold, b.RTSThreshold);
    EXPECT_EQ(a.UseFragmentation, b.UseFragmentation);
    EXPECT_EQ(a.UseRTS, b.UseRTS);
    EXPECT_EQ(a.ShortPreamble, b.ShortPreamble);
    EXPECT_EQ(a.MaxTxPower, b.MaxTxPower);
    EXPECT_EQ(a.MaxNetRate, b.MaxNetRate);
    EXPECT_EQ(a.WrLessMode, b.WrLessMode);
    EXPECT_EQ(a.Use802_1, b.Use802_1);
    EXPECT_EQ(a.WpaMode, b.WpaMode);
    EXPECT_EQ(a.WpaPassphrase, b.WpaPassphrase);
    EXPECT_EQ(a.EapMethod, b.EapMethod);
    EXPECT_EQ(a.EapPhase2, b.EapPhase2);
    EXPECT_EQ(a.EapIdentity, b.EapIdentity);
    EXPECT_EQ(a.EapAnonIdentity, b.EapAnonIdentity);
    EXPECT_EQ(a.EapCaCert, b.EapCaCert);
    EXPECT_EQ(a.EapSystemCa, b.EapSystemCa);
    EXPECT_EQ(a.EapDomain, b.EapDomain);
    EXPECT_EQ(a.EapNoCaCheck, b.EapNoCaCheck);
    EXPECT_EQ(a.EapClientCert, b.EapClientCert);
    EXPECT_EQ(a.EapPrivateKey, b.EapPrivateKey);
    EXPECT_EQ(a.EapKeyPassword, b.EapKeyPassword);
    EXPECT_EQ(a.EapPassword, b.EapPassword);
    EXPECT_EQ(a.MacAddress, b.MacAddress);
    EXPECT_EQ(a.Metered, b.Metered);
    EXPECT_EQ(a.IPv4Address, b.IPv4Address);
    EXPECT_EQ(a.IPv4Gateway, b.IPv4Gateway);
    EXPECT_EQ(a.IPv6Address, b.IPv6Address);
    EXPECT_EQ(a.IPv6Gateway, b.IPv6Gateway);
    EXPECT_EQ(a.DnsServers, b.DnsServers);
    EXPECT_EQ(a.PreferHighBand, b.PreferHighBand);
    EXPECT_EQ(a.BandFloor, b.BandFloor);
    EXPECT_EQ(a.PinnedBssid, b.PinnedBssid);
}

}  // namespace

class ProfileRecordTest : public ProfilesFixture {
protected:
    // The section as a profile file holds it.
    SRegKey Exported(const std::string& section) {
        const std::string file = FilePath(section + ".reg");
        EXPECT_EQ(m_pRegistry->SaveKey(section, file, true), REG_OK);
        SRegKey top;
        EXPECT_EQ(ReadRegFile(file, top), REG_OK);
        return top;
    }
};

TEST_F(ProfileRecordTest, EmptySectionLoadsDefaults) {
    const CProfile p("Profile 7", true);
    EXPECT_EQ(p.GetSection(), "Profile 7");
    EXPECT_EQ(p.ProfName, "");
    EXPECT_EQ(p.NetName, "");
    EXPECT_FALSE(p.NetMode);
    EXPECT_EQ(p.PSType, 0);
    EXPECT_EQ(p.PhyType, 1);
    EXPECT_EQ(p.PhyChnl, 0);
    EXPECT_EQ(p.SecType, 0);
    EXPECT_EQ(p.ActiveSecKey, -1);
    for (int i = 0; i < CProfile::kKeyCount; ++i) {
        EXPECT_EQ(p.SecKey[static_cast<std::size_t>(i)], "");
        EXPECT_EQ(p.SecKeyLen[static_cast<std::size_t>(i)], 0);
    }
    EXPECT_FALSE(p.AutoSelect || p.UseFragmentation || p.UseRTS || p.ShortPreamble || p.Use802_1);
    EXPECT_EQ(p.MaxFragment, 0);
    EXPECT_EQ(p.RTSThreshold, 0);
    EXPECT_EQ(p.MaxTxPower, 0);
    EXPECT_EQ(p.MaxNetRate, 27000000);
    EXPECT_EQ(p.WrLessMode, 0);
    EXPECT_EQ(p.Priority, 0);
}

TEST_F(ProfileRecordTest, SaveStoresEveryValueOfItsKindAndLoadsThemBack) {
    CProfile saved("Profile 0", false);
    FillAll(saved);
    ASSERT_TRUE(saved.Save(false));

    const SRegKey top = Exported("Profile 0");
    // With "WpaMode", "WpaPassphrase", "PhyFreq", the 12 of 802.1X, the 10 network settings and the
    // 3 of a hotspot.
    EXPECT_EQ(top.values.size(), 55u);
    EXPECT_EQ(top.subkeys.size(), 0u);
    for (const char* text :
         {"ProfName", "NetName", "Sec Key 0", "Sec Key 1", "Sec Key 2", "Sec Key 3", "WpaPassphrase"}) {
        const SRegValue* v = top.FindValue(text);
        ASSERT_NE(v, nullptr) << text;
        EXPECT_EQ(v->type, ERegType::Sz) << text;
    }
    EXPECT_EQ(*top.FindValue("Sec Key 2"), SRegValue::Sz("00112233445566778899AABBCC"));
    EXPECT_EQ(*top.FindValue("Sec Key Len 2"), SRegValue::Dword(1));
    EXPECT_EQ(*top.FindValue("NetMode"), SRegValue::Dword(1));
    EXPECT_EQ(*top.FindValue("Use802_1"), SRegValue::Dword(1));
    EXPECT_EQ(*top.FindValue("MaxNetRate"), SRegValue::Dword(5500000));
    EXPECT_EQ(*top.FindValue("Priority"), SRegValue::Dword(4));
    EXPECT_EQ(*top.FindValue("WpaMode"), SRegValue::Dword(3));
    EXPECT_EQ(*top.FindValue("PhyFreq"), SRegValue::Dword(5975));
    // A signal in dBm is negative: stored as its two's complement.
    EXPECT_EQ(*top.FindValue("BandFloor"), SRegValue::Dword(static_cast<uint32_t>(-82)));
    // The count is only written on request.
    EXPECT_EQ(theApp.GetProfileInt("", "NumOfProfiles", -7), -7);

    const CProfile loaded("Profile 0", true);
    ExpectSameSettings(loaded, saved);
    EXPECT_EQ(loaded.Priority, 4);
    EXPECT_EQ(loaded.WpaMode, 3);
    EXPECT_EQ(loaded.WpaPassphrase, "a \"quoted\" pass\\phrase");
}

TEST_F(ProfileRecordTest, MinusOneIsStoredAsAllOnesDwordAndLoadsBack) {
    CProfile p("Profile 0", false);
    p.Priority = -1;
    ASSERT_TRUE(p.Save(false));
    const SRegKey top = Exported("Profile 0");
    EXPECT_EQ(*top.FindValue("Priority"), SRegValue::Dword(0xFFFFFFFFu));
    EXPECT_EQ(*top.FindValue("ActiveSecKey"), SRegValue::Dword(0xFFFFFFFFu));
    const CProfile loaded("Profile 0", true);
    EXPECT_EQ(loaded.Priority, -1);
    EXPECT_EQ(loaded.ActiveSecKey, -1);
}

TEST_F(ProfileRecordTest, AnyNonZeroIntegerLoadsAsTrue) {
    for (const char* flag :
         {"NetMode", "AutoSelect", "UseFragmentation", "UseRTS", "ShortPreamble", "Use802_1"})
        ASSERT_TRUE(theApp.WriteProfileInt("Profile 1", flag, 7));
    const CProfile on("Profile 1", true);
    EXPECT_TRUE(on.NetMode && on.AutoSelect && on.UseFragmentation && on.UseRTS && on.ShortPreamble &&
                on.Use802_1);
    ASSERT_TRUE(theApp.WriteProfileInt("Profile 1", "NetMode", -1));
    ASSERT_TRUE(theApp.WriteProfileInt("Profile 1", "UseRTS", 0));
    const CProfile mixed("Profile 1", true);
    EXPECT_TRUE(mixed.NetMode);
    EXPECT_FALSE(mixed.UseRTS);
}

TEST_F(ProfileRecordTest, CopyHasTheSettingsButNoSectionAndNoSlot) {
    CProfile source("Profile 3", false);
    FillAll(source);
    const CProfile copy(source);
    ExpectSameSettings(copy, source);
    EXPECT_EQ(copy.GetSection(), "");
    EXPECT_EQ(copy.Priority, -1);
}

TEST_F(ProfileRecordTest, TakeValuesKeepsSecurityAndFrequency) {
    CProfile source("Profile 3", false);
    FillAll(source);
    CProfile target("Profile 5", false);
    target.TakeValues(source);
    ExpectSameSettings(target, source);
}

TEST_F(ProfileRecordTest, AStoredFrequencyNamesTheChannelAndAbsentKeepsTheIndex) {
    CProfile p("Profile 1", false);
    p.PhyType = 0;
    p.PhyChnl = 0;
    EXPECT_EQ(p.ChannelNumber(), 36);
    p.PhyFreq = 5975;  // 6 GHz channel 5
    EXPECT_EQ(p.ChannelNumber(), 5);
    p.PhyFreq = 5181;  // no channel's: the index decides
    EXPECT_EQ(p.ChannelNumber(), 36);
    EXPECT_EQ(ProfilePhyType(KCOM_PHY_AX, 5975), 0);
    EXPECT_EQ(ProfilePhyType(KCOM_PHY_N, 2437), 2);
    EXPECT_EQ(ProfilePhyType(KCOM_PHY_B, 2437), 1);
}

TEST_F(ProfileRecordTest, ChannelIndexMapsToChannelNumber) {
    struct Case {
        int phy, index, channel;
    };
    for (const Case c : {Case{0, 0, 36}, Case{0, 7, 64}, Case{0, 8, 149}, Case{0, 11, 161}, Case{1, 0, 1},
                         Case{1, 10, 11}, Case{2, 12, 13}}) {
        EXPECT_EQ(ChannelIndexToNumber(c.phy, c.index), c.channel) << c.phy << "/" << c.index;
    }
}

TEST_F(ProfileRecordTest, SaveWithCountWritesTheManagersCount) {
    CProfileMngr& mngr = MakeMngr();
    mngr.AddProfile();
    const std::string second = mngr.AddProfile();
    ASSERT_TRUE(mngr.GetProfile(second)->Save(true));
    EXPECT_EQ(theApp.GetProfileInt("", "NumOfProfiles", -1), 2);
    EXPECT_EQ(theApp.GetProfileString(second, "ProfName", "?"), second);
}

TEST_F(ProfileRecordTest, FailedWritesReachTheCaller) {
    // The store refuses a section with an empty part.
    CProfile bad("Bad\\\\Section", false);
    EXPECT_FALSE(bad.Save(false));
    EXPECT_FALSE(bad.ClearName());

    // Without a manager there is no count to write; the values themselves are stored.
    CProfile p("Profile 2", false);
    p.NetName = "Lighthouse";
    EXPECT_FALSE(p.Save(true));
    EXPECT_EQ(theApp.GetProfileString("Profile 2", "NetName", ""), "Lighthouse");
    EXPECT_TRUE(p.Save(false));

    theApp.m_pRegistry = nullptr;
    EXPECT_FALSE(p.Save(false));
}

TEST_F(ProfileRecordTest, ClearNameEmptiesOnlyTheStoredName) {
    CProfile p("Profile 4", false);
    p.ProfName = "Home";
    p.NetName = "Lighthouse";
    ASSERT_TRUE(p.Save(false));
    ASSERT_TRUE(p.ClearName());
    const CProfile loaded("Profile 4", true);
    EXPECT_EQ(loaded.ProfName, "");
    EXPECT_EQ(loaded.NetName, "Lighthouse");
    EXPECT_EQ(p.ProfName, "Home");
}
