// The status page's refresh and one scan merge on whichever adapter the driver link chooses:
// WAVORY_ADAPTER names it ("sim", or an interface such as wlan0), else the first wireless interface,
// else the simulated adapter. The hardware stage runs it in its guest, on the virtual station radio
// joined to an access point; a request that fails there is an error, not a fast figure.
//
// On a real interface it also counts the netlink traffic of a refresh, and times a whole
// `wavoryctl status` (with its netlink traffic) against `iw dev IF link` + `iw dev IF station dump`,
// which read about what the status shows.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "MemoryRegistry.h"
#include "common/StatusPage.h"
#include "kccl_adapters.h"
#include "kccl_diag.h"
#include "kccl_sim.h"
#include "shell/Tessal.h"
#include "survey/Station.h"
#include "survey/StationMngr.h"

extern char** environ;

using namespace wavory;

namespace {

constexpr auto kScanWait = std::chrono::seconds(30);
// Apart enough that each refresh reads the kernel anew, as the window's refreshes a second apart do.
constexpr auto kRefreshApart = std::chrono::milliseconds(700);

test::CMemoryRegistry g_Registry;

bool OpenLink() {
    theApp.m_pRegistry = &g_Registry;
    return theApp.ConnectDriver();
}

// The interface the link serves; empty on the simulated adapter or without a link.
std::string RealInterface() {
    if (!OpenLink()) return {};
    char name[64] = {};
    kccl_adapter_in_use(name, sizeof name);
    theApp.DisconnectDriver();
    return std::strcmp(name, "sim") == 0 ? std::string() : std::string(name);
}

KCCL_NETLINK_STATS Stats() {
    KCCL_NETLINK_STATS s{};
    kccl_netlink_stats(&s);
    return s;
}

// Netlink traffic between two counts, per iteration, as benchmark counters.
void PutTraffic(benchmark::State& state, const KCCL_NETLINK_STATS& a, const KCCL_NETLINK_STATS& b,
                double runs) {
    if (runs <= 0) return;
    state.counters["nl_requests"] = static_cast<double>(b.requests - a.requests) / runs;
    state.counters["nl_dumps"] = static_cast<double>(b.dumps - a.dumps) / runs;
    state.counters["nl_scan_dumps"] = static_cast<double>(b.scan_dumps - a.scan_dumps) / runs;
    state.counters["nl_messages"] = static_cast<double>(b.messages - a.messages) / runs;
    state.counters["nl_kbytes"] = static_cast<double>(b.bytes - a.bytes) / 1024.0 / runs;
    state.counters["library_ms"] = static_cast<double>(b.busy_us - a.busy_us) / 1000.0 / runs;
}

// Runs a program with its output thrown away, standard error into `err` when given; its exit status.
int Run(const std::vector<std::string>& args, std::string* err = nullptr) {
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    int pipeFds[2] = {-1, -1};
    if (err && ::pipe(pipeFds) != 0) return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    if (err) {
        posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 2);
        posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
    } else {
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    }
    pid_t pid = 0;
    const int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (err) {
        ::close(pipeFds[1]);
        char buf[4096];
        ssize_t n = 0;
        while (rc == 0 && (n = ::read(pipeFds[0], buf, sizeof buf)) > 0)
            err->append(buf, static_cast<size_t>(n));
        ::close(pipeFds[0]);
    }
    if (rc != 0) return -1;
    int status = 0;
    if (::waitpid(pid, &status, 0) < 0) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The counts a program with WAVORY_KCCL_STATS=1 prints when it closes the link.
bool ParseStats(const std::string& text, KCCL_NETLINK_STATS& out) {
    const size_t at = text.find("kccl: netlink ");
    if (at == std::string::npos) return false;
    unsigned long long v[7] = {};
    if (std::sscanf(text.c_str() + at,
                    "kccl: netlink requests=%llu dumps=%llu scan_dumps=%llu messages=%llu bytes=%llu "
                    "sockets=%llu busy_us=%llu",
                    &v[0], &v[1], &v[2], &v[3], &v[4], &v[5], &v[6]) < 6)
        return false;
    out = {v[0], v[1], v[2], v[3], v[4], v[5], v[6]};
    return true;
}

// The requests by command that the same line ends with ("(GET_INTERFACE=1 GET_SCAN=1 …)").
std::string CommandsOf(const std::string& text) {
    const size_t at = text.find("kccl: netlink ");
    const size_t open = text.find('(', at);
    const size_t close = text.find(')', open);
    if (at == std::string::npos || open == std::string::npos || close == std::string::npos) return {};
    return text.substr(open + 1, close - open - 1);
}

std::string Wavoryctl() {
    const char* path = std::getenv("WAVORYCTL");
    return path && *path ? path : "wavoryctl";
}

// One refresh of the status page as the window makes it, once a second: the refreshes stand apart
// (the library reads the kernel anew for each), and each is timed on its own.
void BM_StatusPageRefresh(benchmark::State& state) {
    if (!OpenLink()) {
        state.SkipWithError("no adapter answers");
        return;
    }
    {
        bench::SNullPage page;
        CCommVarList list(&page);
        bench::AddStatusPageVars(list);
        bool read = true;
        const KCCL_NETLINK_STATS before = Stats();
        for (auto _ : state) {
            state.PauseTiming();
            std::this_thread::sleep_for(kRefreshApart);
            state.ResumeTiming();
            read = list.RefreshAll(false, true) && read;
        }
        PutTraffic(state, before, Stats(), static_cast<double>(state.iterations()));
        if (!read) state.SkipWithError("a request of the page failed");
    }
    theApp.DisconnectDriver();
}
BENCHMARK(BM_StatusPageRefresh)->Iterations(10)->UseRealTime();

// One merge of the adapter's whole scan list into the stations, after the scan that the station
// manager starts has finished.
void BM_ScanMerge(benchmark::State& state) {
    if (!OpenLink()) {
        state.SkipWithError("no adapter answers");
        return;
    }
    {
        CStationMngr stations;
        const auto deadline = std::chrono::steady_clock::now() + kScanWait;
        bool scanning = stations.MergeScan();
        while (scanning && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            scanning = stations.MergeScan();
        }
        if (scanning) {
            state.SkipWithError("the scan did not finish");
        } else if (stations.Snapshot().empty()) {
            state.SkipWithError("the scan list is empty");
        } else {
            for (auto _ : state) benchmark::DoNotOptimize(stations.MergeScan());
            state.counters["entries"] = static_cast<double>(stations.Snapshot().size());
        }
    }
    theApp.DisconnectDriver();
}
BENCHMARK(BM_ScanMerge);

// A whole `wavoryctl status` on the real interface: start-up, the link, every read the status shows.
void BM_StatusCommand(benchmark::State& state) {
    if (RealInterface().empty()) {
        state.SkipWithError("no real interface in use");
        return;
    }
    ::setenv("WAVORY_KCCL_STATS", "1", 1);
    KCCL_NETLINK_STATS total{};
    double runs = 0;
    std::string commands;
    for (auto _ : state) {
        std::string err;
        if (Run({Wavoryctl(), "status", "--json"}, &err) != 0) {
            state.SkipWithError(("wavoryctl status failed: " + err).c_str());
            break;
        }
        KCCL_NETLINK_STATS one{};
        if (ParseStats(err, one)) {
            total.requests += one.requests;
            total.dumps += one.dumps;
            total.scan_dumps += one.scan_dumps;
            total.messages += one.messages;
            total.bytes += one.bytes;
            total.sockets += one.sockets;
            total.busy_us += one.busy_us;
            runs += 1;
            commands = CommandsOf(err);
        }
    }
    ::unsetenv("WAVORY_KCCL_STATS");
    PutTraffic(state, KCCL_NETLINK_STATS{}, total, runs);
    if (runs > 0) state.counters["nl_sockets"] = static_cast<double>(total.sockets) / runs;
    // What the last run asked, by command: where the requests go.
    state.SetLabel(commands);
}
BENCHMARK(BM_StatusCommand)->UseRealTime()->MinTime(1.5)->Unit(benchmark::kMillisecond);

// The same command on the simulated adapter, beside the real one: start-up, settings and the core's
// work without the kernel's part, so that the real interface's share shows as the difference.
void BM_StatusCommandSimulated(benchmark::State& state) {
    if (RealInterface().empty()) {
        state.SkipWithError("no real interface in use");
        return;
    }
    const std::string saved = std::getenv("WAVORY_ADAPTER") ? std::getenv("WAVORY_ADAPTER") : "";
    ::setenv("WAVORY_ADAPTER", "sim", 1);
    for (auto _ : state) {
        std::string err;
        if (Run({Wavoryctl(), "status", "--json"}, &err) != 0) {
            state.SkipWithError(("wavoryctl status on the simulated adapter failed: " + err).c_str());
            break;
        }
    }
    if (saved.empty())
        ::unsetenv("WAVORY_ADAPTER");
    else
        ::setenv("WAVORY_ADAPTER", saved.c_str(), 1);
}
BENCHMARK(BM_StatusCommandSimulated)->UseRealTime()->MinTime(1.5)->Unit(benchmark::kMillisecond);

// The program's start and end alone (--help reads no adapter and no settings): the floor under
// a whole status.
void BM_WavoryctlStart(benchmark::State& state) {
    if (RealInterface().empty()) {
        state.SkipWithError("no real interface in use");
        return;
    }
    for (auto _ : state) {
        if (Run({Wavoryctl(), "--help"}) != 0) {
            state.SkipWithError("wavoryctl --help failed");
            break;
        }
    }
}
BENCHMARK(BM_WavoryctlStart)->UseRealTime()->MinTime(1.5)->Unit(benchmark::kMillisecond);

// What iw needs for about the same: the link (SSID, BSSID, frequency, signal, rates) and the station.
void BM_IwLinkAndStation(benchmark::State& state) {
    const std::string ifname = RealInterface();
    if (ifname.empty()) {
        state.SkipWithError("no real interface in use");
        return;
    }
    for (auto _ : state) {
        if (Run({"iw", "dev", ifname, "link"}) != 0 || Run({"iw", "dev", ifname, "station", "dump"}) != 0) {
            state.SkipWithError("iw failed");
            break;
        }
    }
}
BENCHMARK(BM_IwLinkAndStation)->UseRealTime()->MinTime(1.5)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    const char* adapter = std::getenv("WAVORY_ADAPTER");
    benchmark::AddCustomContext("adapter", adapter && *adapter ? adapter : "(the first one found)");
    // Should the link choose the simulated adapter, it is a private one: the user's stays as it is.
    const bool ownSim = std::getenv("WAVORY_SIM") == nullptr;
    if (ownSim) ::setenv("WAVORY_SIM", ("/wavory-bench-" + std::to_string(::getpid())).c_str(), 1);

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (ownSim) kccl_sim_unlink();
    return 0;
}
