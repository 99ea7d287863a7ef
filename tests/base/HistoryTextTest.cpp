// The history's sentences, which the command line and the window both show: where the station was
// as far as known, the reason in words, and the network's name never taken as anything but text.
#include <gtest/gtest.h>

#include "base/History.h"

namespace wavory {
namespace {

using EKind = SHistoryEvent::EKind;

SHistoryEvent Event(EKind kind, std::string ssid = "Marina") {
    SHistoryEvent e;
    e.kind = kind;
    e.ssid = std::move(ssid);
    return e;
}

TEST(HistoryTextTest, PlacesSayWhatIsKnownOnly) {
    EXPECT_EQ(HistoryPlace("3C-84-6A-51-0E-24", 5180, -57), "3C-84-6A-51-0E-24, 5 GHz, -57 dBm");
    EXPECT_EQ(HistoryPlace("", 2412, 0), "2.4 GHz");
    EXPECT_EQ(HistoryPlace("", 0, -70), "-70 dBm");
    EXPECT_EQ(HistoryPlace("", 0, 0), "");
    // The bands' edges: channel 14 is 2.4 GHz, 6 GHz starts above 5925 MHz.
    EXPECT_EQ(BandOfFrequency(2484), "2.4 GHz");
    EXPECT_EQ(BandOfFrequency(5885), "5 GHz");
    EXPECT_EQ(BandOfFrequency(5955), "6 GHz");
}

TEST(HistoryTextTest, EachKindInOneSentence) {
    SHistoryEvent connect = Event(EKind::Connect);
    EXPECT_EQ(HistorySentence(connect), "Connected to \"Marina\"");  // nothing known of where
    connect.bssid = "3C-84-6A-51-0E-24";
    connect.freqMHz = 5180;
    EXPECT_EQ(HistorySentence(connect), "Connected to \"Marina\" (3C-84-6A-51-0E-24, 5 GHz)");

    SHistoryEvent roam = Event(EKind::Roam);
    roam.prevBssid = "3C-84-6A-51-0E-24", roam.prevFreqMHz = 5180, roam.prevSignalDbm = -78;
    roam.bssid = "3C-84-6A-51-0E-31", roam.freqMHz = 2437, roam.signalDbm = -61;
    EXPECT_EQ(
        HistorySentence(roam),
        "Roamed on \"Marina\" from 3C-84-6A-51-0E-24, 5 GHz, -78 dBm to 3C-84-6A-51-0E-31, 2.4 GHz, -61 dBm");

    SHistoryEvent join = Event(EKind::Join);
    join.outcome = "failed";
    join.durationMs = 10230;
    join.detail = "4-way handshake timeout: usually a wrong passphrase";
    EXPECT_EQ(HistorySentence(join),
              "Could not join \"Marina\" (10230 ms): 4-way handshake timeout: usually a wrong passphrase");
    join.outcome = "joined";  // a join that worked tells no cause
    EXPECT_EQ(HistorySentence(join), "Joined \"Marina\" (10230 ms)");

    SHistoryEvent link = Event(EKind::Link);
    link.signalMin = -70, link.signalMean = -65, link.signalMax = -60;
    link.txKbps = 144400, link.rxKbps = 86700;
    EXPECT_EQ(
        HistorySentence(link),
        "Link on \"Marina\": signal -70/-65/-60 dBm (min/mean/max), rates 144/86 Mbit/s (send/receive)");
}

TEST(HistoryTextTest, OutsideTextIsEscapedNotInterpreted) {
    SHistoryEvent drop = Event(EKind::Disconnect, std::string("Dock\x1b[2J\"\n", 10));
    drop.detail = std::string("gone\x07", 5);
    const std::string text = HistorySentence(drop);
    EXPECT_EQ(text, "Disconnected from \"Dock\\x1b[2J\"\\x0a\": gone\\x07");
    for (char c : text) EXPECT_GE(static_cast<unsigned char>(c), 0x20);
}

}  // namespace
}  // namespace wavory
