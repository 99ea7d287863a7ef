// A strip chart of throughput in KB/s: 20 positions that fill from the left and then scroll, each
// new point pushing the oldest out. Its scale follows the values shown (a round figure above the
// largest, 10 KB/s at least), in KB/s or, from 10000 KB/s on, in MB/s, named on the axis.
#pragma once

#include <QChartView>
#include <QList>
#include <QPen>

class QLineSeries;
class QValueAxis;

namespace wavory {

class CUtilisationChart : public QChartView {
    Q_OBJECT
public:
    static constexpr int kPoints = 20;
    static constexpr double kMinScaleKBps = 10.0;

    explicit CUtilisationChart(QWidget* parent = nullptr);
    ~CUtilisationChart() override;

    void SetColour(const QColor& colour);
    // Background, labels and grid from the palette, so that a dark theme gets a dark chart.
    void ApplyPalette(const QPalette& palette);
    // Appends a value in KB/s.
    void AddValue(double value);

    // The values shown (KB/s), oldest first; whether the chart has filled its positions and scrolls.
    const QList<double>& Values() const { return m_Values; }
    bool IsScrolling() const { return m_bScrolling; }
    QLineSeries* Series() const { return m_pSeries; }
    // The top of the scale in KB/s and the unit the axis shows ("KB/s" or "MB/s").
    double ScaleKBps() const { return m_dScaleKBps; }
    QString Unit() const;

    // The round figure (1, 2 or 5 times a power of ten) at or above a value, at least the minimum.
    static double NiceScale(double maxKBps);

private:
    void Replot();

    QLineSeries* m_pSeries;
    QPen m_Pen{Qt::NoPen};
    QValueAxis* m_pAxisX;
    QValueAxis* m_pAxisY;
    QList<double> m_Values;
    bool m_bScrolling = false;
    double m_dScaleKBps = kMinScaleKBps;
};

}  // namespace wavory
