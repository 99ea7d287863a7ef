#include "ui/survey/ChannelsDlg.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "shell/Tessal.h"
#include "survey/StationMngr.h"
#include "ui/survey/AirGraph.h"

namespace wavory {

CChannelsDlg::CChannelsDlg(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("ChannelsDlg"));
    setWindowTitle(QStringLiteral("Channels"));
    setSizeGripEnabled(true);
    auto* layout = new QVBoxLayout(this);
    auto* intro = new QLabel(
        QStringLiteral(
            "Each access point of the last scan over the channels its width covers, as high as its "
            "signal. \u201CSharing\u201D counts the access points on each channel."),
        this);
    intro->setTextFormat(Qt::PlainText);
    intro->setWordWrap(true);
    layout->addWidget(intro);
    m_pBands = new QVBoxLayout;
    layout->addLayout(m_pBands, 1);
    m_pEmpty = new QLabel(QString::fromUtf8(kNoNetworksText), this);
    m_pEmpty->setTextFormat(Qt::PlainText);
    m_pEmpty->setAlignment(Qt::AlignCenter);
    layout->addWidget(m_pEmpty);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    resize(900, 660);
}

CChannelsDlg::~CChannelsDlg() = default;

void CChannelsDlg::Refresh() {
    std::vector<SAirEntry> heard;
    if (CStationMngr* stations = theApp.m_pStationMngr) heard = stations->HeardAir();
    std::vector<SAirBand> bands = BuildAirView(heard);
    // The list refreshes for many reasons; the graphs are drawn again only when the air changed.
    if (bands == m_Bands && m_Graphs.size() == m_Bands.size() && !m_Bands.empty()) return;
    m_Bands = std::move(bands);
    // A graph per band, kept while the bands stay the same.
    while (m_Graphs.size() > m_Bands.size()) {
        delete m_Graphs.back();
        delete m_Titles.back();
        m_Graphs.pop_back();
        m_Titles.pop_back();
    }
    while (m_Graphs.size() < m_Bands.size()) {
        auto* title = new QLabel(this);
        title->setTextFormat(Qt::PlainText);
        QFont font = title->font();
        font.setBold(true);
        title->setFont(font);
        auto* graph = new CAirGraph(this);
        m_pBands->addWidget(title);
        m_pBands->addWidget(graph, 1);
        m_Titles.push_back(title);
        m_Graphs.push_back(graph);
    }
    for (std::size_t i = 0; i < m_Bands.size(); ++i) {
        std::size_t count = 0;
        for (const SAirChannel& channel : m_Bands[i].channels) count += channel.networks.size();
        m_Titles[i]->setText(QStringLiteral("%1: %2 access point%3")
                                 .arg(QString::fromStdString(m_Bands[i].band))
                                 .arg(count)
                                 .arg(count == 1 ? "" : "s"));
        m_Graphs[i]->SetBand(m_Bands[i]);
    }
    m_pEmpty->setVisible(m_Bands.empty());
}

}  // namespace wavory
