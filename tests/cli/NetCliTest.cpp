// A network's own settings on the command line: the hardware address a profile joins with (as the
// adapter then uses it), metered, fixed addresses and name servers, their refusals, and their way
// through export and import.
#include <algorithm>
#include <fstream>

#include "CliFixture.h"
#include "kccl_sim.h"

namespace wavory::test {
namespace {

using nlohmann::json;

json SimState() {
    std::string buf(1 << 17, '\0');
    kccl_sim_state_json(buf.data(), buf.size());
    return json::parse(buf.c_str());
}

// A locally administered unicast address: what a made-up address must be.
bool IsLocalUnicast(const std::string& mac) {
    const unsigned first = std::stoul(mac.substr(0, 2), nullptr, 16);
    return (first & 0x02) != 0 && (first & 0x01) == 0;
}

class NetCliTest : public CliTest {
protected:
    std::string OwnAddress() { return SimState()["adapter"]["mac"].get<std::string>(); }
    // The address the adapter uses after joining the profile, as status tells it.
    json JoinAndStatus(const std::string& profile) {
        EXPECT_EQ(RunJson({"connect", profile})["associated"], true);
        return RunJson({"status"});
    }
    static std::string Lower(std::string s) {
        for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return s;
    }
    static std::string Colons(std::string s) {
        for (char& c : s)
            if (c == '-') c = ':';
        return Lower(s);
    }
};

TEST_F(NetCliTest, AStableAddressIsTheSameAtEachJoinAndDiffersPerNetwork) {
    NewProfile({"--name", "Light", "--ssid", "Lighthouse", "--mode", "infrastructure", "--mac", "stable"});
    NewProfile({"--name", "Yard", "--ssid", "Boatyard", "--mode", "infrastructure", "--mac", "stable"});
    const std::string own = Colons(OwnAddress());

    const json first = JoinAndStatus("Light");
    const std::string light = first["mac_address"];
    EXPECT_EQ(first["mac_random"], true);
    EXPECT_NE(light, own);
    EXPECT_TRUE(IsLocalUnicast(light)) << light;

    const std::string yard = JoinAndStatus("Yard")["mac_address"];
    EXPECT_NE(yard, light);
    EXPECT_TRUE(IsLocalUnicast(yard)) << yard;
    EXPECT_EQ(JoinAndStatus("Light")["mac_address"], light);

    // Leaving gives the adapter its own address back.
    RunJson({"disconnect"});
    const json after = RunJson({"status"});
    EXPECT_EQ(after["mac_address"], own);
    EXPECT_EQ(after["mac_random"], false);
}

TEST_F(NetCliTest, ARandomAddressIsNewAtEachJoinAndTheDeviceChoiceUsesTheOwnOne) {
    NewProfile({"--name", "Light", "--ssid", "Lighthouse", "--mode", "infrastructure", "--mac", "random"});
    NewProfile({"--name", "Yard", "--ssid", "Boatyard", "--mode", "infrastructure", "--mac", "device"});
    const std::string a = JoinAndStatus("Light")["mac_address"];
    const std::string b = JoinAndStatus("Light")["mac_address"];
    EXPECT_NE(a, b);
    EXPECT_TRUE(IsLocalUnicast(a) && IsLocalUnicast(b)) << a << " " << b;
    const json device = JoinAndStatus("Yard");
    EXPECT_EQ(device["mac_address"], Colons(OwnAddress()));
    EXPECT_EQ(device["mac_random"], false);
}

TEST_F(NetCliTest, AProfileLeftToThePreferencesTakesTheirChoice) {
    NewProfile({"--name", "Light", "--ssid", "Lighthouse", "--mode", "infrastructure"});
    EXPECT_EQ(RunJson({"profiles", "show", "Light"})["mac_address"], "default");
    EXPECT_EQ(JoinAndStatus("Light")["mac_random"], false);
    RunJson({"prefs", "set", "--mac-address", "random"});
    EXPECT_EQ(RunJson({"prefs", "get", "mac-address"})["mac_address"], "random");
    EXPECT_EQ(RunJson({"profiles", "show", "Light"})["mac_address_in_effect"], "random");
    EXPECT_EQ(JoinAndStatus("Light")["mac_random"], true);
}

TEST_F(NetCliTest, MeteredAndFixedAddressesAreKeptShownAndSentWithTheJoin) {
    NewProfile({"--name", "Light", "--ssid", "Lighthouse", "--mode", "infrastructure", "--metered", "yes",
                "--ipv4", "192.0.2.10/24", "--gateway", "192.0.2.1", "--ipv6", "2001:db8::10/64", "--dns",
                "192.0.2.53,2001:db8::53", "--dns", "198.51.100.53"});
    const json shown = RunJson({"profiles", "show", "Light"});
    EXPECT_EQ(shown["metered"], true);
    EXPECT_EQ(shown["ipv4_address"], "192.0.2.10/24");
    EXPECT_EQ(shown["ipv4_gateway"], "192.0.2.1");
    EXPECT_EQ(shown["ipv6_address"], "2001:db8::10/64");
    EXPECT_EQ(shown["ipv6_gateway"], nullptr);
    EXPECT_EQ(shown["dns"], json::array({"192.0.2.53", "2001:db8::53", "198.51.100.53"}));
    EXPECT_NE(Run({"profiles", "show", "Light"}).out.find("192.0.2.10/24, gateway 192.0.2.1"),
              std::string::npos);

    RunJson({"connect", "Light"});
    const json net = SimState()["active_net"];
    EXPECT_EQ(net["metered"], true);
    EXPECT_EQ(net["ipv4"], "192.0.2.10/24");
    EXPECT_EQ(net["gateway4"], "192.0.2.1");
    EXPECT_EQ(net["dns"], "192.0.2.53 2001:db8::53 198.51.100.53");

    // An empty value clears a setting; the gateway goes with its address.
    RunJson({"profiles", "edit", "Light", "--ipv4", "", "--metered", "no", "--dns", ""});
    const json cleared = RunJson({"profiles", "show", "Light"});
    EXPECT_EQ(cleared["ipv4_address"], nullptr);
    EXPECT_EQ(cleared["ipv4_gateway"], nullptr);
    EXPECT_EQ(cleared["metered"], false);
    EXPECT_EQ(cleared["dns"], json::array());
    EXPECT_EQ(cleared["ipv6_address"], "2001:db8::10/64");
}

TEST_F(NetCliTest, AddressesThatNoHostCanHaveAreRefusedWithTheReason) {
    NewProfile({"--name", "Light", "--ssid", "Lighthouse"});
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"--ipv4", "224.0.0.5/24"}, "no host's address"},
        {{"--ipv4", "0.0.0.0/8"}, "no host's address"},
        {{"--ipv4", "192.0.2.10"}, "prefix length"},
        {{"--ipv4", "192.0.2.10/33"}, "prefix length"},
        {{"--ipv4", "2001:db8::1/64"}, "IPv4Address"},
        {{"--ipv6", "ff02::1/64"}, "no host's address"},
        {{"--ipv6", "2001:db8::1/129"}, "prefix length"},
        {{"--gateway", "192.0.2.1"}, "needs a fixed address"},
        {{"--ipv4", "192.0.2.10/24", "--gateway", "gateway.example"}, "not an address"},
        {{"--dns", "192.0.2.53,dns.example"}, "dns.example"},
        {{"--dns", "255.255.255.255"}, "no host's address"},
    };
    for (const auto& [options, needle] : cases) {
        std::vector<std::string> args = {"profiles", "edit", "Light"};
        args.insert(args.end(), options.begin(), options.end());
        ExpectRefused(args, 2, needle);
    }
    ExpectRefused({"profiles", "edit", "Light", "--mac", "vendor"}, 2, "--mac");
}

// The band preference and the pin: kept, shown, sent with the join, refused where unusable; a pin
// not in range fails the join with the reason rather than joining another access point.
TEST_F(NetCliTest, TheBandPreferenceAndThePinAreKeptSentAndAPinOutOfRangeFailsTheJoin) {
    NewProfile({"--name", "Light", "--ssid", "Lighthouse", "--mode", "infrastructure", "--prefer-band",
                "5ghz", "--band-floor", "-72", "--pin-bssid", "00-0F-B5-44-7C-20"});
    const json shown = RunJson({"profiles", "show", "Light"});
    EXPECT_EQ(shown["prefer_band"], "5ghz");
    EXPECT_EQ(shown["band_floor_dbm"], -72);
    EXPECT_EQ(shown["pinned_bssid"], "00:0f:b5:44:7c:20");
    EXPECT_NE(Run({"profiles", "show", "Light"})
                  .out.find("stays on 00:0f:b5:44:7c:20; prefers 5/6 GHz unless below -72 dBm"),
              std::string::npos);

    EXPECT_EQ(RunJson({"connect", "Light"})["associated"], true);
    // The history's join says where it joined: the pinned access point and its band.
    const json history = RunJson({"history", "--network", "Lighthouse"});
    const auto join = std::find_if(history["events"].begin(), history["events"].end(),
                                   [](const json& e) { return e["kind"] == "join"; });
    ASSERT_NE(join, history["events"].end()) << history.dump();
    EXPECT_EQ((*join)["bssid"], "00-0F-B5-44-7C-20") << join->dump();
    EXPECT_EQ((*join)["band"], "2.4 GHz") << join->dump();
    const json net = SimState()["active_net"];
    EXPECT_EQ(net["pin"], "00-0F-B5-44-7C-20");
    EXPECT_EQ(net["prefer_high_band"], true);
    EXPECT_EQ(net["band_floor_dbm"], -72);

    for (const auto& [options, needle] : std::vector<std::pair<std::vector<std::string>, std::string>>{
             {{"--pin-bssid", "01:00:5e:00:00:01"}, "group"},
             {{"--pin-bssid", "00:00:00:00:00:00"}, "all-zero"},
             {{"--pin-bssid", "00:0f:b5:44:7c"}, "not a BSSID"},
             {{"--band-floor", "-29"}, "BandFloor"},
             {{"--band-floor", "-96"}, "BandFloor"},
             {{"--prefer-band", "6ghz"}, "--prefer-band"}}) {
        std::vector<std::string> args = {"profiles", "edit", "Light"};
        args.insert(args.end(), options.begin(), options.end());
        ExpectRefused(args, 2, needle);
    }

    // Pinned to an access point of the network that is not in range: the join fails, naming it.
    RunJson({"profiles", "edit", "Light", "--pin-bssid", "00:0f:b5:44:7c:2f"});
    const SRun failed = Run({"connect", "Light", "--json"});
    EXPECT_NE(failed.code, 0);
    EXPECT_EQ(json::parse(failed.out)["reason"], "not_found") << failed.out;
    const SRun text = Run({"connect", "Light"});
    EXPECT_NE(text.err.find("pinned to, 00:0f:b5:44:7c:2f, is not in range"), std::string::npos) << text.err;

    RunJson({"profiles", "edit", "Light", "--pin-bssid", "", "--prefer-band", "any"});
    const json cleared = RunJson({"profiles", "show", "Light"});
    EXPECT_EQ(cleared["pinned_bssid"], nullptr);
    EXPECT_EQ(cleared["prefer_band"], "any");
}

// status names how the profile in use chose the access point, only where it had a choice.
TEST_F(NetCliTest, StatusSaysHowTheProfileInUseChoseTheAccessPoint) {
    NewProfile({"--name", "Light", "--ssid", "Lighthouse", "--mode", "infrastructure", "--prefer-band",
                "5ghz", "--band-floor", "-72", "--pin-bssid", "00:0f:b5:44:7c:20"});
    NewProfile({"--name", "Yard", "--ssid", "Boatyard", "--mode", "infrastructure"});
    EXPECT_EQ(RunJson({"status"})["access_point_choice"], nullptr);  // not connected

    const json pinned = JoinAndStatus("Light");
    EXPECT_EQ(pinned["access_point_choice"],
              "stays on 00:0f:b5:44:7c:20; prefers 5/6 GHz unless below -72 dBm");
    EXPECT_NE(Run({"status"}).out.find("Access Point:"), std::string::npos);

    const json plain = JoinAndStatus("Yard");
    EXPECT_EQ(plain["ssid"], "Boatyard");
    EXPECT_EQ(plain["access_point_choice"], nullptr);
    EXPECT_EQ(Run({"status"}).out.find("Access Point:"), std::string::npos);
}

TEST_F(NetCliTest, EveryNetworkSettingSurvivesExportAndImport) {
    NewProfile({"--name", "Light", "--ssid", "Lighthouse", "--mac", "stable", "--metered", "yes", "--ipv4",
                "192.0.2.10/24", "--gateway", "192.0.2.1", "--ipv6", "2001:db8::10/64", "--gateway6",
                "2001:db8::1", "--dns", "192.0.2.53 2001:db8::53"});
    const std::string file = ScratchPath("light.reg");
    RunJson({"profiles", "export", file, "--profile", "Light"});
    const json imported = RunJson({"profiles", "import", file});
    ASSERT_EQ(imported["profiles"].size(), 1u);
    json before = RunJson({"profiles", "show", "Light"});
    json after = RunJson({"profiles", "show", imported["profiles"][0].get<std::string>()});
    for (const char* key :
         {"mac_address", "metered", "ipv4_address", "ipv4_gateway", "ipv6_address", "ipv6_gateway", "dns"})
        EXPECT_EQ(after[key], before[key]) << key;
}

}  // namespace
}  // namespace wavory::test
