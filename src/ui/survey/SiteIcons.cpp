#include "ui/survey/SiteIcons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPen>

#include "ui/survey/SiteRows.h"

namespace wavory {

namespace {

constexpr int kBarCount = 4;

int FilledBars(int image) {
    switch (image) {
        case SITE_IMG_POOR:
            return 1;
        case SITE_IMG_FAIR:
            return 2;
        case SITE_IMG_GOOD:
            return 3;
        default:
            return kBarCount;
    }
}

QPixmap DrawScanFrame(int frame);

QPixmap DrawImage(int image, int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing, false);
    const qreal unit = size / 16.0;
    const QColor colour = SiteImageColour(image);
    const int filled = FilledBars(image);
    for (int bar = 0; bar < kBarCount; ++bar) {
        // Bars 3 units wide with a gap of 1, growing from 4 to 13 units, standing on the bottom line.
        const qreal height = (4 + 3 * bar) * unit;
        const QRectF rect(bar * 4 * unit, size - height, 3 * unit - 1, height - 1);
        if (bar < filled) {
            painter.setPen(QPen(colour.darker(170), 1));
            painter.setBrush(colour);
        } else {
            painter.setPen(QPen(QColor(150, 150, 150), 1));
            painter.setBrush(QColor(235, 235, 235));
        }
        painter.drawRect(rect);
    }
    if (image == SITE_IMG_CONNECTED) {
        // A tick in the free corner above the short bars.
        painter.setRenderHint(QPainter::Antialiasing, true);
        QPainterPath tick;
        tick.moveTo(1 * unit, 4 * unit);
        tick.lineTo(3.5 * unit, 6.5 * unit);
        tick.lineTo(8 * unit, 1 * unit);
        painter.setBrush(Qt::NoBrush);
        painter.setPen(QPen(QColor(0, 70, 160), 2 * unit, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        painter.drawPath(tick);
    }
    return pixmap;
}

}  // namespace

QColor SiteImageColour(int image) {
    switch (image) {
        case SITE_IMG_CONNECTED:
            return {133, 210, 252};
        case SITE_IMG_EXCELLENT:
            return {40, 180, 60};
        case SITE_IMG_FAIR:
            return {245, 140, 30};
        case SITE_IMG_GOOD:
            return {240, 215, 40};
        case SITE_IMG_POOR:
            return {220, 40, 40};
        default:
            return {};
    }
}

QIcon SiteImage(int image) {
    if (image < 0 || image >= kSiteImageCount) return QIcon();
    // Drawn once: every row of every refresh shows one of these few pictures.
    static QIcon cache[kSiteImageCount];
    QIcon& icon = cache[image];
    if (icon.isNull()) {
        icon.addPixmap(DrawImage(image, 16));
        icon.addPixmap(DrawImage(image, 32));
    }
    return icon;
}

QPixmap ScanFrame(int frame) {
    static QPixmap cache[kScanFrameCount];
    QPixmap& pixmap = cache[((frame % kScanFrameCount) + kScanFrameCount) % kScanFrameCount];
    if (pixmap.isNull()) pixmap = DrawScanFrame(frame);
    return pixmap;
}

namespace {

QPixmap DrawScanFrame(int frame) {
    const int size = kScanFrameSize;
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing, true);
    const QRectF dial(2, 2, size - 4, size - 4);
    painter.setPen(QPen(QColor(40, 110, 190), 1.5));
    painter.setBrush(QColor(225, 240, 255));
    painter.drawEllipse(dial);
    painter.drawEllipse(dial.adjusted(8, 8, -8, -8));
    // The beam with a fading trail behind it, turning clockwise.
    const int beam = 90 * 16 - (frame % kScanFrameCount) * (360 * 16 / kScanFrameCount);
    constexpr int kTrailSteps = 6;
    painter.setPen(Qt::NoPen);
    for (int step = kTrailSteps; step >= 1; --step) {
        QColor shade(40, 110, 190, 200 * (kTrailSteps + 1 - step) / kTrailSteps);
        painter.setBrush(shade);
        painter.drawPie(dial, beam + (step - 1) * 10 * 16, 10 * 16);
    }
    return pixmap;
}

}  // namespace

}  // namespace wavory
