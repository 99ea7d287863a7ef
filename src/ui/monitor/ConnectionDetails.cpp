#include "ui/monitor/ConnectionDetails.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "base/AppBase.h"
#include "driver/AirText.h"
#include "kccl_adapters.h"
#include "monitor/NetDetails.h"
#include "monitor/Signal.h"
#include "radio/Bands.h"
#include "radio/Rates.h"
#include "survey/Connect.h"
#include "survey/Station.h"
#include "survey/StationMngr.h"
#include "ui/shell/PlainText.h"

namespace wavory {

namespace {

QString Joined(const std::vector<std::string>& items) {
    QStringList list;
    for (const std::string& item : items) list << QString::fromStdString(item);
    return list.isEmpty() ? QString::fromLatin1(CConnectionDetails::kNotAvailable)
                          : list.join(QLatin1Char('\n'));
}

QString OrNotAvailable(const std::string& text) {
    return text.empty() ? QString::fromLatin1(CConnectionDetails::kNotAvailable)
                        : QString::fromStdString(text);
}

}  // namespace

CConnectionDetails::CConnectionDetails(QWidget* parent) : QDialog(parent), m_pForm(new QFormLayout) {
    setWindowTitle(QStringLiteral("Connection Details"));
    setObjectName(QStringLiteral("ConnectionDetails"));
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(m_pForm);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    QPushButton* refresh = buttons->addButton(QStringLiteral("&Refresh"), QDialogButtonBox::ActionRole);
    connect(refresh, &QPushButton::clicked, this, &CConnectionDetails::Refresh);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    Refresh();
}

void CConnectionDetails::AddRow(const QString& field, const QString& value) {
    auto* label = new QLabel(value, this);
    // Network names and addresses come from outside: shown as the text they are, and copyable.
    label->setTextFormat(Qt::PlainText);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    label->setObjectName(field);
    m_pForm->addRow(field + QLatin1Char(':'), label);
}

QString CConnectionDetails::Value(const QString& field) const {
    const auto* label = findChild<QLabel*>(field);
    return label ? label->text() : QString();
}

void CConnectionDetails::Refresh() {
    while (m_pForm->rowCount() > 0) m_pForm->removeRow(0);

    CStationMngr* stations = theApp.m_pStationMngr;
    const bool connected = stations && (stations->IsConnected() || theApp.m_bAdHocApplied);
    std::shared_ptr<CStation> current = connected ? stations->GetCurrent() : nullptr;
    std::string ssid, bssid;
    int rssi = 0;
    bool metered = false;
    if (current) {
        auto lock = stations->Lock();
        ssid = current->NetName;
        bssid = current->m_strBssid;
        rssi = current->m_nRssi;
        metered = current->Metered;
    }
    AddRow(QStringLiteral("Network"), connected ? ShownText(ssid) : QStringLiteral("Not Connected"));
    std::optional<SLinkInfo> link;
    if (connected) link = ReadLinkInfo();
    if (link && link->freqMHz == 0) link.reset();
    AddRow(QStringLiteral("BSSID"), OrNotAvailable(bssid == "--" ? std::string() : bssid));
    // How the profile in use chose that access point, where it has a choice (a pin, a band).
    if (current)
        if (const std::string choice = AccessPointChoiceInUse(*current); !choice.empty())
            AddRow(QStringLiteral("Access point"), ShownText(choice));
    AddRow(QStringLiteral("Frequency"),
           link ? QString::fromStdString(
                      ChannelText(kccl::FrequencyToChannel(static_cast<int>(link->freqMHz)),
                                  static_cast<int>(link->freqMHz), static_cast<int>(link->phyType)))
                : QString::fromLatin1(kNotAvailable));
    auto rate = [&](uint32_t value) {
        return link && value ? QString::fromStdString(kccl::FormatRate100k(value))
                             : QString::fromLatin1(kNotAvailable);
    };
    AddRow(QStringLiteral("Send rate"), rate(link ? link->txRate100k : 0));
    AddRow(QStringLiteral("Receive rate"), rate(link ? link->rxRate100k : 0));
    AddRow(QStringLiteral("Max. rate"), rate(link ? link->maxRate100k : 0));
    AddRow(QStringLiteral("Security"),
           link ? OrNotAvailable(SecurityKindText(link->securityKind)) : QString::fromLatin1(kNotAvailable));
    std::string signal;
    if (current) FormatSignalIn(rssi, true, &signal);
    AddRow(QStringLiteral("Signal"), OrNotAvailable(signal));
    // The address the adapter uses, and whether it is a made-up one (a network's privacy setting).
    const std::optional<SAddressInfo> address = ReadAddressInfo();
    AddRow(QStringLiteral("Hardware address"),
           address ? QString::fromStdString(AddressInfoText(*address)) : QString::fromLatin1(kNotAvailable));
    AddRow(QStringLiteral("Metered"),
           current ? QString::fromLatin1(metered ? "yes" : "no") : QString::fromLatin1(kNotAvailable));

    // The IP side belongs to the interface; the simulated adapter has none on this machine.
    char name[KCCL_ADAPTER_NAME_MAX] = {};
    kccl_adapter_in_use(name, sizeof name);
    const std::string ifname = name;
    const SNetDetails ip = ifname.empty() || ifname == "sim" ? SNetDetails{} : ReadNetDetails(ifname);
    AddRow(QStringLiteral("Interface"), OrNotAvailable(ifname == "sim" ? "simulated adapter" : ifname));
    AddRow(QStringLiteral("IPv4 address"), Joined(ip.ipv4));
    AddRow(QStringLiteral("IPv6 address"), Joined(ip.ipv6));
    AddRow(QStringLiteral("Gateway"), OrNotAvailable(ip.gateway));
    AddRow(QStringLiteral("DNS servers"), Joined(ip.found ? ip.dns : std::vector<std::string>{}));
}

}  // namespace wavory
