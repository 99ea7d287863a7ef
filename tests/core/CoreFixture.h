// The application object wired like start-up does (AppFixture), on an in-memory settings store and
// the simulated adapter, without the polling thread running (tests drive its ticks).
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "AppFixture.h"
#include "MemoryRegistry.h"
#include "base/AppBase.h"
#include "kccl_sim.h"
#include "monitor/Poll.h"
#include "profiles/ProfileMngr.h"
#include "shell/MainWindow.h"
#include "survey/Station.h"
#include "survey/StationMngr.h"

namespace wavory::test {

// A window that asks nothing: the main tick merges scans and refreshes through it, as the real
// window's tick does.
class CQuietWindow : public IMainWindow {
public:
    int Run() override { return 0; }
    void RefreshPages(bool, bool) override {}
    bool IsSiteVisible() override { return false; }
    void RefreshSiteList() override {}
    void SetTrayTip(const std::string&) override {}
};

class CoreFixture : public AppFixture {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(WireApp({.registry = &m_Registry}));
        kccl_sim_clear_log();
    }
    void TearDown() override { UnwireApp(); }

    // Adds a stored profile and, with a slot, makes it the next auto-selection member.
    std::shared_ptr<CProfile> AddProfile(const std::string& ssid, bool infrastructure, bool autoSelect,
                                         int phyChnl = 0, int phyType = 1) {
        CProfileMngr& mngr = *theApp.m_pProfileMngr;
        const std::string name = mngr.AddProfile();
        auto profile = mngr.GetProfile(name);
        {
            auto lock = mngr.Lock();
            profile->NetName = ssid;
            profile->NetMode = infrastructure;
            profile->PhyChnl = phyChnl;
            profile->PhyType = phyType;
            if (autoSelect) {
                profile->AutoSelect = true;
                profile->Priority = mngr.UpdatePriorities(-1);
            }
        }
        return profile;
    }

    // The codes the adapter received since the last clear.
    static std::vector<uint32_t> LoggedCodes() {
        KCCL_SIM_LOG_ENTRY log[64];
        const int n = kccl_sim_get_log(log, 64);
        std::vector<uint32_t> codes;
        for (int i = 0; i < n; ++i) codes.push_back(log[i].code);
        return codes;
    }
    static bool Logged(uint32_t code) {
        for (uint32_t c : LoggedCodes())
            if (c == code) return true;
        return false;
    }
    static bool Associated() { return SimState().value("associated", false); }
    static nlohmann::json SimState() {
        std::string buf(1 << 16, '\0');
        kccl_sim_state_json(buf.data(), buf.size());
        return nlohmann::json::parse(buf.c_str());
    }

    CMemoryRegistry m_Registry;
};

}  // namespace wavory::test
