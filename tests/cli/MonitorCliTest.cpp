// status, stats, about, the adapter going away, and what the parser refuses.
#include "CliFixture.h"
#include "kccl_sim.h"

namespace wavory::test {
namespace {

using nlohmann::json;

class MonitorCliTest : public CliTest {
protected:
    // Joins Lighthouse (open, channel 11, 802.11b, -66 dBm, 22000/4000 bytes per second).
    void JoinLighthouse() {
        NewProfile({"--name", "Light", "--ssid", "Lighthouse", "--mode", "infrastructure"});
        const json joined = RunJson({"connect", "Light"});
        ASSERT_EQ(joined["associated"], true);
    }
};

TEST_F(MonitorCliTest, StatusWithoutConnectionShowsOnlyTheRadio) {
    const json status = RunJson({"status"});
    EXPECT_EQ(status["connected"], false);
    EXPECT_TRUE(status["ssid"].is_null());
    EXPECT_TRUE(status["link_quality"].is_null());
    EXPECT_NE(status["radio_status"].get<std::string>().find("Ready"), std::string::npos);

    const SRun text = Run({"status"});
    EXPECT_EQ(text.code, 0);
    EXPECT_NE(text.out.find("Not Connected"), std::string::npos);
}

TEST_F(MonitorCliTest, ConnectThenStatusShowsTheNetwork) {
    JoinLighthouse();
    // Reading starts no scan; the signal comes from the adapter's last list, which a scan makes.
    ASSERT_EQ(Run({"scan"}).code, 0);
    const json status = RunJson({"status"});
    EXPECT_EQ(status["connected"], true);
    EXPECT_EQ(status["ssid"], "Lighthouse");
    EXPECT_EQ(status["network_mode"], "Infrastructure");
    EXPECT_EQ(status["channel"], 11);
    EXPECT_EQ(status["frequency_mhz"], 2462);
    EXPECT_EQ(status["phy"], "802.11b");
    EXPECT_EQ(status["channel_text"], "11 / 2.462 GHz - 802.11b");
    EXPECT_EQ(status["security"], "open");
    EXPECT_EQ(status["security_text"], "None");
    EXPECT_EQ(status["bssid"], "00-0F-B5-44-7C-20");
    // -66 dBm is (25 * 100) / 30 = 83 percent; an 802.11b station runs at 11 Mbps.
    EXPECT_EQ(status["signal_dbm"], -66);
    EXPECT_EQ(status["link_quality"], "68%");
    EXPECT_EQ(status["network_rate_mbps"], 11);
    EXPECT_TRUE(status["received"].is_number_unsigned());

    // The same adapter state, seen from the simulation itself.
    char state[65536];
    kccl_sim_state_json(state, sizeof state);
    const json sim = json::parse(state);
    EXPECT_EQ(sim["associated"], true);
    EXPECT_EQ(sim["bssid"], "00-0F-B5-44-7C-20");

    ASSERT_EQ(Run({"prefs", "set", "--units", "dbm"}).code, 0);
    EXPECT_EQ(RunJson({"status"})["link_quality"], "-66dBm");
}

TEST_F(MonitorCliTest, StatusTellsWhyTheLastConnectionEnded) {
    EXPECT_TRUE(RunJson({"status"})["last_disconnect"].is_null());
    EXPECT_EQ(Run({"status"}).out.find("Last disconnect"), std::string::npos);
    JoinLighthouse();
    // The access point goes away, told through the simulator's own tool as a user would.
    SChild tool = Start({WAVORY_SIM_TOOL_PATH, "deauth", "3"});
    ASSERT_EQ(Finish(tool).code, 0);
    const json status = RunJson({"status"});
    EXPECT_EQ(status["connected"], false);
    const json& drop = status["last_disconnect"];
    ASSERT_TRUE(drop.is_object()) << status.dump();
    EXPECT_EQ(drop["reason"], 3);
    EXPECT_EQ(drop["reason_name"], "LEAVING_NETWORK_DEAUTH");
    EXPECT_EQ(drop["sentence"],
              "The access point is going away (it was switched off or restarted). (reason 3)");
    EXPECT_EQ(drop["initiator"], "access-point");
    EXPECT_EQ(drop["ssid"], "Lighthouse");
    EXPECT_EQ(drop["bssid"], "00-0F-B5-44-7C-20");
    EXPECT_TRUE(drop["time"].is_string());
    const SRun text = Run({"status"});
    EXPECT_NE(text.out.find("Last disconnect:"), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("\"Lighthouse\" at "), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("going away"), std::string::npos);

    // Joined again, the status still tells the drop; the user's own disconnect then replaces it.
    ASSERT_EQ(RunJson({"connect", "Light"})["associated"], true);
    EXPECT_EQ(RunJson({"status"})["last_disconnect"]["reason"], 3);
    ASSERT_EQ(Run({"disconnect"}).code, 0);
    const json mine = RunJson({"status"})["last_disconnect"];
    EXPECT_EQ(mine["initiator"], "user");
    EXPECT_EQ(mine["sentence"], "You ended the connection. (reason 3)");
    // Without an access point there is nothing to deauthenticate from: the tool says so.
    SChild refused = Start({WAVORY_SIM_TOOL_PATH, "deauth"});
    const SRun failed = Finish(refused);
    EXPECT_EQ(failed.code, 1);
    EXPECT_NE(failed.err.find("no access point"), std::string::npos) << failed.err;
}

TEST_F(MonitorCliTest, StatusKeepsTheFieldsReadBeforeAFailingRequest) {
    JoinLighthouse();
    // The page's read stops at the first failure: security and everything after it stay empty.
    ASSERT_EQ(kccl_sim_set_fault(0x420, KCCL_SIM_FAULT_STATUS, 3), 0);
    const json status = RunJson({"status"});
    EXPECT_EQ(status["ssid"], "Lighthouse");
    EXPECT_EQ(status["channel"], 11);
    EXPECT_TRUE(status["security"].is_null());
    EXPECT_TRUE(status["power_save"].is_null());
    EXPECT_TRUE(status["radio_status"].is_null());

    // A driver library that throws is a failed read too, never a crash.
    ASSERT_EQ(kccl_sim_set_fault(0x420, KCCL_SIM_FAULT_THROW, 0), 0);
    EXPECT_TRUE(RunJson({"status"})["security"].is_null());
}

TEST_F(MonitorCliTest, StatsSampleTheTraffic) {
    const json idle = RunJson({"stats", "--seconds", "1"});
    EXPECT_EQ(idle["connected"], false);
    EXPECT_EQ(idle["signal"], "N/A");
    EXPECT_TRUE(idle["snr_db"].is_null());
    EXPECT_EQ(idle["receive_kbps"], 0);

    JoinLighthouse();
    ASSERT_EQ(Run({"scan"}).code, 0);
    const json stats = RunJson({"stats", "--seconds", "1"});
    EXPECT_EQ(stats["connected"], true);
    EXPECT_EQ(stats["signal"], "68%");
    EXPECT_EQ(stats["network_rate_mbps"], 11);
    EXPECT_TRUE(stats["snr_db"].is_number_integer());
    // 22000 and 4000 bytes per second are 22 and 4 KB/s; the sample spans a little more than a second.
    EXPECT_GE(stats["receive_kbps"].get<int>(), 18);
    EXPECT_LE(stats["receive_kbps"].get<int>(), 23);
    EXPECT_GE(stats["send_kbps"].get<int>(), 3);
    EXPECT_LE(stats["send_kbps"].get<int>(), 5);
}

TEST_F(MonitorCliTest, AboutReportsTheAdapter) {
    const json about = RunJson({"about"});
    EXPECT_EQ(about["device_name"], "Wavory Utility");
    EXPECT_EQ(about["mac"], "00-0A-F5-3C-9E-12");
    EXPECT_EQ(about["driver_version"], "2.2.1.14");
    EXPECT_EQ(about["firmware_version"], "0001 - 0004 / 0002 - 0011");
    EXPECT_EQ(about["regulatory_domain"], "FCC (US)");
    EXPECT_EQ(about["regulatory_domain_code"], 0x10);
    EXPECT_EQ(about["version"], "2.2.1");
}

TEST_F(MonitorCliTest, WithoutAdapterCommandsThatNeedItFailAndChangeNothing) {
    NewProfile({"--name", "Light", "--ssid", "Lighthouse", "--mode", "infrastructure"});
    ASSERT_EQ(kccl_sim_set_present(0), 0);
    for (const std::vector<std::string>& args : {std::vector<std::string>{"status"},
                                                 {"stats", "--seconds", "1"},
                                                 {"about"},
                                                 {"scan"},
                                                 {"connect", "Light"},
                                                 {"connect", "--ssid", "Lighthouse"}})
        ExpectRefused(args, 1, "no adapter found");
    // Profiles and preferences live in the settings file: they need no adapter.
    EXPECT_EQ(RunJson({"profiles", "list"})["profiles"].size(), 1u);
    EXPECT_EQ(RunJson({"prefs", "get"})["interval"], 10);

    ASSERT_EQ(kccl_sim_set_present(1), 0);
    EXPECT_EQ(Run({"about"}).code, 0);
}

TEST_F(MonitorCliTest, BadArgumentsExitWithUsageErrors) {
    NewProfile({"--name", "Light", "--ssid", "Lighthouse"});
    ExpectRefused({}, 2, "subcommand");
    ExpectRefused({"fly"}, 2, "fly");
    ExpectRefused({"status", "--loud"}, 2, "--loud");
    ExpectRefused({"stats", "--seconds", "0"}, 2, "--seconds");
    ExpectRefused({"stats", "--seconds", "ten"}, 2, "--seconds");
    ExpectRefused({"scan", "--sort", "colour"}, 2, "--sort");
    ExpectRefused({"scan", "--view", "network", "--sort", "channel"}, 2, "access-point view");
    ExpectRefused({"connect"}, 2, "--ssid");
    ExpectRefused({"connect", "Light", "--ssid", "Lighthouse"}, 2, "excludes");
    ExpectRefused({"profiles"}, 2, "subcommand");
    // Only the command that runs gets its parser; a word that names another one is still refused.
    ExpectRefused({"profiles", "lst"}, 2, "unknown command \"lst\"");
    ExpectRefused({"profiles", "status"}, 2, "unknown command \"status\"");
    ExpectRefused({"status", "scan"}, 2, "scan");
    ExpectRefused({"--adapter", "profiles", "status", "--name", "x"}, 2, "--name");

    const SRun help = Run({"scan", "--help"});
    EXPECT_EQ(help.code, 0);
    EXPECT_NE(help.out.find("--sort"), std::string::npos);
    // The whole list of commands, whatever word comes first.
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--help"}, {"--adapter", "sim", "--help"}}) {
        const SRun all = Run(args);
        for (const char* command : {"status", "scan", "connect", "profiles", "prefs", "store"})
            EXPECT_NE(all.out.find(command), std::string::npos) << command << " in " << args.back();
    }
    // Global options before the command, with their values, and after it.
    EXPECT_EQ(Run({"--adapter", "sim", "--json", "profiles", "--json", "list"}).code, 0);
    EXPECT_EQ(Run({"--adapter=sim", "status", "--json"}).code, 0);
}

}  // namespace
}  // namespace wavory::test
