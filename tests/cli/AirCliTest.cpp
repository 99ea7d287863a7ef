// Today's networks on the command line: frequency, band, generation, width, rates and the kind of
// security in scan and status, and the new security choices of profiles.
#include <algorithm>

#include "CliFixture.h"
#include "kccl_sim.h"

namespace wavory::test {
namespace {

using nlohmann::json;

class AirCliTest : public CliTest {
protected:
    static json Station(const json& scan, const std::string& ssid) {
        for (const auto& s : scan["stations"])
            if (s["ssid"] == ssid) return s;
        ADD_FAILURE() << ssid << " not listed";
        return json::object();
    }
};

TEST_F(AirCliTest, ScanEntriesTellFrequencyBandGenerationRateAndSecurity) {
    const json scan = RunJson({"scan", "--view", "ap"});
    const json six = Station(scan, "Marina-6E");
    EXPECT_EQ(six["channel"], 5);
    EXPECT_EQ(six["frequency_mhz"], 5975);
    EXPECT_EQ(six["band"], "6 GHz");
    EXPECT_EQ(six["generation"], "Wi-Fi 6E");
    EXPECT_EQ(six["standard"], "802.11ax");
    EXPECT_EQ(six["channel_width_mhz"], 80);
    EXPECT_EQ(six["rate_mbps"], 1201);
    EXPECT_EQ(six["security"], "wpa3");
    EXPECT_EQ(six["security_text"], "WPA3-Personal");
    EXPECT_TRUE(six["tx_rate_mbps"].is_null());  // not connected

    const json old = Station(scan, "Lighthouse");
    EXPECT_EQ(old["band"], "2.4 GHz");
    EXPECT_EQ(old["generation"], "802.11b");
    EXPECT_EQ(old["rate_mbps"], 11);
    EXPECT_EQ(old["security"], "open");
    EXPECT_EQ(Station(scan, "Chandlery")["rate_mbps"], 1300);
    EXPECT_EQ(Station(scan, "Harbour Guest")["rate_mbps"], 573.5);  // HE MCS 11, two streams, 40 MHz
    EXPECT_EQ(Station(scan, "Harbour Guest")["security"], "owe");
    EXPECT_EQ(Station(scan, "Port Authority")["security"], "wpa2-enterprise");
    EXPECT_EQ(Station(scan, "Ferry Terminal")["security"], "wpa2-wpa3");

    const std::string text = Run({"scan", "--view", "ap", "--sort", "ssid"}).out;
    EXPECT_NE(text.find("5 (6 GHz)"), std::string::npos);
    EXPECT_NE(text.find("1201 Mbps"), std::string::npos);
    EXPECT_NE(text.find("WPA2-Enterprise"), std::string::npos);
}

TEST_F(AirCliTest, StatusOfAFiveGigahertzWifi6Connection) {
    RunJson({"connect", "--ssid", "Marina", "--passphrase", "moorings-at-high-tide"});
    const json status = RunJson({"status"});
    EXPECT_EQ(status["channel_text"], "36 / 5.180 GHz - Wi-Fi 6 (802.11ax)");
    EXPECT_EQ(status["frequency_mhz"], 5180);
    EXPECT_EQ(status["band"], "5 GHz");
    EXPECT_EQ(status["generation"], "Wi-Fi 6");
    EXPECT_EQ(status["standard"], "802.11ax");
    EXPECT_EQ(status["phy"], "802.11ax");
    EXPECT_EQ(status["channel_width_mhz"], 80);
    EXPECT_EQ(status["max_rate"], "1201 Mbps");
    EXPECT_EQ(status["tx_rate_mbps"], 1201);
    EXPECT_EQ(status["rx_rate_mbps"], 1201);
    EXPECT_EQ(status["network_rate_mbps"], 1201);
    EXPECT_EQ(status["security"], "wpa2");
    EXPECT_EQ(status["security_text"], "WPA2-Personal");

    // The rates move with the signal.
    ASSERT_EQ(kccl_sim_set_signal("3C-84-6A-51-0E-24", -72), 0);
    const json weaker = RunJson({"status"});
    EXPECT_LT(weaker["tx_rate_mbps"].get<double>(), 1201.0);
    EXPECT_EQ(weaker["max_rate_mbps"], 1201);

    const json scan = RunJson({"scan", "--view", "ap"});
    const json marina = Station(scan, "Marina");
    EXPECT_EQ(marina["connected"], true);
    EXPECT_FALSE(marina["tx_rate_mbps"].is_null());
}

TEST_F(AirCliTest, TransitionNetworkIsJoinedAsWpa3AndSixGigahertzAsItself) {
    RunJson({"connect", "--ssid", "Ferry Terminal", "--passphrase", "all-aboard-at-nine"});
    json status = RunJson({"status"});
    EXPECT_EQ(status["security"], "wpa3");
    EXPECT_EQ(status["generation"], "Wi-Fi 4");

    RunJson({"connect", "--ssid", "Marina-6E", "--passphrase", "moorings-at-high-tide"});
    status = RunJson({"status"});
    EXPECT_EQ(status["channel_text"], "5 / 5.975 GHz (6 GHz band) - Wi-Fi 6E");
    EXPECT_EQ(status["band"], "6 GHz");
    EXPECT_EQ(status["generation"], "Wi-Fi 6E");
}

TEST_F(AirCliTest, ProfilesTakeEnhancedOpenAndTheTransitionMode) {
    RunJson({"profiles", "new", "--name", "Guest", "--ssid", "Harbour Guest", "--mode", "infrastructure",
             "--security", "owe"});
    EXPECT_EQ(RunJson({"profiles", "show", "Guest"})["security_text"], "Enhanced Open");
    ExpectRefused({"profiles", "new", "--name", "G2", "--ssid", "Harbour Guest", "--security", "owe",
                   "--passphrase", "moorings-at-high-tide"},
                  2, "takes no passphrase");
    ExpectRefused(
        {"profiles", "new", "--name", "Ferry", "--ssid", "Ferry Terminal", "--security", "wpa2-wpa3"}, 2,
        "passphrase");
    RunJson({"profiles", "new", "--name", "Ferry", "--ssid", "Ferry Terminal", "--mode", "infrastructure",
             "--security", "wpa2-wpa3", "--passphrase", "all-aboard-at-nine"});
    const json list = RunJson({"profiles", "list"});
    std::string ferrySecurity;
    for (const auto& p : list["profiles"])
        if (p["name"] == "Ferry") ferrySecurity = p["security_text"];
    EXPECT_EQ(ferrySecurity, "WPA2/WPA3-Personal");
    // The profile joins its network.
    EXPECT_EQ(RunJson({"connect", "Ferry"})["associated"], true);
    EXPECT_EQ(RunJson({"status"})["security"], "wpa3");
}

}  // namespace
}  // namespace wavory::test
