// wpa_supplicant's replies and events, and a conversation with a supplicant stand-in on a socket.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <thread>

#include "RealFormat.h"
#include "TestMain.h"
#include "WpaCtrl.h"
#include "kccl_oid.h"

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

// The method of an enterprise link, from the number the supplicant gives or, for a number it
// does not know, from the name beside it; a personal link has none.
TEST(WpaReplyTest, EapMethodOfStatus) {
    const std::string peap =
        "bssid=02:00:00:00:06:00\nkey_mgmt=WPA2/IEEE 802.1X/EAP\nwpa_state=COMPLETED\n"
        "Supplicant PAE state=AUTHENTICATED\nEAP state=SUCCESS\nselectedMethod=25 (EAP-PEAP)\n";
    EXPECT_EQ(EapMethodOfStatus(peap), KCOM_EAP_PEAP);
    EXPECT_EQ(EapMethodOfStatus("selectedMethod=21 (EAP-TTLS)\n"), KCOM_EAP_TTLS);
    EXPECT_EQ(EapMethodOfStatus("selectedMethod=13 (EAP-TLS)\n"), KCOM_EAP_TLS);
    EXPECT_EQ(EapMethodOfStatus("selectedMethod=254 (EAP-PWD)\n"), KCOM_EAP_PWD);
    EXPECT_EQ(EapMethodOfStatus("selectedMethod=4 (EAP-MD5)\n"), KCOM_EAP_NONE);
    EXPECT_EQ(EapMethodOfStatus("key_mgmt=SAE\nwpa_state=COMPLETED\n"), KCOM_EAP_NONE);
    EXPECT_EQ(EapMethodOfStatus("selectedMethod=garbage (\n"), KCOM_EAP_NONE);
    EXPECT_EQ(EapMethodByName("ttls"), KCOM_EAP_TTLS);
    EXPECT_EQ(EapMethodByName("eap-peap"), KCOM_EAP_PEAP);
    EXPECT_EQ(EapMethodByName("leap"), KCOM_EAP_NONE);
    EXPECT_EQ(EapMethodByName(""), KCOM_EAP_NONE);
}

// The generation the supplicant joined with (wpa_supplicant 2.10 and later say it); none before the
// association, from an older supplicant, or for a number that is no Wi-Fi generation.
TEST(WpaReplyTest, GenerationOfStatus) {
    const std::string he =
        "bssid=02:00:00:00:05:00\nfreq=5180\nssid=Wavory5G\nwifi_generation=6\nkey_mgmt=SAE\n";
    EXPECT_EQ(GenerationOfStatus(he), KCOM_PHY_AX);
    EXPECT_EQ(GenerationOfStatus("wifi_generation=4\n"), KCOM_PHY_N);
    EXPECT_EQ(GenerationOfStatus("wifi_generation=5\n"), KCOM_PHY_AC);
    EXPECT_EQ(GenerationOfStatus("wifi_generation=7\n"), KCOM_PHY_BE);
    EXPECT_EQ(GenerationOfStatus("wpa_state=SCANNING\n"), -1);
    EXPECT_EQ(GenerationOfStatus("wifi_generation=3\n"), -1);
    EXPECT_EQ(GenerationOfStatus("wifi_generation=six\n"), -1);
}

EWpaEvent Kind(const std::string& line) { return ClassifyWpaEvent(line).kind; }

TEST(WpaReplyTest, EventsOfAConnectionAttempt) {
    const SWpaEvent connected = ClassifyWpaEvent(
        "<3>CTRL-EVENT-CONNECTED - Connection to 02:00:00:00:04:00 completed [id=12 id_str=wavory]");
    EXPECT_EQ(connected.kind, EWpaEvent::Connected);
    EXPECT_EQ(connected.id, 12);
    const SWpaEvent wrongKey = ClassifyWpaEvent(
        "<3>CTRL-EVENT-SSID-TEMP-DISABLED id=1 ssid=\"WavoryWPA2\" auth_failures=1 duration=10 "
        "reason=WRONG_KEY");
    EXPECT_EQ(wrongKey.kind, EWpaEvent::WrongKey);
    EXPECT_EQ(wrongKey.id, 1);
    EXPECT_EQ(Kind("<3>CTRL-EVENT-SSID-TEMP-DISABLED id=4 ssid=\"x\" auth_failures=2 duration=20 "
                   "reason=CONN_FAILED"),
              EWpaEvent::ConnFailed);
    EXPECT_EQ(Kind("<3>CTRL-EVENT-SSID-TEMP-DISABLED id=4 ssid=\"x\" auth_failures=1 duration=10 "
                   "reason=AUTH_FAILED"),
              EWpaEvent::Refused);
    EXPECT_EQ(Kind("<3>WPA: 4-Way Handshake failed - pre-shared key may be incorrect"), EWpaEvent::WrongKey);
    EXPECT_EQ(Kind("<3>CTRL-EVENT-ASSOC-REJECT bssid=02:00:00:00:00:00 status_code=1"), EWpaEvent::Refused);
    // An association that timed out is tried again by the supplicant: no verdict yet.
    EXPECT_EQ(Kind("<3>CTRL-EVENT-ASSOC-REJECT bssid=02:00:00:00:00:00 status_code=1 timeout"),
              EWpaEvent::None);
    EXPECT_EQ(Kind("<3>CTRL-EVENT-NETWORK-NOT-FOUND"), EWpaEvent::NotFound);
    EXPECT_EQ(Kind("<3>CTRL-EVENT-SCAN-STARTED "), EWpaEvent::ScanStarted);
    EXPECT_EQ(Kind("<3>CTRL-EVENT-TERMINATING"), EWpaEvent::Terminating);
    EXPECT_EQ(Kind("<3>CTRL-EVENT-DISCONNECTED bssid=02:00:00:00:00:00 reason=3 locally_generated=1"),
              EWpaEvent::Disconnected);
    EXPECT_EQ(Kind("<3>CTRL-EVENT-SCAN-RESULTS "), EWpaEvent::None);
    EXPECT_EQ(Kind(""), EWpaEvent::None);
    EXPECT_EQ(Kind("CTRL-EVENT-CONNECTED"), EWpaEvent::Connected);  // without a priority
    EXPECT_EQ(ClassifyWpaEvent("CTRL-EVENT-CONNECTED").id, -1);
}

// A shared-key access point refuses open-system authentication as unsupported; the supplicant then
// tries shared key, whose answer decides.
TEST(WpaReplyTest, OpenSystemRefusedAsUnsupportedIsNoRefusalYet) {
    EXPECT_EQ(
        Kind("<3>CTRL-EVENT-AUTH-REJECT 02:00:00:00:00:02 auth_type=0 auth_transaction=2 status_code=13"),
        EWpaEvent::None);
    // Shared key refused as well: the end; its challenge failed: the key is wrong.
    EXPECT_EQ(
        Kind("<3>CTRL-EVENT-AUTH-REJECT 02:00:00:00:00:02 auth_type=1 auth_transaction=2 status_code=13"),
        EWpaEvent::Refused);
    EXPECT_EQ(
        Kind("<3>CTRL-EVENT-AUTH-REJECT 02:00:00:00:00:02 auth_type=1 auth_transaction=4 status_code=15"),
        EWpaEvent::WrongKey);
    // Open system refused for another reason, or a status that only starts with 13.
    EXPECT_EQ(
        Kind("<3>CTRL-EVENT-AUTH-REJECT 02:00:00:00:00:02 auth_type=0 auth_transaction=2 status_code=1"),
        EWpaEvent::Refused);
    EXPECT_EQ(
        Kind("<3>CTRL-EVENT-AUTH-REJECT 02:00:00:00:00:02 auth_type=0 auth_transaction=2 status_code=130"),
        EWpaEvent::Refused);
    EXPECT_EQ(Kind("<3>CTRL-EVENT-AUTH-REJECT 02:00:00:00:00:02 status_code=13"), EWpaEvent::Refused);
}

// WPA3: a confirm the network refuses means another password; a refused commit (the group, the
// password element's method) is a refusal of the network.
TEST(WpaReplyTest, SaeConfirmRefusedIsAWrongPassphrase) {
    EXPECT_EQ(
        Kind("<3>CTRL-EVENT-AUTH-REJECT 02:00:00:00:07:00 auth_type=3 auth_transaction=2 status_code=1"),
        EWpaEvent::WrongKey);
    EXPECT_EQ(
        Kind("<3>CTRL-EVENT-AUTH-REJECT 02:00:00:00:07:00 auth_type=3 auth_transaction=1 status_code=77"),
        EWpaEvent::Refused);
    EXPECT_EQ(
        Kind("<3>CTRL-EVENT-AUTH-REJECT 02:00:00:00:07:00 auth_type=3 auth_transaction=1 status_code=126"),
        EWpaEvent::Refused);
}

// The supplicant's reply buffer ends where it ends, possibly within a line.
TEST(WpaReplyTest, ALineCutByTheReplysEndDoesNotCount) {
    const auto list = ParseNetworkList("network id / ssid / bssid / flags\n0\thome\tany\t\n17\tcaf");
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].id, 0);
    EXPECT_TRUE(ParseNetworkList("network id / ssid / bssid / flags\n3\toffice\tany\t[DISA").empty());
}

// Ids are the supplicant's text: one too large for an int (or no number at all) is skipped, never
// thrown at or wrapped into another entry's id.
TEST(WpaReplyTest, AnIdTooLargeOrNotANumberIsNoEntry) {
    const auto list = ParseNetworkList(
        "network id / ssid / bssid / flags\n99999999999\thuge\tany\t\n2147483648\tedge\tany\t\n"
        "-1\tneg\tany\t\n2147483647\tlast\tany\t\n4\tok\tany\t\n");
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].id, 2147483647);
    EXPECT_EQ(list[1].id, 4);
    EXPECT_EQ(ClassifyWpaEvent("<3>CTRL-EVENT-CONNECTED - Connection to 02:00:00:00:04:00 completed "
                               "[id=4294967297 id_str=]")
                  .id,
              -1);
    EXPECT_EQ(
        ClassifyWpaEvent("<3>CTRL-EVENT-SSID-TEMP-DISABLED id=12345678901 ssid=\"x\" reason=WRONG_KEY").id,
        -1);
    EXPECT_EQ(EapMethodOfStatus("selectedMethod=99999999999999999999 (EAP-PEAP)\n"), KCOM_EAP_PEAP);
    EXPECT_EQ(ParseNumber("ff", 16, 0xFF), 0xFFu);
    EXPECT_FALSE(ParseNumber("100", 16, 0xFF));
    EXPECT_FALSE(ParseNumber("1 2"));
    EXPECT_FALSE(ParseNumber(""));
}

TEST(WpaReplyTest, ValuesForSetNetwork) {
    EXPECT_EQ(HexValue(std::string("a\x00\xff", 3)), "6100ff");
    EXPECT_EQ(HexValue(""), "");
    EXPECT_EQ(QuotedValue("pass phrase"), "\"pass phrase\"");
}

std::string SettingOf(const std::vector<std::string>& settings, const std::string& name) {
    for (const std::string& s : settings)
        if (s.rfind(name + " ", 0) == 0) return s.substr(name.size() + 1);
    return "(none)";
}

TEST(WpaEntryTest, EachSecurityKindGetsEverySuiteOfItsFamily) {
    SWpaEntry entry;
    entry.ssid = "Wavory6G";
    entry.passphrase = "wavory-sae-pass";
    const auto made = [&](uint32_t security, bool sae = true) {
        entry.security = security;
        entry.sae = sae;
        const auto settings = WpaEntrySettings(entry);
        return settings.empty() ? std::string("(no entry)")
                                : SettingOf(settings, "key_mgmt") + " / " + SettingOf(settings, "ieee80211w");
    };
    EXPECT_EQ(made(KCOM_SECURITY_MODE_WPA2_PERSONAL), "WPA-PSK WPA-PSK-SHA256 FT-PSK / 1");
    EXPECT_EQ(made(KCOM_SECURITY_MODE_WPA3_PERSONAL), "SAE FT-SAE SAE-EXT-KEY FT-SAE-EXT-KEY / 2");
    EXPECT_EQ(made(KCOM_SECURITY_MODE_WPA2_WPA3_PERSONAL),
              "WPA-PSK WPA-PSK-SHA256 FT-PSK SAE FT-SAE SAE-EXT-KEY FT-SAE-EXT-KEY / 1");
    // A radio without SAE joins a transition network as WPA2, and a WPA3 one not at all.
    EXPECT_EQ(made(KCOM_SECURITY_MODE_WPA2_WPA3_PERSONAL, false), "WPA-PSK WPA-PSK-SHA256 FT-PSK / 1");
    EXPECT_EQ(made(KCOM_SECURITY_MODE_WPA3_PERSONAL, false), "(no entry)");
    EXPECT_EQ(made(KCOM_SECURITY_MODE_OWE), "OWE / 2");
    EXPECT_EQ(made(KCOM_SECURITY_MODE_WPA2_ENTERPRISE), "(no entry)");
    // SAE takes the passphrase itself, never a raw key.
    entry.passphrase = std::string(64, 'a');
    EXPECT_EQ(made(KCOM_SECURITY_MODE_WPA3_PERSONAL), "(no entry)");
    EXPECT_EQ(made(KCOM_SECURITY_MODE_WPA2_WPA3_PERSONAL), "WPA-PSK WPA-PSK-SHA256 FT-PSK / 1");
    EXPECT_EQ(SettingOf(WpaEntrySettings(entry), "psk"), std::string(64, 'a'));
}

TEST(WpaEntryTest, AnOlderSupplicantGetsTheSuitesItKnows) {
    EXPECT_EQ(KeyMgmtFallbacks("key_mgmt SAE FT-SAE SAE-EXT-KEY FT-SAE-EXT-KEY"),
              (std::vector<std::string>{"key_mgmt SAE FT-SAE", "key_mgmt SAE"}));
    EXPECT_EQ(KeyMgmtFallbacks("key_mgmt WPA-PSK WPA-PSK-SHA256 FT-PSK"),
              (std::vector<std::string>{"key_mgmt WPA-PSK WPA-PSK-SHA256"}));
    EXPECT_TRUE(KeyMgmtFallbacks("key_mgmt OWE").empty());
    EXPECT_TRUE(KeyMgmtFallbacks("psk \"FT-SAE\"").empty());
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
    EXPECT_EQ(ClassifyWpaEvent(ctrl.NextEvent(std::chrono::milliseconds(100))).kind, EWpaEvent::Connected);
    EXPECT_EQ(ctrl.NextEvent(std::chrono::milliseconds(50)), "");
    ctrl.Close();
    EXPECT_FALSE(ctrl.Request("PING", reply));
}

// The client's own socket goes where the user's runtime folder is, and one a killed process left
// behind is removed; another user's, or a live process's, stays.
TEST(WpaCtrlTest, ClientSocketsLiveInTheUsersFolderAndStaleOnesGo) {
    const std::string runtime = test::TempHome() + "/runtime";
    std::filesystem::create_directories(runtime);
    std::filesystem::permissions(runtime, std::filesystem::perms::owner_all);
    const char* saved = std::getenv("XDG_RUNTIME_DIR");
    const std::string savedText = saved ? saved : "";
    ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    EXPECT_EQ(CWpaCtrl::ClientFolder("/run/wpa_supplicant/wlan0"), runtime);
    ::setenv("XDG_RUNTIME_DIR", "relative/path", 1);
    EXPECT_NE(CWpaCtrl::ClientFolder("/nonexistent/wlan0"), "relative/path");

    auto bound = [&](const std::string& name) {
        const int fd = ::socket(AF_UNIX, SOCK_DGRAM, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s/%s", runtime.c_str(), name.c_str());
        EXPECT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
        ::close(fd);
    };
    // A process that has ended (a child that exited), and this live one.
    const pid_t child = ::fork();
    if (child == 0) ::_exit(0);
    ::waitpid(child, nullptr, 0);
    bound("wavory-wpa-" + std::to_string(child) + "-1");
    bound("wavory-wpa-" + std::to_string(::getpid()) + "-99");
    bound("someone-elses-socket");
    CWpaCtrl::RemoveStaleSockets(runtime);
    EXPECT_FALSE(std::filesystem::exists(runtime + "/wavory-wpa-" + std::to_string(child) + "-1"));
    EXPECT_TRUE(std::filesystem::exists(runtime + "/wavory-wpa-" + std::to_string(::getpid()) + "-99"));
    EXPECT_TRUE(std::filesystem::exists(runtime + "/someone-elses-socket"));

    // Open binds there, and Close removes it.
    ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    const std::string path = test::TempHome() + "/wlan-test";
    CFakeSupplicant supplicant(path);
    CWpaCtrl ctrl;
    ASSERT_EQ(ctrl.Open(path), 0);
    EXPECT_EQ(ctrl.LocalPath().rfind(runtime + "/wavory-wpa-", 0), 0u) << ctrl.LocalPath();
    const std::string local = ctrl.LocalPath();
    ctrl.Close();
    EXPECT_FALSE(std::filesystem::exists(local));
    if (saved)
        ::setenv("XDG_RUNTIME_DIR", savedText.c_str(), 1);
    else
        ::unsetenv("XDG_RUNTIME_DIR");
}

TEST(WpaCtrlTest, NobodyListening) {
    CWpaCtrl ctrl;
    EXPECT_EQ(ctrl.Open(test::TempHome() + "/no-such-socket"), -ENOENT);
    EXPECT_FALSE(ctrl.IsOpen());
    EXPECT_LT(ctrl.Open(std::string(200, 'x')), 0);
}

}  // namespace
}  // namespace wavory::kccl
