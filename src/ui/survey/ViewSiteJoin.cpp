// Available Networks joining a network: Connect on a row (a nameless one asks for the name), the
// key asked for where the settings lack one (and again, naming the cause, when the network refused
// it), the attempt run beside the window, and its "Connecting to …" line with Cancel.
#include <QPointer>
#include <QPushButton>
#include <QTreeWidget>

#include "base/Locks.h"
#include "base/Trace.h"
#include "profiles/ProfileMngr.h"
#include "shell/MainWindow.h"
#include "shell/Tessal.h"
#include "shell/UserJoin.h"
#include "survey/Connect.h"
#include "survey/ConnectAttempt.h"
#include "survey/LinkActions.h"
#include "survey/Station.h"
#include "survey/StationMngr.h"
#include "ui/profiles/EditProfileSec.h"
#include "ui/shell/PlainText.h"
#include "ui/survey/ViewSite.h"
#include "ui_ViewSite.h"

namespace wavory {

void CViewSite::OnConnect() {
    Trace("\nEnter VS Connect Stat");
    if (!TryEnter(CS_MAIN)) return;
    ConnectSelected();
    Leave(CS_MAIN);
    Trace(" - Leave CS_MAIN");
}

void CViewSite::ConnectSelected() {
    const StationPtr station = SelectedStation();
    if (!station || !ui->IDC_1061->isEnabled()) return;
    // A row without a name is a hidden network: its name is asked for, never joined as empty.
    if (station->NetName.empty()) {
        int kind;
        {
            auto lock = theApp.m_pStationMngr->Lock();
            kind = station->SecurityKind();
        }
        ConnectHidden(static_cast<int>(HiddenSecurityOfKind(kind)));
        return;
    }
    // A stored profile for the network lends its keys; the key is asked for only when none fits.
    // A row of the access-point view joins that access point.
    SJoin join = PrepareJoin(station, !m_bNetworkView);
    RecallTyped(join);
    if (JoinNeedsKey(*join.settings) && !AskKey(join, QString())) return;
    StartJoin(join);
}

bool CViewSite::AskKey(SJoin& join, const QString& notice) {
    CProfileMngr* profiles = theApp.m_pProfileMngr;
    // The prompt always says which network it is for (a tray menu's click opens it on its own).
    m_strPromptNotice = !notice.isEmpty() ? notice
                                          : QStringLiteral("Security settings to connect to \u201C%1\u201D:")
                                                .arg(ShownText(join.settings->NetName));
    if (profiles) profiles->SetEditStation(join.settings);
    const int result = RunEditor(EDIT_SECURITY);
    if (profiles) profiles->SetEditStation(nullptr);
    m_strPromptNotice.clear();
    if (result == EDIT_CANCELLED) return false;
    join.keyEntered = true;
    join.keepSecrets = KeepJoinPassword();
    return true;
}

void CViewSite::StartJoin(const SJoin& join) {
    QPointer<CViewSite> self(this);
    RunUserAttempt(CConnectAttempt::ForStation(join), [self](CConnectAttempt& attempt) {
        if (self) {
            self->JoinEnded(attempt);
        } else if (!attempt.Result().ok) {
            theApp.ShowMessage(attempt.Result().failure, EMsgIcon::Warning);
        }
    });
}

void CViewSite::JoinEnded(CConnectAttempt& attempt) {
    const SJoinResult& joined = attempt.Result();
    if (attempt.Kind() == CConnectAttempt::EKind::Station) RememberTyped(attempt.Join(), joined.ok);
    if (joined.ok) {
        if (theApp.m_pProfileMngr && !joined.saved)
            theApp.ShowMessage("Connected, but the profile could not be saved.", EMsgIcon::Warning);
        else if (const std::string note = JoinNoteMessage(attempt.Network(), true, joined.detail); !note.empty())
            theApp.ShowMessage(note, EMsgIcon::Information);
        if (IMainWindow* window = theApp.m_pMainWnd) window->RefreshPages(false, true);
        // Shown as the connected row at once rather than at the next refresh.
        RefreshList();
        return;
    }
    if (attempt.WrongKey() && attempt.Kind() == CConnectAttempt::EKind::Station) {
        // The key is asked for again, saying which network did not take it; the stored profile
        // changes only once a key has worked.
        SJoin join = attempt.Join();
        const std::string line = JoinCauseLine(attempt.Network(), joined.cause, joined.detail,
                                               join.settings->WpaMode, joined.restored);
        if (AskKey(join, QString::fromStdString(line))) StartJoin(join);
        RefreshList();
        return;
    }
    theApp.ShowMessage(joined.failure, EMsgIcon::Warning);
    if (IMainWindow* window = theApp.m_pMainWnd) window->RefreshPages(false, true);
    RefreshList();
}

void CViewSite::ShowJoinProgress(const QString& text) {
    ui->joinStatus->setText(text);
    ui->joinStatus->setVisible(!text.isEmpty());
    ui->joinCancel->setVisible(!text.isEmpty());
    m_bJoinRunning = !text.isEmpty();
    EnableButtons(SelectedStation());
}

}  // namespace wavory
