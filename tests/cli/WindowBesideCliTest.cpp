// The window (on the offscreen platform) and wavoryctl side by side on the one adapter: whatever
// the command line does, the window's main tick keeps its rate, the polling thread samples
// statistics, and automatic selection joins the network of the auto-selection profile.
#include <signal.h>

#include <chrono>
#include <fstream>
#include <optional>
#include <sstream>
#include <thread>

#include "CliFixture.h"
#include "kccl_sim.h"

namespace wavory::test {
namespace {

using nlohmann::json;
using Clock = std::chrono::steady_clock;

// The window ticks twice a second; a quarter of that is the least it may keep.
constexpr double kNominalTicksPerSecond = 2.0;
constexpr double kLeastTickShare = 0.25;
// Automatic selection joins some seconds after start-up; this is only an upper bound.
constexpr auto kJoinLimit = std::chrono::seconds(40);
// How long the window is watched after it joined, for its ticks and samples.
constexpr auto kWatchAfterJoin = std::chrono::seconds(4);

json SimState() {
    std::vector<char> buffer(256 * 1024);
    kccl_sim_state_json(buffer.data(), buffer.size());
    return json::parse(buffer.data());
}

bool JoinedLighthouse() {
    const json state = SimState();
    return state["associated"] == true && state["ssid"] == "Lighthouse";
}

int CountLines(const std::string& text, const std::string& needle) {
    int count = 0;
    for (std::size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1)) ++count;
    return count;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

class WindowBesideCliTest : public CliTest {
protected:
    void SetUp() override {
        CliTest::SetUp();
        // Scans as long as a real adapter's: with the command line scanning beside it, the
        // adapter reports "scanning" most of the time.
        ASSERT_EQ(kccl_sim_set_scan_duration(3000), 0);
        NewProfile({"--name", "Light", "--ssid", "Lighthouse", "--mode", "infrastructure", "--auto-select"});
    }

    // Runs the window while wavoryctl runs `beside` over and over, and checks that the window went on.
    void RunBeside(const std::vector<std::string>& beside) {
        SChild window = Start({WAVORY_PATH, "--minimized"}, {"QT_QPA_PLATFORM=offscreen", "WAVORY_TRACE=1"});
        ASSERT_GT(window.pid, 0);
        const auto start = Clock::now();
        std::optional<Clock::time_point> joinedAt;
        int runs = 0;
        while (Clock::now() - start < kJoinLimit) {
            const SRun run = Run(beside);
            ++runs;
            EXPECT_EQ(run.code, 0) << run.err;
            if (!joinedAt && JoinedLighthouse()) joinedAt = Clock::now();
            if (joinedAt && Clock::now() - *joinedAt > kWatchAfterJoin) break;
        }
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        kill(window.pid, SIGTERM);
        const SRun ended = Finish(window);
        (void)ended;

        const std::string trace = ReadFile(window.errFile);
        const int ticks = CountLines(trace, "Enter CS_MAIN");
        const int samples = CountLines(trace, "Secs ");
        std::printf(
            "  %d runs of wavoryctl beside; window: %d ticks and %d samples in %.1f s, joined after %.1f s\n",
            runs, ticks, samples, seconds,
            joinedAt ? std::chrono::duration<double>(*joinedAt - start).count() : -1.0);
        EXPECT_TRUE(joinedAt) << "automatic selection did not join within the limit";
        EXPECT_GE(ticks, kNominalTicksPerSecond * kLeastTickShare * seconds) << "the main tick fell behind";
        EXPECT_GE(samples, 2) << "the polling thread took no statistics";
    }
};

TEST_F(WindowBesideCliTest, WindowGoesOnWhileStatusRunsInALoop) { RunBeside({"status"}); }

TEST_F(WindowBesideCliTest, WindowGoesOnWhileScanRunsInALoop) { RunBeside({"scan"}); }

}  // namespace
}  // namespace wavory::test
