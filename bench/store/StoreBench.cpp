// The settings store at 10 to 10,000 profiles: loading them all (start-up, and the window's reload
// after another program's change), saving them all, one profile stored from the window (with the
// check of what the store holds), and wavoryctl's `profiles list`, `new`, `dup`, `edit`, `rm` and `import`
// (the CPU time of the command's process). Against the real store in a temporary configuration folder.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "profiles/ProfileMngr.h"
#include "shell/Tessal.h"
#include "store/HistoryDb.h"
#include "store/SqliteRegistry.h"

extern char** environ;

using namespace wavory;

namespace {

// One store per profile count, each in a folder of its own, made on first use.
class CBenchStore {
public:
    explicit CBenchStore(int profiles)
        : m_Home(std::filesystem::temp_directory_path() /
                 ("wavory-bench-" + std::to_string(::getpid()) + "-" + std::to_string(profiles))) {
        std::filesystem::create_directories(m_Home);
        Use();
        m_pMngr = std::make_unique<CProfileMngr>();
        theApp.m_pProfileMngr = m_pMngr.get();
        m_pRegistry->BeginUpdate();
        for (int i = 0; i < profiles; ++i) {
            auto p = m_pMngr->GetProfile(m_pMngr->AddProfile());
            p->NetName = "Network " + std::to_string(i);
            p->SecType = i % 2;
            p->ActiveSecKey = i % 2 ? 0 : -1;
            p->SecKey = {"1A2B3C4D5E", "0123456789ABCDEF0123456789", "", ""};
            p->SecKeyLen = {0, 1, 0, 0};
            if (i % 3 == 0) {
                p->AutoSelect = true;
                p->Priority = m_pMngr->UpdatePriorities(-1);
            }
        }
        m_pMngr->SaveAll();
        m_pRegistry->EndUpdate();
    }
    ~CBenchStore() {
        std::error_code ec;
        std::filesystem::remove_all(m_Home, ec);
    }

    // Makes this store the application's and the user's (for a wavoryctl started from here).
    void Use() {
        ::setenv("XDG_CONFIG_HOME", m_Home.c_str(), 1);
        if (!m_pRegistry) m_pRegistry = std::make_unique<CSqliteRegistry>();
        theApp.m_pRegistry = m_pRegistry.get();
        if (m_pMngr) theApp.m_pProfileMngr = m_pMngr.get();
    }

    CProfileMngr& Mngr() { return *m_pMngr; }
    const std::filesystem::path& Home() const { return m_Home; }

private:
    std::filesystem::path m_Home;
    std::unique_ptr<CSqliteRegistry> m_pRegistry;
    std::unique_ptr<CProfileMngr> m_pMngr;
};

CBenchStore& Store(int profiles) {
    static std::map<int, std::unique_ptr<CBenchStore>> stores;
    auto& store = stores[profiles];
    if (!store) store = std::make_unique<CBenchStore>(profiles);
    store->Use();
    return *store;
}

void BM_LoadAll(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    CProfileMngr& mngr = Store(n).Mngr();
    for (auto _ : state) {
        mngr.LoadAll();
        benchmark::DoNotOptimize(mngr.GetCount());
    }
    if (mngr.GetCount() != n) state.SkipWithError("not every profile was loaded");
}
BENCHMARK(BM_LoadAll)->Arg(10)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond);

// Every profile changed in one field, then all saved: one transaction with one write per profile.
void BM_SaveAll(benchmark::State& state) {
    CProfileMngr& mngr = Store(static_cast<int>(state.range(0))).Mngr();
    int round = 0;
    for (auto _ : state) {
        state.PauseTiming();
        ++round;
        for (const auto& p : mngr.Snapshot()) p->MaxFragment = 256 + round % 2;
        state.ResumeTiming();
        if (!mngr.SaveAll()) {
            state.SkipWithError("save failed");
            break;
        }
    }
}
BENCHMARK(BM_SaveAll)->Arg(10)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond);

// The window's edit of one profile: one field changed in the editor, then what the Profiles page
// stores after its OK.
void BM_WindowSaveOne(benchmark::State& state) {
    CProfileMngr& mngr = Store(static_cast<int>(state.range(0))).Mngr();
    auto profile = mngr.GetProfile("Profile 5");
    int round = 0;
    for (auto _ : state) {
        {
            auto lock = mngr.Lock();
            profile->NetName = "Network " + std::to_string(++round % 2);
        }
        if (!mngr.StoreChanges().Ok()) {
            state.SkipWithError("save failed");
            break;
        }
    }
}
BENCHMARK(BM_WindowSaveOne)->Arg(10)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

// The window's "New" at scale: a profile added and stored (the names and free sections of all the
// others checked inside the transaction, and the count), then removed again, so the store keeps its
// size. Each half is timed.
void BM_WindowAddOne(benchmark::State& state) {
    CProfileMngr& mngr = Store(static_cast<int>(state.range(0))).Mngr();
    double removing = 0;
    for (auto _ : state) {
        std::string name;
        {
            auto lock = mngr.Lock();
            name = mngr.AddProfile();
            mngr.GetProfile(name)->NetName = "Bench";
        }
        if (!mngr.StoreChanges().Ok()) {
            state.SkipWithError("save failed");
            break;
        }
        state.PauseTiming();
        const auto start = std::chrono::steady_clock::now();
        const int removed = mngr.RemoveProfile(name, true, true);
        removing +=
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        state.ResumeTiming();
        if (removed != REG_OK) {
            state.SkipWithError("remove failed");
            break;
        }
    }
    state.counters["remove_ms"] = benchmark::Counter(removing, benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_WindowAddOne)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

// What `profiles list` does in its process: open the store, load every profile, list them.
void BM_ProfilesListInProcess(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    Store(n);
    for (auto _ : state) {
        CSqliteRegistry store;
        IRegistry* saved = theApp.m_pRegistry;
        theApp.m_pRegistry = &store;
        CProfileMngr mngr;
        std::string lines;
        for (const auto& p : mngr.Snapshot()) lines += p->ProfName + "  " + p->NetName + "\n";
        benchmark::DoNotOptimize(lines);
        theApp.m_pRegistry = saved;
        if (mngr.GetCount() != n) state.SkipWithError("not every profile was listed");
    }
}
BENCHMARK(BM_ProfilesListInProcess)->Arg(10)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond);

// The window's main tick: one look at the store's data version, then the preferences it reads.
void BM_MainTickCheck(benchmark::State& state) {
    Store(static_cast<int>(state.range(0)));
    IRegistry& registry = *theApp.m_pRegistry;
    for (auto _ : state) {
        registry.BeginRead();
        benchmark::DoNotOptimize(registry.ChangeCount());
        benchmark::DoNotOptimize(registry.GetProfileInt("", "dBm-Percent", 0));
        benchmark::DoNotOptimize(registry.GetProfileInt("", "View AP or NET", 0));
        registry.EndRead();
    }
}
BENCHMARK(BM_MainTickCheck)->Arg(1000)->Unit(benchmark::kMicrosecond);

// What opening the store costs a command, and the part of it that is the check of the whole file
// (PRAGMA quick_check), which every process makes once.
void BM_StoreOpen(benchmark::State& state) {
    Store(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        CSqliteRegistry store;
        if (!store.IsOpen()) state.SkipWithError("the store did not open");
    }
}
BENCHMARK(BM_StoreOpen)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

void BM_StoreCheck(benchmark::State& state) {
    Store(static_cast<int>(state.range(0)));
    CSqliteRegistry store;
    for (auto _ : state)
        if (store.Check() != REG_OK) state.SkipWithError("the check failed");
}
BENCHMARK(BM_StoreCheck)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

// The command itself, when it was built next to this program.
void BM_WavoryctlProfilesList(benchmark::State& state) {
    const auto ctl = std::filesystem::read_symlink("/proc/self/exe").parent_path() / "wavoryctl";
    if (!std::filesystem::exists(ctl)) {
        state.SkipWithError("wavoryctl is not built next to this program");
        return;
    }
    Store(static_cast<int>(state.range(0)));
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    for (auto _ : state) {
        const std::string path = ctl.string();
        char* argv[] = {const_cast<char*>(path.c_str()), const_cast<char*>("profiles"),
                        const_cast<char*>("list"), nullptr};
        pid_t pid = 0;
        int status = 0;
        if (posix_spawn(&pid, argv[0], &actions, nullptr, argv, environ) != 0 ||
            ::waitpid(pid, &status, 0) < 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            state.SkipWithError("wavoryctl profiles list failed");
            break;
        }
    }
    posix_spawn_file_actions_destroy(&actions);
}
BENCHMARK(BM_WavoryctlProfilesList)->Arg(10)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond);

// ---- wavoryctl at scale: CPU time of the command's process ----

std::filesystem::path CtlPath() {
    return std::filesystem::read_symlink("/proc/self/exe").parent_path() / "wavoryctl";
}

// Runs wavoryctl with the arguments; the CPU time it used (user and system) in seconds, or a negative
// number when it failed.
double RunCtlCpu(const std::vector<std::string>& args) {
    std::vector<std::string> all{CtlPath().string()};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    int status = 0;
    struct rusage usage {};
    const bool ran = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0 &&
                     ::wait4(pid, &status, 0, &usage) == pid;
    posix_spawn_file_actions_destroy(&actions);
    if (!ran || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return -1;
    auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// `wavoryctl profiles new` and `profiles rm` at 10, 1000 and 10,000 profiles: CPU time of the
// command's process. Each rm removes the profile the new before it made, so the store keeps its size.
void BM_WavoryctlNewRm(benchmark::State& state) {
    if (!std::filesystem::exists(CtlPath())) {
        state.SkipWithError("wavoryctl is not built next to this program");
        return;
    }
    Store(static_cast<int>(state.range(0)));
    double newCpu = 0, rmCpu = 0;
    for (auto _ : state) {
        const double made = RunCtlCpu({"profiles", "new", "--name", "Bench", "--ssid", "Bench"});
        const double removed = RunCtlCpu({"profiles", "rm", "Bench"});
        if (made < 0 || removed < 0) {
            state.SkipWithError("wavoryctl profiles new or rm failed");
            break;
        }
        newCpu += made;
        rmCpu += removed;
        state.SetIterationTime(made + removed);
    }
    state.counters["new_cpu_ms"] = benchmark::Counter(newCpu * 1000, benchmark::Counter::kAvgIterations);
    state.counters["rm_cpu_ms"] = benchmark::Counter(rmCpu * 1000, benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_WavoryctlNewRm)
    ->Arg(10)
    ->Arg(1000)
    ->Arg(10000)
    ->UseManualTime()
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond);

// `wavoryctl status` and `scan --no-wait`, which read the adapter and no profile, at 10 and 10,000
// profiles: CPU time of the command's process.
void BM_WavoryctlStatus(benchmark::State& state) {
    if (!std::filesystem::exists(CtlPath())) {
        state.SkipWithError("wavoryctl is not built next to this program");
        return;
    }
    Store(static_cast<int>(state.range(0)));
    double statusCpu = 0, listCpu = 0;
    for (auto _ : state) {
        const double status = RunCtlCpu({"status"});
        const double list = RunCtlCpu({"scan", "--no-wait"});
        if (status < 0 || list < 0) {
            state.SkipWithError("wavoryctl status or scan --no-wait failed");
            break;
        }
        statusCpu += status;
        listCpu += list;
        state.SetIterationTime(status + list);
    }
    state.counters["status_cpu_ms"] = benchmark::Counter(statusCpu * 1000, benchmark::Counter::kAvgIterations);
    state.counters["list_cpu_ms"] = benchmark::Counter(listCpu * 1000, benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_WavoryctlStatus)->Arg(10)->Arg(10000)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);

// The connection history after a simulated week connected around the clock: a summary each minute
// (10,080) and an event every five minutes (a join, a connection, a roam or a drop: 2,016). Reports
// the cost of one event written at that size and the file's size (with its write-ahead log).
void BM_HistoryWeek(benchmark::State& state) {
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("wavory-bench-history-" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir);
    CHistoryDb db((dir / "history.db").string());
    if (!db.Ok()) {
        state.SkipWithError(db.Error().c_str());
        return;
    }
    const int64_t start =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
            .count() -
        7LL * 24 * 3600 * 1000;
    const SHistoryEvent::EKind kinds[] = {SHistoryEvent::EKind::Join, SHistoryEvent::EKind::Connect,
                                          SHistoryEvent::EKind::Roam, SHistoryEvent::EKind::Disconnect};
    auto event = [&](int minute) {
        SHistoryEvent e;
        e.timeMs = start + minute * 60000LL;
        e.ssid = "Marina";
        e.bssid = "3C-84-6A-51-0E-" + std::to_string(10 + minute % 2);
        e.freqMHz = 5180;
        e.signalDbm = -55;
        e.detail = "The access point forgot this station: it restarted or dropped it. (reason 7)";
        if (minute % 5 == 0) {
            e.kind = kinds[(minute / 5) % 4];
        } else {
            e.kind = SHistoryEvent::EKind::Link;
            e.key = "link:" + std::to_string(minute);
            e.signalMin = -60;
            e.signalMean = -55;
            e.signalMax = -50;
            e.txKbps = 866000;
            e.rxKbps = 433000;
        }
        return e;
    };
    int minute = 0;
    for (; minute < 7 * 24 * 60; ++minute) db.Add(event(minute));
    for (auto _ : state) db.Add(event(minute++));
    std::uintmax_t bytes = 0, log = 0;
    for (const auto& file : std::filesystem::directory_iterator(dir))
        (file.path().extension() == ".db" ? bytes : log) += file.file_size();
    state.counters["events"] = static_cast<double>(db.Count());
    state.counters["file_kib"] = static_cast<double>(bytes) / 1024;
    state.counters["log_kib"] = static_cast<double>(log) / 1024;
    std::filesystem::remove_all(dir);
}
BENCHMARK(BM_HistoryWeek)->Unit(benchmark::kMicrosecond);

// `wavoryctl profiles dup`, `edit` and `rm` of one profile, and a member leaving the auto-selection
// list and joining it again, at 1,000 and 10,000 profiles: CPU time of each command's process. The
// copy of a member is removed again, so the store keeps its size; the member that leaves is the first
// of the list (each round's leaves and joins at the end), so every later member moves up one place.
void BM_WavoryctlDupEditRm(benchmark::State& state) {
    if (!std::filesystem::exists(CtlPath())) {
        state.SkipWithError("wavoryctl is not built next to this program");
        return;
    }
    const int n = static_cast<int>(state.range(0));
    Store(n);
    static std::map<int, int> rounds;  // per store: how many members went to the end already
    double dupCpu = 0, editCpu = 0, rmCpu = 0, leaveCpu = 0, joinCpu = 0;
    for (auto _ : state) {
        const std::string first = "Profile " + std::to_string(3 * rounds[n]++);
        const double dup = RunCtlCpu({"profiles", "dup", "Profile 3", "--name", "Bench"});
        const double edit = RunCtlCpu({"profiles", "edit", "Bench", "--ssid", "Bench"});
        const double rm = RunCtlCpu({"profiles", "rm", "Bench"});
        const double leave = RunCtlCpu({"profiles", "edit", first, "--no-auto-select"});
        const double join = RunCtlCpu({"profiles", "edit", first, "--auto-select"});
        if (dup < 0 || edit < 0 || rm < 0 || leave < 0 || join < 0) {
            state.SkipWithError("a wavoryctl profiles command failed");
            break;
        }
        dupCpu += dup;
        editCpu += edit;
        rmCpu += rm;
        leaveCpu += leave;
        joinCpu += join;
        state.SetIterationTime(dup + edit + rm + leave + join);
    }
    auto average = [](double seconds) {
        return benchmark::Counter(seconds * 1000, benchmark::Counter::kAvgIterations);
    };
    state.counters["dup_cpu_ms"] = average(dupCpu);
    state.counters["edit_cpu_ms"] = average(editCpu);
    state.counters["rm_cpu_ms"] = average(rmCpu);
    state.counters["leave_cpu_ms"] = average(leaveCpu);
    state.counters["join_cpu_ms"] = average(joinCpu);
}
BENCHMARK(BM_WavoryctlDupEditRm)
    ->Arg(1000)
    ->Arg(10000)
    ->UseManualTime()
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);

// `wavoryctl profiles import` of an export of all profiles, into an empty store: CPU time of the
// command's process.
void BM_WavoryctlImport(benchmark::State& state) {
    if (!std::filesystem::exists(CtlPath())) {
        state.SkipWithError("wavoryctl is not built next to this program");
        return;
    }
    const int n = static_cast<int>(state.range(0));
    CBenchStore& source = Store(n);
    const std::string file = (source.Home() / "all.reg").string();
    std::filesystem::remove(file);
    if (!source.Mngr().RegistryOp(CProfileMngr::REG_OP_EXPORT_ALL, file, std::nullopt)) {
        state.SkipWithError("the export failed");
        return;
    }
    const std::filesystem::path empty = source.Home() / "import-home";
    ::setenv("XDG_CONFIG_HOME", empty.c_str(), 1);
    for (auto _ : state) {
        std::filesystem::remove_all(empty);
        const double cpu = RunCtlCpu({"profiles", "import", file});
        if (cpu < 0) {
            state.SkipWithError("wavoryctl profiles import failed");
            break;
        }
        state.SetIterationTime(cpu);
    }
    state.counters["file_MiB"] = static_cast<double>(std::filesystem::file_size(file)) / (1 << 20);
    source.Use();
}
BENCHMARK(BM_WavoryctlImport)
    ->Arg(1000)
    ->Arg(5000)
    ->Arg(10000)
    ->UseManualTime()
    ->Iterations(2)
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
