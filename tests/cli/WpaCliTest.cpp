// WPA2/WPA3-Personal: profiles with a passphrase, joining a WPA2 network, the security kinds a
// scan shows, and the passphrase through export and import.
#include <map>

#include "CliFixture.h"
#include "kccl_sim.h"

namespace wavory::test {
namespace {

using nlohmann::json;

constexpr const char* kLockkeeper =
    R"({"ssid": "Lockkeeper", "bssid": "00-1D-7E-11-22-33", "channel": 6, "phy": 2, "mode": "infrastructure",
        "security": "wpa2", "passphrase": "canal-gates-at-dawn", "signal_dbm": -61})";
constexpr const char* kSluice =
    R"({"ssid": "Sluice", "bssid": "00-1D-7E-11-22-44", "channel": 1, "phy": 2, "mode": "infrastructure",
        "security": "wpa3", "passphrase": "tide-tables-2026", "signal_dbm": -64})";

class WpaCliTest : public CliTest {
protected:
    void SetUp() override {
        CliTest::SetUp();
        ASSERT_EQ(kccl_sim_put_network(kLockkeeper), 0);
        ASSERT_EQ(kccl_sim_put_network(kSluice), 0);
    }
};

TEST_F(WpaCliTest, ScanShowsTheKindOfSecurity) {
    const json scan = RunJson({"scan", "--view", "ap"});
    std::map<std::string, std::string> kinds;
    for (const auto& s : scan["stations"])
        kinds[s["ssid"].get<std::string>()] = s["security"].get<std::string>();
    EXPECT_EQ(kinds["Lockkeeper"], "wpa2");
    EXPECT_EQ(kinds["Sluice"], "wpa3");
    EXPECT_EQ(kinds["Harbour"], "wep");
    EXPECT_EQ(kinds["Lighthouse"], "open");
}

TEST_F(WpaCliTest, JoinsOnlyWithTheRightPassphrase) {
    ExpectRefused({"connect", "--ssid", "Lockkeeper"}, 2, "--passphrase");
    ExpectRefused({"connect", "--ssid", "Lockkeeper", "--passphrase", "short"}, 2, "8 to 63");
    ExpectRefused({"connect", "--ssid", "Lockkeeper", "--key", "1A2B3C4D5E"}, 2, "not secured with WEP");
    ExpectRefused({"connect", "--ssid", "Lighthouse", "--passphrase", "canal-gates-at-dawn"}, 2,
                  "not secured with WPA");
    ExpectRefused({"connect", "--ssid", "Lockkeeper", "--passphrase", "canal-gates-at-dusk"}, 1,
                  "Could not connect to specified station");
    EXPECT_EQ(RunJson({"status"})["connected"], false);

    const json joined = RunJson({"connect", "--ssid", "Lockkeeper", "--passphrase", "canal-gates-at-dawn"});
    EXPECT_EQ(joined["associated"], true);
    EXPECT_EQ(joined["bssid"], "00-1D-7E-11-22-33");
    const json status = RunJson({"status"});
    EXPECT_EQ(status["ssid"], "Lockkeeper");
    EXPECT_EQ(status["security"], "wpa2");
    EXPECT_EQ(status["security_text"], "WPA2-Personal");
    const json saved = RunJson({"profiles", "show", joined["profile"].get<std::string>(), "--show-keys"});
    EXPECT_EQ(saved["security_text"], "WPA2-Personal");
    EXPECT_EQ(saved["passphrase"], "canal-gates-at-dawn");

    // WPA3 refuses the 64-digit form; its passphrase joins.
    ExpectRefused({"connect", "--ssid", "Sluice", "--passphrase", std::string(64, 'a')}, 2, "WPA3");
    EXPECT_EQ(RunJson({"connect", "--ssid", "Sluice", "--passphrase", "tide-tables-2026"})["associated"],
              true);
}

TEST_F(WpaCliTest, ProfilesKeepThePassphraseThroughExportAndImport) {
    ExpectRefused({"profiles", "new", "--name", "Lock", "--ssid", "Lockkeeper", "--security", "wpa2"}, 2,
                  "--passphrase");
    ExpectRefused({"profiles", "new", "--name", "Lock", "--ssid", "Lockkeeper", "--security", "wpa2",
                   "--passphrase", std::string(64, 'g')},
                  2, "hexadecimal");
    NewProfile({"--name", "Lock", "--ssid", "Lockkeeper", "--mode", "infrastructure", "--security", "wpa2",
                "--passphrase", "canal \"gates\" at dawn"});
    json shown = RunJson({"profiles", "show", "Lock", "--show-keys"});
    EXPECT_EQ(shown["security_text"], "WPA2-Personal");
    EXPECT_EQ(shown["passphrase"], "canal \"gates\" at dawn");
    EXPECT_EQ(RunJson({"profiles", "show", "Lock"}).count("passphrase"), 0u);  // not without --show-keys

    const std::string file = ScratchPath("lock.reg");
    RunJson({"profiles", "export", file, "--profile", "Lock"});
    RunJson({"profiles", "rm", "Lock"});
    const json imported = RunJson({"profiles", "import", file});
    ASSERT_EQ(imported["profiles"].size(), 1u);
    shown = RunJson({"profiles", "show", imported["profiles"][0].get<std::string>(), "--show-keys"});
    EXPECT_EQ(shown["security_text"], "WPA2-Personal");
    EXPECT_EQ(shown["passphrase"], "canal \"gates\" at dawn");

    // Back to WEP: the profile no longer uses WPA, and connects as before.
    RunJson({"profiles", "edit", imported["profiles"][0].get<std::string>(), "--security", "none"});
    EXPECT_EQ(RunJson({"profiles", "show", imported["profiles"][0].get<std::string>()})["security_text"], "None");
}

TEST_F(WpaCliTest, AdHocCellIsStartedOnTheChosenChannel) {
    ExpectRefused({"connect", "--ssid", "Picnic", "--mode", "adhoc"}, 2, "--channel");
    const json joined = RunJson({"connect", "--ssid", "Picnic", "--mode", "adhoc", "--channel", "6"});
    EXPECT_EQ(joined["associated"], true);
    const json status = RunJson({"status"});
    EXPECT_EQ(status["ssid"], "Picnic");
    EXPECT_EQ(status["network_mode"], "Ad-Hoc");
    EXPECT_EQ(status["channel"], 6);
}

}  // namespace
}  // namespace wavory::test

namespace wavory::test {
namespace {

// A scanned ad-hoc cell is joined on its own channel (Deckhands is heard on channel 10).
TEST_F(WpaCliTest, ScannedAdHocCellIsJoinedOnItsChannel) {
    const json joined = RunJson({"connect", "--ssid", "Deckhands"});
    EXPECT_EQ(joined["associated"], true);
    EXPECT_EQ(RunJson({"status"})["channel"], 10);
}

}  // namespace
}  // namespace wavory::test
