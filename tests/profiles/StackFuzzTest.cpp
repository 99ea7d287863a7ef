// Hostile input from outside, mutated at random from valid forms (a fixed seed: every run the same):
// Wi-Fi URIs and other stacks' files never crash or hang their readers, a URI read is one that
// writes back to the same text's meaning, and every network a reader accepts holds a profile the
// store takes.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "kccl_oid.h"
#include "profiles/Profile.h"
#include "profiles/ProfileLimits.h"
#include "profiles/StackFiles.h"
#include "profiles/StackNmBus.h"
#include "profiles/WifiUri.h"

using namespace wavory;

namespace {

// One random change: a byte replaced, inserted or removed, a piece repeated, or the text cut.
std::string Mutate(std::string text, std::mt19937& random) {
    static const std::string kBytes = std::string("\\;,:\"=[]{}#\n\r\t \x01\xFF\xC3\xA9", 19) + "WIFI:SPTH0123456789";
    const auto pick = [&random](std::size_t n) { return n ? std::uniform_int_distribution<std::size_t>(0, n - 1)(random) : 0; };
    const int changes = 1 + static_cast<int>(pick(4));
    for (int c = 0; c < changes; ++c) {
        const std::size_t at = pick(text.size() + 1);
        switch (pick(5)) {
            case 0:
                if (at < text.size()) text[at] = kBytes[pick(kBytes.size())];
                break;
            case 1:
                text.insert(at, 1, kBytes[pick(kBytes.size())]);
                break;
            case 2:
                if (at < text.size()) text.erase(at, 1 + pick(8));
                break;
            case 3: {
                const std::size_t len = pick(std::min<std::size_t>(64, text.size() - std::min(at, text.size())) + 1);
                text.insert(at, text.substr(std::min(at, text.size()), len));
                break;
            }
            default:
                text.resize(at);
        }
    }
    return text;
}

void ExpectStorable(const SStackNetwork& net, const std::string& input) {
    if (!net.profile) {
        EXPECT_FALSE(net.refusal.empty()) << input;
        return;
    }
    EXPECT_EQ(CheckProfileLimits(*net.profile), "") << input;
    EXPECT_FALSE(net.profile->NetName.empty()) << input;
    EXPECT_LE(net.profile->NetName.size(), 32u) << input;
}

}  // namespace

TEST(StackFuzzTest, MutatedWifiUrisAreReadBackExactlyOrRefusedWithAReason) {
    const std::vector<std::string> seeds{"WIFI:T:WPA;S:Lockkeeper;P:canal-gates-at-dawn;;",
                                         "WIFI:T:SAE;S:Marina\\;6E;P:p\\;a\\:s\\\\s\\\"word;H:true;;",
                                         "WIFI:S:caf\xC3\xA9;T:WEP;P:1A2B3C4D5E;;", "WIFI:T:nopass;S:Lighthouse;;"};
    std::mt19937 random(20261210);
    int read = 0;
    for (int i = 0; i < 20000; ++i) {
        const std::string text = Mutate(seeds[static_cast<std::size_t>(i) % seeds.size()], random);
        WifiUri uri;
        std::string error;
        if (!ParseWifiUri(text, &uri, &error)) {
            EXPECT_FALSE(error.empty()) << text;
            continue;
        }
        ++read;
        // What was read writes back to a URI that reads the same.
        std::string again;
        const std::string written = FormatWifiUri(uri, &again);
        ASSERT_FALSE(written.empty()) << text << " -> " << again;
        WifiUri back;
        ASSERT_TRUE(ParseWifiUri(written, &back, &error)) << written << ": " << error;
        EXPECT_EQ(back.ssid, uri.ssid) << text;
        EXPECT_EQ(back.passphrase, uri.passphrase) << text;
        EXPECT_EQ(back.type, uri.type) << text;
        EXPECT_EQ(back.hidden, uri.hidden) << text;
    }
    // The mutations left some URIs intact enough to read: the round trip was exercised.
    EXPECT_GT(read, 500);
}

TEST(StackFuzzTest, MutatedStackFilesNeverYieldAProfileTheStoreRefuses) {
    const std::string wpa =
        "ctrl_interface=/run/wpa_supplicant\nnetwork={\n\tssid=\"Harbour\"\n\tpsk=\"moorings-at-high-tide\"\n"
        "\tpriority=5\n}\nnetwork={\n\tssid=P\"tab\\there\"\n\tkey_mgmt=WPA-EAP\n\teap=PEAP\n\tidentity=\"bob\"\n"
        "\tpassword=\"pw\"\n\tca_cert=\"/etc/ssl/ca.pem\"\n\tphase2=\"auth=MSCHAPV2\"\n}\nnetwork={\n\tssid=4869\n"
        "\tkey_mgmt=NONE\n\twep_key0=0123456789\n}\n";
    const std::string keyfile =
        "[connection]\nid=Office\ntype=wifi\nautoconnect-priority=3\n\n[wifi]\nssid=68;97;114;\nmode=infrastructure\n\n"
        "[wifi-security]\nkey-mgmt=sae\npsk=canal-gates-at-dawn\n\n[ipv4]\nmethod=auto\n";
    const std::string iwd = "[Security]\nPassphrase=canal-gates-at-dawn\n\n[Settings]\nAutoConnect=false\n";
    std::mt19937 random(1210);
    for (int i = 0; i < 4000; ++i) {
        const std::string w = Mutate(wpa, random);
        for (const SStackNetwork& net : ReadWpaSupplicantConf(w).networks) ExpectStorable(net, w);
        const std::string k = Mutate(keyfile, random);
        ExpectStorable(ReadNmKeyfile(k, "fuzz.nmconnection"), k);
        NmBusSettings bus;
        std::string why;
        if (NmBusOfKeyfile(k, bus, why)) {
            std::vector<std::string> notes;
            ExpectStorable(ReadNmKeyfile(NmKeyfileOfBus(bus, notes), "fuzz"), k);
        } else {
            EXPECT_FALSE(why.empty()) << k;
        }
        const std::string f = Mutate(iwd, random);
        ExpectStorable(ReadIwdFile(f, "Lockkeeper.psk"), f);
    }
}
