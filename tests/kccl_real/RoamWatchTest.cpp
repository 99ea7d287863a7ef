// Why a real interface moved: the kernel's connections put together with the drops before them and
// the supplicant's lines that say the access point asked it to move.
#include <gtest/gtest.h>

#include <cstring>

#include "kccl_oid.h"
#include "RoamWatch.h"

namespace wavory::kccl {
namespace {

using Clock = CRoamWatch::Clock;
using namespace std::chrono_literals;

const CRoamWatch::Bssid kA{2, 0, 0, 0, 0, 0xA};
const CRoamWatch::Bssid kB{2, 0, 0, 0, 0, 0xB};

struct SRecord {
    uint32_t count, trigger;
    CRoamWatch::Bssid from, to;
    int32_t signal;
    uint64_t time;
};

SRecord Read(const CRoamWatch& w) {
    uint8_t p[KCOM_ROAM_SIZE];
    std::memset(p, 0xEE, sizeof p);
    w.Fill(p);
    SRecord r{};
    std::memcpy(&r.count, p + KCOM_ROAM_COUNT, 4);
    std::memcpy(&r.trigger, p + KCOM_ROAM_BY, 4);
    std::memcpy(r.from.data(), p + KCOM_ROAM_FROM_BSSID, 6);
    std::memcpy(r.to.data(), p + KCOM_ROAM_TO_BSSID, 6);
    std::memcpy(&r.signal, p + KCOM_ROAM_FROM_SIGNAL, 4);
    std::memcpy(&r.time, p + KCOM_ROAM_TIME, 8);
    return r;
}

SDropEvent Drop(uint32_t by, uint32_t reason) {
    SDropEvent d;
    d.valid = true;
    d.by = by;
    d.reason = reason;
    d.hasBssid = true;
    d.bssid = kA;
    return d;
}

// On "Harbour" at A with -74 dBm, then something happens, then connected to B.
struct SMove {
    bool supplicant = true;
    bool steer = false;
    bool drop = false;
    SDropEvent dropEvent;
    std::chrono::seconds dropBefore = 2s;
    bool join = false;
    std::string toSsid = "Harbour";
};

SRecord Move(const SMove& m) {
    CRoamWatch w(m.supplicant);
    const Clock::time_point t0 = Clock::now();
    w.LinkSeen(kA, "Harbour", t0);
    w.SignalSeen(kA, -74);
    w.SignalSeen(kB, -40);  // another access point's signal is not the link's
    const Clock::time_point t = t0 + 60s;
    if (m.steer) w.SteerSeen(t - 3s);
    if (m.join) w.JoinStarted(t - 1s);
    if (m.drop) w.Dropped(m.dropEvent, t - m.dropBefore);
    w.Connected(kB, m.toSsid, t, 1'800'000'000'000);
    return Read(w);
}

TEST(RoamWatchTest, EachMoveIsToldWithItsTrigger) {
    // The access point asked (the supplicant then leaves it itself, reason 3).
    SMove steered;
    steered.steer = true;
    steered.drop = true;
    steered.dropEvent = Drop(KCOM_DISCONNECT_BY_THIS_MACHINE, 3);
    SRecord r = Move(steered);
    EXPECT_EQ(r.count, 1u);
    EXPECT_EQ(r.trigger, static_cast<uint32_t>(KCOM_ROAM_BY_AP_REQUEST));
    EXPECT_EQ(r.from, kA);
    EXPECT_EQ(r.to, kB);
    EXPECT_EQ(r.signal, -74);
    EXPECT_EQ(r.time, 1'800'000'000'000u);

    // The access point left (reason 3 from it, or 8), or was no longer heard.
    for (const SDropEvent& gone : {Drop(KCOM_DISCONNECT_BY_AP, 3), Drop(KCOM_DISCONNECT_BY_AP, 8),
                                   Drop(KCOM_DISCONNECT_BY_SIGNAL_LOST, 4)}) {
        SMove m;
        m.drop = true;
        m.dropEvent = gone;
        EXPECT_EQ(Move(m).trigger, static_cast<uint32_t>(KCOM_ROAM_BY_AP_GONE)) << gone.reason;
    }

    // A supplicant's move of its own (a reassociation, or leaving first) is for a better signal;
    // where nobody runs the link, the kernel's roam has no known cause.
    SMove own;
    EXPECT_EQ(Move(own).trigger, static_cast<uint32_t>(KCOM_ROAM_BY_SIGNAL));
    own.drop = true;
    own.dropEvent = Drop(KCOM_DISCONNECT_BY_THIS_MACHINE, 3);
    EXPECT_EQ(Move(own).trigger, static_cast<uint32_t>(KCOM_ROAM_BY_SIGNAL));
    SMove firmware;
    firmware.supplicant = false;
    EXPECT_EQ(Move(firmware).trigger, static_cast<uint32_t>(KCOM_ROAM_BY_UNKNOWN));
    EXPECT_EQ(Move(firmware).count, 1u);
}

TEST(RoamWatchTest, ConnectionsThatAreNoMoveAreNotCounted) {
    SMove refused;  // thrown off by the access point (a refusal): reconnecting is no move
    refused.drop = true;
    refused.dropEvent = Drop(KCOM_DISCONNECT_BY_AP, 15);
    EXPECT_EQ(Move(refused).count, 0u);

    SMove late;  // the old link ended long before this connection
    late.drop = true;
    late.dropEvent = Drop(KCOM_DISCONNECT_BY_AP, 3);
    late.dropBefore = 45s;
    EXPECT_EQ(Move(late).count, 0u);

    SMove user;  // the user's disconnect, then a connection
    user.drop = true;
    user.dropEvent = Drop(KCOM_DISCONNECT_BY_USER, 3);
    EXPECT_EQ(Move(user).count, 0u);

    SMove joined;  // a join asked through the library, even to the same network
    joined.join = true;
    joined.steer = true;
    EXPECT_EQ(Move(joined).count, 0u);

    SMove elsewhere;  // another network
    elsewhere.toSsid = "Marina";
    EXPECT_EQ(Move(elsewhere).count, 0u);

    // The first connection, and one to the access point it is on.
    CRoamWatch w(true);
    w.Connected(kA, "Harbour", Clock::now(), 1);
    w.Connected(kA, "", Clock::now(), 2);
    EXPECT_EQ(Read(w).count, 0u);
    // An old request to move does not explain a later move.
    const Clock::time_point t = Clock::now();
    w.SteerSeen(t);
    w.Connected(kB, "", t + 40s, 3);
    EXPECT_EQ(Read(w).trigger, static_cast<uint32_t>(KCOM_ROAM_BY_SIGNAL));
    EXPECT_EQ(Read(w).from, kA);
    EXPECT_EQ(Read(w).signal, 0) << "the signal of A was never read";
}

// The kernel's connection may be read before the supplicant's line that asked for it.
TEST(RoamWatchTest, ARequestReadJustAfterTheMoveExplainsIt) {
    const Clock::time_point t = Clock::now();
    for (const auto& [after, trigger] : {std::pair{1s, KCOM_ROAM_BY_AP_REQUEST}, std::pair{10s, KCOM_ROAM_BY_SIGNAL}}) {
        CRoamWatch w(true);
        w.LinkSeen(kA, "Harbour", t);
        w.Dropped(Drop(KCOM_DISCONNECT_BY_THIS_MACHINE, 1), t + 60s);
        w.Connected(kB, "Harbour", t + 61s, 1);
        w.SteerSeen(t + 61s + after);
        EXPECT_EQ(Read(w).trigger, static_cast<uint32_t>(trigger)) << after.count();
        // The request was used up (or is old by the next move): a later move is the supplicant's own.
        w.Connected(kA, "Harbour", t + 120s, 2);
        EXPECT_EQ(Read(w).trigger, static_cast<uint32_t>(KCOM_ROAM_BY_SIGNAL));
    }
}

TEST(RoamWatchTest, SupplicantLinesAndRequestElements) {
    EXPECT_TRUE(IsSteerLine("<3>WNM: Preferred List Available"));
    EXPECT_TRUE(IsSteerLine("<3>WNM: Disassociation Imminent - Disassociation Timer 10"));
    EXPECT_TRUE(IsSteerLine("<3>ESS-DISASSOC-IMMINENT 0 1024 http://example.com/"));
    EXPECT_TRUE(IsSteerLine("WNM: Preferred List Available"));
    EXPECT_FALSE(IsSteerLine("<3>WNM: BSS Transition Management Request did not include candidates"));
    EXPECT_FALSE(IsSteerLine("<3>CTRL-EVENT-SSID-WNM: Preferred List Available"));
    EXPECT_FALSE(IsSteerLine("<3>"));
    EXPECT_FALSE(IsSteerLine("<"));
    EXPECT_FALSE(IsSteerLine(""));

    bool found = false;
    const uint8_t ies[] = {1, 2, 0x82, 0x84, 0, 7, 'H', 'a', 'r', 'b', 'o', 'u', 'r', 48, 0};
    EXPECT_EQ(SsidOfRequestIes(ies, sizeof ies, &found), "Harbour");
    EXPECT_TRUE(found);
    const uint8_t cut[] = {0, 9, 'H', 'a'};
    EXPECT_EQ(SsidOfRequestIes(cut, sizeof cut, &found), "");
    EXPECT_FALSE(found);
    const uint8_t none[] = {1, 1, 0x82};
    SsidOfRequestIes(none, sizeof none, &found);
    EXPECT_FALSE(found);
    SsidOfRequestIes(nullptr, 0, &found);
    EXPECT_FALSE(found);
}

}  // namespace
}  // namespace wavory::kccl
