// profiles new|show|edit|dup|rm|auto|up|down|list: the editor's rules and the auto-selection order.
#include <cstdlib>
#include <set>
#include <thread>

#include "CliFixture.h"
#include "kccl_sim.h"
#include "platform/InstanceLock.h"

namespace wavory::test {
namespace {

using nlohmann::json;

class ProfilesCliTest : public CliTest {
protected:
    std::vector<std::string> Order() {
        std::vector<std::string> names;
        const json list = RunJson({"profiles", "list"});
        for (const auto& p : list["profiles"])
            names.push_back(p["name"].get<std::string>() +
                            (p["auto_select"] == true ? "@" + p["priority"].dump() : ""));
        return names;
    }
};

TEST_F(ProfilesCliTest, NewEditAndShowRoundTrip) {
    const json created = RunJson({"profiles", "new", "--name", "Office", "--ssid", "Lighthouse", "--mode",
                                  "infrastructure", "--auto-select", "--power-save", "2"});
    EXPECT_EQ(created["action"], "created");
    EXPECT_EQ(created["profile"]["name"], "Office");
    const json office = RunJson({"profiles", "show", "Office"});
    EXPECT_EQ(office["ssid"], "Lighthouse");
    EXPECT_EQ(office["mode"], "infrastructure");
    EXPECT_EQ(office["phy"], "802.11b/g");
    EXPECT_EQ(office["channel"], 1);
    EXPECT_EQ(office["power_save"], 2);
    EXPECT_EQ(office["security_text"], "None");
    EXPECT_TRUE(office["active_key"].is_null());
    EXPECT_EQ(office["priority"], 0);
    EXPECT_FALSE(office["keys"][0].contains("key"));  // keys only on request

    // Only what is given changes; a completed key becomes the active one.
    RunJson({"profiles", "edit", "Office", "--name", "Studio", "--security", "wep", "--key2",
             "0123456789abcdef0123456789", "--phy", "a", "--channel", "149"});
    ExpectRefused({"profiles", "show", "Office"}, 1, "no profile named");
    const json studio = RunJson({"profiles", "show", "Studio", "--show-keys"});
    EXPECT_EQ(studio["ssid"], "Lighthouse");
    EXPECT_EQ(studio["power_save"], 2);
    EXPECT_EQ(studio["security_text"], "WEP");
    EXPECT_EQ(studio["security"], "wep");
    EXPECT_EQ(studio["active_key"], 2);
    EXPECT_EQ(studio["keys"][1]["bits"], 128);
    EXPECT_EQ(studio["keys"][1]["key"], "0123456789abcdef0123456789");
    EXPECT_EQ(studio["phy"], "802.11a");
    EXPECT_EQ(studio["channel"], 149);
    EXPECT_EQ(studio["channel_index"], 8);
    EXPECT_EQ(studio["priority"], 0);

    // Clearing the active key leaves WEP without one, which the security page refuses.
    ExpectRefused({"profiles", "edit", "Studio", "--key2", ""}, 2, "complete security key");
    RunJson({"profiles", "edit", "Studio", "--key2", "", "--key4", "ABCDEF0123"});
    EXPECT_EQ(RunJson({"profiles", "show", "Studio"})["active_key"], 4);
}

TEST_F(ProfilesCliTest, RefusedValuesChangeNothing) {
    NewProfile({"--name", "Office", "--ssid", "Lighthouse"});
    const std::string name19(19, 'n'), name20(20, 'n');
    ExpectRefused({"profiles", "new", "--name", name20, "--ssid", "Net"}, 2, "1 to 19 characters");
    ExpectRefused({"profiles", "new", "--name", "", "--ssid", "Net"}, 2, "1 to 19 characters");
    ExpectRefused({"profiles", "new", "--name", "Tab\there", "--ssid", "Net"}, 2, "control characters");
    ExpectRefused({"profiles", "new", "--name", "EditStation", "--ssid", "Net"}, 2, "reserved");
    ExpectRefused({"profiles", "new", "--name", "Office", "--ssid", "Net"}, 2, "already exists");
    ExpectRefused({"profiles", "new", "--name", "Other"}, 2, "--ssid");
    ExpectRefused({"profiles", "new", "--ssid", std::string(33, 's')}, 2, "1 to 32 bytes");
    ExpectRefused({"profiles", "new", "--ssid-hex", "4g"}, 2, "hexadecimal");
    ExpectRefused({"profiles", "new", "--ssid", "Net", "--channel", "12"}, 2, "channel 12");
    ExpectRefused({"profiles", "new", "--ssid", "Net", "--channel", "40"}, 2, "channel 40");
    // A 6 GHz channel number is not a 5 GHz one: the message names the frequency to give instead.
    ExpectRefused({"profiles", "new", "--ssid", "Net", "--phy", "a", "--channel", "5"}, 2,
                  "--frequency 5975");
    ExpectRefused({"profiles", "new", "--ssid", "Net", "--security", "wep"}, 2, "complete security key");
    ExpectRefused({"profiles", "new", "--ssid", "Net", "--key1", "1A2B3C4D5Z"}, 2, "hexadecimal digits only");
    ExpectRefused({"profiles", "new", "--ssid", "Net", "--key1", "1A2B3C4D5E0"}, 2, "not 11");
    ExpectRefused({"profiles", "new", "--ssid", "Net", "--active-key", "2"}, 2, "key 2 is not complete");
    ExpectRefused({"profiles", "new", "--ssid", "Net", "--mode", "mesh"}, 2, "--mode");
    ExpectRefused({"profiles", "edit", "Office", "--name", name20}, 2, "1 to 19 characters");
    ExpectRefused({"profiles", "edit", "Office", "--ssid", ""}, 2, "1 to 32 bytes");
    for (const char* command : {"show", "edit", "dup", "rm", "auto", "up", "down"})
        ExpectRefused({"profiles", command, "Nobody"}, 1, "no profile named \"Nobody\"");
    EXPECT_EQ(Order(), (std::vector<std::string>{"Office"}));

    // The limits themselves are allowed.
    NewProfile({"--name", name19, "--ssid", std::string(32, 's'), "--channel", "11"});
    EXPECT_EQ(RunJson({"profiles", "show", name19})["ssid"], std::string(32, 's'));
}

TEST_F(ProfilesCliTest, ChannelsFollowTheRegulatoryDomain) {
    // ETSI allows 1 to 13, France 10 to 13.
    ASSERT_EQ(kccl_sim_reset(R"({"adapter": {"reg_domain": "0x30"}})"), 0);
    NewProfile({"--name", "Etsi", "--ssid", "Net", "--mode", "adhoc", "--channel", "13"});
    EXPECT_EQ(RunJson({"profiles", "show", "Etsi"})["channel"], 13);
    ExpectRefused({"profiles", "edit", "Etsi", "--channel", "14"}, 2, "1, 2, 3");

    ASSERT_EQ(kccl_sim_reset(R"({"adapter": {"reg_domain": "0x32"}})"), 0);
    ExpectRefused({"profiles", "new", "--ssid", "Net", "--channel", "9"}, 2, "10, 11, 12, 13");
    // A new profile takes the first channel of its list.
    NewProfile({"--name", "France", "--ssid", "Net"});
    EXPECT_EQ(RunJson({"profiles", "show", "France"})["channel"], 10);
}

TEST_F(ProfilesCliTest, ChannelsByFrequencyKeepTheirBand) {
    // 6 GHz channel 5 is 5975 MHz, not 2.4 GHz channel 5 (2432 MHz).
    NewProfile({"--name", "Six", "--ssid", "Net", "--mode", "adhoc", "--frequency", "5975"});
    json six = RunJson({"profiles", "show", "Six"});
    EXPECT_EQ(six["frequency_mhz"], 5975);
    EXPECT_EQ(six["channel"], 5);
    EXPECT_EQ(six["phy"], "802.11a");
    EXPECT_NE(RunJson({"profiles", "list"}).dump().find("Six"), std::string::npos);

    // A 5 GHz channel beyond the list of old is the same channel by number or by frequency.
    NewProfile({"--name", "ByNumber", "--ssid", "Net", "--phy", "a", "--channel", "100"});
    NewProfile({"--name", "ByFreq", "--ssid", "Net", "--frequency", "5500"});
    for (const char* name : {"ByNumber", "ByFreq"}) {
        const json p = RunJson({"profiles", "show", name});
        EXPECT_EQ(p["channel"], 100) << name;
        EXPECT_EQ(p["frequency_mhz"], 5500) << name;
    }

    // Back to 2.4 GHz by frequency: an 802.11a profile becomes 802.11g; other settings stay.
    RunJson({"profiles", "edit", "Six", "--frequency", "2432"});
    six = RunJson({"profiles", "show", "Six"});
    EXPECT_EQ(six["frequency_mhz"], 2432);
    EXPECT_EQ(six["channel"], 5);
    EXPECT_EQ(six["phy"], "802.11g");
    EXPECT_EQ(six["mode"], "adhoc");
    RunJson({"profiles", "edit", "Six", "--frequency", "6115"});
    EXPECT_EQ(RunJson({"profiles", "show", "Six"})["channel"], 33);

    // Refused, and nothing changes: not a channel, another band than --phy, both ways at once.
    ExpectRefused({"profiles", "edit", "Six", "--frequency", "5000"}, 2, "not the centre frequency");
    ExpectRefused({"profiles", "edit", "Six", "--frequency", "2437", "--phy", "a"}, 2, "2.4 GHz channel");
    ExpectRefused({"profiles", "edit", "Six", "--frequency", "5975", "--channel", "5"}, 2, "--frequency");
    // Europe has the lower 6 GHz part only, and no upper 5 GHz band.
    ASSERT_EQ(kccl_sim_reset(R"({"adapter": {"reg_domain": "0x30"}})"), 0);
    ExpectRefused({"profiles", "edit", "Six", "--frequency", "6435"}, 2,
                  "6435 MHz (channel 97) is not available");
    ExpectRefused({"profiles", "new", "--ssid", "Net", "--frequency", "5745"}, 2,
                  "5955 to 6415 MHz every 20 MHz");
    EXPECT_EQ(RunJson({"profiles", "show", "Six"})["frequency_mhz"], 6115);
    NewProfile({"--name", "Low6", "--ssid", "Net", "--frequency", "6415"});
    EXPECT_EQ(RunJson({"profiles", "show", "Low6"})["channel"], 93);
}

TEST_F(ProfilesCliTest, AutoSelectionOrderMovesAsOnThePage) {
    for (const char* name : {"A", "B", "C"}) NewProfile({"--name", name, "--ssid", name, "--auto-select"});
    NewProfile({"--name", "D", "--ssid", "D"});
    EXPECT_EQ(Order(), (std::vector<std::string>{"A@0", "B@1", "C@2", "D"}));

    EXPECT_EQ(RunJson({"profiles", "up", "C"})["moved"], true);
    EXPECT_EQ(RunJson({"profiles", "down", "A"})["moved"], true);
    EXPECT_EQ(Order(), (std::vector<std::string>{"C@0", "A@1", "B@2", "D"}));
    // The first cannot move up, the last not down.
    EXPECT_EQ(RunJson({"profiles", "up", "C"})["moved"], false);
    EXPECT_EQ(RunJson({"profiles", "down", "B"})["moved"], false);
    ExpectRefused({"profiles", "up", "D"}, 1, "not in the auto-selection list");

    // Leaving closes the gap; joining takes a new last place; auto without --on/--off toggles.
    RunJson({"profiles", "auto", "C", "--off"});
    EXPECT_EQ(RunJson({"profiles", "auto", "C", "--off"})["changed"], false);
    RunJson({"profiles", "auto", "D"});
    EXPECT_EQ(Order(), (std::vector<std::string>{"A@0", "B@1", "D@2", "C"}));

    // Removing a member moves the later ones up.
    RunJson({"profiles", "rm", "A"});
    EXPECT_EQ(Order(), (std::vector<std::string>{"B@0", "D@1", "C"}));

    // A copy of a member joins at the end, under the next free name, with the same settings.
    const json copy = RunJson({"profiles", "dup", "B"});
    EXPECT_EQ(copy["profile"]["name"], "Profile 0");
    EXPECT_EQ(copy["profile"]["ssid"], "B");
    EXPECT_EQ(Order(), (std::vector<std::string>{"B@0", "D@1", "Profile 0@2", "C"}));
}

TEST_F(ProfilesCliTest, EveryCommandWorksWhileTheWindowRuns) {
    NewProfile({"--name", "Office", "--ssid", "Lighthouse", "--mode", "infrastructure", "--auto-select"});
    CInstanceLock window(CInstanceLock::kWindowOwner);
    ASSERT_TRUE(window.TryLock());
    const std::string file = ScratchPath("office.reg");
    ASSERT_EQ(Run({"profiles", "export", file, "--profile", "Office"}).code, 0);
    for (const std::vector<std::string>& args : {std::vector<std::string>{"profiles", "new", "--ssid", "Net"},
                                                 {"profiles", "edit", "Office", "--ssid", "X"},
                                                 {"profiles", "dup", "Office"},
                                                 {"profiles", "auto", "Office"},
                                                 {"profiles", "auto", "Office"},
                                                 {"profiles", "import", file},
                                                 {"profiles", "rm", "Office"},
                                                 {"prefs", "set", "--interval", "20"}}) {
        const SRun run = Run(args);
        EXPECT_EQ(run.code, 0) << args[0] << " " << args[1] << ": " << run.err;
    }
}

TEST_F(ProfilesCliTest, TwoCommandsAtOnceLoseNothing) {
    // Two shells each add profiles in a loop, at the same time: every command is one transaction
    // that reads the profiles inside it, so no new profile takes another's name or section.
    auto loop = [](const std::string& prefix) {
        const std::string command = "for i in 1 2 3 4 5 6 7 8; do '" + std::string(WAVORYCTL_PATH) +
                                    "' profiles new --ssid " + prefix + "$i >/dev/null || exit 1; done";
        return std::system(command.c_str());
    };
    int a = -1, b = -1;
    std::thread first([&] { a = loop("A"); });
    std::thread second([&] { b = loop("B"); });
    first.join();
    second.join();
    EXPECT_EQ(a, 0);
    EXPECT_EQ(b, 0);
    const json list = RunJson({"profiles", "list"});
    std::set<std::string> ssids;
    for (const auto& p : list["profiles"]) ssids.insert(p["ssid"].get<std::string>());
    EXPECT_EQ(ssids.size(), 16u) << list.dump();
}

}  // namespace
}  // namespace wavory::test
