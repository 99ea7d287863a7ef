// What the history recorder makes of a series of looks at the link: connections, roams, drops with
// the adapter's reason or without one, and each minute's summary.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "ListHistory.h"
#include "monitor/HistoryRecorder.h"

namespace wavory {
namespace {

using EKind = SHistoryEvent::EKind;

using CListStore = test::CListHistory;

constexpr int64_t kT0 = 1'800'000'000'000;  // on a minute's boundary

SLinkLook On(const std::string& ssid, const std::string& bssid, int freq, int signal) {
    SLinkLook look;
    look.connected = true;
    look.ssid = ssid;
    look.bssid = bssid;
    look.freqMHz = freq;
    look.signalDbm = signal;
    look.txKbps = 866000;
    look.rxKbps = 433000;
    return look;
}

SLastDisconnect Drop(uint32_t count, uint32_t reason, kccl::EInitiator by, const std::string& ssid) {
    SLastDisconnect drop;
    drop.count = count;
    drop.reason = reason;
    drop.initiator = by;
    drop.ssid = ssid;
    drop.bssid = "00-00-00-00-00-0B";
    drop.timeMs = kT0 + 25'000;
    return drop;
}

class HistoryRecorderTest : public ::testing::Test {
protected:
    std::shared_ptr<CListStore> m_pStore = std::make_shared<CListStore>();
    CHistoryRecorder m_Recorder{[this] { return m_pStore; }};
    std::vector<SHistoryEvent>& Events() { return m_pStore->events; }
    // The events but the minutes' summaries.
    std::vector<SHistoryEvent> Changes() const {
        std::vector<SHistoryEvent> changes;
        for (const SHistoryEvent& e : m_pStore->events)
            if (e.kind != EKind::Link) changes.push_back(e);
        return changes;
    }
};

TEST_F(HistoryRecorderTest, ConnectionRoamAndADropWithTheAdaptersReason) {
    SLinkLook first = On("Harbour", "00-00-00-00-00-0A", 2412, -70);
    first.lastDrop = Drop(3, 3, kccl::EInitiator::AccessPoint, "Old");  // old news at the first look
    m_Recorder.Observe(first, kT0);
    ASSERT_EQ(Changes().size(), 1u);
    EXPECT_EQ(Changes()[0].kind, EKind::Connect);
    EXPECT_EQ(Changes()[0].bssid, "00-00-00-00-00-0A");

    // The same access point again is no news; another one of the network is a roam.
    m_Recorder.Observe(On("Harbour", "00-00-00-00-00-0A", 2412, -72), kT0 + 10'000);
    m_Recorder.Observe(On("Harbour", "00-00-00-00-00-0B", 5180, -55), kT0 + 20'000);
    ASSERT_EQ(Changes().size(), 2u);
    const SHistoryEvent roam = Changes()[1];
    EXPECT_EQ(roam.kind, EKind::Roam);
    EXPECT_EQ(roam.prevBssid, "00-00-00-00-00-0A");
    EXPECT_EQ(roam.prevFreqMHz, 2412);
    EXPECT_EQ(roam.prevSignalDbm, -72);
    EXPECT_EQ(roam.freqMHz, 5180);
    EXPECT_NE(roam.detail.find("from 2.4 GHz to 5 GHz"), std::string::npos) << roam.detail;

    // The access point ends it with reason 7: told in words, timed by the adapter.
    SLinkLook off;
    off.lastDrop = Drop(4, 7, kccl::EInitiator::AccessPoint, "Harbour");
    m_Recorder.Observe(off, kT0 + 30'000);
    ASSERT_EQ(Changes().size(), 3u);
    const SHistoryEvent drop = Changes()[2];
    EXPECT_EQ(drop.kind, EKind::Disconnect);
    EXPECT_EQ(drop.reason, 7);
    EXPECT_EQ(drop.initiator, "access-point");
    EXPECT_EQ(drop.timeMs, kT0 + 25'000);
    EXPECT_EQ(drop.freqMHz, 5180);  // the band it was on, from the last look
    EXPECT_EQ(drop.detail, kccl::DisconnectSentence(7, kccl::EInitiator::AccessPoint));
}

TEST_F(HistoryRecorderTest, DropsWithoutARecordAndBetweenTwoLooks) {
    SLinkLook on = On("Harbour", "00-00-00-00-00-0A", 2412, -60);
    on.lastDrop = Drop(7, 3, kccl::EInitiator::AccessPoint, "Harbour");
    m_Recorder.Observe(on, kT0);
    // A Disconnect the adapter keeps no record of: the user's, said so.
    SLinkLook off;
    off.lastDrop = on.lastDrop;
    off.userDisconnected = true;
    m_Recorder.Observe(off, kT0 + 1000);
    ASSERT_EQ(Changes().size(), 2u);
    EXPECT_EQ(Changes()[1].kind, EKind::Disconnect);
    EXPECT_EQ(Changes()[1].initiator, "user");
    EXPECT_EQ(Changes()[1].reason, 0);

    // Back on, then dropped and joined again between two looks: both are told, in order.
    m_Recorder.Observe(on, kT0 + 2000);
    on.lastDrop = Drop(8, 15, kccl::EInitiator::AccessPoint, "Harbour");
    m_Recorder.Observe(on, kT0 + 12'000);
    ASSERT_EQ(Changes().size(), 5u);
    EXPECT_EQ(Changes()[2].kind, EKind::Connect);
    EXPECT_EQ(Changes()[3].kind, EKind::Disconnect);
    EXPECT_EQ(Changes()[3].reason, 15);
    EXPECT_EQ(Changes()[4].kind, EKind::Connect);

    // Moving to another network ends no connection on the adapter: it is a connection of its own.
    SLinkLook marina = On("Marina", "00-00-00-00-00-0C", 5180, -50);
    marina.lastDrop = on.lastDrop;
    m_Recorder.Observe(marina, kT0 + 22'000);
    ASSERT_EQ(Changes().size(), 6u);
    EXPECT_EQ(Changes()[5].kind, EKind::Connect);
    EXPECT_EQ(Changes()[5].ssid, "Marina");
}

// Why a roam happened: the adapter's record of this very move where it keeps one; a roam that went
// through a disconnect (the access point went away, or this machine moved) is still a roam.
TEST_F(HistoryRecorderTest, RoamsSayWhyTheyHappened) {
    m_Recorder.Observe(On("Harbour", "00-00-00-00-00-0A", 2412, -70), kT0);
    SLinkLook steered = On("Harbour", "00-00-00-00-00-0B", 5180, -50);
    SLastRoam record;
    record.count = 1;
    record.trigger = SLastRoam::ETrigger::ApRequest;
    record.fromBssid = "00-00-00-00-00-0A";
    record.toBssid = "00-00-00-00-00-0B";
    record.fromSignalDbm = -74;
    steered.lastRoam = record;
    m_Recorder.Observe(steered, kT0 + 10'000);
    // A record of another move (an older one) says nothing about this one.
    SLinkLook back = On("Harbour", "00-00-00-00-00-0A", 2412, -66);
    back.lastRoam = record;
    m_Recorder.Observe(back, kT0 + 20'000);
    ASSERT_EQ(Changes().size(), 3u);
    const SHistoryEvent asked = Changes()[1];
    EXPECT_EQ(asked.kind, EKind::Roam);
    EXPECT_EQ(asked.cause, "ap-request");
    EXPECT_EQ(asked.prevSignalDbm, -74);
    EXPECT_NE(asked.detail.find("asked it to move"), std::string::npos) << asked.detail;
    EXPECT_EQ(Changes()[2].kind, EKind::Roam);
    EXPECT_EQ(Changes()[2].cause, "unknown");

    // The access point in use leaves (reason 3) and the adapter is on the other one 4 s later.
    SLinkLook off;
    SLastDisconnect left = Drop(1, 3, kccl::EInitiator::AccessPoint, "Harbour");
    left.bssid = "00-00-00-00-00-0A";
    left.timeMs = kT0 + 25'000;
    off.lastDrop = left;
    m_Recorder.Observe(off, kT0 + 25'000);
    SLinkLook other = On("Harbour", "00-00-00-00-00-0B", 5180, -52);
    other.lastDrop = left;
    m_Recorder.Observe(other, kT0 + 29'000);
    ASSERT_EQ(Changes().size(), 5u);
    EXPECT_EQ(Changes()[3].kind, EKind::Disconnect);
    const SHistoryEvent moved = Changes()[4];
    EXPECT_EQ(moved.kind, EKind::Roam);
    EXPECT_EQ(moved.cause, "ap-gone");
    EXPECT_EQ(moved.prevBssid, "00-00-00-00-00-0A");
    EXPECT_EQ(moved.prevFreqMHz, 2412);
    EXPECT_NE(moved.detail.find("from 2.4 GHz to 5 GHz: the access point it was on went away"),
              std::string::npos)
        << moved.detail;

    // Not a roam: back after the wait, or after a refusal (a failed handshake, reason 15).
    for (const auto& [reason, later] : {std::pair{3u, int64_t{40'000}}, std::pair{15u, int64_t{2'000}}}) {
        const int64_t t = Events().back().timeMs + 60'000;
        SLastDisconnect drop = Drop(left.count + reason, reason, kccl::EInitiator::AccessPoint, "Harbour");
        drop.bssid = "00-00-00-00-00-0B";
        drop.timeMs = t;
        SLinkLook gone;
        gone.lastDrop = drop;
        m_Recorder.Observe(gone, t);
        SLinkLook again = On("Harbour", "00-00-00-00-00-0A", 2412, -60);
        again.lastDrop = drop;
        m_Recorder.Observe(again, t + later);
        ASSERT_EQ(Changes().back().kind, EKind::Connect) << reason;
        m_Recorder.Observe(On("Harbour", "00-00-00-00-00-0B", 5180, -50), t + later + 10'000);
    }
}

// wpa_supplicant follows an access point's request to move by leaving it itself (a local
// disconnect) and joining the other: the adapter's record of that move names the request.
TEST_F(HistoryRecorderTest, AMoveThroughALocalDisconnectTakesTheAdaptersReason) {
    m_Recorder.Observe(On("Harbour", "00-00-00-00-00-0A", 2412, -70), kT0);
    SLastDisconnect left = Drop(1, 3, kccl::EInitiator::ThisMachine, "Harbour");
    left.bssid = "00-00-00-00-00-0A";
    SLinkLook off;
    off.lastDrop = left;
    m_Recorder.Observe(off, kT0 + 25'000);
    SLinkLook other = On("Harbour", "00-00-00-00-00-0B", 5180, -52);
    other.lastDrop = left;
    SLastRoam record;
    record.count = 1;
    record.trigger = SLastRoam::ETrigger::ApRequest;
    record.fromBssid = "00-00-00-00-00-0A";
    record.toBssid = "00-00-00-00-00-0B";
    record.fromSignalDbm = -71;
    other.lastRoam = record;
    m_Recorder.Observe(other, kT0 + 27'000);
    ASSERT_EQ(Changes().size(), 3u);
    EXPECT_EQ(Changes()[2].kind, EKind::Roam);
    EXPECT_EQ(Changes()[2].cause, "ap-request");
    EXPECT_EQ(Changes()[2].prevSignalDbm, -71);

    // A record of a move between other access points is not this one's: its own words stand.
    SLastDisconnect again = Drop(2, 3, kccl::EInitiator::ThisMachine, "Harbour");
    again.bssid = "00-00-00-00-00-0B";
    again.timeMs = kT0 + 60'000;
    SLinkLook off2;
    off2.lastDrop = again;
    m_Recorder.Observe(off2, kT0 + 60'000);
    SLinkLook back = On("Harbour", "00-00-00-00-00-0A", 2412, -60);
    back.lastDrop = again;
    back.lastRoam = record;
    m_Recorder.Observe(back, kT0 + 62'000);
    EXPECT_EQ(Changes().back().kind, EKind::Roam);
    EXPECT_EQ(Changes().back().cause, "unknown");
}

TEST_F(HistoryRecorderTest, EachMinuteIsSummedUpOnce) {
    m_Recorder.Observe(On("Harbour", "00-00-00-00-00-0A", 2412, -60), kT0 + 5000);
    m_Recorder.Observe(On("Harbour", "00-00-00-00-00-0A", 2412, -70), kT0 + 15'000);
    m_Recorder.Observe(On("Harbour", "00-00-00-00-00-0A", 2412, -65), kT0 + 25'000);
    ASSERT_EQ(Events().size(), 1u);  // the connection; the minute is not over
    m_Recorder.Observe(On("Harbour", "00-00-00-00-00-0A", 2412, -50), kT0 + 65'000);
    ASSERT_EQ(Events().size(), 2u);
    const SHistoryEvent& minute = Events()[1];
    EXPECT_EQ(minute.kind, EKind::Link);
    EXPECT_EQ(minute.signalMin, -70);
    EXPECT_EQ(minute.signalMax, -60);
    EXPECT_EQ(minute.signalMean, -65);
    EXPECT_EQ(minute.txKbps, 866000);
    EXPECT_EQ(minute.timeMs, kT0 + 25'000);
    EXPECT_EQ(minute.key, "link:" + std::to_string(kT0 / 60000));
    // The link going down ends the minute's summary early.
    m_Recorder.Observe(SLinkLook{}, kT0 + 70'000);
    ASSERT_EQ(Events().size(), 4u);
    EXPECT_EQ(Events()[2].kind, EKind::Link);
    EXPECT_EQ(Events()[2].signalMin, -50);
    EXPECT_EQ(Events()[3].kind, EKind::Disconnect);
}

TEST(HistoryRecorderStoreTest, AStoreThatCannotBeOpenedIsToldOnce) {
    auto store = std::make_shared<CListStore>();
    store->error = "the connection history file cannot be used: disk I/O error";
    int opened = 0;
    CHistoryRecorder recorder([&] {
        ++opened;
        return store;
    });
    EXPECT_EQ(recorder.TakeError(), "");  // nothing opened before the first event
    recorder.Observe(On("Harbour", "00-00-00-00-00-0A", 2412, -60), kT0);
    recorder.Observe(SLinkLook{}, kT0 + 1000);
    EXPECT_EQ(opened, 1);
    EXPECT_EQ(recorder.TakeError(), store->error);
    EXPECT_EQ(recorder.TakeError(), "");
}

}  // namespace
}  // namespace wavory
