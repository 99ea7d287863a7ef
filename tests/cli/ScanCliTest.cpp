// scan: the two views, the dialog's sort, and SSIDs that are not text.
#include <algorithm>
#include <set>

#include "CliFixture.h"
#include "kccl_sim.h"

namespace wavory::test {
namespace {

using nlohmann::json;

class ScanCliTest : public CliTest {};

std::vector<std::string> Field(const json& scan, const char* name) {
    std::vector<std::string> values;
    for (const auto& station : scan["stations"])
        values.push_back(station[name].is_string() ? station[name].get<std::string>() : station[name].dump());
    return values;
}

TEST_F(ScanCliTest, NetworkViewKeepsTheStrongestAccessPointOfEachName) {
    const json scan = RunJson({"scan", "--view", "network"});
    EXPECT_EQ(scan["view"], "network");
    EXPECT_EQ(scan["scanning"], false);
    const auto ssids = Field(scan, "ssid");
    EXPECT_EQ(std::set<std::string>(ssids.begin(), ssids.end()),
              (std::set<std::string>{"Harbour", "Lighthouse", "Quayside-5G", "Boatyard", "Caf\u00e9 Anchor",
                                     "Deckhands", "GameRoom", "Marina", "Chandlery", "Marina-6E", "Ferry Terminal",
                                     "Harbour Guest", "Port Authority"}));
    EXPECT_EQ(ssids.size(), 13u);
    for (const auto& station : scan["stations"]) {
        if (station["ssid"] != "Harbour") continue;
        EXPECT_EQ(station["channel"], 1);  // -58 dBm on channel 1 beats -71 dBm on channel 6
        EXPECT_EQ(station["signal_dbm"], -58);
        EXPECT_EQ(station["security"], "wep");
        EXPECT_EQ(station["security_text"], "WEP");
    }
}

TEST_F(ScanCliTest, AccessPointViewListsEveryAccessPoint) {
    const json scan = RunJson({"scan", "--view", "ap", "--sort", "channel"});
    EXPECT_EQ(scan["view"], "ap");
    ASSERT_EQ(scan["stations"].size(), 14u);
    // The dialog sorts the texts of a column, so channel "10" comes before "3", and 6 GHz channel 5
    // ("5 (6 GHz)") after 2.4 GHz channel 3.
    EXPECT_EQ(Field(scan, "channel"), (std::vector<std::string>{"1", "10", "11", "149", "149", "3", "36", "36",
                                                                "5", "52", "6", "6", "64", "9"}));
    const auto deckhands = std::find_if(scan["stations"].begin(), scan["stations"].end(),
                                        [](const json& s) { return s["ssid"] == "Deckhands"; });
    ASSERT_NE(deckhands, scan["stations"].end());
    EXPECT_EQ((*deckhands)["mode"], "Ad-Hoc");
    EXPECT_EQ((*deckhands)["rate_mbps"], 11);
    EXPECT_EQ((*deckhands)["bssid"], "02-3E-91-5A-0C-77");

    const SRun text = Run({"scan", "--view", "ap"});
    EXPECT_NE(text.out.find("MAC"), std::string::npos);
    EXPECT_EQ(Run({"scan", "--view", "network"}).out.find("MAC"), std::string::npos);
}

TEST_F(ScanCliTest, SortsByTextAscendingOrReversed) {
    const auto ssids = Field(RunJson({"scan", "--view", "ap", "--sort", "ssid"}), "ssid_hex");
    EXPECT_TRUE(std::is_sorted(ssids.begin(), ssids.end()));
    const auto reversed = Field(RunJson({"scan", "--view", "ap", "--sort", "ssid", "--reverse"}), "ssid_hex");
    EXPECT_TRUE(std::is_sorted(reversed.rbegin(), reversed.rend()));
    EXPECT_EQ(std::set<std::string>(ssids.begin(), ssids.end()).size(), 13u);

    // Link quality sorts by its text: in dBm "-58dBm" (strong) comes before "-87dBm" (weak).
    ASSERT_EQ(Run({"prefs", "set", "--units", "dbm"}).code, 0);
    const auto quality = Field(RunJson({"scan", "--view", "ap"}), "link_quality");
    EXPECT_EQ(quality.front(), "-52dBm");
    EXPECT_EQ(quality.back(), "-87dBm");
    EXPECT_TRUE(std::is_sorted(quality.begin(), quality.end()));
}

TEST_F(ScanCliTest, ViewDefaultsToTheStoredPreferenceWithoutChangingIt) {
    EXPECT_EQ(RunJson({"scan"})["view"], "ap");
    ASSERT_EQ(Run({"prefs", "set", "--view", "network"}).code, 0);
    EXPECT_EQ(RunJson({"scan"})["stations"].size(), 13u);
    EXPECT_EQ(RunJson({"scan", "--view", "ap"})["stations"].size(), 14u);
    EXPECT_EQ(RunJson({"prefs", "get", "view"})["view"], "network");
}

TEST_F(ScanCliTest, SsidsThatAreNotTextStayExact) {
    // W, a byte that is no UTF-8, a line feed, A.
    ASSERT_EQ(kccl_sim_put_network(R"({"ssid_hex": "57ff0a41", "bssid": "00-11-22-33-44-55", "channel": 4,
                                      "phy": 2, "mode": "infrastructure", "signal_dbm": -60})"),
              0);
    const json scan = RunJson({"scan", "--view", "ap"});
    const auto odd = std::find_if(scan["stations"].begin(), scan["stations"].end(),
                                  [](const json& s) { return s["bssid"] == "00-11-22-33-44-55"; });
    ASSERT_NE(odd, scan["stations"].end());
    EXPECT_EQ((*odd)["ssid_hex"], "57ff0a41");
    EXPECT_EQ((*odd)["ssid"], "W\uFFFD\nA");

    // On a terminal the odd bytes are spelled out, and the row stays one line.
    const SRun text = Run({"scan", "--view", "ap"});
    EXPECT_NE(text.out.find("W\\xff\\x0aA"), std::string::npos) << text.out;

    // The exact bytes join it.
    const json joined = RunJson({"connect", "--ssid-hex", "57ff0a41"});
    EXPECT_EQ(joined["ssid_hex"], "57ff0a41");
    EXPECT_EQ(joined["associated"], true);
    EXPECT_EQ(RunJson({"status"})["ssid_hex"], "57ff0a41");
}

TEST_F(ScanCliTest, NoWaitListsThePreviousResults) {
    // A fresh adapter has no list yet; a finished scan leaves one.
    const json first = RunJson({"scan", "--no-wait"});
    EXPECT_EQ(first["scanning"], true);
    EXPECT_TRUE(first["stations"].empty());
    ASSERT_EQ(RunJson({"scan"})["stations"].size(), 14u);
    EXPECT_EQ(RunJson({"scan", "--no-wait"})["stations"].size(), 14u);
}

}  // namespace
}  // namespace wavory::test
