#include "ui/monitor/UtilisationChart.h"

#include <QChart>
#include <QLineSeries>
#include <QPen>
#include <QValueAxis>

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
    m_pAxisY->setRange(0, kFullScale);
    m_pAxisY->setTickCount(3);
    m_pAxisY->setLabelFormat("%d");
    QFont small = m_pAxisY->labelsFont();
    small.setPointSizeF(small.pointSizeF() * 0.8);
    m_pAxisY->setLabelsFont(small);
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
    m_pSeries->setPen(pen);
}

void CUtilisationChart::AddValue(double value) {
    if (m_Values.size() >= kPoints) {
        m_bScrolling = true;  // from the 21st point on, the oldest one goes
        m_Values.removeFirst();
    }
    m_Values.append(value);
    QList<QPointF> points;
    points.reserve(m_Values.size());
    for (int i = 0; i < m_Values.size(); ++i) points.append(QPointF(i, m_Values[i]));
    m_pSeries->replace(points);
}

}  // namespace wavory
