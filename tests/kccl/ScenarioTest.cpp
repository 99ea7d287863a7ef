// Scenarios: hand-written files must be refused clearly when wrong, and be taken as written.
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "SimFixture.h"
#include "TestMain.h"

namespace wavory::test {
namespace {

std::string ReadText(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Sets an environment variable for one scope and puts the old value back.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value) : m_name(name) {
        if (const char* old = std::getenv(name)) m_old = old;
        setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv() {
        if (m_old.empty())
            unsetenv(m_name);
        else
            setenv(m_name, m_old.c_str(), 1);
    }

private:
    const char* m_name;
    std::string m_old;
};

class ScenarioTest : public SimFixture {
protected:
    // Resets with `json`, expecting a refusal whose one stderr line mentions `mention`.
    static void ExpectRefused(const std::string& json, const std::string& mention) {
        testing::internal::CaptureStderr();
        const int rc = kccl_sim_reset(json.c_str());
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_LT(rc, 0) << json;
        EXPECT_NE(err.find(mention), std::string::npos) << err;
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    }
};

TEST_F(ScenarioTest, BadScenariosAreRefusedAndStateStays) {
    JoinInfra("Lighthouse");
    ExpectRefused("{\"networks\": [", "not valid JSON");
    ExpectRefused("[1, 2]", "JSON object");
    const std::string net = R"({"ssid":"A","bssid":"00-11-22-33-44-55","channel":6)";
    ExpectRefused(R"({"networks":[{"ssid":"A","bssid":"00-11-22-33-44","channel":6}]})", "networks[0].bssid");
    ExpectRefused(R"({"networks":[)" + net + R"(,"wep_key":"123456789"}]})", "wep_key");
    ExpectRefused(R"({"networks":[{"ssid":"A","bssid":"00-11-22-33-44-55","channel":15}]})", "channel");
    ExpectRefused(R"({"networks":[)" + net + R"(,"mode":"mesh"}]})", "mode");
    ExpectRefused(R"({"networks":[)" + net + R"(,"ssid_hex":"41"}]})", "exactly one");
    ExpectRefused(R"({"networks":[)" + net + R"(,"signal":-50}]})", "unknown key \"signal\"");
    ExpectRefused(R"({"networks":[{"ssid":")" + std::string(33, 'x') +
                      R"(","bssid":"00-11-22-33-44-55","channel":1}]})",
                  "32 bytes");
    ExpectRefused(R"({"networks":[)" + net + "}," + net + "}]}", "given twice");
    ExpectRefused(R"({"adapter":{"reg_domain":"0x11"}})", "reg_domain");
    ExpectRefused(R"({"adapter":{"driver_version":[1,2,3]}})", "driver_version");
    EXPECT_TRUE(Associated());
    EXPECT_EQ(State()["networks"].size(), 14u);
}

TEST_F(ScenarioTest, ScenarioIsTakenAsWritten) {
    ASSERT_EQ(kccl_sim_reset(R"({
        "adapter": {"mac": "00-0A-11-22-33-44", "driver_version": [3, 0, 7, 1], "reg_domain": 64},
        "scan_duration_ms": 100, "join_delay_ms": 0,
        "networks": [{"ssid_hex": "00FF", "bssid": "00-11-22-33-44-55", "channel": 149, "wep_key": "0102030405",
                      "signal_dbm": -61}]})"),
              0);
    ASSERT_EQ(kcom_connect("SEARCH"), 0);
    EXPECT_EQ(BssidText(Query(0x30)->payload), "00-0A-11-22-33-44");
    EXPECT_EQ(U32(Query(0x10)->payload, 8), 3u);
    EXPECT_EQ(QueryU32(0x891), 0x40u);
    const auto state = State();
    ASSERT_EQ(state["networks"].size(), 1u);
    EXPECT_EQ(state["networks"][0]["ssid_hex"], "00FF");
    EXPECT_EQ(state["networks"][0]["generation"], "802.11a");  // by its channel
    EXPECT_EQ(state["scan_duration_ms"], 100);

    // The raw SSID joins with its exact bytes.
    auto ssid = Block(0x80);
    ssid->payload[0] = 2;
    ssid->payload[1] = 0x00;
    ssid->payload[2] = 0xFF;
    EXPECT_EQ(Exec(*ssid), 2u);
    EXPECT_EQ(SetU32(0x430, 1), 2u);
    EXPECT_EQ(SetKey(0, "0102030405"), 2u);
    EXPECT_TRUE(Associated());
}

TEST_F(ScenarioTest, DumpedStateFeedsBackAsScenario) {
    ASSERT_EQ(
        kccl_sim_put_network(R"({"ssid_hex":"C328","bssid":"02-00-00-00-00-01","channel":2,"mode":"adhoc"})"),
        0);
    const auto before = State();
    nlohmann::json scenario = {{"adapter", {{"mac", before["adapter"]["mac"]}}},
                               {"networks", before["networks"]}};
    ASSERT_EQ(kccl_sim_reset(scenario.dump().c_str()), 0);
    EXPECT_EQ(State()["networks"], before["networks"]);
}

TEST_F(ScenarioTest, ShippedDefaultFileEqualsBuiltInScenario) {
    const auto file = std::filesystem::path(__FILE__).parent_path() / "../../src/kccl/sim/scenarios/default.json";
    const std::string text = ReadText(file);
    ASSERT_FALSE(text.empty()) << file;
    const auto builtIn = State();
    ASSERT_EQ(kccl_sim_reset(text.c_str()), 0);
    const auto shipped = State();
    EXPECT_EQ(shipped["networks"], builtIn["networks"]);
    EXPECT_EQ(shipped["adapter"], builtIn["adapter"]);
    EXPECT_EQ(shipped["scan_duration_ms"], builtIn["scan_duration_ms"]);
}

TEST_F(ScenarioTest, ScenarioFileFromEnvironmentStartsNewAdapter) {
    const auto dir = std::filesystem::path(TempHome());
    const std::string good = (dir / "one.json").string();
    const std::string bad = (dir / "bad.json").string();
    std::ofstream(good) << R"({"adapter":{"reg_domain":"0x31"},"networks":[]})";
    std::ofstream(bad) << R"({"networks":[{"ssid":"A"}]})";
    {
        ScopedEnv sim("WAVORY_SIM", "/wavory-test-env-" + std::to_string(getpid()));
        ScopedEnv scenario("WAVORY_SCENARIO", bad);
        testing::internal::CaptureStderr();
        EXPECT_NE(kcom_connect("SEARCH"), 0);
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_NE(err.find("bad.json"), std::string::npos) << err;
        EXPECT_NE(err.find("bssid"), std::string::npos) << err;

        ScopedEnv scenario2("WAVORY_SCENARIO", good);
        ASSERT_EQ(kcom_connect("SEARCH"), 0);
        EXPECT_EQ(QueryU32(0x891), 0x31u);
        EXPECT_EQ(kccl_sim_unlink(), 0);
    }
    // Back on this test's own adapter; the old link was given up when the name changed.
    ASSERT_EQ(kcom_connect("SEARCH"), 0);
    EXPECT_EQ(QueryU32(0x891), 0x10u);
}

}  // namespace
}  // namespace wavory::test
