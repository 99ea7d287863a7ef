// Networks carried to and from wpa_supplicant, NetworkManager and iwd: every profile kind written
// for a stack reads back with what that stack knows, documented forms of each file read right, and
// hostile files are refused with a reason.
#include <gtest/gtest.h>

#include <functional>
#include <random>

#include "kccl_oid.h"
#include "profiles/Profile.h"
#include "profiles/StackFiles.h"
#include "profiles/StackNmBus.h"

using namespace wavory;

namespace {

struct SKind {
    const char* label;
    std::function<void(CProfile&)> set;
};

CProfile Base(const std::string& name, const std::string& ssid) {
    CProfile p("", false);
    p.ProfName = name;
    p.NetName = ssid;
    p.NetMode = true;
    p.AutoSelect = true;
    p.Priority = 0;
    return p;
}

void Eap(CProfile& p, int method, int phase2) {
    p.WpaMode = KCOM_SECURITY_MODE_WPA2_ENTERPRISE;
    p.EapMethod = method;
    p.EapPhase2 = phase2;
    p.EapIdentity = "alice@example.org";
    p.EapAnonIdentity = method == KCOM_EAP_TLS ? "" : "anonymous@example.org";
    p.EapCaCert = "/etc/ssl/certs/corp ca.pem";
    p.EapDomain = "radius.example.org";
    if (method == KCOM_EAP_TLS) {
        p.EapClientCert = "/home/alice/alice.pem";
        p.EapPrivateKey = "/home/alice/alice.key";
        p.EapKeyPassword = "key;pass#1";
    } else {
        p.EapPassword = "pa ss;word\"#";
    }
}

const std::vector<SKind>& Kinds() {
    static const std::vector<SKind> kinds{
        {"open", [](CProfile&) {}},
        {"wep",
         [](CProfile& p) {
             p.SecType = 1;
             p.SecKey[0] = "0123456789";
             p.SecKeyLen[0] = 0;
             p.SecKey[2] = "00112233445566778899aabbcc";
             p.SecKeyLen[2] = 1;
             p.ActiveSecKey = 2;
         }},
        {"wpa2", [](CProfile& p) { p.WpaMode = 3, p.WpaPassphrase = " lead;and trail\\ "; }},
        {"wpa2-psk-hex", [](CProfile& p) { p.WpaMode = 3, p.WpaPassphrase = std::string(64, 'c'); }},
        {"wpa3", [](CProfile& p) { p.WpaMode = 4, p.WpaPassphrase = "sae \"quoted\" pass"; }},
        {"transition", [](CProfile& p) { p.WpaMode = 6, p.WpaPassphrase = "both ways 123"; }},
        {"owe", [](CProfile& p) { p.WpaMode = 5; }},
        {"peap", [](CProfile& p) { Eap(p, KCOM_EAP_PEAP, KCOM_PHASE2_MSCHAPV2); }},
        {"ttls-pap", [](CProfile& p) { Eap(p, KCOM_EAP_TTLS, KCOM_PHASE2_PAP); }},
        {"ttls-gtc", [](CProfile& p) { Eap(p, KCOM_EAP_TTLS, KCOM_PHASE2_GTC); }},
        {"tls", [](CProfile& p) { Eap(p, KCOM_EAP_TLS, 0); }},
        {"wpa3-enterprise",
         [](CProfile& p) {
             Eap(p, KCOM_EAP_PEAP, KCOM_PHASE2_MSCHAPV2);
             p.WpaMode = KCOM_SECURITY_MODE_WPA3_ENTERPRISE;
         }},
        {"system-ca",
         [](CProfile& p) {
             Eap(p, KCOM_EAP_PEAP, KCOM_PHASE2_MSCHAPV2);
             p.EapCaCert.clear();
             p.EapSystemCa = true;
         }},
        {"not-auto", [](CProfile& p) { p.AutoSelect = false, p.Priority = -1; }},
        {"stable-address-fixed-ip",
         [](CProfile& p) {
             p.MacAddress = KCOM_MAC_STABLE;
             p.Metered = true;
             p.IPv4Address = "192.0.2.10/24";
             p.IPv4Gateway = "192.0.2.1";
             p.IPv6Address = "2001:db8::10/64";
             p.IPv6Gateway = "2001:db8::1";
             p.DnsServers = "192.0.2.53 2001:db8::53";
         }},
        {"random-address-dns-only",
         [](CProfile& p) {
             p.MacAddress = KCOM_MAC_RANDOM;
             p.DnsServers = "198.51.100.53";
         }},
        {"device-address", [](CProfile& p) { p.MacAddress = KCOM_MAC_DEVICE; }},
        {"pinned-prefers-5ghz",
         [](CProfile& p) {
             p.PinnedBssid = "02:1a:11:00:00:0b";
             p.PreferHighBand = true;
             p.BandFloor = -75;
         }},
        {"adhoc",
         [](CProfile& p) {
             p.NetMode = false;
             p.PhyType = 1;
             p.PhyFreq = 2437;
             p.PhyChnl = ChannelNumberToIndex(1, 6);
         }},
    };
    return kinds;
}

// SSIDs each format has to escape or encode.
const std::vector<std::string>& Ssids() {
    static const std::vector<std::string> ssids{"Home",
                                                "semi;colon \"quote\" back\\slash",
                                                " edge spaces ",
                                                "caf\xC3\xA9 \xF0\x9F\x93\xB6",
                                                std::string("bin\x01\xFF\x7F", 6),
                                                "123;45",
                                                std::string(32, 'x'),
                                                "=3d"};
    return ssids;
}

// What a stack makes of a profile: the fields it does not carry take what it reads back.
void Normalise(EStack stack, CProfile& p) {
    if (stack == EStack::Iwd) {
        p.ProfName = p.NetName;
        if (p.WpaMode == 5) p.WpaMode = 0;
        if (p.WpaMode == 8) p.WpaMode = 7;
        if (p.WpaMode == 3 || p.WpaMode == 4) p.WpaMode = p.WpaPassphrase.size() == 64 ? 3 : 6;
        if (p.WpaMode == 7 && p.EapMethod == KCOM_EAP_PEAP && p.EapPhase2 == 0)
            p.EapPhase2 = KCOM_PHASE2_MSCHAPV2;
        if (p.EapSystemCa && p.EapCaCert.empty()) p.EapSystemCa = false;
    }
    if (stack == EStack::NetworkManager && p.WpaMode == 6) p.WpaMode = 3;
    // Only NetworkManager keeps metered and addresses; iwd no hardware address per network either.
    if (stack != EStack::NetworkManager) {
        p.Metered = false;
        p.IPv4Address = p.IPv4Gateway = p.IPv6Address = p.IPv6Gateway = p.DnsServers = "";
    }
    if (stack == EStack::Iwd) p.MacAddress = 0;
    // No stack keeps a soft band preference; iwd keeps no access point either.
    p.PreferHighBand = false;
    p.BandFloor = -70;
    if (stack == EStack::Iwd) p.PinnedBssid.clear();
}

void ExpectSameNetwork(const CProfile& want, const CProfile& got, const std::string& label) {
    SCOPED_TRACE(label);
    EXPECT_EQ(got.ProfName, want.ProfName);
    EXPECT_EQ(got.NetName, want.NetName);
    EXPECT_EQ(got.NetMode, want.NetMode);
    EXPECT_EQ(got.SecType, want.SecType);
    EXPECT_EQ(got.WpaMode, want.WpaMode);
    EXPECT_EQ(got.WpaPassphrase, want.WpaPassphrase);
    if (want.SecType == 1) {
        EXPECT_EQ(got.SecKey, want.SecKey);
        EXPECT_EQ(got.SecKeyLen, want.SecKeyLen);
        EXPECT_EQ(got.ActiveSecKey, want.ActiveSecKey);
    }
    EXPECT_EQ(got.PhyFreq, want.PhyFreq);
    EXPECT_EQ(got.EapMethod, want.EapMethod);
    EXPECT_EQ(got.EapPhase2, want.EapPhase2);
    EXPECT_EQ(got.EapIdentity, want.EapIdentity);
    EXPECT_EQ(got.EapAnonIdentity, want.EapAnonIdentity);
    EXPECT_EQ(got.EapCaCert, want.EapCaCert);
    EXPECT_EQ(got.EapSystemCa, want.EapSystemCa);
    EXPECT_EQ(got.EapDomain, want.EapDomain);
    EXPECT_EQ(got.EapClientCert, want.EapClientCert);
    EXPECT_EQ(got.EapPrivateKey, want.EapPrivateKey);
    EXPECT_EQ(got.EapKeyPassword, want.EapKeyPassword);
    EXPECT_EQ(got.EapPassword, want.EapPassword);
    EXPECT_EQ(got.MacAddress, want.MacAddress);
    EXPECT_EQ(got.Metered, want.Metered);
    EXPECT_EQ(got.IPv4Address, want.IPv4Address);
    EXPECT_EQ(got.IPv4Gateway, want.IPv4Gateway);
    EXPECT_EQ(got.IPv6Address, want.IPv6Address);
    EXPECT_EQ(got.IPv6Gateway, want.IPv6Gateway);
    EXPECT_EQ(got.DnsServers, want.DnsServers);
    EXPECT_EQ(got.PreferHighBand, want.PreferHighBand);
    EXPECT_EQ(got.BandFloor, want.BandFloor);
    EXPECT_EQ(got.PinnedBssid, want.PinnedBssid);
}

bool IwdTakes(const CProfile& p) { return p.NetMode && p.SecType != 1; }

}  // namespace

TEST(StackFilesTest, EveryKindAndNameSurvivesARoundTripThroughEachStack) {
    for (const EStack stack : {EStack::WpaSupplicant, EStack::NetworkManager, EStack::Iwd}) {
        for (const SKind& kind : Kinds()) {
            for (const std::string& ssid : Ssids()) {
                CProfile p = Base("Profile of " + std::string(kind.label), ssid);
                kind.set(p);
                const std::string label =
                    std::to_string(static_cast<int>(stack)) + " " + kind.label + " " + ssid;
                SStackNetwork back;
                if (stack == EStack::WpaSupplicant) {
                    std::vector<SStackFile> notes;
                    const SStackRead read = ReadWpaSupplicantConf(WriteWpaSupplicantConf({&p}, notes));
                    ASSERT_EQ(read.networks.size(), 1u) << label;
                    back = read.networks[0];
                } else if (stack == EStack::NetworkManager) {
                    const SStackFile file = WriteNmKeyfile(p);
                    ASSERT_EQ(file.refusal, "") << label;
                    back = ReadNmKeyfile(file.text, file.name);
                    // The same connection handed to NetworkManager over the bus and read back from it.
                    NmBusSettings bus;
                    std::string why;
                    ASSERT_TRUE(NmBusOfKeyfile(file.text, bus, why)) << label << ": " << why;
                    std::vector<std::string> notes;
                    const SStackNetwork overBus = ReadNmKeyfile(NmKeyfileOfBus(bus, notes), file.name);
                    EXPECT_EQ(notes, std::vector<std::string>{}) << label;
                    ASSERT_TRUE(overBus.profile) << label << ": " << overBus.refusal;
                    CProfile want(p);
                    Normalise(stack, want);
                    ExpectSameNetwork(want, *overBus.profile, label + " over the bus");
                    EXPECT_EQ(overBus.autoConnect, p.AutoSelect) << label;
                    EXPECT_EQ(overBus.priority, back.priority) << label;
                } else {
                    const SStackFile file = WriteIwdFile(p);
                    if (!IwdTakes(p)) {
                        EXPECT_NE(file.refusal, "") << label;
                        continue;
                    }
                    ASSERT_EQ(file.refusal, "") << label;
                    back = ReadIwdFile(file.text, file.name);
                }
                ASSERT_TRUE(back.profile) << label << ": " << back.refusal;
                EXPECT_EQ(back.autoConnect, p.AutoSelect) << label;
                CProfile want(p);
                want.ProfName = p.ProfName;
                Normalise(stack, want);
                ExpectSameNetwork(want, *back.profile, label);
            }
        }
    }
}

TEST(StackFilesTest, WpaSupplicantFileReadsItsDocumentedForms) {
    const SStackRead read = ReadWpaSupplicantConf(R"(# a comment
ctrl_interface=DIR=/run/wpa_supplicant GROUP=netdev
network={
    ssid=P"tab\there\x21"
    psk=0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef
    priority=3
    id_str="work laptop"
}
network={
	ssid="NoMgmt"
	identity="bob"
	eap=TTLS PEAP
	phase2="auth=PAP"
	password=hash:0123456789abcdef0123456789abcdef
	domain_suffix_match="example.org"
}
network={
	ssid="Mixed"
	key_mgmt=WPA-PSK SAE
	psk="mixed passphrase"
	disabled=1
	proto=RSN
}
network={
	ssid="Dyn"
	key_mgmt=IEEE8021X
}
network={
	ssid="AP"
	mode=2
}
network={
	ssid="Wep"
	key_mgmt=NONE
	wep_key0=012345678
}
network={
	ssid="Open"
)");
    ASSERT_EQ(read.networks.size(), 7u);
    const auto& n = read.networks;
    ASSERT_TRUE(n[0].profile) << n[0].refusal;
    EXPECT_EQ(n[0].profile->NetName, "tab\there!");
    EXPECT_EQ(n[0].profile->ProfName, "work laptop");
    EXPECT_EQ(n[0].profile->WpaMode, KCOM_SECURITY_MODE_WPA2_PERSONAL);
    EXPECT_EQ(n[0].profile->WpaPassphrase.size(), 64u);
    EXPECT_EQ(n[0].priority, 3);

    // The default key_mgmt with 802.1X settings is WPA2-Enterprise; a password hash is named.
    ASSERT_TRUE(n[1].profile) << n[1].refusal;
    EXPECT_EQ(n[1].profile->WpaMode, KCOM_SECURITY_MODE_WPA2_ENTERPRISE);
    EXPECT_EQ(n[1].profile->EapMethod, KCOM_EAP_TTLS);
    EXPECT_EQ(n[1].profile->EapPhase2, KCOM_PHASE2_PAP);
    EXPECT_EQ(n[1].profile->EapPassword, "");
    EXPECT_EQ(n[1].profile->EapDomain, "example.org");
    const auto named = [](const SStackNetwork& net, const std::string& part) {
        for (const std::string& s : net.notes)
            if (s.find(part) != std::string::npos) return true;
        return false;
    };
    EXPECT_TRUE(named(n[1], "password"));
    EXPECT_TRUE(named(n[1], "PEAP"));

    ASSERT_TRUE(n[2].profile);
    EXPECT_EQ(n[2].profile->WpaMode, KCOM_SECURITY_MODE_WPA2_WPA3_PERSONAL);
    EXPECT_FALSE(n[2].autoConnect);
    EXPECT_TRUE(named(n[2], "proto=RSN"));

    EXPECT_NE(n[3].refusal.find("IEEE8021X"), std::string::npos);
    EXPECT_NE(n[4].refusal.find("mode=2"), std::string::npos);
    EXPECT_NE(n[5].refusal.find("wep_key0"), std::string::npos);
    EXPECT_NE(n[6].refusal.find("not closed"), std::string::npos);
}

TEST(StackFilesTest, NetworkManagerKeyfileReadsItsDocumentedForms) {
    // An SSID as a byte list, the older group names, a secret kept by an agent.
    SStackNetwork net = ReadNmKeyfile(R"([connection]
id=Byte list
type=802-11-wireless
autoconnect-priority=-5
interface-name=wlan0

[802-11-wireless]
ssid=72;105;59;0;
hidden=true

[802-11-wireless-security]
key-mgmt=wpa-psk
psk-flags=1

[ipv4]
method=manual
address1=192.168.1.9/24
)",
                                      "a.nmconnection");
    // A zero byte in the SSID cannot be kept.
    EXPECT_NE(net.refusal.find("zero byte"), std::string::npos);

    net = ReadNmKeyfile(
        "[connection]\nid=x\ntype=wifi\n[wifi]\nssid=72;105;59;\nhidden=true\n"
        "[wifi-security]\nkey-mgmt=wpa-psk\npsk-flags=1\n[ipv4]\nmethod=manual\naddress1=10.0.0.2/8\n",
        "b");
    ASSERT_TRUE(net.profile) << net.refusal;
    EXPECT_EQ(net.profile->NetName, "Hi;");
    EXPECT_EQ(net.profile->WpaPassphrase, "");
    // A fixed address is kept.
    EXPECT_EQ(net.profile->IPv4Address, "10.0.0.2/8");
    std::string all;
    for (const std::string& s : net.notes) all += s + "\n";
    EXPECT_NE(all.find("hidden"), std::string::npos);
    EXPECT_NE(all.find("secret agent"), std::string::npos);
    EXPECT_EQ(all.find("address1"), std::string::npos) << all;

    // Addresses a profile cannot keep are named and left out; the network is kept.
    net = ReadNmKeyfile(
        "[connection]\ntype=wifi\nmetered=1\n[wifi]\nssid=S\ncloned-mac-address=02:11:22:33:44:55\n"
        "[ipv4]\nmethod=manual\naddress1=224.0.0.9/24,192.0.2.1\n[ipv6]\nmethod=shared\n",
        "m");
    ASSERT_TRUE(net.profile) << net.refusal;
    EXPECT_TRUE(net.profile->Metered);
    EXPECT_EQ(net.profile->MacAddress, 0);
    EXPECT_EQ(net.profile->IPv4Address, "");
    all.clear();
    for (const std::string& s : net.notes) all += s + "\n";
    EXPECT_NE(all.find("cloned-mac-address=02:11:22:33:44:55 not kept"), std::string::npos) << all;
    EXPECT_NE(all.find("fixed addresses not kept"), std::string::npos) << all;
    EXPECT_NE(all.find("method=shared"), std::string::npos) << all;

    // Settings left over are named, the values of secrets never.
    net = ReadNmKeyfile(
        "[connection]\ntype=wifi\n[wifi]\nssid=S\nmtu=1400\n[wifi-security]\nkey-mgmt=owe\n"
        "psk=topsecret1\nleap-password=topsecret2\n",
        "c");
    ASSERT_TRUE(net.profile) << net.refusal;
    all.clear();
    for (const std::string& s : net.notes) all += s + "\n";
    EXPECT_NE(all.find("mtu=1400"), std::string::npos);
    EXPECT_NE(all.find("leap-password=(secret)"), std::string::npos);
    EXPECT_EQ(all.find("topsecret"), std::string::npos) << all;

    EXPECT_NE(ReadNmKeyfile("[connection]\ntype=ethernet\n", "e").refusal.find("no Wi-Fi"),
              std::string::npos);
    EXPECT_NE(ReadNmKeyfile("[connection]\ntype=wifi\n[wifi]\nssid=W\n[wifi-security]\nkey-mgmt=none\n"
                            "wep-key-type=2\nwep-key0=secret phrase\n",
                            "w")
                  .refusal.find("passphrase"),
              std::string::npos);
    EXPECT_NE(ReadNmKeyfile("[connection]\ntype=wifi\n[wifi]\nssid=256;\n", "s").refusal, "");
}

// A keyfile's band is a hard lock: 5 GHz becomes the profile's preference, said so; a BSSID is the
// profile's pin unless it is none a station could join. wpa_supplicant's bssid likewise.
TEST(StackFilesTest, BandAndBssidOfTheFilesBecomeThePreferenceAndThePin) {
    const auto notesOf = [](const SStackNetwork& net) {
        std::string all;
        for (const std::string& s : net.notes) all += s + "\n";
        return all;
    };
    SStackNetwork net =
        ReadNmKeyfile("[connection]\ntype=wifi\n[wifi]\nssid=S\nband=a\nbssid=02:1A:11:00:00:0B\n", "a");
    ASSERT_TRUE(net.profile) << net.refusal;
    EXPECT_TRUE(net.profile->PreferHighBand);
    EXPECT_EQ(net.profile->PinnedBssid, "02:1a:11:00:00:0b");
    EXPECT_NE(notesOf(net).find("band=a kept as a preference"), std::string::npos) << notesOf(net);

    net = ReadNmKeyfile("[connection]\ntype=wifi\n[wifi]\nssid=S\nband=bg\nbssid=01:00:5E:00:00:01\n", "b");
    ASSERT_TRUE(net.profile) << net.refusal;
    EXPECT_FALSE(net.profile->PreferHighBand);
    EXPECT_EQ(net.profile->PinnedBssid, "");
    EXPECT_NE(notesOf(net).find("band=bg not kept"), std::string::npos) << notesOf(net);
    EXPECT_NE(notesOf(net).find("bssid=01:00:5E:00:00:01 not kept"), std::string::npos) << notesOf(net);

    for (const char* bad : {"00:00:00:00:00:00", "02:1a:11:00:00", "any"}) {
        const SStackRead read = ReadWpaSupplicantConf(
            std::string("network={\n\tssid=\"S\"\n\tkey_mgmt=NONE\n\tbssid=") + bad + "\n}\n");
        ASSERT_EQ(read.networks.size(), 1u) << bad;
        ASSERT_TRUE(read.networks[0].profile) << bad;
        EXPECT_EQ(read.networks[0].profile->PinnedBssid, "") << bad;
        EXPECT_NE(notesOf(read.networks[0]).find(std::string("bssid=") + bad + " not kept"),
                  std::string::npos)
            << notesOf(read.networks[0]);
    }
}

TEST(StackFilesTest, KeyfilesOneAfterTheOtherAreCutApart) {
    const std::string a = "[connection]\nid=A\ntype=wifi\n[wifi]\nssid=A\n";
    const std::string b = "# comment\n [connection] \nid=B\ntype=wifi\n[wifi]\nssid=B\n";
    const std::string all = a + b + a;  // the pieces point into it
    const auto files = SplitNmKeyfiles(all);
    ASSERT_EQ(files.size(), 3u);
    EXPECT_EQ(files[0], a + "# comment\n");
    EXPECT_EQ(ReadNmKeyfile(files[1], "b").profile->NetName, "B");
    EXPECT_EQ(files[2], a);
    // One file, its group anywhere: not cut.
    EXPECT_EQ(SplitNmKeyfiles("[wifi]\nssid=A\n[connection]\ntype=wifi\n").size(), 1u);
    EXPECT_EQ(SplitNmKeyfiles("").size(), 1u);
}

TEST(StackFilesTest, IwdFileNamesCarryTheSsid) {
    std::string ssid;
    EXPECT_EQ(IwdFileStem("My Net_1-2"), "My Net_1-2");
    EXPECT_EQ(IwdFileStem("a.b"), "=612e62");
    EXPECT_TRUE(IwdSsidOfStem("=612e62", ssid));
    EXPECT_EQ(ssid, "a.b");
    // A name iwd would have written in hexadecimal, odd digits, nothing.
    EXPECT_FALSE(IwdSsidOfStem("a.b", ssid));
    EXPECT_FALSE(IwdSsidOfStem("=612", ssid));
    EXPECT_FALSE(IwdSsidOfStem("=", ssid));

    SStackNetwork net = ReadIwdFile("[Security]\nPreSharedKey=" + std::string(64, 'a') +
                                        "\nSAE-PT-Group19=0011\n[Settings]\nAutoConnect=false\nHidden=true\n",
                                    "=4869.psk");
    ASSERT_TRUE(net.profile) << net.refusal;
    EXPECT_EQ(net.profile->NetName, "Hi");
    EXPECT_EQ(net.profile->WpaMode, KCOM_SECURITY_MODE_WPA2_PERSONAL);
    EXPECT_FALSE(net.autoConnect);
    ASSERT_EQ(net.notes.size(), 1u);
    EXPECT_NE(net.notes[0].find("Hidden"), std::string::npos);

    EXPECT_NE(ReadIwdFile("", "Net.wep").refusal, "");
    EXPECT_NE(ReadIwdFile("[Security]\nEAP-Method=MD5\n", "Net.8021x").refusal.find("EAP-Method"),
              std::string::npos);
}

TEST(StackFilesTest, HostileFilesAreRefusedWithAReason) {
    const std::string huge(kMaxStackFileBytes + 1, '#');
    EXPECT_NE(ReadWpaSupplicantConf(huge).refusal.find("larger"), std::string::npos);
    EXPECT_NE(ReadNmKeyfile(huge, "h").refusal.find("larger"), std::string::npos);
    const std::string longLine = "network={\nssid=\"" + std::string(kMaxStackLineBytes, 'a') + "\"\n}\n";
    EXPECT_NE(ReadWpaSupplicantConf(longLine).refusal.find("longer"), std::string::npos);
    EXPECT_NE(
        ReadIwdFile("[Security]\nPassphrase=" + std::string(kMaxStackLineBytes, 'a') + "\n", "N.psk").refusal,
        "");
    EXPECT_NE(ReadWpaSupplicantConf(std::string("network={\nssid=\"a\0b\"\n}\n", 22)).refusal.find("binary"),
              std::string::npos);
    // Overlong and undecodable values, each refused for its network alone.
    const SStackRead read =
        ReadWpaSupplicantConf("network={\nssid=\"" + std::string(33, 'x') +
                              "\"\n}\nnetwork={\nssid=P\"bad\\q\"\n}\nnetwork={\nssid=0g\n}\n"
                              "network={\nssid=\"Ok\"\nkey_mgmt=NONE\n}\n");
    ASSERT_EQ(read.networks.size(), 4u);
    EXPECT_NE(read.networks[0].refusal.find("32 bytes"), std::string::npos);
    EXPECT_NE(read.networks[1].refusal.find("escape"), std::string::npos);
    EXPECT_NE(read.networks[2].refusal, "");
    EXPECT_TRUE(read.networks[3].profile);
    // A field over the limits of the profile refuses its network, naming the field.
    const SStackRead corp =
        ReadWpaSupplicantConf("network={\nssid=\"Corp\"\nkey_mgmt=WPA-EAP\neap=PEAP\nidentity=\"" +
                              std::string(300, 'i') + "\"\nca_cert=\"/c.pem\"\n}\n");
    ASSERT_EQ(corp.networks.size(), 1u);
    EXPECT_NE(corp.networks[0].refusal.find("EapIdentity"), std::string::npos) << corp.networks[0].refusal;
    EXPECT_NE(ReadNmKeyfile("[connection]\ntype=wifi\nid=a\\qb\n", "e").refusal.find("escape"),
              std::string::npos);
    EXPECT_NE(ReadNmKeyfile("type=wifi\n", "e").refusal.find("before any"), std::string::npos);
    EXPECT_NE(ReadIwdFile("[Security\nPassphrase=x\n", "N.psk").refusal.find("not closed"),
              std::string::npos);

    // Random bytes and shuffled pieces of real files: never a crash, never a profile that breaks
    // the limits.
    std::mt19937 random(36);
    const std::string pieces[] = {
        "network={\n",       "}\n",       "ssid=",      "\"",       "psk=",
        "key_mgmt=",         "SAE ",      "WPA-EAP\n",  "[wifi]\n", "[connection]\ntype=wifi\n",
        "ssid=1;2;",         "\\",        "=",          "\n",       "[Security]\n",
        "EAP-Method=PEAP\n", "wep_key0=", "0123456789", "P\"\\x"};
    for (int round = 0; round < 2000; ++round) {
        std::string text;
        const int count = static_cast<int>(random() % 40);
        for (int i = 0; i < count; ++i) {
            if (random() % 4 == 0)
                text += static_cast<char>(random() % 256);
            else
                text += pieces[random() % std::size(pieces)];
        }
        for (const SStackNetwork& n : ReadWpaSupplicantConf(text).networks)
            if (n.profile) {
                EXPECT_LE(n.profile->NetName.size(), 32u);
            }
        const SStackNetwork nm = ReadNmKeyfile(text, "f");
        if (nm.profile) {
            EXPECT_FALSE(nm.profile->NetName.empty());
        }
        ReadIwdFile(text, "=41.8021x");
    }
}

TEST(StackFilesTest, FileNamesAreMadeSafe) {
    EXPECT_EQ(SafeFileName("a/b\\c\nd"), "a_b_c_d");
    EXPECT_EQ(SafeFileName(".."), "network");
    EXPECT_EQ(SafeFileName(""), "network");
    EXPECT_EQ(SafeFileName(".hidden"), "_.hidden");
    EXPECT_EQ(SafeFileName("-rf"), "_-rf");
    // Cut at 200 bytes, never inside a UTF-8 character.
    const std::string cut = SafeFileName("a" + std::string(100, '\xC3') + std::string(100, '\xA9'));
    EXPECT_LE(cut.size(), 200u);
    std::string many;
    for (int i = 0; i < 150; ++i) many += "\xC3\xA9";
    const std::string safe = SafeFileName(many);
    EXPECT_EQ(safe.size(), 200u);
    EXPECT_EQ(safe.substr(198), "\xC3\xA9");
    const std::string odd = SafeFileName("x" + many);
    EXPECT_EQ(odd.size(), 199u);
}

TEST(StackFilesTest, ExportNamesWhatAFileDoesNotCarry) {
    const auto has = [](const std::vector<std::string>& notes, const std::string& part) {
        for (const std::string& n : notes)
            if (n.find(part) != std::string::npos) return true;
        return false;
    };
    // An enterprise profile without any check of its server: each stack's file would join unchecked.
    CProfile corp = Base("Corp", "Corp");
    Eap(corp, KCOM_EAP_PEAP, KCOM_PHASE2_MSCHAPV2);
    corp.EapCaCert.clear();
    corp.EapDomain.clear();
    std::vector<SStackFile> notes;
    WriteWpaSupplicantConf({&corp}, notes);
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_TRUE(has(notes[0].notes, "not be checked"));
    EXPECT_TRUE(has(WriteNmKeyfile(corp).notes, "not be checked"));
    EXPECT_TRUE(has(WriteIwdFile(corp).notes, "not be checked"));
    // Turned off by the user: nothing to say.
    corp.EapNoCaCheck = true;
    EXPECT_FALSE(has(WriteNmKeyfile(corp).notes, "not be checked"));

    CProfile both = Base("Both", "Both");
    both.WpaMode = KCOM_SECURITY_MODE_WPA2_WPA3_PERSONAL;
    both.WpaPassphrase = "both ways 123";
    EXPECT_TRUE(has(WriteNmKeyfile(both).notes, "wpa-psk"));
    CProfile named = Base("My name", "Net");
    EXPECT_TRUE(has(WriteIwdFile(named).notes, "name is not written"));
    CProfile cell = Base("Cell", "Cell");
    cell.NetMode = false;
    EXPECT_NE(WriteIwdFile(cell).refusal.find("ad-hoc"), std::string::npos);

    // No stack keeps a soft band preference; iwd no pin either.
    CProfile choice = Base("Choice", "Choice");
    choice.PreferHighBand = true;
    choice.PinnedBssid = "02:1a:11:00:00:0b";
    notes.clear();
    WriteWpaSupplicantConf({&choice}, notes);
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_TRUE(has(notes[0].notes, "5/6 GHz preference not written"));
    EXPECT_TRUE(has(WriteNmKeyfile(choice).notes, "band is a hard limit"));
    EXPECT_TRUE(has(WriteIwdFile(choice).notes, "[Rank]"));
    EXPECT_TRUE(has(WriteIwdFile(choice).notes, "pin not written"));
    EXPECT_FALSE(has(WriteNmKeyfile(choice).notes, "pin"));
}

// NetworkManager's answers over the bus: the forms its settings take there (byte arrays, addresses
// in network byte order, address dictionaries) read as its keyfile would give them, and what a
// keyfile cannot carry named.
TEST(StackNmBusTest, SettingsReadOverTheBusBecomeTheKeyfileTheyStandFor) {
    using K = SNmBusValue::EKind;
    const auto text = [](const std::string& t) {
        SNmBusValue v;
        v.kind = K::Text;
        v.text = t;
        return v;
    };
    NmBusSettings s;
    s["connection"]["id"] = text("Office\n[wifi]");
    s["connection"]["type"] = text("802-11-wireless");
    s["connection"]["autoconnect-priority"] = {.kind = K::Int, .number = -5};
    s["802-11-wireless"]["ssid"] = {.kind = K::Bytes, .bytes = {'1', '2', ';', 0x01}};
    s["802-11-wireless"]["seen-bssids"] = {.kind = K::Texts, .texts = {"02:00:00:00:01:00"}};
    s["802-11-wireless-security"]["key-mgmt"] = text("wpa-eap");
    s["802-1x"]["eap"] = {.kind = K::Texts, .texts = {"peap"}};
    s["802-1x"]["identity"] = text(" alice");
    s["802-1x"]["password"] = text("secret;1");
    const std::string caUri = "file:///etc/ssl/corp ca.pem";
    s["802-1x"]["ca-cert"] = {.kind = K::Bytes, .bytes = {caUri.begin(), caUri.end()}};
    s["802-1x"]["ca-cert"].bytes.push_back(0);
    s["802-1x"]["client-cert"] = {.kind = K::Bytes, .bytes = {0x30, 0x82, 0x01}};  // a blob inside NM
    s["802-1x"]["phase2-auth"] = text("mschapv2");
    s["ipv4"]["method"] = text("manual");
    s["ipv4"]["address-data"] = {.kind = K::Dicts, .dicts = {{{"address", "192.0.2.7"}, {"prefix", "24"}}}};
    s["ipv4"]["gateway"] = text("192.0.2.1");
    s["ipv4"]["dns"] = {.kind = K::UInts, .uints = {0x0100000Au}};  // 10.0.0.1, network byte order
    s["ipv4"]["addresses"] = {.kind = K::Other, .text = "aau"};      // the older form, given beside
    s["ipv6"]["method"] = text("auto");
    s["ipv6"]["route-data"] = {.kind = K::Dicts, .dicts = {{{"dest", "2001:db8::"}, {"prefix", "32"}}}};
    s["proxy"]["pac-script"] = {.kind = K::Other, .text = "a{sv}"};
    s["proxy"]["browser-only"] = {.kind = K::Other, .text = "x", .empty = true};

    std::vector<std::string> notes;
    const std::string keyfile = NmKeyfileOfBus(s, notes);
    EXPECT_EQ(keyfile.rfind("[connection]\n", 0), 0u) << keyfile;
    EXPECT_NE(keyfile.find("address1=192.0.2.7/24,192.0.2.1\n"), std::string::npos) << keyfile;
    EXPECT_NE(keyfile.find("dns=10.0.0.1;\n"), std::string::npos) << keyfile;
    EXPECT_EQ(notes, (std::vector<std::string>{
                         "[802-1x] client-cert: a certificate NetworkManager keeps inside the connection is not read",
                         "[ipv6] route-data: 1 entries not read", "[proxy] pac-script: a value of type a{sv} is not read"}));

    const SStackNetwork net = ReadNmKeyfile(keyfile, "Office");
    ASSERT_TRUE(net.profile) << net.refusal;
    EXPECT_EQ(net.profile->ProfName, "Office\n[wifi]");
    EXPECT_EQ(net.profile->NetName, std::string("12;\x01", 4));
    EXPECT_EQ(net.profile->EapIdentity, " alice");
    EXPECT_EQ(net.profile->EapPassword, "secret;1");
    EXPECT_EQ(net.profile->EapCaCert, "/etc/ssl/corp ca.pem");
    EXPECT_EQ(net.priority, -5);

    // And back to the bus: the same dictionary, the older address form aside.
    NmBusSettings again;
    std::string why;
    ASSERT_TRUE(NmBusOfKeyfile(keyfile, again, why)) << why;
    EXPECT_EQ(again["802-11-wireless"]["ssid"].bytes, s["802-11-wireless"]["ssid"].bytes);
    EXPECT_EQ(again["802-1x"]["ca-cert"].bytes, s["802-1x"]["ca-cert"].bytes);
    EXPECT_EQ(again["ipv4"]["dns"].uints, s["ipv4"]["dns"].uints);
    EXPECT_EQ(again["ipv4"]["gateway"].text, "192.0.2.1");
    ASSERT_EQ(again["ipv4"]["address-data"].dicts.size(), 1u);
    EXPECT_EQ(again["ipv4"]["address-data"].dicts[0].at("prefix"), "24");
    EXPECT_EQ(again["connection"]["autoconnect-priority"].number, -5);
    EXPECT_EQ(again["connection"]["type"].text, "802-11-wireless");
}

TEST(StackNmBusTest, KeyfileSettingsTheBusCannotBeToldAreRefusedNotDropped) {
    const std::string head = "[connection]\nid=x\ntype=wifi\n[wifi]\nssid=x\n";
    const std::vector<std::pair<std::string, std::string>> cases{
        {"[wifi]\nfancy-new-thing=1\n", "[wifi] fancy-new-thing"},
        {"[ipv4]\nmethod=manual\naddress1=192.0.2.300/24\n", "[ipv4] address1"},
        {"[ipv4]\naddress1=192.0.2.3/33\n", "[ipv4] address1"},
        {"[ipv4]\ndns=8.8.8.8;example.org;\n", "example.org"},
        {"[ipv6]\ndns=::1;10.0.0.1;\n", "10.0.0.1"},
        {"[wifi]\nbssid=02:00:00:00:00\n", "[wifi] bssid"},
        {"[wifi]\nchannel=-1\n", "[wifi] channel"},
        {"[connection]\nautoconnect=maybe\n", "[connection] autoconnect"},
        {"[802-1x]\nca-cert=relative.pem\n", "[802-1x] ca-cert"},
        {"[vpn]\nservice-type=x\n", "[vpn] service-type"},
    };
    for (const auto& [extra, named] : cases) {
        NmBusSettings out;
        std::string why;
        EXPECT_FALSE(NmBusOfKeyfile(head + extra, out, why)) << extra;
        EXPECT_NE(why.find(named), std::string::npos) << extra << ": " << why;
    }
    NmBusSettings out;
    std::string why;
    EXPECT_FALSE(NmBusOfKeyfile("[wifi]\nssid=x\n", out, why));
    EXPECT_NE(why.find("type"), std::string::npos) << why;
    // The address words NetworkManager takes in place of an address.
    ASSERT_TRUE(NmBusOfKeyfile(head + "cloned-mac-address=stable\n", out, why)) << why;
    EXPECT_EQ(out["802-11-wireless"]["assigned-mac-address"].text, "stable");
    EXPECT_EQ(out["802-11-wireless"].count("cloned-mac-address"), 0u);
}
