#include "ui/survey/HiddenNetworkDlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QVBoxLayout>

#include "driver/Converters.h"
#include "survey/Station.h"

namespace wavory {

namespace {

constexpr int kSsidMaxBytes = 32;

struct SKind {
    const char* text;
    EHiddenSecurity security;
};
constexpr SKind kKinds[] = {{"None", EHiddenSecurity::None},
                            {"WEP", EHiddenSecurity::Wep},
                            {"WPA2-Personal", EHiddenSecurity::Wpa2},
                            {"WPA3-Personal", EHiddenSecurity::Wpa3},
                            {"WPA2/WPA3-Personal", EHiddenSecurity::Wpa2Wpa3},
                            {"Enhanced Open", EHiddenSecurity::Owe}};

bool TakesKey(EHiddenSecurity security) {
    return security != EHiddenSecurity::None && security != EHiddenSecurity::Owe;
}

bool IsWepKey(const QString& key) {
    static const QRegularExpression hex(QStringLiteral("^[0-9A-Fa-f]*$"));
    return (key.size() == 10 || key.size() == 26) && hex.match(key).hasMatch();
}

}  // namespace

CHiddenNetworkDlg::CHiddenNetworkDlg(QWidget* parent)
    : QDialog(parent),
      m_pName(new QLineEdit(this)),
      m_pSecurity(new QComboBox(this)),
      m_pKey(new QLineEdit(this)),
      m_pShowKey(new QCheckBox(QStringLiteral("Sho&w key"), this)),
      m_pProblem(new QLabel(this)),
      m_pButtons(new QDialogButtonBox(QDialogButtonBox::Cancel, this)) {
    setWindowTitle(QStringLiteral("Connect to a Hidden Network"));
    setObjectName(QStringLiteral("HiddenNetworkDlg"));
    m_pName->setObjectName(QStringLiteral("editName"));
    m_pSecurity->setObjectName(QStringLiteral("comboSecurity"));
    m_pKey->setObjectName(QStringLiteral("editKey"));
    for (const SKind& kind : kKinds) m_pSecurity->addItem(QString::fromLatin1(kind.text));
    m_pKey->setEchoMode(QLineEdit::Password);
    m_pProblem->setTextFormat(Qt::PlainText);
    m_pProblem->setWordWrap(true);

    auto* form = new QFormLayout;
    auto* nameLabel = new QLabel(QStringLiteral("Network &name (SSID):"), this);
    nameLabel->setBuddy(m_pName);
    auto* securityLabel = new QLabel(QStringLiteral("&Security:"), this);
    securityLabel->setBuddy(m_pSecurity);
    auto* keyLabel = new QLabel(QStringLiteral("&Key or passphrase:"), this);
    keyLabel->setBuddy(m_pKey);
    form->addRow(nameLabel, m_pName);
    form->addRow(securityLabel, m_pSecurity);
    form->addRow(keyLabel, m_pKey);
    form->addRow(QString(), m_pShowKey);

    QPushButton* connectButton =
        m_pButtons->addButton(QStringLiteral("&Connect"), QDialogButtonBox::AcceptRole);
    connectButton->setObjectName(QStringLiteral("btnConnect"));
    connectButton->setDefault(true);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(m_pProblem);
    layout->addWidget(m_pButtons);

    connect(m_pName, &QLineEdit::textChanged, this, &CHiddenNetworkDlg::Update);
    connect(m_pKey, &QLineEdit::textChanged, this, &CHiddenNetworkDlg::Update);
    connect(m_pSecurity, &QComboBox::currentIndexChanged, this, &CHiddenNetworkDlg::Update);
    connect(m_pShowKey, &QCheckBox::toggled, this,
            [this](bool shown) { m_pKey->setEchoMode(shown ? QLineEdit::Normal : QLineEdit::Password); });
    connect(m_pButtons, &QDialogButtonBox::accepted, this, [this] {
        if (Problem().isEmpty()) accept();
    });
    connect(m_pButtons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    m_pSecurity->setCurrentIndex(2);  // WPA2-Personal: what most hidden networks use
    m_pName->setFocus();
    Update();
}

void CHiddenNetworkDlg::SetSecurity(EHiddenSecurity security) {
    for (int i = 0; i < static_cast<int>(std::size(kKinds)); ++i)
        if (kKinds[i].security == security) m_pSecurity->setCurrentIndex(i);
}

EHiddenSecurity CHiddenNetworkDlg::Security() const {
    const int index = m_pSecurity->currentIndex();
    return index >= 0 && index < static_cast<int>(std::size(kKinds)) ? kKinds[index].security
                                                                     : EHiddenSecurity::None;
}

QString CHiddenNetworkDlg::Problem() const {
    const QByteArray name = m_pName->text().toUtf8();
    if (name.isEmpty()) return QStringLiteral("Enter the network's name.");
    if (name.size() > kSsidMaxBytes) return QStringLiteral("A network name has at most 32 bytes.");
    const EHiddenSecurity security = Security();
    const QString key = m_pKey->text();
    if (security == EHiddenSecurity::Wep && !IsWepKey(key))
        return QStringLiteral("A WEP key has 10 or 26 hexadecimal digits.");
    if (TakesKey(security) && security != EHiddenSecurity::Wep && !IsValidPassphrase(key.toStdString()))
        return QStringLiteral("A passphrase has 8 to 63 characters, or 64 hexadecimal digits.");
    if ((security == EHiddenSecurity::Wpa3 || security == EHiddenSecurity::Wpa2Wpa3) && key.size() == 64)
        return QStringLiteral("WPA3 takes the passphrase itself, not 64 hexadecimal digits.");
    return {};
}

std::shared_ptr<CStation> CHiddenNetworkDlg::Settings() const {
    if (!Problem().isEmpty()) return nullptr;
    const EHiddenSecurity security = Security();
    auto settings = HiddenNetwork(m_pName->text().toUtf8().toStdString(), security);
    const std::string key = m_pKey->text().toStdString();
    if (security == EHiddenSecurity::Wep) {
        settings->SecKey[0] = QString::fromStdString(key).toUpper().toStdString();
        settings->SecKeyLen[0] = key.size() == 26 ? 1 : 0;
        settings->ActiveSecKey = 0;
    } else if (TakesKey(security)) {
        settings->WpaPassphrase = key;
    }
    return settings;
}

void CHiddenNetworkDlg::Update() {
    const bool key = TakesKey(Security());
    m_pKey->setEnabled(key);
    m_pShowKey->setEnabled(key);
    m_pKey->setToolTip(key ? QString() : QStringLiteral("This kind of security takes no key"));
    const QString problem = Problem();
    m_pProblem->setText(problem);
    for (QAbstractButton* button : m_pButtons->buttons())
        if (m_pButtons->buttonRole(button) == QDialogButtonBox::AcceptRole)
            button->setEnabled(problem.isEmpty());
}

}  // namespace wavory
