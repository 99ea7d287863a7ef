// wavoryctl history: the joins the command line made, filtered by network, time and count, and its
// refusal of a time it cannot read.
#include <algorithm>
#include <chrono>
#include <csignal>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "CliFixture.h"

namespace wavory::test {
namespace {

using nlohmann::json;

class HistoryCliTest : public CliTest {
protected:
    // The lines a running child has written so far.
    static std::vector<std::string> LinesOf(const SChild& child) {
        std::ifstream in(child.outFile);
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines;
    }
    static bool WaitForLines(const SChild& child, std::size_t count) {
        for (int i = 0; i < 400; ++i) {
            if (LinesOf(child).size() >= count) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return false;
    }
};

TEST_F(HistoryCliTest, JoinsAreRecordedAndFiltered) {
    ASSERT_EQ(RunJson({"connect", "--ssid", "Lighthouse"})["associated"], true);
    EXPECT_EQ(Run({"connect", "--ssid", "Harbour", "--key", "0123456789"}).code, 1);

    const json all = RunJson({"history"});
    ASSERT_EQ(all["events"].size(), 2u) << all.dump();
    const json& joined = all["events"][0];
    EXPECT_EQ(joined["kind"], "join");
    EXPECT_EQ(joined["ssid"], "Lighthouse");
    EXPECT_EQ(joined["outcome"], "joined");
    EXPECT_TRUE(joined["cause"].is_null());
    const json& refused = all["events"][1];
    EXPECT_EQ(refused["ssid"], "Harbour");
    EXPECT_EQ(refused["outcome"], "failed");
    EXPECT_EQ(refused["cause"], "wrong_key");
    EXPECT_NE(refused["detail"].get<std::string>().find("WEP key was not accepted"), std::string::npos);
    EXPECT_GT(refused["id"].get<long long>(), joined["id"].get<long long>());

    EXPECT_EQ(RunJson({"history", "--network", "Harbour"})["events"].size(), 1u);
    EXPECT_EQ(RunJson({"history", "--network", "Harb"})["events"].size(), 0u);
    const json newest = RunJson({"history", "--limit", "1"});
    ASSERT_EQ(newest["events"].size(), 1u);
    EXPECT_EQ(newest["events"][0]["ssid"], "Harbour");
    EXPECT_EQ(RunJson({"history", "--since", "10m"})["events"].size(), 2u);
    EXPECT_EQ(RunJson({"history", "--since", "2099-01-01"})["events"].size(), 0u);

    const SRun text = Run({"history"});
    EXPECT_EQ(text.code, 0);
    EXPECT_NE(text.out.find("Joined \"Lighthouse\""), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("Could not join \"Harbour\""), std::string::npos) << text.out;
}

TEST_F(HistoryCliTest, FollowingPrintsEachNewEventOnceUntilStopped) {
    ASSERT_EQ(RunJson({"connect", "--ssid", "Lighthouse"})["associated"], true);
    SChild follow = Start({WAVORYCTL_PATH, "history", "--follow", "--json"});
    ASSERT_TRUE(WaitForLines(follow, 1));
    EXPECT_EQ(Run({"connect", "--ssid", "Harbour", "--key", "0123456789"}).code, 1);
    ASSERT_TRUE(WaitForLines(follow, 2));
    ::kill(follow.pid, SIGTERM);
    const SRun run = Finish(follow);
    EXPECT_EQ(run.code, 0) << run.err;
    const std::vector<std::string> lines = LinesOf(follow);
    ASSERT_EQ(lines.size(), 2u) << run.out;
    EXPECT_EQ(json::parse(lines[0])["ssid"], "Lighthouse");
    EXPECT_EQ(json::parse(lines[1])["ssid"], "Harbour");
    EXPECT_EQ(json::parse(lines[1])["cause"], "wrong_key");
}

// The user service's recorder: the connection and its end as the adapter tells them, written while
// it runs; it acts on nothing (the interface stays as another program left it) and ends cleanly on
// SIGTERM. A history switched off has nothing to record and says so.
TEST_F(HistoryCliTest, RecorderWritesWhatHappensUntilStoppedAndActsOnNothing) {
    ASSERT_EQ(RunJson({"connect", "--ssid", "Lighthouse"})["associated"], true);
    SChild record = Start({WAVORYCTL_PATH, "history", "--record"});
    const auto kinds = [this] {
        std::vector<std::string> out;
        const json history = RunJson({"history"});
        for (const json& e : history["events"]) out.push_back(e["kind"].get<std::string>());
        return out;
    };
    const auto waitFor = [&kinds](const std::string& kind) {
        for (int i = 0; i < 400; ++i) {
            const auto k = kinds();
            if (std::find(k.begin(), k.end(), kind) != k.end()) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return false;
    };
    ASSERT_TRUE(waitFor("connect"));
    SChild deauth = Start({WAVORY_SIM_TOOL_PATH, "deauth", "7"});
    ASSERT_EQ(Finish(deauth).code, 0);
    ASSERT_TRUE(waitFor("disconnect"));
    // Nobody joins again: the recorder runs no automatic selection.
    std::this_thread::sleep_for(std::chrono::seconds(2));
    EXPECT_EQ(RunJson({"status"})["connected"], false);
    ::kill(record.pid, SIGTERM);
    const SRun run = Finish(record);
    EXPECT_EQ(run.code, 0) << run.err;
    const json events = RunJson({"history", "--network", "Lighthouse"})["events"];
    ASSERT_FALSE(events.empty());
    const json& last = events.back();
    EXPECT_EQ(last["kind"], "disconnect");
    EXPECT_EQ(last["reason"], 7);

    SChild off = Start({WAVORYCTL_PATH, "history", "--record"}, {"WAVORY_HISTORY=off"});
    const SRun refused = Finish(off);
    EXPECT_EQ(refused.code, 1);
    EXPECT_NE(refused.err.find("switched off"), std::string::npos) << refused.err;
    EXPECT_EQ(Run({"history", "--record", "--follow"}).code, 2);
}

// An access point's request to move (wavory-sim steer) recorded as a roam with its trigger, the
// access points and bands before and after.
TEST_F(HistoryCliTest, ARoamIsRecordedWithWhyAndWhere) {
    ASSERT_EQ(RunJson({"connect", "--ssid", "Lighthouse"})["associated"], true);
    SChild put = Start({WAVORY_SIM_TOOL_PATH, "put-network",
                        R"({"ssid": "Lighthouse", "bssid": "00-0F-B5-44-7C-24", "channel": 36, "signal_dbm": -70})"});
    ASSERT_EQ(Finish(put).code, 0);
    SChild record = Start({WAVORYCTL_PATH, "history", "--record"});
    json roam;
    for (int i = 0; i < 600 && roam.is_null(); ++i) {
        if (i == 20) {
            SChild steer = Start({WAVORY_SIM_TOOL_PATH, "steer", "00-0F-B5-44-7C-24"});
            ASSERT_EQ(Finish(steer).code, 0);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        const json history = RunJson({"history"});
        for (const json& e : history["events"])
            if (e["kind"] == "roam") roam = e;
    }
    ::kill(record.pid, SIGTERM);
    EXPECT_EQ(Finish(record).code, 0);
    ASSERT_FALSE(roam.is_null());
    EXPECT_EQ(roam["trigger"], "ap-request");
    EXPECT_EQ(roam["previous_bssid"], "00-0F-B5-44-7C-20");
    EXPECT_EQ(roam["previous_band"], "2.4 GHz");
    EXPECT_EQ(roam["bssid"], "00-0F-B5-44-7C-24");
    EXPECT_EQ(roam["band"], "5 GHz");
    EXPECT_NE(roam["detail"].get<std::string>().find("asked it to move"), std::string::npos) << roam.dump();
}

TEST_F(HistoryCliTest, ATimeItCannotReadIsRefused) {
    for (const char* since : {"yesterday", "5x", "-3h", "2026-13-01", "2026-12-10T25:00", "2026-12-10T08:30junk"}) {
        SCOPED_TRACE(since);
        const SRun run = Run({"history", "--since", since});
        EXPECT_EQ(run.code, 2);
        EXPECT_NE(run.err.find("--since"), std::string::npos) << run.err;
    }
}

}  // namespace
}  // namespace wavory::test
