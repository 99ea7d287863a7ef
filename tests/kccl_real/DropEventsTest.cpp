// Why a connection ended, read from each way of control's own message: wpa_supplicant's event line,
// nl80211's disconnect attributes and NetworkManager's device state reason.
#include <gtest/gtest.h>
#include <linux/nl80211.h>
#include <netlink/attr.h>
#include <netlink/msg.h>

#include <functional>
#include <memory>

#include "DropEvents.h"
#include "kccl_oid.h"

namespace wavory::kccl {
namespace {

TEST(DropEventsTest, SupplicantLinesNameTheReasonAndWhoEndedIt) {
    SDropEvent ap = ParseWpaDisconnected("<3>CTRL-EVENT-DISCONNECTED bssid=02:00:00:00:01:00 reason=7");
    ASSERT_TRUE(ap.valid);
    EXPECT_EQ(ap.reason, 7u);
    EXPECT_EQ(ap.by, static_cast<uint32_t>(KCOM_DISCONNECT_BY_AP));
    ASSERT_TRUE(ap.hasBssid);
    EXPECT_EQ(ap.bssid, (std::array<uint8_t, 6>{0x02, 0, 0, 0, 0x01, 0}));

    SDropEvent own = ParseWpaDisconnected(
        "IFNAME=wlan0 <3>CTRL-EVENT-DISCONNECTED bssid=0a:1B:2c:3D:4e:5F reason=3 locally_generated=1");
    ASSERT_TRUE(own.valid);
    EXPECT_EQ(own.reason, 3u);
    EXPECT_EQ(own.by, static_cast<uint32_t>(KCOM_DISCONNECT_BY_THIS_MACHINE));
    EXPECT_EQ(own.bssid, (std::array<uint8_t, 6>{0x0A, 0x1B, 0x2C, 0x3D, 0x4E, 0x5F}));

    // The kernel's own deauthentication for inactivity: the access point was no longer heard.
    EXPECT_EQ(ParseWpaDisconnected("CTRL-EVENT-DISCONNECTED bssid=02:00:00:00:01:00 reason=4 locally_generated=1").by,
              static_cast<uint32_t>(KCOM_DISCONNECT_BY_SIGNAL_LOST));
    // The same code from the access point is the access point's inactivity timer.
    EXPECT_EQ(ParseWpaDisconnected("<3>CTRL-EVENT-DISCONNECTED bssid=02:00:00:00:01:00 reason=4").by,
              static_cast<uint32_t>(KCOM_DISCONNECT_BY_AP));
}

TEST(DropEventsTest, SupplicantLinesThatAreNotADisconnectOrAreDamagedAreSafe) {
    EXPECT_FALSE(ParseWpaDisconnected("").valid);
    EXPECT_FALSE(ParseWpaDisconnected("<3>CTRL-EVENT-CONNECTED - Connection to 02:00:00:00:01:00 completed").valid);
    EXPECT_FALSE(ParseWpaDisconnected("<3>CTRL-EVENT-DISCONNECTEDX reason=7").valid);
    EXPECT_FALSE(ParseWpaDisconnected("<3>WPA: reason=7 CTRL-EVENT-DISCONNECTED").valid);
    EXPECT_FALSE(ParseWpaDisconnected("<3").valid);
    EXPECT_FALSE(ParseWpaDisconnected("IFNAME=wlan0").valid);

    const SDropEvent bare = ParseWpaDisconnected("<3>CTRL-EVENT-DISCONNECTED");
    ASSERT_TRUE(bare.valid);
    EXPECT_EQ(bare.reason, 0u);
    EXPECT_FALSE(bare.hasBssid);
    // Out-of-range, negative or non-numeric codes and malformed addresses are left out, never guessed.
    for (const char* line : {"<3>CTRL-EVENT-DISCONNECTED bssid=02:00:00:00:01 reason=65536",
                             "<3>CTRL-EVENT-DISCONNECTED bssid=02:00:00:00:01:0g reason=-3",
                             "<3>CTRL-EVENT-DISCONNECTED bssid=02-00-00-00-01-00 reason=7x",
                             "<3>CTRL-EVENT-DISCONNECTED bssid= reason=99999999999999999999"}) {
        SCOPED_TRACE(line);
        const SDropEvent drop = ParseWpaDisconnected(line);
        EXPECT_TRUE(drop.valid);
        EXPECT_EQ(drop.reason, 0u);
        EXPECT_FALSE(drop.hasBssid);
    }
    // "reason" inside another word is not the field.
    EXPECT_EQ(ParseWpaDisconnected("<3>CTRL-EVENT-DISCONNECTED xreason=9 reason=2").reason, 2u);
}

// The attributes of one message as a test fills them; Parsed() hands back the top level.
class CAttrs {
public:
    CAttrs() : m_pMsg(nlmsg_alloc(), nlmsg_free) {}
    nl_msg* Msg() { return m_pMsg.get(); }
    nlattr** Parsed() {
        nlmsghdr* hdr = nlmsg_hdr(Msg());
        nla_parse(m_Tb, NL80211_ATTR_MAX, static_cast<nlattr*>(nlmsg_data(hdr)),
                  static_cast<int>(nlmsg_datalen(hdr)), nullptr);
        return m_Tb;
    }

private:
    std::unique_ptr<nl_msg, void (*)(nl_msg*)> m_pMsg;
    nlattr* m_Tb[NL80211_ATTR_MAX + 1] = {};
};

TEST(DropEventsTest, KernelDisconnectEventsTellTheCodeAndWhetherTheAccessPointSentIt) {
    CAttrs byAp;
    nla_put_u32(byAp.Msg(), NL80211_ATTR_IFINDEX, 3);
    nla_put_u16(byAp.Msg(), NL80211_ATTR_REASON_CODE, 15);
    nla_put_flag(byAp.Msg(), NL80211_ATTR_DISCONNECTED_BY_AP);
    SDropEvent drop = ParseNlDisconnect(byAp.Parsed());
    EXPECT_TRUE(drop.valid);
    EXPECT_EQ(drop.reason, 15u);
    EXPECT_EQ(drop.by, static_cast<uint32_t>(KCOM_DISCONNECT_BY_AP));
    EXPECT_FALSE(drop.hasBssid);

    CAttrs local;
    nla_put_u16(local.Msg(), NL80211_ATTR_REASON_CODE, 3);
    drop = ParseNlDisconnect(local.Parsed());
    EXPECT_EQ(drop.reason, 3u);
    EXPECT_EQ(drop.by, static_cast<uint32_t>(KCOM_DISCONNECT_BY_THIS_MACHINE));

    CAttrs lost;
    nla_put_u16(lost.Msg(), NL80211_ATTR_REASON_CODE, 4);
    EXPECT_EQ(ParseNlDisconnect(lost.Parsed()).by, static_cast<uint32_t>(KCOM_DISCONNECT_BY_SIGNAL_LOST));

    // No code at all, or a code attribute too short to hold one.
    CAttrs none;
    nla_put_flag(none.Msg(), NL80211_ATTR_DISCONNECTED_BY_AP);
    drop = ParseNlDisconnect(none.Parsed());
    EXPECT_EQ(drop.reason, 0u);
    EXPECT_EQ(drop.by, static_cast<uint32_t>(KCOM_DISCONNECT_BY_AP));
    CAttrs shortCode;
    nla_put_u8(shortCode.Msg(), NL80211_ATTR_REASON_CODE, 7);
    EXPECT_EQ(ParseNlDisconnect(shortCode.Parsed()).reason, 0u);
}

TEST(DropEventsTest, NetworkManagerReasonsNameWhoEndedIt) {
    EXPECT_EQ(DropFromNmReason(39).by, static_cast<uint32_t>(KCOM_DISCONNECT_BY_USER));  // user requested
    EXPECT_EQ(DropFromNmReason(38).by, static_cast<uint32_t>(KCOM_DISCONNECT_BY_USER));  // connection removed
    EXPECT_EQ(DropFromNmReason(37).by, static_cast<uint32_t>(KCOM_DISCONNECT_BY_THIS_MACHINE));  // sleeping
    EXPECT_EQ(DropFromNmReason(36).by, static_cast<uint32_t>(KCOM_DISCONNECT_BY_THIS_MACHINE));  // removed
    EXPECT_EQ(DropFromNmReason(53).by, static_cast<uint32_t>(KCOM_DISCONNECT_BY_SIGNAL_LOST));  // SSID not found
    EXPECT_TRUE(DropFromNmReason(39).valid);
    EXPECT_EQ(DropFromNmReason(39).reason, 0u);
    // The supplicant's own disconnect, no reason and unknown values say nothing of who ended it.
    for (uint32_t reason : {0u, 1u, 8u, 40u, 1000u, 0xFFFFFFFFu}) EXPECT_FALSE(DropFromNmReason(reason).valid) << reason;
}

}  // namespace
}  // namespace wavory::kccl
