// The CurrentStatistics page: its texts connected and not, a failing SNR read, the Reset button's
// message, and the charts fed from the polling thread and replotted from the ring.
#include <gtest/gtest.h>

#include <QImage>
#include <QPushButton>
#include <QTest>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "base/Locks.h"
#include "kccl_oid.h"
#include "profiles/Profile.h"
#include "survey/Station.h"

#include "../support/UiCore.h"
#include "ui/monitor/MainStats.h"
#include "ui/monitor/UtilisationChart.h"

namespace wavory::test {
namespace {

using S = CMainStats;

class MainStatsTest : public CUiCoreTest {
protected:
    // A point a second, as the polling thread samples, unless a test sets a longer interval.
    void SetUp() override {
        CUiCoreTest::SetUp();
        m_Registry.WriteProfileInt("", "Polling Interval", 1000);
    }
    // A clock that has moved on by a second at every look.
    static void SecondPerLook(S& page) {
        page.SetClock([now = std::make_shared<qint64>(0)] { return *now += 1000; });
    }
    // The throughput ring (KB/s) the charts plot, and the utilisation beside it.
    void FillRing(int first) {
        for (int i = 0; i < kStatRingSize; ++i) {
            theApp.m_RateHistory[i] = StatSample{first + i, 1000 - first - i};
            theApp.m_StatHistory[i] = StatSample{i, i};
        }
    }
};

TEST_F(MainStatsTest, NotConnectedShowsNAAndKeepsTheActivity) {
    S page;
    page.Activate();
    theApp.m_nRxRate = 7;
    page.findChild<QLabel*>("IDC_1171")->setText("12 KB/s");
    page.UpdateValues();
    EXPECT_EQ(Text(&page, S::IDC_SIGNAL), "N/A");
    EXPECT_EQ(Text(&page, S::IDC_SNR), "");
    EXPECT_EQ(Text(&page, S::IDC_NET_RATE), "");
    EXPECT_EQ(Text(&page, S::IDC_RX_RATE), "12 KB/s");
}

TEST_F(MainStatsTest, ConnectedShowsSignalSnrRateAndActivity) {
    S page;
    page.Activate();
    Connect("Boatyard", 0, -82);
    theApp.m_nRxRate = 48;
    theApp.m_nTxRate = 9;
    page.UpdateValues();
    EXPECT_EQ(Text(&page, S::IDC_SIGNAL), "36%");
    EXPECT_TRUE(Text(&page, S::IDC_SNR).endsWith(" dB")) << Text(&page, S::IDC_SNR).toStdString();
    EXPECT_EQ(Text(&page, S::IDC_NET_RATE), "18 Mbps");  // 802.11a at 13 dB over the noise
    EXPECT_EQ(Text(&page, S::IDC_RX_RATE), "48 KB/s");
    EXPECT_EQ(Text(&page, S::IDC_TX_RATE), "9 KB/s");

    m_Registry.WriteProfileInt("", "dBm-Percent", 1);
    page.UpdateValues();
    EXPECT_EQ(Text(&page, S::IDC_SIGNAL), "-82dBm");
}

TEST_F(MainStatsTest, FailedSnrReadLeavesOnlyTheSnrEmpty) {
    S page;
    page.Activate();
    Connect();
    page.UpdateValues();
    ASSERT_FALSE(Text(&page, S::IDC_SNR).isEmpty());
    ASSERT_EQ(kccl_sim_set_fault(0x161, KCCL_SIM_FAULT_STATUS, 1), 0);
    page.UpdateValues();
    EXPECT_EQ(Text(&page, S::IDC_SNR), "");
    EXPECT_EQ(Text(&page, S::IDC_SIGNAL), "68%");
    EXPECT_EQ(Text(&page, S::IDC_NET_RATE), "11 Mbps");
}

TEST_F(MainStatsTest, ResetShowsTheDriverMessageOnlyWhenItFails) {
    S page;
    page.Activate();
    auto* reset = page.findChild<QPushButton*>("IDC_1166");
    ASSERT_NE(reset, nullptr);
    QTest::mouseClick(reset, Qt::LeftButton);
    EXPECT_TRUE(m_Messages.m_Shown.empty());

    ASSERT_EQ(kccl_sim_set_fault(0x380, KCCL_SIM_FAULT_RESULT, 5), 0);
    QTest::mouseClick(reset, Qt::LeftButton);
    ASSERT_EQ(m_Messages.m_Shown.size(), 1u);
    EXPECT_EQ(m_Messages.m_Shown[0].first,
              "An error occured connecting to the driver. Try restarting the application if error persists.");
}

TEST_F(MainStatsTest, PointsFromThePollingThreadArriveQueuedFillThenScroll) {
    S page;
    SecondPerLook(page);
    page.Activate();
    CUtilisationChart* rx = page.ReceivedChart();
    CUtilisationChart* tx = page.SentChart();
    for (int n = 0; n < 21; ++n) {
        std::thread poller([n] {
            ASSERT_TRUE(TryEnter(CS_STATS));
            theApp.m_RateHistory[n % kStatRingSize] = StatSample{n * 10, 999 - n};
            theApp.m_pGraphPage->AddPoint(n);
            Leave(CS_STATS);
        });
        poller.join();
        // AddPoint must not have touched the chart on the polling thread.
        EXPECT_EQ(rx->Values().size(), std::min(n, 20)) << "point " << n;
        QApplication::processEvents();
        ASSERT_EQ(rx->Values().size(), std::min(n + 1, 20));
        EXPECT_EQ(rx->Values().last(), n * 10);
        EXPECT_EQ(tx->Values().last(), 999 - n);
        EXPECT_EQ(rx->IsScrolling(), n == 20) << "point " << n;
    }
    EXPECT_EQ(rx->Values().first(), 10);  // the first point was pushed out
    EXPECT_EQ(page.PointsAdded(), 21);
    EXPECT_EQ(page.LastSlot(), 20);
}

TEST_F(MainStatsTest, ReplotShowsTheRingOldestFirstAndDropsPointsItAlreadyHolds) {
    S page;
    page.Activate();
    Connect();
    FillRing(100);
    theApp.m_nStatIndex = 5;  // slot 5 is the oldest sample, slot 4 the newest

    // A point handed over just before the replot is part of the ring already.
    std::thread poller([&page] { page.AddPoint(4); });
    poller.join();
    page.RedrawGraph(false);
    QApplication::processEvents();

    const QList<double>& values = page.ReceivedChart()->Values();
    ASSERT_EQ(values.size(), 20);
    for (int i = 0; i < 20; ++i) EXPECT_EQ(values[i], 100 + (5 + i) % 20) << "position " << i;
    EXPECT_EQ(theApp.m_pGraphPage, static_cast<IGraphSink*>(&page));
}

TEST_F(MainStatsTest, ReplotWhileTheStatisticsAreBusyDrawsAtTheNextChance) {
    S page;
    page.Activate();
    Connect();
    FillRing(100);
    theApp.m_nStatIndex = 0;

    // The polling thread holds the statistics and a second taker waits at the gate: busy.
    std::atomic<bool> held{false}, release{false};
    std::thread holder([&] {
        ASSERT_TRUE(TryEnter(CS_STATS));
        held = true;
        while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        Leave(CS_STATS);
    });
    while (!held) std::this_thread::yield();
    std::thread waiter([] {
        if (TryEnter(CS_STATS)) Leave(CS_STATS);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));  // the waiter is at the gate

    page.RedrawGraph(false);
    EXPECT_TRUE(page.ReceivedChart()->Values().isEmpty());  // nothing to draw yet
    release = true;
    holder.join();
    waiter.join();
    for (int i = 0; i < 200 && page.ReceivedChart()->Values().size() < 20; ++i) QTest::qWait(10);
    const QList<double>& values = page.ReceivedChart()->Values();
    ASSERT_EQ(values.size(), 20);
    for (int i = 0; i < 20; ++i) EXPECT_EQ(values[i], 100 + i);
    EXPECT_EQ(theApp.m_pGraphPage, static_cast<IGraphSink*>(&page));
}

TEST_F(MainStatsTest, ForcedReplotDrawsTwentyZeroPoints) {
    S page;
    page.Activate();
    FillRing(300);
    page.RedrawGraph(true);  // also when not connected
    const QList<double>& values = page.ReceivedChart()->Values();
    ASSERT_EQ(values.size(), 20);
    for (double v : values) EXPECT_EQ(v, 0.0);
    for (const StatSample& s : theApp.m_StatHistory) EXPECT_EQ(s.rx, 0);
    for (const StatSample& s : theApp.m_RateHistory) EXPECT_EQ(s.rx, 0);
}

TEST_F(MainStatsTest, ChartsScaleToTheThroughputWithItsUnit) {
    EXPECT_EQ(CUtilisationChart::NiceScale(0), 10.0);
    EXPECT_EQ(CUtilisationChart::NiceScale(48), 50.0);
    EXPECT_EQ(CUtilisationChart::NiceScale(120), 200.0);
    EXPECT_EQ(CUtilisationChart::NiceScale(2318), 5000.0);
    EXPECT_EQ(CUtilisationChart::NiceScale(10000), 10000.0);

    S page;
    page.Activate();
    CUtilisationChart* rx = page.ReceivedChart();
    rx->AddValue(48);
    EXPECT_EQ(rx->ScaleKBps(), 50.0);
    EXPECT_EQ(rx->Unit(), "KB/s");
    EXPECT_EQ(rx->ScaleLabels(), QStringList({"0", "25", "50"}));
    rx->AddValue(150000);  // a gigabit link at full speed: shown in MB/s
    EXPECT_EQ(rx->ScaleKBps(), 200000.0);
    EXPECT_EQ(rx->Unit(), "MB/s");
    EXPECT_EQ(rx->ScaleLabels(), QStringList({"0", "100", "200"}));
    EXPECT_EQ(rx->PlottedValues(), QList<double>({0.048, 150.0}));
    for (int i = 0; i < CUtilisationChart::kPoints; ++i) rx->AddValue(3);  // the burst scrolls out
    EXPECT_EQ(rx->ScaleKBps(), 10.0);
    EXPECT_EQ(rx->Unit(), "KB/s");
    EXPECT_EQ(rx->ScaleLabels(), QStringList({"0", "5", "10"}));
    EXPECT_EQ(rx->PlottedValues().last(), 3.0);
}

TEST_F(MainStatsTest, NetworkRateIsTheLinksOwn) {
    S page;
    page.Activate();
    CProfile profile("", false);
    profile.NetName = "Chandlery";
    profile.NetMode = true;
    profile.WpaMode = KCOM_SECURITY_MODE_WPA2_PERSONAL;
    profile.WpaPassphrase = "rope-and-tackle-42";
    auto station = std::make_shared<CStation>(profile, std::string(), -68);
    ASSERT_TRUE(station->Connect(CStation::CONNECT_APPLY));
    theApp.m_pStationMngr->SetCurrent(station);
    page.UpdateValues();
    // VHT at 27 dB over 80 MHz: MCS 5, three streams, short guard interval.
    EXPECT_EQ(Text(&page, S::IDC_NET_RATE), "780 Mbps");
}

TEST_F(MainStatsTest, IsTheGraphTargetOnlyWhileActiveAndNeverOnceDestroyed) {
    auto page = std::make_unique<S>();
    page->Activate();
    EXPECT_EQ(theApp.m_pGraphPage, static_cast<IGraphSink*>(page.get()));
    page->OnKillActive();
    EXPECT_EQ(theApp.m_pGraphPage, nullptr);
    page->Activate();
    page.reset();
    EXPECT_EQ(theApp.m_pGraphPage, nullptr);
}

TEST_F(MainStatsTest, UpdateIntervalSpacesThePointsAndTheTexts) {
    m_Registry.WriteProfileInt("", "Polling Interval", 5000);
    S page;
    qint64 now = 0;
    page.SetClock([&now] { return now; });
    page.Activate();
    Connect();
    const int before = page.PointsAdded();
    // Samples a second apart: one point per five seconds, their mean.
    for (int second = 0; second < 10; ++second) {
        theApp.m_RateHistory[0] = StatSample{100 * (second % 5), 0};
        page.AddPoint(0);
        now += 1000;
    }
    EXPECT_EQ(page.PointsAdded() - before, 2);
    // The first sample is plotted at once; the second point is the mean of the next five.
    EXPECT_EQ(page.ReceivedChart()->Values().last(), (100 + 200 + 300 + 400 + 0) / 5.0);

    // The rate texts move at the interval too, not at every tick.
    theApp.m_nRxRate = 7;
    page.OnTick();
    EXPECT_EQ(Text(&page, S::IDC_RX_RATE), "7 KB/s");
    theApp.m_nRxRate = 9;
    now += 4000;
    page.OnTick();
    EXPECT_EQ(Text(&page, S::IDC_RX_RATE), "7 KB/s");
    now += 1000;
    page.OnTick();
    EXPECT_EQ(Text(&page, S::IDC_RX_RATE), "9 KB/s");
}

// What a chart shows, counted in its picture: background, line and text pixels.
struct SChartPixels {
    int dark = 0, light = 0, line = 0, lineInTopHalf = 0, text = 0, total = 0;
};

SChartPixels CountPixels(CUtilisationChart* chart, const QColor& text) {
    const QImage image = chart->grab().toImage();
    auto near = [](QColor a, const QColor& b) {
        return std::abs(a.red() - b.red()) < 24 && std::abs(a.green() - b.green()) < 24 &&
               std::abs(a.blue() - b.blue()) < 24;
    };
    SChartPixels counts;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor pixel = image.pixelColor(x, y);
            ++counts.total;
            if (pixel.lightness() < 64) ++counts.dark;
            if (pixel.lightness() > 192) ++counts.light;
            if (near(pixel, chart->Colour())) {
                ++counts.line;
                if (y < image.height() / 2) ++counts.lineInTopHalf;
            }
            if (near(pixel, text)) ++counts.text;
        }
    }
    return counts;
}

TEST_F(MainStatsTest, ChartsFollowADarkPaletteAndTakeNoTabStop) {
    S page;
    page.Activate();  // the charts are made on the first visit
    for (CUtilisationChart* chart : {page.ReceivedChart(), page.SentChart()}) {
        chart->resize(240, 140);
        // A full scale all along: the line runs along the top of the plot, not the bottom.
        for (int i = 0; i < CUtilisationChart::kPoints; ++i) chart->AddValue(10);
    }
    // The default palette is light: so is the chart.
    const SChartPixels light = CountPixels(page.ReceivedChart(), page.palette().color(QPalette::Text));
    EXPECT_GT(light.light, light.total / 2);

    QPalette dark = page.palette();
    dark.setColor(QPalette::Window, QColor(0x20, 0x20, 0x20));
    dark.setColor(QPalette::Base, QColor(0x10, 0x10, 0x10));
    dark.setColor(QPalette::Text, QColor(0xee, 0xee, 0xee));
    page.setPalette(dark);
    QApplication::processEvents();
    for (CUtilisationChart* chart : {page.ReceivedChart(), page.SentChart()}) {
        const SChartPixels shown = CountPixels(chart, QColor(0xee, 0xee, 0xee));
        EXPECT_GT(shown.dark, shown.total / 2);  // a dark background
        EXPECT_GT(chart->Colour().lightness(), 128);  // a line that stands out on it
        EXPECT_GT(shown.line, 100);
        EXPECT_EQ(shown.lineInTopHalf, shown.line);
        EXPECT_GT(shown.text, 10);  // the scale and its unit in the palette's text colour
        EXPECT_EQ(chart->focusPolicy(), Qt::NoFocus);
    }
    EXPECT_NE(page.ReceivedChart()->Colour(), page.SentChart()->Colour());
}

}  // namespace
}  // namespace wavory::test
