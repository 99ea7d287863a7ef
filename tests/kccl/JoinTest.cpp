// Join attempts of the simulated adapter: they take time, report joining and then how they ended,
// and a failed one goes back to the network the adapter was on.
#include "SimFixture.h"
#include "kccl_oid.h"

namespace wavory::test {
namespace {

constexpr const char* kLockkeeper =
    R"({"ssid": "Lockkeeper", "bssid": "00-1D-7E-11-22-33", "channel": 6, "security": "wpa2",
        "passphrase": "canal-gates-at-dawn", "signal_dbm": -61})";
constexpr const char* kCampus =
    R"({"ssid": "Campus", "bssid": "00-1D-7E-11-22-55", "channel": 11, "security": "wpa2-enterprise",
        "signal_dbm": -58})";
constexpr const char* kSlowpoke =
    R"({"ssid": "Slowpoke", "bssid": "00-1D-7E-11-22-66", "channel": 1, "signal_dbm": -60,
        "join_delay_ms": 30000})";

class JoinTest : public SimFixture {
protected:
    void SetUp() override {
        SimFixture::SetUp();
        ASSERT_EQ(kccl_sim_put_network(kLockkeeper), 0);
        ASSERT_EQ(kccl_sim_put_network(kCampus), 0);
        ASSERT_EQ(kccl_sim_put_network(kSlowpoke), 0);
    }

    static void JoinWpa(const std::string& ssid, const std::string& passphrase) {
        EXPECT_EQ(SetU32(0x220, 1), 2u);
        EXPECT_EQ(SetSsid(ssid), 2u);
        EXPECT_EQ(SetU32(0x430, KCOM_SECURITY_MODE_WPA2_PERSONAL), 2u);
        EXPECT_EQ(SetPassphrase(passphrase), 2u);
    }

    static std::string Ssid() {
        auto ssid = Query(0x70);
        return std::string(reinterpret_cast<char*>(ssid->payload + 1), ssid->payload[0]);
    }
};

TEST_F(JoinTest, JoinTakesTimeAndReportsJoiningThenJoined) {
    ASSERT_EQ(kccl_sim_set_join_delay(300), 0);
    EXPECT_EQ(JoinState().state, static_cast<uint32_t>(KCOM_JOIN_IDLE));
    JoinInfra("Lighthouse");
    SJoin join = JoinState();
    EXPECT_EQ(join.state, static_cast<uint32_t>(KCOM_JOIN_JOINING));
    EXPECT_EQ(join.attempt, 1u);
    EXPECT_EQ(join.ssid, "Lighthouse");
    EXPECT_FALSE(Associated());
    EXPECT_EQ(State()["join"]["state"], "joining");

    ASSERT_EQ(kccl_sim_advance(200), 0);
    EXPECT_EQ(JoinState().state, static_cast<uint32_t>(KCOM_JOIN_JOINING));
    ASSERT_EQ(kccl_sim_advance(150), 0);
    join = JoinState();
    EXPECT_EQ(join.state, static_cast<uint32_t>(KCOM_JOIN_JOINED));
    EXPECT_EQ(join.attempt, 1u);
    EXPECT_TRUE(Associated());
    EXPECT_EQ(CurrentBssid(), "00-0F-B5-44-7C-20");
}

TEST_F(JoinTest, NetworkGivesItsOwnJoinTime) {
    JoinInfra("Slowpoke");
    ASSERT_EQ(kccl_sim_advance(29000), 0);
    EXPECT_EQ(JoinState().state, static_cast<uint32_t>(KCOM_JOIN_JOINING));
    EXPECT_GT(State()["join"]["remaining_ms"].get<int>(), 0);
    ASSERT_EQ(kccl_sim_advance(1500), 0);
    EXPECT_EQ(JoinState().state, static_cast<uint32_t>(KCOM_JOIN_JOINED));
    EXPECT_TRUE(Associated());
}

TEST_F(JoinTest, FailuresNameTheirCause) {
    struct SCase {
        const char* what;
        void (*join)();
        uint32_t cause;
    };
    const SCase cases[] = {
        {"wrong WEP key", [] { JoinInfra("Harbour", 1, "0102030405"); }, KCOM_CAUSE_WRONG_KEY},
        {"wrong passphrase", [] { JoinWpa("Lockkeeper", "canal-gates-at-dusk"); }, KCOM_CAUSE_WRONG_KEY},
        {"not in range", [] { JoinInfra("Nowhere"); }, KCOM_CAUSE_NOT_FOUND},
        {"open settings for a WEP network", [] { JoinInfra("Harbour"); }, KCOM_CAUSE_REFUSED},
        {"a passphrase for a WEP network", [] { JoinWpa("Harbour", "whatever-it-is"); }, KCOM_CAUSE_REFUSED},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.what);
        c.join();
        const SJoin join = JoinState();
        EXPECT_EQ(join.state, static_cast<uint32_t>(KCOM_JOIN_FAILED));
        EXPECT_EQ(join.cause, c.cause);
        EXPECT_EQ(join.flags & KCOM_JOIN_FLAG_RESTORED, 0u);  // there was nothing to go back to
        EXPECT_FALSE(Associated());
    }
}

TEST_F(JoinTest, WhatCannotBeTriedFailsAtOnce) {
    // An enterprise network needs 802.1X credentials, which no request carries.
    EXPECT_EQ(SetSsid("Campus"), 2u);
    EXPECT_NE(SetU32(0x430, 0), 2u);
    SJoin join = JoinState();
    EXPECT_EQ(join.state, static_cast<uint32_t>(KCOM_JOIN_FAILED));
    EXPECT_EQ(join.cause, static_cast<uint32_t>(KCOM_CAUSE_NEEDS_8021X));
    EXPECT_EQ(join.attempt, 1u);

    // WPA has no ad-hoc form here; the detail says what the adapter can do.
    EXPECT_EQ(SetU32(0x220, 2), 2u);
    EXPECT_EQ(SetSsid("Picnic"), 2u);
    EXPECT_EQ(SetChannel(6), 2u);
    EXPECT_EQ(SetU32(0x430, KCOM_SECURITY_MODE_WPA2_PERSONAL), 2u);
    EXPECT_NE(SetPassphrase("picnic-in-the-park"), 2u);
    join = JoinState();
    EXPECT_EQ(join.cause, static_cast<uint32_t>(KCOM_CAUSE_UNSUPPORTED));
    EXPECT_EQ(join.attempt, 2u);
    EXPECT_NE(join.detail.find("WEP"), std::string::npos) << join.detail;
}

TEST_F(JoinTest, FailedAttemptGoesBackToThePreviousNetwork) {
    JoinInfra("Lighthouse");
    ASSERT_TRUE(Associated());
    JoinWpa("Lockkeeper", "canal-gates-at-dusk");
    const SJoin join = JoinState();
    EXPECT_EQ(join.cause, static_cast<uint32_t>(KCOM_CAUSE_WRONG_KEY));
    EXPECT_NE(join.flags & KCOM_JOIN_FLAG_RESTORED, 0u);
    EXPECT_TRUE(Associated());
    EXPECT_EQ(CurrentBssid(), "00-0F-B5-44-7C-20");
    EXPECT_EQ(Ssid(), "Lighthouse");  // the settings are those of the network it is on again
    EXPECT_EQ(QueryU32(0x420), 0u);
    EXPECT_EQ(State()["join"]["restored"], true);
    EXPECT_EQ(State()["join"]["cause"], "wrong_key");
}

TEST_F(JoinTest, NewerAttemptKeepsWhatTheFirstWouldHaveGoneBackTo) {
    JoinInfra("Lighthouse");
    ASSERT_EQ(kccl_sim_set_join_delay(500), 0);
    JoinInfra("Harbour", 1, "0102030405");  // would fail; a newer attempt comes first
    JoinInfra("Nowhere");
    EXPECT_EQ(JoinState().attempt, 3u);
    EXPECT_EQ(JoinState().ssid, "Nowhere");
    ASSERT_EQ(kccl_sim_advance(600), 0);
    const SJoin join = JoinState();
    EXPECT_EQ(join.cause, static_cast<uint32_t>(KCOM_CAUSE_NOT_FOUND));
    EXPECT_NE(join.flags & KCOM_JOIN_FLAG_RESTORED, 0u);
    EXPECT_EQ(CurrentBssid(), "00-0F-B5-44-7C-20");
}

TEST_F(JoinTest, OwnAdHocCellIsStartedAgainAfterAFailure) {
    EXPECT_EQ(SetU32(0x220, 2), 2u);
    EXPECT_EQ(SetSsid("Picnic"), 2u);
    EXPECT_EQ(SetChannel(6), 2u);
    EXPECT_EQ(SetU32(0x430, 0), 2u);
    const std::string cell = CurrentBssid();
    JoinInfra("Harbour", 1, "0102030405");
    EXPECT_NE(JoinState().flags & KCOM_JOIN_FLAG_RESTORED, 0u);
    EXPECT_TRUE(Associated());
    EXPECT_EQ(CurrentBssid(), cell);
    EXPECT_EQ(QueryU32(0x210), 2u);
}

TEST_F(JoinTest, FailureWithoutAPreviousNetworkStopsTrying) {
    JoinInfra("Latecomer");
    EXPECT_EQ(JoinState().cause, static_cast<uint32_t>(KCOM_CAUSE_NOT_FOUND));
    ASSERT_EQ(kccl_sim_put_network(R"({"ssid": "Latecomer", "bssid": "00-1D-7E-11-22-77", "channel": 3})"),
              0);
    EXPECT_FALSE(Associated());
}

TEST_F(JoinTest, DisconnectAndUnplugEndARunningAttempt) {
    JoinInfra("Lighthouse");
    ASSERT_EQ(kccl_sim_set_join_delay(1000), 0);
    JoinInfra("Lockkeeper");
    auto leave = Block(0x5A0);
    EXPECT_EQ(Exec(*leave), 2u);
    SJoin join = JoinState();
    EXPECT_EQ(join.cause, static_cast<uint32_t>(KCOM_CAUSE_CANCELLED));
    EXPECT_EQ(join.flags & KCOM_JOIN_FLAG_RESTORED, 0u);  // leaving means leaving
    ASSERT_EQ(kccl_sim_advance(2000), 0);
    EXPECT_FALSE(Associated());

    JoinInfra("Lighthouse");
    ASSERT_EQ(kccl_sim_set_present(0), 0);
    ASSERT_EQ(kccl_sim_set_present(1), 0);
    ASSERT_EQ(kcom_connect("SEARCH"), 0);
    join = JoinState();
    EXPECT_EQ(join.state, static_cast<uint32_t>(KCOM_JOIN_FAILED));
    EXPECT_EQ(join.cause, static_cast<uint32_t>(KCOM_CAUSE_ADAPTER_GONE));
    EXPECT_EQ(join.attempt, 3u);  // the count goes on across the replug
    EXPECT_FALSE(Associated());
}

TEST_F(JoinTest, ScenarioTimesAreChecked) {
    const char* bad[] = {
        R"({"join_delay_ms": -1})",
        R"({"join_delay_ms": 600001})",
        R"({"networks": [{"ssid": "A", "bssid": "00-00-00-00-00-01", "channel": 1, "join_delay_ms": "soon"}]})",
        R"({"networks": [{"ssid": "A", "bssid": "00-00-00-00-00-01", "channel": 1,
            "security": "wpa2-enterprise", "passphrase": "not-for-802.1x"}]})",
    };
    for (const char* scenario : bad) EXPECT_NE(kccl_sim_reset(scenario), 0) << scenario;
    ASSERT_EQ(
        kccl_sim_reset(R"({"join_delay_ms": 1234, "networks": [)"
                       R"({"ssid": "A", "bssid": "00-00-00-00-00-01", "channel": 1, "join_delay_ms": 7}]})"),
        0);
    const auto state = State();
    EXPECT_EQ(state["join_delay_ms"], 1234);
    EXPECT_EQ(state["networks"][0]["join_delay_ms"], 7);
}

// One network on two access points: the stronger one on channel 1, the faster one on channel 36.
// A join that names an access point goes there and to no other; the next SSID set lets the adapter
// choose again.
TEST_F(JoinTest, AChosenAccessPointIsTheOneJoinedAndTheNextSsidForgetsIt) {
    ASSERT_EQ(kccl_sim_put_network(R"({"ssid": "Twin", "bssid": "02-00-00-00-01-01", "channel": 1,
                                        "signal_dbm": -40})"),
              0);
    ASSERT_EQ(kccl_sim_put_network(R"({"ssid": "Twin", "bssid": "02-00-00-00-24-01", "channel": 36,
                                        "signal_dbm": -62})"),
              0);
    auto choose = [](const std::string& hex) {
        auto block = Block(OID_JOIN_BSSID_SET);
        const auto bytes = Hex(hex);
        std::memcpy(block->payload + KCOM_JOIN_BSSID, bytes.data(), bytes.size());
        return Exec(*block);
    };
    EXPECT_EQ(SetU32(0x220, 1), 2u);
    EXPECT_EQ(SetSsid("Twin"), 2u);
    EXPECT_EQ(choose("020000002401"), 2u);
    EXPECT_EQ(State()["join_bssid"], "02-00-00-00-24-01");
    EXPECT_EQ(SetU32(0x430, 0), 2u);
    EXPECT_EQ(JoinState().state, static_cast<uint32_t>(KCOM_JOIN_JOINED));
    EXPECT_EQ(CurrentBssid(), "02-00-00-00-24-01");
    EXPECT_EQ(Channel(), 36);

    // The chosen one out of range: the network's other access point is not taken in its place.
    JoinInfra("Lighthouse");
    EXPECT_EQ(SetSsid("Twin"), 2u);
    EXPECT_EQ(choose("020000002401"), 2u);
    ASSERT_EQ(kccl_sim_set_signal("02-00-00-00-24-01", -120), 0);
    EXPECT_EQ(SetU32(0x430, 0), 2u);
    EXPECT_NE(CurrentBssid(), "02-00-00-00-01-01");

    // A new SSID set: any access point again, the strongest.
    EXPECT_EQ(SetSsid("Twin"), 2u);
    EXPECT_EQ(State()["join_bssid"], "");
    EXPECT_EQ(SetU32(0x430, 0), 2u);
    EXPECT_EQ(CurrentBssid(), "02-00-00-00-01-01");

    // A group address names no access point.
    EXPECT_EQ(choose("010000000001"), static_cast<uint32_t>(0xC0010015));
}

}  // namespace
}  // namespace wavory::test
