#include "ui/survey/ViewSite.h"

#include "ui_ViewSite.h"

#include <QDir>
#include <QEvent>
#include <QFileDialog>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPalette>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTreeWidget>
#include <algorithm>
#include <vector>

#include "base/Locks.h"
#include "base/Registry.h"
#include "base/StringTable.h"
#include "base/Trace.h"
#include "driver/CommVar.h"
#include "monitor/Poll.h"
#include "profiles/ProfileMngr.h"
#include "profiles/RegistryUpdate.h"
#include "shell/MainWindow.h"
#include "shell/Tessal.h"
#include "shell/UserJoin.h"
#include "survey/Connect.h"
#include "survey/ConnectAttempt.h"
#include "survey/LinkActions.h"
#include "survey/Station.h"
#include "survey/StationMngr.h"
#include "ui/profiles/EditProfile.h"
#include "ui/profiles/EditProfileSec.h"
#include "ui/shell/JoinCancel.h"
#include "ui/shell/PlainDialogs.h"
#include "ui/shell/PlainText.h"
#include "ui/survey/ChannelsDlg.h"
#include "ui/survey/HiddenNetworkDlg.h"
#include "ui/survey/SiteIcons.h"
#include "ui/survey/SiteRows.h"

namespace wavory {

namespace {

constexpr int kRowKeyRole = Qt::UserRole;
constexpr const char* kViewPreference = "View AP or NET";

QString Text(int id) { return QString::fromStdString(LoadStringId(id)); }

// A copy of a scanned station as a profile holds it: the channel as its position in the channel list.
std::shared_ptr<CStation> ProfileCopy(const CStation& station) {
    auto copy = std::make_shared<CStation>(station, station.m_strBssid, station.m_nRssi);
    copy->PhyType = ProfilePhyType(station.PhyType, station.FrequencyMHz());
    copy->PhyChnl = ChannelNumberToIndex(copy->PhyType, station.PhyChnl);
    copy->PhyFreq = station.FrequencyMHz();
    return copy;
}

}  // namespace

CViewSite::CViewSite(QWidget* parent)
    : QDialog(parent), ui(std::make_unique<Ui::CViewSite>()), m_pMenu(new QMenu(this)) {
    ui->setupUi(this);
    setObjectName(QStringLiteral("ViewSite"));
    setSizeGripEnabled(true);

    QTreeWidget* list = ui->IDC_1062;
    list->header()->setSectionsClickable(true);
    list->header()->setSortIndicatorShown(true);
    list->viewport()->installEventFilter(this);
    // The selection stays as visible when the focus is on a button as when it is on the list.
    QPalette palette = list->palette();
    palette.setColor(QPalette::Inactive, QPalette::Highlight,
                     palette.color(QPalette::Active, QPalette::Highlight));
    palette.setColor(QPalette::Inactive, QPalette::HighlightedText,
                     palette.color(QPalette::Active, QPalette::HighlightedText));
    list->setPalette(palette);

    const std::pair<QLabel*, int> legend[] = {{ui->legendExcellent, SITE_IMG_EXCELLENT},
                                              {ui->legendGood, SITE_IMG_GOOD},
                                              {ui->legendFair, SITE_IMG_FAIR},
                                              {ui->legendPoor, SITE_IMG_POOR},
                                              {ui->IDC_1176, SITE_IMG_CONNECTED}};
    for (const auto& [label, image] : legend) label->setPixmap(SiteImage(image).pixmap(16, 16));

    m_pMenuConnect = m_pMenu->addAction(QStringLiteral("&Connect"), this, &CViewSite::OnConnect);
    m_pMenu->addAction(QStringLiteral("&Save as Profile"), this,
                       [this] { EditSelectedStation(EDIT_SAVE_PROFILE); });
    m_pMenuEdit = m_pMenu->addAction(QStringLiteral("E&dit Connection"), this,
                                     [this] { EditSelectedStation(EDIT_CONNECTION); });
    m_pMenuForget = m_pMenu->addAction(QStringLiteral("&Forget"), this, &CViewSite::OnForget);
    m_pMenuForget->setToolTip(QStringLiteral("Remove the saved profiles of this network"));
    m_pMenu->addSeparator();
    m_pMenu->addAction(QStringLiteral("&Rescan"), this, &CViewSite::OnRescan);
    m_pMenu->addAction(QStringLiteral("Connect to a &Hidden Network\u2026"), this,
                       [this] { ConnectHidden(); });

    connect(ui->IDC_1061, &QPushButton::clicked, this, &CViewSite::OnConnect);
    connect(ui->IDC_1057, &QPushButton::clicked, this, [this] { EditSelectedStation(EDIT_SAVE_PROFILE); });
    connect(ui->IDC_1059, &QPushButton::clicked, this, [this] { EditSelectedStation(EDIT_CONNECTION); });
    connect(ui->IDC_1058, &QPushButton::clicked, this, &CViewSite::OnRescan);
    connect(ui->btnHidden, &QPushButton::clicked, this, [this] { ConnectHidden(); });
    auto* qrMenu = new QMenu(ui->btnQr);
    qrMenu->addAction(QStringLiteral("From an Image &File\u2026"), this,
                      [this] { JoinFromQr(EQrSource::File); });
    qrMenu->addAction(QStringLiteral("From the &Clipboard"), this,
                      [this] { JoinFromQr(EQrSource::Clipboard); });
    qrMenu->addAction(QStringLiteral("From the &Screen"), this, [this] { JoinFromQr(EQrSource::Screen); });
    ui->btnQr->setMenu(qrMenu);
    connect(ui->editFilter, &QLineEdit::textChanged, this, &CViewSite::SetFilter);
    // Return in the filter goes to the first network it leaves, ready for Connect.
    connect(ui->editFilter, &QLineEdit::returnPressed, this, [this] {
        QTreeWidget* rows = ui->IDC_1062;
        if (rows->topLevelItemCount() == 0) return;
        rows->setCurrentItem(rows->topLevelItem(0));
        rows->setFocus(Qt::OtherFocusReason);
    });
    ui->listState->setTextFormat(Qt::PlainText);
    ui->listState->hide();
    connect(ui->IDC_3, &QPushButton::clicked, this, &CViewSite::OnToggleView);
    connect(ui->IDC_2, &QPushButton::clicked, this, &QWidget::hide);
    connect(list, &QTreeWidget::itemSelectionChanged, this, &CViewSite::OnRowSelected);
    connect(list, &QTreeWidget::itemDoubleClicked, this, &CViewSite::OnConnect);
    connect(list, &QWidget::customContextMenuRequested, this, &CViewSite::ShowContextMenu);
    connect(list->header(), &QHeaderView::sectionClicked, this, &CViewSite::OnColumnClicked);
    SetUpAir();

    // The scan's animation and progress bar come and go: their room is kept, so that the dialog's
    // size (and least size) always has them and they are never cut off beside the buttons.
    for (QWidget* comes : {static_cast<QWidget*>(ui->IDC_1163), static_cast<QWidget*>(ui->IDC_1164)}) {
        QSizePolicy keep = comes->sizePolicy();
        keep.setRetainSizeWhenHidden(true);
        comes->setSizePolicy(keep);
    }
    m_ProgressTimer.setInterval(kProgressTickMs);
    connect(&m_ProgressTimer, &QTimer::timeout, this, &CViewSite::UpdateProgress);

    ui->joinStatus->setTextFormat(Qt::PlainText);
    ui->joinStatus->hide();
    ui->joinCancel->hide();
    connect(ui->joinCancel, &QPushButton::clicked, this, [] { CancelJoinFromWindow(); });

    m_fnHidden = [](CHiddenNetworkDlg& dialog) -> std::shared_ptr<CStation> {
        return dialog.exec() == QDialog::Accepted ? dialog.Settings() : nullptr;
    };
    m_fnQrFile = [this] {
        return QFileDialog::getOpenFileName(
            this, QStringLiteral("Join from QR Code"), QString(),
            QStringLiteral("Images (*.png *.jpg *.jpeg *.bmp *.gif *.pbm *.pgm *.ppm *.webp);;All files (*)"));
    };
    m_fnConfirm = [this](const QString& question) {
        return PlainQuestion(this, windowTitle(), question);
    };
    m_fnEditor = [this](const QString& title) {
        CEditProfile editor(title, this, 0);
        editor.SetNotice(m_strPromptNotice);
        m_pEditor = &editor;
        const bool confirmed = editor.exec() == QDialog::Accepted;
        m_pEditor = nullptr;
        return confirmed;
    };

    // The view and the sort order are kept across runs; the first time, the strongest networks
    // come first.
    m_bNetworkView = theApp.GetProfileInt("", kViewPreference, 0) != 0;
    m_nSortColumn =
        std::clamp(theApp.GetProfileInt("", kSortColumnPref, SITE_COL_QUALITY), 0, kApViewColumns - 1);
    m_bSortAscending = theApp.GetProfileInt("", kSortAscendingPref, 0) != 0;
    InitView();
}

CViewSite::~CViewSite() = default;

void CViewSite::SetEditorRunner(EditorRunner runner) { m_fnEditor = std::move(runner); }

void CViewSite::InitView() {
    setWindowTitle(m_bNetworkView ? QStringLiteral("Available Networks") : QStringLiteral("Available AP's"));
    // The caption names the view the button switches to.
    ui->IDC_3->setText(Text(m_bNetworkView ? IDS_AP_VIEW : IDS_NETWORK_VIEW));

    const int columns = m_bNetworkView ? kNetworkViewColumns : kApViewColumns;
    // The network view has no channel, rate or MAC column to sort by.
    if (m_nSortColumn >= columns) {
        m_nSortColumn = SITE_COL_QUALITY;
        m_bSortAscending = false;
    }
    QStringList headers;
    for (int column = 0; column < columns; ++column) headers << QString::fromLatin1(SiteColumnHeader(column));
    ui->IDC_1062->clear();
    ui->IDC_1062->setColumnCount(columns);
    ui->IDC_1062->setHeaderLabels(headers);
    ApplyColumnWidths();

    // Merging again applies the view: one station per network name or all of them.
    if (theApp.m_pStationMngr) theApp.m_pStationMngr->MergeScan();
    RefreshList();
}

void CViewSite::ApplyColumnWidths() {
    QTreeWidget* list = ui->IDC_1062;
    const QFontMetrics metrics(list->font());
    // The widest text each column shows, so that "Infrastructure", a kind of security, a rate or a MAC
    // address is never cut.
    static const char* const kWidest[kApViewColumns] = {
        "-100dBm",          "", "Infrastructure", "WPA2/WPA3-Personal", "233 (6 GHz)", "2401.9 Mbps",
        "00-00-00-00-00-00"};
    constexpr int kPadding = 16;
    const int count = list->columnCount();
    std::vector<int> least(static_cast<std::size_t>(count));
    int leastTotal = 0;
    double total = 0.0;
    for (int column = 0; column < count; ++column) {
        int width = std::max(metrics.horizontalAdvance(QString::fromLatin1(SiteColumnHeader(column))),
                             metrics.horizontalAdvance(QString::fromLatin1(kWidest[column]))) +
                    kPadding;
        if (column == SITE_COL_QUALITY) width += list->iconSize().width() > 0 ? list->iconSize().width() : 16;
        least[static_cast<std::size_t>(column)] = width;
        leastTotal += width;
        total += SiteColumnFraction(column, m_bNetworkView);
    }
    m_nLeastListWidth = leastTotal;
    // The access-point view's shares add up to more than the whole width, which would push the
    // MAC column out of sight; they are kept as proportions instead, over what the least widths leave.
    const int spare = std::max(0, list->viewport()->width() - leastTotal);
    for (int column = 0; column < count; ++column) {
        const double share = SiteColumnFraction(column, m_bNetworkView) / std::max(total, 1.0);
        list->setColumnWidth(column,
                             least[static_cast<std::size_t>(column)] + static_cast<int>(spare * share));
    }
}

void CViewSite::showEvent(QShowEvent* event) {
    if (!m_bSized) {
        m_bSized = true;
        RestoreSize();
    }
    QDialog::showEvent(event);
    // Opening the list is asking what is in range now: a scan starts unless one runs.
    if (!m_ProgressTimer.isActive() && !theApp.m_bScanning) OnRescan();
    // The tick refreshes the list only while it is shown: bring it up to date when it appears.
    // Opened without a choice of the user's, the connected row (else the first) is selected, so
    // the buttons are usable at once.
    RefreshList();
    if (m_strSelectedKey.empty() && ui->IDC_1062->topLevelItemCount() > 0) {
        m_strSelectedKey =
            m_strListCurrentKey.empty() ? RowKeyOf(ui->IDC_1062->topLevelItem(0)) : m_strListCurrentKey;
        RefreshList();
    }
}

bool CViewSite::eventFilter(QObject* watched, QEvent* event) {
    if (watched == ui->IDC_1062->viewport() && event->type() == QEvent::Resize) ApplyColumnWidths();
    return QDialog::eventFilter(watched, event);
}

std::string CViewSite::RowKeyOf(const QTreeWidgetItem* row) {
    return row ? row->data(0, kRowKeyRole).toByteArray().toStdString() : std::string();
}

CViewSite::StationPtr CViewSite::FindStation(const std::string& rowKey) {
    CStationMngr* stations = theApp.m_pStationMngr;
    if (!stations) return nullptr;
    if (!m_bNetworkView) return stations->Lookup(rowKey);
    auto lock = stations->Lock();
    for (const auto& station : stations->Snapshot())
        if (station->NetName == rowKey) return station;
    return nullptr;
}

CViewSite::StationPtr CViewSite::SelectedStation() {
    QTreeWidget* list = ui->IDC_1062;
    list->setFocus();
    const QList<QTreeWidgetItem*> selected = list->selectedItems();
    if (selected.isEmpty()) return nullptr;
    // Of several rows selected, the buttons act on the one last clicked.
    QTreeWidgetItem* current = list->currentItem();
    return FindStation(RowKeyOf(current && current->isSelected() ? current : selected.first()));
}

bool CViewSite::IsCurrentStation(const CStation& station) {
    CStationMngr* stations = theApp.m_pStationMngr;
    if (!stations) return false;
    auto lock = stations->Lock();
    const std::string current = stations->GetCurrentKey();
    // A hidden network's row has no name, and is the connected one all the same when it is.
    return !current.empty() && current == CStationMngr::StationKey(station);
}

void CViewSite::EnableButtons(const StationPtr& station) {
    // Without a selected row the commands that act on one are off.
    const bool current = station && IsCurrentStation(*station);
    // One join at a time: while one runs, its Cancel is the way to another.
    ui->IDC_1061->setEnabled(station && !current && !m_bJoinRunning);
    ui->IDC_1059->setEnabled(station && current);
    ui->IDC_1057->setEnabled(station != nullptr);
}

void CViewSite::RefreshList() {
    QTreeWidget* list = ui->IDC_1062;
    m_bFilling = true;
    // Rows that did not change are left alone: no rebuild, no repaint of the list.
    std::vector<SSiteRow> rows = BuildRows();
    if (rows != m_Rows || list->topLevelItemCount() != static_cast<int>(rows.size())) {
        m_Rows = std::move(rows);
        list->clear();
        FillList();
    }
    list->header()->setSortIndicator(m_nSortColumn,
                                     m_bSortAscending ? Qt::AscendingOrder : Qt::DescendingOrder);

    StationPtr selected;
    if (!m_strSelectedKey.empty() && list->topLevelItemCount() > 0) {
        QTreeWidgetItem* row = list->topLevelItem(0);
        for (int i = 0; i < list->topLevelItemCount(); ++i) {
            if (RowKeyOf(list->topLevelItem(i)) == m_strSelectedKey) {
                row = list->topLevelItem(i);
                break;
            }
        }
        // The selection follows the row shown selected, also when it fell back to the first one.
        m_strSelectedKey = RowKeyOf(row);
        if (list->currentItem() != row) list->setCurrentItem(row);
        if (!row->isSelected()) row->setSelected(true);
        // The other rows selected stay selected while they are listed.
        std::vector<std::string> others;
        for (int i = 0; i < list->topLevelItemCount(); ++i) {
            QTreeWidgetItem* item = list->topLevelItem(i);
            const std::string key = RowKeyOf(item);
            if (item == row || std::find(m_OtherSelectedKeys.begin(), m_OtherSelectedKeys.end(), key) ==
                                   m_OtherSelectedKeys.end())
                continue;
            if (!item->isSelected()) item->setSelected(true);
            others.push_back(key);
        }
        m_OtherSelectedKeys = std::move(others);
        list->scrollToItem(row);
        selected = FindStation(m_strSelectedKey);
    } else {
        m_OtherSelectedKeys.clear();
    }
    m_bFilling = false;
    EnableButtons(selected);
    UpdateProgress();
    UpdateListState();
    UpdateChart();
    if (m_pChannels && m_pChannels->isVisible()) m_pChannels->Refresh();
}

std::vector<CViewSite::SSiteRow> CViewSite::BuildRows() {
    std::vector<SSiteRow> rows;
    m_strListCurrentKey.clear();
    CStationMngr* stations = theApp.m_pStationMngr;
    if (!stations) return rows;
    auto lock = stations->Lock();
    const std::vector<StationPtr> all = stations->Snapshot();
    for (const auto& station : all)
        if (IsCurrentStation(*station)) m_strListCurrentKey = SiteRowKey(*station, m_bNetworkView);

    const int columns = ui->IDC_1062->columnCount();
    // Each row's station, found in one pass rather than a search of all stations per row.
    std::unordered_map<std::string, StationPtr> byName;
    if (m_bNetworkView) byName = CStationMngr::FirstOfEachName(all);
    for (const std::string& key : SortSiteKeys(all, m_nSortColumn, m_bSortAscending, m_bNetworkView)) {
        StationPtr station;
        if (!m_bNetworkView) {
            station = stations->Lookup(key);
        } else if (auto it = byName.find(key); it != byName.end()) {
            station = it->second;
        }
        if (!station) continue;
        if (!m_strFilter.isEmpty() && !ShownText(station->NetName).contains(m_strFilter, Qt::CaseInsensitive))
            continue;
        SSiteRow row;
        row.key = key;
        row.current = !m_strListCurrentKey.empty() && key == m_strListCurrentKey;
        row.image = IsCurrentStation(*station) ? SITE_IMG_CONNECTED : QualityImage(station->m_nRssi);
        for (int column = 0; column < columns; ++column)
            row.texts.push_back(SiteColumnText(*station, column));
        rows.push_back(std::move(row));
    }
    return rows;
}

void CViewSite::FillList() {
    QTreeWidget* list = ui->IDC_1062;
    const QColor connected = QColor::fromRgb(kConnectedRowRgb);
    for (const SSiteRow& row : m_Rows) {
        auto* item = new QTreeWidgetItem(list);
        item->setData(0, kRowKeyRole, QByteArray::fromStdString(row.key));
        item->setIcon(0, SiteImage(row.image));
        for (int column = 0; column < static_cast<int>(row.texts.size()); ++column) {
            // Every text is shown as data: an SSID's control bytes as escapes, never as markup.
            const QString text = ShownText(row.texts[static_cast<std::size_t>(column)]);
            item->setText(column, text);
            item->setToolTip(column, PlainToolTip(text));  // for a text cut short by a narrow column
            if (row.current) {
                item->setBackground(column, connected);
                item->setForeground(column, QColor(Qt::black));
            }
        }
    }
}

void CViewSite::OnRowSelected() {
    if (m_bFilling) return;
    QTreeWidget* list = ui->IDC_1062;
    const QList<QTreeWidgetItem*> selected = list->selectedItems();
    m_OtherSelectedKeys.clear();
    if (selected.isEmpty()) {
        EnableButtons(nullptr);
        UpdateChart();
        return;
    }
    QTreeWidgetItem* current = list->currentItem();
    if (!current || !current->isSelected()) current = selected.first();
    m_strSelectedKey = RowKeyOf(current);
    for (const QTreeWidgetItem* item : selected)
        if (item != current) m_OtherSelectedKeys.push_back(RowKeyOf(item));
    EnableButtons(FindStation(m_strSelectedKey));
    UpdateChart();
}

void CViewSite::OnColumnClicked(int column) {
    if (column == m_nSortColumn) {
        m_bSortAscending = !m_bSortAscending;
    } else {
        m_nSortColumn = column;
        // Signal strength is read best first; the texts from A.
        m_bSortAscending = column != SITE_COL_QUALITY;
    }
    StoreSortOrder();
    RefreshList();
}

void CViewSite::ShowContextMenu(const QPoint& pos) {
    const StationPtr station = SelectedStation();
    if (!station) return;
    EnableButtons(station);
    const bool current = IsCurrentStation(*station);
    m_pMenuConnect->setEnabled(!current && !m_bJoinRunning);
    m_pMenuEdit->setEnabled(current);
    m_pMenuForget->setEnabled(theApp.m_pProfileMngr && theApp.m_pProfileMngr->FindBySsid(station->NetName));
    m_pMenu->popup(ui->IDC_1062->viewport()->mapToGlobal(pos));
}

void CViewSite::OnToggleView() {
    // The selected station stays selected under its key of the other view.
    if (const StationPtr station = FindStation(m_strSelectedKey)) {
        auto lock = theApp.m_pStationMngr->Lock();
        m_strSelectedKey = SiteRowKey(*station, !m_bNetworkView);
    }
    m_bNetworkView = !m_bNetworkView;
    theApp.WriteProfileInt("", kViewPreference, m_bNetworkView ? 1 : 0);
    InitView();
}

void CViewSite::OnRescan() {
    // A scan that does not start shows nothing (driver failures stay silent), unless the library
    // says what right is missing for it.
    if (!theApp.m_pStationMngr) return;
    TakeDriverRefusal();
    if (theApp.m_pStationMngr->StartScan() != 2) {
        const std::string refusal = TakeDriverRefusal();
        if (!refusal.empty()) theApp.ShowMessage(refusal, EMsgIcon::Warning);
        // A missing adapter hears nothing: the old rows go and the line says why.
        m_bAdapterMissing = refusal.empty() && !AdapterPresent();
        if (m_bAdapterMissing) theApp.m_pStationMngr->MergeScan();
        RefreshList();
        return;
    }
    m_bAdapterMissing = false;
    m_ScanStart.start();
    ui->IDC_1164->setRange(0, kScanSeconds);
    ui->IDC_1164->setValue(0);
    ui->IDC_1164->show();
    m_nScanFrame = 0;
    ui->IDC_1163->setPixmap(ScanFrame(0));
    ui->IDC_1163->show();
    m_ProgressTimer.start();
    UpdateListState();
}

void CViewSite::UpdateProgress() {
    if (!m_ProgressTimer.isActive()) return;
    const qint64 elapsed = m_ScanStart.elapsed();
    // The main tick clears the scanning flag once it has merged the finished scan.
    if (elapsed >= kScanSeconds * 1000 || !theApp.m_bScanning) {
        StopProgress();
        return;
    }
    // Whole seconds, as the bar counts them; each widget is touched only when its picture changes.
    const int seconds = static_cast<int>(elapsed / 1000);
    if (ui->IDC_1164->value() != seconds) ui->IDC_1164->setValue(seconds);
    const int frame = static_cast<int>(elapsed / kProgressTickMs) % kScanFrameCount;
    if (frame != m_nScanFrame) {
        m_nScanFrame = frame;
        ui->IDC_1163->setPixmap(ScanFrame(frame));
    }
}

void CViewSite::StopProgress() {
    m_ProgressTimer.stop();
    ui->IDC_1164->hide();
    ui->IDC_1163->hide();
}

void CViewSite::EditSelectedStation(int mode) {
    if (!TryEnter(CS_MAIN)) return;
    RunEditor(mode);
    Leave(CS_MAIN);
}

int CViewSite::RunEditor(int mode) {
    Trace("\nEnter View Site");
    // The key prompt edits the settings of a join, whichever row is selected by then.
    const StationPtr station = mode == EDIT_SECURITY ? nullptr : SelectedStation();
    CProfileMngr* profiles = theApp.m_pProfileMngr;
    if ((!station && mode != EDIT_SECURITY) || !profiles) return EDIT_CANCELLED;

    g_strEditProfile = CProfileMngr::kEditStation;
    QString title;
    std::shared_ptr<CProfile> added;
    std::shared_ptr<CStation> edited;
    switch (mode) {
        case EDIT_SAVE_PROFILE: {
            title = Text(IDS_SAVE_CONNECTION);
            std::shared_ptr<CStation> copy;
            {
                auto lock = theApp.m_pStationMngr->Lock();
                copy = ProfileCopy(*station);
            }
            g_strEditProfile = profiles->AddProfile(copy.get());
            added = profiles->GetProfile(g_strEditProfile);
            break;
        }
        case EDIT_CONNECTION:
            title = Text(IDS_EDIT_CONNECTION);
            // What the adapter is connected with (mode, channel, key), not the scan's view of it.
            edited = LiveConnection(station);
            profiles->SetEditStation(edited);
            break;
        case EDIT_SECURITY:
            title = Text(IDS_ENTER_SECURITY);
            break;
        default:
            return EDIT_CANCELLED;
    }

    const bool confirmed = m_fnEditor && m_fnEditor(title);

    if (added) {
        std::string name;
        {
            auto lock = profiles->Lock();
            name = added->ProfName;  // the editor may have renamed it
        }
        if (!confirmed) {
            profiles->RemoveProfile(name, false, true);
        } else {
            {
                auto lock = profiles->Lock();
                if (added->AutoSelect) added->Priority = profiles->UpdatePriorities(-1);
            }
            // Stored as one change, under a section free at that moment; a refusal is told and the
            // profile, never stored, goes again.
            const CProfileMngr::SStoreResult stored =
                profiles->StoreChanges(CProfileMngr::EOnConflict::TakeTheirs);
            if (!stored.Ok()) {
                profiles->RemoveProfile(name, true, false);
                theApp.ShowMessage(
                    stored.error == REG_ERROR_FILE_EXISTS
                        ? "A profile named \"" + stored.clash + "\" already exists; nothing was saved."
                        : StoreFailureText(stored.error),
                    EMsgIcon::Warning);
            }
            if (IMainWindow* window = theApp.m_pMainWnd) window->RefreshPages(false, true);
        }
    }
    if (mode == EDIT_CONNECTION) profiles->SetEditStation(nullptr);
    if (mode == EDIT_CONNECTION && confirmed && edited) {
        // The adapter joins again with the new security; a failure is shown once it is known.
        QPointer<CViewSite> self(this);
        RunUserAttempt(CConnectAttempt::ForSecurity(edited), [self](CConnectAttempt& attempt) {
            if (!attempt.Result().ok) theApp.ShowMessage(attempt.Result().failure, EMsgIcon::Warning);
            if (self) self->RefreshList();
        });
    }
    RefreshList();
    return confirmed ? EDIT_CONFIRMED : EDIT_CANCELLED;
}

}  // namespace wavory
