// Scans of the simulated adapter and the layout of the scan result list.
#include "SimFixture.h"

namespace wavory::test {
namespace {

constexpr size_t kInfraCount = 1;
constexpr size_t kInfraEntries = 4;
constexpr size_t kAdhocCount = 7684;
constexpr size_t kAdhocEntries = 7688;
constexpr size_t kEntrySize = 384;

struct Entry {
    std::string bssid;
    std::string ssid;
    uint32_t phy;
    int channel;
    bool privacy;
    int32_t signal;
};

Entry ReadEntry(const uint8_t* e) {
    return Entry{BssidText(e + 2), std::string(reinterpret_cast<const char*>(e + 54), e[53]),
                 U32(e, 88),       e[96],
                 e[99] != 0,       static_cast<int32_t>(U32(e, 104))};
}

// Bytes of an entry that carry nothing must be zero.
void ExpectUnusedBytesZero(const uint8_t* e) {
    for (size_t i = 0; i < kEntrySize; ++i) {
        const bool used = (i >= 2 && i < 8) || i == 53 || (i >= 54 && i < 54u + e[53]) ||
                          (i >= 88 && i < 92) || i == 96 || i == 99 || i == 100 || (i >= 104 && i < 124);
        if (!used) {
            ASSERT_EQ(e[i], 0) << "entry byte " << i;
        }
    }
}

class ScanTest : public SimFixture {
protected:
    static uint32_t StartScan() { return Exec(*Block(0x200)); }
};

TEST_F(ScanTest, ScanRunsForItsDurationThenListsScenario) {
    auto list = Query(0x190);
    EXPECT_EQ(list->payload[0], 0);
    EXPECT_EQ(list->payload[kInfraCount], 0);
    EXPECT_EQ(list->payload[kAdhocCount], 0);

    EXPECT_EQ(StartScan(), 2u);
    list = Query(0x190);
    EXPECT_EQ(list->payload[0], 1);
    EXPECT_EQ(list->payload[kInfraCount], 0);  // nothing from before the first scan
    ASSERT_EQ(kccl_sim_advance(2000), 0);
    EXPECT_EQ(Query(0x190)->payload[0], 1);
    ASSERT_EQ(kccl_sim_advance(1000), 0);

    list = Query(0x190);
    const uint8_t* p = list->payload;
    EXPECT_EQ(p[0], 0);
    ASSERT_EQ(p[kInfraCount], 12);
    ASSERT_EQ(p[kAdhocCount], 2);

    const Entry harbour1 = ReadEntry(p + kInfraEntries);
    EXPECT_EQ(harbour1.bssid, "00-14-6C-2A-11-01");
    EXPECT_EQ(harbour1.ssid, "Harbour");
    EXPECT_EQ(harbour1.phy, 2u);
    EXPECT_EQ(harbour1.channel, 1);
    EXPECT_TRUE(harbour1.privacy);
    EXPECT_EQ(harbour1.signal, -58);
    const Entry harbour6 = ReadEntry(p + kInfraEntries + kEntrySize);
    EXPECT_EQ(harbour6.ssid, "Harbour");
    EXPECT_EQ(harbour6.channel, 6);
    const Entry quay = ReadEntry(p + kInfraEntries + 3 * kEntrySize);
    EXPECT_EQ(quay.ssid, "Quayside-5G");
    EXPECT_EQ(quay.phy, 0u);
    EXPECT_EQ(quay.channel, 36);
    const Entry lighthouse = ReadEntry(p + kInfraEntries + 2 * kEntrySize);
    EXPECT_FALSE(lighthouse.privacy);
    EXPECT_EQ(lighthouse.phy, 1u);
    EXPECT_EQ(ReadEntry(p + kInfraEntries + 5 * kEntrySize).ssid, "Caf\xC3\xA9 Anchor");

    const Entry deck = ReadEntry(p + kAdhocEntries);
    EXPECT_EQ(deck.bssid, "02-3E-91-5A-0C-77");
    EXPECT_EQ(deck.ssid, "Deckhands");
    EXPECT_EQ(deck.channel, 10);
    EXPECT_EQ(deck.signal, -69);
    const Entry game = ReadEntry(p + kAdhocEntries + kEntrySize);
    EXPECT_EQ(game.ssid, "GameRoom");
    EXPECT_TRUE(game.privacy);

    for (int i = 0; i < 12; ++i) ExpectUnusedBytesZero(p + kInfraEntries + kEntrySize * i);
    ExpectUnusedBytesZero(p + kAdhocEntries);
    // Unused slots stay empty.
    for (size_t i = kInfraEntries + 12 * kEntrySize; i < kAdhocCount; ++i) ASSERT_EQ(p[i], 0);
}

TEST_F(ScanTest, RunningScanShowsPreviousListAndEndsWithEnvironmentAtCompletion) {
    ASSERT_EQ(kccl_sim_set_scan_duration(5000), 0);
    StartScan();
    ASSERT_EQ(kccl_sim_advance(5000), 0);
    ASSERT_EQ(Query(0x190)->payload[kInfraCount], 12);

    ASSERT_EQ(kccl_sim_remove_network("00-0F-B5-44-7C-20"), 0);
    ASSERT_EQ(kccl_sim_set_signal("00-1A-2B-3C-4D-95", -100), 0);  // out of range
    StartScan();
    auto list = Query(0x190);
    EXPECT_EQ(list->payload[0], 1);
    EXPECT_EQ(list->payload[kInfraCount], 12);
    ASSERT_EQ(kccl_sim_advance(4000), 0);
    ASSERT_EQ(kccl_sim_put_network(R"({"ssid":"Late","bssid":"00-00-5E-00-01-01","channel":13})"), 0);
    ASSERT_EQ(Query(0x190)->payload[0], 1);
    ASSERT_EQ(kccl_sim_advance(1000), 0);
    list = Query(0x190);
    EXPECT_EQ(list->payload[0], 0);
    ASSERT_EQ(list->payload[kInfraCount], 11);
    EXPECT_EQ(ReadEntry(list->payload + kInfraEntries + 10 * kEntrySize).ssid, "Late");
}

TEST_F(ScanTest, AskingAgainWhileScanningDoesNotRestart) {
    StartScan();
    ASSERT_EQ(kccl_sim_advance(2000), 0);
    EXPECT_EQ(StartScan(), 2u);
    ASSERT_EQ(kccl_sim_advance(1000), 0);
    EXPECT_EQ(Query(0x190)->payload[0], 0);
}

TEST_F(ScanTest, EachHalfHoldsAtMostTwentyEntries) {
    for (int i = 0; i < 25; ++i) {
        char net[160];
        std::snprintf(net, sizeof net,
                      R"({"ssid":"Cell%d","bssid":"02-00-00-00-00-%02X","channel":6,"mode":"adhoc"})", i, i);
        ASSERT_EQ(kccl_sim_put_network(net), 0);
    }
    ASSERT_EQ(kccl_sim_set_scan_duration(0), 0);
    StartScan();
    auto list = Query(0x190);
    EXPECT_EQ(list->payload[kInfraCount], 12);
    EXPECT_EQ(list->payload[kAdhocCount], 20);
}

TEST_F(ScanTest, RawSsidBytesAndOwnCellAreListed) {
    ASSERT_EQ(kccl_sim_put_network(R"({"ssid_hex":"41004280","bssid":"00-11-22-33-44-55","channel":6})"), 0);
    EXPECT_EQ(SetU32(0x220, 2), 2u);
    EXPECT_EQ(SetSsid("Picnic"), 2u);
    EXPECT_EQ(SetChannel(11), 2u);
    EXPECT_EQ(SetU32(0x430, 0), 2u);
    ASSERT_TRUE(Associated());
    ASSERT_EQ(kccl_sim_set_scan_duration(0), 0);
    StartScan();
    auto list = Query(0x190);
    const uint8_t* p = list->payload;
    ASSERT_EQ(p[kInfraCount], 13);
    const uint8_t* raw = p + kInfraEntries + 12 * kEntrySize;
    ASSERT_EQ(raw[53], 4);
    EXPECT_EQ(std::memcmp(raw + 54, "\x41\x00\x42\x80", 4), 0);
    ASSERT_EQ(p[kAdhocCount], 3);
    const Entry own = ReadEntry(p + kAdhocEntries + 2 * kEntrySize);
    EXPECT_EQ(own.ssid, "Picnic");
    EXPECT_EQ(own.channel, 11);
    EXPECT_EQ(own.bssid, CurrentBssid());
}

}  // namespace
}  // namespace wavory::test
