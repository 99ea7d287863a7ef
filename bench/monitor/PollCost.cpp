// Cost of running: the core with its polling thread at the default interval and a main tick twice
// a second, on the simulated adapter joined to a network, for a given number of seconds (default
// 60). Prints the CPU time used as a share of one core.
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include "kccl_sim.h"
#include "shell/Tessal.h"
#include "store/SqliteRegistry.h"
#include "survey/Station.h"

using namespace wavory;

namespace {

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 60;
    const std::string pid = std::to_string(::getpid());
    const auto home = std::filesystem::temp_directory_path() / ("wavory-bench-" + pid);
    std::filesystem::create_directories(home);
    ::setenv("XDG_CONFIG_HOME", home.c_str(), 1);
    ::setenv("WAVORY_SIM", ("/wavory-bench-" + pid).c_str(), 1);
    kccl_sim_reset(nullptr);

    CSqliteRegistry registry;
    theApp.m_pRegistry = &registry;
    theApp.InitInstance(nullptr);  // start-up without a window: the polling thread runs
    CProfile profile("", false);
    profile.NetName = "Lighthouse";
    profile.NetMode = true;
    CStation(profile).Connect(1);

    const double start = CpuSeconds();
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (std::chrono::steady_clock::now() < until) {
        theApp.OnMainTick();
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
    }
    const double used = CpuSeconds() - start;
    theApp.ExitInstance();
    theApp.m_pRegistry = nullptr;
    kccl_sim_unlink();
    std::filesystem::remove_all(home);
    std::printf("CPU %.3f s over %d s: %.3f%% of one core\n", used, seconds, 100.0 * used / seconds);
    return 0;
}
