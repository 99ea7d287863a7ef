// Cost of loading and saving 100 profiles (start-up and shutdown) and of saving one (the editor's
// apply), against the real settings store in a temporary configuration folder.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "base/AppBase.h"
#include "platform/SettingsRegistry.h"
#include "profiles/ProfileMngr.h"

using namespace wavory;

namespace {

constexpr int kProfiles = 100;

// The store and a manager holding 100 profiles, set up once for the whole run.
class CBenchEnv {
public:
    CBenchEnv()
        : m_Home(std::filesystem::temp_directory_path() / ("wavory-bench-" + std::to_string(::getpid()))) {
        std::filesystem::create_directories(m_Home);
        // Before the store exists, so that it settles in the temporary folder.
        ::setenv("XDG_CONFIG_HOME", m_Home.c_str(), 1);
        m_pRegistry = std::make_unique<CSettingsRegistry>();
        theApp.m_pRegistry = m_pRegistry.get();
        m_pMngr = std::make_unique<CProfileMngr>();
        theApp.m_pProfileMngr = m_pMngr.get();
        for (int i = 0; i < kProfiles; ++i) {
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
    }
    ~CBenchEnv() {
        theApp.m_pProfileMngr = nullptr;
        m_pMngr.reset();
        theApp.m_pRegistry = nullptr;
        m_pRegistry.reset();
        std::error_code ec;
        std::filesystem::remove_all(m_Home, ec);
    }
    CBenchEnv(const CBenchEnv&) = delete;
    CBenchEnv& operator=(const CBenchEnv&) = delete;

    CProfileMngr& Mngr() { return *m_pMngr; }

private:
    std::filesystem::path m_Home;
    std::unique_ptr<CSettingsRegistry> m_pRegistry;
    std::unique_ptr<CProfileMngr> m_pMngr;
};

CBenchEnv& Env() {
    static CBenchEnv env;
    return env;
}

void BM_LoadAll100(benchmark::State& state) {
    CProfileMngr& mngr = Env().Mngr();
    for (auto _ : state) {
        mngr.LoadAll(false);
        benchmark::DoNotOptimize(mngr.GetCount());
    }
    if (mngr.GetCount() != kProfiles) state.SkipWithError("not every profile was loaded");
}
BENCHMARK(BM_LoadAll100)->Unit(benchmark::kMillisecond);

void BM_SaveAll100(benchmark::State& state) {
    CProfileMngr& mngr = Env().Mngr();
    for (auto _ : state) {
        if (!mngr.SaveAll()) {
            state.SkipWithError("save failed");
            break;
        }
    }
}
BENCHMARK(BM_SaveAll100)->Unit(benchmark::kMillisecond);

void BM_SaveOne(benchmark::State& state) {
    CProfileMngr& mngr = Env().Mngr();
    auto profile = mngr.GetProfile("Profile 42");
    for (auto _ : state) {
        auto lock = mngr.Lock();
        if (!profile->Save(true)) {
            state.SkipWithError("save failed");
            break;
        }
    }
}
BENCHMARK(BM_SaveOne)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
