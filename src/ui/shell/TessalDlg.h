// The main window: a tabbed sheet with the pages General, Profiles, CurrentStatistics and About,
// the Preferences, View Site and Close buttons, the notification-area icon and the Available
// Networks dialog it owns. It drives the main tick from a timer of the interface thread and hides
// into the notification area when minimised (where there is one).
#pragma once

#include <QDialog>
#include <QSystemTrayIcon>
#include <QTimer>
#include <memory>

#include "shell/MainWindow.h"
#include "shell/SysTray.h"

namespace Ui {
class CTessalDlg;
}

class QMenu;

namespace wavory {

class CBoundPage;
class CHistoryDlg;
class CMainAbout;
class CMainGen;
class CMainProfile;
class CMainStats;
class CTrayBackend;
class CTrayMenu;
class CViewSite;

class CTessalDlg : public QDialog, public IMainWindow {
    Q_OBJECT
public:
    enum EControl : int { IDC_CLOSE = 2, IDC_PREFERENCES = 1017, IDC_VIEW_SITE = 1018 };
    enum EPage : int { PAGE_GENERAL = 0, PAGE_PROFILES = 1, PAGE_STATISTICS = 2, PAGE_ABOUT = 3 };
    // The main tick's period: as often as the polling thread can ask for a refresh (once a second).
    // Each tick re-reads the shown page, so a faster tick only repaints counters more often.
    static constexpr int kTickMs = 1000;
    // How often a running connection attempt is looked at between ticks.
    static constexpr int kJoinLookMs = 100;
    // The interface thread waits this long at most for an adapter another program holds; once it
    // was found held, its requests fail at once until the adapter is free again.
    static constexpr int kBusyWaitMs = 100;

    explicit CTessalDlg(QWidget* parent = nullptr);
    ~CTessalDlg() override;

    // Start minimised instead of shown (set before Run).
    void SetStartMinimized(bool minimized) { m_bStartMinimized = minimized; }
    // Start hidden in the notification area (set before Run). Where there is none the window starts
    // minimised on the task bar, and hides into the notification area if one appears soon after
    // (a desktop starts its panel and its autostart programs at the same time).
    void SetStartInTray(bool inTray) { m_bStartInTray = inTray; }
    // How long, and how often, a tray start looks for a late notification area.
    static constexpr int kTrayWaitMs = 30000;
    static constexpr int kTrayRetryMs = 1000;

    // IMainWindow: shows the window and runs until it is closed; then the window's part of shutdown.
    int Run() override;
    void RefreshPages(bool graph, bool full) override;
    bool IsSiteVisible() override;
    void RefreshSiteList() override;
    // May run on the polling thread: only the tray record changes here.
    void SetTrayTip(const std::string& tip) override;
    // "Connecting to <network>…" below the pages and in Available Networks while an attempt runs;
    // the attempt is then looked at more often than the tick does.
    void JoinProgress(const std::string& network) override;

    // The two ends of the window's life that Run brackets: set-up before the window is shown, and
    // the work when it closes (stop the graph feed, remove the tray icon).
    void OnInitDialog();
    void OnDestroy();

    void OnPreferences();
    void OnViewSite();
    // The connection history, a window of its own (one; built on first use, kept when closed).
    void OnHistory();
    CHistoryDlg* History() const { return m_history; }
    // Brings the window back from the notification area (with Available Networks if it was shown).
    void RestoreFromTray();

    int ActivePage() const;
    void SetActivePage(int page);
    QWidget* Page(int page) const;
    // Available Networks, built on first use.
    CViewSite* Site();
    // The "Connecting to …" line; empty while no attempt runs.
    QString JoinStatusText() const;
    // Main ticks run by the window's timer so far.
    int TickCount() const { return m_nTicks; }
    // Hidden or minimised while the polling thread runs: the window's timer runs the polling
    // thread's ticks too, and the pages are refreshed once they show again.
    bool IsIdleHidden() const { return m_bIdleHidden; }
    CTrayBackend* TrayBackend() const { return m_pTrayBackend; }
    CTrayMenu* TrayState() const { return m_pTrayState; }
    QMenu* TrayMenu() const { return m_pTrayMenu; }
    // Ends the utility whatever the keep-in-tray preference says (the tray menu's Close).
    void Quit();
    // A termination signal (logout, systemctl stop, Ctrl+C): the open dialogs are cancelled from
    // the innermost out, then the utility ends as Quit ends it, even when Close would only hide
    // the window into the notification area.
    void QuitForSignal();
    // Close: ends the utility, or with the keep-in-tray preference hides the window into the tray.
    void reject() override;
    clsSysTray& Tray() { return m_tray; }
    bool SiteWasVisible() const { return m_bSiteWasVisible; }

protected:
    void changeEvent(QEvent* event) override;
    // Escape is a dialog's Cancel; on the main window it would end the utility unasked: it only
    // minimises the window (into the notification area where there is one).
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    // Follows the window's visibility: idle while it cannot be seen.
    void UpdateIdleMode();
    void OnPageChanged(int index);
    void OnTrayActivated(QSystemTrayIcon::ActivationReason reason);
    CBoundPage* BoundPage(int page) const;
    void RetryTrayStart();

    std::unique_ptr<Ui::CTessalDlg> ui;
    CTrayBackend* m_pTrayBackend;
    QMenu* m_pTrayMenu;
    CTrayMenu* m_pTrayState = nullptr;
    bool m_bQuitting = false;
    clsSysTray m_tray;
    CViewSite* m_site = nullptr;
    CHistoryDlg* m_history = nullptr;
    CMainStats* m_stats;
    bool m_bSiteWasVisible = false;
    CMainAbout* m_about;
    CMainGen* m_gen;
    CMainProfile* m_profile;
    QTimer m_MainTimer;
    QTimer m_JoinTimer;
    int m_nBusyWaitBefore = -1;
    int m_nTicks = 0;
    int m_nActivePage = -1;
    bool m_bStartMinimized = false;
    bool m_bStartInTray = false;
    QTimer m_TrayRetry;
    int m_nTrayRetries = 0;
    bool m_bStarting = false;
    bool m_bShownOnce = false;
    bool m_bIdleHidden = false;
    // A replot of the graph asked for while idle, done when the window shows again.
    bool m_bGraphPending = false;
};

}  // namespace wavory
