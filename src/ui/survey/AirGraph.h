// One band of the view of the air, as a channel analyzer draws it: each access point a shape over
// the frequencies its width covers, as high as its signal, named by its SSID (plain text); under
// the channel axis how many access points share each channel; the connection's channel marked.
#pragma once

#include <QStringList>
#include <QWidget>

#include "survey/AirView.h"

namespace wavory {

class CAirGraph : public QWidget {
    Q_OBJECT
public:
    static constexpr int kTopDbm = -20;
    static constexpr int kBottomDbm = -100;

    explicit CAirGraph(QWidget* parent = nullptr);
    ~CAirGraph() override;

    void SetBand(const SAirBand& band);
    const SAirBand& Band() const { return m_Band; }
    // The names on the shapes, in the order drawn (weakest first, so the strong ones are on top).
    QStringList LabelTexts() const;
    // The frequencies the axis spans (MHz).
    int LowMHz() const { return m_nLowMHz; }
    int HighMHz() const { return m_nHighMHz; }

    QSize sizeHint() const override { return QSize(760, 200); }
    QSize minimumSizeHint() const override { return QSize(360, 170); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    // The access points in drawing order.
    std::vector<SAirEntry> Drawn() const;

    SAirBand m_Band;
    int m_nLowMHz = 0;
    int m_nHighMHz = 0;
};

}  // namespace wavory
