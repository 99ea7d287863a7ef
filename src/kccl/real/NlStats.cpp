#include "NlStats.h"

namespace wavory::kccl {

SNlStats& NlStats() {
    static SNlStats stats;
    return stats;
}

}  // namespace wavory::kccl
