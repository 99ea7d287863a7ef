// The settings store at 10, 100 and 1000 profiles: loading them all (start-up, and the window's
// reload after another program's change), saving them all, saving one (the editor's apply), and
// `wavoryctl profiles list` (a fresh connection, the load, the listing). Against the real store in a
// temporary configuration folder.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <string>

#include "profiles/ProfileMngr.h"
#include "shell/Tessal.h"
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
        mngr.LoadAll(false);
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

// The editor's apply: one profile changed and saved with the count.
void BM_SaveOne(benchmark::State& state) {
    CProfileMngr& mngr = Store(static_cast<int>(state.range(0))).Mngr();
    auto profile = mngr.GetProfile("Profile 5");
    int round = 0;
    for (auto _ : state) {
        auto lock = mngr.Lock();
        profile->NetName = "Network " + std::to_string(++round % 2);
        if (!profile->Save(true)) {
            state.SkipWithError("save failed");
            break;
        }
    }
}
BENCHMARK(BM_SaveOne)->Arg(10)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond);

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

}  // namespace

BENCHMARK_MAIN();
