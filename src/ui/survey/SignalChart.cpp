#include "ui/survey/SignalChart.h"

#include <QPainter>
#include <QPainterPath>
#include <algorithm>

#include "ui/shell/ChartColours.h"
#include "ui/shell/PlainText.h"

namespace wavory {

namespace {

}  // namespace

CSignalChart::CSignalChart(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("signalChart"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

CSignalChart::~CSignalChart() = default;

void CSignalChart::SetSeries(std::vector<STrailSeries> series, int64_t nowMs) {
    // The connection's access point is drawn last, over the others.
    std::stable_partition(series.begin(), series.end(), [](const STrailSeries& s) { return !s.own; });
    // The list refreshes for many reasons; the chart is painted again only when it changed.
    if (series == m_Series && nowMs == m_nNowMs) return;
    m_Series = std::move(series);
    m_nNowMs = nowMs;
    update();
}

QStringList CSignalChart::LegendTexts() const {
    QStringList texts;
    for (const STrailSeries& s : m_Series)
        texts << ShownText(s.ssid) + QStringLiteral("  ") + QString::fromStdString(s.bssid) +
                     (s.own ? QStringLiteral("  (connected)") : QString());
    return texts;
}

QColor CSignalChart::ColourOf(std::size_t index) const {
    return SeriesColour(index);
}

double CSignalChart::PenWidthOf(std::size_t index) const {
    return index < m_Series.size() && m_Series[index].own ? 3.5 : 1.5;
}

void CSignalChart::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QPalette& colours = palette();
    const QColor background = colours.color(QPalette::Base);
    const QColor text = colours.color(QPalette::Text);
    painter.fillRect(rect(), background);
    painter.setPen(Blend(background, text, 0.5));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));

    QFont small = font();
    small.setPointSizeF(small.pointSizeF() * 0.85);
    painter.setFont(small);
    const QFontMetrics metrics(small);
    const int line = metrics.height();
    constexpr int kGap = 6;

    if (m_Series.empty()) {
        painter.setPen(text);
        painter.drawText(rect().adjusted(kGap, kGap, -kGap, -kGap), Qt::AlignCenter | Qt::TextWordWrap,
                         QString::fromUtf8(kEmptyText));
        return;
    }

    // The legend takes the right-hand part, up to a third of the width; the plot the rest.
    const QStringList legend = LegendTexts();
    int legendWidth = 0;
    for (const QString& entry : legend) legendWidth = std::max(legendWidth, metrics.horizontalAdvance(entry));
    legendWidth = std::min(legendWidth + 24, width() * 2 / 5);
    const int labelWidth = metrics.horizontalAdvance(QStringLiteral("-100"));
    const QRectF plot(QPointF(kGap + line + labelWidth + kGap, kGap + line / 2.0),
                      QPointF(width() - legendWidth - 2 * kGap, height() - kGap - 2 * line - 2));
    if (plot.width() < 20 || plot.height() < 20) return;

    auto yOf = [&](int dBm) {
        const double share =
            (std::clamp(dBm, kBottomDbm, kTopDbm) - kBottomDbm) / static_cast<double>(kTopDbm - kBottomDbm);
        return plot.bottom() - plot.height() * share;
    };
    const double spanMs = kMinutes * 60000.0;
    auto xOf = [&](int64_t timeMs) {
        const double ago = std::clamp(static_cast<double>(m_nNowMs - timeMs), 0.0, spanMs);
        return plot.right() - plot.width() * ago / spanMs;
    };

    // The grid: every 20 dBm and every two minutes, labelled; the axis titles beside.
    const QColor grid = Blend(background, text, 0.2);
    for (int dBm = kBottomDbm; dBm <= kTopDbm; dBm += 20) {
        const double y = yOf(dBm);
        painter.setPen(grid);
        painter.drawLine(QPointF(plot.left(), y), QPointF(plot.right(), y));
        painter.setPen(text);
        painter.drawText(QRectF(plot.left() - kGap - labelWidth, y - line / 2.0, labelWidth, line),
                         Qt::AlignRight | Qt::AlignVCenter, QString::number(dBm));
    }
    for (int minute = 0; minute <= kMinutes; minute += 2) {
        const double x = plot.right() - plot.width() * minute / kMinutes;
        painter.setPen(grid);
        painter.drawLine(QPointF(x, plot.top()), QPointF(x, plot.bottom()));
        painter.setPen(text);
        painter.drawText(QRectF(x - 30, plot.bottom() + 2, 60, line), Qt::AlignHCenter | Qt::AlignTop,
                         minute == 0 ? QStringLiteral("now") : QString::number(-minute));
    }
    painter.drawText(QRectF(plot.left(), plot.bottom() + 2 + line, plot.width(), line), Qt::AlignHCenter,
                     QStringLiteral("minutes"));
    painter.save();
    painter.translate(kGap / 2.0, plot.center().y());
    painter.rotate(-90);
    painter.drawText(QRectF(-plot.height() / 2.0, 0, plot.height(), line), Qt::AlignCenter,
                     QStringLiteral("dBm"));
    painter.restore();

    // The lines, each unbroken stretch on its own; a stretch of one look is a dot.
    painter.setRenderHint(QPainter::Antialiasing);
    painter.save();
    painter.setClipRect(plot.adjusted(-3, -3, 3, 3));
    for (std::size_t i = 0; i < m_Series.size(); ++i) {
        QPen pen(ColourOf(i), PenWidthOf(i));
        pen.setCapStyle(Qt::RoundCap);
        pen.setJoinStyle(Qt::RoundJoin);
        painter.setPen(pen);
        for (const auto& run : CSignalTrail::Runs(m_Series[i])) {
            QPolygonF points;
            for (const STrailPoint& p : run) points << QPointF(xOf(p.timeMs), yOf(p.signalDbm));
            if (points.size() == 1)
                painter.drawPoint(points.first());
            else
                painter.drawPolyline(points);
        }
    }
    painter.restore();

    // The legend: a stroke of each colour and its text, cut short with an ellipsis when narrow.
    const double legendLeft = width() - legendWidth - kGap;
    const int rows = std::max(1, static_cast<int>((height() - 2 * kGap) / (line + 2)));
    for (int i = 0; i < legend.size() && i < rows; ++i) {
        const double y = kGap + i * (line + 2.0);
        const bool more = i == rows - 1 && legend.size() > rows;
        if (!more) {
            painter.setPen(
                QPen(ColourOf(static_cast<std::size_t>(i)), PenWidthOf(static_cast<std::size_t>(i))));
            painter.drawLine(QPointF(legendLeft, y + line / 2.0), QPointF(legendLeft + 16, y + line / 2.0));
        }
        painter.setPen(text);
        const QString shown = more ? QStringLiteral("+%1 more").arg(legend.size() - rows + 1)
                                   : metrics.elidedText(legend[i], Qt::ElideRight, legendWidth - 22);
        painter.drawText(QRectF(legendLeft + 22, y, legendWidth - 22, line), Qt::AlignLeft | Qt::AlignVCenter,
                         shown);
    }
}

}  // namespace wavory
