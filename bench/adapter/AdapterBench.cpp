// The status page's refresh and one scan merge on whichever adapter the driver link chooses:
// WAVORY_ADAPTER names it ("sim", or an interface such as wlan0), else the first wireless interface,
// else the simulated adapter. The hardware stage runs it in its guest, on the virtual station radio
// joined to an access point; a request that fails there is an error, not a fast figure.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "MemoryRegistry.h"
#include "common/StatusPage.h"
#include "kccl_sim.h"
#include "shell/Tessal.h"
#include "survey/Station.h"
#include "survey/StationMngr.h"

using namespace wavory;

namespace {

constexpr auto kScanWait = std::chrono::seconds(30);

test::CMemoryRegistry g_Registry;

bool OpenLink() {
    theApp.m_pRegistry = &g_Registry;
    return theApp.ConnectDriver();
}

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
        for (auto _ : state) read = list.RefreshAll(false, true) && read;
        if (!read) state.SkipWithError("a request of the page failed");
    }
    theApp.DisconnectDriver();
}
BENCHMARK(BM_StatusPageRefresh);

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
