#include "ui/profiles/MainProfile.h"

#include <algorithm>

#include "ui_MainProfile.h"

#include <QKeyEvent>

#include <QApplication>
#include <QCheckBox>
#include <QEvent>
#include <QFileDialog>
#include <QGridLayout>
#include <QMenu>
#include <QPainter>
#include <QToolButton>
#include <QTreeWidget>
#include <optional>
#include <stdexcept>

#include "base/DisplayText.h"
#include "base/Locks.h"
#include "base/Registry.h"
#include "base/StringTable.h"
#include "driver/CommVar.h"
#include "monitor/Poll.h"
#include "profiles/EapProfile.h"
#include "profiles/Profile.h"
#include "profiles/ProfileMngr.h"
#include "profiles/ProfileSections.h"
#include "shell/MainWindow.h"
#include "shell/Tessal.h"
#include "shell/UserJoin.h"
#include "survey/Connect.h"
#include "survey/ConnectAttempt.h"
#include "survey/Station.h"
#include "survey/StationMngr.h"
#include "ui/profiles/ControlIds.h"
#include "ui/profiles/EditProfile.h"
#include "ui/profiles/EditProfilePage.h"
#include "ui/profiles/ShareDlg.h"
#include "ui/profiles/StackImportDlg.h"
#include "ui/shell/PlainDialogs.h"
#include "ui/shell/PlainText.h"
#include "ui/survey/SiteIcons.h"
#include "ui/survey/SiteRows.h"

namespace wavory {

namespace {

constexpr int kIconSize = 16;

QString AskProfileFile(QWidget* parent, bool save, const QString& title, const QString& filter,
                       bool* withSecrets) {
    QFileDialog dialog(parent, title, QString(), filter);
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    // The suffix is added before the dialog checks for an existing file, so the user confirms
    // replacing exactly the file that is written.
    dialog.setDefaultSuffix(QStringLiteral("reg"));
    // An export may leave the secrets out: a file to hand on holds no keys. The box needs the
    // dialog of Qt's own, whose layout takes one more row.
    QCheckBox* leaveOut = nullptr;
    if (save) {
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        leaveOut = new QCheckBox(QStringLiteral("Leave out WEP &keys and passphrases"), &dialog);
        leaveOut->setObjectName(QStringLiteral("leaveOutSecrets"));
        if (auto* grid = qobject_cast<QGridLayout*>(dialog.layout()))
            grid->addWidget(leaveOut, grid->rowCount(), 0, 1, grid->columnCount());
    }
    if (dialog.exec() != QDialog::Accepted) return {};
    if (withSecrets) *withSecrets = !leaveOut || !leaveOut->isChecked();
    return dialog.selectedFiles().value(0);
}

// The priority arrows, drawn here rather than taken from the icon theme: looking an icon up in the
// theme reads and parses the theme's index at start-up, for two triangles.
QIcon DrawArrow(bool up, const QColor& colour) {
    QPixmap pixmap(kIconSize, kIconSize);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setPen(Qt::NoPen);
    painter.setBrush(colour);
    const QPolygonF triangle = up ? QPolygonF({QPointF(3, 11), QPointF(13, 11), QPointF(8, 5)})
                                  : QPolygonF({QPointF(3, 5), QPointF(13, 5), QPointF(8, 11)});
    painter.drawPolygon(triangle);
    return QIcon(pixmap);
}

bool AskYesNo(QWidget* parent, const QString& text) {
    return PlainQuestion(parent, QString::fromLatin1(CTessalApp::kAppName), text);
}

}  // namespace

CMainProfile::FileDialogHook CMainProfile::s_fnAskFile = AskProfileFile;
CMainProfile::QuestionHook CMainProfile::s_fnAskYesNo = AskYesNo;
CMainProfile::ShareHook CMainProfile::s_fnRunShare;
CMainProfile::StackImportHook CMainProfile::s_fnRunStackImport;

CMainProfile::CMainProfile(QWidget* parent)
    : QWidget(parent),
      ui(std::make_unique<Ui::CMainProfile>()),
      m_ConnectedIcon(SiteImage(SITE_IMG_CONNECTED)) {
    ui->setupUi(this);
    setObjectName("Profiles");
    ui->IDC_1178->setPixmap(m_ConnectedIcon.pixmap(kIconSize, kIconSize));

    const QStringList headers = {QStringLiteral("Profile Name"), QStringLiteral("Network Name (SSID)"),
                                 QStringLiteral("Security")};
    for (QTreeWidget* list : {ui->IDC_1077, ui->IDC_1078}) {
        list->setColumnCount(3);
        list->setHeaderLabels(headers);
        list->setIconSize(QSize(kIconSize, kIconSize));
        list->installEventFilter(this);
        SetColumnWidths(list);
        connect(list, &QTreeWidget::itemPressed, this, [this, list] { SetActiveList(list); });
        connect(list, &QTreeWidget::itemDoubleClicked, this, [this, list] {
            SetActiveList(list);
            ConnectSelected();
        });
        connect(list, &QWidget::customContextMenuRequested, this,
                [this, list](const QPoint& pos) { ShowContextMenu(list, pos); });
    }
    // One selection across both lists: selecting a row in one clears the other, and the commands
    // act on the row that is shown selected.
    connect(ui->IDC_1078, &QTreeWidget::itemSelectionChanged, this, [this] {
        if (m_bFilling || ui->IDC_1078->selectedItems().isEmpty()) return;
        ClearSelection(ui->IDC_1077);
        SetActiveList(ui->IDC_1078);
    });
    connect(ui->IDC_1077, &QTreeWidget::itemSelectionChanged, this, [this] {
        if (m_bFilling) return;
        if (!ui->IDC_1077->selectedItems().isEmpty()) {
            ClearSelection(ui->IDC_1078);
            SetActiveList(ui->IDC_1077);
        }
        // Like a selection mark, the row stays remembered when the selection is cleared.
        const QList<QTreeWidgetItem*> selected = ui->IDC_1077->selectedItems();
        if (!selected.isEmpty()) m_nAutoSel = ui->IDC_1077->indexOfTopLevelItem(selected.first());
        UpdateArrows();
    });

    connect(ui->IDC_1075, &QPushButton::clicked, this, &CMainProfile::ConnectSelected);
    connect(ui->IDC_1079, &QPushButton::clicked, this, [this] { DoProfileOp(PROFILE_OP_NEW); });
    connect(ui->IDC_1076, &QPushButton::clicked, this, [this] { DoProfileOp(PROFILE_OP_EDIT); });
    connect(ui->IDC_1139, &QToolButton::clicked, this, &CMainProfile::MoveUp);
    connect(ui->IDC_1138, &QToolButton::clicked, this, &CMainProfile::MoveDown);
    connect(ui->btnShare, &QPushButton::clicked, this, &CMainProfile::ShareSelected);
    connect(ui->IDC_32779, &QPushButton::clicked, this, [this] { ProfileFileOp(FILE_OP_EXPORT); });
    connect(ui->IDC_32780, &QPushButton::clicked, this, [this] { ProfileFileOp(FILE_OP_IMPORT); });
    connect(ui->btnImportStack, &QPushButton::clicked, this, &CMainProfile::ImportFromStack);
    connect(ui->IDC_32781, &QPushButton::clicked, this, [this] { ProfileFileOp(FILE_OP_EXPORT_ALL); });

    m_bInitialized = true;
    m_nAutoSel = 0;
    m_pActiveList = ui->IDC_1077;
    RefreshLists(0);
}

CMainProfile::~CMainProfile() = default;

void CMainProfile::Refresh() {
    // Rebuilt when it is seen: a hidden page only notes that it may be out of date.
    if (!isVisible()) {
        m_bStale = true;
        return;
    }
    RefreshLists(0);
}

void CMainProfile::showEvent(QShowEvent* event) {
    RefreshLists(0);
    QWidget::showEvent(event);
}

void CMainProfile::ClearSelection(QTreeWidget* list) {
    const bool filling = m_bFilling;
    m_bFilling = true;
    list->clearSelection();
    list->setCurrentItem(nullptr, 0, QItemSelectionModel::NoUpdate);
    m_bFilling = filling;
}

void CMainProfile::SelectItem(QTreeWidget* list, QTreeWidgetItem* item) {
    ClearSelection(list == ui->IDC_1077 ? ui->IDC_1078 : ui->IDC_1077);
    list->setCurrentItem(item);
    item->setSelected(true);
    SetActiveList(list);
}

bool CMainProfile::eventFilter(QObject* watched, QEvent* event) {
    auto* list = qobject_cast<QTreeWidget*>(watched);
    // A list that gets the focus becomes the active one when it holds the selection (or neither
    // does), so the commands never act on a row other than the one shown selected.
    if (list && event->type() == QEvent::FocusIn &&
        (!list->selectedItems().isEmpty() || !m_pActiveList || m_pActiveList->selectedItems().isEmpty()))
        SetActiveList(list);
    if (list && event->type() == QEvent::Resize) SetColumnWidths(list);
    // The Delete key does what the menu's Delete does: it asks first.
    if (list && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Delete &&
        static_cast<QKeyEvent*>(event)->modifiers() == Qt::NoModifier) {
        SetActiveList(list);
        OnDelete();
        return true;
    }
    // Alt+Up and Alt+Down move the selected member as the arrows do; the focus stays on the list,
    // so that each further press moves it on.
    if (list == ui->IDC_1077 && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->modifiers() == Qt::AltModifier && (key->key() == Qt::Key_Up || key->key() == Qt::Key_Down)) {
            SetActiveList(list);
            Move(key->key() == Qt::Key_Up ? -1 : +1);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void CMainProfile::SetActiveList(QTreeWidget* list) { m_pActiveList = list; }

void CMainProfile::SetColumnWidths(QTreeWidget* list) {
    int widths[3];
    for (int column = 0; column < 3; ++column)
        widths[column] = static_cast<int>(list->width() * kColumnShares[column]);
    // The security column holds names such as "WPA2-Personal" now: it takes the room it needs from
    // the network name's column, which keeps most of its share.
    const int security = QFontMetrics(list->font()).horizontalAdvance(QStringLiteral("WPA2-Personal")) + 6;
    const int extra = std::clamp(security - widths[2], 0, widths[1] / 3);
    widths[1] -= extra;
    widths[2] += extra;
    for (int column = 0; column < 3; ++column) list->setColumnWidth(column, widths[column]);
}

// ---- Lists ----

std::string CMainProfile::RowName(QTreeWidget* list, int row) {
    QTreeWidgetItem* item = row >= 0 ? list->topLevelItem(row) : nullptr;
    return item ? item->data(0, kNameRole).toByteArray().toStdString() : std::string();
}

std::shared_ptr<CProfile> CMainProfile::SelectedProfile(std::string* name) const {
    CProfileMngr* mngr = theApp.m_pProfileMngr;
    if (!mngr || !m_pActiveList) return nullptr;
    const QList<QTreeWidgetItem*> selected = m_pActiveList->selectedItems();
    if (selected.isEmpty()) return nullptr;
    // The row carries the profile's exact name, so the lookup never depends on the shown text.
    const std::string rowName = selected.first()->data(0, kNameRole).toByteArray().toStdString();
    if (name) *name = rowName;
    return mngr->GetProfile(rowName);
}

void CMainProfile::ShareSelected() {
    std::shared_ptr<CProfile> profile = SelectedProfile();
    CProfileMngr* mngr = theApp.m_pProfileMngr;
    if (!profile || !mngr) return;
    std::unique_ptr<CProfile> copy;
    {
        auto lock = mngr->Lock();
        copy = std::make_unique<CProfile>(*profile);
    }
    CShareDlg dialog(*copy, this);
    if (s_fnRunShare)
        s_fnRunShare(dialog);
    else
        dialog.exec();
}

void CMainProfile::ImportFromStack() {
    CProfileMngr* mngr = theApp.m_pProfileMngr;
    if (!mngr) return;
    CStackImportDlg dialog(*mngr, this);
    const bool imported = s_fnRunStackImport ? s_fnRunStackImport(dialog) : dialog.exec() == QDialog::Accepted;
    if (!imported) return;
    RefreshLists(0);
    theApp.ShowMessage(dialog.Summary().toStdString(), EMsgIcon::Information);
}

std::shared_ptr<CProfile> CMainProfile::AutoRowProfile(int row) const {
    CProfileMngr* mngr = theApp.m_pProfileMngr;
    const std::string name = RowName(ui->IDC_1077, row);
    return mngr && !name.empty() ? mngr->GetProfile(name) : nullptr;
}

void CMainProfile::RefreshLists(int row, std::string follow) {
    if (!m_bInitialized) return;
    m_bStale = false;
    if (m_nAutoSel >= 0) row = m_nAutoSel;
    if (follow.empty()) {
        const QList<QTreeWidgetItem*> selected = m_pActiveList->selectedItems();
        if (!selected.isEmpty()) follow = selected.first()->data(0, kNameRole).toByteArray().toStdString();
    }
    const bool hadFocus = isVisible() && isAncestorOf(QApplication::focusWidget());

    // The lists are rebuilt only when what they show changed; a rebuild repaints both.
    std::vector<SProfileRow> rows = BuildRows();
    const bool changed = rows != m_Rows;
    m_bFilling = true;
    if (changed) {
        m_Rows = std::move(rows);
        ui->IDC_1077->clear();
        ui->IDC_1078->clear();
        FillLists();
    }
    // The profile the user was working on stays selected, wherever the rebuild put it; else the
    // remembered auto-selection row. Only one row of the two lists is ever selected.
    QTreeWidgetItem* target = nullptr;
    QTreeWidget* targetList = nullptr;
    if (!follow.empty()) {
        const QByteArray name = QByteArray::fromStdString(follow);
        for (QTreeWidget* list : {ui->IDC_1077, ui->IDC_1078}) {
            for (int i = 0; i < list->topLevelItemCount() && !target; ++i) {
                if (list->topLevelItem(i)->data(0, kNameRole).toByteArray() != name) continue;
                target = list->topLevelItem(i);
                targetList = list;
                if (list == ui->IDC_1077) m_nAutoSel = i;
            }
        }
    }
    if (!target && row >= 0 && row < ui->IDC_1077->topLevelItemCount()) {
        target = ui->IDC_1077->topLevelItem(row);
        targetList = ui->IDC_1077;
    }
    if (target && (changed || !target->isSelected())) SelectItem(targetList, target);
    m_bFilling = false;
    // The focus moves only within the page, never away from a control elsewhere.
    if (hadFocus) m_pActiveList->setFocus();
    UpdateArrows();
}

std::vector<CMainProfile::SProfileRow> CMainProfile::BuildRows() const {
    std::vector<SProfileRow> rows;
    CProfileMngr* mngr = theApp.m_pProfileMngr;
    if (!mngr) return rows;

    // The connected mark follows the current station by network name; without one, an applied
    // ad-hoc profile carries it.
    std::optional<std::string> currentSsid;
    if (CStationMngr* stations = theApp.m_pStationMngr) {
        auto lock = stations->Lock();
        if (auto current = stations->GetCurrent()) currentSsid = current->NetName;
    }
    std::shared_ptr<CProfile> connected = currentSsid ? nullptr : mngr->GetConnected();
    const bool adHoc = theApp.m_bAdHocApplied;

    auto lock = mngr->Lock();
    const std::vector<std::shared_ptr<CProfile>> profiles = mngr->Snapshot();
    rows.reserve(profiles.size());
    auto add = [&](const CProfile& profile) {
        SProfileRow row;
        row.autoSelect = profile.AutoSelect;
        row.name = profile.ProfName;
        row.ssid = profile.NetName;
        row.security = ProfileSecurityText(profile);
        // A hotspot profile is never the network the adapter is on.
        row.connected = !profile.Hotspot &&
                        (currentSsid ? *currentSsid == profile.NetName
                                     : adHoc && connected && connected->ProfName == profile.ProfName);
        rows.push_back(std::move(row));
    };
    const int autoCount = mngr->GetAutoCount();
    // Members by slot: one pass to index them, not one pass per slot.
    std::vector<std::vector<const CProfile*>> bySlot(static_cast<std::size_t>(std::max(autoCount, 0)));
    for (const auto& profile : profiles)
        if (profile->AutoSelect && profile->Priority >= 0 && profile->Priority < autoCount)
            bySlot[static_cast<std::size_t>(profile->Priority)].push_back(profile.get());
    for (const auto& slot : bySlot)
        for (const CProfile* profile : slot) add(*profile);
    // The others by name as a person counts: "Profile 9" before "Profile 14".
    std::vector<const CProfile*> others;
    for (const auto& profile : profiles)
        if (!profile->AutoSelect) others.push_back(profile.get());
    std::sort(others.begin(), others.end(),
              [](const CProfile* a, const CProfile* b) { return NaturalLess(a->ProfName, b->ProfName); });
    for (const CProfile* profile : others) add(*profile);
    return rows;
}

void CMainProfile::FillLists() {
    for (const SProfileRow& row : m_Rows) {
        QTreeWidget* list = row.autoSelect ? ui->IDC_1077 : ui->IDC_1078;
        auto* item = new QTreeWidgetItem(list);
        // Names and network names are data: shown with their control bytes escaped, and the row
        // keeps the exact bytes for the lookup.
        const QString name = ShownText(row.name);
        const QString ssid = ShownText(row.ssid);
        item->setText(0, name);
        item->setData(0, kNameRole, QByteArray::fromStdString(row.name));
        item->setText(1, ssid);
        item->setText(2, QString::fromStdString(row.security));
        item->setToolTip(2, item->text(2));  // where a long name is cut, it is there in full
        // A name cut short by a narrow column can be read in full.
        item->setToolTip(0, PlainToolTip(name));
        item->setToolTip(1, PlainToolTip(ssid));
        if (row.connected) item->setIcon(0, m_ConnectedIcon);
    }
}

void CMainProfile::SetArrow(QToolButton* button, bool up, bool grey) {
    // Drawn once per look; a refresh that changes nothing leaves the button alone.
    if (button->property("grey").isValid() && button->property("grey").toBool() == grey) return;
    QIcon& arrow = m_Arrows[(up ? 2 : 0) + (grey ? 1 : 0)];
    if (arrow.isNull())
        arrow = DrawArrow(
            up, palette().color(grey ? QPalette::Disabled : QPalette::Active, QPalette::ButtonText));
    button->setIcon(arrow);
    button->setProperty("grey", grey);
}

bool CMainProfile::IsArrowGrey(bool up) const {
    return (up ? ui->IDC_1139 : ui->IDC_1138)->property("grey").toBool();
}

void CMainProfile::UpdateArrows() {
    bool upGrey = true;
    bool downGrey = true;
    CProfileMngr* mngr = theApp.m_pProfileMngr;
    if (mngr && mngr->GetCount() > 0) {
        if (auto profile = AutoRowProfile(m_nAutoSel)) {
            auto lock = mngr->Lock();
            downGrey = profile->Priority + 1 >= mngr->GetAutoCount();
            upGrey = profile->Priority - 1 < 0;
        }
    }
    SetArrow(ui->IDC_1139, true, upGrey);
    SetArrow(ui->IDC_1138, false, downGrey);
}

}  // namespace wavory
