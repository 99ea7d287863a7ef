#include "ui/survey/AirGraph.h"

#include <QPainter>
#include <QPainterPath>
#include <algorithm>

#include "ui/shell/ChartColours.h"
#include "ui/shell/PlainText.h"

namespace wavory {

namespace {

// The 2.4 GHz channels 1 to 13 are always on its axis: their overlap is the point of the picture.
constexpr int kLowBandFirstMHz = 2412;
constexpr int kLowBandLastMHz = 2472;

}  // namespace

CAirGraph::CAirGraph(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

CAirGraph::~CAirGraph() = default;

void CAirGraph::SetBand(const SAirBand& band) {
    m_Band = band;
    int low = 0, high = 0;
    for (const SAirChannel& channel : m_Band.channels)
        for (const SAirEntry& e : channel.networks) {
            const auto [from, to] = OccupiedRange(e.freqMHz, e.widthMHz);
            low = low ? std::min(low, from) : from;
            high = std::max(high, to);
        }
    if (!m_Band.channels.empty() && m_Band.channels.front().freqMHz < 3000) {
        low = std::min(low, kLowBandFirstMHz - 11);
        high = std::max(high, kLowBandLastMHz + 11);
    }
    // Room on either side, and at least the width of a few channels.
    m_nLowMHz = low - 5;
    m_nHighMHz = std::max(high + 5, m_nLowMHz + 120);
    setObjectName(QString::fromStdString("airGraph " + band.band));
    update();
}

std::vector<SAirEntry> CAirGraph::Drawn() const {
    std::vector<SAirEntry> all;
    for (const SAirChannel& channel : m_Band.channels)
        all.insert(all.end(), channel.networks.begin(), channel.networks.end());
    std::stable_sort(all.begin(), all.end(), [](const SAirEntry& a, const SAirEntry& b) {
        return (a.signalDbm ? a.signalDbm : -1000) < (b.signalDbm ? b.signalDbm : -1000);
    });
    return all;
}

QStringList CAirGraph::LabelTexts() const {
    QStringList texts;
    for (const SAirEntry& e : Drawn()) texts << ShownText(e.ssid);
    return texts;
}

void CAirGraph::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QPalette& colours = palette();
    const QColor background = colours.color(QPalette::Base);
    const QColor text = colours.color(QPalette::Text);
    const QColor highlight = colours.color(QPalette::Highlight);
    painter.fillRect(rect(), background);
    painter.setPen(Blend(background, text, 0.5));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));

    QFont small = font();
    small.setPointSizeF(small.pointSizeF() * 0.85);
    QFont bold = small;
    bold.setBold(true);
    painter.setFont(small);
    const QFontMetrics metrics(small);
    const int line = metrics.height();
    constexpr int kGap = 6;
    const int labelWidth = metrics.horizontalAdvance(QStringLiteral("-100"));
    const int captionWidth = std::max(metrics.horizontalAdvance(QStringLiteral("Channel")),
                                      metrics.horizontalAdvance(QStringLiteral("Sharing")));
    const double left = kGap + std::max(line + labelWidth + kGap, captionWidth);
    // Under the plot: the channel numbers, then how many share each.
    const QRectF plot(QPointF(left, kGap + line),
                      QPointF(width() - kGap - 4.0, height() - kGap - 2.5 * line - 4));
    if (plot.width() < 40 || plot.height() < 30 || m_nHighMHz <= m_nLowMHz) return;

    auto xOf = [&](double mhz) {
        return plot.left() + plot.width() * (mhz - m_nLowMHz) / (m_nHighMHz - m_nLowMHz);
    };
    auto yOf = [&](int dBm) {
        const double share =
            (std::clamp(dBm, kBottomDbm, kTopDbm) - kBottomDbm) / static_cast<double>(kTopDbm - kBottomDbm);
        return plot.bottom() - plot.height() * share;
    };

    // The connection's frequencies, tinted behind everything.
    for (const SAirChannel& channel : m_Band.channels)
        for (const SAirEntry& e : channel.networks)
            if (e.current) {
                const auto [from, to] = OccupiedRange(e.freqMHz, e.widthMHz);
                QColor tint = highlight;
                tint.setAlpha(40);
                painter.fillRect(QRectF(QPointF(xOf(from), plot.top()), QPointF(xOf(to), plot.bottom())),
                                 tint);
                painter.setPen(text);
                painter.drawText(QRectF(xOf(from) + 3, plot.top() - line, xOf(to) - xOf(from), line),
                                 Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("your channel"));
            }

    const QColor grid = Blend(background, text, 0.2);
    for (int dBm = kBottomDbm; dBm <= kTopDbm; dBm += 20) {
        const double y = yOf(dBm);
        painter.setPen(grid);
        painter.drawLine(QPointF(plot.left(), y), QPointF(plot.right(), y));
        painter.setPen(text);
        painter.drawText(QRectF(plot.left() - kGap - labelWidth, y - line / 2.0, labelWidth, line),
                         Qt::AlignRight | Qt::AlignVCenter, QString::number(dBm));
    }
    painter.save();
    painter.translate(kGap / 2.0, plot.center().y());
    painter.rotate(-90);
    painter.drawText(QRectF(-plot.height() / 2.0, 0, plot.height(), line), Qt::AlignCenter,
                     QStringLiteral("dBm"));
    painter.restore();

    // The channel axis: on 2.4 GHz every channel, elsewhere the channels something is on; under
    // each of those, how many access points share it. The connection's channels in bold.
    const double numbersY = plot.bottom() + line / 2.0 + 2;
    const double sharingY = numbersY + line;
    painter.setPen(text);
    painter.drawText(QRectF(kGap, numbersY, captionWidth, line), Qt::AlignLeft | Qt::AlignVCenter,
                     QStringLiteral("Channel"));
    painter.drawText(QRectF(kGap, sharingY, captionWidth, line), Qt::AlignLeft | Qt::AlignVCenter,
                     QStringLiteral("Sharing"));
    const bool lowBand = !m_Band.channels.empty() && m_Band.channels.front().freqMHz < 3000;
    if (lowBand)
        for (int mhz = kLowBandFirstMHz, n = 1; mhz <= kLowBandLastMHz; mhz += 5, ++n) {
            painter.setPen(grid);
            painter.drawLine(QPointF(xOf(mhz), plot.bottom()), QPointF(xOf(mhz), plot.bottom() + 3));
            painter.setPen(text);
            painter.drawText(QRectF(xOf(mhz) - 20, numbersY, 40, line), Qt::AlignCenter, QString::number(n));
        }
    for (const SAirChannel& channel : m_Band.channels) {
        const double x = xOf(channel.freqMHz);
        painter.setFont(channel.own ? bold : small);
        painter.setPen(channel.own ? highlight : text);
        if (!lowBand || channel.own)
            painter.drawText(QRectF(x - 20, numbersY, 40, line), Qt::AlignCenter,
                             QString::number(channel.channel));
        painter.drawText(QRectF(x - 20, sharingY, 40, line), Qt::AlignCenter,
                         QString::number(channel.sharing));
    }
    painter.setFont(small);
    painter.setPen(QPen(Blend(background, text, 0.5), 1.0));
    painter.drawLine(plot.bottomLeft(), plot.bottomRight());

    // The shapes, weakest first so the strong ones stay in front; then the names over them, each
    // moved up past a name already there.
    painter.setRenderHint(QPainter::Antialiasing);
    const std::vector<SAirEntry> drawn = Drawn();
    std::vector<QRectF> names;
    for (std::size_t i = 0; i < drawn.size(); ++i) {
        const SAirEntry& e = drawn[i];
        if (!e.signalDbm) continue;
        const auto [from, to] = OccupiedRange(e.freqMHz, e.widthMHz);
        const double ramp = std::min(4.0, (to - from) / 4.0);
        const double top = yOf(e.signalDbm);
        QPainterPath shape;
        shape.moveTo(xOf(from), plot.bottom());
        shape.lineTo(xOf(from + ramp), top);
        shape.lineTo(xOf(to - ramp), top);
        shape.lineTo(xOf(to), plot.bottom());
        QColor colour = SeriesColour(i);
        QColor fill = colour;
        fill.setAlpha(45);
        painter.setBrush(fill);
        painter.setPen(QPen(colour, e.current ? 3.0 : 1.5));
        painter.drawPath(shape);
    }
    painter.setBrush(Qt::NoBrush);
    for (std::size_t i = drawn.size(); i-- > 0;) {  // strongest first: it gets the place on its shape
        const SAirEntry& e = drawn[i];
        if (!e.signalDbm) continue;
        const QString name = ShownText(e.ssid) + (e.current ? QStringLiteral(" (connected)") : QString());
        const double centre = xOf(e.freqMHz);
        const QFontMetrics nameMetrics(e.current ? bold : small);
        const double nameWidth = std::min<double>(nameMetrics.horizontalAdvance(name) + 4, 180);
        QRectF box(centre - nameWidth / 2, yOf(e.signalDbm) - line - 1, nameWidth, line);
        box.moveLeft(std::clamp(box.left(), plot.left(), plot.right() - box.width()));
        for (int tries = 0; tries < 4; ++tries) {
            const bool clash = std::any_of(names.begin(), names.end(),
                                           [&](const QRectF& other) { return other.intersects(box); });
            if (!clash) break;
            box.translate(0, -line);
        }
        if (box.top() < 0) box.moveTop(0);
        names.push_back(box);
        painter.setPen(e.current ? highlight : text);
        painter.setFont(e.current ? bold : small);
        painter.drawText(box, Qt::AlignCenter,
                         nameMetrics.elidedText(name, Qt::ElideRight, static_cast<int>(nameWidth)));
    }
}

}  // namespace wavory
