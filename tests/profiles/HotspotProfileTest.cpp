// A hotspot profile: the user's own access point kept in the store. It keeps what it starts with,
// refuses values that make no hotspot (so an import does too), and is never taken for the network
// of the same name: not by the automatic selection, a join's profile, Forget or another stack's file.
#include <gtest/gtest.h>

#include "ProfilesFixture.h"
#include "kccl_oid.h"
#include "profiles/HotspotProfile.h"
#include "profiles/Profile.h"
#include "profiles/ProfileLimits.h"
#include "profiles/StackFiles.h"
#include "survey/Connect.h"
#include "survey/LinkActions.h"
#include "survey/Station.h"

namespace wavory::test {
namespace {

kccl::SHotspotRecord Deck() {
    kccl::SHotspotRecord record;
    record.ssid = "Deck Party";
    record.security = KCOM_HOTSPOT_WPA2_WPA3;
    record.band = KCOM_HOTSPOT_BAND_2G4;
    record.channel = 11;
    record.passphrase = "mooring-lines";
    return record;
}

class HotspotProfileTest : public ProfilesFixture {};

TEST_F(HotspotProfileTest, ItKeepsWhatItStartsWithAndRefusesWhatMakesNoHotspot) {
    CProfile p("", false);
    p.AutoSelect = true;
    p.Priority = 2;
    SetHotspotSettings(p, Deck());
    EXPECT_FALSE(p.AutoSelect);
    EXPECT_EQ(p.Priority, -1);
    EXPECT_EQ(CheckProfileLimits(p), "");
    const kccl::SHotspotRecord back = HotspotRecordOf(p);
    EXPECT_EQ(back.ssid, "Deck Party");
    EXPECT_EQ(back.security, KCOM_HOTSPOT_WPA2_WPA3);
    EXPECT_EQ(back.band, KCOM_HOTSPOT_BAND_2G4);
    EXPECT_EQ(back.channel, 11);
    EXPECT_EQ(back.passphrase, "mooring-lines");
    EXPECT_EQ(ProfileSecurityText(p), "Hotspot (WPA2/WPA3-Personal, 2.4 GHz, channel 11)");

    // An open one keeps no passphrase, even one the profile held before.
    kccl::SHotspotRecord open = Deck();
    open.security = KCOM_HOTSPOT_OPEN;
    SetHotspotSettings(p, open);
    EXPECT_TRUE(p.WpaPassphrase.empty());
    EXPECT_TRUE(HotspotRecordOf(p).passphrase.empty());

    // What a stored or imported section may hold that makes no hotspot, each named.
    const auto refused = [](const char* what, auto change, const std::string& needle) {
        CProfile q("", false);
        SetHotspotSettings(q, Deck());
        change(q);
        const std::string problem = CheckProfileLimits(q);
        EXPECT_NE(problem.find(needle), std::string::npos) << what << ": " << problem;
    };
    refused(
        "WEP", [](CProfile& q) { q.SecType = 1; }, "\"WpaMode\"");
    refused(
        "enterprise", [](CProfile& q) { q.WpaMode = KCOM_SECURITY_MODE_WPA2_ENTERPRISE; }, "\"WpaMode\"");
    refused(
        "band", [](CProfile& q) { q.HotspotBand = 9; }, "\"HotspotBand\" is 9");
    refused(
        "channel", [](CProfile& q) { q.HotspotChannel = 300; }, "\"HotspotChannel\" is 300");
    refused(
        "member", [](CProfile& q) { q.AutoSelect = true; }, "\"AutoSelect\"");
    refused(
        "passphrase", [](CProfile& q) { q.WpaPassphrase = "short"; }, "8 to 63");
    refused(
        "name", [](CProfile& q) { q.NetName.clear(); }, "NetName");
    refused(
        "6 GHz WPA2",
        [](CProfile& q) { q.HotspotBand = KCOM_HOTSPOT_BAND_6G, q.HotspotChannel = 0, q.WpaMode = 3; },
        "wpa3");
}

TEST_F(HotspotProfileTest, KeptThroughTheManagersWritePathAndNeverTakenForTheNetwork) {
    CProfileMngr& mngr = MakeMngr();
    std::string why;
    ASSERT_EQ(KeepHotspotProfile(mngr, "Deck", Deck(), false, why), REG_OK) << why;
    // The network of the same name, as a member of the automatic selection.
    {
        auto lock = mngr.Lock();
        const std::string added = mngr.AddProfile(nullptr);
        ASSERT_TRUE(mngr.RenameProfile(added, "Party"));
        auto network = mngr.GetProfile("Party");
        network->NetName = "Deck Party";
        network->NetMode = true;
        network->AutoSelect = true;
        network->Priority = mngr.UpdatePriorities(-1);
        ASSERT_TRUE(mngr.StoreChanges().Ok());
    }
    EXPECT_EQ(KeepHotspotProfile(mngr, "Deck", Deck(), false, why), -1);
    EXPECT_NE(why.find("already exists"), std::string::npos) << why;
    why.clear();
    EXPECT_EQ(KeepHotspotProfile(mngr, "Party", Deck(), true, why), -1)
        << "a network's profile is not replaced";
    kccl::SHotspotRecord changed = Deck();
    changed.band = KCOM_HOTSPOT_BAND_5G;
    changed.channel = 0;
    ASSERT_EQ(KeepHotspotProfile(mngr, "Deck", changed, true, why), REG_OK) << why;

    // Read back from the store by another manager, as another process would.
    CProfileMngr& again = MakeMngr();
    auto deck = again.GetProfile("Deck");
    ASSERT_TRUE(deck);
    EXPECT_TRUE(IsHotspotProfile(*deck));
    EXPECT_EQ(deck->HotspotBand, KCOM_HOTSPOT_BAND_5G);
    EXPECT_EQ(deck->WpaPassphrase, "mooring-lines");
    ASSERT_EQ(again.FindBySsid("Deck Party"), again.GetProfile("Party"));

    CProfile heard("", false);
    heard.NetName = "Deck Party";
    heard.NetMode = true;
    const CStation scanned(heard);
    EXPECT_EQ(FindJoinProfile(scanned), again.GetProfile("Party"));
    // Even claiming the member's place in the order (a hand-edited store), it is not tried, and the
    // member keeps its turn (the hotspot's name comes first).
    {
        auto lock = again.Lock();
        deck->Priority = again.GetProfile("Party")->Priority;
    }
    auto first = again.NextAutoSelect({});
    ASSERT_TRUE(first);
    EXPECT_EQ(first->ProfName, "Party");
    // Forgetting the network leaves the hotspot.
    EXPECT_EQ(ForgetNetwork("Deck Party"), 1);
    EXPECT_TRUE(again.GetProfile("Deck"));
    EXPECT_FALSE(again.GetProfile("Party"));
}

TEST_F(HotspotProfileTest, NoStacksFileTakesItForANetworkToJoin) {
    CProfile p("", false);
    p.ProfName = "Deck";
    SetHotspotSettings(p, Deck());
    CProfile cafe("", false);
    cafe.ProfName = cafe.NetName = "Cafe";
    cafe.NetMode = true;
    EXPECT_NE(WriteNmKeyfile(p).refusal.find("hotspot"), std::string::npos);
    EXPECT_NE(WriteIwdFile(p).refusal.find("hotspot"), std::string::npos);
    std::vector<SStackFile> notes;
    const std::string conf = WriteWpaSupplicantConf({&p, &cafe}, notes);
    ASSERT_EQ(notes.size(), 2u);
    EXPECT_NE(notes[0].refusal.find("hotspot"), std::string::npos);
    EXPECT_TRUE(notes[1].refusal.empty());
    EXPECT_EQ(conf.find("Deck Party"), std::string::npos) << conf;
    EXPECT_EQ(conf.find("mooring-lines"), std::string::npos) << conf;
    EXPECT_NE(conf.find("\"Cafe\""), std::string::npos) << conf;
}

}  // namespace
}  // namespace wavory::test
