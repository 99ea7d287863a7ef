#include "ui/monitor/UtilisationChart.h"

#include <QChart>
#include <QLineSeries>
#include <QPen>
#include <QValueAxis>
#include <algorithm>

namespace wavory {

CUtilisationChart::CUtilisationChart(QWidget* parent)
    : QChartView(parent), m_pSeries(new QLineSeries), m_pAxisX(new QValueAxis), m_pAxisY(new QValueAxis) {
    auto* chart = new QChart;
    // Redrawn once a second at most; animations would only cost processor time.
    chart->setAnimationOptions(QChart::NoAnimation);
    chart->legend()->hide();
    chart->setMargins(QMargins(0, 0, 0, 0));
    chart->setBackgroundRoundness(0);
    chart->addSeries(m_pSeries);

    m_pAxisX->setRange(0, kPoints - 1);
    m_pAxisX->setLabelsVisible(false);
    m_pAxisX->setTickCount(kPoints / 5 + 1);
    m_pAxisX->setGridLineVisible(true);
    m_pAxisY->setRange(0, m_dScaleKBps);
    m_pAxisY->setTickCount(3);
    m_pAxisY->setLabelFormat("%g");
    QFont small = m_pAxisY->labelsFont();
    small.setPointSizeF(small.pointSizeF() * 0.8);
    m_pAxisY->setLabelsFont(small);
    m_pAxisY->setTitleFont(small);
    m_pAxisY->setTitleText(Unit());
    chart->addAxis(m_pAxisX, Qt::AlignBottom);
    chart->addAxis(m_pAxisY, Qt::AlignLeft);
    m_pSeries->attachAxis(m_pAxisX);
    m_pSeries->attachAxis(m_pAxisY);

    setChart(chart);
    setRenderHint(QPainter::Antialiasing);
    setMinimumSize(160, 110);
}

CUtilisationChart::~CUtilisationChart() = default;

void CUtilisationChart::SetColour(const QColor& colour) {
    QPen pen(colour);
    pen.setWidthF(2.0);
    m_Pen = pen;
    m_pSeries->setPen(pen);
}

void CUtilisationChart::ApplyPalette(const QPalette& palette) {
    QChart* chart = this->chart();
    chart->setTheme(palette.color(QPalette::Window).lightness() < 128 ? QChart::ChartThemeDark
                                                                      : QChart::ChartThemeLight);
    // The theme resets the series' pen: the colour set before is put back.
    const QPen pen = m_Pen;
    if (pen.style() != Qt::NoPen) m_pSeries->setPen(pen);
    chart->setBackgroundBrush(palette.brush(QPalette::Base));
    chart->setPlotAreaBackgroundVisible(false);
    for (QValueAxis* axis : {m_pAxisX, m_pAxisY}) {
        axis->setLabelsColor(palette.color(QPalette::Text));
        axis->setTitleBrush(palette.brush(QPalette::Text));
        axis->setGridLineColor(palette.color(QPalette::Mid));
        axis->setLinePenColor(palette.color(QPalette::Mid));
    }
    setBackgroundBrush(palette.brush(QPalette::Window));
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

void CUtilisationChart::AddValue(double value) {
    if (m_Values.size() >= kPoints) {
        m_bScrolling = true;  // from the 21st point on, the oldest one goes
        m_Values.removeFirst();
    }
    m_Values.append(value);
    Replot();
}

void CUtilisationChart::Replot() {
    double largest = 0.0;
    for (double v : m_Values) largest = std::max(largest, v);
    m_dScaleKBps = NiceScale(largest);
    // Large rates read as MB/s: the points and the axis are in the unit shown.
    const double divisor = m_dScaleKBps >= 10000.0 ? 1000.0 : 1.0;
    QList<QPointF> points;
    points.reserve(m_Values.size());
    for (int i = 0; i < m_Values.size(); ++i) points.append(QPointF(i, m_Values[i] / divisor));
    m_pSeries->replace(points);
    m_pAxisY->setRange(0, m_dScaleKBps / divisor);
    if (m_pAxisY->titleText() != Unit()) m_pAxisY->setTitleText(Unit());
}

}  // namespace wavory
