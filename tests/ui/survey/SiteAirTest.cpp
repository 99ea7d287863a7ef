// Available Networks and the air: the chart of the selected access points' signal over time, and
// the view of the air per band behind "Channels…".
#include <QDir>
#include <QImage>
#include <QLabel>
#include <QTemporaryDir>

#include "SiteFixture.h"
#include "ui/survey/AirGraph.h"
#include "ui/survey/ChannelsDlg.h"
#include "ui/survey/SignalChart.h"

namespace wavory::test {
namespace {

constexpr const char* kMarina = "3C-84-6A-51-0E-24";
constexpr const char* kMarinaLow = "3C-84-6A-51-0E-31";
constexpr const char* kHarbour = "00-14-6C-2A-11-01";
constexpr const char* kHostile = "00-66-66-66-66-66";

// A network on a frequency, with its width.
std::string Wide(const std::string& ssid, const std::string& bssid, int freqMHz, int widthMHz, int dBm) {
    const char* generation = freqMHz >= 5925 ? "Wi-Fi 6E" : "Wi-Fi 6";
    return "{\"ssid\":\"" + ssid + "\",\"bssid\":\"" + bssid +
           "\",\"frequency_mhz\":" + std::to_string(freqMHz) + ",\"width_mhz\":" + std::to_string(widthMHz) +
           ",\"generation\":\"" + generation + "\"" + (freqMHz >= 5925 ? ",\"security\":\"owe\"" : "") +
           ",\"signal_dbm\":" + std::to_string(dBm) + "}";
}

class SiteAirTest : public CSiteTest {
protected:
    void StartHarbour() {
        Start({Wide("Marina", kMarina, 5180, 80, -52), Wide("Marina", kMarinaLow, 2462, 20, -71),
               Wide("Harbour", kHarbour, 2412, 20, -60), Wide("Ferry", "00-25-9C-4E-88-06", 2422, 20, -75),
               Wide("Quay", "00-18-39-A1-B2-24", 5220, 20, -66),
               Wide("<b>Bold</b>", kHostile, 5975, 80, -80)});
    }
    // A completed scan merged by the main tick, as the polling thread's refresh does.
    static void Look() {
        ASSERT_EQ(theApp.m_pStationMngr->StartScan(), 2);
        kccl_sim_advance(10);
        Tick();
    }
    // Clicks a row by its BSSID (the access-point view's last column), with Ctrl to add it.
    void ClickAp(const char* bssid, Qt::KeyboardModifiers modifiers = {}) {
        QTreeWidgetItem* row = nullptr;
        const int column = List()->columnCount() - 1;
        for (int i = 0; i < List()->topLevelItemCount(); ++i)
            if (List()->topLevelItem(i)->text(column) == bssid) row = List()->topLevelItem(i);
        ASSERT_NE(row, nullptr) << bssid;
        List()->scrollToItem(row);
        QTest::mouseClick(List()->viewport(), Qt::LeftButton, modifiers,
                          List()->visualItemRect(row).center());
    }
    CSignalChart& Chart() const { return *m_pSite->SignalChart(); }
    std::vector<std::string> ChartBssids() const {
        std::vector<std::string> bssids;
        for (const STrailSeries& s : Chart().Series()) bssids.push_back(s.bssid);
        std::sort(bssids.begin(), bssids.end());
        return bssids;
    }
};

TEST_F(SiteAirTest, ChartShowsTheSelectedAccessPointsOnlyAndKeepsThemAcrossRefreshes) {
    StartHarbour();
    Open();
    Look();
    ASSERT_FALSE(m_pSite->IsNetworkView());
    ClickAp(kHarbour);
    EXPECT_EQ(ChartBssids(), std::vector<std::string>{kHarbour});
    ClickAp(kMarinaLow, Qt::ControlModifier);
    EXPECT_EQ(ChartBssids(), (std::vector<std::string>{kHarbour, kMarinaLow}));
    EXPECT_EQ(List()->selectedItems().size(), 2);

    // A new signal rebuilds the rows: both stay selected and their lines grow by the look.
    const std::size_t before = Chart().Series()[0].points.size();
    ASSERT_EQ(kccl_sim_set_signal(kHarbour, -80), 0);
    Look();
    EXPECT_EQ(List()->selectedItems().size(), 2);
    ASSERT_EQ(ChartBssids(), (std::vector<std::string>{kHarbour, kMarinaLow}));
    for (const STrailSeries& s : Chart().Series()) EXPECT_EQ(s.points.size(), before + 1) << s.bssid;

    // An access point gone from the air leaves a gap in its line; a plain click selects one again.
    ASSERT_EQ(kccl_sim_remove_network(kMarinaLow), 0);
    Look();
    ClickAp(kHarbour);
    EXPECT_EQ(ChartBssids(), std::vector<std::string>{kHarbour});
    {
        auto lock = theApp.m_pStationMngr->Lock();
        const STrailSeries* gone = theApp.m_pStationMngr->Trail().Find(kMarinaLow);
        ASSERT_NE(gone, nullptr);
        EXPECT_FALSE(gone->points.back().heard);
    }

    // The network view shows every access point of a selected network.
    ASSERT_EQ(kccl_sim_put_network(Wide("Marina", kMarinaLow, 2462, 20, -70).c_str()), 0);
    Look();
    m_pSite->OnToggleView();
    ASSERT_TRUE(m_pSite->IsNetworkView());
    Click("Marina");
    EXPECT_EQ(ChartBssids(), (std::vector<std::string>{kMarina, kMarinaLow}));
    List()->clearSelection();
    EXPECT_TRUE(Chart().Series().empty());
}

TEST_F(SiteAirTest, TheConnectionIsDrawnThickerAndAHostileNameIsShownLiterally) {
    StartHarbour();
    CProfile marina("", false);
    marina.NetName = "Marina";
    marina.NetMode = true;
    ASSERT_TRUE(CStation(marina).Connect(CStation::CONNECT_APPLY));
    Open();
    Look();
    ClickAp(kMarina);
    ClickAp(kMarinaLow, Qt::ControlModifier);
    ClickAp(kHostile, Qt::ControlModifier);
    ASSERT_EQ(Chart().Series().size(), 3u);
    const QStringList legend = Chart().LegendTexts();
    int own = -1;
    for (std::size_t i = 0; i < Chart().Series().size(); ++i)
        if (Chart().Series()[i].own) own = static_cast<int>(i);
    ASSERT_GE(own, 0);
    EXPECT_EQ(Chart().Series()[static_cast<std::size_t>(own)].bssid, kMarina);
    EXPECT_EQ(legend[own], QStringLiteral("Marina  %1  (connected)").arg(kMarina));
    for (std::size_t i = 0; i < Chart().Series().size(); ++i) {
        if (static_cast<int>(i) != own) {
            EXPECT_LT(Chart().PenWidthOf(i), Chart().PenWidthOf(static_cast<std::size_t>(own)));
        }
    }
    EXPECT_TRUE(legend.contains(QStringLiteral("<b>Bold</b>  %1").arg(kHostile)))
        << legend.join('|').toStdString();
    EXPECT_NE(Chart().ColourOf(0), Chart().ColourOf(1));
    // Its picture draws (a paint with three lines and the legend does not fail).
    EXPECT_FALSE(Chart().grab().isNull());
}

TEST_F(SiteAirTest, ChannelViewShowsEachBandWithItsSharingAndTheConnectionsChannel) {
    StartHarbour();
    CProfile marina("", false);
    marina.NetName = "Marina";
    marina.NetMode = true;
    ASSERT_TRUE(CStation(marina).Connect(CStation::CONNECT_APPLY));
    Open();
    Look();
    m_pSite->findChild<QPushButton*>("btnChannels")->click();
    CChannelsDlg* channels = m_pSite->Channels();
    ASSERT_NE(channels, nullptr);
    EXPECT_TRUE(channels->isVisible());
    const std::vector<SAirBand>& bands = channels->Bands();
    ASSERT_EQ(bands.size(), 3u);
    EXPECT_EQ(bands[0].band, "2.4 GHz");
    EXPECT_EQ(bands[1].band, "5 GHz");
    EXPECT_EQ(bands[2].band, "6 GHz");

    // 2.4 GHz: channels 1 and 3 overlap, 11 is clear of both.
    ASSERT_EQ(bands[0].channels.size(), 3u);
    EXPECT_EQ(bands[0].channels[0].channel, 1);
    EXPECT_EQ(bands[0].channels[0].sharing, 2);
    EXPECT_EQ(bands[0].channels[1].sharing, 2);
    EXPECT_EQ(bands[0].channels[2].channel, 11);
    EXPECT_EQ(bands[0].channels[2].sharing, 1);
    EXPECT_FALSE(bands[0].channels[2].own);
    // 5 GHz: the connection's 80 MHz from 36 covers 44 too.
    ASSERT_EQ(bands[1].channels.size(), 2u);
    EXPECT_TRUE(bands[1].channels[0].own);
    EXPECT_EQ(bands[1].channels[0].sharing, 1);
    EXPECT_EQ(bands[1].channels[1].channel, 44);
    EXPECT_EQ(bands[1].channels[1].sharing, 2);
    EXPECT_TRUE(bands[1].channels[1].own);

    // A graph per band, titled, with the names as they are.
    const std::vector<CAirGraph*> graphs = channels->Graphs();
    ASSERT_EQ(graphs.size(), 3u);
    EXPECT_EQ(graphs[0]->LabelTexts(), (QStringList{"Ferry", "Marina", "Harbour"}));  // weakest first
    EXPECT_EQ(graphs[2]->LabelTexts(), QStringList{"<b>Bold</b>"});
    EXPECT_LE(graphs[0]->LowMHz(), 2401);
    EXPECT_GE(graphs[0]->HighMHz(), 2483);
    QStringList titles;
    for (QLabel* label : channels->findChildren<QLabel*>())
        if (label->text().contains("GHz:")) titles << label->text();
    EXPECT_TRUE(titles.contains("2.4 GHz: 3 access points")) << titles.join('|').toStdString();
    EXPECT_TRUE(titles.contains("6 GHz: 1 access point"));

    // Refreshed with the list while open: a newcomer on channel 11 shares it.
    ASSERT_EQ(kccl_sim_put_network(Wide("Newcomer", "00-20-30-40-50-60", 2462, 20, -64).c_str()), 0);
    Look();
    ASSERT_EQ(channels->Bands().size(), 3u);
    ASSERT_EQ(channels->Bands()[0].channels.size(), 3u);
    EXPECT_EQ(channels->Bands()[0].channels[2].sharing, 2);
    EXPECT_EQ(channels->Graphs()[0]->Band().channels[2].networks.size(), 2u);
    // It goes with the list that keeps it up to date.
    QTest::mouseClick(Button(CViewSite::IDC_CLOSE), Qt::LeftButton);
    EXPECT_FALSE(channels->isVisible());
}

TEST_F(SiteAirTest, PicturesShowAMadeUpHistoryAndLeaveTheUsersChartAsItWas) {
    StartHarbour();
    Open();
    Look();
    ClickAp(kHarbour);
    CSignalTrail sample;
    sample.Add(0, {{"00-00-00-00-00-99", "Made Up", 2412, -50}}, "");
    sample.Add(10000, {{"00-00-00-00-00-99", "Made Up", 2412, -55}}, "");
    QTemporaryDir dir;
    const QSize before = m_pSite->size();
    const QString signal = m_pSite->WriteSignalScreenshot(dir.path(), sample);
    const QString channels = m_pSite->WriteChannelsScreenshot(dir.path());
    EXPECT_EQ(signal, QDir(dir.path()).filePath("signal-over-time.png"));
    EXPECT_FALSE(QImage(signal).isNull());
    EXPECT_FALSE(QImage(channels).isNull());
    EXPECT_EQ(m_pSite->size(), before);
    EXPECT_FALSE(m_pSite->Channels()->isVisible());
    // The user's chart again: the selected access point from the manager's trail, not the sample.
    EXPECT_EQ(ChartBssids(), std::vector<std::string>{kHarbour});
}

}  // namespace
}  // namespace wavory::test
