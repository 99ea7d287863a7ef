// Joining through wpa_supplicant against a stand-in for the supplicant that keeps a list of network
// entries and answers as the real one does (a reply cut at 4096 bytes, entries disabled by
// SELECT_NETWORK): whatever the attempt's end, the user's entries are left as they were found.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <thread>

#include "HotspotSettings.h"
#include "JoinLock.h"
#include "Refusal.h"
#include "SupplicantControl.h"
#include "TestMain.h"
#include "kccl_oid.h"
#include "kccl_status.h"

namespace wavory::kccl {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

struct SFakeNetwork {
    std::string ssid;
    int disabled = 0;  // 0 enabled, 1 disabled, 2 a P2P group kept for later
    std::string idStr;
    std::map<std::string, std::string> values;  // what SET_NETWORK set
};

class CFakeSupplicant {
public:
    // What the network does when an entry is selected: the test sends events (Event) from here.
    std::function<void(int id)> onSelect;
    // Replies to these commands come this late (once each).
    std::map<std::string, std::chrono::milliseconds> late;
    // Entry settings this supplicant does not know (a build without them): SET_NETWORK fails.
    std::set<std::string> unknownSettings;
    // Number settings this supplicant takes only up to a value (an older version's range).
    std::map<std::string, int> maxValues;

    explicit CFakeSupplicant(const std::string& path) : m_path(path) {
        m_fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", path.c_str());
        ::unlink(path.c_str());
        EXPECT_EQ(::bind(m_fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
        EXPECT_EQ(::pipe(m_stop), 0);
        m_thread = std::thread([this] { Serve(); });
    }
    ~CFakeSupplicant() {
        [[maybe_unused]] const ssize_t n = ::write(m_stop[1], "x", 1);
        m_thread.join();
        ::close(m_fd);
        ::close(m_stop[0]);
        ::close(m_stop[1]);
        ::unlink(m_path.c_str());
    }

    int Add(const std::string& ssid, int disabled = 0, const std::string& idStr = {}) {
        std::lock_guard lock(m_mutex);
        const int id = m_nNextId++;
        m_Networks[id] = {ssid, disabled, idStr, {}};
        return id;
    }
    void SetCurrent(int id) {
        std::lock_guard lock(m_mutex);
        m_nCurrent = id;
    }
    std::map<int, SFakeNetwork> Networks() {
        std::lock_guard lock(m_mutex);
        return m_Networks;
    }
    std::vector<std::string> Commands() {
        std::lock_guard lock(m_mutex);
        return m_Commands;
    }
    // Sends an event to every attached client.
    void Event(const std::string& text) {
        for (const auto& to : m_Monitors) Send(text, to);
    }
    // Waits until a command starting with `prefix` came.
    bool WaitFor(const std::string& prefix) {
        std::unique_lock lock(m_mutex);
        return m_cv.wait_for(lock, 10s, [&] {
            return std::any_of(m_Commands.begin(), m_Commands.end(),
                               [&](const std::string& c) { return c.rfind(prefix, 0) == 0; });
        });
    }

    // Waits up to `wait` until `count` commands starting with `prefix` came.
    bool WaitForCount(const std::string& prefix, long count, std::chrono::milliseconds wait) {
        std::unique_lock lock(m_mutex);
        return m_cv.wait_for(lock, wait, [&] {
            return std::count_if(m_Commands.begin(), m_Commands.end(), [&](const std::string& c) {
                       return c.rfind(prefix, 0) == 0;
                   }) >= count;
        });
    }

private:
    using Address = std::pair<sockaddr_un, socklen_t>;

    void Send(const std::string& text, const Address& to) {
        ::sendto(m_fd, text.data(), text.size(), 0, reinterpret_cast<const sockaddr*>(&to.first), to.second);
    }

    std::string List(int lastId) {
        std::string text = "network id / ssid / bssid / flags\n";
        for (const auto& [id, n] : m_Networks) {
            if (id <= lastId) continue;
            text += std::to_string(id) + "\t" + n.ssid + "\tany\t" + (id == m_nCurrent ? "[CURRENT]" : "") +
                    (n.disabled == 1   ? "[DISABLED]"
                     : n.disabled == 2 ? "[P2P-PERSISTENT]"
                                       : "") +
                    "\n";
        }
        // The supplicant's reply buffer: 4096 bytes, cut where it is full.
        return text.substr(0, 4096);
    }

    std::string Answer(const std::string& command, const Address& from) {
        auto arg = [&](size_t n) {
            size_t at = 0;
            for (size_t i = 0; i < n; ++i) at = command.find(' ', at) + 1;
            return command.substr(at, command.find(' ', at) - at);
        };
        auto id = [&](size_t n) { return std::atoi(arg(n).c_str()); };
        auto known = [&](int i) { return m_Networks.count(i) != 0; };
        if (command == "PING") return "PONG\n";
        if (command == "ATTACH") {
            m_Monitors.push_back(from);
            return "OK\n";
        }
        if (command == "LIST_NETWORKS") return List(-1);
        if (command.rfind("LIST_NETWORKS LAST_ID=", 0) == 0) return List(std::atoi(command.c_str() + 22));
        if (command == "STATUS") {
            if (m_nCurrent < 0) return "wpa_state=SCANNING\n";
            // A block of mode 2 that is current is an access point that runs.
            const auto current = m_Networks.find(m_nCurrent);
            const bool ap = current != m_Networks.end() && current->second.values.count("mode") &&
                            current->second.values.at("mode") == "2";
            return std::string("wpa_state=COMPLETED\nfreq=2437\nmode=") + (ap ? "AP" : "station") +
                   "\nid=" + std::to_string(m_nCurrent) + "\n";
        }
        if (command.rfind("GET_NETWORK ", 0) == 0 && arg(2) == "id_str") {
            if (!known(id(1)) || m_Networks[id(1)].idStr.empty()) return "FAIL\n";
            return "\"" + m_Networks[id(1)].idStr + "\"";
        }
        if (command == "ADD_NETWORK") {
            const int added = m_nNextId++;
            m_Networks[added] = {"", 1, "", {}};
            return std::to_string(added) + "\n";
        }
        if (command == "DISCONNECT") {
            m_nCurrent = -1;
            return "OK\n";
        }
        if (command.rfind("SET_NETWORK ", 0) == 0) {
            if (!known(id(1))) return "FAIL\n";
            // The supplicant forgets its cached 802.1X session when an entry changes while it is on
            // no network.
            if (m_nCurrent < 0) m_nSessionForgotten = m_nNextId;
            const std::string name = arg(2);
            if (unknownSettings.count(name)) return "FAIL\n";
            const std::string value = command.substr(command.find(' ', command.find(name)) + 1);
            if (const auto max = maxValues.find(name); max != maxValues.end() && std::stoi(value) > max->second)
                return "FAIL\n";
            m_Networks[id(1)].values[name] = value;
            if (name == "id_str") m_Networks[id(1)].idStr = value.substr(1, value.size() - 2);
            if (name == "ssid") m_Networks[id(1)].ssid = value;
            return "OK\n";
        }
        if (command.rfind("SELECT_NETWORK ", 0) == 0) {
            if (!known(id(1))) return "FAIL\n";
            for (auto& [i, n] : m_Networks)
                if (n.disabled != 2) n.disabled = i == id(1) ? 0 : 1;
            m_nCurrent = -1;
            m_nSelected = id(1);
            return "OK\n";
        }
        if (command.rfind("ENABLE_NETWORK ", 0) == 0 || command.rfind("DISABLE_NETWORK ", 0) == 0) {
            if (!known(id(1)) || m_Networks[id(1)].disabled == 2) return "FAIL\n";
            m_Networks[id(1)].disabled = command[0] == 'E' ? 0 : 1;
            return "OK\n";
        }
        if (command.rfind("REMOVE_NETWORK ", 0) == 0) {
            if (!known(id(1))) return "FAIL\n";
            m_Networks.erase(id(1));
            return "OK\n";
        }
        return "UNKNOWN COMMAND\n";
    }

    // Commands are answered in order, as the supplicant does: a reply that comes late holds back
    // the replies after it.
    void Serve() {
        std::deque<std::pair<Clock::time_point, std::pair<std::string, Address>>> pending;
        Clock::time_point busyUntil{};
        for (;;) {
            int wait = -1;
            if (!pending.empty())
                wait = static_cast<int>(std::max<int64_t>(
                    0, std::chrono::duration_cast<std::chrono::milliseconds>(pending.front().first -
                                                                             Clock::now())
                           .count()));
            pollfd p[2] = {{m_fd, POLLIN, 0}, {m_stop[0], POLLIN, 0}};
            ::poll(p, 2, wait);
            if (p[1].revents) return;
            while (!pending.empty() && pending.front().first <= Clock::now()) {
                Send(pending.front().second.first, pending.front().second.second);
                pending.pop_front();
            }
            if (!(p[0].revents & POLLIN)) continue;
            char buf[512];
            Address from{};
            from.second = sizeof from.first;
            const ssize_t n =
                ::recvfrom(m_fd, buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(&from.first), &from.second);
            if (n <= 0) continue;
            const std::string command(buf, static_cast<size_t>(n));
            std::string reply;
            int selected = -1;
            {
                std::lock_guard lock(m_mutex);
                m_Commands.push_back(command);
                m_nSelected = -1;
                reply = Answer(command, from);
                selected = m_nSelected;
            }
            m_cv.notify_all();
            const auto late = this->late.find(command);
            if (late != this->late.end()) {
                busyUntil = Clock::now() + late->second;
                this->late.erase(late);
            }
            if (busyUntil > Clock::now())
                pending.push_back({busyUntil, {reply, from}});
            else
                Send(reply, from);
            if (selected >= 0 && onSelect) onSelect(selected);
        }
    }

    std::string m_path;
    int m_fd = -1;
    int m_stop[2] = {-1, -1};
    std::thread m_thread;
    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::map<int, SFakeNetwork> m_Networks;
    std::vector<std::string> m_Commands;
    std::vector<Address> m_Monitors;
    int m_nNextId = 0;
    int m_nCurrent = -1;
    int m_nSelected = -1;

public:
    int m_nSessionForgotten = -1;  // m_nNextId when that last happened
};

// Entry id -> disabled, for the entries of the user's (not the utility's).
std::map<int, int> UsersEntries(const std::map<int, SFakeNetwork>& networks) {
    std::map<int, int> out;
    for (const auto& [id, n] : networks)
        if (n.idStr != CSupplicantControl::kTag) out[id] = n.disabled;
    return out;
}

class SupplicantControlTest : public ::testing::Test {
protected:
    SupplicantControlTest()
        : m_path(test::TempHome() + "/wlan9"), m_fake(m_path), m_control("wlan9", m_path, nullptr) {
        m_control.SetWaits(2s, 2s, 500ms);
        // 150 entries with long names: several 4096-byte replies. Every seventh is disabled, one is
        // a P2P group the supplicant never joins as a network.
        for (int i = 0; i < 150; ++i) {
            char name[64];
            std::snprintf(name, sizeof name, "users-own-network-with-a-long-name-%03d", i);
            m_fake.Add(name, i % 7 == 3 ? 1 : i == 100 ? 2 : 0);
        }
        m_fake.SetCurrent(12);
        m_before = UsersEntries(m_fake.Networks());
    }
    SJoinSettings Wpa2(const std::string& passphrase) {
        SJoinSettings s;
        s.ssid = "WavoryWPA2";
        s.security = KCOM_SECURITY_MODE_WPA2_PERSONAL;
        s.passphrase = passphrase;
        return s;
    }
    // The event of a connection to entry `id`.
    void Connected(int id) {
        m_fake.Event("<3>CTRL-EVENT-CONNECTED - Connection to 02:00:00:00:04:00 completed [id=" +
                     std::to_string(id) + " id_str=]");
    }
    bool NoEntryOfTheUtility() {
        for (const auto& [id, n] : m_fake.Networks())
            if (n.idStr == CSupplicantControl::kTag) return false;
        return true;
    }

    std::string m_path;
    CFakeSupplicant m_fake;
    CSupplicantControl m_control;
    std::map<int, int> m_before;
};

TEST_F(SupplicantControlTest, TheListIsReadPageByPageToTheLastEntry) {
    CWpaCtrl ctrl;
    ASSERT_EQ(ctrl.Open(m_path), 0);
    std::vector<SWpaNetwork> list;
    ASSERT_TRUE(CSupplicantControl::ReadNetworks(ctrl, list));
    ASSERT_EQ(list.size(), 150u);
    for (int i = 0; i < 150; ++i) {
        EXPECT_EQ(list[static_cast<size_t>(i)].id, i);
        EXPECT_EQ(list[static_cast<size_t>(i)].enabled, i % 7 != 3 && i != 100) << i;
    }
    const auto commands = m_fake.Commands();
    EXPECT_GE(std::count_if(commands.begin(), commands.end(),
                            [](const std::string& c) { return c.rfind("LIST_NETWORKS", 0) == 0; }),
              3);
}

TEST_F(SupplicantControlTest, AWrongKeyLeavesEveryEntryAsFoundNoSecretAndTheOldNetworkBack) {
    int ours = -1;
    m_fake.onSelect = [&](int id) {
        if (id == 12) return Connected(12);  // the network it was on, selected again
        ours = id;
        m_fake.Event("<3>WPA: 4-Way Handshake failed - pre-shared key may be incorrect");
        m_fake.Event("<3>CTRL-EVENT-SSID-TEMP-DISABLED id=" + std::to_string(id) +
                     " ssid=\"WavoryWPA2\" auth_failures=1 duration=10 reason=WRONG_KEY");
    };
    CJoinContext context;
    const SJoinOutcome outcome = m_control.Join(Wpa2("not-the-passphrase"), context);
    EXPECT_FALSE(outcome.joined);
    EXPECT_EQ(outcome.cause, KCOM_CAUSE_WRONG_KEY);
    EXPECT_TRUE(outcome.restored);
    // Back on the channel it was on, without a scan of every band.
    const auto commands = m_fake.Commands();
    EXPECT_EQ(std::count(commands.begin(), commands.end(), "SELECT_NETWORK 12 freq=2437"), 1);
    EXPECT_GE(ours, 150);
    EXPECT_EQ(UsersEntries(m_fake.Networks()), m_before);
    EXPECT_TRUE(NoEntryOfTheUtility()) << "a failed attempt's entry, and its passphrase, stayed";
}

TEST_F(SupplicantControlTest, AJoinKeepsItsOwnEntryAndGivesTheOthersBack) {
    // An entry a crashed process left behind, not in use: it goes.
    const int stale = m_fake.Add("WavoryOld", 1, CSupplicantControl::kTag);
    m_fake.onSelect = [&](int id) { Connected(id); };
    CJoinContext context;
    const SJoinOutcome outcome = m_control.Join(Wpa2("the-right-passphrase"), context);
    EXPECT_TRUE(outcome.joined);
    const auto networks = m_fake.Networks();
    EXPECT_EQ(networks.count(stale), 0u);
    EXPECT_EQ(UsersEntries(networks), m_before);
    int own = 0;
    for (const auto& [id, n] : networks) {
        if (n.idStr != CSupplicantControl::kTag) continue;
        ++own;
        EXPECT_EQ(n.disabled, 0);
        EXPECT_EQ(n.values.at("psk"), "\"the-right-passphrase\"");
    }
    EXPECT_EQ(own, 1);

    // The next attempt, refused, goes back to this entry: it is kept until the attempt has ended.
    int joinedId = -1;
    for (const auto& [id, n] : networks)
        if (n.idStr == CSupplicantControl::kTag) joinedId = id;
    m_fake.SetCurrent(joinedId);
    m_fake.onSelect = [&](int id) {
        if (id == joinedId) return Connected(id);
        m_fake.Event("<3>CTRL-EVENT-ASSOC-REJECT bssid=02:00:00:00:04:00 status_code=17");
    };
    const SJoinOutcome second = m_control.Join(Wpa2("another-passphrase"), context);
    EXPECT_EQ(second.cause, KCOM_CAUSE_REFUSED);
    EXPECT_TRUE(second.restored);
    EXPECT_EQ(m_fake.Networks().count(joinedId), 1u);
    EXPECT_EQ(UsersEntries(m_fake.Networks()), m_before);
}

// The supplicant resumes its last 802.1X session where it can, and a resumed session skips the
// server's certificate: an enterprise attempt must make it forget that session before it selects.
TEST_F(SupplicantControlTest, AnEnterpriseJoinStartsWithoutTheCachedSession) {
    SJoinSettings s;
    s.ssid = "WavoryCorp";
    s.security = KCOM_SECURITY_MODE_WPA2_ENTERPRISE;
    s.eap.method = KCOM_EAP_PEAP;
    s.eap.Get(KCOM_EAP_IDENTITY) = "alice";
    s.eap.Get(KCOM_EAP_PASSWORD) = "alice-secret";
    s.eap.Get(KCOM_EAP_CA_CERT) = "/etc/eap/other-ca.pem";
    m_fake.onSelect = [&](int id) { Connected(id); };
    CJoinContext context;
    EXPECT_TRUE(m_control.Join(s, context).joined);
    EXPECT_EQ(m_fake.m_nSessionForgotten, 151) << "no entry changed while the supplicant was on no network";
    const auto commands = m_fake.Commands();
    const auto disconnect = std::find(commands.begin(), commands.end(), "DISCONNECT");
    const auto select = std::find_if(commands.begin(), commands.end(),
                                     [](const std::string& c) { return c.rfind("SELECT_NETWORK", 0) == 0; });
    ASSERT_NE(disconnect, commands.end());
    EXPECT_LT(disconnect, select);
    EXPECT_EQ(UsersEntries(m_fake.Networks()), m_before);

    // A personal network has no session to forget: the link stays until the selection.
    m_fake.SetCurrent(12);
    const size_t before = m_fake.Commands().size();
    EXPECT_TRUE(m_control.Join(Wpa2("the-right-passphrase"), context).joined);
    const auto later = m_fake.Commands();
    EXPECT_EQ(std::count(later.begin() + static_cast<std::ptrdiff_t>(before), later.end(), "DISCONNECT"), 0);
}

TEST_F(SupplicantControlTest, ASignalEndsTheAttemptWithEverythingPutBack) {
    // The network never answers; the process is told to end meanwhile.
    CJoinContext context;
    SJoinOutcome outcome;
    std::thread attempt([&] { outcome = m_control.Join(Wpa2("whatever-passphrase"), context); });
    ASSERT_TRUE(m_fake.WaitFor("SELECT_NETWORK"));
    context.Signal(SIGINT);
    attempt.join();
    EXPECT_FALSE(outcome.joined);
    EXPECT_EQ(UsersEntries(m_fake.Networks()), m_before);
    EXPECT_TRUE(NoEntryOfTheUtility());
    // The process is ending: no waiting for the old network.
    const auto commands = m_fake.Commands();
    EXPECT_EQ(std::count(commands.begin(), commands.end(), "SELECT_NETWORK 12"), 0);
}

TEST_F(SupplicantControlTest, NoAnswerInTimeIsATimeoutAndNotFoundIsSaidOnceTheScansMissedIt) {
    m_control.SetWaits(500ms, 300ms, 500ms);
    CJoinContext context;
    SJoinOutcome outcome = m_control.Join(Wpa2("whatever-passphrase"), context);
    EXPECT_EQ(outcome.cause, KCOM_CAUSE_TIMEOUT);
    EXPECT_EQ(UsersEntries(m_fake.Networks()), m_before);
    EXPECT_TRUE(NoEntryOfTheUtility());

    // The answer of a scan that began before the selection does not count; two of its own do.
    m_fake.onSelect = [&](int id) {
        if (id == 12) return;
        m_fake.Event("<3>CTRL-EVENT-NETWORK-NOT-FOUND");
        m_fake.Event("<3>CTRL-EVENT-SCAN-STARTED ");
        m_fake.Event("<3>CTRL-EVENT-NETWORK-NOT-FOUND");
        m_fake.Event("<3>CTRL-EVENT-SCAN-STARTED ");
        m_fake.Event("<3>CTRL-EVENT-NETWORK-NOT-FOUND");
    };
    outcome = m_control.Join(Wpa2("whatever-passphrase"), context);
    EXPECT_EQ(outcome.cause, KCOM_CAUSE_NOT_FOUND);
    EXPECT_FALSE(outcome.restored) << "the old network did not come back";
    EXPECT_EQ(UsersEntries(m_fake.Networks()), m_before);
}

// A reply that comes after its command gave up must not pass for the reply of the next command:
// here the late "this entry is the utility's" would have removed the user's next entry.
TEST_F(SupplicantControlTest, ALateReplyIsNeverTakenForTheNextOne) {
    const int stale = m_fake.Add("WavoryOld", 1, CSupplicantControl::kTag);
    const int users = m_fake.Add("users-entry-after-it");
    m_before = UsersEntries(m_fake.Networks());
    // The reply comes after the command gave up (500 ms), while the next command waits for its own.
    m_fake.late["GET_NETWORK " + std::to_string(stale) + " id_str"] = 700ms;
    m_fake.onSelect = [&](int id) {
        if (id != 12) Connected(id);
    };
    CJoinContext context;
    const SJoinOutcome outcome = m_control.Join(Wpa2("the-right-passphrase"), context);
    EXPECT_TRUE(outcome.joined);
    const auto networks = m_fake.Networks();
    ASSERT_EQ(networks.count(users), 1u) << "the user's entry was removed";
    EXPECT_EQ(networks.at(users).disabled, 0);
    EXPECT_EQ(UsersEntries(networks), m_before);
}

// Two attempts at once on one interface (the window's auto-selection and a wavoryctl connect): the
// second waits until the first has ended, so that it neither reads the list while the first has
// every entry disabled nor takes the first one's entry for one left behind.
TEST_F(SupplicantControlTest, TwoAttemptsAtOnceTakeTurnsAndLeaveTheUsersEntriesAsFound) {
    std::atomic<int> selects{0};
    std::atomic<int> firstId{-1};
    m_fake.onSelect = [&](int id) {
        if (selects++ == 0) {
            firstId = id;  // the first attempt's network answers when the test says
            return;
        }
        m_fake.SetCurrent(id);
        Connected(id);
    };
    CSupplicantControl second("wlan9", m_path, nullptr);
    second.SetWaits(20s, 2s, 500ms);
    m_control.SetWaits(20s, 2s, 500ms);
    CJoinContext contextA, contextB;
    SJoinOutcome a, b;
    std::thread first([&] { a = m_control.Join(Wpa2("first-passphrase"), contextA); });
    ASSERT_TRUE(m_fake.WaitFor("SELECT_NETWORK"));
    std::thread other([&] {
        SJoinSettings s = Wpa2("second-passphrase");
        s.ssid = "WavoryOther";
        b = second.Join(s, contextB);
    });
    // While the first attempt runs, the second adds nothing, removes nothing.
    EXPECT_FALSE(m_fake.WaitForCount("ADD_NETWORK", 2, 1500ms));
    EXPECT_EQ(m_fake.Networks().count(firstId), 1u) << "the second attempt removed the first one's entry";
    m_fake.SetCurrent(firstId);
    Connected(firstId);
    first.join();
    other.join();
    EXPECT_TRUE(a.joined);
    EXPECT_TRUE(b.joined) << b.detail;
    const auto networks = m_fake.Networks();
    EXPECT_EQ(UsersEntries(networks), m_before) << "an entry of the user's did not come back as it was";
    int own = 0;
    for (const auto& [id, n] : networks) {
        if (n.idStr != CSupplicantControl::kTag) continue;
        ++own;
        EXPECT_EQ(n.values.at("psk"), "\"second-passphrase\"");
    }
    EXPECT_EQ(own, 1) << "the first attempt's entry stays once the second one's replaced it";
}

// The access point chosen among the network's is the entry's bssid: the supplicant joins it and no
// other. Without a choice the entry names none.
TEST_F(SupplicantControlTest, TheChosenAccessPointGoesIntoTheEntry) {
    std::map<std::string, std::string> values;
    m_fake.onSelect = [&](int id) {
        values = m_fake.Networks()[id].values;
        Connected(id);
    };
    SJoinSettings s = Wpa2("the-right-passphrase");
    s.bssid = {0x02, 0x00, 0x00, 0x00, 0x24, 0x01};
    CJoinContext context;
    ASSERT_TRUE(m_control.Join(s, context).joined);
    EXPECT_EQ(values["bssid"], "02:00:00:00:24:01");
    s.bssid = {};
    ASSERT_TRUE(m_control.Join(s, context).joined);
    EXPECT_EQ(values.count("bssid"), 0u);
}

// A pin is the entry's bssid; the band preference's pick only a hint, which a supplicant that does
// not know it may leave out, saying so.
TEST_F(SupplicantControlTest, APinIsTheEntrysBssidAndThePreferredAccessPointItsHint) {
    std::map<std::string, std::string> values;
    m_fake.onSelect = [&](int id) {
        values = m_fake.Networks()[id].values;
        Connected(id);
    };
    SJoinSettings s = Wpa2("the-right-passphrase");
    s.hintBssid = {0x02, 0x00, 0x00, 0x00, 0x25, 0x02};
    s.hintFreqMhz = 5180;
    CJoinContext context;
    ASSERT_TRUE(m_control.Join(s, context).joined);
    EXPECT_EQ(values["bssid_hint"], "02:00:00:00:25:02");
    EXPECT_EQ(values.count("bssid"), 0u);

    // A pin (as the adapter sets it: the chosen access point) leaves no room for a hint.
    s.bssid = {0x02, 0x00, 0x00, 0x00, 0x24, 0x01};
    ASSERT_TRUE(m_control.Join(s, context).joined);
    EXPECT_EQ(values["bssid"], "02:00:00:00:24:01");
    EXPECT_EQ(values.count("bssid_hint"), 0u);

    s.bssid = {};
    s.choiceNote = "no 5 or 6 GHz access point of the network was heard at -70 dBm or stronger";
    m_fake.unknownSettings.insert("bssid_hint");
    const SJoinOutcome older = m_control.Join(s, context);
    ASSERT_TRUE(older.joined);
    EXPECT_EQ(values.count("bssid_hint"), 0u);
    EXPECT_NE(older.detail.find("-70 dBm"), std::string::npos) << older.detail;
    EXPECT_NE(older.detail.find("takes no preferred access point (bssid_hint)"), std::string::npos)
        << older.detail;
}

TEST_F(SupplicantControlTest, TheAddressModeGoesIntoTheEntryAndOnlyNetworkManagerTakesFixedAddresses) {
    std::map<std::string, std::string> values;
    m_fake.onSelect = [&](int id) {
        values = m_fake.Networks()[id].values;
        Connected(id);
    };
    SJoinSettings s = Wpa2("the-right-passphrase");
    CJoinContext context;
    const std::pair<uint8_t, std::string> modes[] = {
        {KCOM_MAC_DEVICE, "0"}, {KCOM_MAC_RANDOM, "1"}, {KCOM_MAC_STABLE, "3"}};
    for (const auto& [mode, value] : modes) {
        s.net.macMode = mode;
        const SJoinOutcome joined = m_control.Join(s, context);
        ASSERT_TRUE(joined.joined);
        EXPECT_EQ(values["mac_addr"], value);
        EXPECT_EQ(values.count("mac_value"), mode == KCOM_MAC_STABLE ? 1u : 0u);
        EXPECT_EQ(joined.detail.find("keeps no address"), std::string::npos) << joined.detail;
    }
    // wpa_supplicant 2.11 takes the network's own address: the same at the next join, another for
    // another network, a locally administered unicast one.
    s.net.macMode = KCOM_MAC_STABLE;
    const std::string stable = values["mac_value"];
    ASSERT_TRUE(m_control.Join(s, context).joined);
    EXPECT_EQ(values["mac_value"], stable);
    const uint8_t first = static_cast<uint8_t>(std::stoi(stable.substr(0, 2), nullptr, 16));
    EXPECT_EQ(first & 0x03, 0x02) << stable;
    SJoinSettings other = s;
    other.ssid = "AnotherNetwork";
    ASSERT_TRUE(m_control.Join(other, context).joined);
    EXPECT_NE(values["mac_value"], stable);
    // One before 2.11 has no such policy: a random address per join, and the join says so.
    m_fake.maxValues["mac_addr"] = 2;
    const SJoinOutcome older = m_control.Join(s, context);
    ASSERT_TRUE(older.joined);
    EXPECT_EQ(values["mac_addr"], "2");
    EXPECT_NE(older.detail.find("keeps no address for a network"), std::string::npos) << older.detail;
    m_fake.maxValues.clear();
    // Not told: the supplicant's own default stays.
    s.net.macMode = KCOM_MAC_NOT_TOLD;
    ASSERT_TRUE(m_control.Join(s, context).joined);
    EXPECT_EQ(values.count("mac_addr"), 0u);

    // Fixed addresses are not the supplicant's: the join says so instead of dropping them silently.
    s.net.ipv4 = "192.0.2.10/24";
    const SJoinOutcome fixed = m_control.Join(s, context);
    ASSERT_TRUE(fixed.joined);
    EXPECT_NE(fixed.detail.find("need NetworkManager"), std::string::npos) << fixed.detail;
    EXPECT_NE(fixed.detail.find("wlan9"), std::string::npos) << fixed.detail;
}

TEST_F(SupplicantControlTest, ASupplicantWithoutAddressChangesRefusesARandomAddressWithTheReason) {
    m_fake.unknownSettings.insert("mac_addr");
    m_fake.onSelect = [&](int id) { Connected(id); };
    SJoinSettings s = Wpa2("the-right-passphrase");
    CJoinContext context;
    // The device's own address is what such a supplicant uses anyway.
    s.net.macMode = KCOM_MAC_DEVICE;
    EXPECT_TRUE(m_control.Join(s, context).joined);
    s.net.macMode = KCOM_MAC_STABLE;
    const SJoinOutcome refused = m_control.Join(s, context);
    EXPECT_FALSE(refused.joined);
    EXPECT_EQ(refused.cause, static_cast<uint32_t>(KCOM_CAUSE_UNSUPPORTED));
    EXPECT_NE(refused.detail.find("mac_addr"), std::string::npos) << refused.detail;
    EXPECT_EQ(UsersEntries(m_fake.Networks()), m_before);
}

// An attempt that finds the interface held for its whole wait gives up with the reason, and
// changes nothing in the supplicant.
TEST_F(SupplicantControlTest, AnInterfaceHeldForTheWholeWaitIsBusyAndNothingChanges) {
    CJoinLock other;
    ASSERT_EQ(other.Take("wlan9", 0ms, nullptr), CJoinLock::EResult::Taken);
    m_control.SetWaits(300ms, 300ms, 500ms);
    CJoinContext context;
    const SJoinOutcome outcome = m_control.Join(Wpa2("whatever-passphrase"), context);
    EXPECT_FALSE(outcome.joined);
    EXPECT_EQ(outcome.cause, static_cast<uint32_t>(KCOM_CAUSE_BUSY));
    EXPECT_NE(outcome.detail.find("another program is joining on wlan9"), std::string::npos)
        << outcome.detail;
    EXPECT_TRUE(m_fake.Commands().empty());
    other.Release();
    m_fake.onSelect = [&](int id) { Connected(id); };
    EXPECT_TRUE(m_control.Join(Wpa2("whatever-passphrase"), context).joined);
}

TEST_F(SupplicantControlTest, NobodyAnsweringHandsTheAttemptToTheFallback) {
    struct SFallback : IAdapterControl {
        int checks = 0;
        uint32_t StartScan() override { return 0; }
        uint32_t Disconnect() override { return 0; }
        uint32_t SetPowerSave(uint32_t, const SJoinSettings&) override { return 0; }
        SJoinOutcome CheckJoin(const SJoinSettings&) override {
            ++checks;
            return {};
        }
        SJoinOutcome Join(const SJoinSettings&, CJoinContext&) override { return {true}; }
    } fallback;
    CSupplicantControl gone("wlan9", test::TempHome() + "/no-supplicant-here", &fallback);
    SJoinSettings open;
    open.ssid = "WavoryOpen";
    EXPECT_EQ(gone.CheckJoin(open).status, 2u);
    EXPECT_EQ(fallback.checks, 1);
    CJoinContext context;
    EXPECT_TRUE(gone.Join(open, context).joined);
    // The settings are checked before anybody is asked.
    SJoinSettings noKey = Wpa2("");
    EXPECT_NE(m_control.CheckJoin(noKey).status, 2u);
    EXPECT_EQ(m_control.CheckJoin(Wpa2("long-enough-passphrase")).status, 2u);
}

TEST_F(SupplicantControlTest, AHotspotIsABlockOfItsOwnAndItsStopPutsEveryEntryBack) {
    // The access point runs once its block is selected; the network it was on comes back likewise.
    m_fake.onSelect = [&](int id) {
        const auto networks = m_fake.Networks();
        const auto it = networks.find(id);
        if (id == 12 || (it != networks.end() && it->second.values.count("mode"))) m_fake.SetCurrent(id);
    };
    SHotspotStart start;
    start.ssid = "Deck Party";
    start.security = KCOM_HOTSPOT_WPA2;
    start.freqMhz = 2437;
    start.passphrase = "mooring-lines";
    CJoinContext context;
    const SHotspotAnswer started = m_control.StartHotspot(start, context);
    ASSERT_EQ(started.status, 2u) << started.text;
    EXPECT_NE(started.text.find("no addresses"), std::string::npos) << started.text;
    int block = -1;
    for (const auto& [id, n] : m_fake.Networks())
        if (n.idStr == kWpaHotspotTag) block = id;
    ASSERT_GE(block, 0);
    const auto values = m_fake.Networks()[block].values;
    EXPECT_EQ(values.at("mode"), "2");
    EXPECT_EQ(values.at("frequency"), "2437");
    EXPECT_EQ(values.at("psk"), "\"mooring-lines\"");
    EXPECT_TRUE(m_control.HotspotFacts().ours);
    EXPECT_EQ(m_control.StartHotspot(start, context).status, kStatusFailed) << "one runs already";

    const SHotspotAnswer stopped = m_control.StopHotspot(context);
    EXPECT_EQ(stopped.status, 2u) << stopped.text;
    EXPECT_EQ(m_fake.Networks().count(block), 0u);
    EXPECT_EQ(UsersEntries(m_fake.Networks()), m_before);
    EXPECT_TRUE(m_fake.WaitFor("SELECT_NETWORK 12"));
    EXPECT_FALSE(m_control.HotspotFacts().ours);
    EXPECT_EQ(m_control.StopHotspot(context).status, kStatusNotAssociated) << "nothing left to stop";
}

TEST_F(SupplicantControlTest, ASupplicantWithoutAccessPointsLeavesNothingBehind) {
    m_fake.onSelect = [&](int id) {
        if (id == 12) m_fake.SetCurrent(12);
    };
    SHotspotStart start;
    start.ssid = "Deck Party";
    start.security = KCOM_HOTSPOT_OPEN;
    start.freqMhz = 2412;
    CJoinContext context;
    const SHotspotAnswer answer = m_control.StartHotspot(start, context);
    EXPECT_EQ(answer.status, kStatusFailed);
    EXPECT_NE(answer.text.find("did not start"), std::string::npos) << answer.text;
    for (const auto& [id, n] : m_fake.Networks()) EXPECT_NE(n.idStr, kWpaHotspotTag) << id;
    EXPECT_EQ(UsersEntries(m_fake.Networks()), m_before);
}

}  // namespace
}  // namespace wavory::kccl
