// Debug traces: diagnostics only, written to standard error when WAVORY_TRACE is set.
#pragma once

namespace wavory {

void Trace(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace wavory
