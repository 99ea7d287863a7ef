// wavoryctl connect waits for the adapter's join and, when it fails, exits 1 naming the cause: a
// stable "reason" for scripts and whether the previous connection came back.
#include <chrono>
#include <csignal>
#include <cstring>
#include <thread>

#include "CliFixture.h"
#include "kccl.h"
#include "kccl_sim.h"

namespace wavory::test {
namespace {

using nlohmann::json;

constexpr const char* kLockkeeper =
    R"({"ssid": "Lockkeeper", "bssid": "00-1D-7E-11-22-33", "channel": 6, "security": "wpa2",
        "passphrase": "canal-gates-at-dawn", "signal_dbm": -61})";
constexpr const char* kCampus =
    R"({"ssid": "Campus", "bssid": "00-1D-7E-11-22-55", "channel": 11, "security": "wpa2-enterprise",
        "signal_dbm": -58})";
constexpr const char* kSlowpoke =
    R"({"ssid": "Slowpoke", "bssid": "00-1D-7E-11-22-66", "channel": 1, "signal_dbm": -60,
        "join_delay_ms": 60000})";

json SimState() {
    std::string buf(1 << 16, '\0');
    kccl_sim_state_json(buf.data(), buf.size());
    return json::parse(buf.c_str());
}

// Polls until `done` holds or a generous limit passes.
template <typename Pred>
bool WaitFor(Pred done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

class JoinCliTest : public CliTest {
protected:
    void SetUp() override {
        CliTest::SetUp();
        ASSERT_EQ(kccl_sim_put_network(kLockkeeper), 0);
        ASSERT_EQ(kccl_sim_put_network(kCampus), 0);
        ASSERT_EQ(kccl_sim_put_network(kSlowpoke), 0);
    }

    // A failed connect: exit 1, one line on standard error, and the --json object.
    json ExpectJoinFailure(const std::vector<std::string>& args, const std::string& reason,
                           const std::string& needle) {
        std::vector<std::string> withJson = args;
        withJson.emplace_back("--json");
        const std::string before = SettingsBytes();
        const SRun run = Run(withJson);
        EXPECT_EQ(run.code, 1) << run.err;
        EXPECT_TRUE(IsOneLine(run.err)) << run.err;
        EXPECT_NE(run.err.find(needle), std::string::npos) << run.err;
        EXPECT_EQ(SettingsBytes(), before) << "a failed join changed the settings";
        json error;
        try {
            error = json::parse(run.out);
        } catch (const std::exception& e) {
            ADD_FAILURE() << "not JSON: " << e.what() << "\n" << run.out;
            return error;
        }
        EXPECT_EQ(error["reason"], reason) << run.out;
        EXPECT_EQ(error["failed"], "join");
        EXPECT_EQ(error["command"], "connect");
        EXPECT_EQ(error["exit_code"], 1);
        EXPECT_TRUE(error["restored"].is_boolean()) << run.out;
        return error;
    }
};

TEST_F(JoinCliTest, EachCauseHasItsReason) {
    NewProfile({"--name", "Away", "--ssid", "Nowhere", "--mode", "infrastructure"});
    NewProfile({"--name", "Open", "--ssid", "Harbour", "--mode", "infrastructure"});
    NewProfile({"--name", "Cell", "--ssid", "Picnic", "--mode", "adhoc", "--channel", "6", "--security",
                "wpa2", "--passphrase", "picnic-in-the-park"});
    NewProfile({"--name", "Campus", "--ssid", "Campus", "--mode", "infrastructure"});
    const struct {
        const char* profile;
        const char* reason;
        const char* says;
    } cases[] = {
        {"Away", "not_found", "\"Nowhere\": the network is not in range."},
        {"Open", "refused", "\"Harbour\": the network refused the connection"},
        {"Cell", "unsupported",
         "\"Picnic\": joining it is not supported by this way of controlling the adapter"},
        {"Campus", "needs_8021x", "\"Campus\": the network needs 802.1X credentials"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.profile);
        const json error = ExpectJoinFailure({"connect", c.profile}, c.reason,
                                             std::string("Could not connect to profile. Verify profile "
                                                         "parameters. ") +
                                                 c.says);
        EXPECT_EQ(error["restored"], false);
    }
    ExpectJoinFailure(
        {"connect", "--ssid", "Lockkeeper", "--passphrase", "canal-gates-at-dusk"}, "wrong_key",
        "Could not connect to specified station. \"Lockkeeper\": the passphrase was not accepted.");
    EXPECT_EQ(RunJson({"profiles", "list"})["profiles"].size(), 4u);  // no profile from a failed join
}

TEST_F(JoinCliTest, FailedJoinKeepsThePreviousConnection) {
    ASSERT_EQ(RunJson({"connect", "--ssid", "Lighthouse"})["associated"], true);
    const json error =
        ExpectJoinFailure({"connect", "--ssid", "Harbour", "--key", "0123456789"}, "wrong_key",
                          "the WEP key was not accepted. The previous connection was restored.");
    EXPECT_EQ(error["restored"], true);
    EXPECT_EQ(error["ssid"], "Harbour");
    const json status = RunJson({"status"});
    EXPECT_EQ(status["connected"], true);
    EXPECT_EQ(status["ssid"], "Lighthouse");
}

TEST_F(JoinCliTest, JoinEndedByAnotherProgramOrTheAdapterGoing) {
    const auto startConnect = [this] {
        return Start({WAVORYCTL_PATH, "connect", "--ssid", "Slowpoke", "--json"});
    };
    const auto joining = [] {
        const json join = SimState()["join"];
        return join["state"] == "joining" && join["ssid"] == "Slowpoke";
    };

    // A newer attempt by another program ends this one.
    SChild waiting = startConnect();
    ASSERT_TRUE(WaitFor(joining));
    ASSERT_EQ(kcom_connect("SEARCH"), 0);
    KCOM_REQUEST request{};
    request.code = 0x80;  // the SSID, then no security: the settings are complete
    request.payload[0] = 10;
    std::memcpy(request.payload + 1, "Lighthouse", 10);
    ASSERT_EQ(kcom_exec_oid(&request), 0);
    request = KCOM_REQUEST{};
    request.code = 0x430;
    ASSERT_EQ(kcom_exec_oid(&request), 0);
    kcom_disconnect();
    SRun run = Finish(waiting);
    EXPECT_EQ(run.code, 1) << run.err;
    EXPECT_EQ(json::parse(run.out)["reason"], "cancelled") << run.out;

    // The adapter is unplugged while it joins.
    waiting = startConnect();
    ASSERT_TRUE(WaitFor(joining));
    ASSERT_EQ(kccl_sim_set_present(0), 0);
    run = Finish(waiting);
    ASSERT_EQ(kccl_sim_set_present(1), 0);
    EXPECT_EQ(run.code, 1) << run.err;
    EXPECT_EQ(json::parse(run.out)["reason"], "adapter_gone") << run.out;
    EXPECT_NE(run.err.find("the adapter is missing"), std::string::npos) << run.err;
}

TEST_F(JoinCliTest, InterruptedJoinGoesBackToWhereTheAdapterWas) {
    const auto joiningSlowpoke = [] {
        const json join = SimState()["join"];
        return join["state"] == "joining" && join["ssid"] == "Slowpoke";
    };
    const auto interrupt = [&](int sig) {
        SChild waiting = Start({WAVORYCTL_PATH, "connect", "--ssid", "Slowpoke", "--json"});
        EXPECT_TRUE(WaitFor(joiningSlowpoke));
        ::kill(waiting.pid, sig);
        return Finish(waiting);
    };

    // A Ctrl-C or a kill while the adapter joins calls the join off, as the window's Cancel does; the
    // way back to a secured network joined by an earlier command takes the key of its profile.
    ASSERT_EQ(RunJson({"connect", "--ssid", "Lockkeeper", "--passphrase", "canal-gates-at-dawn"})["associated"],
              true);
    const std::size_t profiles = RunJson({"profiles", "list"})["profiles"].size();
    for (const int sig : {SIGINT, SIGTERM}) {
        const SRun run = interrupt(sig);
        EXPECT_EQ(run.code, 128 + sig) << run.err;
        const json error = json::parse(run.out);
        EXPECT_EQ(error["reason"], "cancelled") << run.out;
        EXPECT_EQ(error["restored"], true) << run.out;
        EXPECT_NE(run.err.find("back on \"Lockkeeper\""), std::string::npos) << run.err;
        const json status = RunJson({"status"});
        EXPECT_EQ(status["connected"], true);
        EXPECT_EQ(status["ssid"], "Lockkeeper");
        EXPECT_NE(SimState()["join"]["state"], "joining");
    }
    EXPECT_EQ(RunJson({"profiles", "list"})["profiles"].size(), profiles);  // Slowpoke was not stored

    // Without a connection before, the adapter stops trying.
    RunJson({"disconnect"});
    const SRun run = interrupt(SIGINT);
    EXPECT_EQ(run.code, 128 + SIGINT) << run.err;
    EXPECT_NE(run.err.find("the adapter is not connected"), std::string::npos) << run.err;
    EXPECT_EQ(RunJson({"status"})["connected"], false);
    EXPECT_NE(SimState()["join"]["state"], "joining");
}

}  // namespace
}  // namespace wavory::test
