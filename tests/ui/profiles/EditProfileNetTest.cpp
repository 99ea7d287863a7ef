// The editor's "Privacy and addresses" page: what it stores, what it shows again, and the values it
// refuses with the field to correct.
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QSpinBox>
#include <QTabWidget>

#include "ProfilesUiFixture.h"
#include "kccl_oid.h"
#include "ui/profiles/EditProfileNet.h"

namespace wavory::test {
namespace {

class EditProfileNetTest : public ProfilesUiTest {
protected:
    // An editor on the profile, shown on its third page.
    static std::unique_ptr<CEditProfile> Open(const std::string& name) { return OpenEditor(name, 2); }
    static void Choose(QComboBox* box, int mode) {
        box->setFocus();
        QTest::keyClick(box, Qt::Key_Home);
        for (int i = 0; i < box->findData(mode); ++i) QTest::keyClick(box, Qt::Key_Down);
    }
};

TEST_F(EditProfileNetTest, TheSectionIsSavedAndShownAgainAfterAReload) {
    auto profile = Stored("Home", "Harbour");
    {
        auto sheet = Open("Home");
        CEditProfileNet* page = sheet->NetworkPage();
        ASSERT_NE(page, nullptr);
        EXPECT_EQ(page->MacMode()->currentData().toInt(), KCOM_MAC_NOT_TOLD);
        Choose(page->MacMode(), KCOM_MAC_STABLE);
        QTest::mouseClick(page->Metered(), Qt::LeftButton);
        Type(page->Ipv4(), QStringLiteral("192.0.2.10/24"));
        Type(page->Gateway4(), QStringLiteral(" 192.0.2.1 "));
        Type(page->Ipv6(), QStringLiteral("2001:db8::10/64"));
        Type(page->Dns(), QStringLiteral("192.0.2.53 2001:db8::53"));
        ASSERT_TRUE(sheet->ApplyAll());
        EXPECT_TRUE(m_Messages.m_Shown.empty());
    }
    EXPECT_EQ(profile->MacAddress, KCOM_MAC_STABLE);
    // Stored as the Profiles page stores an edited profile, and read anew.
    ASSERT_TRUE(Mngr().SaveAll());
    const CProfile loaded(profile->GetSection(), true);
    EXPECT_EQ(loaded.MacAddress, KCOM_MAC_STABLE);
    EXPECT_TRUE(loaded.Metered);
    EXPECT_EQ(loaded.IPv4Address, "192.0.2.10/24");
    EXPECT_EQ(loaded.IPv4Gateway, "192.0.2.1");
    EXPECT_EQ(loaded.IPv6Address, "2001:db8::10/64");
    EXPECT_EQ(loaded.IPv6Gateway, "");
    EXPECT_EQ(loaded.DnsServers, "192.0.2.53 2001:db8::53");
    // The design's pages stay as they were, this page after them.
    auto sheet = Open("Home");
    auto* tabs = sheet->findChild<QTabWidget*>();
    ASSERT_NE(tabs, nullptr);
    ASSERT_EQ(tabs->count(), 3);
    EXPECT_EQ(tabs->tabText(0), "General");
    EXPECT_TRUE(tabs->tabText(1).startsWith(QStringLiteral("Security"))) << tabs->tabText(1).toStdString();
    EXPECT_EQ(tabs->tabText(2), "Privacy and addresses");
    CEditProfileNet* page = sheet->NetworkPage();
    EXPECT_EQ(page->MacMode()->currentData().toInt(), KCOM_MAC_STABLE);
    EXPECT_TRUE(page->Metered()->isChecked());
    EXPECT_EQ(page->Ipv4()->text(), "192.0.2.10/24");
    EXPECT_EQ(page->Gateway4()->text(), "192.0.2.1");
    EXPECT_EQ(page->Dns()->text(), "192.0.2.53 2001:db8::53");
}

TEST_F(EditProfileNetTest, AnAddressNoHostCanHaveIsRefusedAndNothingIsStored) {
    auto profile = Stored("Home", "Harbour");
    auto sheet = Open("Home");
    CEditProfileNet* page = sheet->NetworkPage();
    const std::pair<QLineEdit*, QString> cases[] = {
        {page->Ipv4(), QStringLiteral("224.0.0.1/24")},
        {page->Ipv4(), QStringLiteral("192.0.2.10/40")},
        {page->Ipv6(), QStringLiteral("ff02::1/64")},
        {page->Dns(), QStringLiteral("192.0.2.53 resolver.example")},
    };
    for (const auto& [edit, text] : cases) {
        Type(edit, text);
        m_Messages.m_Shown.clear();
        EXPECT_FALSE(sheet->ApplyAll()) << text.toStdString();
        EXPECT_EQ(m_Messages.m_Shown.size(), 1u) << text.toStdString();
        // The field at fault is the one to correct.
        EXPECT_EQ(page->Validate(), edit) << text.toStdString();
        edit->clear();
    }
    // A gateway without its address.
    Type(page->Gateway4(), QStringLiteral("192.0.2.1"));
    EXPECT_FALSE(sheet->ApplyAll());
    EXPECT_EQ(page->Validate(), page->Gateway4());
    EXPECT_EQ(profile->IPv4Address, "");
    EXPECT_EQ(profile->IPv4Gateway, "");
    EXPECT_EQ(profile->DnsServers, "");
}

// The access point section: the floor belongs to the preference (greyed out without it), a pin is
// kept as the lists show BSSIDs, and one no access point can have is refused on its field.
TEST_F(EditProfileNetTest, TheAccessPointSectionKeepsThePreferenceAndThePinAndRefusesAGroupPin) {
    auto profile = Stored("Home", "Harbour");
    {
        auto sheet = Open("Home");
        CEditProfileNet* page = sheet->NetworkPage();
        EXPECT_FALSE(page->PreferHighBand()->isChecked());
        EXPECT_FALSE(page->BandFloor()->isEnabled());
        EXPECT_EQ(page->BandFloor()->value(), -70);
        QTest::mouseClick(page->PreferHighBand(), Qt::LeftButton);
        EXPECT_TRUE(page->BandFloor()->isEnabled());
        page->BandFloor()->setFocus();
        QTest::keyClick(page->BandFloor(), Qt::Key_Down);
        QTest::keyClick(page->BandFloor(), Qt::Key_Down);

        Type(page->PinnedBssid(), QStringLiteral("01-00-5E-00-00-01"));
        EXPECT_FALSE(sheet->ApplyAll());
        EXPECT_EQ(page->Validate(), page->PinnedBssid());
        EXPECT_EQ(profile->PinnedBssid, "");
        page->PinnedBssid()->clear();
        Type(page->PinnedBssid(), QStringLiteral(" 02-1A-11-00-00-0B "));
        m_Messages.m_Shown.clear();
        ASSERT_TRUE(sheet->ApplyAll());
        EXPECT_TRUE(m_Messages.m_Shown.empty());
    }
    EXPECT_TRUE(profile->PreferHighBand);
    EXPECT_EQ(profile->BandFloor, -72);
    EXPECT_EQ(profile->PinnedBssid, "02:1a:11:00:00:0b");

    auto sheet = Open("Home");
    CEditProfileNet* page = sheet->NetworkPage();
    EXPECT_TRUE(page->PreferHighBand()->isChecked());
    EXPECT_TRUE(page->BandFloor()->isEnabled());
    EXPECT_EQ(page->BandFloor()->value(), -72);
    EXPECT_EQ(page->PinnedBssid()->text(), "02:1a:11:00:00:0b");
}

}  // namespace
}  // namespace wavory::test
