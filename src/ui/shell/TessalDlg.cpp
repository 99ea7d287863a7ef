#include "ui/shell/TessalDlg.h"

#include "ui_TessalDlg.h"

#include <QApplication>
#include <QEvent>
#include <QEventLoop>
#include <QKeyEvent>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QShortcut>
#include <QTabWidget>

#include "base/Locks.h"
#include "base/Trace.h"
#include "kccl_adapters.h"
#include "monitor/Poll.h"
#include "shell/Tessal.h"
#include "shell/UserJoin.h"
#include "survey/LinkActions.h"
#include "survey/StationMngr.h"
#include "ui/monitor/HistoryDlg.h"
#include "ui/monitor/MainAbout.h"
#include "ui/monitor/MainGen.h"
#include "ui/monitor/MainStats.h"
#include "ui/monitor/Prefs.h"
#include "ui/profiles/MainProfile.h"
#include "ui/res/Resources.h"
#include "ui/shell/JoinCancel.h"
#include "ui/shell/PlainText.h"
#include "ui/shell/TrayBackend.h"
#include "ui/shell/TrayMenu.h"
#include "ui/survey/ViewSite.h"

namespace wavory {

namespace {

// A page in a scroll area of its own: the window then fits a small screen (a large scale on a
// laptop), and where the page has room it shows without scroll bars at its own size.
class CPageScroll : public QScrollArea {
public:
    explicit CPageScroll(QWidget* page) {
        setWidget(page);
        setWidgetResizable(true);
        setFrameShape(QFrame::NoFrame);
    }
    QSize sizeHint() const override { return widget()->sizeHint(); }
    QSize minimumSizeHint() const override {
        // Room for a few lines; the rest scrolls.
        const int line = fontMetrics().height();
        return QSize(line * 12, line * 6);
    }
};

}  // namespace

CTessalDlg::CTessalDlg(QWidget* parent)
    : QDialog(parent),
      ui(std::make_unique<Ui::CTessalDlg>()),
      m_pTrayBackend(new CTrayBackend(this)),
      m_pTrayMenu(new QMenu(this)),
      m_tray(m_pTrayBackend) {
    InitResources();
    ui->setupUi(this);
    setWindowTitle(QString::fromLatin1(CTessalApp::kAppName));
    setWindowIcon(AppIcon());
    // A main window, not a dialog box: minimise button and window menu.
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);

    // Available Networks is built when it is first opened (the statistics page makes its charts
    // on its first visit); the pages are, so that the window has its full size from the start.
    m_stats = new CMainStats;
    m_about = new CMainAbout;
    m_gen = new CMainGen;
    connect(m_gen, &CMainGen::HistoryRequested, this, &CTessalDlg::OnHistory);
    m_profile = new CMainProfile;
    ui->tabSheet->addTab(new CPageScroll(m_gen), QStringLiteral("&General"));
    ui->tabSheet->addTab(new CPageScroll(m_profile), QStringLiteral("Pro&files"));
    ui->tabSheet->addTab(new CPageScroll(m_stats), QStringLiteral("Current&Statistics"));
    // Ctrl+Tab turns the pages wherever the focus is, the buttons below them included.
    for (const auto& [keys, step] : {std::pair{QKeySequence(Qt::CTRL | Qt::Key_Tab), 1},
                                     std::pair{QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab), -1},
                                     std::pair{QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Tab), -1}}) {
        auto* shortcut = new QShortcut(keys, this);
        connect(shortcut, &QShortcut::activated, this, [this, step = step] {
            const int count = ui->tabSheet->count();
            ui->tabSheet->setCurrentIndex((ui->tabSheet->currentIndex() + step + count) % count);
        });
    }
    ui->tabSheet->addTab(new CPageScroll(m_about), QStringLiteral("&About"));

    connect(ui->tabSheet, &QTabWidget::currentChanged, this, &CTessalDlg::OnPageChanged);
    connect(ui->IDC_1017, &QPushButton::clicked, this, &CTessalDlg::OnPreferences);
    connect(ui->IDC_1018, &QPushButton::clicked, this, &CTessalDlg::OnViewSite);
    connect(ui->IDC_2, &QPushButton::clicked, this, &CTessalDlg::reject);

    // The networks, Disconnect and a hidden network first; then the window's own entries.
    m_pTrayState = new CTrayMenu(m_pTrayBackend, m_pTrayMenu, [this] { return Site(); }, this);
    m_pTrayMenu->addAction(QStringLiteral("&Restore"), this, &CTessalDlg::RestoreFromTray);
    m_pTrayMenu->addAction(QStringLiteral("&View Site"), this, &CTessalDlg::OnViewSite);
    m_pTrayMenu->addAction(QStringLiteral("&History\u2026"), this, &CTessalDlg::OnHistory);
    m_pTrayMenu->addSeparator();
    m_pTrayMenu->addAction(QStringLiteral("&Close"), this, &CTessalDlg::Quit);
    m_pTrayBackend->SetContextMenu(m_pTrayMenu);
    m_pTrayBackend->SetWindowIcon(windowIcon());
    connect(m_pTrayBackend, &CTrayBackend::Activated, this, &CTessalDlg::OnTrayActivated);

    m_TrayRetry.setInterval(kTrayRetryMs);
    connect(&m_TrayRetry, &QTimer::timeout, this, &CTessalDlg::RetryTrayStart);

    m_MainTimer.setInterval(kTickMs);
    connect(&m_MainTimer, &QTimer::timeout, this, [this] {
        ++m_nTicks;
        // Hidden, the polling thread sleeps and its sample is taken here: one wake-up a second.
        if (m_bIdleHidden && theApp.m_pPoll) theApp.m_pPoll->DrivenTick();
        theApp.OnMainTick();
        m_pTrayState->Update();
        // The history follows what the polling thread recorded; hidden, it does nothing.
        if (m_history) m_history->OnTick();
    });
    ui->joinStatus->setTextFormat(Qt::PlainText);
    ui->joinStatus->hide();
    ui->joinCancel->hide();
    connect(ui->joinCancel, &QPushButton::clicked, this, [] { CancelJoinFromWindow(); });
    m_JoinTimer.setInterval(kJoinLookMs);
    connect(&m_JoinTimer, &QTimer::timeout, this, [] {
        if (!TryEnter(CS_MAIN)) return;
        AdvanceUserAttempt();
        Leave(CS_MAIN);
    });
    // The window never waits seconds for an adapter that another program holds.
    m_nBusyWaitBefore = kccl_set_busy_wait(kBusyWaitMs);
}

CTessalDlg::~CTessalDlg() { kccl_set_busy_wait(m_nBusyWaitBefore); }

void CTessalDlg::JoinProgress(const std::string& network) {
    const bool running = !network.empty();
    const QString text =
        running ? QStringLiteral("Connecting to %1\u2026").arg(ShownText(network)) : QString();
    ui->joinStatus->setText(text);
    ui->joinStatus->setVisible(running);
    ui->joinCancel->setVisible(running);
    if (m_site) m_site->ShowJoinProgress(text);
    // The pages and the tray say it too (General's status, the tray's icon and Disconnect): at
    // once, since the end of a join may be followed by a prompt (its key asked again).
    RefreshPages(false, true);
    m_pTrayState->Update();
    if (running)
        m_JoinTimer.start();
    else
        m_JoinTimer.stop();
}

QString CTessalDlg::JoinStatusText() const {
    return ui->joinStatus->isHidden() ? QString() : ui->joinStatus->text();
}

int CTessalDlg::Run() {
    OnInitDialog();
    QEventLoop loop;
    connect(this, &QDialog::finished, &loop, &QEventLoop::quit);
    m_MainTimer.start();
    m_bStarting = true;  // a minimised start stays on the task bar
    if (m_bStartInTray && m_tray.IsAdded()) {
        // Only the icon shows; it brings the window back.
    } else if (m_bStartMinimized || m_bStartInTray) {
        showMinimized();
        if (m_bStartInTray) m_TrayRetry.start();
    } else {
        show();
    }
    m_bStarting = false;
    UpdateIdleMode();
    loop.exec();
    m_MainTimer.stop();
    m_TrayRetry.stop();
    UpdateIdleMode();  // the polling thread goes on alone until shutdown stops it
    OnDestroy();
    return result();
}

void CTessalDlg::OnInitDialog() {
    // A simulated adapter is said in the title, so that nobody takes its networks for real ones.
    const std::string simulated = SimulatedAdapterNotice();
    setWindowTitle(simulated.empty() ? QString::fromLatin1(CTessalApp::kAppName)
                                     : QStringLiteral("%1 \u2014 %2")
                                           .arg(QString::fromLatin1(CTessalApp::kAppName),
                                                QString::fromStdString(simulated)));
    // The scan result list as the adapter has it now, so that the first page shows the network
    // the adapter is already joined to rather than waiting for the first refresh request.
    if (CStationMngr* stations = theApp.m_pStationMngr) stations->MergeScan();
    m_nActivePage = -1;
    OnPageChanged(ui->tabSheet->currentIndex());
    RefreshPages(false, true);
    m_bSiteWasVisible = false;
    m_tray.SetOwner(this);
    m_tray.SetTip(theApp.GetTrayTip());  // empty unless a connection was seen before the window existed
    m_tray.Add();
    m_tray.SetIcon(CTrayBackend::kWindowIcon);
    m_pTrayState->Update();
}

void CTessalDlg::Quit() {
    m_bQuitting = true;
    reject();
    m_bQuitting = false;
}

void CTessalDlg::QuitForSignal() {
    while (QWidget* modal = QApplication::activeModalWidget()) {
        auto* dialog = qobject_cast<QDialog*>(modal);
        if (!dialog || dialog == this) break;
        dialog->reject();
    }
    // A message box or question may still be running its own loop: the window ends once it has
    // returned, through the same queued call.
    Quit();
}

void CTessalDlg::reject() {
    // With the preference, closing the window leaves the utility running in the notification area;
    // the tray menu's Close ends it.
    if (!m_bQuitting && m_tray.IsAdded() && theApp.GetProfileInt("", CPrefs::kKeepInTrayPref, 0) != 0) {
        m_bSiteWasVisible = false;
        if (m_site) m_site->hide();
        hide();
        return;
    }
    QDialog::reject();
}

void CTessalDlg::RetryTrayStart() {
    // The user has taken the window up meanwhile, or the wait is over: it stays where it is.
    if (!isMinimized() || ++m_nTrayRetries > kTrayWaitMs / kTrayRetryMs) {
        m_TrayRetry.stop();
        return;
    }
    if (!m_tray.Add()) return;
    m_TrayRetry.stop();
    hide();
}

void CTessalDlg::OnDestroy() {
    if (TryEnter(CS_MAIN)) {
        theApp.m_nStatIndex = -1;  // no more graph points
        Leave(CS_MAIN);
    }
    CMainStats::SetGraphTarget(nullptr, false);
    m_JoinTimer.stop();
    m_tray.Delete();
    if (m_site) m_site->hide();
    hide();
}

void CTessalDlg::RefreshPages(bool graph, bool full) {
    if (m_bIdleHidden) {
        // Nobody sees the pages: they are brought up to date when the window shows again.
        m_bGraphPending |= graph;
        return;
    }
    const int active = ActivePage();
    if (active == PAGE_GENERAL)
        m_gen->Refresh();
    else if (active == PAGE_STATISTICS)
        m_stats->OnTick();
    if (graph) m_stats->RedrawGraph(false);
    if (full) {
        m_profile->Refresh();
        if (active == PAGE_ABOUT) m_about->Refresh();
    }
}

bool CTessalDlg::IsSiteVisible() { return m_site && m_site->isVisible(); }

void CTessalDlg::RefreshSiteList() {
    if (m_site) m_site->RefreshList();
}

CViewSite* CTessalDlg::Site() {
    if (!m_site) {
        m_site = new CViewSite(this);
        m_site->ShowJoinProgress(JoinStatusText());
    }
    return m_site;
}

void CTessalDlg::SetTrayTip(const std::string& tip) { m_tray.SetTip(tip); }

int CTessalDlg::ActivePage() const { return ui->tabSheet->currentIndex(); }

void CTessalDlg::SetActivePage(int page) { ui->tabSheet->setCurrentIndex(page); }

QWidget* CTessalDlg::Page(int page) const {
    QWidget* tab = ui->tabSheet->widget(page);
    auto* scroll = qobject_cast<QScrollArea*>(tab);
    return scroll ? scroll->widget() : tab;
}

CBoundPage* CTessalDlg::BoundPage(int page) const {
    switch (page) {
        case PAGE_GENERAL:
            return m_gen;
        case PAGE_STATISTICS:
            return m_stats;
        case PAGE_ABOUT:
            return m_about;
        default:
            return nullptr;
    }
}

void CTessalDlg::OnPageChanged(int index) {
    if (index == m_nActivePage) return;
    if (CBoundPage* old = BoundPage(m_nActivePage)) old->OnKillActive();
    m_nActivePage = index;
    if (CBoundPage* page = BoundPage(index)) page->Activate();
}

void CTessalDlg::OnPreferences() {
    CPrefs prefs(this);
    prefs.exec();
}

void CTessalDlg::OnViewSite() {
    CViewSite* site = Site();
    site->show();
    site->raise();
    site->activateWindow();
}

void CTessalDlg::OnHistory() {
    if (!m_history) m_history = new CHistoryDlg(this);
    m_history->show();
    m_history->raise();
    m_history->activateWindow();
}

void CTessalDlg::UpdateIdleMode() {
    // Only while the timer runs that would take over the ticks, and the polling thread runs.
    const bool hidden = (!isVisible() || isMinimized()) && m_MainTimer.isActive();
    const bool idle = theApp.m_pPoll && theApp.m_pPoll->SetDriven(hidden);
    if (idle == m_bIdleHidden) return;
    m_bIdleHidden = idle;
    if (!idle && isVisible()) {
        // Whatever happened meanwhile shows at once, not a tick later.
        const bool graph = m_bGraphPending;
        m_bGraphPending = false;
        RefreshPages(graph, true);
    }
}

void CTessalDlg::hideEvent(QHideEvent* event) {
    QDialog::hideEvent(event);
    UpdateIdleMode();
}

void CTessalDlg::changeEvent(QEvent* event) {
    QDialog::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange) UpdateIdleMode();
    if (event->type() != QEvent::WindowStateChange || !isMinimized() || m_bStarting) return;
    // Without a notification area the window stays a normal minimised window, so the user can
    // always get it back from the task bar.
    if (!m_tray.IsAdded()) return;
    m_bSiteWasVisible = IsSiteVisible();
    if (m_bSiteWasVisible) m_site->hide();
    // Hidden once the minimise has been carried out; hiding inside it confuses some window managers.
    QMetaObject::invokeMethod(this, &QWidget::hide, Qt::QueuedConnection);
}

void CTessalDlg::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        showMinimized();
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void CTessalDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    UpdateIdleMode();
    if (!m_bShownOnce) {
        m_bShownOnce = true;
        // Never larger than the screen: the pages scroll instead.
        if (const QScreen* shown = screen()) {
            const QSize room = shown->availableGeometry().size();
            if (width() > room.width() || height() > room.height()) resize(size().boundedTo(room));
        }
        Trace("\n !!! Main window shown\n");
    }
}

void CTessalDlg::RestoreFromTray() {
    setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    raise();
    activateWindow();
    if (m_bSiteWasVisible && m_site) {
        m_site->show();
        m_site->raise();
    }
    // Cleared once used: a later click on the icon must not bring back a list the user closed.
    m_bSiteWasVisible = false;
}

void CTessalDlg::OnTrayActivated(QSystemTrayIcon::ActivationReason reason) {
    // Some notification areas deliver only single clicks, others only double clicks.
    if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick) RestoreFromTray();
}

}  // namespace wavory
