// Requests and association of the simulated adapter, through the library's C calls only.
#include "SimFixture.h"
#include "kccl_oid.h"

namespace wavory::test {
namespace {

class AdapterTest : public SimFixture {};

TEST_F(AdapterTest, ConnectAcceptsOnlySearchAndNullBlockFails) {
    EXPECT_NE(kcom_connect("FIRST"), 0);
    EXPECT_NE(kcom_connect(nullptr), 0);
    EXPECT_NE(kcom_exec_oid(nullptr), 0);
    EXPECT_EQ(kcom_connect("SEARCH"), 0);
}

TEST_F(AdapterTest, RequestsFailWithoutOpenLink) {
    kcom_disconnect();
    auto block = Block(0x70);
    EXPECT_NE(kcom_exec_oid(block.get()), 0);
}

TEST_F(AdapterTest, DeviceInformationAtItsOffsets) {
    auto info = Query(0x10);
    EXPECT_EQ(U32(info->payload, 8), 2u);
    EXPECT_EQ(U32(info->payload, 12), 2u);
    EXPECT_EQ(U32(info->payload, 16), 1u);
    EXPECT_EQ(U32(info->payload, 20), 14u);
    EXPECT_EQ(U32(info->payload, 32), 0x00010004u);
    EXPECT_EQ(U32(info->payload, 36), 0x00020011u);
    EXPECT_EQ(U32(info->payload, 148), 0x0003u);
    EXPECT_EQ(U32(info->payload, 0), 0x0102u);
    EXPECT_NE(QueryU32(0x530), 0u);
}

TEST_F(AdapterTest, MacCanBeReadAndChanged) {
    EXPECT_EQ(BssidText(Query(0x30)->payload), "00-0A-F5-3C-9E-12");
    auto set = Block(0x40);
    const uint8_t mac[6] = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55};
    std::memcpy(set->payload, mac, 6);
    EXPECT_EQ(Exec(*set), 2u);
    EXPECT_EQ(BssidText(Query(0x30)->payload), "00-11-22-33-44-55");
    set->payload[0] = 0x01;  // a group address is no adapter's
    EXPECT_NE(Exec(*set), 2u);
}

TEST_F(AdapterTest, UnknownCodeIsNotSupportedAndLeavesPayload) {
    auto block = Block(0x777);
    std::memset(block->payload, 0xAB, 64);
    EXPECT_EQ(kcom_exec_oid(block.get()), 0);
    EXPECT_NE(block->status, 2u);
    for (int i = 0; i < 64; ++i) ASSERT_EQ(block->payload[i], 0xAB);
}

TEST_F(AdapterTest, SsidOfThirtyThreeBytesIsRefused) {
    EXPECT_EQ(SetSsid(std::string(32, 'x')), 2u);
    auto block = Block(0x80);
    block->payload[0] = 33;
    std::memset(block->payload + 1, 'y', 33);
    EXPECT_NE(Exec(*block), 2u);
    auto ssid = Query(0x70);
    EXPECT_EQ(ssid->payload[0], 32);
    EXPECT_EQ(ssid->payload[1], 'x');
}

TEST_F(AdapterTest, SettingsOutOfRangeAreRefusedAndNotStored) {
    EXPECT_NE(SetU32(0x220, 5), 2u);  // what a mode text of neither kind turns into
    EXPECT_EQ(QueryU32(0x210), 1u);
    EXPECT_NE(SetU32(0x100, 7), 2u);  // 0..6 are 802.11a to 802.11be
    EXPECT_NE(SetU32(0x130, 3), 2u);
    EXPECT_NE(SetU32(0x430, 9), 2u);  // 3..8 are WPA2-Personal to WPA3-Enterprise
    EXPECT_NE(SetChannel(0), 2u);
    EXPECT_EQ(SetU32(0x130, 2), 2u);
    EXPECT_EQ(QueryU32(0x120), 2u);
    EXPECT_EQ(SetU32(0x470, 2), 2u);
    EXPECT_EQ(QueryU32(0x460), 2u);
}

TEST_F(AdapterTest, ChannelRecordKeepsShortPreambleFlag) {
    EXPECT_EQ(SetChannel(11, 1), 2u);
    auto record = Query(0x350);
    EXPECT_EQ(U32(record->payload, 0), 12u);
    EXPECT_EQ(record->payload[8], 11);
    EXPECT_EQ(U32(record->payload, 12), 1u);
}

TEST_F(AdapterTest, RegulatoryDomainTakesOnlyKnownCodes) {
    EXPECT_EQ(QueryU32(0x891), 0x10u);
    EXPECT_EQ(SetU32(0x891, 0x30), 2u);
    EXPECT_EQ(QueryU32(0x891), 0x30u);
    EXPECT_NE(SetU32(0x891, 0x33), 2u);
    EXPECT_EQ(QueryU32(0x891), 0x30u);
}

TEST_F(AdapterTest, RereadOfAnsweredDomainBlockIsNoSet) {
    // A page keeps its block and reads again; the old answer in it must not be written back.
    auto page = Query(0x891);
    EXPECT_EQ(SetU32(0x891, 0x40), 2u);
    EXPECT_EQ(Exec(*page), 2u);
    EXPECT_EQ(U32(page->payload, 0), 0x40u);
    EXPECT_EQ(QueryU32(0x891), 0x40u);
}

TEST_F(AdapterTest, OpenInfrastructureJoin) {
    EXPECT_FALSE(Associated());
    EXPECT_EQ(CurrentBssid(), "00-00-00-00-00-00");
    JoinInfra("Lighthouse");
    EXPECT_TRUE(Associated());
    EXPECT_EQ(CurrentBssid(), "00-0F-B5-44-7C-20");
    EXPECT_EQ(Channel(), 11);
    EXPECT_EQ(QueryU32(0x90), 1u);
    EXPECT_EQ(static_cast<int32_t>(QueryU32(0x161)), -66 + 95);
}

TEST_F(AdapterTest, WepJoinWithRightKeyPicksStrongerAccessPoint) {
    JoinInfra("Harbour", 1, "1A2B3C4D5E");
    EXPECT_TRUE(Associated());
    EXPECT_EQ(CurrentBssid(), "00-14-6C-2A-11-01");
    EXPECT_EQ(Channel(), 1);
    // The channel-1 access point fades: the adapter moves to the one on channel 6.
    ASSERT_EQ(kccl_sim_set_signal("00-14-6C-2A-11-01", -90), 0);
    EXPECT_EQ(CurrentBssid(), "00-14-6C-2A-11-06");
    EXPECT_EQ(Channel(), 6);
}

TEST_F(AdapterTest, WepJoinWithWrongKeyFailsAndKeepsTheKeyAsTold) {
    JoinInfra("Harbour", 1);
    EXPECT_EQ(JoinState().attempt, 0u);  // the security mode alone starts nothing: a key follows
    EXPECT_EQ(SetKey(0, "1A2B3C4D5F"), 2u);
    EXPECT_FALSE(Associated());
    EXPECT_EQ(CurrentBssid(), "00-00-00-00-00-00");
    auto snr = Block(0x161);
    EXPECT_NE(Exec(*snr), 2u);
    // The rejected key is kept as the active one, as the adapter was told.
    auto key = Query(0x400);
    EXPECT_EQ(key->payload[1], 5);
    EXPECT_EQ(key->payload[12], 0x5F);
}

TEST_F(AdapterTest, KeyRecordRoundTripsAndBadRecordIsRefused) {
    EXPECT_EQ(SetKey(2, "0102030405060708090A0B0C0D"), 2u);
    auto key = Query(0x400);
    EXPECT_EQ(key->payload[0], 2);
    EXPECT_EQ(key->payload[1], 13);
    EXPECT_EQ(U32(key->payload, 4), 2u);
    EXPECT_EQ(key->payload[8], 0x01);
    EXPECT_EQ(key->payload[20], 0x0D);
    // What a profile with no valid active key sends: index 255, length 0.
    auto bad = Block(0x400);
    bad->payload[0] = 0xFF;
    PutU32(bad->payload, 4, 2);
    EXPECT_NE(Exec(*bad), 2u);
    EXPECT_EQ(Query(0x400)->payload[0], 2);
}

TEST_F(AdapterTest, AdHocJoinOfExistingCellNeedsItsChannel) {
    EXPECT_EQ(SetU32(0x220, 2), 2u);
    EXPECT_EQ(SetSsid("Deckhands"), 2u);
    EXPECT_EQ(SetChannel(4), 2u);
    EXPECT_FALSE(Associated());  // nothing joins before the settings are complete
    EXPECT_EQ(SetU32(0x430, 0), 2u);
    EXPECT_TRUE(Associated());
    EXPECT_NE(CurrentBssid(), "02-3E-91-5A-0C-77");  // a cell of its own on channel 4
    EXPECT_EQ(SetChannel(10), 2u);
    EXPECT_EQ(SetU32(0x430, 0), 2u);
    EXPECT_TRUE(Associated());
    EXPECT_EQ(CurrentBssid(), "02-3E-91-5A-0C-77");
    EXPECT_EQ(QueryU32(0x90), 1u);
}

TEST_F(AdapterTest, NewAdHocCellStartsAndEndsWithDisconnect) {
    EXPECT_EQ(SetU32(0x220, 2), 2u);
    EXPECT_EQ(SetSsid("Picnic"), 2u);
    EXPECT_EQ(SetChannel(40), 2u);
    EXPECT_EQ(SetU32(0x430, 0), 2u);
    EXPECT_TRUE(Associated());
    EXPECT_EQ(CurrentBssid(), "02-0A-F5-3C-9E-12");
    EXPECT_EQ(QueryU32(0x90), 0u);  // 802.11a on a 5 GHz channel
    EXPECT_EQ(Channel(), 40);
    auto leave = Block(0x5A0);
    EXPECT_EQ(Exec(*leave), 2u);
    EXPECT_FALSE(Associated());
}

TEST_F(AdapterTest, AdHocCellWithOtherSecurityIsNotReplacedByOwnCell) {
    EXPECT_EQ(SetU32(0x220, 2), 2u);
    EXPECT_EQ(SetSsid("GameRoom"), 2u);
    EXPECT_EQ(SetChannel(3), 2u);
    EXPECT_EQ(SetU32(0x430, 1), 2u);
    EXPECT_EQ(SetKey(0, "C0FFEE1235"), 2u);
    EXPECT_FALSE(Associated());
    EXPECT_EQ(JoinState().cause, static_cast<uint32_t>(KCOM_CAUSE_WRONG_KEY));
    EXPECT_EQ(SetKey(0, "C0FFEE1234"), 2u);
    EXPECT_EQ(CurrentBssid(), "02-7B-22-E4-18-03");
}

TEST_F(AdapterTest, DisappearingNetworkDropsAssociation) {
    JoinInfra("Lighthouse");
    ASSERT_TRUE(Associated());
    ASSERT_EQ(kccl_sim_remove_network("00-0F-B5-44-7C-20"), 0);
    EXPECT_FALSE(Associated());
    // It comes back: the adapter, still set to that name, joins again.
    ASSERT_EQ(kccl_sim_put_network(R"({"ssid":"Lighthouse","bssid":"00-0F-B5-44-7C-21","channel":3})"), 0);
    EXPECT_TRUE(Associated());
    EXPECT_EQ(Channel(), 3);
    ASSERT_EQ(kccl_sim_set_signal("00-0F-B5-44-7C-21", -100), 0);
    EXPECT_FALSE(Associated());
    EXPECT_NE(kccl_sim_remove_network("00-0F-B5-44-7C-99"), 0);
}

TEST_F(AdapterTest, StateSurvivesSecondConnect) {
    JoinInfra("Lighthouse");
    EXPECT_EQ(kcom_connect("SEARCH"), 0);
    auto ssid = Query(0x70);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(ssid->payload + 1), ssid->payload[0]), "Lighthouse");
    EXPECT_TRUE(Associated());
    const auto state = State();
    EXPECT_EQ(state["ssid"], "Lighthouse");
    EXPECT_EQ(state["bssid"], "00-0F-B5-44-7C-20");
}

}  // namespace
}  // namespace wavory::test
