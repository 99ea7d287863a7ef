// What NetworkManager and wpa_supplicant are told to run a hotspot: the access-point connection's
// settings and the supplicant block's commands, and what neither can be asked.
#include <gtest/gtest.h>

#include <algorithm>

#include "HotspotSettings.h"
#include "kccl_oid.h"

namespace wavory::kccl {
namespace {

SHotspotStart Start(uint8_t security, uint32_t freq, std::string passphrase = "mooring-lines") {
    SHotspotStart s;
    s.interfaceName = "wlan1";
    s.ssid = std::string("Deck\0\xff", 6);
    s.security = security;
    s.freqMhz = freq;
    s.passphrase = std::move(passphrase);
    s.uuid = "0b1f3c1e-6a36-4d5e-9a43-2c6f0d0c7f11";
    s.user = "wavory";
    return s;
}

template <typename T>
T Value(const NmSettings& s, const std::string& group, const std::string& key) {
    const auto g = s.find(group);
    if (g == s.end() || !g->second.count(key)) {
        ADD_FAILURE() << "no property " << group << "." << key;
        return T{};
    }
    const NmValue& v = g->second.at(key);
    if (!std::holds_alternative<T>(v)) {
        ADD_FAILURE() << group << "." << key << " has another D-Bus type";
        return T{};
    }
    return std::get<T>(v);
}

TEST(HotspotSettingsTest, NetworkManagersAccessPointSharesItsAddressesAndKeepsItsSecret) {
    const NmSettings s = BuildHotspotSettings(Start(KCOM_HOTSPOT_WPA2, 2437));
    ASSERT_FALSE(s.empty());
    EXPECT_EQ(Value<std::string>(s, "connection", "id"), kNmHotspotId);
    EXPECT_EQ(Value<std::string>(s, "connection", "interface-name"), "wlan1");
    EXPECT_FALSE(Value<bool>(s, "connection", "autoconnect"));
    EXPECT_EQ(Value<std::vector<std::string>>(s, "connection", "permissions"),
              std::vector<std::string>{"user:wavory"});
    const std::string ssid("Deck\0\xff", 6);
    EXPECT_EQ(Value<std::vector<uint8_t>>(s, "802-11-wireless", "ssid"),
              std::vector<uint8_t>(ssid.begin(), ssid.end()));
    EXPECT_EQ(Value<std::string>(s, "802-11-wireless", "mode"), "ap");
    EXPECT_EQ(Value<std::string>(s, "802-11-wireless", "band"), "bg");
    EXPECT_EQ(Value<uint32_t>(s, "802-11-wireless", "channel"), 6u);
    EXPECT_EQ(Value<std::string>(s, "802-11-wireless-security", "key-mgmt"), "wpa-psk");
    EXPECT_EQ(Value<std::string>(s, "802-11-wireless-security", "psk"), "mooring-lines");
    EXPECT_EQ(Value<uint32_t>(s, "802-11-wireless-security", "psk-flags"), 0u);  // no agent asked
    EXPECT_EQ(Value<std::vector<std::string>>(s, "802-11-wireless-security", "pairwise"),
              std::vector<std::string>{"ccmp"});
    EXPECT_EQ(Value<std::string>(s, "ipv4", "method"), "shared");
    EXPECT_EQ(Value<std::string>(s, "ipv6", "method"), "ignore");

    const NmSettings wpa3 = BuildHotspotSettings(Start(KCOM_HOTSPOT_WPA3, 5745));
    ASSERT_FALSE(wpa3.empty());
    EXPECT_EQ(Value<std::string>(wpa3, "802-11-wireless", "band"), "a");
    EXPECT_EQ(Value<uint32_t>(wpa3, "802-11-wireless", "channel"), 149u);
    EXPECT_EQ(Value<std::string>(wpa3, "802-11-wireless-security", "key-mgmt"), "sae");
    EXPECT_EQ(Value<uint32_t>(wpa3, "802-11-wireless-security", "pmf"), 3u);

    const NmSettings open = BuildHotspotSettings(Start(KCOM_HOTSPOT_OPEN, 2412, ""));
    ASSERT_FALSE(open.empty());
    EXPECT_EQ(open.count("802-11-wireless-security"), 0u);
    EXPECT_EQ(Value<std::string>(open, "ipv4", "method"), "shared");
}

TEST(HotspotSettingsTest, WhatNetworkManagerCannotRunMakesNoConnection) {
    EXPECT_TRUE(BuildHotspotSettings(Start(KCOM_HOTSPOT_WPA2_WPA3, 2437)).empty());  // one key management
    EXPECT_TRUE(BuildHotspotSettings(Start(KCOM_HOTSPOT_WPA3, 5975)).empty());       // no 6 GHz band
    EXPECT_TRUE(BuildHotspotSettings(Start(KCOM_HOTSPOT_WPA2, 0)).empty());          // no channel
    EXPECT_TRUE(BuildHotspotSettings(Start(KCOM_HOTSPOT_WPA2, 2437, "short")).empty());
    EXPECT_TRUE(BuildHotspotSettings(Start(KCOM_HOTSPOT_WPA2, 2437, "mooring\nlines")).empty());
    EXPECT_TRUE(BuildHotspotSettings(Start(KCOM_HOTSPOT_OPEN, 2437, "mooring-lines")).empty());
    SHotspotStart longName = Start(KCOM_HOTSPOT_WPA2, 2437);
    longName.ssid.assign(33, 'n');
    EXPECT_TRUE(BuildHotspotSettings(longName).empty());
    SHotspotStart noUser = Start(KCOM_HOTSPOT_WPA2, 2437);
    noUser.user.clear();
    EXPECT_TRUE(BuildHotspotSettings(noUser).empty());
}

TEST(HotspotSettingsTest, TheSupplicantsBlockIsAnAccessPointOnTheChosenFrequency) {
    const std::vector<std::string> wpa2 = HotspotBlockSettings(Start(KCOM_HOTSPOT_WPA2, 2437));
    EXPECT_EQ(wpa2, (std::vector<std::string>{"ssid 4465636b00ff", "mode 2", "frequency 2437",
                                              "key_mgmt WPA-PSK", "proto RSN", "pairwise CCMP", "group CCMP",
                                              "psk \"mooring-lines\"", "id_str \"wavory-hotspot\""}));
    const auto has = [](const std::vector<std::string>& list, const std::string& line) {
        return std::find(list.begin(), list.end(), line) != list.end();
    };
    const std::vector<std::string> wpa3 = HotspotBlockSettings(Start(KCOM_HOTSPOT_WPA3, 5180));
    EXPECT_TRUE(has(wpa3, "key_mgmt SAE"));
    EXPECT_TRUE(has(wpa3, "ieee80211w 2"));
    const std::vector<std::string> both = HotspotBlockSettings(Start(KCOM_HOTSPOT_WPA2_WPA3, 5180));
    EXPECT_TRUE(has(both, "key_mgmt WPA-PSK SAE"));
    EXPECT_TRUE(has(both, "ieee80211w 1"));
    const std::vector<std::string> open = HotspotBlockSettings(Start(KCOM_HOTSPOT_OPEN, 2412, ""));
    EXPECT_TRUE(has(open, "key_mgmt NONE"));
    EXPECT_FALSE(
        std::any_of(open.begin(), open.end(), [](const std::string& s) { return s.rfind("psk", 0) == 0; }));

    // The supplicant reads a quoted value to its last quote: quotes within stay the passphrase's.
    EXPECT_TRUE(has(HotspotBlockSettings(Start(KCOM_HOTSPOT_WPA2, 2437, "say \"hi\" now")),
                    "psk \"say \"hi\" now\""));

    EXPECT_TRUE(HotspotBlockSettings(Start(KCOM_HOTSPOT_WPA2, 0)).empty());
    EXPECT_TRUE(HotspotBlockSettings(Start(KCOM_HOTSPOT_WPA2, 2437, "1234567")).empty());
    EXPECT_TRUE(HotspotBlockSettings(Start(9, 2437)).empty());
}

}  // namespace
}  // namespace wavory::kccl
