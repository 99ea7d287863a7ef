#include "monitor/Signal.h"

#include <algorithm>

#include "base/AppBase.h"
#include "driver/Format.h"

namespace wavory {

int FormatSignalIn(int dBm, bool unitsDbm, std::string* text) {
    // -100 dBm (no usable signal) to -50 dBm (as good as it gets) spread over 0 to 100 %: a
    // narrower range saturates, showing every good network alike.
    const int pct = std::clamp(2 * (dBm + 100), 0, 100);
    if (text) *text = StrFormat("%.2d%s", unitsDbm ? dBm : pct, unitsDbm ? "dBm" : "%");
    return pct;
}

int FormatSignal(int dBm, std::string* text) {
    return FormatSignalIn(dBm, theApp.GetProfileInt("", "dBm-Percent", 0) != 0, text);
}

}  // namespace wavory
