#include "ui/profiles/MainProfile.h"

#include <algorithm>

#include "ui_MainProfile.h"

#include <QKeyEvent>

#include <QApplication>
#include <QCheckBox>
#include <QEvent>
#include <QFileDialog>
#include <QGridLayout>
#include <QInputDialog>
#include <QMenu>
#include <QMessageBox>
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
#include "ui/shell/PlainText.h"
#include "ui/survey/SiteIcons.h"
#include "ui/survey/SiteRows.h"

namespace wavory {

namespace {

constexpr int kIconSize = 16;
constexpr int kNameRole = Qt::UserRole;

QString Tr(int id) { return QString::fromStdString(LoadStringId(id)); }

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
    return QMessageBox::question(parent, QString::fromLatin1(CTessalApp::kAppName), text,
                                 QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes;
}

}  // namespace

CMainProfile::FileDialogHook CMainProfile::s_fnAskFile = AskProfileFile;
CMainProfile::QuestionHook CMainProfile::s_fnAskYesNo = AskYesNo;

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
    connect(ui->IDC_32779, &QPushButton::clicked, this, [this] { ProfileFileOp(FILE_OP_EXPORT); });
    connect(ui->IDC_32780, &QPushButton::clicked, this, [this] { ProfileFileOp(FILE_OP_IMPORT); });
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
        row.connected = currentSsid ? *currentSsid == profile.NetName
                                    : adHoc && connected && connected->ProfName == profile.ProfName;
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
    for (const auto& profile : profiles)
        if (!profile->AutoSelect) add(*profile);
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

// ---- Commands ----

bool CMainProfile::AskEapSecret(const CProfile& profile, CConnectAttempt::SJoinSecrets& secrets) {
    std::string network, identity;
    EEapSecret missing;
    {
        auto lock = LockProfiles();
        missing = EapMissingSecret(profile);
        network = profile.NetName;
        identity = profile.EapIdentity;
    }
    if (missing == EEapSecret::None) return true;
    const bool password = missing == EEapSecret::Password;
    bool ok = false;
    // The network's name and the identity are outside text: shown as data.
    const QString typed = QInputDialog::getText(
        this, password ? tr("Network Password") : tr("Private Key Password"),
        (password ? tr("Password for %1 on \"%2\":") : tr("Password of the private key of %1 on \"%2\":"))
            .arg(QString::fromStdString(DisplayText(identity)), QString::fromStdString(DisplayText(network))),
        QLineEdit::Password, QString(), &ok);
    if (!ok || typed.isEmpty()) return false;
    (password ? secrets.eapPassword : secrets.eapKeyPassword) = typed.toStdString();
    return true;
}

void CMainProfile::ConnectSelected() {
    const QList<QTreeWidgetItem*> autoSelected = ui->IDC_1077->selectedItems();
    if (!autoSelected.isEmpty()) m_nAutoSel = ui->IDC_1077->indexOfTopLevelItem(autoSelected.first());
    std::shared_ptr<CProfile> profile = SelectedProfile();
    if (!profile || !theApp.m_pProfileMngr || !theApp.m_pStationMngr) return;
    // An 802.1X secret the profile does not keep is asked for this join only.
    CConnectAttempt::SJoinSecrets secrets;
    if (!AskEapSecret(*profile, secrets)) return;
    // The adapter joins meanwhile; the window's tick reports the end.
    RunUserAttempt(CConnectAttempt::ForProfile(profile, secrets), [](CConnectAttempt& attempt) {
        if (attempt.Result().ok) return;
        theApp.ShowMessage(attempt.Result().failure, EMsgIcon::Warning);
        if (IMainWindow* window = theApp.m_pMainWnd) window->RefreshPages(false, true);
    });
}

bool CMainProfile::RunEditor(const QString& title, bool isNew) {
    CProfileMngr* mngr = theApp.m_pProfileMngr;
    if (!mngr->GetProfile(g_strEditProfile)) return false;
    CEditProfile sheet(title, this, 0);
    // OK and Apply store the profile; when the store refuses, the editor stays open with the
    // user's values.
    sheet.SetCommit([this] { return CommitEdit(); });
    m_pSheet = &sheet;
    const int result = sheet.exec();
    m_pSheet = nullptr;
    if (isNew && result != QDialog::Accepted) {
        // A profile created for the editor and not confirmed leaves nothing behind.
        mngr->RemoveProfile(g_strEditProfile, true, true);
    }
    return true;
}

bool CMainProfile::CommitEdit() {
    CProfileMngr* mngr = theApp.m_pProfileMngr;
    std::shared_ptr<CProfile> profile = mngr ? mngr->GetProfile(g_strEditProfile) : nullptr;
    if (!profile) return true;
    {
        // The auto-selection order follows the change of membership, against what is stored.
        auto lock = mngr->Lock();
        CProfile stored("", false);
        if (profile->IsStored()) SetValues(stored, profile->Stored());
        const bool wasMember = profile->IsStored() && stored.AutoSelect;
        if (wasMember && !profile->AutoSelect) {
            if (stored.Priority >= 0) mngr->UpdatePriorities(stored.Priority);
            profile->Priority = -1;
        } else if (!wasMember && profile->AutoSelect && profile->Priority < 0) {
            profile->Priority = mngr->UpdatePriorities(-1);
        }
    }
    CProfileMngr::SStoreResult stored = mngr->StoreChanges();
    if (stored.error == CProfileMngr::kConflict && !stored.conflicts.empty()) {
        const CProfileMngr::SConflict& conflict = stored.conflicts.front();
        const QString name = ShownText(conflict.name);
        QString question;
        if (conflict.removed) {
            question = QStringLiteral(
                           "Another program deleted the profile \"%1\" while you edited it.\n\n"
                           "Store your profile again?")
                           .arg(name);
        } else {
            QStringList fields;
            for (const std::string& field : conflict.fields) fields << QString::fromStdString(field);
            question = QStringLiteral(
                           "Another program changed the profile \"%1\" while you edited it, in the "
                           "same settings as you (%2).\n\nKeep your values? No keeps the other "
                           "program's; your other changes are stored either way.")
                           .arg(name, fields.join(QStringLiteral(", ")));
        }
        const bool mine = s_fnAskYesNo(this, question);
        stored = mngr->StoreChanges(mine ? CProfileMngr::EOnConflict::KeepMine
                                         : CProfileMngr::EOnConflict::TakeTheirs);
    }
    if (stored.Ok()) {
        // A new profile that kept its automatic name may have been given another, free one.
        g_strEditProfile = profile->ProfName;
        return true;
    }
    // Nothing was stored: the profile (and the order) show what is stored; the editor keeps the
    // user's values for another try.
    mngr->DiscardChanges();
    g_strEditProfile = profile->ProfName;
    if (stored.error == REG_ERROR_FILE_EXISTS)
        theApp.ShowMessage("A profile named \"" + stored.clash + "\" already exists; choose another name.",
                           EMsgIcon::Warning);
    else
        theApp.ShowMessage(StoreFailureText(stored.error), EMsgIcon::Warning);
    return false;
}

bool CMainProfile::StoreChanges() {
    CProfileMngr* mngr = theApp.m_pProfileMngr;
    const CProfileMngr::SStoreResult stored = mngr->StoreChanges();
    if (stored.Ok()) return true;
    mngr->DiscardChanges();
    if (stored.error == CProfileMngr::kConflict) {
        // Another program changed the order (or removed a profile) since the list was shown.
        mngr->Reload();
        theApp.ShowMessage(
            "Another program changed the profiles meanwhile; the list now shows them. Try again.",
            EMsgIcon::Information);
    } else {
        theApp.ShowMessage(StoreFailureText(stored.error), EMsgIcon::Warning);
    }
    return false;
}

void CMainProfile::DoProfileOp(int op) {
    CProfileMngr* mngr = theApp.m_pProfileMngr;
    if (!mngr) return;
    std::string name;
    std::shared_ptr<CProfile> selected;
    if (op != PROFILE_OP_NEW) {
        selected = SelectedProfile(&name);
        if (!selected) return;
    }
    QString title = Tr(IDS_PROFILE_CONFIGURATION);
    std::string follow;

    switch (op) {
        case PROFILE_OP_NEW:
            g_strEditProfile = mngr->AddProfile();
            if (!RunEditor(title, true)) return;
            follow = g_strEditProfile;
            break;
        case PROFILE_OP_EDIT:
            g_strEditProfile = name;
            title += QStringLiteral(": ") + ShownText(name);
            if (!RunEditor(title, false)) return;
            follow = g_strEditProfile;
            break;
        case PROFILE_OP_DUPLICATE: {
            {
                auto lock = mngr->Lock();
                g_strEditProfile = mngr->AddProfile(selected.get());
            }
            if (!RunEditor(title, true)) return;
            follow = g_strEditProfile;
            break;
        }
        case PROFILE_OP_TOGGLE_AUTO: {
            auto lock = mngr->Lock();
            selected->AutoSelect = !selected->AutoSelect;
            if (!selected->AutoSelect) {
                if (selected->Priority >= 0) mngr->UpdatePriorities(selected->Priority);
                selected->Priority = -1;
            } else {
                selected->Priority = mngr->UpdatePriorities(-1);
            }
            follow = name;
            break;
        }
        case PROFILE_OP_DELETE:
            mngr->RemoveProfile(name, true, true);  // tells the user when the store refused
            break;
        default:
            return;
    }
    if (op == PROFILE_OP_TOGGLE_AUTO) StoreChanges();
    RefreshLists(0, follow);
}

void CMainProfile::OnDelete() {
    const CLockGuard lock(CS_MAIN);
    if (!lock.Owned() || !SelectedProfile()) return;
    if (s_fnAskYesNo(this, Tr(IDS_DELETE_PROFILE))) DoProfileOp(PROFILE_OP_DELETE);
}

void CMainProfile::Move(int step) {
    CProfileMngr* mngr = theApp.m_pProfileMngr;
    const QList<QTreeWidgetItem*> selected = ui->IDC_1077->selectedItems();
    if (!mngr || selected.isEmpty()) return;
    auto profile = mngr->GetProfile(selected.first()->data(0, kNameRole).toByteArray().toStdString());
    if (!profile) return;
    {
        auto lock = mngr->Lock();
        const int priority = profile->Priority;
        if (priority < 0 || priority + step < 0 || priority + step >= mngr->GetAutoCount()) return;
        auto other = mngr->FindByPriority(priority + step);
        if (!other) return;
        profile->Priority = priority + step;
        other->Priority = priority;
    }
    StoreChanges();
    // The moved profile stays selected, so repeated clicks keep moving it.
    RefreshLists(0, profile->ProfName);
}

void CMainProfile::MoveUp() { Move(-1); }

void CMainProfile::MoveDown() { Move(+1); }

void CMainProfile::ProfileFileOp(int op) {
    CProfileMngr* mngr = theApp.m_pProfileMngr;
    if (!mngr) return;
    // Only the export of one profile needs a selection: an import or an export of all works also
    // on an empty list.
    std::optional<std::string> name;
    if (op == FILE_OP_EXPORT) {
        std::string selectedName;
        if (!SelectedProfile(&selectedName)) return;
        name = selectedName;
    }
    const bool save = op != FILE_OP_IMPORT;
    bool withSecrets = true;
    QString path = s_fnAskFile(this, save, Tr(IDS_PROFILE_CONFIGURATION), QString::fromLatin1(kFileFilter),
                               &withSecrets);
    if (!path.isEmpty()) {
        // The dialog confirmed replacing the file it showed; a name extended here was not shown.
        bool overwrite = true;
        if (save && !path.endsWith(QStringLiteral(".reg"), Qt::CaseInsensitive)) {
            path += QStringLiteral(".reg");
            overwrite = false;
        }
        const std::string file = path.toStdString();
        try {
            switch (op) {
                case FILE_OP_EXPORT:
                    mngr->RegistryOp(CProfileMngr::REG_OP_EXPORT_ONE, file, name, overwrite, withSecrets);
                    break;
                case FILE_OP_IMPORT:
                    // Stored as it is made, so the imported profiles survive an abnormal end.
                    mngr->RegistryOp(CProfileMngr::REG_OP_IMPORT, file, std::nullopt);
                    break;
                case FILE_OP_EXPORT_ALL:
                    mngr->RegistryOp(CProfileMngr::REG_OP_EXPORT_ALL, file, std::nullopt, overwrite,
                                     withSecrets);
                    break;
                default:
                    break;
            }
        } catch (const std::exception& error) {
            theApp.ShowMessage(error.what(), EMsgIcon::Error);
        }
    }
    RefreshLists(0);
}

// ---- Pop-up menu ----

std::unique_ptr<QMenu> CMainProfile::CreateContextMenu() {
    std::shared_ptr<CProfile> profile = SelectedProfile();
    CProfileMngr* mngr = theApp.m_pProfileMngr;
    if (!profile || !mngr) return nullptr;
    bool member = false;
    {
        auto lock = mngr->Lock();
        member = profile->AutoSelect;
    }
    auto menu = std::make_unique<QMenu>();
    auto add = [this, &menu](int id, const QString& text, auto handler) {
        QAction* action = menu->addAction(text);
        action->setObjectName(ControlName(id));
        connect(action, &QAction::triggered, this, handler);
    };
    add(ID_PROFILE_ADD, QStringLiteral("&Add"), [this] { DoProfileOp(PROFILE_OP_NEW); });
    add(ID_PROFILE_EDIT, QStringLiteral("&Edit"), [this] { DoProfileOp(PROFILE_OP_EDIT); });
    add(ID_PROFILE_DUPLICATE, QStringLiteral("Du&plicate"), [this] { DoProfileOp(PROFILE_OP_DUPLICATE); });
    add(ID_PROFILE_DELETE, QStringLiteral("&Delete"), [this] { OnDelete(); });
    menu->addSeparator();
    add(ID_PROFILE_CONNECT, QStringLiteral("&Connect"), [this] { ConnectSelected(); });
    if (member)
        add(ID_AUTO_REMOVE, QStringLiteral("Remove from Au&to-Selection"),
            [this] { DoProfileOp(PROFILE_OP_TOGGLE_AUTO); });
    else
        add(ID_AUTO_ADD, Tr(IDS_ADD_TO_AUTO_SELECTION), [this] { DoProfileOp(PROFILE_OP_TOGGLE_AUTO); });
    menu->addSeparator();
    add(ID_PROFILE_EXPORT, QStringLiteral("E&xport Profile..."), [this] { ProfileFileOp(FILE_OP_EXPORT); });
    add(ID_PROFILE_EXPORT_ALL, QStringLiteral("Export A&ll Profiles..."),
        [this] { ProfileFileOp(FILE_OP_EXPORT_ALL); });
    add(ID_PROFILE_IMPORT, QStringLiteral("&Import Profiles..."), [this] { ProfileFileOp(FILE_OP_IMPORT); });
    return menu;
}

void CMainProfile::ShowContextMenu(QTreeWidget* list, const QPoint& pos) {
    SetActiveList(list);
    if (std::unique_ptr<QMenu> menu = CreateContextMenu()) menu->exec(list->viewport()->mapToGlobal(pos));
}

}  // namespace wavory
