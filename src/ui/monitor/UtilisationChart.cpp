#include "ui/monitor/UtilisationChart.h"

#include <QPainter>
#include <QPolygonF>
#include <algorithm>

#include "ui/shell/ChartColours.h"

namespace wavory {

CUtilisationChart::CUtilisationChart(QWidget* parent) : QWidget(parent) {
    // The chart paints every pixel of its area itself.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(160, 110);
    ApplyPalette(palette());
}

CUtilisationChart::~CUtilisationChart() = default;

void CUtilisationChart::SetColour(const QColor& colour) {
    if (colour == m_Line) return;
    m_Line = colour;
    update();
}

void CUtilisationChart::ApplyPalette(const QPalette& palette) {
    m_Background = palette.color(QPalette::Base);
    m_Text = palette.color(QPalette::Text);
    // The grid from the text and the background, so that it shows on either without shouting.
    m_Grid = Blend(m_Background, m_Text, 0.25);
    update();
}

double CUtilisationChart::NiceScale(double maxKBps) {
    if (!(maxKBps > kMinScaleKBps)) return kMinScaleKBps;
    double power = 1.0;
    while (power * 10.0 < maxKBps) power *= 10.0;
    for (double step : {1.0, 2.0, 5.0, 10.0})
        if (step * power >= maxKBps) return step * power;
    return 10.0 * power;
}

QString CUtilisationChart::Unit() const {
    return m_dScaleKBps >= 10000.0 ? QStringLiteral("MB/s") : QStringLiteral("KB/s");
}

QStringList CUtilisationChart::ScaleLabels() const {
    QStringList labels;
    const double top = m_dScaleKBps / Divisor();
    for (int i = 0; i < kScaleLabels; ++i) labels << QString::number(top * i / (kScaleLabels - 1), 'g', 6);
    return labels;
}

QList<double> CUtilisationChart::PlottedValues() const {
    QList<double> shown;
    shown.reserve(m_Values.size());
    for (double v : m_Values) shown.append(v / Divisor());
    return shown;
}

void CUtilisationChart::AddValue(double value) {
    if (m_Values.size() >= kPoints) {
        m_bScrolling = true;  // from the 21st point on, the oldest one goes
        m_Values.removeFirst();
    }
    m_Values.append(value);
    double largest = 0.0;
    for (double v : m_Values) largest = std::max(largest, v);
    m_dScaleKBps = NiceScale(largest);
    update();
}

void CUtilisationChart::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), m_Background);

    QFont small = font();
    small.setPointSizeF(small.pointSizeF() * 0.8);
    painter.setFont(small);
    const QFontMetrics metrics(small);
    const QStringList labels = ScaleLabels();
    int labelWidth = 0;
    for (const QString& label : labels) labelWidth = std::max(labelWidth, metrics.horizontalAdvance(label));

    // The unit's title runs up the left edge, the scale's labels beside it, then the plot.
    constexpr int kGap = 4;
    const int line = metrics.height();
    const QRectF plot(QPointF(kGap + line + kGap + labelWidth + kGap, line / 2.0 + kGap),
                      QPointF(width() - kGap - 1.0, height() - line / 2.0 - kGap - 1.0));
    if (plot.width() < 2 || plot.height() < 2) return;

    // The grid: a line per scale label, a column every five positions; the axes a shade stronger.
    painter.setPen(QPen(m_Grid, 1.0));
    for (int i = 0; i < kScaleLabels; ++i) {
        const double y = plot.bottom() - plot.height() * i / (kScaleLabels - 1);
        painter.drawLine(QPointF(plot.left(), y), QPointF(plot.right(), y));
    }
    for (int i = 0; i < kColumns; ++i) {
        const double x = plot.left() + plot.width() * i / (kColumns - 1);
        painter.drawLine(QPointF(x, plot.top()), QPointF(x, plot.bottom()));
    }
    painter.setPen(QPen(Blend(m_Background, m_Text, 0.5), 1.0));
    painter.drawLine(plot.bottomLeft(), plot.bottomRight());
    painter.drawLine(plot.bottomLeft(), plot.topLeft());

    painter.setPen(m_Text);
    for (int i = 0; i < kScaleLabels; ++i) {
        const double y = plot.bottom() - plot.height() * i / (kScaleLabels - 1);
        const QRectF box(plot.left() - kGap - labelWidth, y - line / 2.0, labelWidth, line);
        painter.drawText(box, Qt::AlignRight | Qt::AlignVCenter, labels[i]);
    }
    painter.save();
    painter.translate(kGap, plot.center().y());
    painter.rotate(-90);
    painter.drawText(QRectF(-plot.height() / 2.0, 0, plot.height(), line), Qt::AlignCenter, Unit());
    painter.restore();

    if (m_Values.isEmpty()) return;
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setClipRect(plot.adjusted(-2, -2, 2, 2));
    QPolygonF points;
    points.reserve(m_Values.size());
    for (int i = 0; i < m_Values.size(); ++i) {
        const double share = std::clamp(m_Values[i] / m_dScaleKBps, 0.0, 1.0);
        points << QPointF(plot.left() + plot.width() * i / (kPoints - 1), plot.bottom() - plot.height() * share);
    }
    QPen pen(m_Line, 2.0);
    pen.setCapStyle(Qt::RoundCap);
    pen.setJoinStyle(Qt::RoundJoin);
    painter.setPen(pen);
    // A single point is a dot until the line has a second one.
    if (points.size() == 1)
        painter.drawPoint(points.first());
    else
        painter.drawPolyline(points);
}

}  // namespace wavory
