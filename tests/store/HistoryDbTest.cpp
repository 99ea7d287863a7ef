// The connection history's file: what a query returns, its bounds, one event per happening when
// two programs record at once, and a damaged or foreign file.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "RegTestSupport.h"
#include "store/HistoryDb.h"

namespace wavory {
namespace {

using test::CScratchDir;
using test::Mode;
using test::ReadBytes;
using test::WriteBytes;
using EKind = SHistoryEvent::EKind;

int64_t Now() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

SHistoryEvent Event(EKind kind, const std::string& ssid, const std::string& bssid, int64_t timeMs) {
    SHistoryEvent e;
    e.kind = kind;
    e.ssid = ssid;
    e.bssid = bssid;
    e.timeMs = timeMs;
    return e;
}

class HistoryDbTest : public ::testing::Test {
protected:
    std::string Path() const { return m_Dir.Path("state/wavory/history.db"); }
    CScratchDir m_Dir;
};

TEST_F(HistoryDbTest, QueriesFilterByTimeNetworkAndNewestAndKeepEveryField) {
    CHistoryDb db(Path());
    ASSERT_TRUE(db.Ok()) << db.Error();
    const int64_t t = Now() - 10000;
    SHistoryEvent drop = Event(EKind::Disconnect, std::string("Ma\0rina", 7), "3C-84-6A-51-0E-24", t);
    drop.freqMHz = 5180;
    drop.signalDbm = -61;
    drop.initiator = "access-point";
    drop.reason = 7;
    drop.detail = "The access point forgot this station. (reason 7)";
    ASSERT_TRUE(db.Add(Event(EKind::Connect, std::string("Ma\0rina", 7), "3C-84-6A-51-0E-24", t - 5000)));
    ASSERT_TRUE(db.Add(drop));
    SHistoryEvent join = Event(EKind::Join, "Boatyard", "", t + 1000);
    join.outcome = "failed";
    join.cause = "wrong_key";
    join.durationMs = 302;
    ASSERT_TRUE(db.Add(join));

    const auto all = db.Query({});
    ASSERT_EQ(all.size(), 3u);
    EXPECT_EQ(all[0].kind, EKind::Connect);  // oldest first
    const SHistoryEvent& back = all[1];
    EXPECT_EQ(back.ssid, std::string("Ma\0rina", 7));  // the name's bytes as they are
    EXPECT_EQ(back.timeMs, t);
    EXPECT_EQ(back.freqMHz, 5180);
    EXPECT_EQ(back.signalDbm, -61);
    EXPECT_EQ(back.initiator, "access-point");
    EXPECT_EQ(back.reason, 7);
    EXPECT_EQ(back.detail, drop.detail);
    EXPECT_EQ(all[2].cause, "wrong_key");
    EXPECT_EQ(all[2].durationMs, 302);

    SHistoryQuery network;
    network.ssid = std::string("Ma\0rina", 7);
    EXPECT_EQ(db.Query(network).size(), 2u);
    network.ssid = "Ma";  // no prefix match
    EXPECT_TRUE(db.Query(network).empty());
    SHistoryQuery since;
    since.sinceMs = t;
    EXPECT_EQ(db.Query(since).size(), 2u);
    SHistoryQuery newest;
    newest.limit = 2;
    const auto two = db.Query(newest);
    ASSERT_EQ(two.size(), 2u);
    EXPECT_EQ(two[0].kind, EKind::Disconnect);
    EXPECT_EQ(two[1].kind, EKind::Join);
    SHistoryQuery after;
    after.afterId = two[0].id;
    EXPECT_EQ(db.Query(after).size(), 1u);
}

TEST_F(HistoryDbTest, TheOldestGoFirstBeyondTheCountOrTheAge) {
    CHistoryDb db(Path());
    ASSERT_TRUE(db.Ok()) << db.Error();
    const int64_t hour = 3600 * 1000;
    db.SetBounds(4, 10 * hour, 3, hour);
    const int64_t now = Now();
    ASSERT_TRUE(db.Add(Event(EKind::Join, "Ancient", "", now - 11 * hour)));
    ASSERT_TRUE(db.Add(Event(EKind::Join, "Recent", "", now - 9 * hour)));
    SHistoryEvent oldMinute = Event(EKind::Link, "Net", "00-00-00-00-00-01", now - 2 * hour);
    oldMinute.key = "link:old";
    ASSERT_TRUE(db.Add(oldMinute));
    // What is past its age goes at once, each kind by its own bound.
    ASSERT_EQ(db.Count(), 1);
    EXPECT_EQ(db.Query({})[0].ssid, "Recent");
    for (int i = 0; i < 8; ++i) {
        SHistoryEvent link = Event(EKind::Link, "Net", "00-00-00-00-00-01", now - 1000 + i);
        link.key = "link:" + std::to_string(i);
        ASSERT_TRUE(db.Add(link));
        ASSERT_TRUE(db.Add(Event(EKind::Join, "J" + std::to_string(i), "", now - 1000 + i)));
    }
    // Four events and three minutes: the minutes' summaries crowd no event out.
    const auto kept = db.Query({});
    ASSERT_EQ(kept.size(), 7u);
    std::vector<std::string> names;
    for (const SHistoryEvent& e : kept) names.push_back(e.kind == EKind::Link ? e.key : e.ssid);
    EXPECT_EQ(names, (std::vector<std::string>{"J4", "link:5", "J5", "link:6", "J6", "link:7", "J7"}));
}

TEST_F(HistoryDbTest, TwoRecordersWriteEachHappeningOnce) {
    CHistoryDb window(Path()), watch(Path());
    ASSERT_TRUE(window.Ok() && watch.Ok());
    const int64_t t = Now();
    // Both see the station join, then roam, then drop; each writes what it saw.
    for (CHistoryDb* db : {&window, &watch})
        ASSERT_TRUE(db->Add(Event(EKind::Connect, "Harbour", "00-00-00-00-00-0A", t)));
    for (CHistoryDb* db : {&watch, &window})
        ASSERT_TRUE(db->Add(Event(EKind::Roam, "Harbour", "00-00-00-00-00-0B", t + 10)));
    for (CHistoryDb* db : {&window, &watch})
        ASSERT_TRUE(db->Add(Event(EKind::Disconnect, "Harbour", "00-00-00-00-00-0B", t + 20)));
    SHistoryEvent minute = Event(EKind::Link, "Harbour", "00-00-00-00-00-0B", t + 15);
    minute.key = "link:42";
    for (CHistoryDb* db : {&window, &watch}) ASSERT_TRUE(db->Add(minute));
    // Joins are each program's own attempts: two are two.
    for (CHistoryDb* db : {&window, &watch}) ASSERT_TRUE(db->Add(Event(EKind::Join, "Harbour", "", t + 30)));

    const auto events = window.Query({});
    ASSERT_EQ(events.size(), 6u);
    EXPECT_EQ(events[0].kind, EKind::Connect);
    EXPECT_EQ(events[1].kind, EKind::Roam);
    EXPECT_EQ(events[2].kind, EKind::Disconnect);
    EXPECT_EQ(events[3].kind, EKind::Link);

    // A disconnect first seen without its cause (the link went), then told by the adapter: one event, told.
    ASSERT_TRUE(watch.Add(Event(EKind::Connect, "Harbour", "00-00-00-00-00-0A", t + 32)));
    SHistoryEvent guessed = Event(EKind::Disconnect, "Harbour", "00-00-00-00-00-0A", t + 34);
    guessed.initiator = "unknown";
    ASSERT_TRUE(watch.Add(guessed));
    SHistoryEvent told = Event(EKind::Disconnect, "Harbour", "", t + 33);
    told.initiator = "access-point";
    told.reason = 15;
    told.detail = "4-way handshake timeout";
    ASSERT_TRUE(window.Add(told));
    SHistoryEvent user = Event(EKind::Disconnect, "Harbour", "", t + 35);
    user.initiator = "user";
    ASSERT_TRUE(window.Add(user));  // an account is not replaced by another
    const SHistoryEvent drop = window.Query({}).back();
    EXPECT_EQ(drop.kind, EKind::Disconnect);
    EXPECT_EQ(drop.initiator, "access-point");
    EXPECT_EQ(drop.reason, 15);
    EXPECT_EQ(drop.detail, "4-way handshake timeout");
    EXPECT_EQ(drop.bssid, "00-00-00-00-00-0A");  // kept where the account names none
    EXPECT_EQ(window.Count(), 8);

    // Back on the network, and back on the first access point: news again.
    ASSERT_TRUE(watch.Add(Event(EKind::Connect, "Harbour", "00-00-00-00-00-0B", t + 40)));
    ASSERT_TRUE(window.Add(Event(EKind::Roam, "Harbour", "00-00-00-00-00-0A", t + 50)));
    EXPECT_EQ(watch.Count(), 10);
}

TEST_F(HistoryDbTest, ADamagedFileIsSetAsideAndANewHistoryBegun) {
    CHistoryDb(Path()).Add(Event(EKind::Join, "First", "", Now()));
    const std::string junk(8192, '\x5a');
    WriteBytes(Path(), junk);
    CHistoryDb db(Path());
    ASSERT_TRUE(db.Ok()) << db.Error();
    EXPECT_NE(db.Notice().find("damaged"), std::string::npos);
    EXPECT_EQ(db.Error(), db.Notice());  // told until the first event is written
    const std::string aside = db.Notice().substr(db.Notice().find(Path() + ".damaged-"));
    EXPECT_EQ(ReadBytes(aside.substr(0, aside.find(' '))), junk);  // the user's bytes are kept
    EXPECT_TRUE(db.Query({}).empty());
    ASSERT_TRUE(db.Add(Event(EKind::Join, "Second", "", Now())));
    EXPECT_TRUE(db.Error().empty());
}

TEST_F(HistoryDbTest, TheFileIsTheUsersAlone) {
    CHistoryDb db(Path());
    ASSERT_TRUE(db.Ok()) << db.Error();
    EXPECT_EQ(Mode(Path()) & 0777, 0600u);
    EXPECT_EQ(Mode(m_Dir.Path("state/wavory")) & 0777, 0700u);
}

TEST_F(HistoryDbTest, ASymbolicLinkInItsPlaceIsRefused) {
    WriteBytes(m_Dir.Path("elsewhere"), "");
    std::filesystem::create_directories(m_Dir.Path("state/wavory"));
    std::filesystem::create_symlink(m_Dir.Path("elsewhere"), Path());
    CHistoryDb db(Path());
    EXPECT_FALSE(db.Ok());
    EXPECT_FALSE(db.Error().empty());
    EXPECT_FALSE(db.Add(Event(EKind::Join, "X", "", Now())));
    EXPECT_EQ(ReadBytes(m_Dir.Path("elsewhere")), "");
}

}  // namespace
}  // namespace wavory
