// The notification-area icon over QSystemTrayIcon. The tray record may change on the polling
// thread (the tip), so every change is carried to the interface thread by a queued call. Where the
// desktop has no notification area the icon cannot be added, and the window knows it.
#pragma once

#include <QIcon>
#include <QObject>
#include <QSystemTrayIcon>
#include <functional>

#include "shell/SysTray.h"

class QMenu;

namespace wavory {

class CTrayBackend : public QObject, public ITrayBackend {
    Q_OBJECT
public:
    // Icon number of the window's own icon in the tray record.
    static constexpr int kWindowIcon = 128;

    explicit CTrayBackend(QObject* parent = nullptr);
    ~CTrayBackend() override;

    // Whether a notification area exists (replaceable, for tests and odd desktops).
    void SetAvailability(std::function<bool()> available) { m_fnAvailable = std::move(available); }
    void SetWindowIcon(const QIcon& icon) { m_WindowIcon = icon; }
    // The picture of the connection's state, in place of the record's icon (interface thread).
    void SetStateIcon(const QIcon& icon);
    // A desktop notification through the notification area (interface thread); false where the
    // icon is not shown or the desktop takes no messages.
    bool Notify(const QString& title, const QString& text);
    // The last notification sent (for tests and the window's own record).
    const QString& LastNotification() const { return m_strLastNotification; }
    // The menu the icon shows on a right click.
    void SetContextMenu(QMenu* menu);

    bool AddIcon(const SNotifyIconData& data) override;
    bool ModifyIcon(const SNotifyIconData& data) override;
    bool DeleteIcon(const SNotifyIconData& data) override;

    QSystemTrayIcon* Icon() const { return m_pIcon; }

signals:
    // The user clicked or double-clicked the icon.
    void Activated(QSystemTrayIcon::ActivationReason reason);

private:
    void Apply(const SNotifyIconData& data);

    QSystemTrayIcon* m_pIcon;
    QIcon m_WindowIcon;
    QIcon m_StateIcon;
    QString m_strLastNotification;
    std::function<bool()> m_fnAvailable;
};

}  // namespace wavory
