// A strip chart of throughput in KB/s: 20 positions that fill from the left and then scroll, each
// new point pushing the oldest out. Its scale follows the values shown (a round figure above the
// largest, 10 KB/s at least), in KB/s or, from 10000 KB/s on, in MB/s, named on the axis.
// Drawn with the widget's own painter: a line, a grid and three scale labels need no chart library
// (which would cost megabytes and start time for a page that may never be shown).
#pragma once

#include <QColor>
#include <QList>
#include <QPalette>
#include <QStringList>
#include <QWidget>

namespace wavory {

class CUtilisationChart : public QWidget {
    Q_OBJECT
public:
    static constexpr int kPoints = 20;
    static constexpr double kMinScaleKBps = 10.0;
    // The scale's labels: bottom, middle, top.
    static constexpr int kScaleLabels = 3;
    // Vertical grid lines over the positions.
    static constexpr int kColumns = kPoints / 5 + 1;

    explicit CUtilisationChart(QWidget* parent = nullptr);
    ~CUtilisationChart() override;

    void SetColour(const QColor& colour);
    QColor Colour() const { return m_Line; }
    // Background, labels and grid from the palette, so that a dark theme gets a dark chart.
    void ApplyPalette(const QPalette& palette);
    // Appends a value in KB/s.
    void AddValue(double value);

    // The values shown (KB/s), oldest first; whether the chart has filled its positions and scrolls.
    const QList<double>& Values() const { return m_Values; }
    bool IsScrolling() const { return m_bScrolling; }
    // The values as plotted, in the unit the axis shows.
    QList<double> PlottedValues() const;
    // The top of the scale in KB/s and the unit the axis shows ("KB/s" or "MB/s").
    double ScaleKBps() const { return m_dScaleKBps; }
    QString Unit() const;
    // The scale's labels in the unit shown, bottom first ("0", "25", "50").
    QStringList ScaleLabels() const;

    // The round figure (1, 2 or 5 times a power of ten) at or above a value, at least the minimum.
    static double NiceScale(double maxKBps);

    QSize sizeHint() const override { return QSize(240, 140); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    // The divisor from KB/s to the unit shown.
    double Divisor() const { return m_dScaleKBps >= 10000.0 ? 1000.0 : 1.0; }

    QList<double> m_Values;
    bool m_bScrolling = false;
    double m_dScaleKBps = kMinScaleKBps;
    QColor m_Line{0x1e, 0x88, 0xe5};
    QColor m_Background;
    QColor m_Text;
    QColor m_Grid;
};

}  // namespace wavory
