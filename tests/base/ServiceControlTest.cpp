// Stopping the wireless configuration service and its dependents, driven through the in-memory
// manager on a virtual clock.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "base/FakeServiceControl.h"
#include "base/ServiceControl.h"
#include "base/Trace.h"

namespace wavory {
namespace {

using EOp = CFakeServiceControl::EOp;

constexpr std::uint32_t kFullAccess = SERVICE_STOP | SERVICE_QUERY_STATUS | SERVICE_ENUMERATE_DEPENDENTS;

SFakeService Running(std::vector<std::string> dependents = {}) {
    SFakeService service;
    service.dependents = std::move(dependents);
    return service;
}

// Goes stop-pending with the stop control and reports stopped on the given query.
SFakeService StopsAfterQueries(std::int64_t queries, std::uint32_t waitHintMs) {
    SFakeService service;
    service.stopAfterQueries = queries;
    service.waitHintMs = waitHintMs;
    return service;
}

SFakeService NeverStops(EServiceState state, std::uint32_t waitHintMs) {
    SFakeService service;
    service.state = state;
    service.waitHintMs = waitHintMs;
    service.stopAfterQueries = SFakeService::kNever;
    return service;
}

std::vector<std::pair<EOp, std::string>> OpsOf(const CFakeServiceControl& sc,
                                               std::initializer_list<EOp> ops) {
    std::vector<std::pair<EOp, std::string>> seen;
    for (const auto& call : sc.Calls()) {
        for (EOp op : ops) {
            if (call.op == op) seen.emplace_back(call.op, call.service);
        }
    }
    return seen;
}

class ServiceStopTest : public ::testing::Test {
protected:
    // StopService as start-up runs it, on handles opened here and closed afterwards.
    std::uint32_t Stop(const std::string& name = "wzcsvc", bool stopDependents = true,
                       std::uint32_t timeoutMs = kServiceStopTimeoutMs) {
        const SC_HANDLE manager = m_sc.OpenSCManager(SC_MANAGER_CONNECT);
        const SC_HANDLE service = m_sc.OpenService(manager, name, kFullAccess);
        EXPECT_NE(service, SC_NULL_HANDLE);
        m_nStart = m_sc.GetTickCount();
        const std::uint32_t code = StopService(m_sc, manager, service, stopDependents, timeoutMs);
        m_nElapsed = m_sc.GetTickCount() - m_nStart;
        m_sc.CloseServiceHandle(service);
        m_sc.CloseServiceHandle(manager);
        return code;
    }

    CFakeServiceControl m_sc;
    std::ostringstream m_out;
    std::uint32_t m_nStart = 0;
    std::uint32_t m_nElapsed = 0;
};

// --- Services that are stopped already or being stopped ---------------------------------------

TEST_F(ServiceStopTest, AlreadyStoppedSucceedsWithoutAnyStopControl) {
    SFakeService wzc = Running({"dep"});
    wzc.state = EServiceState::Stopped;
    m_sc.AddService("wzcsvc", wzc);
    m_sc.AddService("dep", Running());

    EXPECT_TRUE(StopServiceAndDependents(m_sc, "wzcsvc", m_out));
    EXPECT_TRUE(m_sc.StopsSent().empty());
    EXPECT_TRUE(m_sc.CallsOf(EOp::EnumDependents).empty());
    EXPECT_EQ(m_sc.StateOf("dep"), EServiceState::Running);
    EXPECT_EQ(m_out.str(), "");
}

TEST_F(ServiceStopTest, StopPendingThatStopsInTimeSucceedsWithoutStopControl) {
    SFakeService wzc = NeverStops(EServiceState::StopPending, 1000);
    wzc.stopAfterMs = 4500;
    wzc.dependents = {"dep"};
    m_sc.AddService("wzcsvc", wzc);
    m_sc.AddService("dep", Running());

    EXPECT_EQ(Stop(), SVC_OK);
    EXPECT_TRUE(m_sc.StopsSent().empty());
    EXPECT_EQ(m_sc.StateOf("dep"), EServiceState::Running);
    EXPECT_EQ(m_sc.SleepCalls(), 5);  // slept the reported hint each time
    EXPECT_EQ(m_sc.SleptMs(), 5000u);
}

TEST_F(ServiceStopTest, StopPendingThatNeverStopsTimesOutJustAfterTheLimit) {
    m_sc.AddService("wzcsvc", NeverStops(EServiceState::StopPending, 1000));

    EXPECT_EQ(Stop(), SVC_ERROR_TIMEOUT);
    EXPECT_TRUE(m_sc.StopsSent().empty());
    // Exactly 30000 ms elapsed is not yet a timeout; it takes one more wait.
    EXPECT_EQ(m_nElapsed, 31000u);
}

TEST_F(ServiceStopTest, StopPendingSeenStoppedAtTheDeadlineIsNoTimeout) {
    SFakeService wzc = NeverStops(EServiceState::StopPending, 1000);
    wzc.stopAfterMs = 31000;
    m_sc.AddService("wzcsvc", wzc);

    EXPECT_EQ(Stop(), SVC_OK);
    EXPECT_EQ(m_nElapsed, 31000u);
}

// --- Waiting ----------------------------------------------------------------------------------

TEST_F(ServiceStopTest, WaitHintZeroIsPolledWithoutSleepingUntilStopped) {
    m_sc.AddService("wzcsvc", StopsAfterQueries(50, 0));

    EXPECT_EQ(Stop(), SVC_OK);
    EXPECT_EQ(m_sc.SleepCalls(), 0);
    EXPECT_EQ(m_sc.CallsOf(EOp::Query).size(), 51u);
}

TEST_F(ServiceStopTest, WaitHintZeroIsPolledWithoutSleepingUntilTimeout) {
    m_sc.AddService("wzcsvc", NeverStops(EServiceState::Running, 0));
    m_sc.SetQueryCostMs(1);

    EXPECT_EQ(Stop(), SVC_ERROR_TIMEOUT);
    EXPECT_EQ(m_sc.SleepCalls(), 0);
    EXPECT_EQ(m_nElapsed, 30001u);
}

TEST_F(ServiceStopTest, ServiceThatNeverStopsAfterTheControlTimesOut) {
    m_sc.AddService("wzcsvc", NeverStops(EServiceState::Running, 1000));

    EXPECT_FALSE(StopServiceAndDependents(m_sc, "wzcsvc", m_out));
    EXPECT_EQ(m_sc.StopsSent(), std::vector<std::string>{"wzcsvc"});
    EXPECT_EQ(m_sc.OpenHandles(), 0u);
    EXPECT_EQ(m_out.str(), "");  // errors of the stop itself are not printed
}

TEST_F(ServiceStopTest, ServiceSeenStoppedAtTheDeadlineIsNoTimeout) {
    SFakeService wzc = NeverStops(EServiceState::Running, 1000);
    wzc.stopAfterMs = 31000;
    m_sc.AddService("wzcsvc", wzc);

    EXPECT_EQ(Stop(), SVC_OK);
    EXPECT_EQ(m_nElapsed, 31000u);
}

TEST_F(ServiceStopTest, OneClockBoundsDependentsAndServiceTogether) {
    // Each wait alone fits in 30 s; together they do not.
    SFakeService dep = NeverStops(EServiceState::Running, 1000);
    dep.stopAfterMs = 20000;
    SFakeService wzc = NeverStops(EServiceState::Running, 1000);
    wzc.stopAfterMs = 15000;
    wzc.dependents = {"dep"};
    m_sc.AddService("wzcsvc", wzc);
    m_sc.AddService("dep", dep);

    EXPECT_EQ(Stop(), SVC_ERROR_TIMEOUT);
    EXPECT_EQ(m_nElapsed, 31000u);
}

TEST_F(ServiceStopTest, WaitAcrossTheWrapOfTheTickCountIsNoTimeout) {
    m_sc.SetTickCount(0xFFFFFFFFu - 2500);
    m_sc.AddService("wzcsvc", StopsAfterQueries(10, 1000));

    EXPECT_EQ(Stop(), SVC_OK);
    EXPECT_EQ(m_nElapsed, 10000u);
}

TEST_F(ServiceStopTest, TimeoutAcrossTheWrapOfTheTickCountComesOnTime) {
    m_sc.SetTickCount(0xFFFFFFFFu - 2500);
    m_sc.AddService("wzcsvc", NeverStops(EServiceState::Running, 1000));

    EXPECT_EQ(Stop(), SVC_ERROR_TIMEOUT);
    EXPECT_EQ(m_nElapsed, 31000u);
}

// --- Dependents -------------------------------------------------------------------------------

TEST_F(ServiceStopTest, DependentsAreStoppedInListedOrderEachWaitedForBeforeTheService) {
    SFakeService stopped;
    stopped.state = EServiceState::Stopped;
    m_sc.AddService("wzcsvc", Running({"b", "a", "c"}));
    m_sc.AddService("b", StopsAfterQueries(2, 300));
    m_sc.AddService("a", Running());
    m_sc.AddService("c", stopped);

    EXPECT_TRUE(StopServiceAndDependents(m_sc, "wzcsvc", m_out));

    const std::vector<std::pair<EOp, std::string>> expected = {
        {EOp::Query, "wzcsvc"}, {EOp::Stop, "b"}, {EOp::Query, "b"}, {EOp::Query, "b"},
        {EOp::Close, "b"},      {EOp::Stop, "a"}, {EOp::Close, "a"}, {EOp::Stop, "wzcsvc"},
        {EOp::Close, "wzcsvc"}, {EOp::Close, ""}};
    EXPECT_EQ(OpsOf(m_sc, {EOp::Query, EOp::Stop, EOp::Close}), expected);
    EXPECT_EQ(m_sc.SleptMs(), 600u);
    EXPECT_EQ(m_sc.StateOf("wzcsvc"), EServiceState::Stopped);
}

TEST_F(ServiceStopTest, OpensWithTheAccessEachStepNeeds) {
    m_sc.AddService("wzcsvc", Running({"dep"}));
    m_sc.AddService("dep", Running());

    EXPECT_TRUE(StopServiceAndDependents(m_sc, "wzcsvc", m_out));

    const auto opens = m_sc.CallsOf(EOp::OpenService);
    ASSERT_EQ(opens.size(), 2u);
    EXPECT_EQ(m_sc.CallsOf(EOp::OpenManager).at(0).access, std::uint32_t{SC_MANAGER_CONNECT});
    EXPECT_EQ(opens[0].access, kFullAccess);
    EXPECT_EQ(opens[1].access, std::uint32_t{SERVICE_STOP | SERVICE_QUERY_STATUS});
}

TEST_F(ServiceStopTest, WithoutDependentsNoBufferIsAllocated) {
    m_sc.AddService("wzcsvc", Running());

    EXPECT_EQ(Stop(), SVC_OK);
    EXPECT_EQ(m_sc.CallsOf(EOp::EnumDependents).size(), 1u);
    EXPECT_TRUE(m_sc.CallsOf(EOp::Alloc).empty());
}

TEST_F(ServiceStopTest, DependentsLeftAloneWhenNotAsked) {
    m_sc.AddService("wzcsvc", Running({"dep"}));
    m_sc.AddService("dep", Running());

    // The manager refuses to stop a service whose dependents still run.
    EXPECT_EQ(Stop("wzcsvc", false), SVC_ERROR_DEPENDENT_SERVICES_RUNNING);
    EXPECT_TRUE(m_sc.CallsOf(EOp::EnumDependents).empty());
    EXPECT_EQ(m_sc.StateOf("dep"), EServiceState::Running);
}

// --- Failing calls ----------------------------------------------------------------------------

struct SFailureCase {
    const char* label;
    EOp op;
    const char* service;
    int nth;
    std::uint32_t injected;
    std::uint32_t expected;
    std::vector<std::string> stops;  // stop controls sent before the failure ended the run
};

void PrintTo(const SFailureCase& c, std::ostream* os) { *os << c.label; }

// wzcsvc with two dependents that each take a while to stop.
void Populate(CFakeServiceControl& sc) {
    sc.AddService("wzcsvc", [] {
        SFakeService wzc = StopsAfterQueries(2, 500);
        wzc.dependents = {"dep1", "dep2"};
        return wzc;
    }());
    sc.AddService("dep1", StopsAfterQueries(1, 200));
    sc.AddService("dep2", StopsAfterQueries(3, 300));
}

class ServiceStopFailureTest : public ::testing::TestWithParam<SFailureCase> {};

TEST_P(ServiceStopFailureTest, ReturnsTheFailingCallsCode) {
    const SFailureCase& c = GetParam();
    CFakeServiceControl sc;
    Populate(sc);
    sc.FailCall(c.op, c.service, c.injected, c.nth);

    const SC_HANDLE manager = sc.OpenSCManager(SC_MANAGER_CONNECT);
    const SC_HANDLE service = sc.OpenService(manager, "wzcsvc", kFullAccess);
    EXPECT_EQ(StopService(sc, manager, service, true, kServiceStopTimeoutMs), c.expected);
    EXPECT_EQ(sc.StopsSent(), c.stops);
    // Inside the run only the two handles of the caller stay open and the buffer is given back.
    EXPECT_EQ(sc.OpenHandles(), 2u);
    EXPECT_EQ(sc.LiveBuffers(), 0u);
}

TEST_P(ServiceStopFailureTest, ClosesEveryHandleAndPrintsNothing) {
    const SFailureCase& c = GetParam();
    CFakeServiceControl sc;
    Populate(sc);
    sc.FailCall(c.op, c.service, c.injected, c.nth);
    std::ostringstream out;

    EXPECT_FALSE(StopServiceAndDependents(sc, "wzcsvc", out));
    EXPECT_EQ(out.str(), "");
    EXPECT_EQ(sc.OpenHandles(), 0u);
    EXPECT_EQ(sc.LiveBuffers(), 0u);
    const auto closes = sc.CallsOf(EOp::Close);
    ASSERT_GE(closes.size(), 2u);
    EXPECT_EQ(closes[closes.size() - 2].service, "wzcsvc");  // service before manager
    EXPECT_EQ(closes.back().service, "");
}

const std::vector<std::string> kNone;
const std::vector<std::string> kDep1 = {"dep1"};
const std::vector<std::string> kBoth = {"dep1", "dep2"};
const std::vector<std::string> kAll = {"dep1", "dep2", "wzcsvc"};

INSTANTIATE_TEST_SUITE_P(
    EachCall, ServiceStopFailureTest,
    ::testing::Values(SFailureCase{"FirstQuery", EOp::Query, "wzcsvc", 1, SVC_ERROR_INVALID_HANDLE,
                                   SVC_ERROR_INVALID_HANDLE, kNone},
                      SFailureCase{"EnumProbe", EOp::EnumDependents, "wzcsvc", 1, SVC_ERROR_ACCESS_DENIED,
                                   SVC_ERROR_ACCESS_DENIED, kNone},
                      SFailureCase{"Alloc", EOp::Alloc, "", 1, SVC_ERROR_NOT_ENOUGH_MEMORY,
                                   SVC_ERROR_NOT_ENOUGH_MEMORY, kNone},
                      SFailureCase{"EnumFill", EOp::EnumDependents, "wzcsvc", 2,
                                   SVC_ERROR_EXCEPTION_IN_SERVICE, SVC_ERROR_EXCEPTION_IN_SERVICE, kNone},
                      SFailureCase{"OpenDependent", EOp::OpenService, "dep1", 1, SVC_ERROR_ACCESS_DENIED,
                                   SVC_ERROR_ACCESS_DENIED, kNone},
                      SFailureCase{"StopDependent", EOp::Stop, "dep1", 1,
                                   SVC_ERROR_SERVICE_CANNOT_ACCEPT_CTRL, SVC_ERROR_SERVICE_CANNOT_ACCEPT_CTRL,
                                   kDep1},
                      SFailureCase{"QueryDependent", EOp::Query, "dep2", 2, SVC_ERROR_RPC_SERVER_UNAVAILABLE,
                                   SVC_ERROR_RPC_SERVER_UNAVAILABLE, kBoth},
                      SFailureCase{"OpenSecondDependent", EOp::OpenService, "dep2", 1,
                                   SVC_ERROR_SERVICE_DOES_NOT_EXIST, SVC_ERROR_SERVICE_DOES_NOT_EXIST, kDep1},
                      SFailureCase{"StopService", EOp::Stop, "wzcsvc", 1, SVC_ERROR_ACCESS_DENIED,
                                   SVC_ERROR_ACCESS_DENIED, kAll},
                      SFailureCase{"QueryAfterStop", EOp::Query, "wzcsvc", 2,
                                   SVC_ERROR_SERVICE_REQUEST_TIMEOUT, SVC_ERROR_SERVICE_REQUEST_TIMEOUT,
                                   kAll}),
    [](const ::testing::TestParamInfo<SFailureCase>& info) { return std::string(info.param.label); });

TEST(ServiceStopDependents, ListedDependentThatIsNotInstalledEndsTheRunWithItsCode) {
    CFakeServiceControl sc;
    sc.AddService("wzcsvc", Running({"gone", "dep"}));
    sc.AddService("dep", Running());
    std::ostringstream out;

    EXPECT_FALSE(StopServiceAndDependents(sc, "wzcsvc", out));
    EXPECT_TRUE(sc.StopsSent().empty());
    EXPECT_EQ(sc.OpenHandles(), 0u);
    EXPECT_EQ(sc.LiveBuffers(), 0u);
}

// --- Opening and diagnostics ------------------------------------------------------------------

TEST(ServiceStopOpen, MissingServicePrintsTheOpenServiceDiagnostic) {
    CFakeServiceControl sc;
    std::ostringstream out;

    EXPECT_FALSE(StopServiceAndDependents(sc, "wzcsvc", out));
    EXPECT_EQ(out.str(),
              "OpenService() failed:\n"
              "    error code = 1060\n"
              "    message    = The specified service does not exist as an installed service.\n");
    EXPECT_EQ(sc.OpenHandles(), 0u);
}

TEST(ServiceStopOpen, ManagerThatCannotBeOpenedPrintsTheOpenSCManagerDiagnostic) {
    CFakeServiceControl sc;
    sc.AddService("wzcsvc", Running());
    sc.FailCall(EOp::OpenManager, "", SVC_ERROR_ACCESS_DENIED);
    std::ostringstream out;

    EXPECT_FALSE(StopServiceAndDependents(sc, "wzcsvc", out));
    EXPECT_EQ(out.str(),
              "OpenSCManager() failed:\n"
              "    error code = 5\n"
              "    message    = Access is denied.\n");
    EXPECT_TRUE(sc.CallsOf(EOp::OpenService).empty());
    EXPECT_EQ(sc.StateOf("wzcsvc"), EServiceState::Running);
}

TEST(ServiceStopOpen, ServiceOpenedWithoutRightsPrintsItsCodeAndClosesTheManager) {
    CFakeServiceControl sc;
    sc.AddService("wzcsvc", Running());
    sc.FailCall(EOp::OpenService, "wzcsvc", SVC_ERROR_ACCESS_DENIED);
    std::ostringstream out;

    EXPECT_FALSE(StopServiceAndDependents(sc, "wzcsvc", out));
    EXPECT_EQ(out.str().rfind("OpenService() failed:\n    error code = 5\n", 0), 0u);
    EXPECT_EQ(sc.OpenHandles(), 0u);
}

TEST(ServiceStopOpen, UnknownCodeGetsAGenericText) {
    std::ostringstream out;
    PrintLastError("Thing()", 424242, out);
    EXPECT_EQ(out.str(), "Thing() failed:\n    error code = 424242\n    message    = Unknown error.\n");
    EXPECT_EQ(ServiceErrorText(SVC_ERROR_TIMEOUT),
              "This operation returned because the timeout period expired.");
}

}  // namespace
}  // namespace wavory

namespace wavory {
namespace {

TEST(ServiceStopOpen, StartUpsDiagnosticGoesToTheTraceNotToStandardOutput) {
    CFakeServiceControl sc;
    sc.FailCall(EOp::OpenManager, "", SVC_ERROR_ACCESS_DENIED);
    EnableTrace(false);
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(StopServiceAndDependents(sc, "wzcsvc"));
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");  // traces are off

    EnableTrace(true);  // wavory --verbose
    CFakeServiceControl again;
    again.FailCall(EOp::OpenManager, "", SVC_ERROR_ACCESS_DENIED);
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(StopServiceAndDependents(again, "wzcsvc"));
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
    EXPECT_NE(::testing::internal::GetCapturedStderr().find("OpenSCManager() failed:"), std::string::npos);
    EnableTrace(false);
}

}  // namespace
}  // namespace wavory
