#include "NlStats.h"

namespace wavory::kccl {

SNlStats& NlStats() {
    static SNlStats stats;
    return stats;
}

CBusyTimer::~CBusyTimer() {
    NlStats().busyMicros += static_cast<uint64_t>(
        std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - m_Start)
            .count());
}

}  // namespace wavory::kccl
