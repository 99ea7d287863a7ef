#include "ui/profiles/EditProfileNet.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QVBoxLayout>

#include "kccl_oid.h"
#include "profiles/NetProfile.h"
#include "profiles/Profile.h"
#include "radio/NetSettings.h"
#include "shell/Tessal.h"

namespace wavory {

namespace {

QLineEdit* NewEdit(QWidget* parent, const QString& name, const QString& placeholder) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(name);
    edit->setPlaceholderText(placeholder);
    return edit;
}

QString Q(const std::string& s) { return QString::fromStdString(s); }

std::string Trimmed(const QLineEdit* edit) { return edit->text().trimmed().toStdString(); }

}  // namespace

CEditProfileNet::CEditProfileNet(QWidget* parent) : CEditProfilePage(parent) {
    setObjectName(QStringLiteral("EditProfileNet"));
    auto* layout = new QVBoxLayout(this);

    auto* privacy = new QGroupBox(tr("Privacy"), this);
    auto* privacyForm = new QFormLayout(privacy);
    m_pMac = new QComboBox(privacy);
    m_pMac->setObjectName(QStringLiteral("macMode"));
    m_pMac->addItem(tr("As in the preferences"), KCOM_MAC_NOT_TOLD);
    m_pMac->addItem(tr("The device's own"), KCOM_MAC_DEVICE);
    m_pMac->addItem(tr("Random, the same for this network"), KCOM_MAC_STABLE);
    m_pMac->addItem(tr("Random, new at each join"), KCOM_MAC_RANDOM);
    privacyForm->addRow(tr("&Hardware address:"), m_pMac);
    m_pMetered = new QCheckBox(tr("&Metered network (charged by volume)"), privacy);
    m_pMetered->setObjectName(QStringLiteral("metered"));
    privacyForm->addRow(QString(), m_pMetered);
    layout->addWidget(privacy);

    auto* addresses = new QGroupBox(tr("Fixed addresses (empty: automatic)"), this);
    auto* form = new QFormLayout(addresses);
    m_pIpv4 = NewEdit(addresses, QStringLiteral("ipv4Address"), QStringLiteral("192.0.2.10/24"));
    form->addRow(tr("IPv&4 address:"), m_pIpv4);
    m_pGateway4 = NewEdit(addresses, QStringLiteral("ipv4Gateway"), QStringLiteral("192.0.2.1"));
    form->addRow(tr("IPv4 &gateway:"), m_pGateway4);
    m_pIpv6 = NewEdit(addresses, QStringLiteral("ipv6Address"), QStringLiteral("2001:db8::10/64"));
    form->addRow(tr("IPv&6 address:"), m_pIpv6);
    m_pGateway6 = NewEdit(addresses, QStringLiteral("ipv6Gateway"), QStringLiteral("2001:db8::1"));
    form->addRow(tr("IPv6 ga&teway:"), m_pGateway6);
    m_pDns = NewEdit(addresses, QStringLiteral("dnsServers"), QStringLiteral("192.0.2.53 2001:db8::53"));
    form->addRow(tr("&DNS servers:"), m_pDns);
    auto* note =
        new QLabel(tr("Fixed addresses and DNS servers are applied where NetworkManager runs the adapter; "
                      "elsewhere the join says they were not."),
                   addresses);
    note->setWordWrap(true);
    form->addRow(note);
    layout->addWidget(addresses);

    auto* access = new QGroupBox(tr("Access point"), this);
    auto* accessForm = new QFormLayout(access);
    m_pPreferHigh = new QCheckBox(tr("&Prefer 5/6 GHz unless its signal is below"), access);
    m_pPreferHigh->setObjectName(QStringLiteral("preferHighBand"));
    m_pBandFloor = new QSpinBox(access);
    m_pBandFloor->setObjectName(QStringLiteral("bandFloor"));
    m_pBandFloor->setRange(KCOM_BAND_FLOOR_MIN, KCOM_BAND_FLOOR_MAX);
    m_pBandFloor->setSuffix(tr(" dBm"));
    accessForm->addRow(m_pPreferHigh, m_pBandFloor);
    m_pPin = NewEdit(access, QStringLiteral("pinnedBssid"), tr("empty: any access point of the network"));
    accessForm->addRow(tr("&Stay on access point (BSSID):"), m_pPin);
    auto* accessNote = new QLabel(tr("A pinned access point out of range fails the join rather than "
                                     "joining another. iwd cannot keep a pin, and ranks the bands itself."),
                                  access);
    accessNote->setWordWrap(true);
    accessForm->addRow(accessNote);
    layout->addWidget(access);
    layout->addStretch();

    connect(m_pMac, &QComboBox::activated, this, &CEditProfilePage::Modified);
    connect(m_pMetered, &QCheckBox::clicked, this, &CEditProfilePage::Modified);
    for (QLineEdit* edit : {m_pIpv4, m_pGateway4, m_pIpv6, m_pGateway6, m_pDns, m_pPin})
        connect(edit, &QLineEdit::textEdited, this, &CEditProfilePage::Modified);
    // The floor belongs to the preference: it is greyed out without it.
    connect(m_pPreferHigh, &QCheckBox::toggled, m_pBandFloor, &QWidget::setEnabled);
    connect(m_pPreferHigh, &QCheckBox::clicked, this, &CEditProfilePage::Modified);
    connect(m_pBandFloor, &QSpinBox::valueChanged, this, &CEditProfilePage::Modified);
}

void CEditProfileNet::Load(const CProfile& p) {
    const int at = m_pMac->findData(p.MacAddress);
    m_pMac->setCurrentIndex(at >= 0 ? at : 0);
    m_pMetered->setChecked(p.Metered);
    m_pIpv4->setText(Q(p.IPv4Address));
    m_pGateway4->setText(Q(p.IPv4Gateway));
    m_pIpv6->setText(Q(p.IPv6Address));
    m_pGateway6->setText(Q(p.IPv6Gateway));
    m_pDns->setText(Q(p.DnsServers));
    m_pPreferHigh->setChecked(p.PreferHighBand);
    m_pBandFloor->setEnabled(p.PreferHighBand);
    // A floor out of range (a hand-edited store) shows as the nearest the preference takes; showing
    // it is no change of the user's.
    const QSignalBlocker quiet(m_pBandFloor);
    m_pBandFloor->setValue(p.BandFloor);
    m_pPin->setText(Q(p.PinnedBssid));
}

void CEditProfileNet::WriteInto(CProfile& p) const {
    p.MacAddress = m_pMac->currentData().toInt();
    p.Metered = m_pMetered->isChecked();
    p.IPv4Address = Trimmed(m_pIpv4);
    p.IPv4Gateway = Trimmed(m_pGateway4);
    p.IPv6Address = Trimmed(m_pIpv6);
    p.IPv6Gateway = Trimmed(m_pGateway6);
    p.DnsServers = Trimmed(m_pDns);
    p.PreferHighBand = m_pPreferHigh->isChecked();
    p.BandFloor = m_pBandFloor->value();
    // Kept as the lists show BSSIDs; text that is none stays as typed, for the check to name it.
    const std::string pin = Trimmed(m_pPin);
    const auto address = kccl::ParseMac(pin);
    p.PinnedBssid = address ? kccl::MacText(*address) : pin;
}

QWidget* CEditProfileNet::Validate() {
    CProfile check("", false);
    WriteInto(check);
    const std::string problem = CheckNetLimits(check);
    if (problem.empty()) return nullptr;
    theApp.ShowMessage(problem, EMsgIcon::Warning);
    // The message starts with the value's name: the field to correct.
    const std::pair<const char*, QLineEdit*> fields[] = {
        {"\"IPv4Address\"", m_pIpv4},     {"\"IPv4Gateway\"", m_pGateway4}, {"\"IPv6Address\"", m_pIpv6},
        {"\"IPv6Gateway\"", m_pGateway6}, {"\"DnsServers\"", m_pDns},       {"\"PinnedBssid\"", m_pPin}};
    for (const auto& [name, edit] : fields)
        if (problem.rfind(name, 0) == 0) return edit;
    return m_pMac;
}

bool CEditProfileNet::Apply(CProfile& profile) {
    auto lock = LockProfiles();
    WriteInto(profile);
    return true;
}

}  // namespace wavory
