#include "ui/monitor/MainGen.h"

#include "ui_MainGen.h"

#include <QLabel>
#include <QPushButton>
#include <QStringList>

#include "base/StringTable.h"
#include "driver/AirText.h"
#include "driver/CommVarList.h"
#include "driver/Converters.h"
#include "driver/Format.h"
#include "driver/Request.h"
#include "monitor/Signal.h"
#include "profiles/ProfileMngr.h"
#include "radio/Rates.h"
#include "shell/Tessal.h"
#include "shell/UserJoin.h"
#include "survey/LastDisconnect.h"
#include "survey/LinkActions.h"
#include "survey/Station.h"
#include "survey/StationMngr.h"
#include "ui/monitor/ConnectionDetails.h"
#include "ui/monitor/HotspotDlg.h"
#include "ui/profiles/ShareDlg.h"
#include "ui/res/Resources.h"
#include "ui/shell/PlainText.h"

namespace wavory {

CMainGen::CMainGen(QWidget* parent) : CBoundPage(parent), ui(std::make_unique<Ui::CMainGen>()) {
    ui->setupUi(this);
    ui->IDC_1082->setPixmap(QPixmap::fromImage(LoadPng(QStringLiteral(":/wavory/icons/transmitter.png"))));
    // The counters and the link figures change while connected; everything else seldom.
    for (int id : {IDC_RECEIVED, IDC_SENT}) MakeCounterLabel(id, QStringLiteral("4294967295 frames"));
    MakeCounterLabel(IDC_LINK_QUALITY, QStringLiteral("-100dBm"));
    MakeCounterLabel(IDC_NET_RATE, QStringLiteral("5764.7 Mbps"));
    connect(ui->btnDisconnect, &QPushButton::clicked, this, &CMainGen::OnDisconnect);
    connect(ui->btnDetails, &QPushButton::clicked, this, &CMainGen::OnDetails);
    connect(ui->btnShare, &QPushButton::clicked, this, &CMainGen::OnShare);
    connect(ui->btnHistory, &QPushButton::clicked, this, &CMainGen::HistoryRequested);
    connect(ui->btnHotspot, &QPushButton::clicked, this, [this] { CHotspotDlg::Open(this); });
    ui->adapterNotice->hide();
}

QString CMainGen::NoticeText() const { return ui->adapterNotice->isHidden() ? QString() : ui->adapterNotice->text(); }

void CMainGen::ShowNotice() {
    QStringList lines;
    if (!m_strSimulated.empty()) lines << QString::fromStdString(m_strSimulated) + QLatin1Char('.');
    // A first start: nothing stored and no connection. The way to a network is View Site.
    CProfileMngr* profiles = theApp.m_pProfileMngr;
    if (profiles && profiles->GetCount() == 0 && !m_bConnectedShown)
        lines << QStringLiteral("No profiles yet: choose a network with View Site.");
    // Why the last connection ended, until the next one.
    if (!m_bConnectedShown && !m_strLastDrop.isEmpty()) lines << m_strLastDrop;
    const QString text = lines.join(QLatin1Char('\n'));
    if (ui->adapterNotice->text() != text) ui->adapterNotice->setText(text);
    ui->adapterNotice->setVisible(!text.isEmpty());
}

void CMainGen::OnDisconnect() {
    std::string failure;
    if (!DisconnectAdapter(&failure)) theApp.ShowMessage(failure, EMsgIcon::Warning);
    Refresh();
}

void CMainGen::OnDetails() {
    CConnectionDetails details(this);
    details.exec();
}

void CMainGen::OnShare() {
    // The connected network's stored profile where there is one (it holds the passphrase), else
    // the settings it was joined with.
    std::unique_ptr<CProfile> settings;
    if (CProfileMngr* profiles = theApp.m_pProfileMngr) {
        auto lock = profiles->Lock();
        if (auto connected = profiles->GetConnected()) settings = std::make_unique<CProfile>(*connected);
    }
    if (!settings) {
        if (CStationMngr* stations = theApp.m_pStationMngr) {
            auto lock = stations->Lock();
            if (auto current = stations->GetCurrent())
                settings = std::make_unique<CProfile>(static_cast<const CProfile&>(*current));
        }
    }
    if (!settings) return;
    CShareDlg dialog(*settings, this);
    if (s_fnRunShare)
        s_fnRunShare(dialog);
    else
        dialog.exec();
}

CMainGen::ShareHook CMainGen::s_fnRunShare;

CMainGen::~CMainGen() = default;

void CMainGen::OnInitDialog() {
    if (!m_pList) {
        static const SCodePair channelCodes[] = {{OID_CHANNEL_QUERY, OID_CHANNEL_SET},
                                                 {OID_PHY_QUERY, OID_PHY_SET}};
        m_pList = std::make_unique<CCommVarList>(this);
        m_pList->AddVar(IDC_SSID, OID_SSID_QUERY, OID_SSID_SET, ConvSsid);
        m_pList->AddVar(IDC_NET_MODE, OID_NET_MODE_QUERY, OID_NET_MODE_SET, ConvNetMode);
        m_pList->AddVarMulti(IDC_CHANNEL, channelCodes, 2, ConvChannel);
        // Read in the list's order, but shown by the page, which has the link's own figures too.
        m_pList->AddVarExt(OID_PHY_QUERY, OID_PHY_SET, ConvMaxRate, &m_strMaxRate);
        m_pList->AddVarExt(OID_SECURITY_QUERY, OID_SECURITY_SET, ConvSecurity, &m_strSecurity);
        m_pList->AddVar(IDC_POWER_SAVE, OID_POWER_SAVE_QUERY, OID_POWER_SAVE_SET, ConvPowerSave);
        m_pList->AddVar(IDC_RECEIVED, OID_STATISTICS, 0, ConvReceived);
        m_pList->AddVar(IDC_SENT, OID_STATISTICS, 0, ConvSent);
        m_pList->AddVar(IDC_RADIO_STATUS, OID_HW_STATUS, 0, ConvRadioStatus);
    }
    // Which adapter serves the page does not change while the program runs.
    m_strSimulated = SimulatedAdapterNotice();
    ShowNotConnected();
}

void CMainGen::ShowNotConnected() {
    m_bConnectedShown = false;
    m_strLastDrop.clear();
    if (m_pList) {
        if (const std::optional<SLastDisconnect> drop = ReadLastDisconnect())
            m_strLastDrop = QStringLiteral("Last disconnect from %1: %2")
                                .arg(ShownText(drop->ssid), QString::fromStdString(drop->Sentence()));
    }
    ShowNotice();
    // A join the user started says so until it ends (its Cancel is below the pages).
    const std::string joining = UserAttemptNetwork();
    if (joining.empty())
        SetControlText(IDC_SSID, LoadStringId(IDS_NOT_CONNECTED));
    else
        SetControlText(IDC_SSID, QStringLiteral("Connecting to %1\u2026").arg(ShownText(joining)));
    for (int id = IDC_NET_MODE; id <= IDC_SENT; ++id) SetControlText(id, QString());
    SetControlText(IDC_LINK_QUALITY, QString());
    SetControlText(IDC_NET_RATE, QString());
    ui->btnDisconnect->setEnabled(false);
    ui->btnShare->setEnabled(false);
    // The hardware status is read without a connection too, and a missing adapter is said as such
    // rather than left at the last status read.
    if (!m_pList) return;
    std::string status;
    CCommVarList list;
    list.AddVarExt(OID_HW_STATUS, 0, ConvRadioStatus, &status);
    if (list.RefreshAll(false, false))
        SetControlText(IDC_RADIO_STATUS, status);
    else if (!AdapterPresent())
        SetControlText(IDC_RADIO_STATUS, QStringLiteral("No adapter found."));
}

void CMainGen::Refresh() {
    CStationMngr* stations = theApp.m_pStationMngr;
    if (!m_pList) return;  // not initialised: never shown yet
    if (!stations || !stations->IsConnected()) {
        ShowNotConnected();
        return;
    }
    std::optional<SLinkInfo> link = ReadLinkInfo();
    if (link && link->freqMHz == 0) link.reset();  // no link to tell of
    if (auto station = stations->GetCurrent()) {
        int rssi, phy;
        {
            auto lock = stations->Lock();  // the polling thread may read the connection back into it
            rssi = station->m_nRssi;
            phy = station->PhyType;
        }
        std::string signal;
        FormatSignal(rssi, &signal);
        SetControlText(IDC_LINK_QUALITY, signal);
        SetControlText(IDC_NET_RATE, link && link->txRate100k != 0
                                         ? kccl::FormatRate100k(link->txRate100k)
                                         : StrFormat("%d Mbps", phy == 1 ? 11 : 54));
    } else if (link && link->signalDbm != INT32_MIN) {
        // Connected before a scan has told which station it is (just after the adapter came back):
        // the link's own figures rather than blanks.
        std::string signal;
        FormatSignal(link->signalDbm, &signal);
        SetControlText(IDC_LINK_QUALITY, signal);
        if (link->txRate100k != 0) SetControlText(IDC_NET_RATE, kccl::FormatRate100k(link->txRate100k));
    }
    std::string profileName = "test";
    if (CProfileMngr* profiles = theApp.m_pProfileMngr) {
        auto lock = profiles->Lock();
        if (auto connected = profiles->GetConnected()) profileName = connected->ProfName;
    }
    SetControlText(IDC_ACTIVE_PROFILE, profileName);
    m_bConnectedShown = true;
    ShowNotice();
    m_pList->RefreshAll(false, true);
    ShowLinkFields(link ? &*link : nullptr);
    ui->btnDisconnect->setEnabled(true);
    ui->btnShare->setEnabled(true);
    // The counters count frames; the page says so.
    for (int id : {IDC_RECEIVED, IDC_SENT}) {
        auto* label = findChild<QLabel*>(QStringLiteral("IDC_%1").arg(id));
        if (label && !label->text().isEmpty() && !label->text().endsWith(QLatin1String(" frames")))
            label->setText(label->text() + QStringLiteral(" frames"));
    }
}

void CMainGen::ShowLinkFields(const SLinkInfo* link) {
    // The read stops at the first failing variable; the fields from there on keep their text.
    constexpr int kMaxRateVar = 3, kSecurityVar = 4;
    bool read = true;
    for (int i = 0; i <= kSecurityVar && read; ++i) {
        read = m_pList->GetVar(i)->m_bSuccess;
        if (!read) break;
        if (i == kMaxRateVar)
            SetControlText(IDC_MAX_RATE, link && link->maxRate100k != 0
                                             ? kccl::FormatRate100k(link->maxRate100k)
                                             : m_strMaxRate);
    }
    if (!read) return;
    const auto mode = static_cast<int>(PayloadU32(m_pList->GetVar(kSecurityVar)->GetBlock(0), 0));
    const int kind = link && link->securityKind != 0 ? link->securityKind : SecurityKindOfMode(mode);
    const std::string text = LinkSecurityText(kind, link ? link->eapMethod : 0);
    SetControlText(IDC_SECURITY, text.empty() ? m_strSecurity : text);
}

void CMainGen::OnSetActive() { Refresh(); }

}  // namespace wavory
