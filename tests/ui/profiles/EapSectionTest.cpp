// The Security page's enterprise section: shown for WPA-Enterprise only, the server check that is
// off only when its box is ticked, and what is stored (the password only when it is to be kept).
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>

#include "ProfilesUiFixture.h"
#include "kccl_oid.h"
#include "ui/profiles/EapSection.h"
#include "ui/profiles/EditProfileSec.h"

namespace wavory::test {
namespace {

using S = CEditProfileSec;

class EapSectionTest : public ProfilesUiTest {
protected:
    // An editor on the profile, shown on its Security page.
    static std::unique_ptr<CEditProfile> Open(const std::string& name) { return OpenEditor(name, 1); }
    static void Choose(CEditProfile& sheet, int item) {
        auto* type = Find<QComboBox>(&sheet, S::IDC_SECURITY);
        QTest::keyClick(type, Qt::Key_Home);
        for (int i = 0; i < item; ++i) QTest::keyClick(type, Qt::Key_Down);
    }
};

TEST_F(EapSectionTest, TheSectionShowsForEnterpriseAndTheServerCheckNeedsTheBoxTicked) {
    auto profile = Stored("Uni", "Campus");
    auto sheet = Open("Uni");
    CEapSection* eap = sheet->SecurityPage()->EapSection();
    EXPECT_FALSE(eap->isVisible());
    Choose(*sheet, S::kWpa2EnterpriseItem);
    ASSERT_TRUE(eap->isVisible());

    // No identity: refused, nothing stored.
    EXPECT_FALSE(sheet->ApplyAll());
    ASSERT_EQ(m_Messages.m_Shown.size(), 1u);
    EXPECT_NE(m_Messages.m_Shown[0].find("identity"), std::string::npos);
    EXPECT_EQ(profile->WpaMode, 0);

    // An identity, but nothing that checks the server: refused with the risk.
    Type(eap->Identity(), "bob");
    m_Messages.m_Shown.clear();
    EXPECT_FALSE(sheet->ApplyAll());
    ASSERT_EQ(m_Messages.m_Shown.size(), 1u);
    EXPECT_NE(m_Messages.m_Shown[0].find("collect the password"), std::string::npos);
    EXPECT_EQ(profile->WpaMode, 0);

    // Ticking the box is the explicit choice.
    eap->NoCaCheck()->click();
    m_Messages.m_Shown.clear();
    ASSERT_TRUE(sheet->ApplyAll()) << (m_Messages.m_Shown.empty() ? "" : m_Messages.m_Shown[0]);
    EXPECT_EQ(profile->WpaMode, KCOM_SECURITY_MODE_WPA2_ENTERPRISE);
    EXPECT_EQ(profile->EapMethod, KCOM_EAP_PEAP);
    EXPECT_EQ(profile->EapIdentity, "bob");
    EXPECT_TRUE(profile->EapNoCaCheck);
}

TEST_F(EapSectionTest, MethodsOfferTheirInnerMethodsAndThePasswordIsKeptOnlyWhenAsked) {
    auto profile = Stored("Uni", "Campus");
    profile->WpaMode = KCOM_SECURITY_MODE_WPA3_ENTERPRISE;
    profile->EapMethod = KCOM_EAP_TTLS;
    profile->EapPhase2 = KCOM_PHASE2_CHAP;
    profile->EapIdentity = "bob";
    profile->EapDomain = "radius.campus.example";
    auto sheet = Open("Uni");
    CEapSection* eap = sheet->SecurityPage()->EapSection();
    ASSERT_TRUE(eap->isVisible());
    EXPECT_EQ(eap->Method()->currentText(), "TTLS");
    EXPECT_EQ(eap->Phase2()->currentText(), "CHAP");
    EXPECT_EQ(eap->Phase2()->count(), 4);
    EXPECT_EQ(eap->Domain()->text(), "radius.campus.example");

    // PEAP takes MSCHAPv2 and GTC only; CHAP is not kept.
    QTest::keyClick(eap->Method(), Qt::Key_Home);
    EXPECT_EQ(eap->Method()->currentText(), "PEAP");
    EXPECT_EQ(eap->Phase2()->count(), 2);
    EXPECT_EQ(eap->Phase2()->currentText(), "MSCHAPv2");

    EXPECT_EQ(eap->Password()->echoMode(), QLineEdit::Password);
    Type(eap->Password(), "p \"w\"");
    eap->StorePassword()->setChecked(false);
    ASSERT_TRUE(sheet->ApplyAll());
    EXPECT_EQ(profile->EapMethod, KCOM_EAP_PEAP);
    EXPECT_EQ(profile->EapPhase2, KCOM_PHASE2_MSCHAPV2);
    EXPECT_EQ(profile->EapPassword, "");
    eap->StorePassword()->setChecked(true);
    ASSERT_TRUE(sheet->ApplyAll());
    EXPECT_EQ(profile->EapPassword, "p \"w\"");
}

}  // namespace
}  // namespace wavory::test
