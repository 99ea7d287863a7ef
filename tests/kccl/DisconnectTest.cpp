// The last connection that ended, as OID_LAST_DISCONNECT reports it: a deauthentication with its
// reason, a user's disconnect, an access point taken away, an unplugged adapter.
#include "SimFixture.h"
#include "kccl_oid.h"

namespace wavory::test {
namespace {

struct SDrop {
    uint32_t count, reason, by;
    std::string bssid, ssid;
    uint64_t timeMs;
};

class DisconnectTest : public SimFixture {
protected:
    static SDrop LastDrop() {
        auto block = Query(OID_LAST_DISCONNECT);
        const uint8_t* p = block->payload;
        uint64_t time = 0;
        std::memcpy(&time, p + KCOM_DISC_TIME, 8);
        return {U32(p, KCOM_DISC_COUNT), U32(p, KCOM_DISC_REASON), U32(p, KCOM_DISC_BY),
                BssidText(p + KCOM_DISC_BSSID),
                std::string(reinterpret_cast<const char*>(p + KCOM_DISC_SSID), p[KCOM_DISC_SSID_LEN]), time};
    }
};

TEST_F(DisconnectTest, NothingEndedYetReportsCountZero) {
    const SDrop drop = LastDrop();
    EXPECT_EQ(drop.count, 0u);
    EXPECT_EQ(drop.ssid, "");
    // A deauthentication needs an access point to come from.
    EXPECT_NE(kccl_sim_deauth(7), 0);
    EXPECT_EQ(LastDrop().count, 0u);
    EXPECT_EQ(kccl_sim_deauth(-1), kccl_sim_deauth(65536));
    EXPECT_NE(kccl_sim_deauth(-1), 0);
}

TEST_F(DisconnectTest, TheAccessPointsDeauthenticationCarriesItsReason) {
    JoinInfra("Lighthouse");
    ASSERT_TRUE(Associated());
    ASSERT_EQ(kccl_sim_deauth(15), 0);
    EXPECT_FALSE(Associated());
    const SDrop drop = LastDrop();
    EXPECT_EQ(drop.count, 1u);
    EXPECT_EQ(drop.reason, 15u);
    EXPECT_EQ(drop.by, static_cast<uint32_t>(KCOM_DISCONNECT_BY_AP));
    EXPECT_EQ(drop.ssid, "Lighthouse");
    EXPECT_EQ(drop.bssid, "00-0F-B5-44-7C-20");
    EXPECT_GT(drop.timeMs, 1600000000000ull);  // a wall-clock time, not the adapter's own clock
    // The adapter does not rejoin by itself, not even when the environment changes.
    ASSERT_EQ(kccl_sim_set_signal("00-0F-B5-44-7C-20", -50), 0);
    EXPECT_FALSE(Associated());
    EXPECT_EQ(LastDrop().count, 1u);
}

TEST_F(DisconnectTest, EachWayOfEndingNamesWhoEndedIt) {
    JoinInfra("Lighthouse");
    auto leave = Block(OID_DISCONNECT);
    EXPECT_EQ(Exec(*leave), 2u);
    SDrop drop = LastDrop();
    EXPECT_EQ(drop.count, 1u);
    EXPECT_EQ(drop.by, static_cast<uint32_t>(KCOM_DISCONNECT_BY_USER));
    EXPECT_EQ(drop.ssid, "Lighthouse");
    // Leaving again, with no link, ends nothing.
    EXPECT_EQ(Exec(*Block(OID_DISCONNECT)), 2u);
    EXPECT_EQ(LastDrop().count, 1u);

    JoinInfra("Lighthouse");
    ASSERT_EQ(kccl_sim_remove_network("00-0F-B5-44-7C-20"), 0);
    drop = LastDrop();
    EXPECT_EQ(drop.count, 2u);
    EXPECT_EQ(drop.reason, 0u);
    EXPECT_EQ(drop.by, static_cast<uint32_t>(KCOM_DISCONNECT_BY_SIGNAL_LOST));
    EXPECT_EQ(drop.bssid, "00-0F-B5-44-7C-20");

    JoinInfra("Boatyard");
    ASSERT_TRUE(Associated());
    ASSERT_EQ(kccl_sim_set_present(0), 0);
    ASSERT_EQ(kccl_sim_set_present(1), 0);
    ASSERT_EQ(kcom_connect("SEARCH"), 0);
    drop = LastDrop();  // kept across the replug
    EXPECT_EQ(drop.count, 3u);
    EXPECT_EQ(drop.by, static_cast<uint32_t>(KCOM_DISCONNECT_BY_THIS_MACHINE));
    EXPECT_EQ(drop.ssid, "Boatyard");
}

TEST_F(DisconnectTest, MovingToAnotherAccessPointOrNetworkIsNoDrop) {
    JoinInfra("Lighthouse");
    // A stronger cell of the same network appears: the adapter moves, the connection goes on.
    ASSERT_EQ(kccl_sim_put_network(R"({"ssid": "Lighthouse", "bssid": "00-0F-B5-44-7C-21", "channel": 1,
                                       "signal_dbm": -40})"),
              0);
    EXPECT_EQ(CurrentBssid(), "00-0F-B5-44-7C-21");
    JoinInfra("Boatyard");
    EXPECT_EQ(LastDrop().count, 0u);
    // A scenario reset starts a new adapter with no history.
    ASSERT_EQ(kccl_sim_deauth(1), 0);
    EXPECT_EQ(LastDrop().count, 1u);
    ASSERT_EQ(kccl_sim_reset(nullptr), 0);
    ASSERT_EQ(kcom_connect("SEARCH"), 0);
    EXPECT_EQ(LastDrop().count, 0u);
}

}  // namespace
}  // namespace wavory::test

namespace wavory::test {
namespace {

// Moves to another access point of the same network, as OID_LAST_ROAM reports them: why (a request
// of the access point, a better signal, the access point gone), from where and to where.
class RoamTest : public SimFixture {
protected:
    struct SRoam {
        uint32_t count, by;
        std::string from, to;
        int32_t fromSignal;
    };
    static SRoam LastRoam() {
        auto block = Query(OID_LAST_ROAM);
        const uint8_t* p = block->payload;
        return {U32(p, KCOM_ROAM_COUNT), U32(p, KCOM_ROAM_BY), BssidText(p + KCOM_ROAM_FROM_BSSID),
                BssidText(p + KCOM_ROAM_TO_BSSID), static_cast<int32_t>(U32(p, KCOM_ROAM_FROM_SIGNAL))};
    }
};

TEST_F(RoamTest, EachMoveSaysWhyFromWhereAndToWhere) {
    JoinInfra("Lighthouse");  // 00-0F-B5-44-7C-20 at -66 dBm
    EXPECT_EQ(LastRoam().count, 0u);
    ASSERT_EQ(kccl_sim_put_network(R"({"ssid": "Lighthouse", "bssid": "00-0F-B5-44-7C-21", "channel": 1,
                                       "signal_dbm": -75})"),
              0);
    EXPECT_EQ(CurrentBssid(), "00-0F-B5-44-7C-20");  // a weaker one moves nobody
    EXPECT_EQ(LastRoam().count, 0u);

    // The access point asks the station to move to the weaker one.
    ASSERT_EQ(kccl_sim_steer("00-0F-B5-44-7C-21"), 0);
    EXPECT_EQ(CurrentBssid(), "00-0F-B5-44-7C-21");
    SRoam roam = LastRoam();
    EXPECT_EQ(roam.count, 1u);
    EXPECT_EQ(roam.by, static_cast<uint32_t>(KCOM_ROAM_BY_AP_REQUEST));
    EXPECT_EQ(roam.from, "00-0F-B5-44-7C-20");
    EXPECT_EQ(roam.to, "00-0F-B5-44-7C-21");
    EXPECT_EQ(roam.fromSignal, -66);
    // Steering to where it is, to another network's access point or to an unknown one moves nothing.
    EXPECT_NE(kccl_sim_steer("00-0F-B5-44-7C-21"), 0);
    EXPECT_NE(kccl_sim_steer("3C-84-6A-51-0E-24"), 0);
    EXPECT_NE(kccl_sim_steer("02-00-00-00-00-99"), 0);
    EXPECT_NE(kccl_sim_steer("not a bssid"), 0);
    EXPECT_EQ(LastRoam().count, 1u);

    // The one it is on fades below the other: it moves for the signal.
    ASSERT_EQ(kccl_sim_set_signal("00-0F-B5-44-7C-21", -85), 0);
    roam = LastRoam();
    EXPECT_EQ(roam.count, 2u);
    EXPECT_EQ(roam.by, static_cast<uint32_t>(KCOM_ROAM_BY_SIGNAL));
    EXPECT_EQ(roam.from, "00-0F-B5-44-7C-21");
    EXPECT_EQ(roam.fromSignal, -85);

    // The one it is on goes away: it moves to the other.
    ASSERT_EQ(kccl_sim_set_signal("00-0F-B5-44-7C-21", -60), 0);
    ASSERT_EQ(CurrentBssid(), "00-0F-B5-44-7C-21");
    ASSERT_EQ(kccl_sim_remove_network("00-0F-B5-44-7C-21"), 0);
    EXPECT_EQ(CurrentBssid(), "00-0F-B5-44-7C-20");
    roam = LastRoam();
    EXPECT_EQ(roam.count, 4u);
    EXPECT_EQ(roam.by, static_cast<uint32_t>(KCOM_ROAM_BY_AP_GONE));
    EXPECT_EQ(roam.to, "00-0F-B5-44-7C-20");
}

}  // namespace
}  // namespace wavory::test
