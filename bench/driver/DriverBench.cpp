// Cost of one request on the simulated adapter and of the status page's refresh.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "base/AppBase.h"
#include "driver/CommVarList.h"
#include "driver/Request.h"
#include "kccl_sim.h"

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
struct NullControl : IBoundControl {
    void SetText(const std::string&) override {}
};
struct NullPage : IControlHost {
    NullControl control;
    IBoundControl* GetControl(int) override { return &control; }
};

void BM_StatusPageRefreshAll(benchmark::State& state) {
    UseOwnAdapter();
    theApp.ConnectDriver();
    NullPage page;
    CCommVarList list(&page);
    const SCodePair channel[] = {{OID_CHANNEL_QUERY, OID_CHANNEL_SET}, {OID_PHY_QUERY, OID_PHY_SET}};
    list.AddVar(1063, OID_SSID_QUERY, OID_SSID_SET, ConvSsid);
    list.AddVar(1064, OID_NET_MODE_QUERY, OID_NET_MODE_SET, ConvNetMode);
    list.AddVarMulti(1065, channel, 2, ConvChannel);
    list.AddVar(1066, OID_PHY_QUERY, OID_PHY_SET, ConvMaxRate);
    list.AddVar(1067, OID_SECURITY_QUERY, OID_SECURITY_SET, ConvSecurity);
    list.AddVar(1068, OID_POWER_SAVE_QUERY, OID_POWER_SAVE_SET, ConvPowerSave);
    list.AddVar(1070, OID_STATISTICS, 0, ConvReceived);
    list.AddVar(1071, OID_STATISTICS, 0, ConvSent);
    list.AddVar(1073, OID_HW_STATUS, 0, ConvRadioStatus);
    for (auto _ : state) benchmark::DoNotOptimize(list.RefreshAll(false, true));
    theApp.DisconnectDriver();
}
BENCHMARK(BM_StatusPageRefreshAll);

}  // namespace

BENCHMARK_MAIN();
