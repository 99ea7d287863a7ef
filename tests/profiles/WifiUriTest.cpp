// The Wi-Fi URI of a shared network: what is written reads back the same, hostile text is refused
// with its reason.
#include <gtest/gtest.h>

#include "profiles/Profile.h"
#include "profiles/WifiUri.h"

using namespace wavory;

namespace {

CProfile Make(const std::string& name) {
    CProfile p("Share", false);
    p.NetName = name;
    return p;
}

WifiUri RoundTrip(const CProfile& p) {
    std::string error;
    const std::string text = WriteWifiUri(p, &error);
    EXPECT_EQ(error, "");
    WifiUri back;
    EXPECT_TRUE(ParseWifiUri(text, &back, &error)) << text << ": " << error;
    return back;
}

TEST(WifiUriTest, EveryProfileKindReadsBack) {
    CProfile open = Make("Cafe");
    EXPECT_EQ(WriteWifiUri(open, nullptr), "WIFI:T:nopass;S:Cafe;;");
    EXPECT_EQ(RoundTrip(open).type, "nopass");

    CProfile wpa2 = Make("Home");
    wpa2.WpaMode = 3;
    wpa2.WpaPassphrase = "correct horse";
    EXPECT_EQ(WriteWifiUri(wpa2, nullptr), "WIFI:T:WPA;S:Home;P:correct horse;;");
    EXPECT_EQ(RoundTrip(wpa2).passphrase, "correct horse");

    CProfile sae = Make("Lab");
    sae.WpaMode = 4;
    sae.WpaPassphrase = std::string(64, 'a');
    const WifiUri s = RoundTrip(sae);
    EXPECT_EQ(s.type, "SAE");
    EXPECT_EQ(s.passphrase, std::string(64, 'a'));

    CProfile wep = Make("Old");
    wep.SecType = 1;
    wep.ActiveSecKey = 1;
    wep.SecKey[1] = "0123456789";
    EXPECT_EQ(RoundTrip(wep).passphrase, "0123456789");
    EXPECT_EQ(RoundTrip(wep).type, "WEP");

    CProfile owe = Make("Airport");
    owe.WpaMode = 5;
    EXPECT_EQ(RoundTrip(owe).type, "nopass");
}

TEST(WifiUriTest, EnterpriseIsRefusedWithTheReason) {
    CProfile p = Make("Corp");
    p.WpaMode = 7;
    p.EapPassword = "secret";
    std::string error;
    EXPECT_EQ(WriteWifiUri(p, &error), "");
    EXPECT_NE(error.find("phones cannot join them by QR"), std::string::npos) << error;
}

TEST(WifiUriTest, HostileNamesSurviveTheRoundTrip) {
    for (const std::string& name :
         {std::string("caf\xC3\xA9 \xF0\x9F\x93\xB6"), std::string("a;b"), std::string("back\\slash"),
          std::string("\"quoted\""), std::string("x:y,z;;"), std::string(32, ';')}) {
        CProfile p = Make(name);
        p.WpaMode = 3;
        p.WpaPassphrase = "p;a\\s:s,\"word";
        const WifiUri back = RoundTrip(p);
        EXPECT_EQ(back.ssid, name);
        EXPECT_EQ(back.passphrase, p.WpaPassphrase);
    }
    CProfile nul = Make(std::string("a\0b", 3));
    std::string error;
    EXPECT_EQ(WriteWifiUri(nul, &error), "");
    EXPECT_NE(error.find("NUL"), std::string::npos) << error;
    EXPECT_EQ(WriteWifiUri(Make(std::string(33, 'x')), &error), "");
    EXPECT_NE(error.find("32 bytes"), std::string::npos) << error;
}

TEST(WifiUriTest, ParsesAnyFieldOrderAndIgnoresUnknownFields) {
    WifiUri uri;
    std::string error;
    ASSERT_TRUE(ParseWifiUri("WIFI:H:true;P:password1;X:whatever;S:Net\\;1;T:WPA;;", &uri, &error)) << error;
    EXPECT_EQ(uri.ssid, "Net;1");
    EXPECT_EQ(uri.passphrase, "password1");
    EXPECT_EQ(uri.type, "WPA");
    EXPECT_TRUE(uri.hidden);
}

TEST(WifiUriTest, HostileUrisAreRefusedWithTheirReason) {
    const struct {
        std::string text;
        std::string reason;
    } cases[] = {
        {"WIFI:T:WPA;S:" + std::string(33, 'n') + ";P:password1;;", "32 bytes"},
        {"WIFI:T:WPA;S:n;P:short;;", "8 to 63"},
        {"WIFI:T:WPA;S:n;P:" + std::string(64, 'g') + ";;", "8 to 63"},
        {"WIFI:T:WPA;S:n;P:" + std::string(65, 'a') + ";;", "8 to 63"},
        {"WIFI:T:WPA;S:n\\q;P:password1;;", "bad escape"},
        {"WIFI:T:WPA;S:n;P:password1\\", "escape"},
        {"WIFI:T:WPA;S:a\nb;P:password1;;", "control characters"},
        {"WIFI:T:WPA;S:n;P:pass\x7fword1;;", "control characters"},
        {std::string("WIFI:T:nopass;S:a\0b;;", 22), "NUL"},
        {"WIFI:T:WPA;P:password1;;", "no \"S:\""},
        {"WIFI:T:WPA;S:n;P:password1;", "\";;\""},
        {"WIFI:T:WPA;S:n;P:password1", "\";;\""},
        {"WIFI:T:WPA;S:n;P:password1;;extra", "follows"},
        {"MAILTO:x", "WIFI:"},
        {"WIFI:T:WPA2X;S:n;P:password1;;", "unknown security type"},
        {"WIFI:T:nopass;S:n;P:password1;;", "no passphrase"},
    };
    for (const auto& c : cases) {
        WifiUri uri;
        std::string error;
        EXPECT_FALSE(ParseWifiUri(c.text, &uri, &error)) << c.text;
        EXPECT_NE(error.find(c.reason), std::string::npos) << c.text << " -> " << error;
    }
}

}  // namespace
