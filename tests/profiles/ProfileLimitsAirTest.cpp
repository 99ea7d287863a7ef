// What an imported profile may hold of today's settings: the security modes the editor offers and
// a channel frequency.
#include <gtest/gtest.h>

#include "ProfilesFixture.h"
#include "profiles/Profile.h"
#include "profiles/ProfileLimits.h"

using namespace wavory;
using namespace wavory::test;

namespace {

class ProfileLimitsAirTest : public ProfilesFixture {
protected:
    static CProfile Valid() {
        CProfile p("Import", false);
        p.NetName = "Marina";
        return p;
    }
};

TEST_F(ProfileLimitsAirTest, SecurityModesAndFrequencies) {
    CProfile p = Valid();
    p.WpaMode = 5;  // Enhanced Open needs no passphrase
    EXPECT_EQ(CheckProfileLimits(p), "");
    p.WpaMode = 6;  // the transition mode takes one: a short one is refused, a missing one (an
                    // export without secrets) is asked for at the join
    EXPECT_EQ(CheckProfileLimits(p), "");
    p.WpaPassphrase = "short";
    EXPECT_NE(CheckProfileLimits(p).find("WpaPassphrase"), std::string::npos);
    p.WpaPassphrase = "moorings-at-high-tide";
    EXPECT_EQ(CheckProfileLimits(p), "");
    p.WpaMode = 7;  // an enterprise profile needs its 802.1X method
    EXPECT_NE(CheckProfileLimits(p).find("EapMethod"), std::string::npos);
    p.WpaMode = 9;
    EXPECT_NE(CheckProfileLimits(p).find("WpaMode"), std::string::npos);

    CProfile q = Valid();
    q.PhyFreq = 5975;
    EXPECT_EQ(CheckProfileLimits(q), "");
    q.PhyFreq = 5181;
    EXPECT_NE(CheckProfileLimits(q).find("PhyFreq"), std::string::npos);
}

TEST_F(ProfileLimitsAirTest, SecurityTextsOfProfiles) {
    CProfile p = Valid();
    EXPECT_EQ(ProfileSecurityText(p), "None");
    p.SecType = 1;
    EXPECT_EQ(ProfileSecurityText(p), "WEP");
    p.WpaMode = 6;
    EXPECT_EQ(ProfileSecurityText(p), "WPA2/WPA3-Personal");
    p.WpaMode = 5;
    EXPECT_EQ(ProfileSecurityText(p), "Enhanced Open");
}

}  // namespace
