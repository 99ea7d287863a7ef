#include "base/Trace.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

namespace wavory {

void Trace(const char* format, ...) {
    static const bool enabled = std::getenv("WAVORY_TRACE") != nullptr;
    if (!enabled) return;
    va_list args;
    va_start(args, format);
    std::vfprintf(stderr, format, args);
    va_end(args);
}

}  // namespace wavory
