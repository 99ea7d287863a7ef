// Process-wide counts of the netlink traffic of the real adapters (see kccl_diag.h).
#pragma once

#include <atomic>
#include <cstdint>

namespace wavory::kccl {

struct SNlStats {
    std::atomic<uint64_t> requests{0};
    std::atomic<uint64_t> dumps{0};
    std::atomic<uint64_t> scanDumps{0};
    std::atomic<uint64_t> messages{0};
    std::atomic<uint64_t> bytes{0};
    std::atomic<uint64_t> sockets{0};
};

SNlStats& NlStats();

}  // namespace wavory::kccl
