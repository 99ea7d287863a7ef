// Export, import and deletion through profile files and the real settings store.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "ProfilesFixture.h"
#include "base/RegTree.h"
#include "base/Registry.h"
#include "kccl_oid.h"
#include "profiles/ProfileMngr.h"
#include "store/RegFile.h"
#include "store/RegTextCodec.h"

using namespace wavory;
using namespace wavory::test;

namespace {

constexpr const char* kQuotedName = "Mary's \"Home\" \\ net";
constexpr const char* kTrickySsid = "Caf\xC3\xA9 \"Anchor\" \\\\ --";

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace

class ProfileExportImportTest : public ProfilesFixture {
protected:
    using Op = CProfileMngr::ERegOp;

    // A saved profile with the given name, SSID and first key.
    std::shared_ptr<CProfile> Saved(CProfileMngr& mngr, const std::string& name, const std::string& ssid,
                                    bool member = false) {
        const std::string added = mngr.AddProfile();
        EXPECT_TRUE(mngr.RenameProfile(added, name));
        auto p = mngr.GetProfile(name);
        p->NetName = ssid;
        p->SecType = 1;
        p->ActiveSecKey = 0;
        p->SecKey[0] = "1A2B3C4D5E";
        if (member) {
            p->AutoSelect = true;
            p->Priority = mngr.UpdatePriorities(-1);
        }
        EXPECT_TRUE(p->Save(true));
        return p;
    }

    // The whole store as a tree, without the staging key of imports.
    SRegKey StoreWithoutImport() {
        const std::string file = FilePath("store-dump.reg");
        EXPECT_EQ(m_pRegistry->SaveKey("", file, true), REG_OK);
        SRegKey top;
        EXPECT_EQ(ReadRegFile(file, top), REG_OK);
        std::erase_if(top.subkeys, [](const SRegKey& k) { return RegNameEqual(k.name, "Import"); });
        return top;
    }

    bool LastMessageIs(int code) {
        return !m_Messages.m_Shown.empty() && m_Messages.m_Shown.back().first == SystemErrorText(code) &&
               m_Messages.m_Shown.back().second == EMsgIcon::Information;
    }
};

TEST_F(ProfileExportImportTest, OneProfileComesBackUnderAFreshNameOutsideTheOrder) {
    CProfileMngr& mngr = MakeMngr();
    auto original = Saved(mngr, kQuotedName, kTrickySsid, true);
    const std::string file = FilePath("one.reg");
    ASSERT_TRUE(mngr.RegistryOp(Op::REG_OP_EXPORT_ONE, file, std::string(kQuotedName)));
    ASSERT_TRUE(std::filesystem::exists(file));

    ASSERT_TRUE(mngr.RegistryOp(Op::REG_OP_IMPORT, file, std::nullopt));
    EXPECT_TRUE(m_Messages.m_Shown.empty());
    ASSERT_EQ(mngr.GetCount(), 2);
    auto imported = mngr.GetProfile("Profile 1");
    ASSERT_NE(imported, nullptr);
    EXPECT_EQ(imported->GetSection(), "Profile 1");
    EXPECT_EQ(imported->NetName, kTrickySsid);
    EXPECT_EQ(imported->SecKey[0], "1A2B3C4D5E");
    EXPECT_FALSE(imported->AutoSelect);
    EXPECT_EQ(imported->Priority, -1);
    EXPECT_EQ(original->Priority, 0);
    EXPECT_EQ(mngr.GetAutoCount(), 1);
    // Nothing of the file stays behind in the store: the staging key is empty after an import.
    EXPECT_FALSE(m_pRegistry->KeyExists("Import"));
    // Stored as it was imported: a new start finds it.
    DropMngr();
    EXPECT_EQ(MakeMngr().GetProfile("Profile 1")->NetName, kTrickySsid);
}

TEST_F(ProfileExportImportTest, AllProfilesComeBackNextToTheExistingOnes) {
    CProfileMngr& mngr = MakeMngr();
    Saved(mngr, "--", "--");
    Saved(mngr, kQuotedName, kTrickySsid, true);
    Saved(mngr, "\xE2\x98\x95 Kaffee", "\xC3\x9C\x62\x65rfahrt \xE2\x98\x95");
    // Not stored yet: an export writes what the store holds, and writes nothing to it.
    auto unsaved = mngr.GetProfile(mngr.AddProfile());
    unsaved->NetName = "Unsaved";
    ASSERT_TRUE(theApp.WriteProfileInt("", "Polling Interval", 5000));
    const std::string file = FilePath("all.reg");
    ASSERT_TRUE(mngr.RegistryOp(Op::REG_OP_EXPORT_ALL, file, std::nullopt));
    EXPECT_FALSE(m_pRegistry->KeyExists(unsaved->GetSection()));
    EXPECT_FALSE(unsaved->IsStored());
    mngr.RemoveProfile(unsaved->ProfName, true, true);

    ASSERT_TRUE(mngr.RegistryOp(Op::REG_OP_IMPORT, file, std::nullopt));
    EXPECT_TRUE(m_Messages.m_Shown.empty());
    ASSERT_EQ(mngr.GetCount(), 6);
    EXPECT_EQ(mngr.GetAutoCount(), 1);
    EXPECT_EQ(mngr.GetProfile(kQuotedName)->Priority, 0);
    EXPECT_FALSE(m_pRegistry->KeyExists("Import"));

    // The file's Profile i becomes the i-th new profile, after the three names and sections in use.
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"--", "--"},
        {kQuotedName, kTrickySsid},
        {"\xE2\x98\x95 Kaffee", "\xC3\x9C\x62\x65rfahrt \xE2\x98\x95"}};
    for (int i = 0; i < 3; ++i) {
        auto p = mngr.GetProfile("Profile " + std::to_string(3 + i));
        ASSERT_NE(p, nullptr) << i;
        EXPECT_EQ(p->NetName, expected[static_cast<std::size_t>(i)].second);
        EXPECT_EQ(p->GetSection(), p->ProfName);
        EXPECT_FALSE(p->AutoSelect);
        EXPECT_EQ(p->Priority, -1);
    }

    // Stored as they were imported, they are there at the next start.
    DropMngr();
    CProfileMngr& again = MakeMngr();
    EXPECT_EQ(again.GetCount(), 6);
    EXPECT_EQ(again.GetProfile("Profile 4")->NetName, kTrickySsid);
    EXPECT_EQ(theApp.GetProfileInt("", "NumOfProfiles", 0), 6);
}

// After the profiles were deleted (or on another machine) an import gives them back their names;
// a name another profile bears, or that an earlier profile of the same file took, gives way to a
// "Profile N" name, and no two profiles end up with one name or one section.
TEST_F(ProfileExportImportTest, ImportedProfilesKeepTheirNamesUnlessTaken) {
    CProfileMngr& mngr = MakeMngr();
    Saved(mngr, "Oma Wohnung", "Lighthouse");
    Saved(mngr, kQuotedName, kTrickySsid);
    Saved(mngr, "Profile 7", "Harbour");  // a name of the automatic kind, in another section
    const std::string file = FilePath("all.reg");
    ASSERT_TRUE(mngr.RegistryOp(Op::REG_OP_EXPORT_ALL, file, std::nullopt));
    ASSERT_EQ(mngr.RemoveProfile("Oma Wohnung", true, true), REG_OK);
    ASSERT_EQ(mngr.RemoveProfile("Profile 7", true, true), REG_OK);

    // The same file twice: the second time every name is taken.
    for (int round = 0; round < 2; ++round) {
        const auto result = mngr.ImportFile(file);
        ASSERT_EQ(result.error, REG_OK) << result.refusal;
        ASSERT_EQ(result.added.size(), 3u);
    }
    ASSERT_EQ(mngr.GetCount(), 7);
    EXPECT_EQ(mngr.GetProfile("Oma Wohnung")->NetName, "Lighthouse");
    EXPECT_EQ(mngr.GetProfile("Profile 7")->NetName, "Harbour");
    std::set<std::string> names, sections;
    std::map<std::string, int> ssids;
    for (const auto& p : mngr.Snapshot()) {
        names.insert(p->ProfName);
        sections.insert(p->GetSection());
        ++ssids[p->NetName];
    }
    EXPECT_EQ(names.size(), 7u);
    EXPECT_EQ(sections.size(), 7u);
    EXPECT_EQ(ssids, (std::map<std::string, int>{{"Lighthouse", 2}, {kTrickySsid, 3}, {"Harbour", 2}}));

    // As stored: a new start reads the same names.
    DropMngr();
    CProfileMngr& again = MakeMngr();
    EXPECT_EQ(again.GetCount(), 7);
    EXPECT_EQ(again.GetProfile("Oma Wohnung")->NetName, "Lighthouse");
    EXPECT_EQ(again.GetProfile(kQuotedName)->NetName, kTrickySsid);
}

TEST_F(ProfileExportImportTest, ExportToAnExistingFileFailsUnlessOverwriting) {
    CProfileMngr& mngr = MakeMngr();
    Saved(mngr, "Home", "Lighthouse");
    const std::string file = FilePath("exists.reg");
    WriteFile(file, "keep me");

    EXPECT_FALSE(mngr.RegistryOp(Op::REG_OP_EXPORT_ONE, file, std::string("Home")));
    EXPECT_TRUE(LastMessageIs(REG_ERROR_FILE_EXISTS));
    EXPECT_FALSE(mngr.RegistryOp(Op::REG_OP_EXPORT_ALL, file, std::nullopt));
    EXPECT_EQ(m_Messages.m_Shown.size(), 2u);
    EXPECT_EQ(ReadFile(file), "keep me");

    ASSERT_TRUE(mngr.RegistryOp(Op::REG_OP_EXPORT_ONE, file, std::string("Home"), true));
    const std::string written = ReadFile(file);
    ASSERT_GE(written.size(), 2u);
    EXPECT_EQ(written.substr(0, 2), "\xFF\xFE");
}

TEST_F(ProfileExportImportTest, BadFileIsReportedAndChangesNothingOutsideImport) {
    CProfileMngr& mngr = MakeMngr();
    Saved(mngr, "Home", "Lighthouse", true);
    Saved(mngr, "Work", "Harbour");
    ASSERT_TRUE(theApp.WriteProfileInt("", "Polling Interval", 7000));
    const std::string good = FilePath("good.reg");
    ASSERT_TRUE(mngr.RegistryOp(Op::REG_OP_EXPORT_ALL, good, std::nullopt));
    const SRegKey before = StoreWithoutImport();

    const std::string garbage = FilePath("garbage.reg");
    WriteFile(garbage, "\x01\x02 not a profile file \x7F");
    const std::string content = ReadFile(good);
    const std::string cut = FilePath("cut.reg");
    const std::size_t half = content.size() / 2;
    WriteFile(cut, content.substr(0, half | 1));  // odd length: the text breaks off

    struct Case {
        std::string file;
        int code;
    };
    for (const Case& c : {Case{garbage, REG_ERROR_INVALID_DATA}, Case{cut, REG_ERROR_INVALID_DATA},
                          Case{FilePath("missing.reg"), REG_ERROR_FILE_NOT_FOUND}}) {
        m_Messages.m_Shown.clear();
        EXPECT_FALSE(mngr.RegistryOp(Op::REG_OP_IMPORT, c.file, std::nullopt)) << c.file;
        EXPECT_TRUE(LastMessageIs(c.code)) << c.file;
        EXPECT_EQ(mngr.GetCount(), 2);
        EXPECT_EQ(mngr.GetAutoCount(), 1);
        EXPECT_EQ(mngr.GetProfile("Home")->NetName, "Lighthouse");
        EXPECT_EQ(StoreWithoutImport(), before) << c.file;
        // A refused file is one change that did not happen: nothing is staged either.
        EXPECT_FALSE(m_pRegistry->KeyExists("Import"));
    }
}

TEST_F(ProfileExportImportTest, UnknownProfileFailsSilently) {
    CProfileMngr& mngr = MakeMngr();
    const std::string file = FilePath("nobody.reg");
    EXPECT_FALSE(mngr.RegistryOp(Op::REG_OP_EXPORT_ONE, file, std::string("Nobody")));
    EXPECT_FALSE(mngr.RegistryOp(Op::REG_OP_DELETE, std::nullopt, std::string("Nobody")));
    EXPECT_FALSE(mngr.RegistryOp(Op::REG_OP_DELETE, std::nullopt, std::nullopt));
    EXPECT_FALSE(std::filesystem::exists(file));
    EXPECT_TRUE(m_Messages.m_Shown.empty());
}

TEST_F(ProfileExportImportTest, UnexpectedErrorBecomesTheTextException) {
    CProfileMngr& mngr = MakeMngr();
    mngr.m_fnCurrentStation = []() -> std::shared_ptr<CProfile> {
        throw std::logic_error("station list broken");
    };
    try {
        mngr.RegistryOp(Op::REG_OP_EXPORT_ONE, FilePath("x.reg"), std::string("ConnectedStation"));
        FAIL() << "no exception";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "Unknown error while performing profile registry operation");
    }
    mngr.m_fnCurrentStation = nullptr;
}

// One value of a file that cannot be read refuses its profile only: the others import, and the
// refused one is named with the line that failed.
TEST_F(ProfileExportImportTest, AnUnreadableValueRefusesItsProfileOnly) {
    CProfileMngr& mngr = MakeMngr();
    const std::string text =
        "Windows Registry Editor Version 5.00\r\n\r\n"
        "[HKEY_CURRENT_USER\\Software\\Wavory\\Wavory Utility]\r\n"
        "\"NumOfProfiles\"=dword:00000003\r\n\r\n"
        "[HKEY_CURRENT_USER\\Software\\Wavory\\Wavory Utility\\Profile 0]\r\n"
        "\"ProfName\"=\"First\"\r\n\"NetName\"=\"Lighthouse\"\r\n\r\n"
        "[HKEY_CURRENT_USER\\Software\\Wavory\\Wavory Utility\\Profile 1]\r\n"
        "\"ProfName\"=\"Second\"\r\n\"NetName\"=\"Harb" +
        std::string(1, '\0') +
        "our\"\r\n\r\n"
        "[HKEY_CURRENT_USER\\Software\\Wavory\\Wavory Utility\\Profile 2]\r\n"
        "\"ProfName\"=\"Third\"\r\n\"NetName\"=\"Quay\"\r\n";
    const std::string file = FilePath("one-bad.reg");
    WriteFile(file, "\xFF\xFE" + Utf8ToUtf16Le(text));

    const CProfileMngr::SImportResult result = mngr.ImportFile(file);
    EXPECT_EQ(result.error, REG_OK);
    EXPECT_EQ(result.added.size(), 2u);
    ASSERT_EQ(result.skipped.size(), 1u);
    EXPECT_EQ(result.skipped[0].first, "Profile 1");
    EXPECT_EQ(result.skipped[0].second, "the value on line 12 cannot be read");
    std::vector<std::string> ssids;
    for (const auto& p : mngr.Snapshot()) ssids.push_back(p->NetName);
    std::sort(ssids.begin(), ssids.end());
    EXPECT_EQ(ssids, (std::vector<std::string>{"Lighthouse", "Quay"}));
}

// Earlier versions exported 2407 MHz for a hidden network joined by name (no channel): such a file
// still imports, the profile without a frequency; any other frequency of no channel is refused.
TEST_F(ProfileExportImportTest, AnEarlierExportOfAHiddenNetworkImports) {
    CProfileMngr& mngr = MakeMngr();
    auto fileWith = [&](const std::string& name, const char* freq) {
        const std::string file = FilePath(name);
        WriteFile(file,
                  "REGEDIT4\r\n[HKEY_CURRENT_USER\\Software\\Wavory\\Wavory Utility\\Profile 0]\r\n"
                  "\"ProfName\"=\"Attic\"\r\n\"NetName\"=\"Attic\"\r\n\"NetMode\"=dword:00000001\r\n"
                  "\"PhyFreq\"=dword:" +
                      std::string(freq) + "\r\n");
        return file;
    };
    const CProfileMngr::SImportResult old = mngr.ImportFile(fileWith("old.reg", "00000967"));
    ASSERT_EQ(old.error, REG_OK) << old.refusal;
    ASSERT_EQ(old.added.size(), 1u);
    EXPECT_EQ(mngr.GetProfile(old.added[0])->PhyFreq, 0);
    const CProfileMngr::SImportResult odd = mngr.ImportFile(fileWith("odd.reg", "00000968"));
    EXPECT_NE(odd.error, REG_OK);
    EXPECT_NE(odd.refusal.find("PhyFreq"), std::string::npos) << odd.refusal;
}

// The network's own settings go out and come back with the profile, and a file whose values no
// host could use refuses that profile only, naming the value and why.
TEST_F(ProfileExportImportTest, NetworkSettingsComeBackAndUnusableOnesRefuseTheirProfile) {
    CProfileMngr& mngr = MakeMngr();
    auto original = Saved(mngr, "Home", "Home");
    original->MacAddress = KCOM_MAC_STABLE;
    original->Metered = true;
    original->IPv4Address = "192.0.2.10/24";
    original->IPv4Gateway = "192.0.2.1";
    original->IPv6Address = "2001:db8::10/64";
    original->IPv6Gateway = "2001:db8::1";
    original->DnsServers = "192.0.2.53 2001:db8::53";
    original->PreferHighBand = true;
    original->BandFloor = -82;
    original->PinnedBssid = "02:1a:11:00:00:0b";
    ASSERT_TRUE(original->Save(true));
    const std::string file = FilePath("net.reg");
    ASSERT_TRUE(mngr.RegistryOp(Op::REG_OP_EXPORT_ONE, file, std::string("Home")));
    const CProfileMngr::SImportResult back = mngr.ImportFile(file);
    ASSERT_EQ(back.error, REG_OK) << back.refusal;
    ASSERT_EQ(back.added.size(), 1u);
    auto imported = mngr.GetProfile(back.added[0]);
    EXPECT_EQ(imported->MacAddress, KCOM_MAC_STABLE);
    EXPECT_TRUE(imported->Metered);
    EXPECT_EQ(imported->IPv4Address, "192.0.2.10/24");
    EXPECT_EQ(imported->IPv4Gateway, "192.0.2.1");
    EXPECT_EQ(imported->IPv6Address, "2001:db8::10/64");
    EXPECT_EQ(imported->IPv6Gateway, "2001:db8::1");
    EXPECT_EQ(imported->DnsServers, "192.0.2.53 2001:db8::53");
    EXPECT_TRUE(imported->PreferHighBand);
    EXPECT_EQ(imported->BandFloor, -82);
    EXPECT_EQ(imported->PinnedBssid, "02:1a:11:00:00:0b");

    const std::pair<const char*, const char*> bad[] = {
        {"\"MacAddress\"=dword:00000007", "\"MacAddress\" is 7"},
        {"\"IPv4Address\"=\"224.0.0.1/24\"", "\"IPv4Address\""},
        {"\"IPv4Address\"=\"0.0.0.0/24\"", "no host's address"},
        {"\"IPv6Address\"=\"2001:db8::1/200\"", "prefix length"},
        {"\"IPv4Gateway\"=\"192.0.2.1\"", "needs a fixed address"},
        {"\"DnsServers\"=\"192.0.2.53 resolver.example\"", "\"DnsServers\""},
        {"\"PinnedBssid\"=\"01:00:5e:00:00:01\"", "group"},
        {"\"PinnedBssid\"=\"00:00:00:00:00:00\"", "all-zero"},
        {"\"PinnedBssid\"=\"02:1a:11:00:00\"", "not a BSSID"},
        {"\"BandFloor\"=dword:ffffff9c", "\"BandFloor\" is -100"},
        {"\"BandFloor\"=dword:00000000", "\"BandFloor\" is 0"},
    };
    std::string text =
        "Windows Registry Editor Version 5.00\r\n\r\n"
        "[HKEY_CURRENT_USER\\Software\\Wavory\\Wavory Utility]\r\n"
        "\"NumOfProfiles\"=dword:0000000c\r\n\r\n";
    int n = 0;
    for (const auto& [value, reason] : bad)
        text += "[HKEY_CURRENT_USER\\Software\\Wavory\\Wavory Utility\\Profile " + std::to_string(n++) +
                "]\r\n\"ProfName\"=\"P\"\r\n\"NetName\"=\"Quay\"\r\n" + value + "\r\n\r\n";
    text += "[HKEY_CURRENT_USER\\Software\\Wavory\\Wavory Utility\\Profile " + std::to_string(n) +
            "]\r\n\"ProfName\"=\"Good\"\r\n\"NetName\"=\"Quay\"\r\n\"Metered\"=dword:00000001\r\n";
    const std::string hostile = FilePath("hostile.reg");
    WriteFile(hostile, "\xFF\xFE" + Utf8ToUtf16Le(text));
    const CProfileMngr::SImportResult result = mngr.ImportFile(hostile);
    EXPECT_EQ(result.error, REG_OK) << result.refusal;
    ASSERT_EQ(result.added.size(), 1u);
    EXPECT_TRUE(mngr.GetProfile(result.added[0])->Metered);
    ASSERT_EQ(result.skipped.size(), std::size(bad));
    for (std::size_t i = 0; i < std::size(bad); ++i)
        EXPECT_NE(result.skipped[i].second.find(bad[i].second), std::string::npos)
            << bad[i].first << ": " << result.skipped[i].second;
}
