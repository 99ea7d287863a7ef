// Process-wide counts of the netlink traffic of the real adapters (see kccl_diag.h).
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>

namespace wavory::kccl {

struct SNlStats {
    std::atomic<uint64_t> requests{0};
    std::atomic<uint64_t> dumps{0};
    std::atomic<uint64_t> scanDumps{0};
    std::atomic<uint64_t> messages{0};
    std::atomic<uint64_t> bytes{0};
    std::atomic<uint64_t> sockets{0};
    std::atomic<uint64_t> busyMicros{0};
    // Requests by nl80211 command (family look-ups not counted here), to tell which reads a
    // command's traffic is made of.
    std::array<std::atomic<uint32_t>, 256> byCommand{};
};

// "GET_SCAN=1 GET_STATION=1 …": the commands sent so far and how often, in command order.
std::string RequestsByCommand(const SNlStats& stats);

// Adds the time from its making to its end to the library's busy time.
class CBusyTimer {
public:
    CBusyTimer() : m_Start(std::chrono::steady_clock::now()) {}
    ~CBusyTimer();
    CBusyTimer(const CBusyTimer&) = delete;
    CBusyTimer& operator=(const CBusyTimer&) = delete;

private:
    std::chrono::steady_clock::time_point m_Start;
};

SNlStats& NlStats();

}  // namespace wavory::kccl
