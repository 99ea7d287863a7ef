// The General page against the simulated adapter: the not-connected state, a connection made
// through a station, the signal texts in both units, and an unplugged and replugged adapter.
#include <gtest/gtest.h>

#include <QPushButton>

#include "../support/UiCore.h"
#include "ui/monitor/MainGen.h"
#include "ui/profiles/ShareDlg.h"

namespace wavory::test {
namespace {

using G = CMainGen;

class MainGenTest : public CUiCoreTest {};

void ExpectNotConnected(QWidget& page) {
    EXPECT_EQ(CUiCoreTest::Text(&page, G::IDC_SSID), "Not Connected");
    for (int id : {G::IDC_NET_MODE, G::IDC_CHANNEL, G::IDC_MAX_RATE, G::IDC_SECURITY, G::IDC_POWER_SAVE,
                   G::IDC_ACTIVE_PROFILE, G::IDC_RECEIVED, G::IDC_SENT, G::IDC_LINK_QUALITY, G::IDC_NET_RATE})
        EXPECT_EQ(CUiCoreTest::Text(&page, id), "") << "control " << id;
}

TEST_F(MainGenTest, NotConnectedShowsOnlyTheRadioStatus) {
    CMainGen page;
    page.Activate();
    ExpectNotConnected(page);
    EXPECT_EQ(Text(&page, G::IDC_RADIO_STATUS), "HW Status:  Ready; RF Status 1.");
}

TEST_F(MainGenTest, ShowsTheNetworkJoinedThroughAStation) {
    CMainGen page;
    page.Activate();
    Connect("Lighthouse", 1, -66);
    page.Refresh();
    EXPECT_EQ(Text(&page, G::IDC_SSID), "Lighthouse");
    EXPECT_EQ(Text(&page, G::IDC_NET_MODE), "Infrastructure");
    EXPECT_TRUE(Text(&page, G::IDC_CHANNEL).startsWith("11 / 2.462 GHz - 802.11"))
        << Text(&page, G::IDC_CHANNEL).toStdString();
    EXPECT_EQ(Text(&page, G::IDC_MAX_RATE), "11 Mbps");
    EXPECT_EQ(Text(&page, G::IDC_SECURITY), "Disabled");
    EXPECT_EQ(Text(&page, G::IDC_LINK_QUALITY), "68%");  // -100..-50 dBm over 0..100 %
    EXPECT_EQ(Text(&page, G::IDC_NET_RATE), "11 Mbps");
    EXPECT_EQ(Text(&page, G::IDC_ACTIVE_PROFILE), "test");  // no connected profile

    // Traffic flows while associated: the frame counters move with the adapter's clock.
    const QString received = Text(&page, G::IDC_RECEIVED);
    kccl_sim_advance(3000);
    page.Refresh();
    EXPECT_NE(Text(&page, G::IDC_RECEIVED), received);
}

// Share offers the network connected now: its stored profile's settings where it has one, else those
// it was joined with; nothing while not connected.
TEST_F(MainGenTest, ShareShowsTheConnectedNetwork) {
    std::vector<std::string> shared;
    CMainGen::s_fnRunShare = [&shared](CShareDlg& dialog) { shared.push_back(dialog.Uri()); };
    CMainGen page;
    page.Activate();
    auto* share = page.findChild<QPushButton*>(QStringLiteral("btnShare"));
    ASSERT_NE(share, nullptr);
    EXPECT_FALSE(share->isEnabled());
    CProfile joined("", false);
    joined.NetName = "Marina";
    joined.NetMode = true;
    joined.WpaMode = KCOM_SECURITY_MODE_WPA2_PERSONAL;
    joined.WpaPassphrase = "moorings-at-high-tide";
    auto station = std::make_shared<CStation>(joined, std::string(), -52);
    ASSERT_TRUE(station->Connect(CStation::CONNECT_APPLY));
    theApp.m_pStationMngr->SetCurrent(station);
    page.Refresh();
    ASSERT_TRUE(share->isEnabled());
    QTest::mouseClick(share, Qt::LeftButton);
    auto stored = std::make_shared<CProfile>(joined);
    stored->WpaMode = KCOM_SECURITY_MODE_WPA3_PERSONAL;
    stored->WpaPassphrase = "moorings-at-low-tide";
    theApp.m_pProfileMngr->SetConnected(stored, false);
    QTest::mouseClick(share, Qt::LeftButton);
    theApp.m_pProfileMngr->SetConnected(nullptr, false);
    CMainGen::s_fnRunShare = nullptr;
    EXPECT_EQ(shared, (std::vector<std::string>{"WIFI:T:WPA;S:Marina;P:moorings-at-high-tide;;",
                                                "WIFI:T:SAE;S:Marina;P:moorings-at-low-tide;;"}));
}

TEST_F(MainGenTest, FiveAndSixGigahertzConnectionsShowGenerationRatesAndSecurity) {
    CMainGen page;
    page.Activate();
    CProfile profile("", false);
    profile.NetName = "Marina";
    profile.NetMode = true;
    profile.WpaMode = KCOM_SECURITY_MODE_WPA2_PERSONAL;
    profile.WpaPassphrase = "moorings-at-high-tide";
    auto station = std::make_shared<CStation>(profile, std::string(), -52);
    ASSERT_TRUE(station->Connect(CStation::CONNECT_APPLY));
    theApp.m_pStationMngr->SetCurrent(station);
    page.Refresh();
    EXPECT_EQ(Text(&page, G::IDC_CHANNEL), "36 / 5.180 GHz - Wi-Fi 6 (802.11ax)");
    EXPECT_EQ(Text(&page, G::IDC_MAX_RATE), "1201 Mbps");
    EXPECT_EQ(Text(&page, G::IDC_NET_RATE), "1201 Mbps");
    EXPECT_EQ(Text(&page, G::IDC_SECURITY), "WPA2-Personal");

    // A weaker signal slows the link, not what it allows.
    ASSERT_EQ(kccl_sim_set_signal("3C-84-6A-51-0E-24", -74), 0);
    page.Refresh();
    EXPECT_NE(Text(&page, G::IDC_NET_RATE), "1201 Mbps");
    EXPECT_EQ(Text(&page, G::IDC_MAX_RATE), "1201 Mbps");

    station->NetName = "Marina-6E";
    station->WpaMode = KCOM_SECURITY_MODE_WPA3_PERSONAL;
    ASSERT_TRUE(station->Connect(CStation::CONNECT_APPLY));
    page.Refresh();
    EXPECT_EQ(Text(&page, G::IDC_CHANNEL), "5 / 5.975 GHz (6 GHz band) - Wi-Fi 6E");
    EXPECT_EQ(Text(&page, G::IDC_SECURITY), "WPA3-Personal");

    // A failing link read leaves the design's figures.
    kccl_sim_set_fault(OID_LINK_INFO, KCCL_SIM_FAULT_STATUS, 1);
    page.Refresh();
    EXPECT_EQ(Text(&page, G::IDC_SECURITY), "WPA3-Personal");  // from the security mode
    EXPECT_EQ(Text(&page, G::IDC_MAX_RATE), "N/A");            // 802.11ax has no figure of old
}

TEST_F(MainGenTest, SignalTextsInPercentAndDbm) {
    CMainGen page;
    page.Activate();
    auto station = Connect();
    struct Case {
        int units, dBm;
        const char* text;
    };
    // Good networks stay apart (-52 and -61 dBm once both read 99 %); the ends are 0 and 100 %.
    for (const Case& c :
         {Case{0, -52, "96%"}, Case{0, -61, "78%"}, Case{0, -40, "100%"}, Case{0, -76, "48%"},
          Case{0, -100, "00%"}, Case{0, -105, "00%"}, Case{1, -5, "-05dBm"}, Case{1, -78, "-78dBm"}}) {
        m_Registry.WriteProfileInt("", "dBm-Percent", c.units);
        {
            auto lock = theApp.m_pStationMngr->Lock();
            station->m_nRssi = c.dBm;
        }
        page.Refresh();
        EXPECT_EQ(Text(&page, G::IDC_LINK_QUALITY), c.text) << c.dBm << " dBm, units " << c.units;
    }
}

TEST_F(MainGenTest, UnpluggedAdapterShowsNotConnectedAndRecoversWhenPluggedBack) {
    CMainGen page;
    page.Activate();
    Connect();
    page.Refresh();
    ASSERT_EQ(Text(&page, G::IDC_SSID), "Lighthouse");

    ASSERT_EQ(kccl_sim_set_present(0), 0);
    page.Refresh();
    ExpectNotConnected(page);

    // Plugged back the adapter starts afresh, unassociated; the link reopens by itself and a new
    // connection shows again.
    ASSERT_EQ(kccl_sim_set_present(1), 0);
    page.Refresh();
    ExpectNotConnected(page);
    EXPECT_EQ(Text(&page, G::IDC_RADIO_STATUS), "HW Status:  Ready; RF Status 1.");
    Connect("Boatyard", 0, -82);
    page.Refresh();
    EXPECT_EQ(Text(&page, G::IDC_SSID), "Boatyard");
}

TEST_F(MainGenTest, ConnectedWithoutCurrentStationKeepsLinkQuality) {
    CMainGen page;
    page.Activate();
    Connect();
    page.Refresh();
    ASSERT_EQ(Text(&page, G::IDC_LINK_QUALITY), "68%");
    theApp.m_pStationMngr->SetCurrent(nullptr);
    page.Refresh();
    EXPECT_EQ(Text(&page, G::IDC_LINK_QUALITY), "68%");
    EXPECT_EQ(Text(&page, G::IDC_SSID), "Lighthouse");
}

}  // namespace
}  // namespace wavory::test
