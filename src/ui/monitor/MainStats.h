// The CurrentStatistics page: signal, SNR and rate of the connection, the receive and transmit
// activity the polling thread computes, a reset of the driver's counters, and two strip charts of
// the utilisation samples. While the page is active it is the polling thread's graph target.
#pragma once

#include <atomic>
#include <functional>
#include <memory>

#include "shell/Tessal.h"
#include "ui/monitor/BoundPage.h"

namespace Ui {
class CMainStats;
}

namespace wavory {

class CUtilisationChart;

class CMainStats : public CBoundPage, public IGraphSink {
    Q_OBJECT
public:
    enum EControl : int {
        IDC_ADVANCED = 1143,
        IDC_RX_CHART = 1151,
        IDC_TX_CHART = 1152,
        IDC_RESET = 1166,
        IDC_SIGNAL = 1167,
        IDC_SNR = 1168,
        IDC_NET_RATE = 1169,
        IDC_RX_RATE = 1171,
        IDC_TX_RATE = 1173
    };

    explicit CMainStats(QWidget* parent = nullptr);
    ~CMainStats() override;

    // Rewrites the signal, SNR, rate and activity texts.
    void UpdateValues();
    // The main tick: the texts once per statistics update interval ("Polling Interval").
    void OnTick();
    // The update interval in milliseconds (the preference, at least a second).
    static int IntervalMs();
    // The clock that spaces the updates, in milliseconds (tests replace it).
    void SetClock(std::function<qint64()> nowMs) { m_fnNowMs = std::move(nowMs); }
    // Plots the ring slot's sample on both charts. On the polling thread (under the statistics
    // lock) it only reads the sample and hands it to the interface thread.
    void AddPoint(int slot) override;
    // Replots the whole ring, oldest sample first; force clears the ring first.
    void RedrawGraph(bool force);
    // Makes a page (or nobody) the polling thread's graph target; false when the lock was busy.
    static bool SetGraphTarget(CMainStats* page, bool clearHistory);

    void OnKillActive() override;

    int PointsAdded() const { return m_nPointsAdded; }
    int LastSlot() const { return m_nLastSlot; }
    // Null until the page's first activation.
    CUtilisationChart* ReceivedChart() const;
    CUtilisationChart* SentChart() const;

protected:
    void OnInitDialog() override;
    void OnSetActive() override;

private:
    void OnReset();
    // The two charts (and with them the chart library's objects), made on the first visit.
    void MakeCharts();
    // A sample of the polling thread's: the charts take one point per update interval, the mean
    // of the samples in it.
    void AppendSample(int rx, int tx);
    void PlotPoint(double rx, double tx);
    // The charts' colours from the palette (light or dark).
    void ApplyPalette();
    void changeEvent(QEvent* event) override;

    std::unique_ptr<Ui::CMainStats> ui;
    CUtilisationChart* m_pRxChart = nullptr;
    CUtilisationChart* m_pTxChart = nullptr;
    int m_nPointsAdded = 0;
    bool m_bReplotPending = false;
    static constexpr int kReplotRetryMs = 20;
    std::atomic<int> m_nLastSlot{0};
    // Raised by every replot: samples handed over before it are already part of the replot.
    std::atomic<unsigned> m_nReplot{0};
    std::function<qint64()> m_fnNowMs;
    qint64 m_nPointDueMs = -1;
    qint64 m_nValuesDueMs = -1;
    double m_dSumRx = 0.0, m_dSumTx = 0.0;
    int m_nSumCount = 0;
};

}  // namespace wavory
