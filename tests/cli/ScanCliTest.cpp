// scan: the two views, the dialog's sort, and SSIDs that are not text.
#include <algorithm>
#include <set>
#include <sstream>

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
    // Channels sort as numbers, by frequency: 2.4 GHz, then 5 GHz, then 6 GHz channel 5.
    EXPECT_EQ(Field(scan, "channel"), (std::vector<std::string>{"1", "3", "6", "6", "9", "10", "11", "36", "36",
                                                                "52", "64", "149", "149", "5"}));
    const auto deckhands = std::find_if(scan["stations"].begin(), scan["stations"].end(),
                                        [](const json& s) { return s["ssid"] == "Deckhands"; });
    ASSERT_NE(deckhands, scan["stations"].end());
    EXPECT_EQ((*deckhands)["mode"], "adhoc");
    EXPECT_EQ((*deckhands)["mode_text"], "Ad-Hoc");
    EXPECT_EQ((*deckhands)["rate_mbps"], 11);
    EXPECT_EQ((*deckhands)["bssid"], "02-3E-91-5A-0C-77");

    const SRun text = Run({"scan", "--view", "ap"});
    EXPECT_NE(text.out.find("MAC"), std::string::npos);
    EXPECT_EQ(Run({"scan", "--view", "network"}).out.find("MAC"), std::string::npos);
}

TEST_F(ScanCliTest, ChannelsShowEachBandsAccessPointsAndTheConnectionsChannel) {
    ASSERT_EQ(RunJson({"connect", "--ssid", "Lighthouse"})["associated"], true);
    const json air = RunJson({"scan", "--channels"});
    std::vector<std::string> bands;
    std::size_t accessPoints = 0;
    int own = 0;
    for (const json& band : air["bands"]) {
        bands.push_back(band["band"]);
        int previous = 0;
        for (const json& channel : band["channels"]) {
            EXPECT_GT(channel["frequency_mhz"].get<int>(), previous);  // by frequency
            previous = channel["frequency_mhz"];
            accessPoints += channel["networks"].size();
            // Everyone on the channel shares it, and maybe others from beside it.
            EXPECT_GE(channel["sharing"].get<std::size_t>(), channel["networks"].size());
            if (channel["own"] == true) ++own;
            for (const json& ap : channel["networks"]) {
                if (ap["connected"] == true) {
                    EXPECT_EQ(ap["ssid"], "Lighthouse");
                }
            }
        }
    }
    EXPECT_EQ(bands, (std::vector<std::string>{"2.4 GHz", "5 GHz", "6 GHz"}));
    EXPECT_EQ(accessPoints, 12u);  // the access points of the list; the two ad-hoc cells have no place here
    // Lighthouse on channel 11: its own channel and channel 9 beside it (2.4 GHz channels overlap).
    EXPECT_EQ(own, 2);
    const SRun text = Run({"scan", "--channels"});
    EXPECT_NE(text.out.find("* channel 11 (2462 MHz)"), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("Lighthouse  (connected)"), std::string::npos) << text.out;
}

TEST_F(ScanCliTest, WatchPrintsARoundPerScanWithEachAccessPointsSignal) {
    ASSERT_EQ(RunJson({"connect", "--ssid", "Lighthouse"})["associated"], true);
    const SRun run = Run({"scan", "--watch", "--json", "--count", "2", "--interval", "2"});
    ASSERT_EQ(run.code, 0) << run.err;
    std::istringstream lines(run.out);
    std::vector<json> rounds;
    for (std::string line; std::getline(lines, line);) rounds.push_back(json::parse(line));
    ASSERT_EQ(rounds.size(), 2u) << run.out;
    for (std::size_t i = 0; i < rounds.size(); ++i) {
        EXPECT_EQ(rounds[i]["sequence"], i + 1);
        EXPECT_EQ(rounds[i]["stations"].size(), 14u);
        int connected = 0;
        for (const json& ap : rounds[i]["stations"]) {
            EXPECT_TRUE(ap["signal_dbm"].is_number());
            if (ap["connected"] == true) {
                ++connected;
                EXPECT_EQ(ap["ssid"], "Lighthouse");
            }
        }
        EXPECT_EQ(connected, 1);
    }
    const SRun bad = Run({"scan", "--watch", "--interval", "1"});
    EXPECT_EQ(bad.code, 2);
}

TEST_F(ScanCliTest, TextColumnsSortAsTextAndNumericColumnsAsNumbers) {
    const auto ssids = Field(RunJson({"scan", "--view", "ap", "--sort", "ssid"}), "ssid_hex");
    EXPECT_TRUE(std::is_sorted(ssids.begin(), ssids.end()));
    const auto reversed = Field(RunJson({"scan", "--view", "ap", "--sort", "ssid", "--reverse"}), "ssid_hex");
    EXPECT_TRUE(std::is_sorted(reversed.rbegin(), reversed.rend()));
    EXPECT_EQ(std::set<std::string>(ssids.begin(), ssids.end()).size(), 13u);

    // Link quality: the strongest first, in percent and in dBm alike ("100%" is not before "12%").
    auto signals = [this](std::vector<std::string> args) {
        args.insert(args.begin(), "scan");
        std::vector<int> dbm;
        const json scan = RunJson(args);
        for (const auto& station : scan["stations"]) dbm.push_back(station["signal_dbm"]);
        return dbm;
    };
    for (const char* units : {"percent", "dbm"}) {
        ASSERT_EQ(Run({"prefs", "set", "--units", units}).code, 0);
        const auto strongest = signals({"--view", "ap"});
        ASSERT_EQ(strongest.size(), 14u);
        EXPECT_TRUE(std::is_sorted(strongest.rbegin(), strongest.rend())) << units;
        EXPECT_EQ(strongest.front(), -52);
        const auto weakest = signals({"--view", "ap", "--reverse"});
        EXPECT_TRUE(std::is_sorted(weakest.begin(), weakest.end())) << units;
    }
    // The table shows the same order.
    ASSERT_EQ(Run({"prefs", "set", "--units", "percent"}).code, 0);
    const SRun text = Run({"scan", "--view", "network"});
    std::vector<int> shown;
    for (std::size_t at = text.out.find('\n'); at != std::string::npos && at + 1 < text.out.size();
         at = text.out.find('\n', at + 1))
        shown.push_back(std::stoi(text.out.substr(at + 1)));
    ASSERT_EQ(shown.size(), 13u) << text.out;
    EXPECT_TRUE(std::is_sorted(shown.rbegin(), shown.rend())) << text.out;

    // Rates by speed: 11 before 54 before 144.4 before 1201.
    std::vector<double> rates;
    const json byRate = RunJson({"scan", "--view", "ap", "--sort", "rate"});
    for (const auto& station : byRate["stations"])
        rates.push_back(station["max_rate_mbps"].is_number() ? station["max_rate_mbps"].get<double>() : 0.0);
    EXPECT_TRUE(std::is_sorted(rates.begin(), rates.end()));
    EXPECT_GT(rates.back(), 1000.0);
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
