// Cost of one request on the simulated adapter and of the status page's refresh.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "common/StatusPage.h"
#include "driver/CommVarList.h"
#include "driver/Request.h"
#include "kccl_sim.h"
#include "shell/Tessal.h"

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

}  // namespace

BENCHMARK_MAIN();
