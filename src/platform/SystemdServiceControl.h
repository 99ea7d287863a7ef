// The service control manager on Linux: systemd, reached over its D-Bus API on the system bus.
// A service name "x" is the unit "x.service". Every D-Bus call is bounded by a short timeout, so a
// missing or hung manager costs start-up at most a few seconds.
#pragma once

#include <cstdint>
#include <map>

#include <QString>
#include <QVariant>

#include "base/ServiceControl.h"

class QDBusMessage;

namespace wavory {

class CSystemdServiceControl final : public IServiceControl {
public:
    static constexpr int kDefaultTimeoutMs = 2000;
    // What a not yet stopped unit reports as its wait hint: systemd gives none, and polling the
    // manager back to back would only load it.
    static constexpr std::uint32_t kPollIntervalMs = 200;

    // Uses the system bus.
    explicit CSystemdServiceControl(int timeoutMs = kDefaultTimeoutMs);
    // Uses the bus at this address (a private bus with a stand-in manager, for tests).
    CSystemdServiceControl(const QString& busAddress, int timeoutMs);
    ~CSystemdServiceControl() override;
    CSystemdServiceControl(const CSystemdServiceControl&) = delete;
    CSystemdServiceControl& operator=(const CSystemdServiceControl&) = delete;

    SC_HANDLE OpenSCManager(std::uint32_t access) override;
    SC_HANDLE OpenService(SC_HANDLE manager, const std::string& name, std::uint32_t access) override;
    bool QueryServiceStatus(SC_HANDLE service, SServiceStatus& status) override;
    bool EnumDependentServices(SC_HANDLE service, SEnumServiceStatus* buffer, std::uint32_t bufferBytes,
                               std::uint32_t& bytesNeeded, std::uint32_t& count) override;
    bool SendStopControl(SC_HANDLE service, SServiceStatus& status) override;
    bool CloseServiceHandle(SC_HANDLE handle) override;
    std::uint32_t GetLastError() const override { return m_nLastError; }
    void* HeapAlloc(std::size_t bytes) override;
    void HeapFree(void* memory) override;
    std::uint32_t GetTickCount() override { return SystemTickCount(); }
    void Sleep(std::uint32_t ms) override { SystemSleep(ms); }

private:
    struct SHandle {
        bool bManager;
        QString strUnit;  // "x.service"
        QString strPath;  // the unit's object path
        std::uint32_t access;
    };

    bool Connect();
    // Sends a method call; on failure sets the last error from the D-Bus error and returns false.
    bool Call(const QDBusMessage& message, QDBusMessage& reply);
    bool CallManager(const QString& method, const QVariantList& args, QDBusMessage& reply);
    bool UnitProperty(const QString& path, const QString& name, QVariant& value);
    // The unit's object path if systemd has it loaded; false with SVC_ERROR_SERVICE_DOES_NOT_EXIST if not.
    bool LoadedUnitPath(const QString& unit, QString& path);
    bool UnitStatus(const QString& path, SServiceStatus& status);
    const SHandle* HandleFor(SC_HANDLE handle, std::uint32_t right);
    bool Fail(std::uint32_t code);

    QString m_strBusAddress;  // empty: the system bus
    QString m_strConnection;  // name of our own connection once made
    bool m_bConnected = false;
    int m_nTimeoutMs;
    std::map<SC_HANDLE, SHandle> m_mapHandles;
    SC_HANDLE m_hNext = 1;
    std::uint32_t m_nLastError = SVC_OK;
};

}  // namespace wavory
