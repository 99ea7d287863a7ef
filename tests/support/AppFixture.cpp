#include "AppFixture.h"

#include <memory>

#include "base/AppBase.h"
#include "driver/Card.h"
#include "kccl_sim.h"
#include "monitor/Poll.h"
#include "profiles/ProfileMngr.h"
#include "shell/UserJoin.h"
#include "survey/Station.h"
#include "survey/StationMngr.h"

namespace wavory::test {

void AppFixture::WireApp(const Wiring& wiring) {
    ASSERT_EQ(kccl_sim_reset(wiring.scenario.empty() ? nullptr : wiring.scenario.c_str()), 0);
    kccl_sim_clear_faults();
    kccl_sim_set_scan_duration(0);
    kccl_sim_set_join_delay(0);

    theApp.m_pRegistry = wiring.registry;
    theApp.m_pMessages = wiring.messages;
    theApp.m_bAdHocApplied = false;
    theApp.m_bAutoPaused = false;
    theApp.m_bScanning = false;
    theApp.m_bRefreshRequest = false;
    theApp.m_nAutoCountdown = -1;
    theApp.m_StatHistory.fill(StatSample{});
    theApp.m_nStatIndex = 0;
    theApp.m_nRxRate = 0;
    theApp.m_nTxRate = 0;
    theApp.m_pGraphPage = nullptr;
    theApp.m_pMainWnd = nullptr;
    ASSERT_TRUE(theApp.ConnectDriver());

    theApp.m_pPoll = new CPoll();
    theApp.m_pPoll->Prepare();
    theApp.m_pCardMngr = new CCardMngr();
    theApp.m_pProfileMngr = new CProfileMngr();
    theApp.m_pProfileMngr->m_fnCurrentStation = []() -> std::shared_ptr<CProfile> {
        return theApp.m_pStationMngr ? theApp.m_pStationMngr->GetCurrent() : nullptr;
    };
    theApp.m_pStationMngr = new CStationMngr();  // starts the first scan
    theApp.m_pMainWnd = wiring.window;
}

void AppFixture::UnwireApp() {
    DropUserAttempt();
    theApp.m_pMainWnd = nullptr;
    if (theApp.m_pProfileMngr) theApp.m_pProfileMngr->m_fnCurrentStation = nullptr;
    delete theApp.m_pStationMngr;
    theApp.m_pStationMngr = nullptr;
    delete theApp.m_pProfileMngr;  // saves every profile
    theApp.m_pProfileMngr = nullptr;
    delete theApp.m_pCardMngr;
    theApp.m_pCardMngr = nullptr;
    delete theApp.m_pPoll;
    theApp.m_pPoll = nullptr;
    theApp.m_bScanning = false;
    theApp.m_nAutoCountdown = -1;
    theApp.m_bAdHocApplied = false;
    theApp.m_bAutoPaused = false;
    theApp.DisconnectDriver();
    theApp.m_pMessages = nullptr;
    theApp.m_pRegistry = nullptr;
    kccl_sim_clear_faults();
}

}  // namespace wavory::test
