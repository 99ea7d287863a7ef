// The view of the air beside Available Networks: a graph per band (2.4, 5, 6 GHz) of the access
// points of the last scan by channel, width and signal, how many share each channel, and the
// connection's channel marked. Available Networks owns it and refreshes it with its list.
#pragma once

#include <QDialog>
#include <vector>

#include "survey/AirView.h"

class QLabel;
class QVBoxLayout;

namespace wavory {

class CAirGraph;

class CChannelsDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr const char* kNoNetworksText = "No access points in the last scan";

    explicit CChannelsDlg(QWidget* parent = nullptr);
    ~CChannelsDlg() override;

    // Builds the bands again from the access points the station manager last heard.
    void Refresh();
    // The bands shown, as the model built them, and their graphs in the same order.
    const std::vector<SAirBand>& Bands() const { return m_Bands; }
    std::vector<CAirGraph*> Graphs() const { return m_Graphs; }

private:
    std::vector<SAirBand> m_Bands;
    std::vector<CAirGraph*> m_Graphs;
    std::vector<QLabel*> m_Titles;
    QVBoxLayout* m_pBands;
    QLabel* m_pEmpty;
};

}  // namespace wavory
