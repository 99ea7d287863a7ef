// Applying a profile to the simulated adapter and reading the live settings back, checked against
// the requests the adapter received.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "ProfilesFixture.h"
#include "driver/Request.h"
#include "kccl_sim.h"
#include "survey/Station.h"

using namespace wavory;
using namespace wavory::test;

namespace {

constexpr const char* kDigits26 = "0123456789ABCDEF0123456789";

std::vector<KCCL_SIM_LOG_ENTRY> Log() {
    std::vector<KCCL_SIM_LOG_ENTRY> log(64);
    log.resize(static_cast<std::size_t>(std::max(0, kccl_sim_get_log(log.data(), 64))));
    return log;
}

std::vector<uint32_t> Codes(const std::vector<KCCL_SIM_LOG_ENTRY>& log) {
    std::vector<uint32_t> codes;
    for (const auto& e : log) codes.push_back(e.code);
    return codes;
}

const KCCL_SIM_LOG_ENTRY* Find(const std::vector<KCCL_SIM_LOG_ENTRY>& log, uint32_t code) {
    for (const auto& e : log)
        if (e.code == code) return &e;
    return nullptr;
}

uint32_t HeadU32(const KCCL_SIM_LOG_ENTRY& e, int offset) {
    uint32_t v = 0;
    std::memcpy(&v, e.head + offset, sizeof v);
    return v;
}

nlohmann::json AdapterState() {
    std::vector<char> buf(1 << 16);
    const int len = kccl_sim_state_json(buf.data(), buf.size());
    if (len >= static_cast<int>(buf.size())) {
        buf.resize(static_cast<std::size_t>(len) + 1);
        kccl_sim_state_json(buf.data(), buf.size());
    }
    return nlohmann::json::parse(buf.data());
}

// An infrastructure profile of a network nobody offers, so the adapter accepts every setting.
CProfile Infrastructure(const std::string& ssid = "Nowhere") {
    CProfile p("", false);
    p.ProfName = "Test";
    p.NetName = ssid;
    p.NetMode = true;
    return p;
}

}  // namespace

class StationConnectTest : public ProfilesFixture {};

TEST_F(StationConnectTest, InfrastructureApplySendsModeSettingSsidSecurityAndNoChannel) {
    theApp.m_bAdHocApplied = true;
    CStation station(Infrastructure());
    ASSERT_TRUE(station.Connect(CStation::CONNECT_APPLY));
    const auto log = Log();
    EXPECT_EQ(Codes(log), (std::vector<uint32_t>{OID_NET_MODE_SET, OID_CONN_SETTING_SET, OID_SSID_SET,
                                                 OID_SECURITY_SET}));
    EXPECT_EQ(HeadU32(log[0], 0), 1u);  // infrastructure
    EXPECT_EQ(HeadU32(log[1], 0), 2u);  // the fixed setting "2"
    EXPECT_EQ(log[2].head[0], 7);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(log[2].head + 1), 7), "Nowhere");
    EXPECT_EQ(HeadU32(log[3], 0), 0u);  // no security
    EXPECT_FALSE(theApp.m_bAdHocApplied);
}

TEST_F(StationConnectTest, InfrastructureApplyWithKeySendsKeyLast) {
    CProfile p = Infrastructure();
    p.SecType = 1;
    p.ActiveSecKey = 0;
    p.SecKey[0] = "0102030405";
    CStation station(p);
    ASSERT_TRUE(station.Connect(CStation::CONNECT_APPLY));
    const auto log = Log();
    EXPECT_EQ(Codes(log), (std::vector<uint32_t>{OID_NET_MODE_SET, OID_CONN_SETTING_SET, OID_SSID_SET,
                                                 OID_SECURITY_SET, OID_WEP_KEY}));
    EXPECT_EQ(HeadU32(log[3], 0), 1u);  // WEP
    const auto& key = log[4];
    EXPECT_EQ(key.head[0], 0);  // index
    EXPECT_EQ(key.head[1], 5);  // bytes
    const uint8_t bytes[] = {1, 2, 3, 4, 5};
    EXPECT_EQ(std::memcmp(key.head + 8, bytes, sizeof bytes), 0);
}

TEST_F(StationConnectTest, AdHocApplyAddsChannelBetweenSsidAndSecurity) {
    CProfile p = Infrastructure("Nowhere-Cell");
    p.NetMode = false;
    p.PhyType = 1;
    p.PhyChnl = 10;
    p.ShortPreamble = true;
    CStation station(p);
    ASSERT_TRUE(station.Connect(CStation::CONNECT_APPLY));
    const auto log = Log();
    EXPECT_EQ(Codes(log), (std::vector<uint32_t>{OID_NET_MODE_SET, OID_CONN_SETTING_SET, OID_SSID_SET,
                                                 OID_CHANNEL_SET, OID_SECURITY_SET}));
    EXPECT_EQ(HeadU32(log[0], 0), 2u);   // ad hoc
    EXPECT_EQ(log[3].head[8], 11);       // index 10 is channel 11
    EXPECT_EQ(HeadU32(log[3], 12), 1u);  // short preamble
    EXPECT_TRUE(theApp.m_bAdHocApplied);
}

TEST_F(StationConnectTest, AdHocApplyOnTheFiveGigahertzBandMapsTheIndex) {
    for (const auto& [index, channel] : {std::pair{7, 64}, std::pair{8, 149}}) {
        CProfile p = Infrastructure("Nowhere-5G");
        p.NetMode = false;
        p.PhyType = 0;
        p.PhyChnl = index;
        kccl_sim_clear_log();
        CStation(p).Connect(CStation::CONNECT_APPLY);
        const auto log = Log();  // kept: Find points into it
        const auto* set = Find(log, OID_CHANNEL_SET);
        ASSERT_NE(set, nullptr);
        EXPECT_EQ(set->head[8], channel) << "index " << index;
        EXPECT_EQ(HeadU32(*set, 12), 0u);
    }
}

TEST_F(StationConnectTest, KeyRecordCarriesIndexLengthAndDigits) {
    CProfile p = Infrastructure();
    p.SecType = 1;
    p.ActiveSecKey = 2;
    p.SecKeyLen[2] = 1;
    p.SecKey[2] = kDigits26;
    ASSERT_TRUE(CStation(p).Connect(CStation::CONNECT_APPLY));
    const auto log = Log();  // kept: Find points into it
    const auto* key = Find(log, OID_WEP_KEY);
    ASSERT_NE(key, nullptr);
    EXPECT_EQ(key->head[0], 2);
    EXPECT_EQ(key->head[1], 13);
    const uint8_t bytes[13] = {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF, 0x01, 0x23, 0x45, 0x67, 0x89};
    EXPECT_EQ(std::memcmp(key->head + 8, bytes, sizeof bytes), 0);
}

TEST_F(StationConnectTest, ActiveKeyOutOfRangeSendsNoKey) {
    CProfile p = Infrastructure();
    p.SecType = 1;
    p.ActiveSecKey = 5;
    p.SecKey = {"0102030405", "0102030405", "0102030405", "0102030405"};
    CStation(p).Connect(CStation::CONNECT_APPLY);
    const auto log = Log();  // kept: Find points into it
    const auto* key = Find(log, OID_WEP_KEY);
    ASSERT_NE(key, nullptr);
    EXPECT_EQ(key->head[0], 0xFF);  // index -1
    EXPECT_EQ(key->head[1], 0);     // no key bytes

    kccl_sim_clear_log();
    p.ActiveSecKey = -1;
    ASSERT_TRUE(CStation(p).Connect(CStation::CONNECT_APPLY));
    EXPECT_EQ(Find(Log(), OID_WEP_KEY), nullptr);
    EXPECT_NE(Find(Log(), OID_SECURITY_SET), nullptr);
}

TEST_F(StationConnectTest, SecurityOnlyModeSendsSecurityAndKey) {
    theApp.m_bAdHocApplied = true;
    CProfile p = Infrastructure();
    p.NetMode = false;
    ASSERT_TRUE(CStation(p).Connect(CStation::CONNECT_SECURITY_ONLY));
    EXPECT_EQ(Codes(Log()), (std::vector<uint32_t>{OID_SECURITY_SET}));
    EXPECT_TRUE(theApp.m_bAdHocApplied);  // only a full apply decides the mode

    kccl_sim_clear_log();
    p.SecType = 1;
    p.ActiveSecKey = 1;
    p.SecKey[1] = "AABBCCDDEE";
    ASSERT_TRUE(CStation(p).Connect(CStation::CONNECT_SECURITY_ONLY));
    EXPECT_EQ(Codes(Log()), (std::vector<uint32_t>{OID_SECURITY_SET, OID_WEP_KEY}));
}

TEST_F(StationConnectTest, TransmitPowerOutOfRangeBecomesThree) {
    for (const auto& [stored, expected] : {std::pair{9, 3}, std::pair{-2, 3}, std::pair{2, 2}}) {
        CProfile p = Infrastructure();
        p.MaxTxPower = stored;
        CStation station(p);
        station.Connect(CStation::CONNECT_APPLY);
        EXPECT_EQ(station.MaxTxPower, expected) << stored;
    }
}

TEST_F(StationConnectTest, FirstFailingRequestEndsTheApply) {
    ASSERT_EQ(kccl_sim_set_fault(OID_SSID_SET, KCCL_SIM_FAULT_STATUS, 5), 0);
    CStation station(Infrastructure());
    EXPECT_FALSE(station.Connect(CStation::CONNECT_APPLY));
    EXPECT_EQ(Codes(Log()), (std::vector<uint32_t>{OID_NET_MODE_SET, OID_CONN_SETTING_SET, OID_SSID_SET}));
}

TEST_F(StationConnectTest, ReadModeBringsBackSsidAndChannelNumber) {
    // Join the open ad-hoc cell "Deckhands" on channel 10 first.
    CProfile cell = Infrastructure("Deckhands");
    cell.NetMode = false;
    cell.PhyChnl = 9;
    cell.ShortPreamble = true;
    ASSERT_TRUE(CStation(cell).Connect(CStation::CONNECT_APPLY));

    CProfile other = Infrastructure("Elsewhere");
    other.PhyChnl = 3;
    other.SecType = 1;
    other.ActiveSecKey = 2;
    other.RTSThreshold = 100;
    CStation station(other, "00-11-22-33-44-55", -60);
    kccl_sim_clear_log();
    ASSERT_TRUE(station.Connect(CStation::CONNECT_READ));
    EXPECT_EQ(Codes(Log()), (std::vector<uint32_t>{OID_NET_MODE_QUERY, OID_CONN_SETTING_QUERY, OID_SSID_QUERY,
                                                   OID_CHANNEL_QUERY, OID_SECURITY_QUERY, OID_WEP_KEY}));
    EXPECT_EQ(station.NetName, "Deckhands");
    EXPECT_EQ(station.PhyChnl, 10);  // now a channel number
    EXPECT_TRUE(station.ShortPreamble);
    EXPECT_EQ(station.m_strBssid, "--");
    EXPECT_EQ(station.ActiveSecKey, 2);
    EXPECT_TRUE(station.UseRTS);
    EXPECT_EQ(station.m_nRssi, -60);
}

TEST_F(StationConnectTest, FailedReadLeavesPlaceholders) {
    // The adapter refuses the SSID query outright, so nothing is read into the record.
    ASSERT_EQ(kccl_sim_set_fault(OID_SSID_QUERY, KCCL_SIM_FAULT_RESULT, 1), 0);
    CProfile p = Infrastructure("Kept?");
    p.PhyChnl = 4;
    CStation station(p, "00-11-22-33-44-55");
    EXPECT_FALSE(station.Connect(CStation::CONNECT_READ));
    EXPECT_EQ(station.NetName, "--");
    EXPECT_EQ(station.m_strBssid, "--");
    EXPECT_EQ(station.PhyChnl, 4);
    EXPECT_EQ(Find(Log(), OID_CHANNEL_QUERY), nullptr);
}

TEST_F(StationConnectTest, WepProfileWithTheRightKeyAssociates) {
    CProfile harbour = Infrastructure("Harbour");
    harbour.SecType = 1;
    harbour.ActiveSecKey = 1;
    harbour.SecKey[1] = "1A2B3C4D5E";
    ASSERT_TRUE(CStation(harbour).Connect(CStation::CONNECT_APPLY));
    nlohmann::json state = AdapterState();
    EXPECT_TRUE(state["associated"].get<bool>());
    EXPECT_EQ(state["ssid"], "Harbour");
    EXPECT_EQ(state["bssid"], "00-14-6C-2A-11-01");  // the stronger of its two cells

    // A wrong key goes through as a setting; the attempt it starts fails, and the adapter goes back.
    harbour.SecKey[1] = "1A2B3C4D5F";
    EXPECT_TRUE(CStation(harbour).Connect(CStation::CONNECT_APPLY));
    state = AdapterState();
    EXPECT_EQ(state["join"]["cause"], "wrong_key");
    EXPECT_EQ(state["join"]["restored"], true);
    EXPECT_EQ(state["bssid"], "00-14-6C-2A-11-01");
}
