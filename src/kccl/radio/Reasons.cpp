// The texts of the 802.11 reason and status codes. The names are the standard's; the sentences say
// what each code means to someone whose Wi-Fi just dropped or would not join, and what to try.
#include "Reasons.h"

#include <algorithm>
#include <cctype>

namespace wavory::kccl {

namespace {

constexpr SCodeText kReasons[] = {
    {1, "UNSPECIFIED_REASON", "the access point ended the connection without saying why"},
    {2, "INVALID_AUTHENTICATION", "the access point no longer accepts this station's authentication: it will ask again"},
    {3, "LEAVING_NETWORK_DEAUTH", "the access point is going away (it was switched off or restarted)"},
    {4, "REASON_INACTIVITY", "the connection was idle too long and timed out"},
    {5, "NO_MORE_STAS", "the access point has too many devices connected: try again later or another access point"},
    {6, "INVALID_CLASS2_FRAME", "the access point forgot this station before it had authenticated: it restarted or dropped it"},
    {7, "INVALID_CLASS3_FRAME", "the access point forgot this station: it restarted or dropped it"},
    {8, "LEAVING_NETWORK_DISASSOC", "the station left, or the access point is going away"},
    {9, "NOT_AUTHENTICATED", "the access point asked to join before authenticating: usually a short glitch, try again"},
    {10, "UNACCEPTABLE_POWER_CAPABILITY", "the access point does not accept this adapter's transmit power range"},
    {11, "UNACCEPTABLE_SUPPORTED_CHANNELS", "the access point does not accept the channels this adapter supports (a regulatory setting?)"},
    {12, "BSS_TRANSITION_DISASSOC", "the access point moved this station away to balance load or for maintenance"},
    {13, "REASON_INVALID_ELEMENT", "the access point found a malformed element in a frame: a driver or firmware problem"},
    {14, "MIC_FAILURE", "a message integrity check failed: a key mismatch or an attack on the network"},
    {15, "4WAY_HANDSHAKE_TIMEOUT", "4-way handshake timeout: usually a wrong passphrase"},
    {16, "GK_HANDSHAKE_TIMEOUT", "group key update timed out: a weak signal or an access point problem"},
    {17, "HANDSHAKE_ELEMENT_MISMATCH", "the security settings changed during the handshake: the access point's configuration may differ from its beacons"},
    {18, "REASON_INVALID_GROUP_CIPHER", "the group cipher is not accepted: the network's security settings do not match"},
    {19, "REASON_INVALID_PAIRWISE_CIPHER", "the pairwise cipher is not accepted: the network's security settings do not match"},
    {20, "REASON_INVALID_AKMP", "the key management is not accepted: choose the network's security type (WPA2/WPA3) again"},
    {21, "UNSUPPORTED_RSNE_VERSION", "the security element's version is not supported"},
    {22, "INVALID_RSNE_CAPABILITIES", "the security capabilities are not accepted (for example protected management frames)"},
    {23, "802_1X_AUTH_FAILED", "802.1X authentication failed: check the user name, password or certificate"},
    {24, "REASON_CIPHER_OUT_OF_POLICY", "the cipher is refused by the network's security policy"},
    {25, "TDLS_PEER_UNREACHABLE", "a direct link to another station ended: it could not be reached through the access point"},
    {26, "TDLS_UNSPECIFIED_REASON", "a direct link to another station ended without a reason"},
    {27, "SSP_REQUESTED_DISASSOC", "the network's service provider asked to end the session"},
    {28, "NO_SSP_ROAMING_AGREEMENT", "the network's provider has no roaming agreement with this station's provider"},
    {29, "BAD_CIPHER_OR_AKM", "the cipher or key management is refused by the provider's policy"},
    {30, "NOT_AUTHORIZED_THIS_LOCATION", "this station is not allowed to use the network at this location"},
    {31, "SERVICE_CHANGE_PRECLUDES_TS", "a change of the network's service ended a traffic stream"},
    {32, "UNSPECIFIED_QOS_REASON", "a quality-of-service problem ended the connection"},
    {33, "NOT_ENOUGH_BANDWIDTH", "the access point lacks the bandwidth for this station"},
    {34, "MISSING_ACKS", "too many frames went unacknowledged: the signal is poor or the channel is busy"},
    {35, "EXCEEDED_TXOP", "the station sent for longer than it was allowed"},
    {36, "STA_LEAVING", "the other side is leaving"},
    {37, "END_TS_BA_DLS", "a traffic stream or block acknowledgment session ended"},
    {38, "UNKNOWN_TS_BA", "a frame referred to a traffic stream or session the other side does not know"},
    {39, "TIMEOUT", "a session timed out"},
    {45, "PEERKEY_MISMATCH", "the keys of a direct link did not match"},
    {46, "PEER_INITIATED", "the other station ended the direct link"},
    {47, "AP_INITIATED", "the access point ended the direct link"},
    {48, "REASON_INVALID_FT_ACTION_FRAME_COUNT", "a fast roaming (802.11r) frame count was wrong"},
    {49, "REASON_INVALID_PMKID", "the cached key (PMKID) is not valid: the next join authenticates in full"},
    {50, "REASON_INVALID_MDE", "the fast roaming (802.11r) mobility domain does not match"},
    {51, "REASON_INVALID_FTE", "a fast roaming (802.11r) element is not valid"},
    {65, "MESH_CHANNEL_SWITCH_REGULATORY_REQUIREMENTS", "the network had to switch channels for regulatory reasons (radar?)"},
    {66, "MESH_CHANNEL_SWITCH_UNSPECIFIED", "the network switched channels"},
    {67, "TRANSMISSION_LINK_ESTABLISHMENT_FAILED", "a link on another band could not be set up"},
    {68, "ALTERNATIVE_CHANNEL_OCCUPIED", "the alternative channel is occupied"},
    {71, "POOR_RSSI_CONDITIONS", "the signal was too weak: move closer to the access point"},
};

constexpr SCodeText kStatuses[] = {
    {0, "SUCCESS", "success"},
    {1, "REFUSED_UNSPECIFIED", "the access point refused without saying why"},
    {2, "TDLS_WAKEUP_ALTERNATE", "a direct link asked for another wake-up schedule"},
    {3, "TDLS_WAKEUP_REJECT", "a direct link refused the wake-up schedule"},
    {5, "SECURITY_DISABLED", "security is disabled on the other side"},
    {6, "UNACCEPTABLE_LIFETIME", "the key lifetime is not acceptable"},
    {7, "NOT_IN_SAME_BSS", "the other station is not on the same access point"},
    {10, "REFUSED_CAPABILITIES_MISMATCH", "the access point does not support this adapter's capabilities"},
    {11, "DENIED_NO_ASSOCIATION_EXISTS", "the access point refused to move the connection: it had none for this station"},
    {12, "DENIED_OTHER_REASON", "the access point refused the association (often a MAC address filter)"},
    {13, "UNSUPPORTED_AUTH_ALGORITHM", "the access point does not support this kind of authentication: check the security type"},
    {14, "TRANSACTION_SEQUENCE_ERROR", "an authentication frame arrived out of order"},
    {15, "CHALLENGE_FAILURE", "the shared-key challenge failed: usually a wrong WEP key"},
    {16, "REJECTED_SEQUENCE_TIMEOUT", "authentication timed out"},
    {17, "DENIED_NO_MORE_STAS", "the access point has too many devices connected: try again later"},
    {18, "REFUSED_BASIC_RATES_MISMATCH", "this adapter lacks a data rate the access point requires"},
    {19, "DENIED_NO_SHORT_PREAMBLE_SUPPORT", "the access point requires short preambles"},
    {22, "REJECTED_SPECTRUM_MANAGEMENT_REQUIRED", "the access point requires spectrum management"},
    {23, "REJECTED_BAD_POWER_CAPABILITY", "the access point does not accept this adapter's transmit power range"},
    {24, "REJECTED_BAD_SUPPORTED_CHANNELS", "the access point does not accept the channels this adapter supports"},
    {25, "DENIED_NO_SHORT_SLOT_TIME_SUPPORT", "the access point requires short slot time"},
    {27, "DENIED_NO_HT_SUPPORT", "the access point admits Wi-Fi 4 (802.11n) stations only"},
    {28, "R0KH_UNREACHABLE", "fast roaming (802.11r): the key holder could not be reached"},
    {29, "DENIED_PCO_TIME_NOT_SUPPORTED", "the access point requires phased coexistence"},
    {30, "REFUSED_TEMPORARILY", "the access point asked to try again later (protected management frames)"},
    {31, "ROBUST_MANAGEMENT_POLICY_VIOLATION", "the protected management frames policy was violated"},
    {32, "UNSPECIFIED_QOS_FAILURE", "a quality-of-service request failed"},
    {33, "DENIED_INSUFFICIENT_BANDWIDTH", "the access point lacks the bandwidth"},
    {34, "DENIED_POOR_CHANNEL_CONDITIONS", "the channel is too poor: move closer to the access point"},
    {35, "DENIED_QOS_NOT_SUPPORTED", "the access point requires quality-of-service support"},
    {37, "REQUEST_DECLINED", "the request was declined"},
    {38, "INVALID_PARAMETERS", "the request had invalid parameters"},
    {39, "REJECTED_WITH_SUGGESTED_CHANGES", "the request was refused; the access point suggested changes"},
    {40, "STATUS_INVALID_ELEMENT", "an element of the request was not valid"},
    {41, "STATUS_INVALID_GROUP_CIPHER", "the group cipher is not accepted: the security settings do not match"},
    {42, "STATUS_INVALID_PAIRWISE_CIPHER", "the pairwise cipher is not accepted: the security settings do not match"},
    {43, "STATUS_INVALID_AKMP", "the key management is not accepted: choose the network's security type again"},
    {44, "UNSUPPORTED_RSNE_VERSION", "the security element's version is not supported"},
    {45, "INVALID_RSNE_CAPABILITIES", "the security capabilities are not accepted (protected management frames?)"},
    {46, "STATUS_CIPHER_OUT_OF_POLICY", "the cipher is refused by the network's security policy"},
    {47, "REJECTED_FOR_DELAY_PERIOD", "refused for now: try again after a delay"},
    {48, "DLS_NOT_ALLOWED", "direct links are not allowed on this network"},
    {49, "NOT_PRESENT", "the other station is not on this network"},
    {50, "NOT_QOS_STA", "the other station does not support quality of service"},
    {51, "DENIED_LISTEN_INTERVAL_TOO_LARGE", "the power-saving listen interval is too long for the access point"},
    {52, "STATUS_INVALID_FT_ACTION_FRAME_COUNT", "a fast roaming (802.11r) frame count was wrong"},
    {53, "STATUS_INVALID_PMKID", "the cached key (PMKID) is not valid"},
    {54, "STATUS_INVALID_MDE", "the fast roaming (802.11r) mobility domain does not match"},
    {55, "STATUS_INVALID_FTE", "a fast roaming (802.11r) element is not valid"},
    {56, "REQUESTED_TCLAS_NOT_SUPPORTED", "the traffic classification asked for is not supported"},
    {57, "INSUFFICIENT_TCLAS_PROCESSING_RESOURCES", "the access point lacks resources for traffic classification"},
    {58, "TRY_ANOTHER_BSS", "the access point suggested another access point"},
    {59, "GAS_ADVERTISEMENT_PROTOCOL_NOT_SUPPORTED", "the network query protocol is not supported"},
    {60, "NO_OUTSTANDING_GAS_REQUEST", "no network query was outstanding"},
    {61, "GAS_RESPONSE_NOT_RECEIVED_FROM_SERVER", "the network query server did not answer"},
    {62, "GAS_QUERY_TIMEOUT", "a network query timed out"},
    {63, "GAS_QUERY_RESPONSE_TOO_LARGE", "a network query's answer was too large"},
    {64, "REJECTED_HOME_WITH_SUGGESTED_CHANGES", "refused by the home network; changes suggested"},
    {65, "SERVER_UNREACHABLE", "the authentication server could not be reached"},
    {67, "REJECTED_FOR_SSP_PERMISSIONS", "refused by the service provider's permissions"},
    {68, "REFUSED_UNAUTHENTICATED_ACCESS_NOT_SUPPORTED", "the network does not allow unauthenticated access"},
    {72, "INVALID_RSNE", "the security element was not valid"},
    {76, "ANTI_CLOGGING_TOKEN_REQUIRED", "WPA3 (SAE): the access point is busy and asked for a token; the join retries"},
    {77, "UNSUPPORTED_FINITE_CYCLIC_GROUP", "WPA3 (SAE): the access point does not support the group offered"},
    {79, "TRANSMISSION_FAILURE", "a frame could not be sent"},
    {82, "REJECTED_WITH_SUGGESTED_BSS_TRANSITION", "refused: the access point suggested another access point"},
    {104, "DENIED_VHT_NOT_SUPPORTED", "the access point admits Wi-Fi 5 (802.11ac) stations only"},
    {123, "UNKNOWN_PASSWORD_IDENTIFIER", "WPA3 (SAE): the access point does not know the password identifier"},
    {124, "DENIED_HE_NOT_SUPPORTED", "the access point admits Wi-Fi 6 (802.11ax) stations only"},
    {126, "SAE_HASH_TO_ELEMENT", "WPA3 (SAE): the hash-to-element method was used"},
    {127, "SAE_PK", "WPA3 (SAE): the public-key variant was used"},
};

const SCodeText* Find(std::span<const SCodeText> table, uint32_t code) {
    for (const SCodeText& entry : table) {
        if (entry.code == code) return &entry;
    }
    return nullptr;
}

std::string Capitalised(std::string text) {
    if (!text.empty()) text[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
    return text;
}

}  // namespace

std::span<const SCodeText> ReasonCodes() { return kReasons; }
std::span<const SCodeText> StatusCodes() { return kStatuses; }

const SCodeText* FindReason(uint32_t code) { return Find(kReasons, code); }
const SCodeText* FindStatus(uint32_t code) { return Find(kStatuses, code); }

std::string ReasonName(uint32_t code) {
    const SCodeText* entry = FindReason(code);
    return entry != nullptr ? entry->name : "reason " + std::to_string(code);
}

std::string StatusName(uint32_t code) {
    const SCodeText* entry = FindStatus(code);
    return entry != nullptr ? entry->name : "status " + std::to_string(code);
}

std::string ReasonSentence(uint32_t code) {
    const SCodeText* entry = FindReason(code);
    return entry != nullptr ? entry->sentence : "reason " + std::to_string(code);
}

std::string StatusSentence(uint32_t code) {
    const SCodeText* entry = FindStatus(code);
    return entry != nullptr ? entry->sentence : "status " + std::to_string(code);
}

const char* InitiatorKey(EInitiator initiator) {
    switch (initiator) {
        case EInitiator::AccessPoint:
            return "access-point";
        case EInitiator::ThisMachine:
            return "this-machine";
        case EInitiator::User:
            return "user";
        case EInitiator::SignalLost:
            return "signal-lost";
        case EInitiator::Unknown:
            break;
    }
    return "unknown";
}

EInitiator InitiatorFromKey(const std::string& key) {
    for (uint32_t value = 1; value <= 4; ++value) {
        const EInitiator initiator = static_cast<EInitiator>(value);
        if (key == InitiatorKey(initiator)) return initiator;
    }
    return EInitiator::Unknown;
}

EInitiator InitiatorFromValue(uint32_t value) {
    return value <= 4 ? static_cast<EInitiator>(value) : EInitiator::Unknown;
}

std::string DisconnectSentence(uint32_t reason, EInitiator initiator) {
    // A code this machine sent tells what it asked the access point, not why: the initiator speaks.
    const bool ownSide = initiator == EInitiator::User || initiator == EInitiator::ThisMachine;
    std::string text;
    if (reason == 0 || ownSide || FindReason(reason) == nullptr) {
        switch (initiator) {
            case EInitiator::SignalLost:
                text = "signal lost: the access point went out of range or was switched off";
                break;
            case EInitiator::User:
                text = "you ended the connection";
                break;
            case EInitiator::ThisMachine:
                text = "this machine ended the connection";
                break;
            case EInitiator::AccessPoint:
                text = "the access point ended the connection";
                break;
            case EInitiator::Unknown:
                text = "the connection ended";
                break;
        }
    } else {
        text = ReasonSentence(reason);
    }
    text = Capitalised(text) + ".";
    if (reason != 0) text += " (reason " + std::to_string(reason) + ")";
    return text;
}

}  // namespace wavory::kccl
