// The profile manager against the real settings store: loading, naming, the auto-selection order,
// removal, lookups, and the faults around names, sections and slots.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "ProfilesFixture.h"
#include "driver/Format.h"
#include "profiles/ProfileMngr.h"
#include "survey/Station.h"

using namespace wavory;
using namespace wavory::test;

class ProfileMngrTest : public ProfilesFixture {
protected:
    void StoreCount(int n) { ASSERT_TRUE(theApp.WriteProfileInt("", "NumOfProfiles", n)); }

    static std::vector<std::string> Names(const CProfileMngr& mngr) {
        std::vector<std::string> names;
        for (const auto& p : mngr.Snapshot()) names.push_back(p->ProfName);
        return names;
    }

    std::string NextName() {
        auto p = m_pMngr->NextAutoSelect();
        return p ? p->ProfName : "-";
    }
};

// ---- Loading ----

TEST_F(ProfileMngrTest, EverySectionLoadsWhateverTheStoredCount) {
    // Sections with gaps and high numbers, and counts that do not match them: none may hide a profile,
    // which the next save would otherwise lose.
    for (int i = 0; i < 120; ++i) {
        if (i % 7 == 3) continue;
        StoreProfile(StrFormat("Profile %d", i < 60 ? i : i * 13), StrFormat("P%03d", i), "x");
    }
    StoreProfile("Profile 4000000", "High", "y", true, 0);
    StoreProfile("Profile x", "NotAProfileSection", "z");
    const int present = 120 - 17 + 1;
    for (const int count : {0, 5, 98, 100, 250, -1}) {
        DropMngr();
        StoreCount(count);
        CProfileMngr& mngr = MakeMngr();
        EXPECT_EQ(mngr.GetCount(), present) << count;
        EXPECT_NE(mngr.GetProfile("High"), nullptr);
        EXPECT_EQ(mngr.GetProfile("NotAProfileSection"), nullptr);
        EXPECT_EQ(mngr.GetAutoCount(), 1);
    }
    // Storing a new profile writes the count of what is stored.
    m_pMngr->GetProfile(m_pMngr->AddProfile())->NetName = "new";
    ASSERT_TRUE(m_pMngr->SaveAll());
    EXPECT_EQ(theApp.GetProfileInt("", "NumOfProfiles", 0), present + 1);
}

TEST_F(ProfileMngrTest, RemovalPastAGapKeepsEveryOtherProfile) {
    for (int i = 0; i < 110; ++i) StoreProfile(StrFormat("Profile %d", i), StrFormat("P%d", i), "x", true, i);
    StoreCount(110);
    MakeMngr().RemoveProfile("P5", true, true);
    EXPECT_EQ(m_pMngr->GetCount(), 109);
    CProfileMngr& again = MakeMngr();
    EXPECT_EQ(again.GetCount(), 109);
    EXPECT_EQ(again.GetAutoCount(), 109);
    EXPECT_EQ(theApp.GetProfileInt("", "NumOfProfiles", 0), 109);
    EXPECT_EQ(again.GetProfile("P109")->Priority, 108);  // the members after it moved up, stored
    EXPECT_FALSE(theApp.m_pRegistry->KeyExists("Profile 5"));
}

TEST_F(ProfileMngrTest, HundredProfilesAllComeBack) {
    m_pRegistry->BeginUpdate();
    for (int i = 0; i < 100; ++i) {
        const std::string section = "Profile " + std::to_string(i);
        StoreProfile(section, "P" + std::to_string(i), "net", i % 2 == 0, i / 2);
    }
    StoreCount(100);
    ASSERT_TRUE(m_pRegistry->EndUpdate());
    CProfileMngr& mngr = MakeMngr();
    EXPECT_EQ(mngr.GetCount(), 100);
    EXPECT_EQ(mngr.GetAutoCount(), 50);
    EXPECT_EQ(mngr.FindByPriority(49)->ProfName, "P98");
}

TEST_F(ProfileMngrTest, GapsInTheOrderAreKeptAndTheWalkPassesOverThem) {
    StoreProfile("Profile 0", "First", "a", true, 0);
    StoreProfile("Profile 1", "Third", "b", true, 2);
    StoreProfile("Profile 2", "Other", "c", false, 1);
    StoreCount(3);
    CProfileMngr& mngr = MakeMngr();
    EXPECT_EQ(mngr.GetAutoCount(), 3);
    EXPECT_EQ(mngr.GetProfile("Other")->Priority, -1);
    std::vector<std::string> tried;
    for (int i = 0; i < 4; ++i) tried.push_back(NextName());
    EXPECT_EQ(tried, (std::vector<std::string>{"First", "Third", "First", "Third"}));

    // Losing the connection with restart starts again at the top; a connection does not.
    mngr.NextAutoSelect();  // First: the walk stands after it
    mngr.SetConnected(mngr.GetProfile("First"), true);
    EXPECT_EQ(NextName(), "Third");
    mngr.SetConnected(nullptr, false);
    EXPECT_EQ(NextName(), "First");
    EXPECT_EQ(mngr.GetConnected(), nullptr);
    mngr.SetConnected(nullptr, true);
    EXPECT_EQ(NextName(), "First");

    // Members the caller refuses (networks not heard) are passed over; none accepted: none, and
    // the walk stays where it was.
    mngr.RestartAutoSelect();
    auto notFirst = [](const CProfile& p) { return p.ProfName != "First"; };
    EXPECT_EQ(mngr.NextAutoSelect(notFirst)->ProfName, "Third");
    EXPECT_EQ(mngr.NextAutoSelect([](const CProfile&) { return false; }), nullptr);
    EXPECT_EQ(NextName(), "First");
}

TEST_F(ProfileMngrTest, SaveAllStoresCountAndProfilesForTheNextStart) {
    CProfileMngr& mngr = MakeMngr();
    for (const char* ssid : {"Harbour", "Lighthouse", "Boatyard"}) {
        auto p = mngr.GetProfile(mngr.AddProfile());
        p->NetName = ssid;
    }
    auto member = mngr.GetProfile("Profile 1");
    member->AutoSelect = true;
    member->Priority = mngr.UpdatePriorities(-1);
    ASSERT_TRUE(mngr.SaveAll());
    EXPECT_EQ(theApp.GetProfileInt("", "NumOfProfiles", 0), 3);

    DropMngr();  // saves again
    CProfileMngr& again = MakeMngr();
    EXPECT_EQ(Names(again), (std::vector<std::string>{"Profile 0", "Profile 1", "Profile 2"}));
    EXPECT_EQ(again.GetProfile("Profile 2")->NetName, "Boatyard");
    EXPECT_EQ(again.GetAutoCount(), 1);
    EXPECT_EQ(again.FindByPriority(0)->ProfName, "Profile 1");
    EXPECT_EQ(again.FindBySsid("Lighthouse")->ProfName, "Profile 1");
    EXPECT_EQ(again.FindBySsid("Nowhere"), nullptr);

    theApp.m_pRegistry = nullptr;
    EXPECT_FALSE(again.SaveAll());
}

// ---- Naming and adding ----

TEST_F(ProfileMngrTest, NewNameIsTheLowestFreeOneAndIsReusedAfterRemoval) {
    CProfileMngr& mngr = MakeMngr();
    EXPECT_EQ(mngr.AddProfile(), "Profile 0");
    EXPECT_EQ(mngr.AddProfile(), "Profile 1");
    EXPECT_EQ(mngr.AddProfile(), "Profile 2");
    EXPECT_EQ(mngr.GetNewName(), "Profile 2");
    EXPECT_EQ(mngr.GetProfile("Profile 2")->GetSection(), "Profile 2");
    mngr.RemoveProfile("Profile 0", true, true);
    EXPECT_EQ(mngr.MakeNewName(), 0);
    EXPECT_EQ(mngr.AddProfile(), "Profile 0");
}

// The lowest "Profile N" that is neither a name nor a section, written exactly so: "Profile 03" and
// "profile 4" take no number. Loaded whole or by names alone, the manager picks the same one, and
// the store gives the new profile that section.
TEST_F(ProfileMngrTest, TheNewNameIsFreeAsANameAndAsASectionSpelledExactly) {
    StoreProfile("Profile 0", "Profile 2", "A");  // a name that is another profile's section name
    StoreProfile("Profile 1", "Profile 03", "B");
    StoreProfile("Profile 5", "profile 4", "C");
    StoreProfile("Profile 6", "Profile 1", "D");  // a section's number, taken twice over
    for (const auto load : {CProfileMngr::ELoad::All, CProfileMngr::ELoad::Names}) {
        DropMngr();
        m_pMngr = std::make_unique<CProfileMngr>(load);
        theApp.m_pProfileMngr = m_pMngr.get();
        CProfileMngr& mngr = *m_pMngr;
        EXPECT_EQ(mngr.MakeNewName(), 3);
        const std::string first = mngr.AddProfile();
        EXPECT_EQ(first, "Profile 3");
        EXPECT_EQ(mngr.AddProfile(), "Profile 4") << "\"profile 4\" is another name";
        ASSERT_TRUE(mngr.StoreChanges().Ok());
        EXPECT_EQ(mngr.GetProfile(first)->GetSection(), "Profile 3");
        EXPECT_EQ(theApp.GetProfileString("Profile 4", "ProfName", ""), "Profile 4");
        EXPECT_EQ(mngr.MakeNewName(), 7);
        ASSERT_EQ(mngr.RemoveProfile("Profile 3", true, true), REG_OK);
        ASSERT_EQ(mngr.RemoveProfile("Profile 4", true, true), REG_OK);
    }
}

TEST_F(ProfileMngrTest, AddWithoutSourceTakesOverWhatTheSectionStillHolds) {
    CProfileMngr& mngr = MakeMngr();
    // A section left behind, for instance by a deletion that failed.
    StoreProfile("Profile 0", "Old name", "Quayside-5G", true, 0);
    ASSERT_TRUE(theApp.WriteProfileInt("Profile 0", "PhyType", 0));
    const std::string name = mngr.AddProfile();
    ASSERT_EQ(name, "Profile 0");
    auto p = mngr.GetProfile(name);
    EXPECT_EQ(p->ProfName, "Profile 0");
    EXPECT_EQ(p->NetName, "Quayside-5G");
    EXPECT_EQ(p->PhyType, 0);
    // It claims no slot until its creator gives it one.
    EXPECT_EQ(p->Priority, -1);
    EXPECT_EQ(mngr.FindByPriority(0), nullptr);
}

TEST_F(ProfileMngrTest, AddFromSourceCopiesUnderANewNameWithoutSaving) {
    CProfileMngr& mngr = MakeMngr();
    auto first = mngr.GetProfile(mngr.AddProfile());
    first->NetName = "Harbour";
    first->SecKey[0] = "1A2B3C4D5E";
    first->AutoSelect = true;
    first->Priority = mngr.UpdatePriorities(-1);

    CStation station(*first, "00-14-6C-2A-11-01", -58);
    const std::string name = mngr.AddProfile(&station);
    EXPECT_EQ(name, "Profile 1");
    auto copy = mngr.GetProfile(name);
    EXPECT_EQ(copy->ProfName, "Profile 1");
    EXPECT_EQ(copy->GetSection(), "Profile 1");
    EXPECT_EQ(copy->NetName, "Harbour");
    EXPECT_EQ(copy->SecKey[0], "1A2B3C4D5E");
    EXPECT_EQ(copy->Priority, -1);
    EXPECT_EQ(mngr.FindByPriority(0), first);
    EXPECT_FALSE(m_pRegistry->KeyExists("Profile 1"));
}

TEST_F(ProfileMngrTest, SpecialNamesAnswerStations) {
    CProfileMngr& mngr = MakeMngr();
    EXPECT_EQ(mngr.GetProfile("ConnectedStation"), nullptr);
    EXPECT_EQ(mngr.GetProfile("EditStation"), nullptr);
    EXPECT_EQ(mngr.GetProfile("Nobody"), nullptr);

    auto current = std::make_shared<CStation>(CProfile("", false), "00-0F-B5-44-7C-20", -66);
    mngr.m_fnCurrentStation = [current] { return current; };
    EXPECT_EQ(mngr.GetProfile("ConnectedStation"), current);
    auto edited = std::make_shared<CStation>(CProfile("", false));
    mngr.SetEditStation(edited);
    EXPECT_EQ(mngr.GetProfile("EditStation"), edited);
    mngr.SetEditStation(nullptr);
    EXPECT_EQ(mngr.GetProfile("EditStation"), nullptr);
}

// ---- Removal and the order ----

TEST_F(ProfileMngrTest, RemovingAMemberClosesItsSlot) {
    CProfileMngr& mngr = MakeMngr();
    for (int i = 0; i < 4; ++i) {
        auto p = mngr.GetProfile(mngr.AddProfile());
        if (i == 3) continue;  // Profile 3 is no member
        p->AutoSelect = true;
        p->Priority = mngr.UpdatePriorities(-1);
    }
    ASSERT_EQ(mngr.GetAutoCount(), 3);
    mngr.RemoveProfile("Profile 1", true, false);
    EXPECT_EQ(mngr.GetAutoCount(), 2);
    EXPECT_EQ(mngr.GetProfile("Profile 0")->Priority, 0);
    EXPECT_EQ(mngr.GetProfile("Profile 2")->Priority, 1);

    // A profile outside the order leaves no slot behind to close or to open.
    mngr.RemoveProfile("Profile 3", true, false);
    EXPECT_EQ(mngr.GetAutoCount(), 2);
    mngr.RemoveProfile("Nobody", true, true);
    EXPECT_EQ(mngr.GetCount(), 2);
}

TEST_F(ProfileMngrTest, RemovalDeletesTheSectionAndForgetsTheConnection) {
    CProfileMngr& mngr = MakeMngr();
    const std::string name = mngr.AddProfile();
    auto held = mngr.GetProfile(name);
    ASSERT_TRUE(held->Save(true));
    mngr.AddProfile();  // never saved: its deletion must still succeed quietly
    mngr.SetConnected(held, false);

    mngr.RemoveProfile(name, true, true);
    EXPECT_FALSE(m_pRegistry->KeyExists(name));
    EXPECT_FALSE(m_pRegistry->KeyExists("Import"));
    EXPECT_EQ(mngr.GetConnected(), nullptr);
    EXPECT_EQ(mngr.GetProfile(name), nullptr);
    EXPECT_EQ(held->ProfName, name);  // whoever still holds it may go on using it

    mngr.RemoveProfile("Profile 1", false, true);
    EXPECT_FALSE(m_pRegistry->KeyExists("Profile 1"));
    EXPECT_TRUE(m_Messages.m_Shown.empty());
}

// ---- Mended faults ----

TEST_F(ProfileMngrTest, RenameRefusesAClashingEmptyOrReservedName) {
    CProfileMngr& mngr = MakeMngr();
    mngr.AddProfile();
    mngr.AddProfile();
    std::string reason;
    EXPECT_FALSE(mngr.RenameProfile("Profile 0", "Profile 1", &reason));
    EXPECT_NE(reason.find("Profile 1"), std::string::npos);
    reason.clear();
    EXPECT_FALSE(mngr.RenameProfile("Profile 0", "", &reason));
    EXPECT_FALSE(reason.empty());
    EXPECT_FALSE(mngr.RenameProfile("Profile 0", "EditStation", &reason));
    EXPECT_FALSE(mngr.RenameProfile("Nobody", "Home", &reason));
    EXPECT_EQ(Names(mngr), (std::vector<std::string>{"Profile 0", "Profile 1"}));
    EXPECT_EQ(mngr.GetProfile("Profile 1")->GetSection(), "Profile 1");

    reason.clear();
    EXPECT_TRUE(mngr.RenameProfile("Profile 0", "Profile 0", &reason));
    EXPECT_TRUE(reason.empty());
}

TEST_F(ProfileMngrTest, RenameKeepsTheSectionAndNewNamesAvoidIt) {
    CProfileMngr& mngr = MakeMngr();
    mngr.AddProfile();
    mngr.AddProfile();
    std::string reason;
    ASSERT_TRUE(mngr.RenameProfile("Profile 0", "Home", &reason));
    EXPECT_TRUE(reason.empty());
    auto home = mngr.GetProfile("Home");
    EXPECT_EQ(home->ProfName, "Home");
    EXPECT_EQ(home->GetSection(), "Profile 0");
    EXPECT_EQ(mngr.GetProfile("Profile 0"), nullptr);
    ASSERT_TRUE(mngr.StoreChanges().Ok());
    EXPECT_EQ(theApp.GetProfileString("Profile 0", "ProfName", ""), "Home");
    EXPECT_EQ(theApp.GetProfileInt("", "NumOfProfiles", 0), 2);

    // "Profile 0" is free as a name but its section belongs to "Home".
    const std::string added = mngr.AddProfile();
    EXPECT_EQ(added, "Profile 2");
    // A profile renamed to a "Profile %d" name blocks that name, though not its section.
    ASSERT_TRUE(mngr.RenameProfile("Profile 1", "Profile 3"));
    EXPECT_EQ(mngr.AddProfile(), "Profile 4");
    std::set<std::string> sections;
    for (const auto& p : mngr.Snapshot()) EXPECT_TRUE(sections.insert(p->GetSection()).second) << p->ProfName;
}

TEST_F(ProfileMngrTest, SectionsOfOneNameAreBothLoaded) {
    StoreProfile("Profile 0", "Office", "Harbour");
    StoreProfile("Profile 1", "Office", "Lighthouse");
    StoreProfile("Profile 2", "Profile 3", "Boatyard");
    StoreProfile("Profile 4", "EditStation", "GameRoom");
    StoreCount(4);
    CProfileMngr& mngr = MakeMngr();
    ASSERT_EQ(mngr.GetCount(), 4);
    EXPECT_EQ(mngr.GetProfile("Office")->NetName, "Harbour");
    auto later = mngr.FindBySsid("Lighthouse");
    ASSERT_NE(later, nullptr);
    EXPECT_EQ(later->GetSection(), "Profile 1");
    // The lowest name free as a name and as a section of another profile: its own section's.
    EXPECT_EQ(later->ProfName, "Profile 1");
    EXPECT_EQ(theApp.GetProfileString("Profile 1", "ProfName", ""), "Profile 1");
    auto reserved = mngr.FindBySsid("GameRoom");
    EXPECT_EQ(reserved->ProfName, "Profile 4");
    EXPECT_EQ(reserved->GetSection(), "Profile 4");
    EXPECT_EQ(mngr.GetProfile("EditStation"), nullptr);

    // The next start finds the same profiles under the same names.
    EXPECT_EQ(Names(MakeMngr()), (std::vector<std::string>{"Office", "Profile 1", "Profile 3", "Profile 4"}));
}

TEST_F(ProfileMngrTest, MembersWithoutASlotOfTheirOwnAreAppended) {
    StoreProfile("Profile 0", "A", "a", true, 1);
    StoreProfile("Profile 1", "B", "b", true, -1);
    StoreProfile("Profile 2", "C", "c", true, 1);
    StoreProfile("Profile 3", "D", "d", true, 500);
    StoreCount(4);
    CProfileMngr& mngr = MakeMngr();
    // A keeps slot 1 (slot 0 stays empty); B, C and D follow in name order.
    EXPECT_EQ(mngr.GetAutoCount(), 5);
    EXPECT_EQ(mngr.GetProfile("A")->Priority, 1);
    EXPECT_EQ(mngr.GetProfile("B")->Priority, 2);
    EXPECT_EQ(mngr.GetProfile("C")->Priority, 3);
    EXPECT_EQ(mngr.GetProfile("D")->Priority, 4);
    EXPECT_EQ(theApp.GetProfileInt("Profile 1", "Priority", 0), 2);
}

TEST_F(ProfileMngrTest, LoneMemberWithoutASlotTakesTheFirst) {
    StoreProfile("Profile 0", "Only", "a", true, -1);
    StoreCount(1);
    CProfileMngr& single = MakeMngr();
    EXPECT_EQ(single.GetAutoCount(), 1);
    EXPECT_EQ(NextName(), "Only");
}

// ---- Both threads ----

TEST_F(ProfileMngrTest, PollingThreadNeverMeetsAFreedOrHalfEditedProfile) {
    CProfileMngr& mngr = MakeMngr();
    auto join = [&mngr](const std::string& name) {
        auto p = mngr.GetProfile(name);
        auto lock = mngr.Lock();
        p->NetName = "ssid-" + name;
        p->AutoSelect = true;
        p->Priority = mngr.UpdatePriorities(-1);
    };
    for (int i = 0; i < 6; ++i) join(mngr.AddProfile());

    std::atomic<bool> stop{false};
    std::atomic<int> tried{0};
    std::atomic<int> torn{0};
    std::thread poll([&] {
        while (!stop) {
            // As the polling thread does: the next member, copied into a station under the lock.
            auto p = mngr.NextAutoSelect();
            if (!p) continue;
            std::unique_ptr<CStation> station;
            {
                auto lock = mngr.Lock();
                station = std::make_unique<CStation>(*p);
            }
            if (station->NetName != "ssid-" + station->ProfName) ++torn;
            mngr.SetConnected(p, false);
            ++tried;
        }
    });
    while (tried == 0) std::this_thread::yield();  // the rounds run while the thread polls
    for (int round = 0; round < 60; ++round) {
        const auto all = mngr.Snapshot();
        mngr.RemoveProfile(all[static_cast<std::size_t>(round) % all.size()]->ProfName, true, false);
        join(mngr.AddProfile());
        // Name and SSID of a member change together: one lock around both, as the editor's apply holds.
        const std::string old = all[static_cast<std::size_t>(round + 1) % all.size()]->ProfName;
        const std::string renamed = "Renamed " + std::to_string(round);
        {
            auto lock = mngr.Lock();
            EXPECT_TRUE(mngr.RenameProfile(old, renamed));
            mngr.GetProfile(renamed)->NetName = "ssid-" + renamed;
        }
        if (round % 10 == 0) mngr.SetConnected(nullptr, true);
    }
    stop = true;
    poll.join();

    EXPECT_GT(tried.load(), 0);
    EXPECT_EQ(torn.load(), 0);
    EXPECT_EQ(mngr.GetCount(), 6);
    // The order stayed whole: every slot is held by exactly one member.
    std::set<int> slots;
    for (const auto& p : mngr.Snapshot()) EXPECT_TRUE(slots.insert(p->Priority).second);
    EXPECT_EQ(static_cast<int>(slots.size()), mngr.GetAutoCount());
    EXPECT_EQ(*slots.rbegin(), mngr.GetAutoCount() - 1);
}
