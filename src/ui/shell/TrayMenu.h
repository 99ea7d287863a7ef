// What the notification area shows and offers: the icon follows the state of the connection (no
// adapter, not connected, connecting, connected with 1 to 4 bars) and its tip; the menu lists the
// networks in range with their signal and security (a click joins one), Disconnect, a hidden
// network, and the window's own entries; a notification tells of a connection made, lost or failed
// unless the user turned them off.
#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <string>

#include "ui/shell/TrayIcons.h"

class QAction;
class QMenu;

namespace wavory {

class CTrayBackend;
class CViewSite;

class CTrayMenu : public QObject {
    Q_OBJECT
public:
    // Most networks the menu lists; the rest are in Available Networks.
    static constexpr int kMaxNetworks = 12;

    // `site` gives Available Networks, made on first use, which joins what the menu picks.
    CTrayMenu(CTrayBackend* backend, QMenu* menu, std::function<CViewSite*()> site,
              QObject* parent = nullptr);

    // Looks at the adapter once (the main tick): state, icon, tip and notifications.
    void Update();
    // Fills the network entries from the last scan (when the menu is about to show).
    void FillNetworks();
    // Fills one entry per kept hotspot (a hotspot profile), each starting it in one step.
    void FillHotspots();

    ETrayState State() const { return m_State; }
    int Bars() const { return m_nBars; }
    QAction* DisconnectAction() const { return m_pDisconnect; }
    QAction* HiddenAction() const { return m_pHidden; }
    // The "Join from QR Code" submenu's entry.
    QAction* QrAction() const { return m_pQr; }
    // "Start a Hotspot…".
    QAction* HotspotAction() const { return m_pHotspot; }
    // The network entries as the menu shows them.
    QList<QAction*> NetworkActions() const;
    // The kept hotspots' entries ("Start Hotspot “Deck”").
    QList<QAction*> HotspotActions() const;

    // The entries that the window adds after these (Restore, View Site, Close).
    QAction* WindowSection() const { return m_pWindowSection; }

private:
    void Notify(const QString& title, const QString& text);
    void OnDisconnect();

    CTrayBackend* m_pBackend;
    QMenu* m_pMenu;
    std::function<CViewSite*()> m_fnSite;
    QAction* m_pNetworksHeader;
    QAction* m_pNetworksEnd;
    QAction* m_pDisconnect;
    QAction* m_pHidden;
    QAction* m_pQr;
    QAction* m_pHotspot;
    QAction* m_pWindowSection;
    ETrayState m_State = ETrayState::NotConnected;
    bool m_bStateKnown = false;
    int m_nBars = 0;
    std::string m_strNetwork;  // the connected network, or the one being joined
    std::string m_strBeforeJoin;  // the network connected when the running join started
};

}  // namespace wavory
