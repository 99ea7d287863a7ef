// What the station manager asks of the polling thread: a shorter reporting interval after it
// started, a scan begun, statistics cleared when the connection is lost. The polling thread
// implements it; the station manager reaches it through theApp.GetPollControl().
#pragma once

namespace wavory {

class IPollControl {
public:
    virtual ~IPollControl() = default;
    // Clears the history and sets the full scale for the PHY just joined (false = 802.11b).
    virtual void ResetStats(bool fullRatePhy) = 0;
    // A site-survey scan is running: refresh every tick, no statistics.
    virtual void BeginScan() = 0;
    // Reporting interval in seconds until the end of the current interval.
    virtual void SetInterval(int seconds) = 0;
};

}  // namespace wavory
