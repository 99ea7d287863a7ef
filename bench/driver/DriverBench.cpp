// Cost of one request on the simulated adapter and of the status page's refresh.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "base/AppBase.h"
#include "common/StatusPage.h"
#include "driver/CommVarList.h"
#include "driver/Request.h"
#include "kccl_sim.h"
#include "survey/StationMngr.h"

using namespace wavory;

namespace {

void UseOwnAdapter() {
    static const bool once = [] {
        ::setenv("WAVORY_SIM", ("/wavory-bench-" + std::to_string(::getpid())).c_str(), 1);
        kccl_sim_reset(nullptr);
        std::atexit([] { kccl_sim_unlink(); });
        return true;
    }();
    (void)once;
}

void BM_ExecOid(benchmark::State& state) {
    UseOwnAdapter();
    kcom_connect("SEARCH");
    KCOM_REQUEST request{};
    for (auto _ : state) {
        request.code = OID_STATISTICS;
        benchmark::DoNotOptimize(kcom_exec_oid(&request));
    }
    kcom_disconnect();
}
BENCHMARK(BM_ExecOid);

// The status page's nine variables, ten requests, read and shown as the page does.
void BM_StatusPageRefreshAll(benchmark::State& state) {
    UseOwnAdapter();
    theApp.ConnectDriver();
    bench::SNullPage page;
    CCommVarList list(&page);
    bench::AddStatusPageVars(list);
    for (auto _ : state) benchmark::DoNotOptimize(list.RefreshAll(false, true));
    theApp.DisconnectDriver();
}
BENCHMARK(BM_StatusPageRefreshAll);

// A short-lived list of one variable, made, read and dropped, as the polling thread's tick and the
// station manager's requests do: the variable's making is a large part of it.
void BM_ShortLivedListRead(benchmark::State& state) {
    UseOwnAdapter();
    theApp.ConnectDriver();
    for (auto _ : state) {
        CCommVarList list;
        list.AddVarExt(OID_STATISTICS, 0, nullptr, nullptr);
        benchmark::DoNotOptimize(list.RefreshAll(false, false));
    }
    theApp.DisconnectDriver();
}
BENCHMARK(BM_ShortLivedListRead);

// A scan merge as the main tick runs it, with the fields of today's networks (frequency, rate,
// width, key management) read from every entry: the built-in scenario (14 networks on three
// bands), then with further 5 and 6 GHz access points up to the given count, over several pages.
void BM_ScanMergeModern(benchmark::State& state) {
    UseOwnAdapter();
    kccl_sim_reset(nullptr);
    for (int i = 0; i < state.range(0) - 14; ++i) {
        char net[256];
        const int freq = i % 2 == 0 ? 5180 + 20 * (i % 8) : 5955 + 20 * (i % 20);
        std::snprintf(net, sizeof net,
                      R"({"ssid":"Bench%d","bssid":"02-00-00-00-%02X-%02X","frequency_mhz":%d,)"
                      R"("generation":"Wi-Fi 6","width_mhz":80,"security":"wpa3","passphrase":"bench-pass"})",
                      i, i / 256, i % 256, freq);
        kccl_sim_put_network(net);
    }
    kccl_sim_set_scan_duration(0);
    theApp.ConnectDriver();
    CStationMngr stations(true);
    for (auto _ : state) benchmark::DoNotOptimize(stations.MergeScan());
    state.counters["stations"] = static_cast<double>(stations.Snapshot().size());
    theApp.DisconnectDriver();
}
BENCHMARK(BM_ScanMergeModern)->Arg(14)->Arg(100);

}  // namespace

BENCHMARK_MAIN();
