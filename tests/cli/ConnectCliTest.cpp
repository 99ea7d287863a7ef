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

namespace wavory::test {
namespace {

json AdapterState() {
    std::string buf(1 << 17, '\0');
    kccl_sim_state_json(buf.data(), buf.size());
    return json::parse(buf.c_str());
}

int AdapterRequests() {
    KCCL_SIM_LOG_ENTRY log[8];
    return kccl_sim_get_log(log, 8);
}

// connect --ssid takes the network options of profiles new, refused with the same words before the
// adapter is asked anything; connect PROFILE leaves them to the profile.
TEST_F(ConnectCliTest, NetworkOptionsOfAJoinByNameAreRefusedBeforeTheAdapterIsAsked) {
    NewProfile({"--name", "Light", "--ssid", "Lighthouse"});
    ASSERT_EQ(kccl_sim_clear_log(), 0);
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"--ipv4", "224.0.0.5/24"}, "no host's address"},
        {{"--ipv4", "192.0.2.10/24", "--gateway", "gateway.example"}, "not an address"},
        {{"--gateway6", "2001:db8::zz"}, "IPv6Gateway"},
        {{"--dns", "192.0.2.53,dns.example"}, "dns.example"},
        {{"--pin-bssid", "01:00:5e:00:00:01"}, "group"},
        {{"--pin-bssid", "00:0f:b5:44:7c"}, "not a BSSID"},
        {{"--band-floor", "-96"}, "BandFloor"},
        {{"--prefer-band", "6ghz"}, "--prefer-band"},
        {{"--mac", "vendor"}, "--mac"},
        {{"--channel", "11", "--pin-bssid", "00:0f:b5:44:7c:20"}, "both choose the access point"},
    };
    for (const auto& [options, needle] : cases) {
        std::vector<std::string> args = {"connect", "--ssid", "Lighthouse"};
        args.insert(args.end(), options.begin(), options.end());
        ExpectRefused(args, 2, needle);
    }
    ExpectRefused({"connect", "Light", "--mac", "stable"}, 2, "profiles edit");
    ExpectRefused({"connect", "Light", "--pin-bssid", "00:0f:b5:44:7c:20"}, 2, "profiles edit");
    EXPECT_EQ(AdapterRequests(), 0);

    // A gateway alone depends on the profile: the network's has no fixed address to go with it.
    ExpectRefused({"connect", "--ssid", "Lighthouse", "--gateway", "192.0.2.1"}, 2, "needs a fixed address");
    EXPECT_EQ(AdapterState()["associated"], false);
}

TEST_F(ConnectCliTest, AJoinByNameSendsItsNetworkSettingsAndTheSavedProfileKeepsThem) {
    const json joined =
        RunJson({"connect", "--ssid", "Lighthouse", "--mac", "stable", "--metered", "yes", "--ipv4",
                 "192.0.2.10/24", "--gateway", "192.0.2.1", "--prefer-band", "5ghz"});
    EXPECT_EQ(joined["created"], true);
    const json status = RunJson({"status"});
    EXPECT_EQ(status["mac_random"], true);
    const std::string stable = status["mac_address"];
    const json net = AdapterState()["active_net"];
    EXPECT_EQ(net["metered"], true);
    EXPECT_EQ(net["ipv4"], "192.0.2.10/24");
    EXPECT_EQ(net["gateway4"], "192.0.2.1");
    EXPECT_EQ(net["prefer_high_band"], true);

    const json saved = RunJson({"profiles", "show", "Lighthouse"});
    EXPECT_EQ(saved["mac_address"], "stable");
    EXPECT_EQ(saved["metered"], true);
    EXPECT_EQ(saved["ipv4_gateway"], "192.0.2.1");
    EXPECT_EQ(saved["prefer_band"], "5ghz");
    // The profile joins with the same made-up address again.
    RunJson({"disconnect"});
    RunJson({"connect", "Lighthouse"});
    EXPECT_EQ(RunJson({"status"})["mac_address"], stable);

    // On the network already, options join it again; a stored profile takes them on top of its own,
    // and a gateway alone now goes with the profile's address.
    const json again =
        RunJson({"connect", "--ssid", "Lighthouse", "--metered", "no", "--gateway", "192.0.2.254"});
    EXPECT_EQ(again["changed"], true);
    EXPECT_EQ(again["created"], false);
    const json edited = RunJson({"profiles", "show", "Lighthouse"});
    EXPECT_EQ(edited["metered"], false);
    EXPECT_EQ(edited["ipv4_address"], "192.0.2.10/24");
    EXPECT_EQ(edited["ipv4_gateway"], "192.0.2.254");
    EXPECT_EQ(edited["mac_address"], "stable");
    EXPECT_EQ(AdapterState()["active_net"]["gateway4"], "192.0.2.254");
}

TEST_F(ConnectCliTest, APinnedJoinByNameTakesThatAccessPointOrFailsNamingIt) {
    const SRun failed =
        Run({"connect", "--ssid", "Lighthouse", "--pin-bssid", "00:0F:B5:44:7C:2F", "--json"});
    EXPECT_EQ(failed.code, 1);
    EXPECT_EQ(json::parse(failed.out)["reason"], "not_found") << failed.out;
    const SRun text = Run({"connect", "--ssid", "Lighthouse", "--pin-bssid", "00:0f:b5:44:7c:2f"});
    EXPECT_NE(text.err.find("pinned to, 00:0f:b5:44:7c:2f, is not in range"), std::string::npos) << text.err;
    // A failed join stores nothing.
    EXPECT_TRUE(Profiles().empty());

    const json joined = RunJson({"connect", "--ssid", "Lighthouse", "--pin-bssid", "00-0F-B5-44-7C-20"});
    EXPECT_EQ(joined["bssid"], "00-0F-B5-44-7C-20");
    EXPECT_EQ(AdapterState()["active_net"]["pin"], "00-0F-B5-44-7C-20");
    EXPECT_EQ(RunJson({"profiles", "show", "Lighthouse"})["pinned_bssid"], "00:0f:b5:44:7c:20");
}

}  // namespace
}  // namespace wavory::test
