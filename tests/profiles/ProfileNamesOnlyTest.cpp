// A manager that reads only the stored profiles' names and places, and the one profile a command
// works on whole: it leaves the store as a manager that read every profile would, rewrites no other
// profile, keeps the auto-selection order whole, and is checked against another program's changes
// as every change is.
#include <gtest/gtest.h>

#include <functional>
#include <set>

#include "ProfilesFixture.h"
#include "base/RegTree.h"

namespace wavory::test {
namespace {

using ELoad = CProfileMngr::ELoad;
using EOnConflict = CProfileMngr::EOnConflict;
using Op = std::function<void(CProfileMngr&)>;

class ProfileNamesOnlyTest : public ProfilesFixture {
protected:
    void SetUp() override {
        ProfilesFixture::SetUp();
        m_pOther = std::make_unique<CSqliteRegistry>();
        ASSERT_TRUE(m_pOther->IsOpen());
        // Members A (0), C (1), E (2), G (3) and three others; sections and names not in step.
        StoreProfile("Profile 0", "A", "Net A", true, 0);
        StoreProfile("Profile 1", "B", "Net B");
        StoreProfile("Profile 2", "E", "Net E", true, 2);
        StoreProfile("Profile 3", "C", "Net C", true, 1);
        StoreProfile("Profile 5", "D", "Net D");
        StoreProfile("Profile 6", "G", "Net G", true, 3);
        StoreProfile("Profile 7", "Profile 4", "Net F");  // renamed onto another's automatic name
        ASSERT_TRUE(theApp.WriteProfileString("Profile 1", "WpaPassphrase", "b-passphrase"));
        ASSERT_TRUE(theApp.WriteProfileInt("", "NumOfProfiles", 7));
        ASSERT_EQ(m_pRegistry->ReadTree("", m_Initial), REG_OK);
    }

    CProfileMngr& Make(ELoad load) {
        DropMngr();
        m_pMngr = std::make_unique<CProfileMngr>(load);
        theApp.m_pProfileMngr = m_pMngr.get();
        return *m_pMngr;
    }

    // The whole store after `op`, run from the initial store by a manager that loads as told.
    SRegKey After(ELoad load, const Op& op) {
        SRegKey tree;
        EXPECT_EQ(m_pRegistry->ReplaceTree("", m_Initial), REG_OK);
        CProfileMngr& mngr = Make(load);
        EXPECT_TRUE(mngr.Loaded());
        op(mngr);
        EXPECT_EQ(m_pRegistry->ReadTree("", tree), REG_OK);
        return tree;
    }

    // Every section other than `changed` as it was at the start, byte for byte; of `moved`, all but
    // the Priority value.
    void ExpectOthersUntouched(const SRegKey& now, const std::set<std::string>& changed,
                               const std::set<std::string>& moved = {}) {
        for (const SRegKey& before : m_Initial.subkeys) {
            if (changed.count(before.name) != 0) continue;
            const SRegKey* after = now.FindSubKey(before.name);
            ASSERT_NE(after, nullptr) << before.name;
            if (moved.count(before.name) == 0) {
                EXPECT_EQ(*after, before) << before.name;
                continue;
            }
            SRegKey expected = before;
            expected.SetValue("Priority", *after->FindValue("Priority"));
            EXPECT_EQ(*after, expected) << before.name;
        }
    }

    // Loaded whole, the store holds one member per slot, with no gap, in this order.
    void ExpectOrder(const std::vector<std::string>& names) {
        CProfileMngr& full = Make(ELoad::All);
        ASSERT_EQ(full.GetAutoCount(), static_cast<int>(names.size()));
        for (int slot = 0; slot < full.GetAutoCount(); ++slot) {
            const auto member = full.FindByPriority(slot);
            ASSERT_NE(member, nullptr) << slot;
            EXPECT_EQ(member->ProfName, names[slot]) << slot;
        }
    }

    std::unique_ptr<CSqliteRegistry> m_pOther;
    SRegKey m_Initial;
};

// What wavoryctl's commands do with the manager: remove, copy, edit one profile.
const Op kRemoveMember = [](CProfileMngr& m) { ASSERT_EQ(m.RemoveProfile("C", true, true), REG_OK); };
const Op kRemoveOther = [](CProfileMngr& m) { ASSERT_EQ(m.RemoveProfile("B", true, true), REG_OK); };
const Op kCopyMember = [](CProfileMngr& m) {
    const auto source = m.LoadProfile("E");
    ASSERT_NE(source, nullptr);
    const auto copy = m.GetProfile(m.AddProfile(source.get()));
    ASSERT_TRUE(m.RenameProfile(copy->ProfName, "E2"));
    copy->NetName = "Net E2";
    copy->Priority = m.UpdatePriorities(-1);
    ASSERT_TRUE(m.StoreChanges(EOnConflict::KeepMine).Ok());
};
const Op kEditLeaving = [](CProfileMngr& m) {
    const auto a = m.LoadProfile("A");
    ASSERT_NE(a, nullptr);
    a->NetName = "Net A2";
    a->AutoSelect = false;
    m.UpdatePriorities(a->Priority);
    a->Priority = -1;
    ASSERT_TRUE(m.StoreChanges(EOnConflict::KeepMine).Ok());
};
const Op kEditJoining = [](CProfileMngr& m) {
    const auto d = m.LoadProfile("D");
    ASSERT_NE(d, nullptr);
    ASSERT_TRUE(m.RenameProfile("D", "D2"));
    d->AutoSelect = true;
    d->Priority = m.UpdatePriorities(-1);
    ASSERT_TRUE(m.StoreChanges(EOnConflict::KeepMine).Ok());
};
const Op kMoveUp = [](CProfileMngr& m) {
    const auto e = m.LoadProfile("E");
    const auto c = m.LoadProfile(m.NameAt(e->Priority - 1));
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->ProfName, "C");
    std::swap(e->Priority, c->Priority);
    ASSERT_TRUE(m.StoreChanges(EOnConflict::KeepMine).Ok());
};

TEST_F(ProfileNamesOnlyTest, EachChangeLeavesTheStoreAsAFullLoadWould) {
    const std::pair<const char*, Op> ops[] = {
        {"remove member", kRemoveMember}, {"remove other", kRemoveOther}, {"copy member", kCopyMember},
        {"edit leaving", kEditLeaving},   {"edit joining", kEditJoining}, {"move up", kMoveUp}};
    for (const auto& [what, op] : ops) {
        SCOPED_TRACE(what);
        EXPECT_EQ(After(ELoad::Names, op), After(ELoad::All, op));
    }
}

TEST_F(ProfileNamesOnlyTest, OnlyTheProfileAndTheMovedPlacesAreWritten) {
    // C leaves slot 1: E and G move up; nothing else changes but the count.
    SRegKey now = After(ELoad::Names, kRemoveMember);
    EXPECT_EQ(now.FindSubKey("Profile 3"), nullptr);
    ExpectOthersUntouched(now, {"Profile 3"}, {"Profile 2", "Profile 6"});
    EXPECT_EQ(*now.FindValue("NumOfProfiles"), SRegValue::Dword(6));
    ExpectOrder({"A", "E", "G"});

    now = After(ELoad::Names, kEditLeaving);
    ExpectOthersUntouched(now, {"Profile 0"}, {"Profile 2", "Profile 3", "Profile 6"});
    EXPECT_EQ(m_pOther->GetProfileString("Profile 0", "NetName", ""), "Net A2");
    ExpectOrder({"C", "E", "G"});

    // A copy takes the first free section (Profile 4 is a name in use, so not that one), a new
    // last slot, and the source's values.
    now = After(ELoad::Names, kCopyMember);
    ExpectOthersUntouched(now, {});
    const SRegKey* copy = now.FindSubKey("Profile 8");
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(*copy->FindValue("ProfName"), SRegValue::Sz("E2"));
    EXPECT_EQ(*copy->FindValue("NetName"), SRegValue::Sz("Net E2"));
    ExpectOrder({"A", "C", "E", "G", "E2"});

    now = After(ELoad::Names, kMoveUp);
    ExpectOthersUntouched(now, {}, {"Profile 2", "Profile 3"});
    ExpectOrder({"A", "E", "C", "G"});
}

TEST_F(ProfileNamesOnlyTest, ReadsOnlyWhatItIsAskedFor) {
    CProfileMngr& mngr = Make(ELoad::Names);
    EXPECT_EQ(mngr.GetCount(), 7);
    EXPECT_EQ(mngr.GetAutoCount(), 4);
    EXPECT_EQ(mngr.GetProfile("B"), nullptr);
    EXPECT_EQ(mngr.NameAt(3), "G");
    EXPECT_EQ(mngr.NameAt(4), "");
    EXPECT_EQ(mngr.LoadProfile("Nobody"), nullptr);
    EXPECT_EQ(mngr.LoadProfile(CProfileMngr::kEditStation), nullptr);
    const auto b = mngr.LoadProfile("B");
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->WpaPassphrase, "b-passphrase");
    EXPECT_EQ(mngr.GetProfile("B"), b);
    EXPECT_EQ(mngr.GetCount(), 7);

    // Renamed by another program since the names were read: no profile of the old name.
    ASSERT_TRUE(m_pOther->WriteProfileString("Profile 5", "ProfName", "D-renamed"));
    EXPECT_EQ(mngr.LoadProfile("D"), nullptr);

    // A reload keeps the held record, with what is stored now.
    ASSERT_TRUE(m_pOther->WriteProfileString("Profile 1", "NetName", "Net B2"));
    ASSERT_TRUE(mngr.Reload());
    EXPECT_EQ(mngr.GetProfile("B"), b);
    EXPECT_EQ(b->NetName, "Net B2");
    EXPECT_TRUE(mngr.HasName("D-renamed"));
}

// Another program's change between the read and the write: a field it changed is kept beside this
// program's, the same field is a conflict, a profile it deleted is not brought back.
TEST_F(ProfileNamesOnlyTest, AnotherProgramsChangeMeanwhileIsMergedOrRefused) {
    {
        CProfileMngr& mngr = Make(ELoad::Names);
        const auto b = mngr.LoadProfile("B");
        b->NetName = "Mine";
        ASSERT_TRUE(m_pOther->WriteProfileString("Profile 1", "WpaPassphrase", "theirs-pass"));
        ASSERT_TRUE(mngr.StoreChanges().Ok());
        EXPECT_EQ(m_pOther->GetProfileString("Profile 1", "NetName", ""), "Mine");
        EXPECT_EQ(m_pOther->GetProfileString("Profile 1", "WpaPassphrase", ""), "theirs-pass");

        b->NetName = "Mine again";
        ASSERT_TRUE(m_pOther->WriteProfileString("Profile 1", "NetName", "Theirs"));
        const auto refused = mngr.StoreChanges(EOnConflict::Refuse);
        ASSERT_EQ(refused.error, CProfileMngr::kConflict);
        EXPECT_EQ(refused.conflicts.at(0).fields, std::vector<std::string>{"NetName"});
        EXPECT_EQ(m_pOther->GetProfileString("Profile 1", "NetName", ""), "Theirs");
    }
    // A leaves the list, so C, E and G would move up; meanwhile another program moved G to the front
    // and deleted E. Refused: nothing is written.
    ASSERT_EQ(m_pRegistry->ReplaceTree("", m_Initial), REG_OK);
    CProfileMngr& mngr = Make(ELoad::Names);
    const auto a = mngr.LoadProfile("A");
    a->AutoSelect = false;
    mngr.UpdatePriorities(a->Priority);
    a->Priority = -1;
    ASSERT_TRUE(m_pOther->WriteProfileInt("Profile 6", "Priority", 0));
    ASSERT_EQ(m_pOther->DeleteKeyTree("Profile 2"), REG_OK);
    const auto refused = mngr.StoreChanges(EOnConflict::Refuse);
    ASSERT_EQ(refused.error, CProfileMngr::kConflict);
    ASSERT_EQ(refused.conflicts.size(), 2u);
    EXPECT_EQ(m_pOther->GetProfileInt("Profile 0", "AutoSelect", 0), 1);
    EXPECT_EQ(m_pOther->GetProfileInt("Profile 3", "Priority", -5), 1);

    // Their changes taken: G keeps the slot they gave, E stays deleted, C moves up.
    ASSERT_TRUE(mngr.StoreChanges(EOnConflict::TakeTheirs).Ok());
    EXPECT_EQ(m_pOther->GetProfileInt("Profile 0", "AutoSelect", 1), 0);
    EXPECT_EQ(m_pOther->GetProfileInt("Profile 3", "Priority", -5), 0);
    EXPECT_EQ(m_pOther->GetProfileInt("Profile 6", "Priority", -5), 0);
    EXPECT_FALSE(m_pOther->KeyExists("Profile 2"));
    EXPECT_EQ(mngr.GetCount(), 6);
    EXPECT_FALSE(mngr.HasName("E"));

    // A removal of a member E's deletion would have moved: what another program deleted stays so.
    ASSERT_EQ(m_pRegistry->ReplaceTree("", m_Initial), REG_OK);
    CProfileMngr& again = Make(ELoad::Names);
    ASSERT_EQ(m_pOther->DeleteKeyTree("Profile 6"), REG_OK);
    ASSERT_EQ(again.RemoveProfile("C", true, true), REG_OK);
    EXPECT_FALSE(m_pOther->KeyExists("Profile 6"));
    EXPECT_EQ(m_pOther->GetProfileInt("Profile 2", "Priority", -5), 1);
    EXPECT_EQ(m_pOther->GetProfileInt("", "NumOfProfiles", 0), 5);

    // A name another program gave meanwhile is no free name for a copy.
    const auto source = again.LoadProfile("B");
    const auto copy = again.GetProfile(again.AddProfile(source.get()));
    ASSERT_TRUE(again.RenameProfile(copy->ProfName, "Taken"));
    ASSERT_TRUE(m_pOther->WriteProfileString("Profile 9", "ProfName", "Taken"));
    const auto clash = again.StoreChanges(EOnConflict::KeepMine);
    EXPECT_EQ(clash.error, REG_ERROR_FILE_EXISTS);
    EXPECT_EQ(clash.clash, "Taken");
}

// A member whose stored slot is taken or absurd is held at a new last slot once it is read whole,
// as a full load places it, and stored with the change.
TEST_F(ProfileNamesOnlyTest, AMemberWithoutAValidSlotTakesANewLastOne) {
    StoreProfile("Profile 5", "D", "Net D", true, 2);  // E's slot
    StoreProfile("Profile 1", "B", "Net B", true, 5000);
    CProfileMngr& mngr = Make(ELoad::Names);
    // D comes first by name, so it keeps slot 2 and E has none.
    EXPECT_EQ(mngr.NameAt(2), "D");
    EXPECT_EQ(mngr.GetAutoCount(), 4);
    const auto b = mngr.LoadProfile("B");
    EXPECT_EQ(b->Priority, 4);
    b->NetName = "Net B2";
    ASSERT_TRUE(mngr.StoreChanges().Ok());
    EXPECT_EQ(m_pOther->GetProfileInt("Profile 1", "Priority", -5), 4);
    EXPECT_EQ(mngr.GetAutoCount(), 5);
}

}  // namespace
}  // namespace wavory::test
