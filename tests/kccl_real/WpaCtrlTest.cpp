// wpa_supplicant's replies and events, and a conversation with a supplicant stand-in on a socket.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <thread>

#include "TestMain.h"
#include "WpaCtrl.h"

namespace wavory::kccl {
namespace {

TEST(WpaReplyTest, NetworkListSkipsTheHeaderAndOddLines) {
    const auto list = ParseNetworkList(
        "network id / ssid / bssid / flags\n"
        "0\thome\tany\t[CURRENT]\n"
        "3\twith space\tany\t[DISABLED]\n"
        "x\tbroken\tany\t\n"
        "7\t\tany\t\n");
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0].id, 0);
    EXPECT_EQ(list[0].ssid, "home");
    EXPECT_EQ(list[1].id, 3);
    EXPECT_EQ(list[1].ssid, "with space");
    EXPECT_EQ(list[2].id, 7);
    EXPECT_EQ(list[2].ssid, "");
    EXPECT_TRUE(ParseNetworkList("network id / ssid / bssid / flags\n").empty());
}

TEST(WpaReplyTest, NetworkListTellsWhichEntriesTheSupplicantMayChoose) {
    const auto list = ParseNetworkList(
        "network id / ssid / bssid / flags\n"
        "0\thome\tany\t[CURRENT]\n"
        "1\toffice\tany\t[DISABLED]\n"
        "2\tcafe\tany\t[TEMP-DISABLED]\n"
        "3\tgroup\tany\t[P2P-PERSISTENT]\n"
        "4\tplain\tany\t\n"
        "5\tshort\n");
    ASSERT_EQ(list.size(), 6u);
    EXPECT_TRUE(list[0].enabled);
    EXPECT_FALSE(list[1].enabled);
    EXPECT_TRUE(list[2].enabled);  // only for a while: still the user's choice
    EXPECT_FALSE(list[3].enabled);
    EXPECT_TRUE(list[4].enabled);
    EXPECT_TRUE(list[5].enabled);
    EXPECT_EQ(list[5].ssid, "short");
}

TEST(WpaReplyTest, KeyValues) {
    const auto v = ParseKeyValues("bssid=02:00:00:00:01:00\r\nssid=a=b\nwpa_state=COMPLETED\nnoequals\n=x\n");
    EXPECT_EQ(v.at("ssid"), "a=b");
    EXPECT_EQ(v.at("wpa_state"), "COMPLETED");
    EXPECT_EQ(v.at("bssid"), "02:00:00:00:01:00");
    EXPECT_EQ(v.size(), 3u);
}

TEST(WpaReplyTest, EventsOfAConnectionAttempt) {
    EXPECT_EQ(ClassifyWpaEvent(
                  "<3>CTRL-EVENT-CONNECTED - Connection to 02:00:00:00:04:00 completed [id=1 id_str=wavory]"),
              EWpaEvent::Connected);
    EXPECT_EQ(ClassifyWpaEvent(
                  "<3>CTRL-EVENT-SSID-TEMP-DISABLED id=1 ssid=\"WavoryWPA2\" auth_failures=1 duration=10 "
                  "reason=WRONG_KEY"),
              EWpaEvent::Refused);
    EXPECT_EQ(
        ClassifyWpaEvent(
            "<3>CTRL-EVENT-AUTH-REJECT 02:00:00:00:00:00 auth_type=1 auth_transaction=2 status_code=15"),
        EWpaEvent::Refused);
    EXPECT_EQ(ClassifyWpaEvent("<3>CTRL-EVENT-ASSOC-REJECT bssid=02:00:00:00:00:00 status_code=1"),
              EWpaEvent::Refused);
    EXPECT_EQ(ClassifyWpaEvent("<3>WPA: 4-Way Handshake failed - pre-shared key may be incorrect"),
              EWpaEvent::Refused);
    EXPECT_EQ(
        ClassifyWpaEvent("<3>CTRL-EVENT-DISCONNECTED bssid=02:00:00:00:00:00 reason=3 locally_generated=1"),
        EWpaEvent::Disconnected);
    EXPECT_EQ(ClassifyWpaEvent("<3>CTRL-EVENT-SCAN-RESULTS "), EWpaEvent::None);
    EXPECT_EQ(ClassifyWpaEvent(""), EWpaEvent::None);
    EXPECT_EQ(ClassifyWpaEvent("CTRL-EVENT-CONNECTED"), EWpaEvent::Connected);  // without a priority
}

// A shared-key access point refuses open-system authentication as unsupported; the supplicant then
// tries shared key, whose answer decides.
TEST(WpaReplyTest, OpenSystemRefusedAsUnsupportedIsNoRefusalYet) {
    EXPECT_EQ(
        ClassifyWpaEvent(
            "<3>CTRL-EVENT-AUTH-REJECT 02:00:00:00:00:02 auth_type=0 auth_transaction=2 status_code=13"),
        EWpaEvent::None);
    // Shared key refused as well, or the challenge failed (a wrong key): that is the end.
    EXPECT_EQ(
        ClassifyWpaEvent(
            "<3>CTRL-EVENT-AUTH-REJECT 02:00:00:00:00:02 auth_type=1 auth_transaction=2 status_code=13"),
        EWpaEvent::Refused);
    EXPECT_EQ(
        ClassifyWpaEvent(
            "<3>CTRL-EVENT-AUTH-REJECT 02:00:00:00:00:02 auth_type=1 auth_transaction=4 status_code=15"),
        EWpaEvent::Refused);
    // Open system refused for another reason, or a status that only starts with 13.
    EXPECT_EQ(ClassifyWpaEvent(
                  "<3>CTRL-EVENT-AUTH-REJECT 02:00:00:00:00:02 auth_type=0 auth_transaction=2 status_code=1"),
              EWpaEvent::Refused);
    EXPECT_EQ(
        ClassifyWpaEvent(
            "<3>CTRL-EVENT-AUTH-REJECT 02:00:00:00:00:02 auth_type=0 auth_transaction=2 status_code=130"),
        EWpaEvent::Refused);
    EXPECT_EQ(ClassifyWpaEvent("<3>CTRL-EVENT-AUTH-REJECT 02:00:00:00:00:02 status_code=13"),
              EWpaEvent::Refused);
}

TEST(WpaEntryTest, OpenAndAdHoc) {
    SWpaEntry entry;
    entry.ssid = "Cafe";
    entry.tag = "wavory";
    EXPECT_EQ(WpaEntrySettings(entry), (std::vector<std::string>{"ssid 43616665", "id_str \"wavory\"",
                                                                 "scan_ssid 1", "key_mgmt NONE"}));
    entry.adHoc = true;
    entry.frequencyMhz = 2412;
    EXPECT_EQ(WpaEntrySettings(entry),
              (std::vector<std::string>{"ssid 43616665", "id_str \"wavory\"", "scan_ssid 1", "mode 1",
                                        "frequency 2412", "key_mgmt NONE"}));
    entry.frequencyMhz = 0;  // a cell needs its channel
    EXPECT_TRUE(WpaEntrySettings(entry).empty());
    entry = SWpaEntry{};
    EXPECT_TRUE(WpaEntrySettings(entry).empty());  // no SSID
    entry.ssid = std::string(33, 'a');
    EXPECT_TRUE(WpaEntrySettings(entry).empty());
    // Any bytes of an SSID go as hex digits, so that quotes or line ends in it change nothing.
    entry.ssid = std::string("a\"\n\0", 4);
    EXPECT_EQ(WpaEntrySettings(entry).front(), "ssid 61220a00");
}

TEST(WpaEntryTest, WepKeysAndBothAuthentications) {
    SWpaEntry entry;
    entry.ssid = "S";
    entry.security = 1;
    entry.wepKeys[1] = std::string("\x01\x23\x45\x67\x89\xab\xcd\xef\x01\x23\x45\x67\x89", 13);
    entry.wepKeys[3] = "abcde";
    entry.activeKey = 1;
    EXPECT_EQ(WpaEntrySettings(entry),
              (std::vector<std::string>{"ssid 53", "scan_ssid 1", "key_mgmt NONE", "auth_alg OPEN SHARED",
                                        "wep_key1 0123456789abcdef0123456789", "wep_key3 6162636465",
                                        "wep_tx_keyidx 1"}));
    entry.activeKey = 0;  // no key where the active index points
    EXPECT_TRUE(WpaEntrySettings(entry).empty());
    entry.activeKey = 4;
    EXPECT_TRUE(WpaEntrySettings(entry).empty());
    entry.activeKey = 3;
    entry.wepKeys[1] = "0123456";  // neither 40 nor 104 bits
    EXPECT_TRUE(WpaEntrySettings(entry).empty());
}

TEST(WpaEntryTest, PassphrasesAndRawKeys) {
    SWpaEntry entry;
    entry.ssid = "W";
    entry.security = 3;
    EXPECT_TRUE(WpaEntrySettings(entry).empty());  // no passphrase
    entry.passphrase = "pass \"phrase\"";
    EXPECT_EQ(WpaEntrySettings(entry), (std::vector<std::string>{"ssid 57", "scan_ssid 1", "key_mgmt WPA-PSK",
                                                                 "psk \"pass \"phrase\"\""}));
    const std::string raw(64, 'f');
    entry.passphrase = raw;  // 64 hex digits are the key itself, unquoted
    EXPECT_EQ(WpaEntrySettings(entry).back(), "psk " + raw);
    entry.security = 4;
    EXPECT_TRUE(WpaEntrySettings(entry).empty());  // SAE has no raw key
    entry.passphrase = "correct horse";
    EXPECT_EQ(WpaEntrySettings(entry), (std::vector<std::string>{"ssid 57", "scan_ssid 1", "key_mgmt SAE",
                                                                 "psk \"correct horse\"", "ieee80211w 2"}));
    entry.security = 2;  // TKIP alone is not asked of the supplicant
    EXPECT_TRUE(WpaEntrySettings(entry).empty());
}

TEST(WpaReplyTest, ValuesForSetNetwork) {
    EXPECT_EQ(HexValue(std::string("a\x00\xff", 3)), "6100ff");
    EXPECT_EQ(HexValue(""), "");
    EXPECT_EQ(QuotedValue("pass phrase"), "\"pass phrase\"");
}

// A datagram server that answers like the supplicant: a reply to each command, and after ATTACH
// an event before the reply of the next command.
class CFakeSupplicant {
public:
    explicit CFakeSupplicant(const std::string& path) : m_path(path) {
        m_fd = ::socket(AF_UNIX, SOCK_DGRAM, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", path.c_str());
        ::unlink(path.c_str());
        EXPECT_EQ(::bind(m_fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
        m_thread = std::thread([this] { Serve(); });
    }
    ~CFakeSupplicant() {
        ::shutdown(m_fd, SHUT_RDWR);
        ::close(m_fd);
        m_thread.join();
        ::unlink(m_path.c_str());
    }

private:
    void Serve() {
        bool attached = false;
        for (;;) {
            char buf[512];
            sockaddr_un from{};
            socklen_t len = sizeof from;
            const ssize_t n = ::recvfrom(m_fd, buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(&from), &len);
            if (n <= 0) return;
            const std::string command(buf, static_cast<size_t>(n));
            auto send = [&](const std::string& text) {
                ::sendto(m_fd, text.data(), text.size(), 0, reinterpret_cast<sockaddr*>(&from), len);
            };
            if (command == "ATTACH") {
                attached = true;
                send("OK\n");
            } else if (command == "PING") {
                if (attached) send("<3>CTRL-EVENT-CONNECTED - Connection to 02:00:00:00:00:01 completed");
                send("PONG\n");
            } else {
                send("UNKNOWN COMMAND\n");
            }
        }
    }

    std::string m_path;
    int m_fd = -1;
    std::thread m_thread;
};

TEST(WpaCtrlTest, RepliesAndEventsAreToldApart) {
    const std::string path = test::TempHome() + "/wlan-test";
    CFakeSupplicant supplicant(path);
    CWpaCtrl ctrl;
    ASSERT_EQ(ctrl.Open(path), 0);
    std::string reply;
    ASSERT_TRUE(ctrl.Request("PING", reply));
    EXPECT_EQ(reply, "PONG\n");
    ASSERT_TRUE(ctrl.Attach());
    ASSERT_TRUE(ctrl.Request("PING", reply));
    EXPECT_EQ(reply, "PONG\n");  // the event that came first is kept, not taken for the reply
    EXPECT_EQ(ClassifyWpaEvent(ctrl.NextEvent(std::chrono::milliseconds(100))), EWpaEvent::Connected);
    EXPECT_EQ(ctrl.NextEvent(std::chrono::milliseconds(50)), "");
    ctrl.Close();
    EXPECT_FALSE(ctrl.Request("PING", reply));
}

TEST(WpaCtrlTest, NobodyListening) {
    CWpaCtrl ctrl;
    EXPECT_EQ(ctrl.Open(test::TempHome() + "/no-such-socket"), -ENOENT);
    EXPECT_FALSE(ctrl.IsOpen());
    EXPECT_LT(ctrl.Open(std::string(200, 'x')), 0);
}

}  // namespace
}  // namespace wavory::kccl
