// The core on an adapter that other programs use too: the main tick is not held up by their scans,
// the scan status can be watched without a merge, and a busy adapter fails a request without
// losing the link.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "CoreFixture.h"
#include "driver/CommVarList.h"
#include "driver/Request.h"
#include "shell/MainWindow.h"

using namespace wavory;
using namespace wavory::test;

namespace {

class CCountingWindow : public IMainWindow {
public:
    int Run() override { return 0; }
    void RefreshPages(bool, bool full) override { m_nFull += full ? 1 : 0; }
    bool IsSiteVisible() override { return false; }
    void RefreshSiteList() override {}
    void SetTrayTip(const std::string&) override {}
    int m_nFull = 0;
};

class SharedAdapterCoreTest : public CoreFixture {
protected:
    void SetUp() override {
        CoreFixture::SetUp();
        Stations().SetClock([this] { return m_Now; });
        theApp.m_pMainWnd = &m_Window;
    }
    void TearDown() override {
        theApp.m_pMainWnd = nullptr;
        CoreFixture::TearDown();
    }
    static CStationMngr& Stations() { return *theApp.m_pStationMngr; }
    // A main tick after the polling thread asked for a refresh.
    void RefreshTick() {
        theApp.m_bRefreshRequest = true;
        theApp.OnMainTick();
    }

    std::chrono::steady_clock::time_point m_Now{std::chrono::seconds(1000)};
    CCountingWindow m_Window;
};

TEST_F(SharedAdapterCoreTest, OwnScanEndsForTheTickWhenTheAdapterKeepsScanningForOthers) {
    kccl_sim_set_scan_duration(60000);  // another program's scans keep the adapter scanning
    ASSERT_EQ(Stations().StartScan(), 2);
    ASSERT_TRUE(theApp.m_bScanning);
    RefreshTick();
    EXPECT_TRUE(theApp.m_bScanning);  // still within the time a scan takes

    m_Now += CStationMngr::kScanLimit - std::chrono::seconds(1);
    RefreshTick();
    EXPECT_TRUE(theApp.m_bScanning);

    m_Now += std::chrono::seconds(2);
    RefreshTick();
    EXPECT_FALSE(theApp.m_bScanning);
    EXPECT_EQ(m_Window.m_nFull, 3);
    // The stations are still the adapter's list, whatever its status.
    EXPECT_TRUE(Stations().LastMergeRead());
}

TEST_F(SharedAdapterCoreTest, OwnScanThatCompletesEndsAtOnce) {
    kccl_sim_set_scan_duration(2000);
    ASSERT_EQ(Stations().StartScan(), 2);
    RefreshTick();
    EXPECT_TRUE(theApp.m_bScanning);
    kccl_sim_advance(2100);
    RefreshTick();
    EXPECT_FALSE(theApp.m_bScanning);
    EXPECT_EQ(Stations().Snapshot().size(), 14u);
}

TEST_F(SharedAdapterCoreTest, ScanStateIsReadWithoutAMerge) {
    kccl_sim_set_scan_duration(2000);
    ASSERT_EQ(Stations().StartScan(), 2);
    kccl_sim_clear_log();
    EXPECT_EQ(Stations().ReadScanState(), CStationMngr::EScanState::Scanning);
    kccl_sim_advance(2100);
    EXPECT_EQ(Stations().ReadScanState(), CStationMngr::EScanState::Complete);
    EXPECT_TRUE(Stations().Snapshot().empty());  // nothing was merged
    EXPECT_EQ(LoggedCodes(), (std::vector<uint32_t>{OID_SCAN_LIST, OID_SCAN_LIST}));

    kccl_sim_set_fault(OID_SCAN_LIST, KCCL_SIM_FAULT_RESULT, 7);
    EXPECT_EQ(Stations().ReadScanState(), CStationMngr::EScanState::Unread);
    EXPECT_FALSE(Stations().MergeScan());
    EXPECT_FALSE(Stations().LastMergeRead());
    EXPECT_EQ(theApp.m_nDriverResult, 7);
}

TEST_F(SharedAdapterCoreTest, ManagerMadeWithoutAScanStartsNone) {
    kccl_sim_clear_log();
    theApp.m_bScanning = false;
    delete theApp.m_pStationMngr;
    theApp.m_pStationMngr = new CStationMngr(false);
    EXPECT_FALSE(Logged(OID_START_SCAN));
    EXPECT_FALSE(theApp.m_bScanning);
    EXPECT_FALSE(theApp.m_pStationMngr->ScanOverdue());
}

TEST_F(SharedAdapterCoreTest, FirstOfEachNameKeepsTheFirstInTheGivenOrder) {
    auto station = [](const std::string& ssid, int channel) {
        auto s = std::make_shared<CStation>(CProfile("", false), "", -60);
        s->NetName = ssid;
        s->PhyChnl = channel;
        return s;
    };
    const std::vector<CStationMngr::StationPtr> all{
        station("Harbour", 1), station("", 3), station("Harbour", 6),
        station("", 9),        nullptr,        station("Quay", 36)};
    const auto first = CStationMngr::FirstOfEachName(all);
    ASSERT_EQ(first.size(), 3u);
    EXPECT_EQ(first.at("Harbour"), all[0]);
    EXPECT_EQ(first.at(""), all[1]);
    EXPECT_EQ(first.at("Quay"), all[5]);
}

// A program that takes the adapter's lock and is stopped while it holds it.
pid_t StartStoppedHolder() {
    int fds[2];
    if (pipe(fds) != 0) return -1;
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        static int s_fd;
        s_fd = fds[1];
        kccl_sim_hold_lock(
            [](void*) {
                const char held = 'h';
                if (write(s_fd, &held, 1) == 1) raise(SIGSTOP);
            },
            nullptr);
        _exit(0);
    }
    close(fds[1]);
    char held = 0;
    const bool told = read(fds[0], &held, 1) == 1;
    close(fds[0]);
    int status = 0;
    if (!told || waitpid(pid, &status, WUNTRACED) != pid || !WIFSTOPPED(status)) return -1;
    return pid;
}

TEST_F(SharedAdapterCoreTest, BusyAdapterFailsTheReadButKeepsTheLink) {
    const pid_t holder = StartStoppedHolder();
    ASSERT_GT(holder, 0);
    CCommVarList list;
    list.AddVarExt(OID_CONNECT_STATUS, 0, nullptr, nullptr);
    EXPECT_FALSE(list.RefreshAll(false, false));
    EXPECT_EQ(theApp.m_nDriverResult, KCOM_RESULT_BUSY);
    EXPECT_TRUE(theApp.m_bDriverConnected);

    kill(holder, SIGCONT);
    waitpid(holder, nullptr, 0);
    kccl_sim_clear_log();
    EXPECT_TRUE(list.RefreshAll(false, false));
    EXPECT_EQ(theApp.m_nDriverResult, 0);
    EXPECT_EQ(LoggedCodes(), std::vector<uint32_t>{OID_CONNECT_STATUS});  // no reconnection was needed
}

}  // namespace
