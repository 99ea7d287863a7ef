#include "ui/shell/TrayBackend.h"

#include <QApplication>
#include <QStyle>
#include <QThread>

#include "ui/shell/PlainText.h"

namespace wavory {

CTrayBackend::CTrayBackend(QObject* parent)
    : QObject(parent),
      m_pIcon(new QSystemTrayIcon(this)),
      m_fnAvailable(&QSystemTrayIcon::isSystemTrayAvailable) {
    connect(m_pIcon, &QSystemTrayIcon::activated, this, &CTrayBackend::Activated);
}

CTrayBackend::~CTrayBackend() = default;

void CTrayBackend::SetContextMenu(QMenu* menu) { m_pIcon->setContextMenu(menu); }

void CTrayBackend::SetStateIcon(const QIcon& icon) {
    m_StateIcon = icon;
    m_pIcon->setIcon(icon);
}

bool CTrayBackend::Notify(const QString& title, const QString& text) {
    m_strLastNotification = title + QLatin1Char('\n') + text;
    if (!m_pIcon->isVisible() || !QSystemTrayIcon::supportsMessages()) return false;
    m_pIcon->showMessage(title, text, QSystemTrayIcon::Information);
    return true;
}

void CTrayBackend::Apply(const SNotifyIconData& data) {
    if (!m_StateIcon.isNull())
        m_pIcon->setIcon(m_StateIcon);
    else
        m_pIcon->setIcon(data.icon == kWindowIcon
                             ? m_WindowIcon
                             : QApplication::style()->standardIcon(QStyle::SP_ComputerIcon));
    // The tip names a network: it is shown as the text it is, never as markup.
    m_pIcon->setToolTip(PlainToolTip(QString::fromStdString(data.tip)));
}

bool CTrayBackend::AddIcon(const SNotifyIconData& data) {
    if (!m_fnAvailable || !m_fnAvailable()) return false;
    Apply(data);
    m_pIcon->show();
    return true;
}

bool CTrayBackend::ModifyIcon(const SNotifyIconData& data) {
    if (QThread::currentThread() == thread()) {
        Apply(data);
        return true;
    }
    QMetaObject::invokeMethod(
        this, [this, data] { Apply(data); }, Qt::QueuedConnection);
    return true;
}

bool CTrayBackend::DeleteIcon(const SNotifyIconData&) {
    m_pIcon->hide();
    return true;
}

}  // namespace wavory
