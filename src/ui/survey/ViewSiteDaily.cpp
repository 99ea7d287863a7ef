// Available Networks beside its list: its size and sort order kept as window settings, the line
// that says why the list is empty, the filter, hidden networks, joining a network by name (the tray
// menu's entries), Forget, and the screenshots.
#include <QCoreApplication>
#include <QDir>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QScreen>
#include <QScrollBar>
#include <QTreeWidget>
#include <algorithm>

#include "base/Locks.h"
#include "kccl_oid.h"
#include "profiles/ProfileMngr.h"
#include "profiles/RegistryUpdate.h"
#include "shell/MainWindow.h"
#include "shell/Tessal.h"
#include "survey/Connect.h"
#include "survey/LinkActions.h"
#include "survey/Station.h"
#include "survey/StationMngr.h"
#include "ui/shell/PlainText.h"
#include "ui/survey/ChannelsDlg.h"
#include "ui/survey/HiddenNetworkDlg.h"
#include "ui/survey/ViewSite.h"
#include "ui_ViewSite.h"

namespace wavory {

void CViewSite::RestoreSize() {
    const int width = theApp.GetProfileInt("", kWidthPref, 0);
    const int height = theApp.GetProfileInt("", kHeightPref, 0);
    QSize size(width, height);
    if (width <= 0 || height <= 0) {
        // Wide enough for every column of the access-point view at any scale: the columns' least
        // widths, the buttons beside the list and the margins; tall enough for the list and the
        // signal chart under it.
        const QFontMetrics metrics(ui->IDC_1062->font());
        size = sizeHint().expandedTo(
            QSize(metrics.horizontalAdvance(QLatin1Char('M')) * 95, metrics.height() * 36));
        // No bigger than the screen: a scroll bar then reaches the last columns.
        if (const QScreen* screen = this->screen()) size = size.boundedTo(screen->availableGeometry().size());
    }
    resize(size);
}

void CViewSite::hideEvent(QHideEvent* event) {
    QDialog::hideEvent(event);
    // The view of the air goes with the list that keeps it up to date.
    if (m_pChannels && !isMinimized()) m_pChannels->hide();
    // The next opening shows every network: a filter left from before would hide most of them.
    if (!isMinimized()) SetFilter(QString());
    // The size is a window setting: kept when the dialog goes away, through the store like any other.
    if (m_bSized && !isMinimized()) {
        CRegistryUpdate group(theApp.m_pRegistry);
        theApp.WriteProfileInt("", kWidthPref, width());
        theApp.WriteProfileInt("", kHeightPref, height());
    }
}

void CViewSite::StoreSortOrder() {
    CRegistryUpdate group(theApp.m_pRegistry);
    theApp.WriteProfileInt("", kSortColumnPref, m_nSortColumn);
    theApp.WriteProfileInt("", kSortAscendingPref, m_bSortAscending ? 1 : 0);
}

void CViewSite::UpdateListState() {
    QString text;
    if (m_bAdapterMissing)
        text = QString::fromUtf8(kNoAdapterText);
    else if (ui->IDC_1062->topLevelItemCount() == 0)
        text = QString::fromUtf8(m_strFilter.isEmpty() && (m_ProgressTimer.isActive() || theApp.m_bScanning)
                                     ? kScanningText
                                     : kNoNetworksText);
    if (ui->listState->text() != text) ui->listState->setText(text);
    ui->listState->setVisible(!text.isEmpty());
}

QString CViewSite::ListStateText() const {
    return ui->listState->isHidden() ? QString() : ui->listState->text();
}

void CViewSite::SetFilter(const QString& text) {
    if (text == m_strFilter) return;
    m_strFilter = text;
    if (ui->editFilter->text() != text) ui->editFilter->setText(text);
    RefreshList();
}

void CViewSite::ConnectHidden(int preset) {
    if (m_bJoinRunning) return;  // one join at a time
    CHiddenNetworkDlg dialog(this);
    if (preset >= 0) dialog.SetSecurity(static_cast<EHiddenSecurity>(preset));
    const std::shared_ptr<CStation> settings = m_fnHidden ? m_fnHidden(dialog) : nullptr;
    if (!settings) return;
    SJoin join = PrepareJoin(settings);
    // What was typed wins over a stored profile's keys; it is stored once it has worked.
    CopySecurity(*settings, *join.settings);
    join.keyEntered = true;
    StartJoin(join);
}

void CViewSite::ConnectNetwork(const std::string& ssid) {
    StationPtr best;
    if (CStationMngr* stations = theApp.m_pStationMngr) {
        auto lock = stations->Lock();
        for (const auto& station : stations->Snapshot())
            if (station->NetName == ssid && (!best || station->m_nRssi > best->m_nRssi)) best = station;
    }
    if (!best || IsCurrentStation(*best) || m_bJoinRunning) return;
    if (!TryEnter(CS_MAIN)) return;
    SJoin join = PrepareJoin(best);
    RecallTyped(join);
    if (!JoinNeedsKey(*join.settings) || AskKey(join, QString())) StartJoin(join);
    Leave(CS_MAIN);
}

void CViewSite::RecallTyped(SJoin& join) const {
    if (join.profile || !join.settings) return;  // a stored profile lends its own
    const auto it = m_Typed.find(join.settings->NetName);
    if (it == m_Typed.end()) return;
    CopySecurity(*it->second, *join.settings);
}

void CViewSite::RememberTyped(const SJoin& join, bool joined) {
    if (!join.settings) return;
    const std::string& ssid = join.settings->NetName;
    // Joined, the profile keeps what worked; a join without typing has nothing to remember.
    if (joined || !join.keyEntered)
        m_Typed.erase(ssid);
    else
        m_Typed[ssid] = std::make_shared<CStation>(static_cast<const CProfile&>(*join.settings));
}

void CViewSite::OnForget() {
    const StationPtr station = SelectedStation();
    if (!station || !theApp.m_pProfileMngr) return;
    std::string ssid;
    {
        auto lock = theApp.m_pStationMngr->Lock();
        ssid = station->NetName;
    }
    if (!theApp.m_pProfileMngr->FindBySsid(ssid)) return;
    const QString question =
        QStringLiteral("Forget \u201C%1\u201D? Its saved profiles, with their keys, are removed.")
            .arg(ShownText(ssid));
    if (!m_fnConfirm || !m_fnConfirm(question)) return;
    if (!TryEnter(CS_MAIN)) return;
    if (ForgetNetwork(ssid) < 0)
        theApp.ShowMessage("The profile could not be removed from the settings store.", EMsgIcon::Warning);
    Leave(CS_MAIN);
    if (IMainWindow* window = theApp.m_pMainWnd) window->RefreshPages(false, true);
    RefreshList();
}

void CViewSite::FitColumnsForPicture() {
    for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();
    // Every column in the picture, whatever the screen the dialog was sized for.
    const int missing = m_nLeastListWidth + ui->IDC_1062->verticalScrollBar()->sizeHint().width() + 4 -
                        ui->IDC_1062->viewport()->width();
    if (missing > 0) {
        resize(width() + missing, height());
        for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();
    }
}

QStringList CViewSite::WriteScreenshots(const QString& dir) {
    QStringList written;
    if (!QDir().mkpath(dir)) return written;
    const bool wasVisible = isVisible();
    const bool wasNetworkView = m_bNetworkView;
    const QSize before = size();
    show();
    for (const bool network : {true, false}) {
        if (m_bNetworkView != network) OnToggleView();
        FitColumnsForPicture();
        const QString path = QDir(dir).filePath(network ? QStringLiteral("available-networks.png")
                                                        : QStringLiteral("available-aps.png"));
        if (grab().save(path, "PNG")) written << path;
    }
    if (m_bNetworkView != wasNetworkView) OnToggleView();
    resize(before);
    if (!wasVisible) hide();
    return written;
}

}  // namespace wavory
