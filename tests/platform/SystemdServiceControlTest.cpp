// The systemd backend: against whatever system bus this machine has, against an address where no
// bus listens, and against a stand-in systemd on a private bus (state and error mapping, which
// dependents are stopped, bounded waits).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <map>
#include <memory>
#include <sstream>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#include <QMutex>
#include <QThread>

#include "platform/HistoryService.h"
#include "platform/SystemdServiceControl.h"

extern char** environ;

namespace wavory {
namespace {

using Clock = std::chrono::steady_clock;

long long MsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// --- Start-up on this machine -----------------------------------------------------------------

// Whether or not a system bus exists here, start-up reports why it could not stop the service
// and goes on, within the bound of a few calls.
TEST(SystemdStartUp, WirelessServiceIsNotFoundQuicklyWhateverTheBus) {
    CSystemdServiceControl sc;
    std::ostringstream out;
    const auto start = Clock::now();

    EXPECT_FALSE(StopServiceAndDependents(sc, "wzcsvc", out));

    EXPECT_LT(MsSince(start), 4 * CSystemdServiceControl::kDefaultTimeoutMs);
    const std::string text = out.str();
    const bool noManager = text.rfind("OpenSCManager() failed:\n    error code = 1722\n", 0) == 0;
    const bool noService = text.rfind("OpenService() failed:\n    error code = 1060\n", 0) == 0;
    EXPECT_TRUE(noManager || noService) << text;
}

TEST(SystemdStartUp, BusThatDoesNotAnswerMeansNoManager) {
    CSystemdServiceControl sc(QStringLiteral("unix:path=/nonexistent/wavory-test-bus"), 500);
    std::ostringstream out;

    EXPECT_FALSE(StopServiceAndDependents(sc, "wzcsvc", out));
    EXPECT_EQ(out.str(),
              "OpenSCManager() failed:\n"
              "    error code = 1722\n"
              "    message    = The RPC server is unavailable.\n");
}

// --- Against a stand-in systemd on a private bus ----------------------------------------------

// Answers the few calls of systemd's manager and unit objects that the backend makes.
class CStandInSystemd final : public QDBusVirtualObject {
public:
    struct SUnit {
        QString activeState = QStringLiteral("active");
        QString loadState = QStringLiteral("loaded");
        bool bLoaded = true;  // GetUnit knows it without LoadUnit
        QStringList requiredBy, boundBy, wantedBy;
        int nDeactivatingReads = 1;  // ActiveState reads that still say "deactivating" after StopUnit
        bool bDenyStop = false;
    };

    void SetUnit(const QString& name, const SUnit& unit) {
        QMutexLocker lock(&m_mutex);
        m_mapUnits[name] = unit;
    }
    // The state of a unit file for GetUnitFileState ("enabled", "disabled"); none: not installed.
    void SetFileState(const QString& name, const QString& state) {
        QMutexLocker lock(&m_mutex);
        m_mapFileStates[name] = state;
    }
    void SetSilent(bool silent) {
        QMutexLocker lock(&m_mutex);
        m_bSilent = silent;
    }
    QStringList Calls() {
        QMutexLocker lock(&m_mutex);
        return m_listCalls;
    }
    QStringList Stops() { return Calls().filter(QStringLiteral("StopUnit ")); }

    QString introspect(const QString&) const override { return {}; }

    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        QMutexLocker lock(&m_mutex);
        QStringList args;
        for (const QVariant& arg : message.arguments()) args << arg.toString();
        m_listCalls << message.member() + ' ' + args.join(' ');
        if (m_bSilent) return true;
        connection.send(Answer(message, args));
        return true;
    }

private:
    static QString PathOf(const QString& unit) {
        QString path = QStringLiteral("/org/freedesktop/systemd1/unit/");
        for (const QChar c : unit)
            path +=
                c.isLetterOrNumber() ? QString(c) : QStringLiteral("_%1").arg(c.unicode(), 2, 16, QChar('0'));
        return path;
    }

    static QDBusMessage NoSuchUnit(const QDBusMessage& message) {
        return message.createErrorReply(QStringLiteral("org.freedesktop.systemd1.NoSuchUnit"),
                                        "no such unit");
    }

    QDBusMessage Answer(const QDBusMessage& message, const QStringList& args) {
        const QString method = message.member();
        if (method == QLatin1String("Get")) return Property(message, args.value(1));
        const QString name = args.value(0);
        auto it = m_mapUnits.find(name);
        if (method == QLatin1String("GetUnit")) {
            if (it == m_mapUnits.end() || !it->second.bLoaded) return NoSuchUnit(message);
            return message.createReply(QVariant::fromValue(QDBusObjectPath(PathOf(name))));
        }
        if (method == QLatin1String("LoadUnit")) {
            if (it == m_mapUnits.end()) {
                SUnit missing;
                missing.activeState = QStringLiteral("inactive");
                missing.loadState = QStringLiteral("not-found");
                it = m_mapUnits.emplace(name, missing).first;
            }
            it->second.bLoaded = true;
            return message.createReply(QVariant::fromValue(QDBusObjectPath(PathOf(name))));
        }
        if (method == QLatin1String("GetUnitFileState")) {
            const auto file = m_mapFileStates.find(name);
            if (file == m_mapFileStates.end())
                return message.createErrorReply(QStringLiteral("org.freedesktop.DBus.Error.FileNotFound"), name);
            return message.createReply(file->second);
        }
        if (method == QLatin1String("EnableUnitFiles") || method == QLatin1String("DisableUnitFiles")) {
            const QStringList files = message.arguments().value(0).toStringList();
            for (const QString& f : files) {
                if (!m_mapFileStates.count(f))
                    return message.createErrorReply(QStringLiteral("org.freedesktop.DBus.Error.FileNotFound"), f);
                m_mapFileStates[f] = method.startsWith(QLatin1String("Enable")) ? QStringLiteral("enabled")
                                                                                : QStringLiteral("disabled");
            }
            return message.createReply();
        }
        if (method == QLatin1String("Reload")) return message.createReply();
        if (method == QLatin1String("StartUnit")) {
            if (!m_mapFileStates.count(name)) return NoSuchUnit(message);
            SUnit& unit = m_mapUnits[name];
            unit.activeState = QStringLiteral("active");
            return message.createReply(
                QVariant::fromValue(QDBusObjectPath("/org/freedesktop/systemd1/job/2")));
        }
        if (method == QLatin1String("StopUnit")) {
            if (it == m_mapUnits.end()) return NoSuchUnit(message);
            if (it->second.bDenyStop)
                return message.createErrorReply(QStringLiteral("org.freedesktop.DBus.Error.AccessDenied"),
                                                "no");
            it->second.activeState = QStringLiteral("deactivating");
            return message.createReply(
                QVariant::fromValue(QDBusObjectPath("/org/freedesktop/systemd1/job/1")));
        }
        return message.createErrorReply(QStringLiteral("org.freedesktop.DBus.Error.UnknownMethod"), method);
    }

    QDBusMessage Property(const QDBusMessage& message, const QString& property) {
        for (auto& [name, unit] : m_mapUnits) {
            if (PathOf(name) != message.path() || !unit.bLoaded) continue;
            QVariant value;
            if (property == QLatin1String("ActiveState")) {
                value = unit.activeState;
                if (unit.activeState == QLatin1String("deactivating") && unit.nDeactivatingReads-- <= 0) {
                    unit.activeState = QStringLiteral("inactive");
                    value = unit.activeState;
                }
            } else if (property == QLatin1String("LoadState")) {
                value = unit.loadState;
            } else if (property == QLatin1String("RequiredBy")) {
                value = unit.requiredBy;
            } else if (property == QLatin1String("BoundBy")) {
                value = unit.boundBy;
            } else if (property == QLatin1String("WantedBy")) {
                value = unit.wantedBy;
            } else {
                return message.createErrorReply(QStringLiteral("org.freedesktop.DBus.Error.InvalidArgs"),
                                                property);
            }
            return message.createReply(QVariant::fromValue(QDBusVariant(value)));
        }
        return message.createErrorReply(QStringLiteral("org.freedesktop.DBus.Error.UnknownObject"),
                                        message.path());
    }

    QMutex m_mutex;
    std::map<QString, SUnit> m_mapUnits;
    std::map<QString, QString> m_mapFileStates;
    QStringList m_listCalls;
    bool m_bSilent = false;
};

class SystemdPrivateBusTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        // The stand-in runs an event loop in its own thread, which needs an application object.
        if (!QCoreApplication::instance()) {
            static int argc = 1;
            static char name[] = "test_platform";
            static char* argv[] = {name, nullptr};
            s_pApp = new QCoreApplication(argc, argv);
        }
        int fds[2];
        if (::pipe(fds) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
        posix_spawn_file_actions_addclose(&actions, fds[0]);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        char arg0[] = "dbus-daemon", arg1[] = "--session", arg2[] = "--nofork", arg3[] = "--print-address=1";
        char* argv[] = {arg0, arg1, arg2, arg3, nullptr};
        if (posix_spawnp(&s_nDaemon, "dbus-daemon", &actions, nullptr, argv, environ) != 0) s_nDaemon = 0;
        posix_spawn_file_actions_destroy(&actions);
        ::close(fds[1]);
        std::string address;
        char c;
        while (s_nDaemon != 0 && ::read(fds[0], &c, 1) == 1 && c != '\n') address += c;
        ::close(fds[0]);
        s_strAddress = QString::fromStdString(address);
    }

    static void TearDownTestSuite() {
        if (s_nDaemon > 0) {
            ::kill(s_nDaemon, SIGTERM);
            ::waitpid(s_nDaemon, nullptr, 0);
            s_nDaemon = 0;
        }
        delete s_pApp;
        s_pApp = nullptr;
    }

    void SetUp() override {
        if (s_strAddress.isEmpty()) GTEST_SKIP() << "no dbus-daemon to run a private bus";
        m_strConnection = QStringLiteral("stand-in-%1").arg(++s_nTests);
        m_pSystemd = std::make_unique<CStandInSystemd>();
        QDBusConnection connection = QDBusConnection::connectToBus(s_strAddress, m_strConnection);
        ASSERT_TRUE(connection.isConnected());
        ASSERT_TRUE(connection.registerVirtualObject(QStringLiteral("/org/freedesktop/systemd1"),
                                                     m_pSystemd.get(), QDBusConnection::SubPath));
        // Calls reach the object in its own thread, so the test thread can block on them.
        m_pSystemd->moveToThread(&m_thread);
        m_thread.start();
    }

    void TearDown() override {
        if (m_strConnection.isEmpty()) return;
        QDBusConnection::disconnectFromBus(m_strConnection);
        m_thread.quit();
        m_thread.wait();
    }

    void ClaimSystemdName() {
        ASSERT_TRUE(
            QDBusConnection(m_strConnection).registerService(QStringLiteral("org.freedesktop.systemd1")));
    }

    // A unit that goes through "deactivating" for one status read after the stop.
    static CStandInSystemd::SUnit Active(QStringList requiredBy = {}, QStringList boundBy = {}) {
        CStandInSystemd::SUnit unit;
        unit.requiredBy = std::move(requiredBy);
        unit.boundBy = std::move(boundBy);
        return unit;
    }

    std::unique_ptr<CSystemdServiceControl> Backend(int timeoutMs = 2000) {
        return std::make_unique<CSystemdServiceControl>(s_strAddress, timeoutMs);
    }

    static inline QCoreApplication* s_pApp = nullptr;
    static inline pid_t s_nDaemon = 0;
    static inline QString s_strAddress;
    static inline int s_nTests = 0;

    QThread m_thread;
    std::unique_ptr<CStandInSystemd> m_pSystemd;
    QString m_strConnection;
    std::ostringstream m_out;
};

TEST_F(SystemdPrivateBusTest, BusWithoutSystemdMeansNoManager) {
    auto sc = Backend();
    EXPECT_EQ(sc->OpenSCManager(SC_MANAGER_CONNECT), SC_NULL_HANDLE);
    EXPECT_EQ(sc->GetLastError(), SVC_ERROR_RPC_SERVER_UNAVAILABLE);
    EXPECT_TRUE(m_pSystemd->Calls().isEmpty());  // systemd was not asked, nor started
}

TEST_F(SystemdPrivateBusTest, UnitThatDoesNotExistPrintsTheOpenServiceDiagnostic) {
    ClaimSystemdName();
    auto sc = Backend();

    EXPECT_FALSE(StopServiceAndDependents(*sc, "wzcsvc", m_out));
    EXPECT_EQ(m_out.str(),
              "OpenService() failed:\n"
              "    error code = 1060\n"
              "    message    = The specified service does not exist as an installed service.\n");
    EXPECT_TRUE(m_pSystemd->Calls().contains(QStringLiteral("LoadUnit wzcsvc.service")));
}

TEST_F(SystemdPrivateBusTest, UnitNotLoadedYetIsLoadedAndFoundStopped) {
    ClaimSystemdName();
    CStandInSystemd::SUnit unit;
    unit.activeState = QStringLiteral("inactive");
    unit.bLoaded = false;
    m_pSystemd->SetUnit(QStringLiteral("wzcsvc.service"), unit);
    auto sc = Backend();

    EXPECT_TRUE(StopServiceAndDependents(*sc, "wzcsvc", m_out));
    EXPECT_TRUE(m_pSystemd->Stops().isEmpty());
}

TEST_F(SystemdPrivateBusTest, StopsActiveServiceDependentsThenTheUnit) {
    ClaimSystemdName();
    CStandInSystemd::SUnit idle;
    idle.activeState = QStringLiteral("inactive");
    CStandInSystemd::SUnit notLoaded;
    notLoaded.bLoaded = false;
    CStandInSystemd::SUnit wzc =
        Active({"dep.service", "multi-user.target", "idle.service", "unloaded.service"},
               {"dep.service", "bound.service"});
    wzc.wantedBy = QStringList{"graphical.target", "wanted.service"};
    m_pSystemd->SetUnit(QStringLiteral("wzcsvc.service"), wzc);
    m_pSystemd->SetUnit(QStringLiteral("dep.service"), Active());
    m_pSystemd->SetUnit(QStringLiteral("bound.service"), Active());
    m_pSystemd->SetUnit(QStringLiteral("wanted.service"), Active());
    m_pSystemd->SetUnit(QStringLiteral("multi-user.target"), Active());
    m_pSystemd->SetUnit(QStringLiteral("idle.service"), idle);
    m_pSystemd->SetUnit(QStringLiteral("unloaded.service"), notLoaded);
    auto sc = Backend();

    EXPECT_TRUE(StopServiceAndDependents(*sc, "wzcsvc", m_out));
    EXPECT_EQ(m_pSystemd->Stops(),
              (QStringList{"StopUnit dep.service replace", "StopUnit bound.service replace",
                           "StopUnit wzcsvc.service replace"}));
    EXPECT_EQ(m_out.str(), "");
}

TEST_F(SystemdPrivateBusTest, DeactivatingUnitIsStopPendingWithAPollInterval) {
    ClaimSystemdName();
    CStandInSystemd::SUnit unit;
    unit.activeState = QStringLiteral("deactivating");
    unit.nDeactivatingReads = 5;
    m_pSystemd->SetUnit(QStringLiteral("wzcsvc.service"), unit);
    auto sc = Backend();

    const SC_HANDLE manager = sc->OpenSCManager(SC_MANAGER_CONNECT);
    const SC_HANDLE service = sc->OpenService(manager, "wzcsvc", SERVICE_QUERY_STATUS);
    ASSERT_NE(service, SC_NULL_HANDLE);
    SServiceStatus status;
    ASSERT_TRUE(sc->QueryServiceStatus(service, status));
    EXPECT_EQ(status.state, EServiceState::StopPending);
    EXPECT_EQ(status.waitHintMs, CSystemdServiceControl::kPollIntervalMs);
    // The handle was opened for queries only.
    EXPECT_FALSE(sc->SendStopControl(service, status));
    EXPECT_EQ(sc->GetLastError(), SVC_ERROR_ACCESS_DENIED);
    EXPECT_TRUE(sc->CloseServiceHandle(service));
    EXPECT_FALSE(sc->CloseServiceHandle(service));
    EXPECT_TRUE(sc->CloseServiceHandle(manager));
}

TEST_F(SystemdPrivateBusTest, RefusedStopReturnsAccessDenied) {
    ClaimSystemdName();
    CStandInSystemd::SUnit unit;
    unit.bDenyStop = true;
    m_pSystemd->SetUnit(QStringLiteral("wzcsvc.service"), unit);
    auto sc = Backend();

    const SC_HANDLE manager = sc->OpenSCManager(SC_MANAGER_CONNECT);
    const SC_HANDLE service = sc->OpenService(
        manager, "wzcsvc", SERVICE_STOP | SERVICE_QUERY_STATUS | SERVICE_ENUMERATE_DEPENDENTS);
    ASSERT_NE(service, SC_NULL_HANDLE);
    EXPECT_EQ(StopService(*sc, manager, service, true, kServiceStopTimeoutMs), SVC_ERROR_ACCESS_DENIED);
}

TEST_F(SystemdPrivateBusTest, ManagerThatNeverAnswersCostsOnlyTheCallTimeout) {
    ClaimSystemdName();
    m_pSystemd->SetSilent(true);
    auto sc = Backend(300);
    const auto start = Clock::now();

    EXPECT_FALSE(StopServiceAndDependents(*sc, "wzcsvc", m_out));

    EXPECT_LT(MsSince(start), 1500);
    EXPECT_EQ(m_out.str().rfind("OpenService() failed:\n    error code = 1053\n", 0), 0u) << m_out.str();
}

}  // namespace
}  // namespace wavory

namespace wavory {
namespace {

// The history's user service switched on and off through the user's manager: enabled and started,
// stopped and disabled; a manager that is not there or a unit not installed is said so.
TEST_F(SystemdPrivateBusTest, HistoryServiceIsEnabledAndStartedThenStoppedAndDisabled) {
    const QString unit = QString::fromLatin1(CHistoryService::kUnit);
    {
        CHistoryService service(s_strAddress, 2000);
        QString why;
        EXPECT_EQ(service.State(&why), CHistoryService::EState::Unavailable);
        EXPECT_TRUE(why.contains(QStringLiteral("no user service manager"))) << why.toStdString();
    }
    ClaimSystemdName();
    CHistoryService service(s_strAddress, 2000);
    QString why;
    EXPECT_EQ(service.State(&why), CHistoryService::EState::Unavailable);
    EXPECT_TRUE(why.contains(QStringLiteral("not installed"))) << why.toStdString();
    QString error;
    EXPECT_FALSE(service.Set(true, &error));
    EXPECT_TRUE(error.contains(QStringLiteral("not installed"))) << error.toStdString();

    m_pSystemd->SetFileState(unit, QStringLiteral("disabled"));
    EXPECT_EQ(service.State(&why), CHistoryService::EState::Off);
    ASSERT_TRUE(service.Set(true, &error)) << error.toStdString();
    EXPECT_EQ(service.State(&why), CHistoryService::EState::On);
    const QStringList on = m_pSystemd->Calls();
    EXPECT_TRUE(on.contains(QStringLiteral("StartUnit ") + unit + QStringLiteral(" replace")));
    EXPECT_EQ(on.filter(QStringLiteral("Reload")).size(), 1);

    ASSERT_TRUE(service.Set(false, &error)) << error.toStdString();
    EXPECT_EQ(service.State(&why), CHistoryService::EState::Off);
    EXPECT_TRUE(m_pSystemd->Calls().contains(QStringLiteral("StopUnit ") + unit + QStringLiteral(" replace")));
}

}  // namespace
}  // namespace wavory
