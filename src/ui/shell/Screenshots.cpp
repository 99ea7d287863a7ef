#include "ui/shell/Screenshots.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QPalette>
#include <QPixmap>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>

#include "profiles/Profile.h"
#include "shell/Tessal.h"
#include "store/HistoryDb.h"
#include "survey/SignalTrail.h"
#include "ui/monitor/ConnectionDetails.h"
#include "ui/monitor/HistoryDlg.h"
#include "ui/monitor/Prefs.h"
#include "ui/profiles/ProfileScreenshots.h"
#include "ui/monitor/HotspotDlg.h"
#include "ui/profiles/ShareDlg.h"
#include "ui/profiles/StackImportDlg.h"
#include "ui/shell/TessalDlg.h"
#include "ui/shell/TrayMenu.h"
#include "ui/survey/HiddenNetworkDlg.h"
#include "ui/survey/ViewSite.h"

namespace wavory {

namespace {

QPalette DarkPalette() {
    QPalette dark;
    const QColor window(0x2b, 0x2b, 0x2b), base(0x1e, 0x1e, 0x1e), text(0xe6, 0xe6, 0xe6);
    dark.setColor(QPalette::Window, window);
    dark.setColor(QPalette::WindowText, text);
    dark.setColor(QPalette::Base, base);
    dark.setColor(QPalette::AlternateBase, window);
    dark.setColor(QPalette::Text, text);
    dark.setColor(QPalette::Button, QColor(0x35, 0x35, 0x35));
    dark.setColor(QPalette::ButtonText, text);
    dark.setColor(QPalette::Highlight, QColor(0x2a, 0x82, 0xda));
    dark.setColor(QPalette::HighlightedText, Qt::white);
    dark.setColor(QPalette::Mid, QColor(0x55, 0x55, 0x55));
    dark.setColor(QPalette::Disabled, QPalette::Text, QColor(0x80, 0x80, 0x80));
    dark.setColor(QPalette::Disabled, QPalette::WindowText, QColor(0x80, 0x80, 0x80));
    dark.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(0x80, 0x80, 0x80));
    return dark;
}

// Lets the window lay itself out and paint before it is grabbed.
void Settle() {
    for (int i = 0; i < 3; ++i) QApplication::processEvents();
}

// Ten minutes of made-up signals of the simulated harbour's access points in the chart: the
// connection's (Lighthouse), one that fades out for a while and comes back, and one moving away.
CSignalTrail SampleTrail() {
    CSignalTrail trail;
    constexpr int64_t kLook = 10 * 1000;
    for (int64_t t = 0; t <= CSignalTrail::kKeepMs; t += kLook) {
        const int step = static_cast<int>(t / kLook);
        std::vector<STrailHeard> heard;
        heard.push_back(
            {"00-0F-B5-44-7C-20", "Lighthouse", 2462, -64 - (step * 7 % 5) + (step > 40 ? 4 : 0)});
        if (step < 25 || step > 33)
            heard.push_back({"3C-84-6A-51-0E-24", "Marina", 5180, -52 - (step * 3 % 4)});
        heard.push_back({"00-14-6C-2A-11-01", "Harbour", 2412, -58 - (step % 6) - step / 6});
        trail.Add(t, heard, "00-0F-B5-44-7C-20");
    }
    return trail;
}

}  // namespace

CScreenshots::CScreenshots(const QString& folder, int delayMs, QObject* parent)
    : QObject(parent), m_strFolder(folder), m_nDelayMs(delayMs) {}

void CScreenshots::Attach(CTessalDlg* window) {
    QTimer::singleShot(m_nDelayMs, window, [this, window] { TakeAll(window); });
}

void CScreenshots::Save(QWidget* widget, const QString& name) {
    Settle();
    const QString path = QDir(m_strFolder).filePath(name);
    if (widget->grab().save(path, "PNG")) {
        m_Written.append(path);
    } else {
        std::fprintf(stderr, "wavory: could not write %s\n", qPrintable(path));
        m_bOk = false;
    }
}

bool CScreenshots::SaveHistory(CTessalDlg* window) {
    // A short evening on "Marina" in a history of its own: the user's history stays out of pictures.
    QTemporaryDir dir;
    if (!dir.isValid()) return false;
    const std::string path = QDir(dir.path()).filePath(QStringLiteral("history.db")).toStdString();
    {
        CHistoryDb db(path);
        if (!db.Ok()) return false;
        const int64_t start = QDateTime::currentMSecsSinceEpoch() - 3 * 3600 * 1000;
        auto event = [start](int minute, SHistoryEvent::EKind kind) {
            SHistoryEvent e;
            e.timeMs = start + minute * 60000LL;
            e.kind = kind;
            e.ssid = "Marina";
            e.security = "WPA2-Personal";
            e.control = "simulated";
            return e;
        };
        SHistoryEvent join = event(0, SHistoryEvent::EKind::Join);
        join.outcome = "joined";
        join.durationMs = 1840;
        SHistoryEvent connect = event(0, SHistoryEvent::EKind::Connect);
        connect.bssid = "3C-84-6A-51-0E-24";
        connect.freqMHz = 5180;
        connect.signalDbm = -52;
        SHistoryEvent roam = event(47, SHistoryEvent::EKind::Roam);
        roam.prevBssid = connect.bssid;
        roam.prevFreqMHz = 5180;
        roam.prevSignalDbm = -78;
        roam.bssid = "3C-84-6A-51-0E-31";
        roam.freqMHz = 2437;
        roam.signalDbm = -61;
        SHistoryEvent drop = event(95, SHistoryEvent::EKind::Disconnect);
        drop.bssid = roam.bssid;
        drop.freqMHz = 2437;
        drop.initiator = "access-point";
        drop.reason = 7;
        drop.detail = "the access point forgot this station: it restarted or dropped it";
        SHistoryEvent back = event(96, SHistoryEvent::EKind::Connect);
        back.bssid = connect.bssid;
        back.freqMHz = 5180;
        back.signalDbm = -55;
        SHistoryEvent cafe = event(150, SHistoryEvent::EKind::Join);
        cafe.ssid = "Harbour Caf\xC3\xA9";
        cafe.outcome = "failed";
        cafe.cause = "wrong-key";
        cafe.durationMs = 10230;
        cafe.detail = "4-way handshake timeout: usually a wrong passphrase";
        for (const SHistoryEvent& e : {join, connect, roam, drop, back, cafe})
            if (!db.Add(e)) return false;
    }
    CHistoryDlg history(window, path);
    history.resize(1240, 360);
    history.show();
    Save(&history, QStringLiteral("history.png"));
    history.reject();
    return true;
}

void CScreenshots::TakeAll(CTessalDlg* window) {
    if (!QDir().mkpath(m_strFolder)) {
        std::fprintf(stderr, "wavory: could not create the folder %s\n", qPrintable(m_strFolder));
        m_bOk = false;
        window->reject();
        return;
    }
    static const char* const pageFiles[] = {"general.png", "profiles.png", "statistics.png", "about.png"};
    for (int page = 0; page < 4; ++page) {
        window->SetActivePage(page);
        theApp.OnMainTick();
        Save(window, QString::fromLatin1(pageFiles[page]));
    }
    window->SetActivePage(CTessalDlg::PAGE_GENERAL);

    {
        CPrefs prefs(window);
        prefs.show();
        Save(&prefs, QStringLiteral("preferences.png"));
        prefs.reject();
    }

    if (!SaveProfileEditorScreenshots(window, m_strFolder, &m_Written)) m_bOk = false;

    {
        CConnectionDetails details(window);
        details.show();
        Save(&details, QStringLiteral("connection-details.png"));
        details.reject();
    }
    {
        CHiddenNetworkDlg hidden(window);
        hidden.NameEdit()->setText(QStringLiteral("Backroom"));
        hidden.show();
        Save(&hidden, QStringLiteral("hidden-network.png"));
        hidden.reject();
    }
    if (!SaveHistory(window)) m_bOk = false;
    {
        // A made-up network: the picture never holds a secret of the machine's own profiles.
        CProfile sample("", false);
        sample.NetName = "Lockkeeper";
        sample.WpaMode = 3;  // WPA2-Personal
        sample.WpaPassphrase = "canal-gates-at-dawn";
        CShareDlg share(sample, window);
        share.show();
        Save(&share, QStringLiteral("share-network.png"));
        share.reject();
    }
    {
        // A made-up name and passphrase; the dialog reads the adapter off the interface thread, and
        // the picture waits for what it says.
        CHotspotDlg hotspot(window);
        hotspot.NameEdit()->setText(QStringLiteral("Deck Party"));
        hotspot.PassphraseEdit()->setText(QStringLiteral("mK7pQx2vRt9w"));
        hotspot.show();
        QElapsedTimer waited;
        waited.start();
        while (!hotspot.StartButton()->isEnabled() && waited.elapsed() < 5000)
            QApplication::processEvents(QEventLoop::AllEvents, 50);
        Save(&hotspot, QStringLiteral("hotspot.png"));
        hotspot.reject();
    }
    if (theApp.m_pProfileMngr) {
        // A made-up wpa_supplicant.conf as the import shows it before anything is stored.
        QTemporaryDir dir;
        const QString conf = dir.filePath(QStringLiteral("wpa_supplicant.conf"));
        QFile file(conf);
        if (file.open(QIODevice::WriteOnly))
            file.write("network={\n\tssid=\"Lockkeeper\"\n\tpsk=\"canal-gates-at-dawn\"\n\tpriority=2\n}\n"
                       "network={\n\tssid=\"Boathouse\"\n\tkey_mgmt=NONE\n\tbssid=02:00:00:00:01:00\n}\n"
                       "network={\n\tssid=\"Office\"\n\tkey_mgmt=IEEE8021X\n\teap=PEAP\n}\n");
        file.close();
        CStackImportDlg import(*theApp.m_pProfileMngr, window);
        import.Path()->setText(conf);
        import.ReadNetworks();
        import.show();
        Save(&import, QStringLiteral("import-from-stack.png"));
        import.reject();
    }
    {
        // The tray menu as it opens: the networks in range first.
        QMenu* menu = window->TrayMenu();
        window->TrayState()->Update();
        menu->popup(window->mapToGlobal(QPoint(24, 24)));
        Save(menu, QStringLiteral("tray-menu.png"));
        menu->hide();
    }
    {
        // A dark theme: the pages take the desktop's palette, the charts included.
        const QPalette light = QApplication::palette();
        QApplication::setPalette(DarkPalette());
        for (const auto& [page, file] :
             {std::pair{int(CTessalDlg::PAGE_GENERAL), "general-dark.png"},
              std::pair{int(CTessalDlg::PAGE_STATISTICS), "statistics-dark.png"}}) {
            window->SetActivePage(page);
            theApp.OnMainTick();
            Save(window, QString::fromLatin1(file));
        }
        QApplication::setPalette(light);
        window->SetActivePage(CTessalDlg::PAGE_GENERAL);
    }

    CViewSite* site = window->Site();
    window->OnViewSite();
    const QStringList siteFiles = site->WriteScreenshots(m_strFolder);
    if (siteFiles.size() < 2) m_bOk = false;
    m_Written.append(siteFiles);
    for (const QString& file : {site->WriteSignalScreenshot(m_strFolder, SampleTrail()),
                                site->WriteChannelsScreenshot(m_strFolder)}) {
        if (file.isEmpty()) {
            std::fprintf(stderr, "wavory: could not write a picture of the air into %s\n",
                         qPrintable(m_strFolder));
            m_bOk = false;
        } else {
            m_Written.append(file);
        }
    }
    site->hide();
    window->reject();
}

}  // namespace wavory
