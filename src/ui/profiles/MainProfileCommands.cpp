// The Profiles page's commands: connect, the editor (a new profile named after its network), the
// changes stored with the user's word on another program's, delete, the order's arrows, export and
// import, and the pop-up menu that offers them.
#include <QLatin1Char>
#include <QMenu>
#include <QStringList>
#include <QTreeWidget>
#include <stdexcept>

#include "base/DisplayText.h"
#include "base/Locks.h"
#include "base/Registry.h"
#include "base/StringTable.h"
#include "profiles/EapProfile.h"
#include "profiles/HotspotProfile.h"
#include "profiles/Profile.h"
#include "profiles/ProfileMngr.h"
#include "profiles/ProfileSections.h"
#include "shell/MainWindow.h"
#include "shell/Tessal.h"
#include "shell/UserJoin.h"
#include "survey/ConnectAttempt.h"
#include "survey/StationMngr.h"
#include "ui/profiles/ControlIds.h"
#include "ui/profiles/EditProfile.h"
#include "ui/profiles/EditProfilePage.h"
#include "ui/monitor/HotspotDlg.h"
#include "ui/profiles/MainProfile.h"
#include "ui/shell/PlainDialogs.h"
#include "ui/shell/PlainText.h"
#include "ui_MainProfile.h"

namespace wavory {

namespace {


QString Tr(int id) { return QString::fromStdString(LoadStringId(id)); }

// A stored field as the editor calls it, for the question about another program's change.
QString FieldLabel(const std::string& field) {
    static const std::pair<const char*, const char*> kLabels[] = {
        {"ProfName", "profile name"},     {"NetName", "network name"},       {"NetMode", "network type"},
        {"PSType", "power saving"},       {"PhyType", "wireless mode"},      {"PhyChnl", "channel"},
        {"PhyFreq", "channel"},           {"SecType", "security"},           {"WpaMode", "security"},
        {"Use802_1", "security"},         {"ActiveSecKey", "WEP key"},       {"WpaPassphrase", "passphrase"},
        {"AutoSelect", "auto-selection"}, {"Priority", "auto-selection order"},
        {"EapMethod", "802.1X method"},   {"EapPhase2", "inner method"},     {"EapIdentity", "identity"},
        {"EapAnonIdentity", "anonymous identity"}, {"EapCaCert", "CA certificate"},
        {"EapSystemCa", "CA certificate"}, {"EapDomain", "server name"},     {"EapNoCaCheck", "server check"},
        {"EapClientCert", "client certificate"}, {"EapPrivateKey", "private key"},
        {"EapKeyPassword", "key password"}, {"EapPassword", "password"}};
    for (const auto& [name, label] : kLabels)
        if (field == name) return QString::fromLatin1(label);
    if (field.rfind("Sec Key", 0) == 0) return QStringLiteral("WEP key");
    return QStringLiteral("advanced settings");  // fragmentation, RTS, preamble, power, rate
}

}  // namespace

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
    const QString typed = PlainTextPrompt(
        this, password ? tr("Network Password") : tr("Private Key Password"),
        (password ? tr("Password for %1 on \"%2\":") : tr("Password of the private key of %1 on \"%2\":"))
            .arg(QString::fromStdString(DisplayText(identity)), QString::fromStdString(DisplayText(network))),
        QLineEdit::Password, &ok);
    if (!ok || typed.isEmpty()) return false;
    (password ? secrets.eapPassword : secrets.eapKeyPassword) = typed.toStdString();
    return true;
}

void CMainProfile::ConnectSelected() {
    const QList<QTreeWidgetItem*> autoSelected = ui->IDC_1077->selectedItems();
    if (!autoSelected.isEmpty()) m_nAutoSel = ui->IDC_1077->indexOfTopLevelItem(autoSelected.first());
    std::string name;
    std::shared_ptr<CProfile> profile = SelectedProfile(&name);
    if (profile && IsHotspotProfile(*profile)) {
        // The user's own hotspot is started, in the dialog that shows who joins it.
        CHotspotDlg::OpenProfile(this, name, true);
        return;
    }
    if (!profile || !theApp.m_pProfileMngr || !theApp.m_pStationMngr || !UserAttemptNetwork().empty()) return;
    // An 802.1X secret the profile does not keep is asked for this join only.
    CConnectAttempt::SJoinSecrets secrets;
    if (!AskEapSecret(*profile, secrets)) return;
    // The adapter joins meanwhile; the window's tick reports the end.
    RunUserAttempt(CConnectAttempt::ForProfile(profile, secrets), [](CConnectAttempt& attempt) {
        const std::string note = JoinNoteMessage(attempt.Network(), attempt.Result().ok, attempt.Result().detail);
        if (!note.empty()) theApp.ShowMessage(note, EMsgIcon::Information);
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
            for (const std::string& field : conflict.fields)
                if (!fields.contains(FieldLabel(field))) fields << FieldLabel(field);
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
        case PROFILE_OP_NEW: {
            {
                // What a user adds is nearly always an access point's network, to be joined when in
                // range: a new profile starts as infrastructure and in the auto-selection order.
                auto lock = mngr->Lock();
                g_strEditProfile = mngr->AddProfile();
                if (auto added = mngr->GetProfile(g_strEditProfile)) {
                    added->NetMode = true;
                    added->AutoSelect = true;
                }
            }
            if (!RunEditor(title, true)) return;
            follow = g_strEditProfile;
            break;
        }
        case PROFILE_OP_EDIT:
            // A hotspot profile's settings are the hotspot dialog's.
            if (IsHotspotProfile(*selected)) {
                CHotspotDlg::OpenProfile(this, name, false);
                RefreshLists(0, name);
                return;
            }
            g_strEditProfile = name;
            title += QStringLiteral(": ") + ShownText(name);
            if (!RunEditor(title, false)) return;
            follow = g_strEditProfile;
            break;
        case PROFILE_OP_DUPLICATE: {
            if (IsHotspotProfile(*selected)) {
                theApp.ShowMessage("\"" + DisplayText(name) +
                                       "\" is a hotspot profile: open it with Edit and keep a copy with "
                                       "\"Save as Profile\" under another name.",
                                   EMsgIcon::Information);
                return;
            }
            {
                auto lock = mngr->Lock();
                g_strEditProfile = mngr->AddProfile(selected.get());
            }
            if (!RunEditor(title, true)) return;
            follow = g_strEditProfile;
            break;
        }
        case PROFILE_OP_TOGGLE_AUTO: {
            if (IsHotspotProfile(*selected) && !selected->AutoSelect) {
                theApp.ShowMessage("\"" + DisplayText(name) +
                                       "\" is a hotspot profile: the automatic selection joins networks, it "
                                       "starts no hotspot.",
                                   EMsgIcon::Information);
                return;
            }
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
    std::string name;
    if (!lock.Owned() || !SelectedProfile(&name)) return;
    // The question names the profile on a line of its own.
    if (s_fnAskYesNo(this, Tr(IDS_DELETE_PROFILE) + QLatin1Char('\n') + ShownText(name)))
        DoProfileOp(PROFILE_OP_DELETE);
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
    // One join at a time: while one runs, the Cancel beside "Connecting to …" is the way to another.
    menu->actions().back()->setEnabled(UserAttemptNetwork().empty());
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
