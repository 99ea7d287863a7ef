// The one write path of profiles, with another program (a second connection to the same store)
// changing the store between this program's reads and writes: every field reaches a reload, only
// what this program changed is written, a change of the same value is a conflict the caller decides,
// a deleted profile is not brought back unasked, and new profiles take sections free at that moment.
#include <gtest/gtest.h>

#include "MemoryRegistry.h"
#include "ProfilesFixture.h"
#include "base/RegTree.h"
#include "profiles/ProfileValues.h"
#include "store/RegFile.h"
#include "store/StoreCopies.h"

namespace wavory::test {
namespace {

void WriteFile(const std::string& path, const std::string& bytes) {
    FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
}

using EOnConflict = CProfileMngr::EOnConflict;

class ProfileWritePathTest : public ProfilesFixture {
protected:
    void SetUp() override {
        ProfilesFixture::SetUp();
        m_pOther = std::make_unique<CSqliteRegistry>();
        ASSERT_TRUE(m_pOther->IsOpen());
        StoreProfile("Profile 0", "Home", "Lighthouse", true, 0);
        StoreProfile("Profile 1", "Work", "Harbour");
        ASSERT_TRUE(theApp.WriteProfileString("Profile 1", "WpaPassphrase", "office-pass-123"));
        ASSERT_TRUE(theApp.WriteProfileInt("Profile 1", "WpaMode", 3));
    }

    // The store as another program sees it.
    std::string Theirs(const std::string& section, const std::string& entry) {
        return m_pOther->GetProfileString(section, entry, "<absent>");
    }

    std::unique_ptr<CSqliteRegistry> m_pOther;
};

// Every field of the list reaches the held record when another program changed it; before, the
// passphrase never did, and the next save wrote the old one back.
TEST_F(ProfileWritePathTest, AReloadCarriesEveryField) {
    CProfileMngr& mngr = MakeMngr();
    auto work = mngr.GetProfile("Work");
    CProfile changed("Profile 1", false);
    changed.ProfName = "Work";
    changed.NetName = "Harbour 2";
    changed.NetMode = true;
    changed.PSType = 2;
    changed.PhyType = 0;
    changed.PhyChnl = 9;
    changed.SecType = 1;
    changed.ActiveSecKey = 1;
    changed.SecKey = {"1111111111", "2222222222", "33", "4444444444"};
    changed.SecKeyLen = {0, 0, 1, 0};
    changed.MaxFragment = 300;
    changed.RTSThreshold = 500;
    changed.UseFragmentation = changed.UseRTS = changed.ShortPreamble = changed.Use802_1 = true;
    changed.MaxTxPower = 2;
    changed.MaxNetRate = 5500000;
    changed.WrLessMode = 3;
    changed.WpaMode = 4;
    changed.WpaPassphrase = "new passphrase";
    changed.Priority = -1;
    IRegistry* mine = theApp.m_pRegistry;
    theApp.m_pRegistry = m_pOther.get();
    ASSERT_TRUE(changed.Save(false));
    theApp.m_pRegistry = mine;

    ASSERT_TRUE(mngr.Reload());
    EXPECT_EQ(mngr.GetProfile("Work"), work) << "the record was replaced, not updated";
    EXPECT_EQ(ValuesOf(*work), ValuesOf(changed));
    EXPECT_FALSE(work->HasChanges());
}

TEST_F(ProfileWritePathTest, OnlyTheFieldsThisProgramChangedAreWritten) {
    CProfileMngr& mngr = MakeMngr();
    ASSERT_TRUE(m_pOther->WriteProfileString("Profile 1", "WpaPassphrase", "changed-by-ctl"));
    ASSERT_TRUE(m_pOther->WriteProfileString("Profile 0", "NetName", "Lighthouse 2"));
    // The window changes another field of that profile, and a field of another one.
    mngr.GetProfile("Work")->PSType = 3;
    mngr.GetProfile("Home")->MaxTxPower = 1;
    const auto result = mngr.StoreChanges();
    ASSERT_TRUE(result.Ok()) << result.error;
    EXPECT_EQ(Theirs("Profile 1", "WpaPassphrase"), "changed-by-ctl");
    EXPECT_EQ(m_pOther->GetProfileInt("Profile 1", "PSType", 0), 3);
    EXPECT_EQ(Theirs("Profile 0", "NetName"), "Lighthouse 2");
    // And the window holds what is stored now.
    EXPECT_EQ(mngr.GetProfile("Work")->WpaPassphrase, "changed-by-ctl");
    EXPECT_FALSE(mngr.GetProfile("Work")->HasChanges());

    // Nothing changed: nothing written, also not after another program's change.
    ASSERT_TRUE(m_pOther->WriteProfileString("Profile 1", "NetName", "Harbour 2"));
    ASSERT_TRUE(mngr.SaveAll());
    EXPECT_EQ(Theirs("Profile 1", "NetName"), "Harbour 2");
}

TEST_F(ProfileWritePathTest, AValueBothProgramsChangedIsAConflictTheCallerDecides) {
    CProfileMngr& mngr = MakeMngr();
    auto work = mngr.GetProfile("Work");
    ASSERT_TRUE(m_pOther->WriteProfileString("Profile 1", "WpaPassphrase", "theirs-123"));
    work->WpaPassphrase = "mine-12345";
    work->PSType = 2;

    const auto refused = mngr.StoreChanges(EOnConflict::Refuse);
    ASSERT_EQ(refused.error, CProfileMngr::kConflict);
    ASSERT_EQ(refused.conflicts.size(), 1u);
    EXPECT_EQ(refused.conflicts[0].name, "Work");
    EXPECT_EQ(refused.conflicts[0].fields, std::vector<std::string>{"WpaPassphrase"});
    EXPECT_EQ(Theirs("Profile 1", "WpaPassphrase"), "theirs-123");
    EXPECT_EQ(m_pOther->GetProfileInt("Profile 1", "PSType", 0), 0) << "part of a refused change was stored";

    ASSERT_TRUE(mngr.StoreChanges(EOnConflict::TakeTheirs).Ok());
    EXPECT_EQ(work->WpaPassphrase, "theirs-123");
    EXPECT_EQ(m_pOther->GetProfileInt("Profile 1", "PSType", 0), 2);

    ASSERT_TRUE(m_pOther->WriteProfileString("Profile 1", "WpaPassphrase", "theirs-456"));
    work->WpaPassphrase = "mine-67890";
    ASSERT_TRUE(mngr.StoreChanges(EOnConflict::KeepMine).Ok());
    EXPECT_EQ(Theirs("Profile 1", "WpaPassphrase"), "mine-67890");
}

TEST_F(ProfileWritePathTest, AProfileAnotherProgramDeletedIsNotBroughtBackUnasked) {
    CProfileMngr& mngr = MakeMngr();
    mngr.GetProfile("Work")->PSType = 1;
    ASSERT_EQ(m_pOther->DeleteKeyTree("Profile 1"), REG_OK);

    const auto refused = mngr.StoreChanges(EOnConflict::Refuse);
    ASSERT_EQ(refused.error, CProfileMngr::kConflict);
    EXPECT_TRUE(refused.conflicts.at(0).removed);
    EXPECT_FALSE(m_pOther->KeyExists("Profile 1"));

    // A change of another profile stores that one only; the deleted one stays deleted.
    mngr.GetProfile("Home")->PSType = 2;
    ASSERT_TRUE(mngr.SaveAll());
    EXPECT_FALSE(m_pOther->KeyExists("Profile 1"));
    EXPECT_EQ(mngr.GetProfile("Work"), nullptr);
    EXPECT_EQ(m_pOther->GetProfileInt("Profile 0", "PSType", 0), 2);

    // Asked for, it is stored again.
    auto again = mngr.GetProfile(mngr.AddProfile());
    ASSERT_TRUE(mngr.RenameProfile(again->ProfName, "Work"));
    again->NetName = "Harbour";
    ASSERT_TRUE(mngr.StoreChanges().Ok());
    mngr.GetProfile("Work")->PSType = 3;
    ASSERT_EQ(m_pOther->DeleteKeyTree(again->GetSection()), REG_OK);
    ASSERT_TRUE(mngr.StoreChanges(EOnConflict::KeepMine).Ok());
    EXPECT_EQ(m_pOther->GetProfileString(again->GetSection(), "ProfName", ""), "Work");
}

// Two programs adding a profile at once: each takes a section free when it stores, and a profile
// that kept its automatic name takes the section's; a name another program gave meanwhile is refused.
TEST_F(ProfileWritePathTest, NewProfilesTakeSectionsFreeWhenTheyAreStored) {
    CProfileMngr& mngr = MakeMngr();
    const std::string added = mngr.AddProfile();
    ASSERT_EQ(added, "Profile 2");
    mngr.GetProfile(added)->NetName = "Mine";
    // Meanwhile the other program stored its own new profile there.
    ASSERT_TRUE(m_pOther->WriteProfileString("Profile 2", "ProfName", "Profile 2"));
    ASSERT_TRUE(m_pOther->WriteProfileString("Profile 2", "NetName", "Theirs"));

    ASSERT_TRUE(mngr.StoreChanges().Ok());
    EXPECT_EQ(Theirs("Profile 2", "NetName"), "Theirs");
    EXPECT_EQ(Theirs("Profile 3", "NetName"), "Mine");
    EXPECT_EQ(Theirs("Profile 3", "ProfName"), "Profile 3");
    EXPECT_EQ(mngr.GetProfile("Profile 3")->GetSection(), "Profile 3");
    EXPECT_EQ(m_pOther->GetProfileInt("", "NumOfProfiles", 0), 4);

    ASSERT_TRUE(m_pOther->WriteProfileString("Profile 9", "ProfName", "Office"));
    ASSERT_TRUE(mngr.RenameProfile("Work", "Office"));
    const auto clash = mngr.StoreChanges();
    EXPECT_EQ(clash.error, REG_ERROR_FILE_EXISTS);
    EXPECT_EQ(clash.clash, "Office");
    EXPECT_EQ(Theirs("Profile 1", "ProfName"), "Work");
    mngr.DiscardChanges();
    EXPECT_NE(mngr.GetProfile("Work"), nullptr);
}

// A manager that reads only the stored profiles' names adds one as a full one would: a section and
// name free among all stored ones, the next auto-selection place, the count; nothing else written.
TEST_F(ProfileWritePathTest, AddingWithOnlyTheNamesReadTakesFreeSectionsAndPlaces) {
    StoreProfile("Profile 2", "Profile 4", "Cafe", true, 4);  // renamed: its name is another section's
    ASSERT_TRUE(theApp.WriteProfileString("Profile 3", "NetName", "left by a deletion"));  // nameless
    auto bytesOf = [this](const std::string& section) {
        SRegKey tree;
        EXPECT_EQ(m_pOther->ReadTree(section, tree), REG_OK);
        return tree;
    };
    const SRegKey home = bytesOf("Profile 0"), cafe = bytesOf("Profile 2");

    m_pMngr = std::make_unique<CProfileMngr>(CProfileMngr::ELoad::Names);
    theApp.m_pProfileMngr = m_pMngr.get();
    CProfileMngr& mngr = *m_pMngr;
    ASSERT_TRUE(mngr.Loaded());
    EXPECT_EQ(mngr.GetCount(), 3);
    EXPECT_TRUE(mngr.HasName("Work"));
    EXPECT_TRUE(mngr.HasName("Profile 4"));
    EXPECT_EQ(mngr.GetProfile("Work"), nullptr);  // names only: no record is read
    // Profile 3 is free (nameless); Profile 4 is a name in use.
    const std::string added = mngr.AddProfile();
    EXPECT_EQ(added, "Profile 3");
    std::string reason;
    EXPECT_FALSE(mngr.RenameProfile(added, "Work", &reason));
    EXPECT_NE(reason.find("already exists"), std::string::npos);
    const auto profile = mngr.GetProfile(added);
    profile->NetName = "Mine";
    profile->AutoSelect = true;
    profile->Priority = mngr.UpdatePriorities(-1);
    EXPECT_EQ(profile->Priority, 5);
    ASSERT_TRUE(mngr.StoreChanges().Ok());
    EXPECT_EQ(Theirs("Profile 3", "ProfName"), "Profile 3");
    EXPECT_EQ(Theirs("Profile 3", "NetName"), "Mine");
    EXPECT_EQ(m_pOther->GetProfileInt("Profile 3", "Priority", -9), 5);
    EXPECT_EQ(m_pOther->GetProfileInt("", "NumOfProfiles", 0), 4);
    EXPECT_EQ(bytesOf("Profile 0"), home);
    EXPECT_EQ(bytesOf("Profile 2"), cafe);

    // The store is still checked when it is written: a name another program gave meanwhile is refused.
    const std::string second = mngr.AddProfile();
    ASSERT_TRUE(mngr.RenameProfile(second, "Office"));
    ASSERT_TRUE(m_pOther->WriteProfileString("Profile 9", "ProfName", "Office"));
    EXPECT_EQ(mngr.StoreChanges().error, REG_ERROR_FILE_EXISTS);

    // A full load agrees.
    CProfileMngr& full = MakeMngr();
    EXPECT_EQ(full.GetCount(), 5);
    EXPECT_EQ(full.GetProfile("Profile 3")->Priority, 5);
    EXPECT_EQ(full.GetAutoCount(), 6);
}

// Deleting writes the deleted section, the members moving up and the count, nothing else.
TEST_F(ProfileWritePathTest, DeletingRewritesNoOtherProfile) {
    StoreProfile("Profile 2", "Cafe", "Corner", true, 1);
    CProfileMngr& mngr = MakeMngr();
    ASSERT_TRUE(m_pOther->WriteProfileString("Profile 1", "NetName", "Harbour 2"));
    ASSERT_EQ(mngr.RemoveProfile("Home", true, true), REG_OK);
    EXPECT_FALSE(m_pOther->KeyExists("Profile 0"));
    EXPECT_EQ(Theirs("Profile 1", "NetName"), "Harbour 2");
    EXPECT_EQ(m_pOther->GetProfileInt("Profile 2", "Priority", -5), 0);
    EXPECT_EQ(m_pOther->GetProfileInt("", "NumOfProfiles", 0), 2);
}

// A read that fails is no end of the data: the held profiles stay, nothing is written.
TEST_F(ProfileWritePathTest, AFailedReadKeepsWhatIsHeld) {
    // Every read of it fails while m_nError is set, as a damaged file's do.
    class CFailingReads : public CMemoryRegistry {
    public:
        int TakeReadError() override { return m_nError; }
        int m_nError = REG_OK;
    } store;
    theApp.m_pRegistry = &store;
    CProfile p("Profile 0", false);
    p.ProfName = "Home";
    p.NetName = "Lighthouse";
    ASSERT_TRUE(p.Save(false));
    CProfileMngr& mngr = MakeMngr();
    ASSERT_EQ(mngr.GetCount(), 1);
    store.m_nError = REG_ERROR_BADDB;
    EXPECT_FALSE(mngr.LoadAll());
    EXPECT_FALSE(mngr.Reload());
    EXPECT_EQ(mngr.GetCount(), 1);
    EXPECT_EQ(mngr.GetProfile("Home")->NetName, "Lighthouse");
    CProfileMngr fresh;
    EXPECT_FALSE(fresh.Loaded());
    EXPECT_EQ(fresh.GetCount(), 0);
    DropMngr();
    theApp.m_pRegistry = m_pRegistry.get();
}

// ---- Files ----

class ProfileFileRoundTripTest : public ProfilesFixture {};

// What the program itself stores comes back whole from its own exports: spare keys typed half,
// a passphrase kept while WPA is off, networks joined on 5 GHz, every field of the list.
TEST_F(ProfileFileRoundTripTest, ExportsOfTheProgramsOwnProfilesImportWhole) {
    CProfileMngr& mngr = MakeMngr();
    auto add = [&](const std::string& name, const std::function<void(CProfile&)>& fill) {
        auto p = mngr.GetProfile(mngr.AddProfile());
        ASSERT_TRUE(mngr.RenameProfile(p->ProfName, name));
        p->NetName = name + " net";
        fill(*p);
    };
    add("Spare keys", [](CProfile& p) {
        p.SecType = 1;
        p.ActiveSecKey = 0;
        p.SecKey = {"1A2B3C4D5E", "12AB", "", "0123456789ABCDEF01"};
        p.SecKeyLen = {0, 0, 1, 1};
    });
    add("Passphrase kept", [](CProfile& p) { p.WpaPassphrase = "kept while WPA is off"; });
    for (const int channel : {36, 100, 165, 177}) {
        add("5 GHz " + std::to_string(channel), [channel](CProfile& p) {
            p.PhyType = 0;
            p.PhyChnl = ChannelNumberToIndex(0, channel);
            p.WpaMode = 3;
            p.WpaPassphrase = "joined-on-5ghz";
            p.MaxNetRate = 12000000;
            p.RTSThreshold = 2347;  // what a driver may report, beyond the editor's slider
        });
    }
    ASSERT_TRUE(mngr.StoreChanges().Ok());
    // In the order of their sections, as the export writes them.
    std::vector<FieldValues> before;
    for (int section = 0; section < mngr.GetCount(); ++section)
        for (const auto& p : mngr.Snapshot())
            if (p->GetSection() == "Profile " + std::to_string(section)) before.push_back(ValuesOf(*p));
    ASSERT_EQ(before.size(), 6u);

    ASSERT_TRUE(mngr.RegistryOp(CProfileMngr::REG_OP_EXPORT_ALL, FilePath("all.reg"), std::nullopt));
    ASSERT_TRUE(
        mngr.RegistryOp(CProfileMngr::REG_OP_EXPORT_ONE, FilePath("one.reg"), std::string("Spare keys")));
    for (const auto& p : mngr.Snapshot()) ASSERT_EQ(mngr.RemoveProfile(p->ProfName, true, true), REG_OK);

    const auto all = mngr.ImportFile(FilePath("all.reg"));
    ASSERT_EQ(all.error, REG_OK) << all.refusal;
    EXPECT_TRUE(all.skipped.empty());
    ASSERT_EQ(all.added.size(), before.size());
    const size_t name = static_cast<size_t>(FieldIndex("ProfName"));
    for (size_t i = 0; i < before.size(); ++i) {
        FieldValues back = ValuesOf(*mngr.GetProfile(all.added[i]));
        back[name] = before[i][name];  // an import gives a new name and no place
        EXPECT_EQ(ChangedFields(back, before[i]), std::vector<std::string>{}) << before[i][name].text;
    }
    const auto one = mngr.ImportFile(FilePath("one.reg"));
    ASSERT_EQ(one.added.size(), 1u) << one.refusal;
    EXPECT_EQ(mngr.GetProfile(one.added[0])->SecKey[1], "12AB");
}

// Each profile of a file is taken or left on its own: a bad one is named with the reason, the
// others come in.
TEST_F(ProfileFileRoundTripTest, ABadProfileIsSkippedAndNamedTheOthersImport) {
    const std::string file = FilePath("mixed.reg");
    WriteFile(file, std::string("REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Wavory\\Wavory Utility]\r\n"
                                "\"NumOfProfiles\"=dword:00000003\r\n"
                                "[HKEY_CURRENT_USER\\Software\\Wavory\\Wavory Utility\\Profile 0]\r\n"
                                "\"NetName\"=\"Good\"\r\n"
                                "[HKEY_CURRENT_USER\\Software\\Wavory\\Wavory Utility\\Profile 1]\r\n"
                                "\"NetName\"=\"Bad\"\r\n\"PhyChnl\"=dword:00000063\r\n"
                                "[HKEY_CURRENT_USER\\Software\\Wavory\\Wavory Utility\\Profile 2]\r\n"
                                "\"NetName\"=\"Also good\"\r\n\"SecType\"=dword:00000001\r\n"
                                "\"ActiveSecKey\"=dword:00000000\r\n"));
    CProfileMngr& mngr = MakeMngr();
    ASSERT_TRUE(mngr.RegistryOp(CProfileMngr::REG_OP_IMPORT, file, std::nullopt));
    EXPECT_EQ(mngr.GetCount(), 2);
    EXPECT_EQ(mngr.GetProfile("Profile 1")->NetName, "Also good");  // a key left out with the secrets
    ASSERT_FALSE(m_Messages.m_Shown.empty());
    const std::string& told = m_Messages.m_Shown.back().first;
    EXPECT_NE(told.find("2 profiles were imported"), std::string::npos) << told;
    EXPECT_NE(told.find("Profile 1: \"PhyChnl\" is 99"), std::string::npos) << told;
}

// An import is one change: a copy of the store first, the profiles, the count; the staging key of
// an earlier import (which held that file, secrets and all) is emptied.
TEST_F(ProfileFileRoundTripTest, AnImportKeepsACopyAndLeavesNoStagingKey) {
    StoreProfile("Profile 0", "Home", "Lighthouse");
    ASSERT_TRUE(theApp.WriteProfileString("Import\\Profile 0", "Sec Key 0", "1A2B3C4D5E"));
    CProfileMngr& mngr = MakeMngr();
    ASSERT_TRUE(mngr.RegistryOp(CProfileMngr::REG_OP_EXPORT_ONE, FilePath("home.reg"), std::string("Home")));
    ASSERT_TRUE(mngr.RegistryOp(CProfileMngr::REG_OP_IMPORT, FilePath("home.reg"), std::nullopt));
    EXPECT_FALSE(m_pRegistry->KeyExists("Import"));
    const auto copies = ListStoreCopies(m_pRegistry->FileName());
    ASSERT_FALSE(copies.empty());
    EXPECT_EQ(copies.front().reason, "import");
    SRegKey copied;
    ASSERT_EQ(CSqliteRegistry::ReadStoreFile(copies.front().path, copied, nullptr), REG_OK);
    EXPECT_EQ(copied.subkeys.size(), 2u) << "the copy holds the store from before the import";
}

// Without secrets the file holds no key and no passphrase, and still imports.
TEST_F(ProfileFileRoundTripTest, AnExportWithoutSecretsHoldsNoneAndImports) {
    CProfileMngr& mngr = MakeMngr();
    auto p = mngr.GetProfile(mngr.AddProfile());
    p->NetName = "Secured";
    p->SecType = 1;
    p->ActiveSecKey = 0;
    p->SecKey[0] = "A1B2C3D4E5";
    p->WpaMode = 3;
    p->WpaPassphrase = "do-not-hand-on";
    ASSERT_TRUE(mngr.StoreChanges().Ok());
    const std::string file = FilePath("public.reg");
    ASSERT_TRUE(mngr.RegistryOp(CProfileMngr::REG_OP_EXPORT_ALL, file, std::nullopt, false, false));
    SRegKey top;
    ASSERT_EQ(ReadRegFile(file, top), REG_OK);
    const SRegKey* exported = top.FindSubKey(p->GetSection());
    ASSERT_NE(exported, nullptr);
    EXPECT_EQ(exported->FindValue("Sec Key 0"), nullptr);
    EXPECT_EQ(exported->FindValue("WpaPassphrase"), nullptr);
    EXPECT_NE(exported->FindValue("Sec Key Len 0"), nullptr);
    const auto back = mngr.ImportFile(file);
    ASSERT_EQ(back.added.size(), 1u) << back.refusal;
    EXPECT_EQ(mngr.GetProfile(back.added[0])->WpaPassphrase, "");
}

}  // namespace
}  // namespace wavory::test
