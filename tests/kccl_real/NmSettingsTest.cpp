// The connection the utility hands NetworkManager for a profile, and how NetworkManager's device
// states and errors become the library's results.
#include <gtest/gtest.h>

#include <cstring>
#include <regex>

#include "NmSettings.h"
#include "Refusal.h"
#include "kccl_status.h"
#include "TestMain.h"
#include "kccl_adapters.h"
#include "kccl_oid.h"

namespace wavory::kccl {
namespace {

SNmRequest Request(const std::string& ssid) {
    SNmRequest r;
    r.interfaceName = "wlan1";
    r.uuid = "0b1f3c1e-6a36-4d5e-9a43-2c6f0d0c7f11";
    r.ssid = ssid;
    r.user = "wavory";
    return r;
}

template <typename T>
T Value(const NmSettings& s, const std::string& group, const std::string& key) {
    const auto g = s.find(group);
    if (g == s.end()) ADD_FAILURE() << "no setting " << group;
    const auto v = g == s.end() ? g->second.end() : g->second.find(key);
    if (g == s.end() || v == g->second.end()) {
        ADD_FAILURE() << "no property " << group << "." << key;
        return T{};
    }
    if (!std::holds_alternative<T>(v->second)) {
        ADD_FAILURE() << group << "." << key << " has another D-Bus type";
        return T{};
    }
    return std::get<T>(v->second);
}

bool Has(const NmSettings& s, const std::string& group, const std::string& key = {}) {
    const auto g = s.find(group);
    return g != s.end() && (key.empty() || g->second.count(key) != 0);
}

TEST(NmSettingsTest, OpenInfrastructureNetworkIsBoundToTheInterfaceAndNeverConnectsByItself) {
    // An SSID is bytes, not text: a byte that is no UTF-8 must reach NetworkManager unchanged.
    const std::string ssid = std::string("Caf\xE9 ", 5) + std::string(1, '\0') + "x";
    const NmSettings s = BuildConnectionSettings(Request(ssid));
    ASSERT_FALSE(s.empty());
    EXPECT_EQ(Value<std::string>(s, "connection", "type"), "802-11-wireless");
    EXPECT_EQ(Value<std::string>(s, "connection", "interface-name"), "wlan1");
    EXPECT_EQ(Value<std::string>(s, "connection", "uuid"), "0b1f3c1e-6a36-4d5e-9a43-2c6f0d0c7f11");
    EXPECT_FALSE(Value<bool>(s, "connection", "autoconnect"));
    EXPECT_EQ(Value<std::vector<uint8_t>>(s, "802-11-wireless", "ssid"),
              std::vector<uint8_t>(ssid.begin(), ssid.end()));
    EXPECT_EQ(Value<std::string>(s, "802-11-wireless", "mode"), "infrastructure");
    EXPECT_TRUE(Value<bool>(s, "802-11-wireless", "hidden"));
    EXPECT_FALSE(Has(s, "802-11-wireless", "channel"));
    EXPECT_FALSE(Has(s, "802-11-wireless", "powersave"));
    EXPECT_FALSE(Has(s, "802-11-wireless-security"));
    EXPECT_EQ(Value<std::string>(s, "ipv4", "method"), "auto");
    // The id is shown to the user by NetworkManager's tools; it must be valid text whatever the SSID.
    EXPECT_EQ(Value<std::string>(s, "connection", "id"), "Wavory Utility");
    // Only the user who joined sees the connection (and NetworkManager asks only that user's agents).
    EXPECT_EQ(Value<std::vector<std::string>>(s, "connection", "permissions"),
              std::vector<std::string>{"user:wavory"});
    SNmRequest nobody = Request("WavoryOpen");
    nobody.user.clear();
    EXPECT_TRUE(BuildConnectionSettings(nobody).empty()) << "a connection visible to every user";
}

TEST(NmSettingsTest, WepCarriesEveryKeyAsHexTheActiveIndexAndTheAuthentication) {
    SNmRequest r = Request("WavoryShared");
    r.security = 1;
    r.wepKeys[0] = std::string("\x01\x23\x45\x67\x89", 5);
    r.wepKeys[2] = std::string("\x01\x23\x45\x67\x89\xab\xcd\xef\x01\x23\x45\x67\x89", 13);
    r.activeKey = 2;
    NmSettings s = BuildConnectionSettings(r);
    ASSERT_FALSE(s.empty());
    EXPECT_EQ(Value<std::string>(s, "802-11-wireless-security", "key-mgmt"), "none");
    EXPECT_EQ(Value<std::string>(s, "802-11-wireless-security", "auth-alg"), "open");
    EXPECT_EQ(Value<uint32_t>(s, "802-11-wireless-security", "wep-key-type"), 1u);
    EXPECT_EQ(Value<uint32_t>(s, "802-11-wireless-security", "wep-tx-keyidx"), 2u);
    EXPECT_EQ(Value<std::string>(s, "802-11-wireless-security", "wep-key0"), "0123456789");
    EXPECT_EQ(Value<std::string>(s, "802-11-wireless-security", "wep-key2"), "0123456789abcdef0123456789");
    EXPECT_FALSE(Has(s, "802-11-wireless-security", "wep-key1"));
    EXPECT_FALSE(Has(s, "802-11-wireless-security", "psk"));
    // NetworkManager keeps the keys itself: no agent owns them, so none is asked for them.
    EXPECT_EQ(Value<uint32_t>(s, "802-11-wireless-security", "wep-key-flags"), 0u);

    r.wepSharedKey = true;
    s = BuildConnectionSettings(r);
    EXPECT_EQ(Value<std::string>(s, "802-11-wireless-security", "auth-alg"), "shared");
}

TEST(NmSettingsTest, WepWithoutItsActiveKeyOrWithAKeyOfAnOddLengthIsNoConnection) {
    SNmRequest r = Request("WavoryWEP");
    r.security = 1;
    r.wepKeys[0] = "abcde";
    r.activeKey = 1;  // no key there
    EXPECT_TRUE(BuildConnectionSettings(r).empty());
    r.activeKey = 0;
    r.wepKeys[3] = "abcdefg";  // neither 5 nor 13 bytes
    EXPECT_TRUE(BuildConnectionSettings(r).empty());
    r.wepKeys[3].clear();
    r.activeKey = 4;
    EXPECT_TRUE(BuildConnectionSettings(r).empty());
}

TEST(NmSettingsTest, WpaPersonalTakesThePassphraseWpaAccepts) {
    SNmRequest r = Request("WavoryWPA2");
    r.security = 3;
    r.passphrase = "wavory-passphrase";
    NmSettings s = BuildConnectionSettings(r);
    ASSERT_FALSE(s.empty());
    EXPECT_EQ(Value<std::string>(s, "802-11-wireless-security", "key-mgmt"), "wpa-psk");
    EXPECT_EQ(Value<std::string>(s, "802-11-wireless-security", "psk"), "wavory-passphrase");
    EXPECT_EQ(Value<uint32_t>(s, "802-11-wireless-security", "psk-flags"), 0u);
    EXPECT_FALSE(Has(s, "802-11-wireless-security", "wep-key0"));

    r.security = 4;
    s = BuildConnectionSettings(r);
    EXPECT_EQ(Value<std::string>(s, "802-11-wireless-security", "key-mgmt"), "sae");

    const std::string hex(64, 'a');
    r.passphrase = hex;
    EXPECT_TRUE(BuildConnectionSettings(r).empty()) << "SAE has no raw key";
    r.security = 3;
    EXPECT_FALSE(BuildConnectionSettings(r).empty()) << "WPA2 takes 64 hexadecimal digits";
    for (const std::string& bad : {std::string("short"), std::string(64, 'g'), std::string(65, 'a'),
                                   std::string("tab\tinside"), std::string()}) {
        r.passphrase = bad;
        EXPECT_TRUE(BuildConnectionSettings(r).empty()) << bad;
    }
    r.security = 2;  // TKIP alone
    r.passphrase = "wavory-passphrase";
    EXPECT_TRUE(BuildConnectionSettings(r).empty());
}

// WPA2 protects management frames where the network does; WPA3 and OWE require it. A transition
// network is joined as WPA3 only where the radio has SAE and the passphrase is no raw key.
TEST(NmSettingsTest, EachSecurityKindGetsItsKeyManagementAndFrameProtection) {
    SNmRequest r = Request("Wavory5G");
    r.passphrase = "wavory-sae-pass";
    const auto keyMgmt = [&](uint32_t security, bool sae = true) {
        r.security = security;
        r.sae = sae;
        const NmSettings s = BuildConnectionSettings(r);
        if (s.empty()) return std::string("(none)");
        return Value<std::string>(s, "802-11-wireless-security", "key-mgmt") + "/" +
               std::to_string(Value<uint32_t>(s, "802-11-wireless-security", "pmf"));
    };
    EXPECT_EQ(keyMgmt(KCOM_SECURITY_MODE_WPA2_PERSONAL), "wpa-psk/2");
    EXPECT_EQ(keyMgmt(KCOM_SECURITY_MODE_WPA3_PERSONAL), "sae/3");
    EXPECT_EQ(keyMgmt(KCOM_SECURITY_MODE_WPA2_WPA3_PERSONAL), "sae/3");
    EXPECT_EQ(keyMgmt(KCOM_SECURITY_MODE_WPA2_WPA3_PERSONAL, false), "wpa-psk/2");
    r.passphrase = std::string(64, 'b');
    EXPECT_EQ(keyMgmt(KCOM_SECURITY_MODE_WPA2_WPA3_PERSONAL), "wpa-psk/2");
    EXPECT_EQ(keyMgmt(KCOM_SECURITY_MODE_WPA3_PERSONAL), "(none)");
    r.passphrase.clear();
    EXPECT_EQ(keyMgmt(KCOM_SECURITY_MODE_OWE), "owe/3");
    // 802.1X needs credentials no request carries yet.
    EXPECT_EQ(keyMgmt(KCOM_SECURITY_MODE_WPA2_ENTERPRISE), "(none)");
}

TEST(NmSettingsTest, AdHocCellOnTheProfilesChannelWithLinkLocalAddresses) {
    SNmRequest r = Request("WavoryPeer");
    r.adHoc = true;
    r.channel = 9;
    NmSettings s = BuildConnectionSettings(r);
    ASSERT_FALSE(s.empty());
    EXPECT_EQ(Value<std::string>(s, "802-11-wireless", "mode"), "adhoc");
    EXPECT_EQ(Value<std::string>(s, "802-11-wireless", "band"), "bg");
    EXPECT_EQ(Value<uint32_t>(s, "802-11-wireless", "channel"), 9u);
    EXPECT_EQ(Value<std::string>(s, "ipv4", "method"), "link-local");

    r.channel = 36;
    s = BuildConnectionSettings(r);
    EXPECT_EQ(Value<std::string>(s, "802-11-wireless", "band"), "a");
    for (uint8_t bad : {0, 15, 200}) {
        r.channel = bad;
        EXPECT_TRUE(BuildConnectionSettings(r).empty()) << int(bad);
    }
}

// The access point chosen goes into this attempt's connection; without one, any of the network's.
TEST(NmSettingsTest, TheChosenAccessPointIsTheConnectionsBssid) {
    SNmRequest r = Request("WavoryTwin");
    EXPECT_FALSE(Has(BuildConnectionSettings(r), "802-11-wireless", "bssid"));
    r.bssid = {0x02, 0x00, 0x00, 0x00, 0x24, 0x01};
    EXPECT_EQ(Value<std::vector<uint8_t>>(BuildConnectionSettings(r), "802-11-wireless", "bssid"), r.bssid);
    // An ad-hoc cell has no access point to choose.
    r.adHoc = true;
    r.channel = 1;
    EXPECT_FALSE(Has(BuildConnectionSettings(r), "802-11-wireless", "bssid"));
}

// The preferred access point starts the activation as its specific object, found by its BSSID in
// whatever case NetworkManager writes it; not listed, NetworkManager picks.
TEST(NmSettingsTest, ThePreferredAccessPointIsTheActivationsSpecificObject) {
    const std::vector<std::pair<std::string, std::string>> aps = {
        {"/org/freedesktop/NetworkManager/AccessPoint/7", "02:00:00:00:24:01"},
        {"/org/freedesktop/NetworkManager/AccessPoint/9", "02:00:00:00:25:0A"},
        {"/org/freedesktop/NetworkManager/AccessPoint/11", "not an address"}};
    EXPECT_EQ(NmAccessPointOf(aps, {0x02, 0x00, 0x00, 0x00, 0x25, 0x0a}),
              "/org/freedesktop/NetworkManager/AccessPoint/9");
    EXPECT_EQ(NmAccessPointOf(aps, {0x02, 0x00, 0x00, 0x00, 0x26, 0x01}), "/");
    EXPECT_EQ(NmAccessPointOf({}, {0x02, 0x00, 0x00, 0x00, 0x24, 0x01}), "/");
}

TEST(NmSettingsTest, PowerSaveOnlyWhenAsked) {
    SNmRequest r = Request("WavoryOpen");
    r.powerSave = 3;
    EXPECT_EQ(Value<uint32_t>(BuildConnectionSettings(r), "802-11-wireless", "powersave"), 3u);
}

TEST(NmSettingsTest, NoConnectionWithoutSsidInterfaceOrUuid) {
    EXPECT_TRUE(BuildConnectionSettings(Request("")).empty());
    EXPECT_TRUE(BuildConnectionSettings(Request(std::string(33, 'x'))).empty());
    SNmRequest r = Request("WavoryOpen");
    r.interfaceName.clear();
    EXPECT_TRUE(BuildConnectionSettings(r).empty());
    r = Request("WavoryOpen");
    r.uuid.clear();
    EXPECT_TRUE(BuildConnectionSettings(r).empty());
}

TEST(NmProgressTest, DeviceStatesWhileItWorksOnTheConnection) {
    const struct {
        uint32_t state, reason;
        ENmProgress expected;
    } table[] = {
        {kNmDeviceDisconnected, 0, ENmProgress::Pending},
        {kNmDevicePrepare, 0, ENmProgress::Pending},
        {50, 0, ENmProgress::Pending},  // config: associating
        // Asking for secrets after the key exchange failed means the network refused them: waiting
        // would only let a desktop's agent ask the user. On the way to a WEP network the state
        // passes by without a reason.
        {kNmDeviceNeedAuth, kNmReasonSupplicantDisconnect, ENmProgress::Refused},
        {kNmDeviceNeedAuth, 0, ENmProgress::Pending},
        {kNmDeviceIpConfig, 0, ENmProgress::Associated},  // the link is up; addresses may follow
        {80, 0, ENmProgress::Associated},
        {kNmDeviceActivated, 0, ENmProgress::Associated},
        {kNmDeviceFailed, kNmReasonNoSecrets, ENmProgress::Refused},
        {kNmDeviceFailed, kNmReasonSupplicantDisconnect, ENmProgress::Refused},
        {kNmDeviceFailed, kNmReasonSupplicantTimeout, ENmProgress::Failed},
        {kNmDeviceFailed, kNmReasonSsidNotFound, ENmProgress::Failed},
        {kNmDeviceDeactivating, 39, ENmProgress::Failed},  // deactivated by the user
    };
    for (const auto& row : table)
        EXPECT_EQ(ProgressOfDevice(row.state, row.reason), row.expected) << row.state << "/" << row.reason;
    EXPECT_EQ(ProgressAfterRelease(kNmReasonNoSecrets), ENmProgress::Refused);
    EXPECT_EQ(ProgressAfterRelease(0), ENmProgress::Failed);
}

TEST(NmProgressTest, CausesOfAFailedActivation) {
    const struct {
        ENmProgress progress;
        uint32_t reason;
        bool secured;
        uint32_t cause;
    } table[] = {
        {ENmProgress::Refused, 0, true, KCOM_CAUSE_WRONG_KEY},
        {ENmProgress::Refused, 0, false, KCOM_CAUSE_REFUSED},
        {ENmProgress::Failed, kNmReasonNoSecrets, true, KCOM_CAUSE_WRONG_KEY},
        {ENmProgress::Failed, kNmReasonSsidNotFound, true, KCOM_CAUSE_NOT_FOUND},
        {ENmProgress::Failed, kNmReasonSupplicantTimeout, false, KCOM_CAUSE_TIMEOUT},
        {ENmProgress::Failed, kNmReasonRemoved, false, KCOM_CAUSE_ADAPTER_GONE},
        {ENmProgress::Failed, kNmReasonNewActivation, false, KCOM_CAUSE_CANCELLED},
        {ENmProgress::Failed, kNmReasonUserRequested, true, KCOM_CAUSE_CANCELLED},
        {ENmProgress::Failed, kNmReasonSupplicantFailed, true, KCOM_CAUSE_REFUSED},
    };
    for (const auto& row : table)
        EXPECT_EQ(CauseOfNmFailure(row.progress, row.reason, row.secured), row.cause) << row.reason;
}

TEST(NmErrorTest, ErrorNamesAndTheirStatuses) {
    const struct {
        const char* name;
        const char* message;
        ENmError expected;
    } table[] = {
        {"org.freedesktop.NetworkManager.PermissionDenied", "Not authorized to control networking.",
         ENmError::PermissionDenied},
        {"org.freedesktop.NetworkManager.Settings.PermissionDenied", "Insufficient privileges.",
         ENmError::PermissionDenied},
        {"org.freedesktop.DBus.Error.AccessDenied", "Rejected send message", ENmError::PermissionDenied},
        {"org.freedesktop.NetworkManager.Device.NotAllowed", "Scanning not allowed while unavailable",
         ENmError::NotNow},
        {"org.freedesktop.NetworkManager.Device.NotAllowed", "Not authorized to request a scan",
         ENmError::PermissionDenied},
        {"org.freedesktop.DBus.Error.ServiceUnknown", "", ENmError::Unreachable},
        {"org.freedesktop.DBus.Error.NameHasNoOwner", "", ENmError::Unreachable},
        {"org.freedesktop.NetworkManager.Settings.Connection.InvalidProperty", "802-11-wireless.channel",
         ENmError::InvalidSettings},
        {"org.freedesktop.NetworkManager.UnknownDevice", "", ENmError::Other},
        {"errno", "Connection refused", ENmError::Other},
    };
    for (const auto& row : table)
        EXPECT_EQ(ClassifyNmError(row.name, row.message), row.expected) << row.name << ": " << row.message;

    EXPECT_EQ(StatusOfNmError(ENmError::PermissionDenied), KCCL_STATUS_NM_REFUSED);
    EXPECT_EQ(StatusOfNmError(ENmError::Unreachable), KCCL_STATUS_READ_ONLY);
    EXPECT_EQ(StatusOfNmError(ENmError::InvalidSettings), kStatusInvalidData);
    EXPECT_NE(StatusOfNmError(ENmError::Other), kStatusSuccess);
    EXPECT_NE(StatusOfNmError(ENmError::NotNow), kStatusSuccess);
}

TEST(NmErrorTest, ARefusalNamesNetworkManagersPermissionAndTheInterface) {
    const std::string text = RefusalText(KCCL_STATUS_NM_REFUSED, "wlan7", "");
    EXPECT_NE(text.find("org.freedesktop.NetworkManager.network-control"), std::string::npos) << text;
    EXPECT_NE(text.find("wlan7"), std::string::npos) << text;
    EXPECT_EQ(text.find('\n'), std::string::npos) << "one line";
    EXPECT_NE(RefusalText(KCCL_STATUS_READ_ONLY, "wlan7", "").find("D-Bus"), std::string::npos);
}

TEST(NmUuidTest, RandomBytesBecomeAVersionFourUuid) {
    std::array<uint8_t, 16> bytes{};
    bytes.fill(0xFF);
    const std::string text = UuidText(bytes);
    EXPECT_TRUE(std::regex_match(
        text, std::regex("[0-9a-f]{8}-[0-9a-f]{4}-4[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12}")))
        << text;
    bytes.fill(0);
    EXPECT_EQ(UuidText(bytes), "00000000-0000-4000-8000-000000000000");
}

}  // namespace
}  // namespace wavory::kccl

namespace wavory::kccl {
namespace {

// The network's own settings as NetworkManager is told them.
class NmNetSettingsTest : public ::testing::Test {
protected:
    static SNmRequest WithNet(const std::string& ssid, const SNetRecord& net,
                              const std::string& uuid = "0b1f3c1e-6a36-4d5e-9a43-2c6f0d0c7f11") {
        SNmRequest r = Request(ssid);
        r.uuid = uuid;
        r.net = net;
        return r;
    }
};

TEST_F(NmNetSettingsTest, EachAddressModeIsAnAssignedAddressAndAStableOneIsKeyedToTheNetwork) {
    SNetRecord net;
    EXPECT_FALSE(
        Has(BuildConnectionSettings(WithNet("Home", net)), "802-11-wireless", "assigned-mac-address"));
    net.macMode = KCOM_MAC_DEVICE;
    EXPECT_EQ(Value<std::string>(BuildConnectionSettings(WithNet("Home", net)), "802-11-wireless",
                                 "assigned-mac-address"),
              "permanent");
    net.macMode = KCOM_MAC_RANDOM;
    const NmSettings random = BuildConnectionSettings(WithNet("Home", net));
    EXPECT_EQ(Value<std::string>(random, "802-11-wireless", "assigned-mac-address"), "random");
    EXPECT_FALSE(Has(random, "connection", "stable-id"));

    // Every join makes a new connection (a new UUID): the stable ID, from which NetworkManager
    // derives the address, must be the network's and not the connection's.
    net.macMode = KCOM_MAC_STABLE;
    const NmSettings a =
        BuildConnectionSettings(WithNet("Home", net, "11111111-1111-4111-8111-111111111111"));
    const NmSettings b =
        BuildConnectionSettings(WithNet("Home", net, "22222222-2222-4222-8222-222222222222"));
    const NmSettings other = BuildConnectionSettings(WithNet("Cafe", net));
    EXPECT_EQ(Value<std::string>(a, "802-11-wireless", "assigned-mac-address"), "stable");
    EXPECT_EQ(Value<std::string>(a, "connection", "stable-id"),
              Value<std::string>(b, "connection", "stable-id"));
    EXPECT_NE(Value<std::string>(a, "connection", "stable-id"),
              Value<std::string>(other, "connection", "stable-id"));
    // An SSID is bytes: one with a quote or a semicolon must not reach the ID as text.
    // NetworkManager expands "${...}" in a stable ID: a name holding one must not reach it as text.
    const std::string odd =
        Value<std::string>(BuildConnectionSettings(WithNet("a\";${RANDOM}", net)), "connection", "stable-id");
    EXPECT_EQ(odd.find_first_of("\";${}"), std::string::npos) << odd;
}

TEST_F(NmNetSettingsTest, MeteredIsNetworkManagersEnumAsAnInt32) {
    SNetRecord net;
    EXPECT_FALSE(Has(BuildConnectionSettings(WithNet("Home", net)), "connection", "metered"));
    net.metered = true;
    EXPECT_EQ(Value<int32_t>(BuildConnectionSettings(WithNet("Home", net)), "connection", "metered"), 1);
}

TEST_F(NmNetSettingsTest, FixedAddressesGatewaysAndNameServersGoToTheirFamilies) {
    SNetRecord net;
    net.ipv4 = "192.0.2.10/24";
    net.gateway4 = "192.0.2.1";
    net.ipv6 = "2001:db8::10/64";
    net.dns = "192.0.2.53 2001:db8::53 198.51.100.7";
    const NmSettings s = BuildConnectionSettings(WithNet("Home", net));
    ASSERT_FALSE(s.empty());
    EXPECT_EQ(Value<std::string>(s, "ipv4", "method"), "manual");
    EXPECT_EQ(Value<std::vector<SNmAddress>>(s, "ipv4", "address-data"),
              (std::vector<SNmAddress>{{"192.0.2.10", 24}}));
    EXPECT_EQ(Value<std::string>(s, "ipv4", "gateway"), "192.0.2.1");
    // ipv4.dns is au with each address in network byte order, as its bytes stand.
    const auto v4 = Value<std::vector<uint32_t>>(s, "ipv4", "dns");
    ASSERT_EQ(v4.size(), 2u);
    EXPECT_EQ(std::memcmp(&v4[0], "\xC0\x00\x02\x35", 4), 0);
    EXPECT_EQ(std::memcmp(&v4[1], "\xC6\x33\x64\x07", 4), 0);
    EXPECT_TRUE(Value<bool>(s, "ipv4", "ignore-auto-dns"));
    EXPECT_EQ(Value<std::string>(s, "ipv6", "method"), "manual");
    EXPECT_EQ(Value<std::vector<SNmAddress>>(s, "ipv6", "address-data"),
              (std::vector<SNmAddress>{{"2001:db8::10", 64}}));
    EXPECT_FALSE(Has(s, "ipv6", "gateway"));
    const auto v6 = Value<std::vector<std::vector<uint8_t>>>(s, "ipv6", "dns");
    ASSERT_EQ(v6.size(), 1u);
    ASSERT_EQ(v6[0].size(), 16u);
    EXPECT_EQ(v6[0][0], 0x20);
    EXPECT_EQ(v6[0][15], 0x53);

    // Name servers alone keep the addresses automatic; an ad-hoc cell keeps link-local ones.
    SNetRecord dnsOnly;
    dnsOnly.dns = "192.0.2.53";
    const NmSettings d = BuildConnectionSettings(WithNet("Home", dnsOnly));
    EXPECT_EQ(Value<std::string>(d, "ipv4", "method"), "auto");
    EXPECT_FALSE(Has(d, "ipv4", "address-data"));
    EXPECT_FALSE(Has(d, "ipv6", "dns"));
    EXPECT_EQ(Value<std::vector<uint32_t>>(d, "ipv4", "dns").size(), 1u);
}

TEST_F(NmNetSettingsTest, ASettingNoHostCouldHaveMakesNoConnection) {
    for (const char* bad : {"224.0.0.1/24", "192.0.2.1/40", "not-an-address/24"}) {
        SNetRecord net;
        net.ipv4 = bad;
        EXPECT_TRUE(BuildConnectionSettings(WithNet("Home", net)).empty()) << bad;
    }
    SNetRecord dns;
    dns.dns = "resolver.example";
    EXPECT_TRUE(BuildConnectionSettings(WithNet("Home", dns)).empty());
}

}  // namespace
}  // namespace wavory::kccl
