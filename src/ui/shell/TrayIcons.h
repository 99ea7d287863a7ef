// The notification-area icon's pictures, drawn rather than taken from the icon theme so that every
// desktop shows the same states: no adapter, not connected, connecting, connected with 1 to 4 bars.
#pragma once

#include <QIcon>
#include <QImage>

namespace wavory {

enum class ETrayState { NoAdapter, NotConnected, Connecting, Connected };

// The icon of a state; bars (1..4) count only when connected.
QIcon TrayStateIcon(ETrayState state, int bars);
// One size of it (for tests and screenshots).
QImage TrayStateImage(ETrayState state, int bars, int size);

}  // namespace wavory
