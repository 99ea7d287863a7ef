// The signal of the selected access points over the last minutes: a line per access point on a dBm
// scale against minutes before the last look, broken where a look missed it, the connection's
// access point drawn thicker, and a legend of names and BSSIDs as plain text beside the plot.
// Drawn with the widget's own painter, as the Statistics charts are.
#pragma once

#include <QColor>
#include <QStringList>
#include <QWidget>
#include <cstdint>
#include <vector>

#include "survey/SignalTrail.h"

namespace wavory {

class CSignalChart : public QWidget {
    Q_OBJECT
public:
    // The scale: strong at the top, the floor of what an adapter still hears at the bottom.
    static constexpr int kTopDbm = -20;
    static constexpr int kBottomDbm = -100;
    static constexpr int kMinutes = static_cast<int>(CSignalTrail::kKeepMs / 60000);
    // What the chart says while no access point is selected.
    static constexpr const char* kEmptyText =
        "Select one or more access points to see their signal over time";

    explicit CSignalChart(QWidget* parent = nullptr);
    ~CSignalChart() override;

    // The series shown and the time of the last look (the right edge of the plot).
    void SetSeries(std::vector<STrailSeries> series, int64_t nowMs);
    const std::vector<STrailSeries>& Series() const { return m_Series; }
    // The legend's lines, one per series: "SSID  BSSID", the connection's with "(connected)".
    QStringList LegendTexts() const;
    QColor ColourOf(std::size_t index) const;
    // The width of a series' line: the connection's is thicker.
    double PenWidthOf(std::size_t index) const;

    QSize sizeHint() const override { return QSize(480, 170); }
    QSize minimumSizeHint() const override { return QSize(240, 120); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::vector<STrailSeries> m_Series;
    int64_t m_nNowMs = 0;
};

}  // namespace wavory
