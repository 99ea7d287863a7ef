// A strip chart of utilisation in per mille: a fixed 0..1000 scale, 20 positions that fill from the
// left and then scroll, each new point pushing the oldest out.
#pragma once

#include <QChartView>
#include <QList>

class QLineSeries;
class QValueAxis;

namespace wavory {

class CUtilisationChart : public QChartView {
    Q_OBJECT
public:
    static constexpr int kPoints = 20;
    static constexpr int kFullScale = 1000;

    explicit CUtilisationChart(QWidget* parent = nullptr);
    ~CUtilisationChart() override;

    void SetColour(const QColor& colour);
    void AddValue(double value);

    // The values shown, oldest first; whether the chart has filled its positions and scrolls.
    const QList<double>& Values() const { return m_Values; }
    bool IsScrolling() const { return m_bScrolling; }
    QLineSeries* Series() const { return m_pSeries; }

private:
    QLineSeries* m_pSeries;
    QValueAxis* m_pAxisX;
    QValueAxis* m_pAxisY;
    QList<double> m_Values;
    bool m_bScrolling = false;
};

}  // namespace wavory
