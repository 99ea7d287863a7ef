// The 802.11 reason codes (why a connection was ended) and status codes (why a join was refused)
// in plain words, and the causes of a drop that no frame carries: the signal was lost, this
// machine left, the user left. One table per kind, every code a name, a sentence and a hint.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace wavory::kccl {

// One code: the standard's short name and what it means for the user, with a hint where one helps.
struct SCodeText {
    uint16_t code;
    const char* name;      // e.g. "4WAY_HANDSHAKE_TIMEOUT"
    const char* sentence;  // e.g. "4-way handshake timeout: usually a wrong passphrase"
};

// Who ended a connection (KCOM_DISCONNECT_BY_*).
enum class EInitiator : uint8_t { Unknown = 0, AccessPoint = 1, ThisMachine = 2, User = 3, SignalLost = 4 };

// The entries of the reason table (Table 9-49) and the status table (Table 9-50) that a station can
// meet, in order of code.
std::span<const SCodeText> ReasonCodes();
std::span<const SCodeText> StatusCodes();

// The entry of a code; nullptr for a code the table does not have (reserved, or newer).
const SCodeText* FindReason(uint32_t code);
const SCodeText* FindStatus(uint32_t code);

// The name of a code, or "reason N" / "status N" for one the table does not have.
std::string ReasonName(uint32_t code);
std::string StatusName(uint32_t code);

// The sentence for a reason code, or "reason N" for one the table does not have.
std::string ReasonSentence(uint32_t code);
std::string StatusSentence(uint32_t code);

// "access-point", "this-machine", "user", "signal-lost", "unknown": stable words for scripts.
const char* InitiatorKey(EInitiator initiator);
// The initiator of a stable word; Unknown for any other text.
EInitiator InitiatorFromKey(const std::string& key);
// The initiator of a number as the library reports it; Unknown for a number out of range.
EInitiator InitiatorFromValue(uint32_t value);

// The whole explanation of a drop, as a sentence that starts with a capital and ends with a full
// stop, then the code in brackets where there is one: "The access point forgot this station: it
// restarted or dropped it. (reason 7)". Where no reason is told (0), the code is unknown, or this
// machine or the user ended it (its code then tells what it sent, not why), the initiator speaks.
std::string DisconnectSentence(uint32_t reason, EInitiator initiator);

}  // namespace wavory::kccl
