#include "platform/HistoryService.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QStringList>
#include <QVariant>

namespace wavory {

namespace {

const QString kSystemd = QStringLiteral("org.freedesktop.systemd1");
const QString kManagerPath = QStringLiteral("/org/freedesktop/systemd1");
const QString kManager = QStringLiteral("org.freedesktop.systemd1.Manager");

int g_nConnections = 0;

}  // namespace

CHistoryService::CHistoryService(QString busAddress, int timeoutMs)
    : m_strBusAddress(std::move(busAddress)), m_nTimeoutMs(timeoutMs) {
    // A connection of its own, so that closing it never disturbs other users of the bus.
    m_strConnection = QStringLiteral("wavory-history-service-%1").arg(++g_nConnections);
    const QDBusConnection connection =
        m_strBusAddress.isEmpty() ? QDBusConnection::connectToBus(QDBusConnection::SessionBus, m_strConnection)
                                  : QDBusConnection::connectToBus(m_strBusAddress, m_strConnection);
    m_bConnected = connection.isConnected();
}

CHistoryService::~CHistoryService() { QDBusConnection::disconnectFromBus(m_strConnection); }

bool CHistoryService::Call(const QString& method, const QVariantList& args, QVariantList* out, QString* error) {
    if (!m_bConnected) {
        if (error) *error = QStringLiteral("there is no session bus to reach the user's service manager");
        return false;
    }
    QDBusMessage message = QDBusMessage::createMethodCall(kSystemd, kManagerPath, kManager, method);
    message.setArguments(args);
    // A manager that is not running is not started by the bus for this question.
    message.setAutoStartService(false);
    const QDBusMessage reply = QDBusConnection(m_strConnection).call(message, QDBus::Block, m_nTimeoutMs);
    if (reply.type() == QDBusMessage::ReplyMessage) {
        if (out) *out = reply.arguments();
        return true;
    }
    if (error) {
        const QString name = reply.errorName();
        if (name == QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown") ||
            name == QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner"))
            *error = QStringLiteral("no user service manager (systemd --user) runs in this session");
        else if (name == QLatin1String("org.freedesktop.systemd1.NoSuchUnit") ||
                 name == QLatin1String("org.freedesktop.DBus.Error.FileNotFound"))
            *error = QStringLiteral("the service %1 is not installed (it comes with the package)")
                         .arg(QLatin1String(kUnit));
        else
            *error = reply.errorMessage().isEmpty() ? name : reply.errorMessage();
    }
    return false;
}

CHistoryService::EState CHistoryService::State(QString* why) {
    QVariantList out;
    if (!Call(QStringLiteral("GetUnitFileState"), {QString::fromLatin1(kUnit)}, &out, why) || out.isEmpty())
        return EState::Unavailable;
    const QString state = out.constFirst().toString();
    if (state == QLatin1String("enabled") || state == QLatin1String("enabled-runtime")) return EState::On;
    if (state == QLatin1String("disabled")) return EState::Off;
    if (why) *why = QStringLiteral("the service is %1 in the user's service manager").arg(state);
    return EState::Unavailable;
}

bool CHistoryService::Set(bool on, QString* error) {
    const QStringList units{QString::fromLatin1(kUnit)};
    const QString unit = QString::fromLatin1(kUnit);
    if (on) {
        // Enabled for the next logins, the manager told of the new links, and started for this one.
        return Call(QStringLiteral("EnableUnitFiles"), {units, false, true}, nullptr, error) &&
               Call(QStringLiteral("Reload"), {}, nullptr, error) &&
               Call(QStringLiteral("StartUnit"), {unit, QStringLiteral("replace")}, nullptr, error);
    }
    // A service that does not run is stopped already.
    QString stopError;
    if (!Call(QStringLiteral("StopUnit"), {unit, QStringLiteral("replace")}, nullptr, &stopError) &&
        !stopError.contains(QLatin1String("not installed"))) {
        if (error) *error = stopError;
        return false;
    }
    return Call(QStringLiteral("DisableUnitFiles"), {units, false}, nullptr, error) &&
           Call(QStringLiteral("Reload"), {}, nullptr, error);
}

}  // namespace wavory
