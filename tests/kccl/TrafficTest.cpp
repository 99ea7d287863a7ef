// Link statistics counters of the simulated adapter.
#include "SimFixture.h"

namespace wavory::test {
namespace {

struct Counters {
    uint32_t framesSent, framesReceived, txBytes, rxBytes;
};

class TrafficTest : public SimFixture {
protected:
    static Counters Read() {
        auto block = Query(0x370);
        const uint8_t* p = block->payload;
        // The byte totals are the sums of three counters each, wrapping as u32.
        return Counters{U32(p, 0), U32(p, 4), U32(p, 20) + U32(p, 28) + U32(p, 36),
                        U32(p, 44) + U32(p, 52) + U32(p, 60)};
    }
};

TEST_F(TrafficTest, CountersGrowWithNetworkRateWhileAssociated) {
    JoinInfra("Lighthouse");  // 22000 B/s received, 4000 B/s sent
    ASSERT_EQ(Exec(*Block(0x380)), 2u);
    ASSERT_EQ(kccl_sim_advance(10000), 0);
    const Counters c = Read();
    EXPECT_NEAR(c.rxBytes, 220000.0, 22000.0);
    EXPECT_NEAR(c.txBytes, 40000.0, 4000.0);
    EXPECT_NEAR(c.framesReceived, c.rxBytes / 1500.0, 2.0);
    EXPECT_NEAR(c.framesSent, c.txBytes / 1500.0, 2.0);
}

TEST_F(TrafficTest, CountersStandStillWhenNotAssociated) {
    ASSERT_EQ(kccl_sim_advance(5000), 0);
    EXPECT_EQ(Read().rxBytes, 0u);

    JoinInfra("Lighthouse");
    ASSERT_EQ(kccl_sim_advance(2000), 0);
    ASSERT_EQ(kccl_sim_set_signal("00-0F-B5-44-7C-20", -120), 0);  // fades out
    const Counters before = Read();
    EXPECT_GT(before.rxBytes, 0u);
    ASSERT_EQ(kccl_sim_advance(5000), 0);
    const Counters after = Read();
    EXPECT_EQ(after.rxBytes, before.rxBytes);
    EXPECT_EQ(after.txBytes, before.txBytes);
    EXPECT_EQ(after.framesReceived, before.framesReceived);
}

TEST_F(TrafficTest, ResetStartsCountersFromZero) {
    JoinInfra("Harbour", 1, "1A2B3C4D5E");  // 48000 B/s received
    ASSERT_EQ(kccl_sim_advance(3000), 0);
    ASSERT_GT(Read().rxBytes, 100000u);
    ASSERT_EQ(Exec(*Block(0x380)), 2u);
    // The clock runs in real time as well: allow what a few milliseconds bring.
    const Counters c = Read();
    EXPECT_LT(c.rxBytes, 2400u);
    EXPECT_LT(c.txBytes, 450u);
    EXPECT_LT(c.framesReceived, 3u);
    ASSERT_EQ(kccl_sim_advance(1000), 0);
    EXPECT_NEAR(Read().rxBytes, 48000.0, 7200.0);
}

}  // namespace
}  // namespace wavory::test
