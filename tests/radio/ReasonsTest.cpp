// The reason and status tables: every code a station can meet has a name and a sentence, unknown
// and out-of-range codes are named by number, and a drop's sentence is chosen by who ended it.
#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <string>

#include "radio/Reasons.h"

namespace wavory::kccl {
namespace {

void ExpectWholeTable(std::span<const SCodeText> table, uint32_t highest) {
    uint32_t previous = 0;
    bool first = true;
    std::set<std::string> names;
    for (const SCodeText& entry : table) {
        SCOPED_TRACE(entry.code);
        ASSERT_NE(entry.name, nullptr);
        ASSERT_NE(entry.sentence, nullptr);
        EXPECT_GE(std::string(entry.name).size(), 4u);
        EXPECT_GE(std::string(entry.sentence).size(), 7u);
        EXPECT_TRUE(names.insert(entry.name).second) << "name used twice: " << entry.name;
        if (!first) {
            EXPECT_GT(entry.code, previous) << "the table is in order of code";
        }
        EXPECT_LE(entry.code, highest);
        previous = entry.code;
        first = false;
    }
}

TEST(Reasons, EveryCodeAStationMeetsHasANameAndASentence) {
    ExpectWholeTable(ReasonCodes(), 71);
    ExpectWholeTable(StatusCodes(), 127);
    // The codes a station meets every day, and all of the core range without gaps.
    for (uint32_t code = 1; code <= 39; ++code) {
        SCOPED_TRACE(code);
        EXPECT_NE(FindReason(code), nullptr);
    }
    for (uint32_t code : {45u, 46u, 47u, 48u, 49u, 50u, 51u, 71u}) EXPECT_NE(FindReason(code), nullptr);
    for (uint32_t code : {0u, 1u, 10u, 12u, 13u, 15u, 16u, 17u, 30u, 37u, 40u, 41u, 42u, 43u, 53u, 76u, 77u})
        EXPECT_NE(FindStatus(code), nullptr) << code;
}

TEST(Reasons, TheCommonCodesSayWhatToTry) {
    EXPECT_EQ(ReasonName(15), "4WAY_HANDSHAKE_TIMEOUT");
    EXPECT_EQ(ReasonSentence(15), "4-way handshake timeout: usually a wrong passphrase");
    EXPECT_EQ(ReasonSentence(7), "the access point forgot this station: it restarted or dropped it");
    EXPECT_EQ(ReasonSentence(3), "the access point is going away (it was switched off or restarted)");
    EXPECT_EQ(StatusName(17), "DENIED_NO_MORE_STAS");
    EXPECT_NE(StatusSentence(15).find("WEP key"), std::string::npos);
}

TEST(Reasons, UnknownAndOutOfRangeCodesAreNamedByNumber) {
    EXPECT_EQ(FindReason(0), nullptr);  // reserved
    EXPECT_EQ(ReasonName(0), "reason 0");
    EXPECT_EQ(ReasonSentence(42), "reason 42");
    EXPECT_EQ(ReasonName(65535), "reason 65535");
    EXPECT_EQ(ReasonSentence(0xFFFFFFFFu), "reason 4294967295");
    EXPECT_EQ(StatusName(4), "status 4");
    EXPECT_EQ(StatusSentence(0xFFFFFFFFu), "status 4294967295");
    for (uint32_t code = 0; code < 70000; code += 7) {
        EXPECT_FALSE(ReasonSentence(code).empty());
        EXPECT_FALSE(StatusName(code).empty());
    }
}

TEST(Reasons, InitiatorsRoundTripAndOutOfRangeIsUnknown) {
    for (uint32_t value = 0; value <= 4; ++value) {
        const EInitiator initiator = InitiatorFromValue(value);
        EXPECT_EQ(static_cast<uint32_t>(initiator), value);
        EXPECT_EQ(InitiatorFromKey(InitiatorKey(initiator)), initiator);
    }
    EXPECT_EQ(InitiatorFromValue(5), EInitiator::Unknown);
    EXPECT_EQ(InitiatorFromValue(0xFFFFFFFFu), EInitiator::Unknown);
    EXPECT_EQ(InitiatorFromKey("ACCESS-POINT"), EInitiator::Unknown);
    EXPECT_EQ(InitiatorFromKey(""), EInitiator::Unknown);
}

TEST(Reasons, ADropsSentenceComesFromTheCodeOrFromWhoEndedIt) {
    EXPECT_EQ(DisconnectSentence(7, EInitiator::AccessPoint),
              "The access point forgot this station: it restarted or dropped it. (reason 7)");
    EXPECT_EQ(DisconnectSentence(15, EInitiator::Unknown),
              "4-way handshake timeout: usually a wrong passphrase. (reason 15)");
    EXPECT_EQ(DisconnectSentence(0, EInitiator::SignalLost),
              "Signal lost: the access point went out of range or was switched off.");
    // This machine's own deauthentication carries "leaving" (3): that is not the access point going away.
    EXPECT_EQ(DisconnectSentence(3, EInitiator::User), "You ended the connection. (reason 3)");
    EXPECT_EQ(DisconnectSentence(3, EInitiator::ThisMachine), "This machine ended the connection. (reason 3)");
    EXPECT_EQ(DisconnectSentence(999, EInitiator::AccessPoint), "The access point ended the connection. (reason 999)");
    EXPECT_EQ(DisconnectSentence(0, EInitiator::Unknown), "The connection ended.");
}

}  // namespace
}  // namespace wavory::kccl
