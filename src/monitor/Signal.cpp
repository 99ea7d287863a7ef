#include "monitor/Signal.h"

#include <algorithm>

#include "base/AppBase.h"
#include "driver/Format.h"

namespace wavory {

int FormatSignalIn(int dBm, bool unitsDbm, std::string* text) {
    const int pct = std::clamp(((dBm + 91) * 100) / 30, 0, 99);
    if (text) *text = StrFormat("%.2d%s", unitsDbm ? dBm : pct, unitsDbm ? "dBm" : "%");
    return pct;
}

int FormatSignal(int dBm, std::string* text) {
    return FormatSignalIn(dBm, theApp.GetProfileInt("", "dBm-Percent", 0) != 0, text);
}

}  // namespace wavory
