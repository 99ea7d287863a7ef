// Pictures of the Available Networks dialog, drawn in code: the row images (signal bars in the
// level's colour, the connected one light blue with a tick) and the frames of the scan animation.
#pragma once

#include <QColor>
#include <QIcon>
#include <QPixmap>

namespace wavory {

// The colour that stands for a row image (ESiteImage).
QColor SiteImageColour(int image);
// A row image in 16 and 32 pixels; an unknown image gives an empty icon.
QIcon SiteImage(int image);

inline constexpr int kScanFrameCount = 12;
inline constexpr int kScanFrameSize = 32;
// One frame of the scan animation: a radar sweep at frame/kScanFrameCount of a turn.
QPixmap ScanFrame(int frame);

}  // namespace wavory
