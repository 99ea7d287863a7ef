// The General page's own commands: Disconnect and Details, and a missing adapter said as such.
#include <gtest/gtest.h>

#include <QPushButton>

#include "../support/UiCore.h"
#include "profiles/ProfileMngr.h"
#include "survey/Connect.h"
#include "ui/monitor/ConnectionDetails.h"
#include "ui/monitor/MainGen.h"

namespace wavory::test {
namespace {

using G = CMainGen;
using GeneralDailyTest = CUiCoreTest;

TEST_F(GeneralDailyTest, DisconnectLeavesTheNetworkAndIsOffWithoutOne) {
    CMainGen page;
    page.Activate();
    auto* disconnect = page.findChild<QPushButton*>("btnDisconnect");
    ASSERT_NE(disconnect, nullptr);
    EXPECT_FALSE(disconnect->isEnabled());
    Connect();
    page.Refresh();
    ASSERT_TRUE(disconnect->isEnabled());
    disconnect->click();
    EXPECT_FALSE(theApp.m_pStationMngr->IsConnected());
    EXPECT_TRUE(theApp.m_bAutoPaused);
    EXPECT_EQ(Text(&page, G::IDC_SSID), "Not Connected");
    EXPECT_FALSE(disconnect->isEnabled());
    EXPECT_TRUE(m_Messages.m_Shown.empty());
}

// The simulated adapter is said as such (the tests run on it), and a first start with nothing
// stored points to View Site.
TEST_F(GeneralDailyTest, SimulatedAdapterAndAFirstStartAreSaid) {
    CMainGen page;
    page.Activate();
    EXPECT_TRUE(page.NoticeText().startsWith("Simulated adapter")) << page.NoticeText().toStdString();
    EXPECT_TRUE(page.NoticeText().contains("View Site"));
    theApp.m_pProfileMngr->AddProfile();
    page.Refresh();
    EXPECT_TRUE(page.NoticeText().startsWith("Simulated adapter"));
    EXPECT_FALSE(page.NoticeText().contains("View Site"));
}

// Why the last connection ended stays on the page until the next connection; the network's name
// is shown as it is, never as markup.
TEST_F(GeneralDailyTest, TheLastDisconnectIsSaidUntilTheNextConnection) {
    CMainGen page;
    page.Activate();
    EXPECT_FALSE(page.NoticeText().contains("Last disconnect"));
    Connect();
    page.Refresh();
    ASSERT_EQ(kccl_sim_deauth(7), 0);
    page.Refresh();
    EXPECT_TRUE(page.NoticeText().contains(
        "Last disconnect from Lighthouse: The access point forgot this station: it restarted or dropped it. "
        "(reason 7)"))
        << page.NoticeText().toStdString();
    Connect();
    page.Refresh();
    EXPECT_FALSE(page.NoticeText().contains("Last disconnect"));

    ASSERT_EQ(kccl_sim_put_network(R"({"ssid": "<b>Bold</b>", "bssid": "00-1D-7E-11-22-99", "channel": 3})"), 0);
    Connect("<b>Bold</b>");
    page.Refresh();
    ASSERT_EQ(kccl_sim_remove_network("00-1D-7E-11-22-99"), 0);
    page.Refresh();
    EXPECT_TRUE(page.NoticeText().contains("Last disconnect from <b>Bold</b>: Signal lost"))
        << page.NoticeText().toStdString();
}

TEST_F(GeneralDailyTest, MissingAdapterReplacesTheLastHardwareStatus) {
    CMainGen page;
    page.Activate();
    ASSERT_EQ(Text(&page, G::IDC_RADIO_STATUS), "HW Status:  Ready; RF Status 1.");
    kccl_sim_set_present(0);
    page.Refresh();
    EXPECT_EQ(Text(&page, G::IDC_RADIO_STATUS), "No adapter found.");
    kccl_sim_set_present(1);
    page.Refresh();
    EXPECT_EQ(Text(&page, G::IDC_RADIO_STATUS), "HW Status:  Ready; RF Status 1.");
}

TEST_F(GeneralDailyTest, LinkFiguresShowBeforeAScanNamesTheStation) {
    Connect("Lighthouse", 1, -66);
    theApp.m_pStationMngr->SetCurrent(nullptr);  // as just after the adapter came back and rejoined
    CMainGen page;
    page.Activate();
    EXPECT_EQ(Text(&page, G::IDC_SSID), "Lighthouse");
    EXPECT_EQ(Text(&page, G::IDC_LINK_QUALITY), "68%");
    EXPECT_EQ(Text(&page, G::IDC_NET_RATE), "11 Mbps");
}

TEST_F(GeneralDailyTest, CountersCarryTheirUnit) {
    CMainGen page;
    page.Activate();
    Connect();
    page.Refresh();
    EXPECT_TRUE(Text(&page, G::IDC_RECEIVED).endsWith(" frames"))
        << Text(&page, G::IDC_RECEIVED).toStdString();
    page.Refresh();
    EXPECT_FALSE(Text(&page, G::IDC_SENT).endsWith(" frames frames"));
}

TEST_F(GeneralDailyTest, DetailsTellTheRadioAndSayWhatTheSimulationHasNot) {
    CConnectionDetails notConnected;
    EXPECT_EQ(notConnected.Value("Network"), "Not Connected");
    EXPECT_EQ(notConnected.Value("BSSID"), CConnectionDetails::kNotAvailable);

    Connect("Lighthouse", 1, -66);
    CConnectionDetails details;
    EXPECT_EQ(details.Value("Network"), "Lighthouse");
    EXPECT_TRUE(details.Value("Frequency").startsWith("11 / 2.462 GHz"))
        << details.Value("Frequency").toStdString();
    EXPECT_EQ(details.Value("Security"), "None");
    EXPECT_EQ(details.Value("Signal"), "-66dBm");
    EXPECT_NE(details.Value("Send rate"), CConnectionDetails::kNotAvailable);
    // The simulated adapter has no interface on this machine, hence no addresses.
    EXPECT_EQ(details.Value("Interface"), "simulated adapter");
    for (const char* field : {"IPv4 address", "IPv6 address", "Gateway", "DNS servers"})
        EXPECT_EQ(details.Value(field), CConnectionDetails::kNotAvailable) << field;
}

// Details say how the profile in use chose the access point, where it had a choice: the settings
// this program joined with, else the stored profile of the network.
TEST_F(GeneralDailyTest, DetailsSayHowTheProfileInUseChoseTheAccessPoint) {
    std::shared_ptr<CStation> station = Connect("Lighthouse", 1, -66);
    EXPECT_EQ(CConnectionDetails().Value("Access point"), "");  // no profile, no choice

    CProfile stored("", false);
    stored.NetName = "Lighthouse";
    stored.NetMode = true;
    stored.PreferHighBand = true;
    stored.BandFloor = -72;
    theApp.m_pProfileMngr->AddProfile(&stored);
    EXPECT_EQ(CConnectionDetails().Value("Access point"), "prefers 5/6 GHz unless below -72 dBm");

    auto applied = std::make_shared<CStation>(*station);
    applied->PinnedBssid = "00:0f:b5:44:7c:20";
    applied->PreferHighBand = false;
    RememberApplied(applied);
    EXPECT_EQ(CConnectionDetails().Value("Access point"), "stays on 00:0f:b5:44:7c:20");
    RememberApplied(nullptr);
}

}  // namespace
}  // namespace wavory::test
