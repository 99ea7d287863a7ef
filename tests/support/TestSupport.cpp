#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "TestMain.h"
#include "kccl_sim.h"

namespace wavory::test {

namespace {
std::string g_home;
}

const std::string& TempHome() { return g_home; }

void PrepareEnvironment() {
    const std::string pid = std::to_string(::getpid());
    ::setenv("WAVORY_SIM", ("/wavory-test-" + pid).c_str(), 1);
    ::unsetenv("WAVORY_SCENARIO");
    // Every test runs on the simulated adapter, whatever wireless interfaces the machine has.
    ::setenv("WAVORY_ADAPTER", "sim", 1);
    auto home = std::filesystem::temp_directory_path() / ("wavory-test-" + pid);
    std::filesystem::create_directories(home);
    g_home = home.string();
    ::setenv("XDG_CONFIG_HOME", g_home.c_str(), 1);
    // A runtime folder of the test's own: lock files (one join per interface) and client sockets
    // are never shared with a test running beside it.
    const std::string runtime = g_home + "/run";
    std::filesystem::create_directories(runtime);
    std::filesystem::permissions(runtime, std::filesystem::perms::owner_all);
    ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    ::setenv("HOME", g_home.c_str(), 1);
    // The connection history the programs record goes to the test's folder too.
    ::setenv("XDG_STATE_HOME", (g_home + "/state").c_str(), 1);
}

void FinishEnvironment() {
    kccl_sim_unlink();
    std::error_code ec;
    std::filesystem::remove_all(g_home, ec);
}

}  // namespace wavory::test
