#include "base/Trace.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>

namespace wavory {

namespace {

std::atomic<bool>& Enabled() {
    static std::atomic<bool> enabled{std::getenv("WAVORY_TRACE") != nullptr};
    return enabled;
}

}  // namespace

void EnableTrace(bool enable) { Enabled() = enable; }

void Trace(const char* format, ...) {
    if (!Enabled()) return;
    va_list args;
    va_start(args, format);
    std::vfprintf(stderr, format, args);
    va_end(args);
}

}  // namespace wavory
