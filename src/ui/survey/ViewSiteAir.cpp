// Available Networks and the air: the signal over time of the selected access points in a chart
// under the list, and the view of the air per band ("Channels…").
#include <QCoreApplication>
#include <QDir>
#include <QPushButton>
#include <QSplitter>
#include <QTreeWidget>
#include <algorithm>

#include "shell/Tessal.h"
#include "survey/SignalTrail.h"
#include "survey/Station.h"
#include "survey/StationMngr.h"
#include "ui/survey/ChannelsDlg.h"
#include "ui/survey/SignalChart.h"
#include "ui/survey/ViewSite.h"
#include "ui_ViewSite.h"

namespace wavory {

void CViewSite::SetUpAir() {
    QTreeWidget* list = ui->IDC_1062;
    // The list above, the chart below; the user moves the line between them.
    auto* splitter = new QSplitter(Qt::Vertical, ui->frame);
    splitter->setObjectName(QStringLiteral("siteSplitter"));
    splitter->setChildrenCollapsible(false);
    // The list's share of the width, as before: the buttons beside it keep their own width.
    splitter->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    delete ui->frameLayout->replaceWidget(list, splitter);
    ui->frameLayout->setStretchFactor(splitter, 1);
    splitter->addWidget(list);
    m_pChart = new CSignalChart(splitter);
    splitter->addWidget(m_pChart);
    splitter->setStretchFactor(0, 3);
    splitter->setStretchFactor(1, 2);
    connect(ui->btnChannels, &QPushButton::clicked, this, &CViewSite::OnChannels);
}

std::vector<std::string> CViewSite::SelectedKeys() const {
    std::vector<std::string> keys;
    if (ui->IDC_1062->selectedItems().isEmpty()) return keys;
    keys.push_back(m_strSelectedKey);
    keys.insert(keys.end(), m_OtherSelectedKeys.begin(), m_OtherSelectedKeys.end());
    return keys;
}

void CViewSite::UpdateChart() {
    if (!m_pChart) return;
    std::vector<STrailSeries> shown;
    int64_t now = 0;
    if (m_pSampleTrail) {
        shown = m_pSampleTrail->Series();
        now = m_pSampleTrail->LastLookMs();
    } else if (CStationMngr* stations = theApp.m_pStationMngr) {
        const std::vector<std::string> keys = SelectedKeys();
        auto lock = stations->Lock();
        const CSignalTrail& trail = stations->Trail();
        now = trail.LastLookMs();
        if (m_bNetworkView) {
            // A row is a network: each of its access points.
            for (const STrailSeries& series : trail.Series())
                if (std::find(keys.begin(), keys.end(), series.ssid) != keys.end()) shown.push_back(series);
        } else {
            for (const std::string& key : keys) {
                const StationPtr station = stations->Lookup(key);
                if (!station) continue;
                if (const STrailSeries* series = trail.Find(station->m_strBssid)) shown.push_back(*series);
            }
        }
    }
    m_pChart->SetSeries(std::move(shown), now);
}

void CViewSite::OnChannels() {
    if (!m_pChannels) m_pChannels = new CChannelsDlg(this);
    m_pChannels->Refresh();
    m_pChannels->show();
    m_pChannels->raise();
    m_pChannels->activateWindow();
}

QString CViewSite::WriteSignalScreenshot(const QString& dir, const CSignalTrail& sample) {
    if (!QDir().mkpath(dir)) return QString();
    const bool wasVisible = isVisible();
    const bool wasNetworkView = m_bNetworkView;
    const QSize before = size();
    show();
    if (m_bNetworkView) OnToggleView();
    const std::string selectedKey = m_strSelectedKey;
    const std::vector<std::string> otherKeys = m_OtherSelectedKeys;
    m_pSampleTrail = &sample;
    // The rows of the sample's access points selected, as the user would have them.
    QTreeWidget* list = ui->IDC_1062;
    list->clearSelection();
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
        QTreeWidgetItem* row = list->topLevelItem(i);
        const StationPtr station = FindStation(RowKeyOf(row));
        if (station && sample.Find(station->m_strBssid)) row->setSelected(true);
    }
    UpdateChart();
    FitColumnsForPicture();
    const QString path = QDir(dir).filePath(QStringLiteral("signal-over-time.png"));
    const bool saved = grab().save(path, "PNG");
    m_pSampleTrail = nullptr;
    // The user's selection back, and with it the chart of the user's own access points.
    list->clearSelection();
    m_strSelectedKey = selectedKey;
    m_OtherSelectedKeys = otherKeys;
    RefreshList();
    if (m_bNetworkView != wasNetworkView) OnToggleView();
    resize(before);
    if (!wasVisible) hide();
    return saved ? path : QString();
}

QString CViewSite::WriteChannelsScreenshot(const QString& dir) {
    if (!QDir().mkpath(dir)) return QString();
    OnChannels();
    for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();
    const QString path = QDir(dir).filePath(QStringLiteral("channels.png"));
    const bool saved = m_pChannels->grab().save(path, "PNG");
    m_pChannels->hide();
    return saved ? path : QString();
}

}  // namespace wavory
