// The polling thread ticking every few milliseconds while the interface thread merges scans,
// connects, and adds and deletes profiles. Run under ThreadSanitizer in CI.
#include <atomic>
#include <chrono>
#include <thread>

#include "CoreFixture.h"

using namespace wavory;
using namespace wavory::test;
using namespace std::chrono_literals;

TEST_F(CoreFixture, FastTicksAgainstMergesConnectsAndDeletions) {
    for (const char* ssid : {"Lighthouse", "Harbour", "Nowhere", "Boatyard"}) AddProfile(ssid, true, true);
    theApp.m_pPoll->SetTiming(0ms, 2ms, 0ms);
    ASSERT_TRUE(theApp.m_pPoll->Start());

    const auto until = std::chrono::steady_clock::now() + 1500ms;
    int rounds = 0;
    while (std::chrono::steady_clock::now() < until) {
        CProfileMngr& profiles = *theApp.m_pProfileMngr;
        CStationMngr& stations = *theApp.m_pStationMngr;
        switch (rounds % 5) {
            case 0:
                if (!stations.MergeScan()) theApp.m_bScanning = false;
                break;
            case 1: {
                auto snapshot = profiles.Snapshot();
                if (snapshot.empty()) break;
                std::shared_ptr<CStation> station;
                {
                    auto lock = profiles.Lock();
                    station = std::make_shared<CStation>(*snapshot[rounds % snapshot.size()]);
                }
                if (station->Connect(1)) stations.SetCurrent(station);
                break;
            }
            case 2: {
                auto snapshot = profiles.Snapshot();
                if (snapshot.size() > 2) {
                    std::string name;
                    {
                        auto lock = profiles.Lock();
                        name = snapshot.front()->ProfName;
                    }
                    profiles.RemoveProfile(name, true, false);
                }
                break;
            }
            case 3:
                AddProfile(rounds % 2 ? "Lighthouse" : "Quayside-5G", true, true);
                break;
            case 4: {
                auto connected = profiles.GetProfile("ConnectedStation");
                auto lock = stations.Lock();
                if (connected) {
                    EXPECT_LE(connected->NetName.size(), 32u);
                }
                for (const auto& s : stations.Snapshot()) EXPECT_LE(s->NetName.size(), 32u);
                break;
            }
        }
        ++rounds;
        if (rounds % 50 == 0) kccl_sim_advance(1000);
    }
    theApp.m_pPoll->Stop();
    EXPECT_GT(rounds, 20);  // enough rounds to have met the ticks, also on a slow sanitizer build
    EXPECT_GE(theApp.m_nStatIndex, 0);
}
