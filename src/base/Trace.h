// Debug traces: diagnostics only, written to standard error when WAVORY_TRACE is set or the program
// was asked for them (wavory --verbose); never to a user's terminal otherwise.
#pragma once

namespace wavory {

void Trace(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Turns the traces on or off, whatever WAVORY_TRACE says.
void EnableTrace(bool enable);

}  // namespace wavory
