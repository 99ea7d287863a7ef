#include "ui/shell/TrayMenu.h"

#include <QAction>
#include <QMenu>
#include <algorithm>
#include <map>
#include <optional>
#include <vector>

#include "base/AppBase.h"
#include "base/DisplayText.h"
#include "monitor/Signal.h"
#include "profiles/HotspotProfile.h"
#include "profiles/Profile.h"
#include "profiles/ProfileMngr.h"
#include "shell/MainWindow.h"
#include "shell/UserJoin.h"
#include "survey/LastDisconnect.h"
#include "survey/LinkActions.h"
#include "survey/Station.h"
#include "survey/StationMngr.h"
#include "ui/monitor/HotspotDlg.h"
#include "ui/monitor/Prefs.h"
#include "ui/shell/PlainText.h"
#include "ui/shell/TrayBackend.h"
#include "ui/survey/ViewSite.h"

namespace wavory {

namespace {

constexpr const char* kAppTitle = "Wavory Utility";
constexpr const char* kNetworkProperty = "wavoryNetwork";
constexpr const char* kHotspotProperty = "wavoryHotspot";
// Most kept hotspots the menu lists; the rest start from the Profiles page.
constexpr std::size_t kMaxHotspots = 5;

// Notification servers may read the body as markup: a name's own characters stay characters.
QString NotificationText(const QString& text) {
    return text.contains(QLatin1Char('<')) || text.contains(QLatin1Char('&')) ? text.toHtmlEscaped() : text;
}

}  // namespace

CTrayMenu::CTrayMenu(CTrayBackend* backend, QMenu* menu, std::function<CViewSite*()> site, QObject* parent)
    : QObject(parent), m_pBackend(backend), m_pMenu(menu), m_fnSite(std::move(site)) {
    m_pNetworksHeader = m_pMenu->addSection(QStringLiteral("Networks in range"));
    m_pNetworksEnd = m_pMenu->addSeparator();
    m_pDisconnect = m_pMenu->addAction(QStringLiteral("&Disconnect"), this, &CTrayMenu::OnDisconnect);
    m_pHidden = m_pMenu->addAction(QStringLiteral("Connect to a &Hidden Network\u2026"), this, [this] {
        if (CViewSite* site = m_fnSite ? m_fnSite() : nullptr) site->ConnectHidden();
    });
    // A network shared as a QR code: from a saved picture, a copied one, or one on the screen.
    QMenu* qr = m_pMenu->addMenu(QStringLiteral("Join from &QR Code"));
    m_pQr = qr->menuAction();
    for (const auto& [text, source] :
         {std::pair{QStringLiteral("From an Image &File\u2026"), CViewSite::EQrSource::File},
          std::pair{QStringLiteral("From the &Clipboard"), CViewSite::EQrSource::Clipboard},
          std::pair{QStringLiteral("From the &Screen"), CViewSite::EQrSource::Screen}})
        qr->addAction(text, this, [this, source = source] {
            if (CViewSite* site = m_fnSite ? m_fnSite() : nullptr) site->JoinFromQr(source);
        });
    m_pHotspot = m_pMenu->addAction(QStringLiteral("Start a Hots&pot\u2026"), this,
                                    [] { CHotspotDlg::Open(nullptr); });
    m_pWindowSection = m_pMenu->addSeparator();
    connect(m_pMenu, &QMenu::aboutToShow, this, &CTrayMenu::FillNetworks);
    connect(m_pMenu, &QMenu::aboutToShow, this, &CTrayMenu::FillHotspots);
    m_pBackend->SetStateIcon(TrayStateIcon(m_State, 0));
}

QList<QAction*> CTrayMenu::NetworkActions() const {
    QList<QAction*> out;
    for (QAction* action : m_pMenu->actions())
        if (action->property(kNetworkProperty).isValid()) out << action;
    return out;
}

QList<QAction*> CTrayMenu::HotspotActions() const {
    QList<QAction*> out;
    for (QAction* action : m_pMenu->actions())
        if (action->property(kHotspotProperty).isValid()) out << action;
    return out;
}

void CTrayMenu::FillHotspots() {
    for (QAction* action : HotspotActions()) {
        m_pMenu->removeAction(action);
        action->deleteLater();
    }
    CProfileMngr* profiles = theApp.m_pProfileMngr;
    if (!profiles) return;
    std::vector<std::string> names;
    {
        auto lock = profiles->Lock();
        for (const auto& profile : profiles->Snapshot())
            if (IsHotspotProfile(*profile)) names.push_back(profile->ProfName);
    }
    std::sort(names.begin(), names.end());
    if (names.size() > kMaxHotspots) names.resize(kMaxHotspots);
    QAction* after = m_pWindowSection;
    for (const std::string& name : names) {
        // A profile's name is the user's text: an '&' in it is shown, not taken for a mnemonic.
        QString shown = ShownText(name);
        shown.replace(QLatin1Char('&'), QStringLiteral("&&"));
        auto* action = new QAction(QStringLiteral("Start Hotspot \u201c%1\u201d").arg(shown), m_pMenu);
        action->setProperty(kHotspotProperty, QString::fromStdString(name));
        action->setEnabled(m_pHotspot->isEnabled());
        connect(action, &QAction::triggered, this, [name] { CHotspotDlg::OpenProfile(nullptr, name, true); });
        m_pMenu->insertAction(after, action);
    }
}

void CTrayMenu::FillNetworks() {
    for (QAction* action : NetworkActions()) {
        m_pMenu->removeAction(action);
        action->deleteLater();
    }
    CStationMngr* stations = theApp.m_pStationMngr;
    if (!stations) return;
    struct SEntry {
        std::string ssid;
        int rssi;
        std::string security;
        bool current;
    };
    std::vector<SEntry> entries;
    {
        auto lock = stations->Lock();
        const std::string currentKey = stations->GetCurrentKey();
        // One entry per network name: its strongest access point. Nameless (hidden) ones are left to
        // "Connect to a Hidden Network…".
        std::map<std::string, SEntry> best;
        for (const auto& station : stations->Snapshot()) {
            if (station->NetName.empty()) continue;
            const bool current = !currentKey.empty() && CStationMngr::StationKey(*station) == currentKey;
            auto it = best.find(station->NetName);
            if (it == best.end() || station->m_nRssi > it->second.rssi) {
                const bool wasCurrent = it != best.end() && it->second.current;
                best[station->NetName] = {station->NetName, station->m_nRssi, station->SecurityText(),
                                          current || wasCurrent};
            } else if (current) {
                it->second.current = true;
            }
        }
        for (auto& [name, entry] : best) entries.push_back(std::move(entry));
    }
    std::sort(entries.begin(), entries.end(),
              [](const SEntry& a, const SEntry& b) { return a.rssi > b.rssi; });
    if (static_cast<int>(entries.size()) > kMaxNetworks) entries.resize(kMaxNetworks);
    for (const SEntry& entry : entries) {
        std::string signal;
        FormatSignal(entry.rssi, &signal);
        // Menu texts take '&' as a mnemonic: a name's own ampersands are doubled.
        QString name = ShownText(entry.ssid);
        name.replace(QLatin1Char('&'), QStringLiteral("&&"));
        auto* action = new QAction(
            QStringLiteral("%1\t%2  %3")
                .arg(name, QString::fromStdString(signal), QString::fromStdString(entry.security)),
            m_pMenu);
        action->setProperty(kNetworkProperty, QByteArray::fromStdString(entry.ssid));
        action->setIcon(TrayStateIcon(ETrayState::Connected, SignalBars(entry.rssi)));
        action->setCheckable(true);
        action->setChecked(entry.current);
        action->setEnabled(UserAttemptNetwork().empty());  // one join at a time
        const std::string ssid = entry.ssid;
        connect(action, &QAction::triggered, this, [this, ssid] {
            if (CViewSite* site = m_fnSite ? m_fnSite() : nullptr) site->ConnectNetwork(ssid);
        });
        m_pMenu->insertAction(m_pNetworksEnd, action);
    }
    if (entries.empty()) {
        auto* none = new QAction(QStringLiteral("No networks found"), m_pMenu);
        none->setEnabled(false);
        none->setProperty(kNetworkProperty, QByteArray());
        m_pMenu->insertAction(m_pNetworksEnd, none);
    }
}

void CTrayMenu::OnDisconnect() {
    std::string failure;
    if (!DisconnectAdapter(&failure)) theApp.ShowMessage(failure, EMsgIcon::Warning);
    Update();
}

void CTrayMenu::Notify(const QString& title, const QString& text) {
    if (theApp.GetProfileInt("", CPrefs::kNotificationsPref, 1) == 0) return;
    m_pBackend->Notify(title, NotificationText(text));
}

void CTrayMenu::Update() {
    CStationMngr* stations = theApp.m_pStationMngr;
    const std::string joining = UserAttemptNetwork();
    ETrayState state = ETrayState::NotConnected;
    std::string network;
    int bars = 0;
    if (!joining.empty()) {
        state = ETrayState::Connecting;
        network = joining;
    } else if (stations && (stations->IsConnected() || theApp.m_bAdHocApplied)) {
        state = ETrayState::Connected;
        if (auto current = stations->GetCurrent()) {
            auto lock = stations->Lock();
            network = current->NetName;
            bars = SignalBars(current->m_nRssi);
        } else {
            bars = 1;
        }
        // A hidden network's row has no name, and just after the adapter came back no station is
        // current yet: the adapter names the network.
        if (network.empty()) network = ConnectedNetworkName();
    } else if (!AdapterPresent()) {
        state = ETrayState::NoAdapter;
    }

    const bool changed = !m_bStateKnown || state != m_State || bars != m_nBars || network != m_strNetwork;
    if (!changed) return;
    const ETrayState before = m_State;
    const bool known = m_bStateKnown;
    const std::string previous = m_strNetwork;
    // The network a join started from: the adapter goes back to it when the join fails.
    if (state == ETrayState::Connecting && before != ETrayState::Connecting)
        m_strBeforeJoin = before == ETrayState::Connected ? previous : std::string();
    m_State = state;
    m_nBars = bars;
    m_strNetwork = network;
    m_bStateKnown = true;
    m_pBackend->SetStateIcon(TrayStateIcon(state, bars));
    m_pDisconnect->setEnabled(state == ETrayState::Connected || state == ETrayState::Connecting);
    m_pHidden->setEnabled(state != ETrayState::NoAdapter);
    m_pQr->setEnabled(state != ETrayState::NoAdapter);
    m_pHotspot->setEnabled(state != ETrayState::NoAdapter);

    // The tip follows the state too, not only a connection the polling thread saw.
    auto setTip = [](const std::string& tip) {
        theApp.SetTrayTip(tip);
        if (IMainWindow* window = theApp.m_pMainWnd) window->SetTrayTip(tip);
    };
    if (state == ETrayState::Connected) {
        if (auto current = stations ? stations->GetCurrent() : nullptr) theApp.UpdateTrayTip(current.get());
    } else if (state == ETrayState::NotConnected) {
        theApp.UpdateTrayTip(nullptr);
    } else if (state == ETrayState::NoAdapter) {
        setTip(std::string(kAppTitle) + "\nNo adapter found");
    } else {
        setTip(std::string(kAppTitle) + "\nConnecting to " + DisplayText(network) + "\u2026");
    }

    if (!known) return;  // the state at start-up is no news
    const QString name = ShownText(network);
    const bool restored = before == ETrayState::Connecting && state == ETrayState::Connected &&
                          !network.empty() && network == m_strBeforeJoin && network != previous;
    if (restored) {
        // Back on the network it was on: the join failed, and the connection is no news.
        Notify(QString::fromLatin1(kAppTitle),
               QStringLiteral("Could not connect to %1").arg(ShownText(previous)));
    } else if (state == ETrayState::Connected && (before != ETrayState::Connected || network != previous)) {
        Notify(QString::fromLatin1(kAppTitle), QStringLiteral("Connected to %1").arg(name));
    } else if (before == ETrayState::Connecting && state != ETrayState::Connected &&
               state != ETrayState::Connecting) {
        Notify(QString::fromLatin1(kAppTitle),
               QStringLiteral("Could not connect to %1").arg(ShownText(previous)));
    } else if (before == ETrayState::Connected && state == ETrayState::NotConnected) {
        // The user's Disconnect pauses the selection; any other end of the link was not asked for.
        QString text = (theApp.m_bAutoPaused ? QStringLiteral("Disconnected from %1")
                                             : QStringLiteral("Lost the connection to %1"))
                           .arg(ShownText(previous));
        // An unexpected drop says why, where the adapter tells it for this network.
        if (!theApp.m_bAutoPaused) {
            const std::optional<SLastDisconnect> drop = ReadLastDisconnect();
            if (drop && drop->ssid == previous) text += QLatin1Char('\n') + QString::fromStdString(drop->Sentence());
        }
        Notify(QString::fromLatin1(kAppTitle), text);
    } else if (state == ETrayState::NoAdapter && before != ETrayState::NoAdapter) {
        Notify(QString::fromLatin1(kAppTitle), QStringLiteral("The wireless adapter is missing"));
    }
}

}  // namespace wavory
