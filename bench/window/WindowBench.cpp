// Cost of the window while it watches: starts the utility with its window on the offscreen
// platform in one state, lets it settle, and prints the CPU time the process used over a given
// number of seconds (default 60) as a share of one core. States:
//   traffic   joined to a network with traffic, the General page shown
//   site      joined to a network without traffic, Available Networks open and idle
//   idle      joined to a network without traffic, the General page shown, with --profiles N
//             stored profiles (default 10)
// usage: bench_window STATE [SECONDS] [--profiles N]
#include <sys/resource.h>
#include <unistd.h>

#include <QApplication>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "kccl_sim.h"
#include "profiles/ProfileMngr.h"
#include "shell/Tessal.h"
#include "store/SqliteRegistry.h"
#include "survey/Station.h"
#include "ui/shell/MainWindowHost.h"
#include "ui/shell/TessalDlg.h"

using namespace wavory;

namespace {

// Long enough for the first scan to finish and the pages to fill.
constexpr int kSettleMs = 4000;

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Stored profiles as a user might have them: a third in the auto-selection order, none for the
// networks in range (so automatic selection has nothing to do while connected).
void StoreProfiles(int count) {
    CProfileMngr mngr;
    theApp.m_pProfileMngr = &mngr;
    for (int i = 0; i < count; ++i) {
        auto p = mngr.GetProfile(mngr.AddProfile());
        p->NetName = "Elsewhere " + std::to_string(i);
        if (i % 3 == 0) {
            p->AutoSelect = true;
            p->Priority = mngr.UpdatePriorities(-1);
        }
    }
    mngr.SaveAll();
    theApp.m_pProfileMngr = nullptr;
}

int Usage() {
    std::fprintf(stderr, "usage: bench_window traffic|site|idle [SECONDS] [--profiles N]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return Usage();
    const std::string state = argv[1];
    if (state != "traffic" && state != "site" && state != "idle") return Usage();
    int seconds = 60;
    int profiles = 10;
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--profiles" && i + 1 < argc)
            profiles = std::atoi(argv[++i]);
        else
            seconds = std::atoi(argv[i]);
    }
    if (seconds <= 0 || profiles < 0) return Usage();

    const std::string pid = std::to_string(::getpid());
    const auto home = std::filesystem::temp_directory_path() / ("wavory-bench-window-" + pid);
    std::filesystem::create_directories(home);
    ::setenv("XDG_CONFIG_HOME", home.c_str(), 1);
    ::setenv("WAVORY_SIM", ("/wavory-bench-window-" + pid).c_str(), 1);
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    kccl_sim_reset(nullptr);
    kccl_sim_set_scan_duration(500);
    if (state != "traffic") {
        // The same network without traffic: the counters stand still.
        kccl_sim_put_network(
            R"({"ssid": "Lighthouse", "bssid": "00-0F-B5-44-7C-20", "channel": 11, "phy": 1,
                "mode": "infrastructure", "signal_dbm": -66, "rx_bytes_per_s": 0, "tx_bytes_per_s": 0})");
    }

    QApplication app(argc, argv);
    int rc = 0;
    {
        CSqliteRegistry registry;
        theApp.m_pRegistry = &registry;
        StoreProfiles(profiles);

        // Joined before the window starts, as after a connection made earlier.
        CProfile lighthouse("", false);
        lighthouse.NetName = "Lighthouse";
        lighthouse.NetMode = true;
        if (!CStation(lighthouse).Connect(CStation::CONNECT_APPLY)) {
            std::fprintf(stderr, "bench_window: could not join the simulated network\n");
            rc = 1;
        }

        double start = 0.0;
        CMainWindowHost window([&](CTessalDlg& dlg) {
            if (state == "site") QTimer::singleShot(0, &dlg, [&dlg] { dlg.OnViewSite(); });
            QTimer::singleShot(kSettleMs, &dlg, [&start] { start = CpuSeconds(); });
            QTimer::singleShot(kSettleMs + seconds * 1000, &dlg, [&, seconds] {
                const double used = CpuSeconds() - start;
                std::printf("%s, %d profiles: CPU %.3f s over %d s: %.3f%% of one core\n", state.c_str(),
                            profiles, used, seconds, 100.0 * used / seconds);
                dlg.reject();
            });
        });
        if (rc == 0) {
            theApp.InitInstance(&window);
            theApp.ExitInstance();
        }
        theApp.m_pRegistry = nullptr;
    }
    kccl_sim_unlink();
    std::filesystem::remove_all(home);
    return rc;
}
