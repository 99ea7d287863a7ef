// The user service that records the connection history while no window runs
// (wavory-history.service, `wavoryctl history --record`), switched on and off through the user's
// systemd manager on the session bus: enabled and started, or stopped and disabled. Every call is
// bounded by a short timeout.
#pragma once

#include <QString>

namespace wavory {

class CHistoryService {
public:
    static constexpr const char* kUnit = "wavory-history.service";
    static constexpr int kDefaultTimeoutMs = 3000;

    enum class EState { Unavailable, Off, On };

    // The session bus; or the bus at `busAddress` (a private bus with a stand-in manager, for tests).
    explicit CHistoryService(QString busAddress = {}, int timeoutMs = kDefaultTimeoutMs);
    ~CHistoryService();
    CHistoryService(const CHistoryService&) = delete;
    CHistoryService& operator=(const CHistoryService&) = delete;

    // Whether the service is enabled; Unavailable with the reason (no user manager, the unit not
    // installed) in *why.
    EState State(QString* why);
    // Enables and starts it, or stops and disables it; false with the reason in *error.
    bool Set(bool on, QString* error);

private:
    bool Call(const QString& method, const QVariantList& args, QVariantList* out, QString* error);

    QString m_strBusAddress;
    QString m_strConnection;
    int m_nTimeoutMs;
    bool m_bConnected = false;
};

}  // namespace wavory
