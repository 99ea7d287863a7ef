// Merging the driver's scan result list into stations, the current station and grouping.
#include <nlohmann/json.hpp>

#include "CoreFixture.h"
#include "driver/Request.h"

using namespace wavory;
using namespace wavory::test;
using nlohmann::json;

namespace {

json Net(const std::string& ssid, const std::string& bssid, int channel, int dbm, bool adhoc = false,
         const char* key = nullptr) {
    json n = {{"ssid", ssid},
              {"bssid", bssid},
              {"channel", channel},
              {"phy", channel > 14 ? 0 : 2},
              {"mode", adhoc ? "adhoc" : "infrastructure"},
              {"signal_dbm", dbm},
              {"rx_bytes_per_s", 1000},
              {"tx_bytes_per_s", 1000}};
    if (key) n["wep_key"] = key;
    return n;
}

class StationMngrTest : public CoreFixture {
protected:
    // Replaces the radio environment and runs a complete scan.
    void Environment(const std::vector<json>& networks) {
        json scenario = {{"scan_duration_ms", 0}, {"join_delay_ms", 0}, {"networks", json::array()}};
        for (const json& n : networks) scenario["networks"].push_back(n);
        ASSERT_EQ(kccl_sim_reset(scenario.dump().c_str()), 0);
        theApp.DisconnectDriver();
        ASSERT_EQ(Stations().StartScan(), 2);
        kccl_sim_advance(10);
    }
    static CStationMngr& Stations() { return *theApp.m_pStationMngr; }
    static std::vector<std::string> Keys() {
        std::vector<std::string> keys;
        for (const auto& s : Stations().Snapshot()) keys.push_back(CStationMngr::StationKey(*s));
        return keys;
    }
};

}  // namespace

TEST_F(StationMngrTest, EmptyListGivesNoStations) {
    Environment({});
    EXPECT_FALSE(Stations().MergeScan());
    EXPECT_TRUE(Stations().Snapshot().empty());
    // While the driver still scans the merge says so.
    kccl_sim_set_scan_duration(5000);
    Stations().StartScan();
    EXPECT_TRUE(Stations().MergeScan());
}

TEST_F(StationMngrTest, BothHalvesBecomeStationsInOrder) {
    std::vector<json> nets;
    nets.push_back(Net("AP1", "00-00-00-00-00-01", 1, -50));
    nets.push_back(Net("AP2", "00-00-00-00-00-02", 6, -60));
    for (int i = 0; i < 5; ++i)
        nets.push_back(
            Net("Cell" + std::to_string(i), "02-00-00-00-00-1" + std::to_string(i), 3 + i, -70, true));
    Environment(nets);
    EXPECT_FALSE(Stations().MergeScan());
    ASSERT_EQ(Stations().Snapshot().size(), 7u);
    auto ap = Stations().Lookup("AP2;6");
    ASSERT_NE(ap, nullptr);
    EXPECT_TRUE(ap->NetMode);
    EXPECT_EQ(ap->m_strBssid, "00-00-00-00-00-02");
    EXPECT_EQ(ap->m_nRssi, -60);
    EXPECT_EQ(ap->PhyType, 2);
    EXPECT_EQ(ap->GetSection(), "Station 1");
    auto cell = Stations().Lookup("Cell4;7");
    ASSERT_NE(cell, nullptr);
    EXPECT_FALSE(cell->NetMode);
    EXPECT_EQ(cell->GetSection(), "Station 6");  // ad-hoc entries follow the access points
    EXPECT_EQ(cell->ActiveSecKey, -1);
}

TEST_F(StationMngrTest, KeysJoinSsidAndChannel) {
    Environment({Net("Harbour", "00-00-00-00-00-01", 1, -58, false, "1A2B3C4D5E"),
                 Net("Harbour", "00-00-00-00-00-06", 6, -71, false, "1A2B3C4D5E"),
                 Net("Twin", "00-00-00-00-00-07", 6, -40), Net("Twin", "00-00-00-00-00-08", 6, -30)});
    Stations().MergeScan();
    EXPECT_EQ(Keys(), (std::vector<std::string>{"Harbour;1", "Harbour;6", "Twin;6"}));
    EXPECT_EQ(Stations().Lookup("Harbour;1")->SecType, 1);
    // Two entries of one key: the first entry wins, whatever its strength.
    EXPECT_EQ(Stations().Lookup("Twin;6")->m_strBssid, "00-00-00-00-00-07");
}

TEST_F(StationMngrTest, GroupingKeepsTheStrongestPerName) {
    m_Registry.WriteProfileInt("", "View AP or NET", 1);
    Environment({Net("Harbour", "00-00-00-00-00-01", 1, -71), Net("Harbour", "00-00-00-00-00-06", 6, -58),
                 Net("Even", "00-00-00-00-00-11", 11, -60), Net("Even", "00-00-00-00-00-03", 3, -60)});
    Stations().MergeScan();
    // "Even;11" sorts after "Even;3": with equal strength the first in key order stays.
    EXPECT_EQ(Keys(), (std::vector<std::string>{"Even;11", "Harbour;6"}));
}

TEST_F(StationMngrTest, OneAccessPointOnTwoChannelsStaysTwoWhenGrouped) {
    // One BSSID heard on two channels (the adapter's environment cannot hold that, so the stations
    // are put in by hand).
    Environment({});
    Stations().MergeScan();
    for (int channel : {1, 6}) {
        SScanEntry entry;
        entry.ssid = "Dual";
        entry.channel = static_cast<uint8_t>(channel);
        entry.bssid[5] = 0xAA;
        entry.rssi = -50 - channel;
        Stations().AddStation(CStationMngr::FromScanEntry(entry, false, channel));
    }
    Stations().GroupByNetwork();
    EXPECT_EQ(Keys(), (std::vector<std::string>{"Dual;1", "Dual;6"}));
}

TEST_F(StationMngrTest, CurrentStationByBssidAndChannel) {
    Environment({Net("Open", "00-00-00-00-00-01", 11, -50), Net("Other", "00-00-00-00-00-02", 11, -40)});
    CProfile profile("", false);
    profile.NetName = "Open";
    profile.NetMode = true;
    ASSERT_TRUE(CStation(profile).Connect(1));
    Stations().MergeScan();
    auto current = Stations().GetCurrent();
    ASSERT_NE(current, nullptr);
    EXPECT_EQ(CStationMngr::StationKey(*current), "Open;11");

    // Without the driver's channel, no entry can be the connection.
    kccl_sim_set_fault(OID_CHANNEL_QUERY, KCCL_SIM_FAULT_STATUS, 1);
    Stations().MergeScan();
    EXPECT_EQ(Stations().GetCurrent(), nullptr);
    EXPECT_EQ(Stations().Snapshot().size(), 2u);
}

TEST_F(StationMngrTest, LossOfConnectionClearsCurrentAndConnectedProfile) {
    Environment({Net("Open", "00-00-00-00-00-01", 11, -50)});
    auto profile = AddProfile("Open", true, true);
    auto station = std::make_shared<CStation>(*profile);
    ASSERT_TRUE(station->Connect(1));
    Stations().SetCurrent(station);
    theApp.m_pProfileMngr->SetConnected(profile, false);
    Stations().MergeScan();
    ASSERT_NE(Stations().GetCurrent(), nullptr);
    theApp.m_StatHistory[3].rx = 500;

    kccl_sim_remove_network("00-00-00-00-00-01");
    Stations().MergeScan();
    EXPECT_EQ(Stations().GetCurrent(), nullptr);
    EXPECT_EQ(theApp.m_pProfileMngr->GetConnected(), nullptr);
    EXPECT_EQ(theApp.m_StatHistory[3].rx, 0);  // statistics reset
}

TEST_F(StationMngrTest, AdHocConnectionLossIsNotDetected) {
    Environment({Net("Cell", "02-00-00-00-00-01", 6, -50, true)});
    CProfile profile("", false);
    profile.NetName = "Cell";
    profile.NetMode = false;
    profile.PhyChnl = 5;  // channel 6
    auto station = std::make_shared<CStation>(profile);
    ASSERT_TRUE(station->Connect(1));
    EXPECT_TRUE(theApp.m_bAdHocApplied);
    auto connected = AddProfile("Cell", false, false);
    theApp.m_pProfileMngr->SetConnected(connected, false);
    Stations().MergeScan();
    kccl_sim_remove_network("02-00-00-00-00-01");
    Stations().MergeScan();
    EXPECT_NE(theApp.m_pProfileMngr->GetConnected(), nullptr);
}

TEST_F(StationMngrTest, SsidBytesAreKeptSafely) {
    json odd = Net("", "00-00-00-00-00-09", 1, -50);
    odd.erase("ssid");
    odd["ssid_hex"] = "41FF0042";  // 'A', an invalid UTF-8 byte, a zero byte, 'B'
    Environment({odd});
    Stations().MergeScan();
    auto stations = Stations().Snapshot();
    ASSERT_EQ(stations.size(), 1u);
    EXPECT_EQ(stations[0]->NetName, std::string("A\xFF\0B", 4));
    EXPECT_NE(Stations().Lookup(std::string("A\xFF\0B;1", 6)), nullptr);
}

TEST_F(StationMngrTest, FailedListReadLeavesMapEmpty) {
    Environment({Net("Open", "00-00-00-00-00-01", 11, -50)});
    kccl_sim_set_fault(OID_SCAN_LIST, KCCL_SIM_FAULT_STATUS, 1);
    EXPECT_FALSE(Stations().MergeScan());
    EXPECT_TRUE(Stations().Snapshot().empty());
    kccl_sim_set_fault(OID_START_SCAN, KCCL_SIM_FAULT_RESULT, 1);
    theApp.m_bScanning = false;
    EXPECT_EQ(Stations().StartScan(), 0);
    EXPECT_FALSE(theApp.m_bScanning);
}

TEST_F(StationMngrTest, StartUpScanFillsMapAndDestructionRemembersConnection) {
    // The fixture's manager started a scan at construction: it completes with the built-in networks.
    ASSERT_EQ(kccl_sim_reset(nullptr), 0);
    kccl_sim_set_scan_duration(3000);
    delete theApp.m_pStationMngr;
    theApp.m_pStationMngr = new CStationMngr();
    EXPECT_TRUE(theApp.m_bScanning);
    EXPECT_EQ(theApp.m_pPoll->GetIntervalSecs(), 4);
    EXPECT_TRUE(Stations().MergeScan());  // still scanning
    kccl_sim_advance(3100);
    EXPECT_FALSE(Stations().MergeScan());
    auto stations = Stations().Snapshot();
    EXPECT_GE(stations.size(), 6u);
    bool adhoc = false, infra = false;
    for (const auto& s : stations) (s->NetMode ? infra : adhoc) = true;
    EXPECT_TRUE(adhoc && infra);

    auto lighthouse = Stations().Lookup("Lighthouse;11");
    ASSERT_NE(lighthouse, nullptr);
    Stations().SetCurrent(lighthouse);
    delete theApp.m_pStationMngr;
    theApp.m_pStationMngr = new CStationMngr();
    EXPECT_EQ(m_Registry.GetProfileString("", "ConnectedStation", "?"), "Lighthouse;11");
}

// A city flat: more access points and cells than the list's twenty of each; the further pages
// bring every one, the access points first, and the adapter's limit of networks holds them all.
TEST_F(StationMngrTest, EveryNetworkBeyondTheFirstTwentyOfEachKind) {
    std::vector<json> nets;
    char bssid[32];
    for (int i = 0; i < 230; ++i) {
        std::snprintf(bssid, sizeof bssid, "00-00-00-00-%02X-%02X", i / 256, i % 256);
        nets.push_back(Net("Flat" + std::to_string(i), bssid, 1 + i % 11, -40 - i % 50));
    }
    for (int i = 0; i < 26; ++i) {
        std::snprintf(bssid, sizeof bssid, "02-00-00-00-01-%02X", i);
        nets.push_back(Net("Cell" + std::to_string(i), bssid, 1 + i % 11, -70, true));
    }
    Environment(nets);
    EXPECT_FALSE(Stations().MergeScan());
    EXPECT_EQ(Stations().Snapshot().size(), 256u);
    auto last = Stations().Lookup("Flat229;" + std::to_string(1 + 229 % 11));
    ASSERT_NE(last, nullptr);
    EXPECT_TRUE(last->NetMode);
    EXPECT_EQ(last->GetSection(), "Station 229");
    auto cell = Stations().Lookup("Cell25;" + std::to_string(1 + 25 % 11));
    ASSERT_NE(cell, nullptr);
    EXPECT_FALSE(cell->NetMode);
    EXPECT_EQ(cell->GetSection(), "Station 255");
}

// Exactly twenty of each: the page after them is empty and ends the reading.
TEST_F(StationMngrTest, FullFirstPageAndNothingMore) {
    std::vector<json> nets;
    char bssid[32];
    for (int i = 0; i < 40; ++i) {
        std::snprintf(bssid, sizeof bssid, "02-00-00-00-02-%02X", i);
        nets.push_back(Net("N" + std::to_string(i), bssid, 6, -60, i >= 20));
    }
    Environment(nets);
    kccl_sim_clear_log();
    EXPECT_FALSE(Stations().MergeScan());
    EXPECT_EQ(Stations().Snapshot().size(), 40u);
    KCCL_SIM_LOG_ENTRY log[64];
    const int n = kccl_sim_get_log(log, 64);
    int pages = 0;
    for (int i = 0; i < n; ++i)
        if (log[i].code == OID_SCAN_LIST_MORE) ++pages;
    EXPECT_EQ(pages, 1);
}

// A library that does not know the further pages leaves the first one standing.
TEST_F(StationMngrTest, FirstPageStandsWhenFurtherPagesFail) {
    std::vector<json> nets;
    char bssid[32];
    for (int i = 0; i < 25; ++i) {
        std::snprintf(bssid, sizeof bssid, "02-00-00-00-03-%02X", i);
        nets.push_back(Net("M" + std::to_string(i), bssid, 6, -60));
    }
    Environment(nets);
    kccl_sim_set_fault(OID_SCAN_LIST_MORE, KCCL_SIM_FAULT_STATUS, 0xC00000BB);
    EXPECT_FALSE(Stations().MergeScan());
    EXPECT_EQ(Stations().Snapshot().size(), 20u);
    kccl_sim_clear_faults();
}

// Each merge is a look at the air: every access point with its signal, also those the stations
// fold into one row, and the connection's marked.
TEST_F(StationMngrTest, MergesFeedTheSignalTrailAndTheViewOfTheAir) {
    Environment({Net("Dual", "00-00-00-00-00-01", 6, -50), Net("Dual", "00-00-00-00-00-02", 6, -60),
                 Net("Open", "00-00-00-00-00-03", 11, -70), Net("Cell", "02-00-00-00-00-04", 3, -65, true)});
    CProfile profile("", false);
    profile.NetName = "Open";
    profile.NetMode = true;
    ASSERT_TRUE(CStation(profile).Connect(1));
    Stations().MergeScan();
    EXPECT_EQ(Stations().Snapshot().size(), 3u);  // the two "Dual;6" are one station
    const std::vector<SAirEntry> air = Stations().HeardAir();
    ASSERT_EQ(air.size(), 3u);  // access points only, each of them
    int own = 0;
    for (const SAirEntry& e : air) own += e.current ? 1 : 0;
    EXPECT_EQ(own, 1);

    ASSERT_EQ(kccl_sim_set_signal("00-00-00-00-00-02", -75), 0);
    ASSERT_EQ(Stations().StartScan(), 2);
    kccl_sim_advance(10);
    Stations().MergeScan();
    auto lock = Stations().Lock();
    const STrailSeries* second = Stations().Trail().Find("00-00-00-00-00-02");
    ASSERT_NE(second, nullptr);
    ASSERT_EQ(second->points.size(), 2u);
    EXPECT_EQ(second->points[0].signalDbm, -60);
    EXPECT_EQ(second->points[1].signalDbm, -75);
    ASSERT_NE(Stations().Trail().Find("00-00-00-00-00-03"), nullptr);
    EXPECT_TRUE(Stations().Trail().Find("00-00-00-00-00-03")->own);
    EXPECT_EQ(Stations().Trail().Find("02-00-00-00-00-04"), nullptr);  // an ad-hoc cell is no access point
}
