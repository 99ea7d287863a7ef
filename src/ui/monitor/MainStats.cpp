#include "ui/monitor/MainStats.h"

#include "ui_MainStats.h"

#include <QElapsedTimer>
#include <QEvent>
#include <QPushButton>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <thread>

#include "base/StringTable.h"
#include "base/Trace.h"
#include "driver/AirText.h"
#include "driver/CommVarList.h"
#include "driver/Converters.h"
#include "driver/Format.h"
#include "driver/Request.h"
#include "monitor/Poll.h"
#include "monitor/Signal.h"
#include "radio/Rates.h"
#include "survey/Station.h"
#include "survey/StationMngr.h"
#include "ui/monitor/UtilisationChart.h"

namespace wavory {

CMainStats::CMainStats(QWidget* parent) : CBoundPage(parent), ui(std::make_unique<Ui::CMainStats>()) {
    ui->setupUi(this);
    for (int id : {IDC_RX_RATE, IDC_TX_RATE}) MakeCounterLabel(id, QStringLiteral("100000 KB/s"));
    MakeCounterLabel(IDC_SIGNAL, QStringLiteral("-100dBm"));
    MakeCounterLabel(IDC_SNR, QStringLiteral("-100 dB"));
    MakeCounterLabel(IDC_NET_RATE, QStringLiteral("5764.7 Mbps"));
    connect(ui->IDC_1166, &QPushButton::clicked, this, &CMainStats::OnReset);
    m_fnNowMs = [timer = std::make_shared<QElapsedTimer>()] {
        if (!timer->isValid()) timer->start();
        return timer->elapsed();
    };
}

int CMainStats::IntervalMs() {
    const auto ms =
        static_cast<unsigned>(theApp.GetProfileInt("", "Polling Interval", CPoll::kDefaultIntervalMs));
    // Whole seconds, as the polling thread counts them; never below one tick.
    return static_cast<int>(std::clamp(ms / 1000u, 1u, 3600u) * 1000u);
}

void CMainStats::OnTick() {
    const qint64 now = m_fnNowMs();
    if (m_nValuesDueMs >= 0 && now < m_nValuesDueMs) return;
    m_nValuesDueMs = now + IntervalMs();
    UpdateValues();
}

void CMainStats::ApplyPalette() {
    if (!m_pRxChart) return;  // made on the first visit, with the palette of then
    const QPalette& pal = palette();
    const bool dark = pal.color(QPalette::Window).lightness() < 128;
    // Lines that stand out on either background.
    ReceivedChart()->SetColour(dark ? QColor(0x64, 0xb5, 0xf6) : QColor(0x1e, 0x88, 0xe5));
    SentChart()->SetColour(dark ? QColor(0x81, 0xc7, 0x84) : QColor(0x43, 0xa0, 0x47));
    for (CUtilisationChart* chart : {ReceivedChart(), SentChart()}) chart->ApplyPalette(pal);
}

void CMainStats::changeEvent(QEvent* event) {
    CBoundPage::changeEvent(event);
    if (event->type() == QEvent::PaletteChange) ApplyPalette();
}

CMainStats::~CMainStats() {
    // The polling thread must never be left holding a pointer to a page that is gone, so unlike a
    // deactivation this waits out a busy lock.
    for (;;) {
        if (!TryEnter(CS_STATS)) {
            std::this_thread::yield();
            continue;
        }
        if (theApp.m_pGraphPage == static_cast<IGraphSink*>(this)) theApp.m_pGraphPage = nullptr;
        Leave(CS_STATS);
        break;
    }
}

CUtilisationChart* CMainStats::ReceivedChart() const { return m_pRxChart; }
CUtilisationChart* CMainStats::SentChart() const { return m_pTxChart; }

void CMainStats::MakeCharts() {
    // The charts' areas hold the place (and the minimum size) of the charts until then.
    auto make = [](QWidget* area, int id) {
        auto* layout = new QVBoxLayout(area);
        layout->setContentsMargins(0, 0, 0, 0);
        auto* chart = new CUtilisationChart(area);
        chart->setObjectName(ControlName(id));
        layout->addWidget(chart);
        return chart;
    };
    m_pRxChart = make(ui->rxChartArea, IDC_RX_CHART);
    m_pTxChart = make(ui->txChartArea, IDC_TX_CHART);
    // The charts are pictures, not controls: no Tab stop of their own.
    m_pRxChart->setFocusPolicy(Qt::NoFocus);
    m_pTxChart->setFocusPolicy(Qt::NoFocus);
    ApplyPalette();
}

void CMainStats::OnInitDialog() {
    if (!m_pRxChart) MakeCharts();
    m_nPointsAdded = 0;
    m_nLastSlot = 0;
}

void CMainStats::OnSetActive() {
    RedrawGraph(false);
    SetGraphTarget(this, false);
}

void CMainStats::OnKillActive() { SetGraphTarget(nullptr, false); }

void CMainStats::UpdateValues() {
    CStationMngr* stations = theApp.m_pStationMngr;
    if (!stations || !stations->IsConnected()) {
        SetControlText(IDC_SIGNAL, QStringLiteral("N/A"));
        SetControlText(IDC_NET_RATE, QString());
        SetControlText(IDC_SNR, QString());
        return;
    }
    auto station = stations->GetCurrent();
    if (!station) return;

    std::string snr;
    CCommVarList list;
    list.AddVarExt(OID_SNR, OID_SNR, ConvNumber, &snr);
    if (!list.RefreshAll(false, false)) snr.clear();

    int rssi, phy;
    {
        auto lock = stations->Lock();
        rssi = station->m_nRssi;
        phy = station->PhyType;
    }
    std::string signal;
    FormatSignal(rssi, &signal);
    SetControlText(IDC_SIGNAL, signal);
    // The rate the link sends at, where the adapter reports it; else what its PHY type allows.
    const std::optional<SLinkInfo> link = ReadLinkInfo();
    SetControlText(IDC_NET_RATE, link && link->freqMHz != 0 && link->txRate100k != 0
                                     ? kccl::FormatRate100k(link->txRate100k)
                                     : StrFormat("%d Mbps", phy == 1 ? 11 : 54));
    SetControlText(IDC_SNR, snr);
    SetControlText(IDC_RX_RATE, StrFormat("%d KB/s", theApp.m_nRxRate.load()));
    SetControlText(IDC_TX_RATE, StrFormat("%d KB/s", theApp.m_nTxRate.load()));
}

void CMainStats::AddPoint(int slot) {
    const StatSample sample = theApp.m_RateHistory[static_cast<std::size_t>(
        ((slot % kStatRingSize) + kStatRingSize) % kStatRingSize)];
    m_nLastSlot = slot;
    if (QThread::currentThread() == thread()) {
        AppendSample(sample.rx, sample.tx);
        return;
    }
    // The polling thread: no widget is touched here; the values travel to the interface thread.
    const unsigned replot = m_nReplot;
    QMetaObject::invokeMethod(
        this,
        [this, sample, replot] {
            if (replot == m_nReplot) AppendSample(sample.rx, sample.tx);
        },
        Qt::QueuedConnection);
}

void CMainStats::AppendSample(int rx, int tx) {
    m_dSumRx += rx;
    m_dSumTx += tx;
    ++m_nSumCount;
    const qint64 now = m_fnNowMs();
    if (m_nPointDueMs >= 0 && now < m_nPointDueMs) return;
    m_nPointDueMs = now + IntervalMs();
    PlotPoint(m_dSumRx / m_nSumCount, m_dSumTx / m_nSumCount);
    m_dSumRx = m_dSumTx = 0.0;
    m_nSumCount = 0;
}

void CMainStats::PlotPoint(double rx, double tx) {
    ReceivedChart()->AddValue(rx);
    SentChart()->AddValue(tx);
    Trace("\nMainSts Rx %d Tx %d", static_cast<int>(rx), static_cast<int>(tx));
    ++m_nPointsAdded;
}

void CMainStats::RedrawGraph(bool force) {
    if (!IsInitialized()) return;
    if (!force && !(theApp.m_pStationMngr && theApp.m_pStationMngr->IsConnected())) return;
    SetGraphTarget(nullptr, force);
    ++m_nReplot;

    // The ring in time order: the slot the next sample fills holds the oldest one.
    std::array<StatSample, kStatRingSize> ring{};
    int first = 0;
    bool copied = false;
    if (TryEnter(CS_STATS)) {
        ring = theApp.m_RateHistory;
        first = std::max(0, theApp.m_nStatIndex.load());
        Leave(CS_STATS);
        copied = true;
    }
    if (copied) {
        // The ring holds a sample a second; the charts show one point per update interval.
        const int chunk = std::clamp(IntervalMs() / 1000, 1, kStatRingSize);
        double rx = 0.0, tx = 0.0;
        int count = 0;
        for (int i = 0; i < kStatRingSize; ++i) {
            const StatSample& sample = ring[static_cast<std::size_t>((first + i) % kStatRingSize)];
            rx += sample.rx;
            tx += sample.tx;
            m_nLastSlot = first + i;
            if (++count == chunk || i == kStatRingSize - 1) {
                PlotPoint(rx / count, tx / count);
                rx = tx = 0.0;
                count = 0;
            }
        }
        m_dSumRx = m_dSumTx = 0.0;
        m_nSumCount = 0;
        m_nPointDueMs = m_fnNowMs() + IntervalMs();
    } else if (!m_bReplotPending) {
        // The polling thread holds the statistics for a moment: replot at the next chance rather
        // than leave the graph without its points.
        m_bReplotPending = true;
        QTimer::singleShot(kReplotRetryMs, this, [this, force] {
            m_bReplotPending = false;
            RedrawGraph(force);
        });
    }
    SetGraphTarget(this, false);
    UpdateValues();
}

bool CMainStats::SetGraphTarget(CMainStats* page, bool clearHistory) {
    Trace("\nEnter Setpointer");
    if (!TryEnter(CS_STATS)) return false;
    if (clearHistory) {
        theApp.m_StatHistory.fill(StatSample{});
        theApp.m_RateHistory.fill(StatSample{});
    }
    theApp.m_pGraphPage = page;
    Leave(CS_STATS);
    return true;
}

void CMainStats::OnReset() {
    CCommVarList list;
    list.AddVarExt(OID_RESET_STATISTICS, 0, nullptr, nullptr);
    if (!list.RefreshAll(false, false)) theApp.ShowMessage(LoadStringId(IDS_DRIVER_ERROR), EMsgIcon::Warning);
}

}  // namespace wavory
