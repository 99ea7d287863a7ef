#include "platform/SystemdServiceControl.h"

#include <atomic>
#include <cstdlib>
#include <utility>
#include <vector>

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QStringList>

namespace wavory {

namespace {

const QString kSystemd = QStringLiteral("org.freedesktop.systemd1");
const QString kManagerPath = QStringLiteral("/org/freedesktop/systemd1");
const QString kManagerInterface = QStringLiteral("org.freedesktop.systemd1.Manager");
const QString kUnitInterface = QStringLiteral("org.freedesktop.systemd1.Unit");
const QString kPropertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");
const QString kServiceSuffix = QStringLiteral(".service");

// Reverse hard dependencies: units that cannot run without this one. WantedBy is left out on
// purpose: it names targets such as multi-user.target, which must never be stopped.
const QStringList kDependentProperties = {QStringLiteral("RequiredBy"), QStringLiteral("BoundBy")};

std::atomic<int> g_nConnections{0};

// ActiveState of a unit as a service state.
EServiceState ServiceStateFromActiveState(const QString& activeState) {
    if (activeState == QLatin1String("inactive") || activeState == QLatin1String("failed"))
        return EServiceState::Stopped;
    if (activeState == QLatin1String("deactivating")) return EServiceState::StopPending;
    // active, activating, reloading and whatever newer systemd versions add: not stopped.
    return EServiceState::Running;
}

// The code the same failure has on Windows; errors not listed are faults of the manager itself.
std::uint32_t ServiceErrorFromDBusError(const QString& errorName) {
    struct SMapping {
        const char* name;
        std::uint32_t code;
    };
    static const SMapping kMappings[] = {
        {"org.freedesktop.systemd1.NoSuchUnit", SVC_ERROR_SERVICE_DOES_NOT_EXIST},
        {"org.freedesktop.systemd1.LoadFailed", SVC_ERROR_SERVICE_DOES_NOT_EXIST},
        {"org.freedesktop.DBus.Error.UnknownObject", SVC_ERROR_SERVICE_DOES_NOT_EXIST},
        {"org.freedesktop.DBus.Error.AccessDenied", SVC_ERROR_ACCESS_DENIED},
        {"org.freedesktop.DBus.Error.InteractiveAuthorizationRequired", SVC_ERROR_ACCESS_DENIED},
        {"org.freedesktop.DBus.Error.InvalidArgs", SVC_ERROR_INVALID_PARAMETER},
        {"org.freedesktop.DBus.Error.NoReply", SVC_ERROR_SERVICE_REQUEST_TIMEOUT},
        {"org.freedesktop.DBus.Error.Timeout", SVC_ERROR_SERVICE_REQUEST_TIMEOUT},
        {"org.freedesktop.DBus.Error.TimedOut", SVC_ERROR_SERVICE_REQUEST_TIMEOUT},
        {"org.freedesktop.DBus.Error.ServiceUnknown", SVC_ERROR_RPC_SERVER_UNAVAILABLE},
        {"org.freedesktop.DBus.Error.NameHasNoOwner", SVC_ERROR_RPC_SERVER_UNAVAILABLE},
        {"org.freedesktop.DBus.Error.Disconnected", SVC_ERROR_RPC_SERVER_UNAVAILABLE},
        {"org.freedesktop.DBus.Error.NoServer", SVC_ERROR_RPC_SERVER_UNAVAILABLE},
        {"org.freedesktop.systemd1.TransactionIsDestructive", SVC_ERROR_SERVICE_CANNOT_ACCEPT_CTRL},
        {"org.freedesktop.systemd1.JobTypeNotApplicable", SVC_ERROR_SERVICE_CANNOT_ACCEPT_CTRL},
        {"org.freedesktop.systemd1.ShuttingDown", SVC_ERROR_SERVICE_CANNOT_ACCEPT_CTRL},
    };
    for (const SMapping& mapping : kMappings) {
        if (errorName == QLatin1String(mapping.name)) return mapping.code;
    }
    return SVC_ERROR_EXCEPTION_IN_SERVICE;
}

}  // namespace

CSystemdServiceControl::CSystemdServiceControl(int timeoutMs) : m_nTimeoutMs(timeoutMs) {}

CSystemdServiceControl::CSystemdServiceControl(const QString& busAddress, int timeoutMs)
    : m_strBusAddress(busAddress), m_nTimeoutMs(timeoutMs) {}

CSystemdServiceControl::~CSystemdServiceControl() {
    if (m_bConnected) QDBusConnection::disconnectFromBus(m_strConnection);
}

bool CSystemdServiceControl::Fail(std::uint32_t code) {
    m_nLastError = code;
    return false;
}

bool CSystemdServiceControl::Connect() {
    if (m_bConnected) return true;
    // A connection of our own, so that closing it never disturbs other users of the bus.
    m_strConnection = QStringLiteral("wavory-service-control-%1").arg(++g_nConnections);
    const QDBusConnection connection =
        m_strBusAddress.isEmpty() ? QDBusConnection::connectToBus(QDBusConnection::SystemBus, m_strConnection)
                                  : QDBusConnection::connectToBus(m_strBusAddress, m_strConnection);
    if (!connection.isConnected()) {
        QDBusConnection::disconnectFromBus(m_strConnection);
        return Fail(SVC_ERROR_RPC_SERVER_UNAVAILABLE);
    }
    m_bConnected = true;
    return true;
}

bool CSystemdServiceControl::Call(const QDBusMessage& message, QDBusMessage& reply) {
    if (!m_bConnected) return Fail(SVC_ERROR_RPC_SERVER_UNAVAILABLE);
    reply = QDBusConnection(m_strConnection).call(message, QDBus::Block, m_nTimeoutMs);
    if (reply.type() == QDBusMessage::ReplyMessage) return true;
    return Fail(ServiceErrorFromDBusError(reply.errorName()));
}

bool CSystemdServiceControl::CallManager(const QString& method, const QVariantList& args,
                                         QDBusMessage& reply) {
    QDBusMessage message = QDBusMessage::createMethodCall(kSystemd, kManagerPath, kManagerInterface, method);
    message.setArguments(args);
    return Call(message, reply);
}

bool CSystemdServiceControl::UnitProperty(const QString& path, const QString& name, QVariant& value) {
    QDBusMessage message = QDBusMessage::createMethodCall(kSystemd, path, kPropertiesInterface, "Get");
    message.setArguments({kUnitInterface, name});
    QDBusMessage reply;
    if (!Call(message, reply)) return false;
    if (reply.arguments().isEmpty()) return Fail(SVC_ERROR_EXCEPTION_IN_SERVICE);
    value = reply.arguments().constFirst().value<QDBusVariant>().variant();
    return true;
}

bool CSystemdServiceControl::LoadedUnitPath(const QString& unit, QString& path) {
    QDBusMessage reply;
    if (!CallManager("GetUnit", {unit}, reply) || reply.arguments().isEmpty()) return false;
    path = reply.arguments().constFirst().value<QDBusObjectPath>().path();
    return !path.isEmpty() || Fail(SVC_ERROR_EXCEPTION_IN_SERVICE);
}

bool CSystemdServiceControl::UnitStatus(const QString& path, SServiceStatus& status) {
    QVariant activeState;
    if (!UnitProperty(path, "ActiveState", activeState)) {
        // systemd drops stopped units nobody refers to; such a unit is not running.
        if (m_nLastError != SVC_ERROR_SERVICE_DOES_NOT_EXIST) return false;
        activeState = QStringLiteral("inactive");
    }
    status.state = ServiceStateFromActiveState(activeState.toString());
    status.waitHintMs = status.state == EServiceState::Stopped ? 0 : kPollIntervalMs;
    return true;
}

const CSystemdServiceControl::SHandle* CSystemdServiceControl::HandleFor(SC_HANDLE handle,
                                                                         std::uint32_t right) {
    const auto it = m_mapHandles.find(handle);
    if (it == m_mapHandles.end() || it->second.bManager) {
        Fail(SVC_ERROR_INVALID_HANDLE);
        return nullptr;
    }
    if ((it->second.access & right) != right) {
        Fail(SVC_ERROR_ACCESS_DENIED);
        return nullptr;
    }
    return &it->second;
}

SC_HANDLE CSystemdServiceControl::OpenSCManager(std::uint32_t access) {
    if (!Connect()) return SC_NULL_HANDLE;
    // Asks the bus, not systemd, so that a missing manager is never started by bus activation.
    QDBusMessage message = QDBusMessage::createMethodCall("org.freedesktop.DBus", "/org/freedesktop/DBus",
                                                          "org.freedesktop.DBus", "NameHasOwner");
    message.setArguments({kSystemd});
    QDBusMessage reply;
    if (!Call(message, reply) || reply.arguments().isEmpty() || !reply.arguments().constFirst().toBool()) {
        Fail(SVC_ERROR_RPC_SERVER_UNAVAILABLE);
        return SC_NULL_HANDLE;
    }
    const SC_HANDLE handle = m_hNext++;
    m_mapHandles[handle] = {true, {}, {}, access};
    return handle;
}

SC_HANDLE CSystemdServiceControl::OpenService(SC_HANDLE manager, const std::string& name,
                                              std::uint32_t access) {
    const auto it = m_mapHandles.find(manager);
    if (it == m_mapHandles.end() || !it->second.bManager) {
        Fail(SVC_ERROR_INVALID_HANDLE);
        return SC_NULL_HANDLE;
    }
    QString unit = QString::fromStdString(name);
    if (unit.isEmpty()) {
        Fail(SVC_ERROR_INVALID_NAME);
        return SC_NULL_HANDLE;
    }
    if (!unit.endsWith(kServiceSuffix)) unit += kServiceSuffix;

    QString path;
    if (!LoadedUnitPath(unit, path)) {
        if (m_nLastError == SVC_ERROR_INVALID_PARAMETER) Fail(SVC_ERROR_INVALID_NAME);
        if (m_nLastError != SVC_ERROR_SERVICE_DOES_NOT_EXIST) return SC_NULL_HANDLE;
        // Not loaded right now: have systemd load it to learn whether it exists at all.
        QDBusMessage reply;
        if (!CallManager("LoadUnit", {unit}, reply) || reply.arguments().isEmpty()) return SC_NULL_HANDLE;
        path = reply.arguments().constFirst().value<QDBusObjectPath>().path();
        QVariant loadState;
        if (!UnitProperty(path, "LoadState", loadState)) return SC_NULL_HANDLE;
        if (loadState.toString() == QLatin1String("not-found")) {
            Fail(SVC_ERROR_SERVICE_DOES_NOT_EXIST);
            return SC_NULL_HANDLE;
        }
    }
    const SC_HANDLE handle = m_hNext++;
    m_mapHandles[handle] = {false, unit, path, access};
    return handle;
}

bool CSystemdServiceControl::QueryServiceStatus(SC_HANDLE service, SServiceStatus& status) {
    const SHandle* handle = HandleFor(service, SERVICE_QUERY_STATUS);
    return handle && UnitStatus(handle->strPath, status);
}

bool CSystemdServiceControl::EnumDependentServices(SC_HANDLE service, SEnumServiceStatus* buffer,
                                                   std::uint32_t bufferBytes, std::uint32_t& bytesNeeded,
                                                   std::uint32_t& count) {
    count = 0;
    bytesNeeded = 0;
    const SHandle* handle = HandleFor(service, SERVICE_ENUMERATE_DEPENDENTS);
    if (!handle) return false;

    QStringList units;
    for (const QString& property : kDependentProperties) {
        QVariant value;
        if (!UnitProperty(handle->strPath, property, value)) return false;
        units += qdbus_cast<QStringList>(value);
    }
    units.removeDuplicates();

    std::vector<std::pair<QByteArray, SServiceStatus>> active;
    for (const QString& unit : units) {
        if (!unit.endsWith(kServiceSuffix)) continue;  // only services are stopped, never targets
        QString path;
        if (!LoadedUnitPath(unit, path)) {
            if (m_nLastError == SVC_ERROR_SERVICE_DOES_NOT_EXIST) continue;  // not loaded: not running
            return false;
        }
        SServiceStatus status;
        if (!UnitStatus(path, status)) return false;
        if (status.state == EServiceState::Stopped) continue;
        QByteArray name = unit.chopped(kServiceSuffix.size()).toUtf8();
        if (name.size() > static_cast<qsizetype>(SEnumServiceStatus::kMaxNameLength)) continue;
        active.emplace_back(std::move(name), status);
    }

    bytesNeeded = static_cast<std::uint32_t>(active.size() * sizeof(SEnumServiceStatus));
    if (bufferBytes < bytesNeeded || (bytesNeeded > 0 && !buffer)) return Fail(SVC_ERROR_MORE_DATA);
    for (const auto& [name, status] : active) {
        SEnumServiceStatus& entry = buffer[count++];
        SetEnumEntryName(entry, std::string_view(name.constData(), static_cast<std::size_t>(name.size())));
        entry.status = status;
    }
    return true;
}

bool CSystemdServiceControl::SendStopControl(SC_HANDLE service, SServiceStatus& status) {
    const SHandle* handle = HandleFor(service, SERVICE_STOP);
    if (!handle) return false;
    QDBusMessage reply;
    if (!CallManager("StopUnit", {handle->strUnit, QStringLiteral("replace")}, reply)) return false;
    return UnitStatus(handle->strPath, status);
}

bool CSystemdServiceControl::CloseServiceHandle(SC_HANDLE handle) {
    if (m_mapHandles.erase(handle) == 0) return Fail(SVC_ERROR_INVALID_HANDLE);
    return true;
}

void* CSystemdServiceControl::HeapAlloc(std::size_t bytes) {
    void* memory = std::calloc(1, bytes > 0 ? bytes : 1);
    if (!memory) Fail(SVC_ERROR_NOT_ENOUGH_MEMORY);
    return memory;
}

void CSystemdServiceControl::HeapFree(void* memory) { std::free(memory); }

}  // namespace wavory
