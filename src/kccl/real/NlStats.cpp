#include "NlStats.h"

#include <linux/nl80211.h>

namespace wavory::kccl {

namespace {

const char* CommandName(size_t cmd) {
    switch (cmd) {
        case NL80211_CMD_GET_WIPHY:
            return "GET_WIPHY";
        case NL80211_CMD_GET_INTERFACE:
            return "GET_INTERFACE";
        case NL80211_CMD_SET_INTERFACE:
            return "SET_INTERFACE";
        case NL80211_CMD_GET_STATION:
            return "GET_STATION";
        case NL80211_CMD_GET_REG:
            return "GET_REG";
        case NL80211_CMD_GET_SCAN:
            return "GET_SCAN";
        case NL80211_CMD_TRIGGER_SCAN:
            return "TRIGGER_SCAN";
        case NL80211_CMD_GET_SURVEY:
            return "GET_SURVEY";
        case NL80211_CMD_GET_POWER_SAVE:
            return "GET_POWER_SAVE";
        case NL80211_CMD_SET_POWER_SAVE:
            return "SET_POWER_SAVE";
        case NL80211_CMD_CONNECT:
            return "CONNECT";
        case NL80211_CMD_DISCONNECT:
            return "DISCONNECT";
        case NL80211_CMD_JOIN_IBSS:
            return "JOIN_IBSS";
        case NL80211_CMD_LEAVE_IBSS:
            return "LEAVE_IBSS";
        default:
            return nullptr;
    }
}

}  // namespace

SNlStats& NlStats() {
    static SNlStats stats;
    return stats;
}

std::string RequestsByCommand(const SNlStats& stats) {
    std::string text;
    for (size_t cmd = 0; cmd < stats.byCommand.size(); ++cmd) {
        const uint32_t n = stats.byCommand[cmd].load();
        if (n == 0) continue;
        const char* name = CommandName(cmd);
        text += (text.empty() ? "" : " ") + (name ? std::string(name) : "CMD" + std::to_string(cmd)) + "=" +
                std::to_string(n);
    }
    return text;
}

CBusyTimer::~CBusyTimer() {
    NlStats().busyMicros += static_cast<uint64_t>(
        std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - m_Start)
            .count());
}

}  // namespace wavory::kccl
