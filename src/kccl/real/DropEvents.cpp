#include "DropEvents.h"

#include <linux/nl80211.h>
#include <netlink/attr.h>

#include <cstdlib>
#include <cstring>
#include <string_view>

#include "kccl_oid.h"

namespace wavory::kccl {

namespace {

constexpr uint32_t kReasonInactivity = 4;

// The value of "name=value" among the words of a line; empty when absent.
std::string Field(const std::string& line, const std::string& name) {
    const std::string key = name + "=";
    size_t at = 0;
    while ((at = line.find(key, at)) != std::string::npos) {
        if (at == 0 || line[at - 1] == ' ') {
            const size_t start = at + key.size();
            return line.substr(start, line.find(' ', start) - start);
        }
        at += key.size();
    }
    return {};
}

bool ParseMac(const std::string& text, std::array<uint8_t, 6>& out) {
    if (text.size() != 17) return false;
    for (size_t i = 0; i < 6; ++i) {
        if (i > 0 && text[i * 3 - 1] != ':') return false;
        unsigned value = 0;
        for (size_t k = 0; k < 2; ++k) {
            const char c = text[i * 3 + k];
            const int digit = c >= '0' && c <= '9'   ? c - '0'
                              : c >= 'a' && c <= 'f' ? c - 'a' + 10
                              : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                     : -1;
            if (digit < 0) return false;
            value = value * 16 + static_cast<unsigned>(digit);
        }
        out[i] = static_cast<uint8_t>(value);
    }
    return true;
}

uint32_t LocalInitiator(uint32_t reason) {
    return reason == kReasonInactivity ? KCOM_DISCONNECT_BY_SIGNAL_LOST : KCOM_DISCONNECT_BY_THIS_MACHINE;
}

}  // namespace

SDropEvent ParseWpaDisconnected(const std::string& line) {
    SDropEvent drop;
    // The event name comes first, after the global interface's "IFNAME=wlan0 " and a "<N>" priority.
    std::string_view text = line;
    if (text.starts_with("IFNAME=")) {
        const size_t space = text.find(' ');
        text = space == std::string_view::npos ? std::string_view() : text.substr(space + 1);
    }
    if (text.starts_with("<")) {
        const size_t close = text.find('>');
        text = close == std::string_view::npos ? std::string_view() : text.substr(close + 1);
    }
    if (!text.starts_with("CTRL-EVENT-DISCONNECTED") ||
        (text.size() > 23 && text[23] != ' '))
        return drop;
    drop.valid = true;
    const std::string reason = Field(line, "reason");
    char* end = nullptr;
    const unsigned long code = reason.empty() ? 0 : std::strtoul(reason.c_str(), &end, 10);
    if (!reason.empty() && *end == '\0' && code <= 0xFFFF) drop.reason = static_cast<uint32_t>(code);
    drop.hasBssid = ParseMac(Field(line, "bssid"), drop.bssid);
    const bool local = Field(line, "locally_generated") == "1";
    drop.by = local ? LocalInitiator(drop.reason) : static_cast<uint32_t>(KCOM_DISCONNECT_BY_AP);
    return drop;
}

SDropEvent ParseNlDisconnect(CNl80211::Attrs tb) {
    SDropEvent drop;
    drop.valid = true;
    if (tb[NL80211_ATTR_REASON_CODE] && nla_len(tb[NL80211_ATTR_REASON_CODE]) >= 2)
        drop.reason = nla_get_u16(tb[NL80211_ATTR_REASON_CODE]);
    drop.by = tb[NL80211_ATTR_DISCONNECTED_BY_AP] ? static_cast<uint32_t>(KCOM_DISCONNECT_BY_AP)
                                                  : LocalInitiator(drop.reason);
    if (tb[NL80211_ATTR_MAC] && nla_len(tb[NL80211_ATTR_MAC]) == 6) {
        drop.hasBssid = true;
        std::memcpy(drop.bssid.data(), nla_data(tb[NL80211_ATTR_MAC]), 6);
    }
    return drop;
}

SDropEvent DropFromNmReason(uint32_t reason) {
    // Values of NMDeviceStateReason.
    enum : uint32_t {
        kNowUnmanaged = 3,
        kNoSecrets = 7,
        kSupplicantConfigFailed = 9,
        kSupplicantFailed = 10,
        kSupplicantTimeout = 11,
        kRemoved = 36,
        kSleeping = 37,
        kConnectionRemoved = 38,
        kUserRequested = 39,
        kSsidNotFound = 53,
    };
    SDropEvent drop;
    switch (reason) {
        case kUserRequested:
        case kConnectionRemoved:
            drop.by = KCOM_DISCONNECT_BY_USER;
            break;
        case kNowUnmanaged:
        case kNoSecrets:
        case kSupplicantConfigFailed:
        case kSupplicantFailed:
        case kSupplicantTimeout:
        case kRemoved:
        case kSleeping:
            drop.by = KCOM_DISCONNECT_BY_THIS_MACHINE;
            break;
        case kSsidNotFound:
            drop.by = KCOM_DISCONNECT_BY_SIGNAL_LOST;
            break;
        default:
            return drop;
    }
    drop.valid = true;
    return drop;
}

}  // namespace wavory::kccl
