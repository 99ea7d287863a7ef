// adapters, --adapter, and the message of a change the adapter refuses for want of a right.
#include "CliFixture.h"
#include "kccl_adapters.h"
#include "kccl_oid.h"
#include "kccl_sim.h"

namespace wavory::test {
namespace {

using nlohmann::json;

class AdapterCliTest : public CliTest {};

TEST_F(AdapterCliTest, ListEndsWithTheSimulationInUse) {
    const json answer = RunJson({"adapters"});
    ASSERT_TRUE(answer.is_object());
    const json& list = answer["adapters"];
    ASSERT_TRUE(list.is_array());
    ASSERT_FALSE(list.empty());
    const json& sim = list.back();
    EXPECT_EQ(sim["name"], "sim");
    EXPECT_EQ(sim["driver"], "simulation");
    EXPECT_EQ(sim["in_use"], true);
    EXPECT_EQ(sim["managed_by"], "nobody");
    // The adapter in use has the address `about` reads from it.
    EXPECT_EQ(sim["mac"], RunJson({"about"})["mac"]);
    EXPECT_NE(sim["mac"], "");
    for (const auto& entry : list) {
        for (const char* key : {"name", "driver", "mac", "in_use", "managed_by"})
            EXPECT_TRUE(entry.contains(key));
        if (entry["name"] != "sim") {
            EXPECT_EQ(entry["in_use"], false);
        }
    }
}

TEST_F(AdapterCliTest, AnAdapterThatIsNotThereFailsInsteadOfServingAnother) {
    const SRun run = Run({"--adapter", "wlan-none", "status"});
    EXPECT_EQ(run.code, 1);
    EXPECT_NE(run.err.find("\"wlan-none\" could not be opened"), std::string::npos) << run.err;
    // The option after the command works the same.
    EXPECT_EQ(Run({"status", "--adapter", "wlan-none"}).code, 1);
    EXPECT_EQ(Run({"status", "--adapter", "sim"}).code, 0);
}

TEST_F(AdapterCliTest, MissingRightIsNamedInsteadOfTheGeneralFailure) {
    ASSERT_EQ(kccl_sim_set_fault(OID_SECURITY_SET, KCCL_SIM_FAULT_STATUS,
                                 static_cast<int>(KCCL_STATUS_NEEDS_NET_ADMIN)),
              0);
    SRun run = Run({"connect", "--ssid", "Lighthouse"});
    EXPECT_EQ(run.code, 1);
    EXPECT_TRUE(IsOneLine(run.err)) << run.err;
    EXPECT_NE(run.err.find("CAP_NET_ADMIN"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("root"), std::string::npos) << run.err;

    ASSERT_EQ(
        kccl_sim_set_fault(OID_SECURITY_SET, KCCL_SIM_FAULT_STATUS, static_cast<int>(KCCL_STATUS_READ_ONLY)),
        0);
    // The adapter took the settings before the refused one: the next attempt goes to another network.
    run = Run({"connect", "--ssid", "Boatyard"});
    EXPECT_EQ(run.code, 1);
    EXPECT_NE(run.err.find("NetworkManager"), std::string::npos) << run.err;

    ASSERT_EQ(kccl_sim_set_fault(OID_START_SCAN, KCCL_SIM_FAULT_STATUS,
                                 static_cast<int>(KCCL_STATUS_NEEDS_SUPPLICANT)),
              0);
    run = Run({"scan"});
    EXPECT_EQ(run.code, 1);
    EXPECT_NE(run.err.find("join the group"), std::string::npos) << run.err;

    // Another failure keeps the general message.
    kccl_sim_clear_faults();
    ASSERT_EQ(kccl_sim_set_fault(OID_SECURITY_SET, KCCL_SIM_FAULT_STATUS, 7), 0);
    run = Run({"connect", "--ssid", "Quayside-5G", "--key", "8C1F4A77D02B9E6355C0FA1E29"});
    EXPECT_EQ(run.code, 1);
    EXPECT_NE(run.err.find("Could not connect to specified station"), std::string::npos) << run.err;
    kccl_sim_clear_faults();
}

// disconnect leaves the network and stays away; NetworkManager's refusal is one line that names the
// permission it wants.
TEST_F(AdapterCliTest, DisconnectLeavesTheNetworkUntilTheNextConnect) {
    ASSERT_EQ(RunJson({"connect", "--ssid", "Lighthouse"})["associated"], true);
    EXPECT_EQ(RunJson({"disconnect"})["connected"], false);
    const json status = RunJson({"status"});
    EXPECT_EQ(status["connected"], false);
    // Nothing to leave is no failure.
    EXPECT_EQ(Run({"disconnect"}).code, 0);
    EXPECT_EQ(RunJson({"connect", "--ssid", "Lighthouse"})["associated"], true);

    ASSERT_EQ(
        kccl_sim_set_fault(OID_DISCONNECT, KCCL_SIM_FAULT_STATUS, static_cast<int>(KCCL_STATUS_NM_REFUSED)),
        0);
    const SRun run = Run({"disconnect"});
    EXPECT_EQ(run.code, 1);
    EXPECT_TRUE(IsOneLine(run.err)) << run.err;
    EXPECT_NE(run.err.find("org.freedesktop.NetworkManager.network-control"), std::string::npos) << run.err;
    kccl_sim_clear_faults();
    EXPECT_EQ(RunJson({"status"})["connected"], true) << "a refused disconnection leaves the link";
}

}  // namespace
}  // namespace wavory::test

namespace wavory::test {
namespace {

// watch runs the window's core headless: the polling thread's automatic selection joins the
// member of the order in range, and the status afterwards shows it. Nothing is saved.
TEST_F(AdapterCliTest, WatchJoinsTheAutoSelectedNetworkHeadless) {
    NewProfile({"--name", "Light", "--ssid", "Lighthouse", "--mode", "infrastructure", "--auto-select"});
    EXPECT_EQ(RunJson({"status"})["connected"], false);
    const std::string before = SettingsBytes();
    // The stream's last line is the status as the watch ended.
    const SRun run = Run({"watch", "--seconds", "10", "--json"});
    ASSERT_EQ(run.code, 0) << run.err;
    ASSERT_FALSE(run.out.empty());
    const std::string last = run.out.substr(run.out.rfind('\n', run.out.size() - 2) + 1);
    const nlohmann::json status = nlohmann::json::parse(last);
    EXPECT_EQ(status["connected"], true);
    EXPECT_EQ(status["ssid"], "Lighthouse");
    EXPECT_EQ(status["bssid"], "00-0F-B5-44-7C-20");
    EXPECT_EQ(SettingsBytes(), before);
    ExpectRefused({"watch", "--seconds", "3601"}, 2, "--seconds");
}

}  // namespace
}  // namespace wavory::test
