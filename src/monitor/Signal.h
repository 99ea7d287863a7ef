// Signal strength as the user sees it: dBm or percent, after the "dBm-Percent" preference.
#pragma once

#include <string>

namespace wavory {

// Fills `text` with the signal in the chosen units and returns it as a percentage (0..100).
int FormatSignal(int dBm, std::string* text);

// The same with the units given, for callers that already know them (1 = dBm, 0 = percent).
int FormatSignalIn(int dBm, bool unitsDbm, std::string* text);

}  // namespace wavory
