// Joins, refusals and leaving through iwd, against a fake iwd on a private D-Bus.
#include <gtest/gtest.h>

#include <thread>

#include "FakeIwd.h"
#include "IwdClient.h"
#include "IwdControl.h"
#include "Refusal.h"
#include "TestMain.h"
#include "kccl_adapters.h"
#include "kccl_oid.h"
#include "kccl_status.h"

namespace wavory::kccl {
namespace {

using namespace std::chrono_literals;
using test::CFakeIwd;

SJoinSettings Settings(const std::string& ssid, uint32_t security = 0, const std::string& passphrase = {}) {
    SJoinSettings s;
    s.ssid = ssid;
    s.security = security;
    s.passphrase = passphrase;
    return s;
}

class IwdControlTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_Iwd.Started()) << "no dbus-daemon for the fake iwd";
        ASSERT_TRUE(m_Iwd.Serve());
        // Generous waits: the outcome, not the time, is what is checked.
        m_Control.SetWaits(20s, 10s, 3s);
    }

    SJoinOutcome Join(const SJoinSettings& s) {
        CJoinContext context;
        return m_Control.Join(s, context);
    }

    CFakeIwd m_Iwd;
    CIwdControl m_Control{CFakeIwd::kIfname};
};

TEST_F(IwdControlTest, Wpa2JoinGivesThePassphraseThroughAnAgentOfTheAttemptOnly) {
    m_Iwd.AddNetwork({"Lab", "psk", "correct horse"});
    const SJoinOutcome out = Join(Settings("Lab", KCOM_SECURITY_MODE_WPA2_PERSONAL, "correct horse"));
    EXPECT_TRUE(out.joined) << out.detail;
    EXPECT_EQ(m_Iwd.ConnectedSsid(), "Lab");
    EXPECT_EQ(m_Iwd.PassphraseRequests(), 1);
    EXPECT_EQ(m_Iwd.Agents(), 0) << "the agent stays registered after the attempt";
    EXPECT_EQ(CIwdControl::OwnKnownNetworks(), std::vector<std::string>{"/net/connman/iwd/4c6162_psk"});
    EXPECT_EQ(m_Control.LinkGeneration(), KCOM_PHY_AC);

    // Leaving it leaves nothing behind in iwd.
    EXPECT_EQ(m_Control.Disconnect(), kStatusSuccess);
    EXPECT_EQ(m_Iwd.State(), "disconnected");
    EXPECT_TRUE(m_Iwd.Known().empty());
    EXPECT_TRUE(CIwdControl::OwnKnownNetworks().empty());
}

TEST_F(IwdControlTest, RefusedPassphraseEndsAsWrongKeyAndTheUsersNetworkComesBack) {
    m_Iwd.AddNetwork({"Home", "psk", "home secret"});
    m_Iwd.AddNetwork({"Lab", "psk", "correct horse"});
    m_Iwd.AddKnown("Home", "psk", "home secret");
    m_Iwd.ConnectTo("Home", "psk");

    const SJoinOutcome out = Join(Settings("Lab", KCOM_SECURITY_MODE_WPA2_PERSONAL, "wrong horse"));
    EXPECT_FALSE(out.joined);
    EXPECT_EQ(out.cause, KCOM_CAUSE_WRONG_KEY);
    EXPECT_TRUE(out.restored);
    EXPECT_EQ(m_Iwd.ConnectedSsid(), "Home");
    EXPECT_EQ(m_Iwd.Known(), std::vector<std::string>{"Home/psk"});
    EXPECT_EQ(m_Iwd.Agents(), 0);
}

// iwd shows a WPA3 network as "psk" too, and a password its SAE exchange refused ends as a 4-way
// handshake refusal does: Connect() fails after one passphrase request (so seen from iwd 2.3 on 5
// and 6 GHz). That is a wrong key, each time it is tried; a WPA3 network that is not in range is
// not one, and no passphrase is asked for it.
TEST_F(IwdControlTest, RefusedWpa3PasswordEndsAsWrongKeyAndAnAbsentNetworkDoesNot) {
    m_Iwd.AddNetwork({"Home", "psk", "home secret"});
    m_Iwd.AddNetwork({"Sixth", "psk", "sae secret"});
    m_Iwd.AddKnown("Home", "psk", "home secret");
    m_Iwd.ConnectTo("Home", "psk");

    for (int attempt = 1; attempt <= 2; ++attempt) {
        const SJoinOutcome out = Join(Settings("Sixth", KCOM_SECURITY_MODE_WPA3_PERSONAL, "not the secret"));
        EXPECT_EQ(out.cause, KCOM_CAUSE_WRONG_KEY) << "attempt " << attempt << ": " << out.detail;
        EXPECT_TRUE(out.restored) << "attempt " << attempt;
        EXPECT_EQ(m_Iwd.PassphraseRequests(), attempt);
        EXPECT_EQ(m_Iwd.ConnectedSsid(), "Home");
    }
    EXPECT_EQ(m_Iwd.Known(), std::vector<std::string>{"Home/psk"});

    const SJoinOutcome absent = Join(Settings("Gone", KCOM_SECURITY_MODE_WPA3_PERSONAL, "any secret"));
    EXPECT_EQ(absent.cause, KCOM_CAUSE_NOT_FOUND) << absent.detail;
    EXPECT_EQ(m_Iwd.PassphraseRequests(), 2);
    EXPECT_EQ(m_Iwd.ConnectedSsid(), "Home");

    EXPECT_TRUE(Join(Settings("Sixth", KCOM_SECURITY_MODE_WPA3_PERSONAL, "sae secret")).joined);
    EXPECT_EQ(m_Iwd.ConnectedSsid(), "Sixth");
}

// iwd scans 6 GHz apart from the other bands, each part with the kernel's results event: the scan
// is over when the station stops saying Scanning, and only then are all its networks there.
TEST_F(IwdControlTest, AScanInPartsRunsUntilIwdSaysItIsOver) {
    m_Iwd.AddNetwork({.ssid = "Sixth", .type = "psk", .passphrase = "sae secret", .afterScan = true});
    EXPECT_FALSE(m_Control.ScanRunning());
    m_Iwd.HoldScans();
    ASSERT_EQ(m_Control.StartScan(), kStatusSuccess);
    EXPECT_TRUE(m_Control.ScanRunning());
    EXPECT_TRUE(m_Control.ScanRunning()) << "asking does not end it";
    m_Iwd.EndScan();
    EXPECT_FALSE(m_Control.ScanRunning());
    EXPECT_TRUE(Join(Settings("Sixth", KCOM_SECURITY_MODE_WPA3_PERSONAL, "sae secret")).joined);
    EXPECT_EQ(m_Iwd.Scans(), 1) << "the network was there without another scan";
}

TEST_F(IwdControlTest, KnownNetworksOfTheUserStayAndTheUtilitysOwnGoOnceLeft) {
    m_Iwd.AddNetwork({"Home", "psk", "home secret"});
    m_Iwd.AddNetwork({"Cafe"});
    m_Iwd.AddNetwork({"Lab", "psk", "correct horse"});
    m_Iwd.AddKnown("Home", "psk", "home secret");

    // The user's network: iwd's stored key is used, nothing asked, nothing noted as the utility's.
    EXPECT_TRUE(Join(Settings("Home", KCOM_SECURITY_MODE_WPA2_PERSONAL, "ignored secret")).joined);
    EXPECT_EQ(m_Iwd.PassphraseRequests(), 0);
    EXPECT_TRUE(CIwdControl::OwnKnownNetworks().empty());

    // Two of the utility's in turn: the earlier one goes when the next is joined.
    EXPECT_TRUE(Join(Settings("Cafe")).joined);
    EXPECT_EQ(m_Iwd.Known(), (std::vector<std::string>{"Cafe/open", "Home/psk"}));
    EXPECT_TRUE(Join(Settings("Lab", KCOM_SECURITY_MODE_WPA2_PERSONAL, "correct horse")).joined);
    EXPECT_EQ(m_Iwd.Known(), (std::vector<std::string>{"Home/psk", "Lab/psk"}));

    // Joining the utility's network again asks for the passphrase given now, not the one iwd kept.
    EXPECT_EQ(Join(Settings("Lab", KCOM_SECURITY_MODE_WPA2_PERSONAL, "wrong horse")).cause, KCOM_CAUSE_WRONG_KEY);
    EXPECT_EQ(m_Iwd.Known(), std::vector<std::string>{"Home/psk"});
    EXPECT_TRUE(Join(Settings("Lab", KCOM_SECURITY_MODE_WPA2_PERSONAL, "correct horse")).joined);
    EXPECT_EQ(m_Iwd.Known(), (std::vector<std::string>{"Home/psk", "Lab/psk"}));
    EXPECT_EQ(CIwdControl::OwnKnownNetworks(), std::vector<std::string>{"/net/connman/iwd/4c6162_psk"});

    // Back on the user's network: the utility's goes, the user's stays through a disconnect.
    EXPECT_TRUE(Join(Settings("Home", KCOM_SECURITY_MODE_WPA2_PERSONAL)).joined);
    EXPECT_EQ(m_Iwd.Known(), std::vector<std::string>{"Home/psk"});
    EXPECT_EQ(m_Control.Disconnect(), kStatusSuccess);
    EXPECT_EQ(m_Iwd.Known(), std::vector<std::string>{"Home/psk"});
}

TEST_F(IwdControlTest, NetworksOutOfTheListAreScannedForOrJoinedAsHidden) {
    m_Iwd.AddNetwork({.ssid = "Late", .afterScan = true});
    m_Iwd.AddNetwork({.ssid = "Secret", .type = "psk", .passphrase = "hidden key", .hidden = true});

    EXPECT_TRUE(Join(Settings("Late")).joined);
    EXPECT_GE(m_Iwd.Scans(), 1);

    const SJoinOutcome hidden = Join(Settings("Secret", KCOM_SECURITY_MODE_WPA3_PERSONAL, "hidden key"));
    EXPECT_TRUE(hidden.joined) << hidden.detail;
    EXPECT_EQ(m_Iwd.ConnectedSsid(), "Secret");

    // The name in range with other security is not looked for as a hidden network.
    const SJoinOutcome other = Join(Settings("Late", KCOM_SECURITY_MODE_WPA2_PERSONAL, "some passphrase"));
    EXPECT_EQ(other.cause, KCOM_CAUSE_REFUSED);
    EXPECT_NE(other.detail.find("\"open\""), std::string::npos) << other.detail;
    EXPECT_EQ(m_Iwd.ConnectedSsid(), "Secret");

    const SJoinOutcome missing = Join(Settings("Nowhere"));
    EXPECT_EQ(missing.cause, KCOM_CAUSE_NOT_FOUND);
    // The failed attempt went back to the network it was on.
    EXPECT_EQ(m_Iwd.ConnectedSsid(), "Secret");
}

TEST_F(IwdControlTest, ScanQueuedBehindTheRadiosOtherWorkCountsAsStartedAndIsWaitedFor) {
    // iwd answers Scan only once the radio starts it: the request outlives the call's wait.
    m_Iwd.AddNetwork({.ssid = "Late", .afterScan = true});
    m_Iwd.QueueScans(600ms);
    m_Control.SetScanCallWait(100ms);

    // A join of a network not heard yet waits for the queued scan's networks.
    const SJoinOutcome out = Join(Settings("Late"));
    EXPECT_TRUE(out.joined) << out.detail;
    EXPECT_EQ(m_Iwd.ConnectedSsid(), "Late");

    // A scan asked for while the radio is busy has started as far as the caller is concerned.
    EXPECT_EQ(m_Control.StartScan(), kStatusSuccess);
    EXPECT_EQ(m_Iwd.Scans(), 2);
}

TEST_F(IwdControlTest, AttemptEndsWhenCancelledOrWhenTheStationGoes) {
    m_Iwd.AddNetwork({"Cafe"});
    m_Iwd.HoldConnects(true);
    CJoinContext context;
    std::thread cancel([&] {
        while (m_Iwd.State() != "connecting") std::this_thread::sleep_for(10ms);
        context.Cancel();
    });
    const SJoinOutcome cancelled = m_Control.Join(Settings("Cafe"), context);
    cancel.join();
    EXPECT_EQ(cancelled.cause, KCOM_CAUSE_CANCELLED);
    EXPECT_EQ(m_Iwd.Disconnects(), 1) << "iwd's own attempt is not ended";

    std::thread unplug([&] {
        while (m_Iwd.State() != "connecting") std::this_thread::sleep_for(10ms);
        m_Iwd.RemoveDevice();
    });
    const SJoinOutcome gone = Join(Settings("Cafe"));
    unplug.join();
    EXPECT_EQ(gone.cause, KCOM_CAUSE_ADAPTER_GONE);
    EXPECT_FALSE(gone.restored);
    EXPECT_TRUE(m_Iwd.Known().empty());
}

TEST_F(IwdControlTest, NetworksIwdCannotJoinAreRefusedBeforeTheAttemptWithTheReason) {
    SJoinSettings wep = Settings("Old", 1);
    wep.wepKeys[0] = "12345";
    const SJoinOutcome w = m_Control.CheckJoin(wep);
    EXPECT_EQ(w.cause, KCOM_CAUSE_UNSUPPORTED);
    EXPECT_NE(w.detail.find("WEP"), std::string::npos);

    const SJoinOutcome e = m_Control.CheckJoin(Settings("Corp Net", KCOM_SECURITY_MODE_WPA2_ENTERPRISE));
    EXPECT_EQ(e.cause, KCOM_CAUSE_UNSUPPORTED);
    EXPECT_NE(e.detail.find("/var/lib/iwd/Corp Net.8021x"), std::string::npos) << e.detail;

    SJoinSettings adhoc = Settings("Cell");
    adhoc.mode = 2;
    EXPECT_EQ(m_Control.CheckJoin(adhoc).cause, KCOM_CAUSE_UNSUPPORTED);
    EXPECT_EQ(m_Control.CheckJoin(Settings("")).status, kStatusInvalidData);
    EXPECT_EQ(m_Control.CheckJoin(Settings("Cafe", KCOM_SECURITY_MODE_OWE)).status, 2u);
    EXPECT_EQ(m_Iwd.Agents(), 0);

    // iwd chooses the hardware address for every network alike: a per-network one is refused with
    // iwd's own setting named; the device's own address is what it uses unless told otherwise.
    for (uint8_t mode : {static_cast<uint8_t>(KCOM_MAC_STABLE), static_cast<uint8_t>(KCOM_MAC_RANDOM)}) {
        SJoinSettings random = Settings("Cafe", KCOM_SECURITY_MODE_OWE);
        random.net.macMode = mode;
        const SJoinOutcome r = m_Control.CheckJoin(random);
        EXPECT_EQ(r.cause, KCOM_CAUSE_UNSUPPORTED);
        EXPECT_NE(r.detail.find("AddressRandomization"), std::string::npos) << r.detail;
    }
    SJoinSettings device = Settings("Cafe", KCOM_SECURITY_MODE_OWE);
    device.net.macMode = KCOM_MAC_DEVICE;
    EXPECT_EQ(m_Control.CheckJoin(device).status, 2u);

    // iwd connects to networks, never to one access point: a pin is refused with that reason.
    SJoinSettings pinned = Settings("Cafe", KCOM_SECURITY_MODE_OWE);
    pinned.net.pin = {0x02, 0x00, 0x00, 0x00, 0x24, 0x01};
    const SJoinOutcome p = m_Control.CheckJoin(pinned);
    EXPECT_EQ(p.cause, KCOM_CAUSE_UNSUPPORTED);
    EXPECT_NE(p.detail.find("02:00:00:00:24:01"), std::string::npos) << p.detail;
    EXPECT_NE(p.detail.find("connects to a network"), std::string::npos) << p.detail;
}

TEST(IwdControlRefusalTest, BusPolicyRefusalNamesTheGroupTheUserLacks) {
    CFakeIwd iwd(true);
    ASSERT_TRUE(iwd.Started());
    ASSERT_TRUE(iwd.Serve());
    CIwdControl control(CFakeIwd::kIfname);
    EXPECT_EQ(control.StartScan(), KCCL_STATUS_IWD_REFUSED);
    EXPECT_EQ(control.Disconnect(), KCCL_STATUS_IWD_REFUSED);
    const SJoinOutcome out = control.CheckJoin(Settings("Cafe"));
    EXPECT_EQ(out.cause, KCOM_CAUSE_NOT_PERMITTED);
    EXPECT_EQ(out.status, KCCL_STATUS_IWD_REFUSED);
    EXPECT_NE(out.detail.find("netdev"), std::string::npos) << out.detail;
    EXPECT_EQ(iwd.Scans(), 0);
}

TEST(IwdControlRefusalTest, IwdOffTheBusLeavesTheInterfaceReadOnly) {
    CFakeIwd iwd;  // the bus runs, nobody owns iwd's name
    ASSERT_TRUE(iwd.Started());
    CIwdControl control(CFakeIwd::kIfname);
    EXPECT_EQ(control.StartScan(), KCCL_STATUS_RUN_BY_IWD);
    const SJoinOutcome out = control.CheckJoin(Settings("Cafe"));
    EXPECT_EQ(out.status, KCCL_STATUS_RUN_BY_IWD);
    EXPECT_NE(out.detail.find("does not answer"), std::string::npos) << out.detail;
}

TEST(IwdNamesTest, ObjectAndFileNamesFollowIwdsEncoding) {
    EXPECT_EQ(IwdObjectName("Lab", "psk"), "4c6162_psk");
    EXPECT_EQ(IwdObjectName(std::string("a\0b", 3), "open"), "610062_open");
    EXPECT_EQ(IwdStorageName("My Net-2_x", "psk"), "My Net-2_x.psk");
    // Anything else in the name, and the file name is the SSID in hex after '='.
    EXPECT_EQ(IwdStorageName("caf\xc3\xa9", "open"), "=636166c3a9.open");
    EXPECT_EQ(IwdStorageName("a.b", "8021x"), "=612e62.8021x");
    EXPECT_EQ(IwdTypeOf(KCOM_SECURITY_MODE_OWE), "open");
    EXPECT_EQ(IwdTypeOf(KCOM_SECURITY_MODE_WPA2_WPA3_PERSONAL), "psk");
    EXPECT_EQ(ClassifyIwdError("org.freedesktop.DBus.Error.AccessDenied"), EIwdError::Denied);
    EXPECT_EQ(ClassifyIwdError("net.connman.iwd.Failed"), EIwdError::Failed);
    EXPECT_EQ(ClassifyIwdError("org.freedesktop.DBus.Error.ServiceUnknown"), EIwdError::Unreachable);
}

}  // namespace
}  // namespace wavory::kccl
