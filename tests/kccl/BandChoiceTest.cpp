// The simulated adapter's access point choice: a network with one access point on 2.4 GHz and one
// on 5 GHz, joined with the band preference and with a pin sent in the network settings.
#include <string>

#include "SimFixture.h"
#include "kccl_oid.h"
#include "kccl_status.h"
#include "radio/NetSettings.h"

namespace wavory::test {
namespace {

constexpr const char* kLow = "02-00-00-00-24-01";   // channel 1, strong
constexpr const char* kHigh = "02-00-00-00-25-01";  // channel 36, weaker

class BandChoiceTest : public SimFixture {
protected:
    void SetUp() override {
        SimFixture::SetUp();
        ASSERT_EQ(kccl_sim_put_network(R"({"ssid": "Twin", "bssid": "02-00-00-00-24-01", "channel": 1,
                                           "signal_dbm": -45})"),
                  0);
        ASSERT_EQ(kccl_sim_put_network(R"({"ssid": "Twin", "bssid": "02-00-00-00-25-01", "channel": 36,
                                           "signal_dbm": -66})"),
                  0);
    }

    // A join the way a profile apply makes it: the network settings after the SSID, then security.
    static SJoin Join(const kccl::SNetRecord& net) {
        EXPECT_EQ(SetU32(0x220, 1), 2u);
        EXPECT_EQ(SetSsid("Twin"), 2u);
        auto block = Block(OID_NET_SETTINGS_SET);
        EXPECT_GT(kccl::EncodeNetRecord(net, block->payload, sizeof block->payload), 0u);
        EXPECT_EQ(Exec(*block), 2u);
        EXPECT_EQ(SetU32(0x430, 0), 2u);
        return JoinState();
    }
    static kccl::SNetRecord Prefer(int floor) {
        kccl::SNetRecord net;
        net.macMode = KCOM_MAC_DEVICE;
        net.preferHighBand = true;
        net.bandFloorDbm = floor;
        return net;
    }
    static kccl::SNetRecord Pin(const char* bssid) {
        kccl::SNetRecord net;
        net.macMode = KCOM_MAC_DEVICE;
        net.pin = *kccl::ParseMac(bssid);
        return net;
    }
};

TEST_F(BandChoiceTest, ThePreferenceJoinsTheFiveGigahertzOneAboveTheFloorAndTheStrongestBelowIt) {
    // Without a preference the strongest; with it the 5 GHz one, heard above the floor.
    EXPECT_EQ(Join(Prefer(-70)).state, static_cast<uint32_t>(KCOM_JOIN_JOINED));
    EXPECT_EQ(CurrentBssid(), kHigh);
    // It stays there while the 2.4 GHz one is heard even stronger.
    ASSERT_EQ(kccl_sim_set_signal(kLow, -35), 0);
    EXPECT_EQ(CurrentBssid(), kHigh);
    // The 5 GHz one fades below the floor: the station moves to 2.4 GHz.
    ASSERT_EQ(kccl_sim_set_signal(kHigh, -71), 0);
    EXPECT_EQ(CurrentBssid(), kLow);

    // A join with the 5 GHz one just below the floor takes the 2.4 GHz one; without the preference
    // the strongest, whatever its band.
    EXPECT_EQ(Join(Prefer(-70)).state, static_cast<uint32_t>(KCOM_JOIN_JOINED));
    EXPECT_EQ(CurrentBssid(), kLow);
    ASSERT_EQ(kccl_sim_set_signal(kHigh, -30), 0);
    kccl::SNetRecord none;
    none.macMode = KCOM_MAC_DEVICE;
    Join(none);
    EXPECT_EQ(CurrentBssid(), kHigh);
    ASSERT_EQ(kccl_sim_set_signal(kHigh, -60), 0);
    EXPECT_EQ(CurrentBssid(), kLow);
}

TEST_F(BandChoiceTest, APinJoinsThatAccessPointAloneAndFailsWhenItIsNotHeard) {
    // Pinned to the weaker 5 GHz one, and kept there while the other is far stronger.
    EXPECT_EQ(Join(Pin(kHigh)).state, static_cast<uint32_t>(KCOM_JOIN_JOINED));
    EXPECT_EQ(CurrentBssid(), kHigh);
    ASSERT_EQ(kccl_sim_set_signal(kLow, -30), 0);
    EXPECT_EQ(CurrentBssid(), kHigh);
    EXPECT_NE(kccl_sim_steer(kLow), 0);  // a steer to another access point is not followed
    EXPECT_EQ(State()["active_net"]["pin"], kHigh);

    // Pinned to 2.4 GHz with the preference for 5 GHz: the pin wins.
    kccl::SNetRecord both = Prefer(-90);
    both.pin = *kccl::ParseMac(kLow);
    Join(both);
    EXPECT_EQ(CurrentBssid(), kLow);

    // The pinned access point goes away: the station does not move to the other one.
    ASSERT_EQ(kccl_sim_remove_network(kLow), 0);
    EXPECT_FALSE(Associated());

    // Not heard at all: the attempt fails, naming the pin, and joins nothing.
    const SJoin failed = Join(Pin("02-00-00-00-24-09"));
    EXPECT_EQ(failed.state, static_cast<uint32_t>(KCOM_JOIN_FAILED));
    EXPECT_EQ(failed.cause, static_cast<uint32_t>(KCOM_CAUSE_NOT_FOUND));
    EXPECT_NE(failed.detail.find("02:00:00:00:24:09"), std::string::npos) << failed.detail;
    EXPECT_FALSE(Associated());
}

TEST_F(BandChoiceTest, AGroupPinOrAFloorOutOfRangeIsRefused) {
    EXPECT_EQ(SetSsid("Twin"), 2u);
    for (kccl::SNetRecord net : {Pin("01-00-5E-00-00-01"), Prefer(-20), Prefer(-120)}) {
        auto block = Block(OID_NET_SETTINGS_SET);
        ASSERT_GT(kccl::EncodeNetRecord(net, block->payload, sizeof block->payload), 0u);
        EXPECT_EQ(Exec(*block), kccl::kStatusInvalidData);
    }
}

}  // namespace
}  // namespace wavory::test
