// connect PROFILE (the Profiles page) and connect --ssid (the Available Networks dialog).
#include "CliFixture.h"
#include "kccl_sim.h"

namespace wavory::test {
namespace {

using nlohmann::json;

class ConnectCliTest : public CliTest {
protected:
    json Profiles() { return RunJson({"profiles", "list"})["profiles"]; }
};

TEST_F(ConnectCliTest, OpenNetworkIsJoinedAndSavedAsAutoSelectionProfile) {
    const json joined = RunJson({"connect", "--ssid", "Lighthouse"});
    EXPECT_EQ(joined["associated"], true);
    // A new network's profile is named after it.
    EXPECT_EQ(joined["profile"], "Lighthouse");
    EXPECT_EQ(joined["priority"], 0);
    EXPECT_EQ(joined["created"], true);

    const json profile = RunJson({"profiles", "show", "Lighthouse"});
    EXPECT_EQ(profile["ssid"], "Lighthouse");
    EXPECT_EQ(profile["mode"], "infrastructure");
    EXPECT_EQ(profile["security_text"], "None");
    EXPECT_EQ(profile["auto_select"], true);
    EXPECT_EQ(profile["channel"], 11);  // stored as the index of channel 11, not as 11
    EXPECT_EQ(RunJson({"status"})["ssid"], "Lighthouse");

    // Its row is the connected one now: Connect does nothing there.
    const json again = RunJson({"connect", "--ssid", "Lighthouse"});
    EXPECT_EQ(again["changed"], false);
    EXPECT_EQ(Profiles().size(), 1u);
}

TEST_F(ConnectCliTest, WepNetworkNeedsAValidKey) {
    NewProfile({"--name", "Light", "--ssid", "Lighthouse"});
    ExpectRefused({"connect", "--ssid", "Harbour"}, 2, "--key");
    ExpectRefused({"connect", "--ssid", "Harbour", "--key", "1A2B3C4D5G"}, 2, "hexadecimal digits only");
    ExpectRefused({"connect", "--ssid", "Harbour", "--key", "1A2B3C"}, 2, "10 hexadecimal digits");
    ExpectRefused({"connect", "--ssid", "Harbour", "--key-index", "2"}, 2, "--key");
    ExpectRefused({"connect", "--ssid", "Lighthouse", "--key", "1A2B3C4D5E"}, 2, "not secured");
    // A well-formed key the network does not accept: the adapter refuses it.
    ExpectRefused({"connect", "--ssid", "Harbour", "--key", "0123456789"}, 1,
                  "Could not connect to specified station");
    EXPECT_EQ(Profiles().size(), 1u);

    const json joined = RunJson({"connect", "--ssid", "Harbour", "--key", "1A2B3C4D5E", "--key-index", "3"});
    EXPECT_EQ(joined["associated"], true);
    EXPECT_EQ(joined["channel"], 1);
    const json saved = RunJson({"profiles", "show", joined["profile"].get<std::string>(), "--show-keys"});
    EXPECT_EQ(saved["security_text"], "WEP");
    EXPECT_EQ(saved["active_key"], 3);
    EXPECT_EQ(saved["keys"][2]["key"], "1A2B3C4D5E");
    EXPECT_EQ(saved["keys"][2]["bits"], 64);
}

TEST_F(ConnectCliTest, JoiningUsesTheProfileOfThatSsidAndKeepsIt) {
    NewProfile({"--name", "First", "--ssid", "Elsewhere", "--auto-select"});
    NewProfile({"--name", "Light", "--ssid", "Lighthouse", "--mode", "infrastructure", "--auto-select"});
    NewProfile({"--name", "Last", "--ssid", "Farther", "--auto-select"});
    const json joined = RunJson({"connect", "--ssid", "Lighthouse"});
    EXPECT_EQ(joined["profile"], "Light");
    EXPECT_EQ(joined["created"], false);
    EXPECT_EQ(joined["priority"], 1);

    const json list = Profiles();
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0]["name"], "First");
    EXPECT_EQ(list[1]["name"], "Light");
    EXPECT_EQ(list[2]["name"], "Last");
    EXPECT_EQ(list[2]["priority"], 2);
}

TEST_F(ConnectCliTest, WepNetworkWithAStoredKeyNeedsNoKeyAndKeepsTheProfilesKeys) {
    NewProfile({"--name", "Boat", "--ssid", "Harbour", "--security", "wep", "--key1", "0000000000", "--key2",
                "1A2B3C4D5E", "--key3", "0123456789ABCDEF0123456789", "--active-key", "2"});
    const json joined = RunJson({"connect", "--ssid", "Harbour"});
    EXPECT_EQ(joined["associated"], true);
    EXPECT_EQ(joined["profile"], "Boat");
    EXPECT_EQ(joined["created"], false);
    ASSERT_EQ(Profiles().size(), 1u);
    const json saved = RunJson({"profiles", "show", "Boat", "--show-keys"});
    EXPECT_EQ(saved["active_key"], 2);
    EXPECT_EQ(saved["keys"][0]["key"], "0000000000");
    EXPECT_EQ(saved["keys"][2]["bits"], 128);
    EXPECT_EQ(saved["auto_select"], true);  // joined networks are tried automatically
}

TEST_F(ConnectCliTest, UnknownTargetsFailAndChangeNothing) {
    NewProfile({"--name", "Light", "--ssid", "Lighthouse"});
    ExpectRefused({"connect", "Nowhere"}, 1, "no profile named \"Nowhere\"");
    ExpectRefused({"connect", "EditStation"}, 1, "no profile named");
    ExpectRefused({"connect", "--ssid", "Nowhere"}, 1, "no network \"Nowhere\"");
    ExpectRefused({"connect", "--ssid", "Lighthouse", "--channel", "6"}, 1, "on channel 6");
    ExpectRefused({"connect", "--ssid", std::string(33, 'x')}, 2, "1 to 32 bytes");
}

TEST_F(ConnectCliTest, ProfileConnectAppliesTheProfile) {
    NewProfile({"--name", "Wrong", "--ssid", "Harbour", "--mode", "infrastructure", "--security", "wep",
                "--key1", "0000000000"});
    ExpectRefused({"connect", "Wrong"}, 1, "Could not connect to profile. Verify profile parameters.");
    char state[65536];
    kccl_sim_state_json(state, sizeof state);
    EXPECT_EQ(json::parse(state)["associated"], false);

    // An ad-hoc profile joins the cell on its channel.
    NewProfile({"--name", "Deck", "--ssid", "Deckhands", "--mode", "adhoc", "--channel", "10"});
    const json joined = RunJson({"connect", "Deck"});
    EXPECT_EQ(joined["associated"], true);
    EXPECT_EQ(joined["profile"], "Deck");
    ASSERT_EQ(Run({"scan"}).code, 0);
    const json status = RunJson({"status"});
    EXPECT_EQ(status["network_mode"], "Ad-Hoc");
    EXPECT_EQ(status["channel"], 10);
    EXPECT_EQ(status["bssid"], "02-3E-91-5A-0C-77");  // the cell that was heard, not an own one
}

}  // namespace
}  // namespace wavory::test

namespace wavory::test {
namespace {

TEST_F(ConnectCliTest, HiddenNetworkIsJoinedByNameWithItsSecurity) {
    ASSERT_EQ(kccl_sim_put_network(R"({"ssid": "Backroom", "bssid": "00-1D-7E-11-22-77", "channel": 6,
        "hidden": true, "security": "wpa3", "passphrase": "under-the-stairs"})"),
              0);
    // Not in any scan by name: without --hidden it is not found.
    ExpectRefused({"connect", "--ssid", "Backroom", "--passphrase", "under-the-stairs"}, 1, "in range");
    ExpectRefused({"connect", "--ssid", "Backroom", "--security", "wpa3"}, 2, "--hidden");
    ExpectRefused({"connect", "--ssid", "Backroom", "--hidden", "--security", "wpa4"}, 2, "");
    // A hidden network is joined with a key or none; 802.1X options are refused before anything starts.
    ExpectRefused({"connect", "--ssid", "Backroom", "--hidden", "--eap", "peap", "--identity", "alice"}, 2,
                  "--hidden joins");
    ExpectRefused({"connect", "--ssid", "Backroom", "--hidden", "--security", "wpa3", "--passphrase",
                   "over-the-stairs"},
                  1, "passphrase was not accepted");
    EXPECT_TRUE(Profiles().empty());

    const json joined = RunJson({"connect", "--ssid", "Backroom", "--hidden", "--security", "wpa3",
                                 "--passphrase", "under-the-stairs"});
    EXPECT_EQ(joined["associated"], true);
    EXPECT_EQ(RunJson({"status"})["ssid"], "Backroom");
    const json saved = RunJson({"profiles", "show", joined["profile"].get<std::string>()});
    EXPECT_EQ(saved["ssid"], "Backroom");
    EXPECT_EQ(saved["security_text"], "WPA3-Personal");

    const json left = RunJson({"disconnect"});
    EXPECT_EQ(left["connected"], false);
}

}  // namespace
}  // namespace wavory::test
