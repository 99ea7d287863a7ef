#include "ui/shell/TrayIcons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <algorithm>

namespace wavory {

namespace {

// Four rising bars; lit ones in the state's colour, the rest as dim outlines, so the picture reads
// on light and dark panels alike.
void DrawBars(QPainter& p, int size, int lit, const QColor& colour) {
    const double unit = size / 16.0;
    const QColor dim(128, 128, 128, 150);
    for (int i = 0; i < 4; ++i) {
        const double height = unit * (4 + 3 * i);
        const QRectF bar(unit * (1 + 3.6 * i), size - unit - height, unit * 2.6, height);
        if (i < lit) {
            p.setPen(QPen(QColor(0, 0, 0, 120), unit * 0.5));
            p.setBrush(colour);
        } else {
            p.setPen(QPen(dim, unit * 0.6));
            p.setBrush(Qt::NoBrush);
        }
        p.drawRect(bar);
    }
}

void DrawCross(QPainter& p, int size, const QColor& colour) {
    const double unit = size / 16.0;
    QPen pen(colour, unit * 2.2, Qt::SolidLine, Qt::RoundCap);
    p.setPen(pen);
    const QRectF box(unit * 8.5, unit * 0.8, unit * 6.5, unit * 6.5);
    p.drawLine(box.topLeft(), box.bottomRight());
    p.drawLine(box.topRight(), box.bottomLeft());
}

void DrawDots(QPainter& p, int size, const QColor& colour) {
    const double unit = size / 16.0;
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    for (int i = 0; i < 3; ++i)
        p.drawEllipse(QPointF(unit * (9.5 + 2.6 * i), unit * 2.6), unit * 1.1, unit * 1.1);
}

}  // namespace

QImage TrayStateImage(ETrayState state, int bars, int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    switch (state) {
        case ETrayState::Connected:
            DrawBars(p, size, std::clamp(bars, 1, 4), QColor(46, 160, 67));
            break;
        case ETrayState::Connecting:
            DrawBars(p, size, 0, QColor());
            DrawDots(p, size, QColor(230, 160, 20));
            break;
        case ETrayState::NotConnected:
            DrawBars(p, size, 0, QColor());
            DrawCross(p, size, QColor(128, 128, 128));
            break;
        case ETrayState::NoAdapter:
            DrawCross(p, size, QColor(200, 40, 40));
            break;
    }
    return image;
}

QIcon TrayStateIcon(ETrayState state, int bars) {
    QIcon icon;
    for (int size : {16, 22, 24, 32, 48, 64})
        icon.addPixmap(QPixmap::fromImage(TrayStateImage(state, bars, size)));
    return icon;
}

}  // namespace wavory
