// Processing cost of `wavoryctl scan`: the CPU time (user + system) of one whole run of the
// program, measured from its resource usage, on an own simulated adapter with a given number of
// networks in range and a given scan time. With the scan time at 0 it is what the command spends
// on its own work; a longer scan shows what waiting for it costs. WAVORYCTL=path measures another
// build of the program instead of this one's.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>

#include "kccl_sim.h"

extern char** environ;

namespace {

void UseOwnAdapterAndSettings() {
    static const bool once = [] {
        const std::string pid = std::to_string(::getpid());
        const auto home = std::filesystem::temp_directory_path() / ("wavory-bench-" + pid);
        std::filesystem::create_directories(home);
        ::setenv("XDG_CONFIG_HOME", home.c_str(), 1);
        ::setenv("WAVORY_SIM", ("/wavory-bench-" + pid).c_str(), 1);
        std::atexit([] {
            kccl_sim_unlink();
            std::error_code ec;
            std::filesystem::remove_all(std::getenv("XDG_CONFIG_HOME"), ec);
        });
        return true;
    }();
    (void)once;
}

// Networks half access points, half ad-hoc cells, on the 2.4 GHz channels, signals spread out.
std::string Scenario(int networks, int scanMs) {
    nlohmann::json scenario = {{"scan_duration_ms", scanMs}, {"networks", nlohmann::json::array()}};
    for (int i = 0; i < networks; ++i) {
        char bssid[32];
        std::snprintf(bssid, sizeof bssid, "02-00-00-00-%02X-%02X", i / 256, i % 256);
        scenario["networks"].push_back({{"ssid", "Net" + std::to_string(i % (networks / 2 + 1))},
                                        {"bssid", bssid},
                                        {"channel", 1 + i % 11},
                                        {"phy", 2},
                                        {"mode", i % 2 ? "adhoc" : "infrastructure"},
                                        {"signal_dbm", -40 - i % 50}});
    }
    return scenario.dump();
}

// Runs the program once; its CPU seconds, or a negative value when it failed.
double RunOnce(const std::vector<std::string>& args) {
    // WAVORYCTL names another build of the program, to compare with.
    const char* program = std::getenv("WAVORYCTL");
    std::vector<std::string> argv{program != nullptr && *program != '\0' ? program : WAVORYCTL_PATH};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> cargs;
    for (auto& a : argv) cargs.push_back(a.data());
    cargs.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, cargs[0], &actions, nullptr, cargs.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return -1.0;
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return -1.0;
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Arguments: networks in range, scan time in milliseconds.
void BM_WavoryctlScan(benchmark::State& state) {
    UseOwnAdapterAndSettings();
    const int networks = static_cast<int>(state.range(0));
    if (kccl_sim_reset(Scenario(networks, static_cast<int>(state.range(1))).c_str()) != 0) {
        state.SkipWithError("scenario refused");
        return;
    }
    for (auto _ : state) {
        const double cpu = RunOnce({"scan", "--view", "ap", "--json"});
        if (cpu < 0) {
            state.SkipWithError("wavoryctl scan failed");
            return;
        }
        state.SetIterationTime(cpu);
    }
    state.counters["networks"] = networks;
}
// The command's own work, with the scan finishing at once: many short runs, medians of three.
BENCHMARK(BM_WavoryctlScan)
    ->Args({8, 0})
    ->Args({64, 0})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(30)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true);
// What waiting for a scan of three seconds adds.
BENCHMARK(BM_WavoryctlScan)->Args({64, 3000})->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

BENCHMARK_MAIN();
