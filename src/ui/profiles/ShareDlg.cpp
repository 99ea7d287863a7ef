#include "ui/profiles/ShareDlg.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "profiles/Profile.h"
#include "profiles/WifiUri.h"
#include "ui/shell/PlainDialogs.h"
#include "ui/shell/PlainText.h"
#include "ui/shell/QrCode.h"

namespace wavory {

namespace {

// What stands for a secret not shown: as many dots whatever its length.
constexpr int kHiddenDots = 10;

QString Sentence(const std::string& reason) {
    QString text = QString::fromStdString(reason);
    if (!text.isEmpty()) text[0] = text[0].toUpper();
    return text + QLatin1Char('.');
}

}  // namespace

CShareDlg::ConfirmHook CShareDlg::s_fnConfirmShow = [](QWidget* parent, const QString& question) {
    return PlainQuestion(parent, QStringLiteral("Share Network"), question);
};

CShareDlg::CShareDlg(const CProfile& profile, QWidget* parent)
    : QDialog(parent),
      m_strSsid(profile.NetName),
      m_pCode(new CQrCodeView(this)),
      m_pNotice(new QLabel(this)),
      m_pName(new QLabel(this)),
      m_pSecret(new QLabel(this)),
      m_pShow(new QPushButton(QStringLiteral("&Show Passphrase"), this)) {
    setWindowTitle(QStringLiteral("Share Network"));
    auto* layout = new QVBoxLayout(this);
    auto* intro =
        new QLabel(QStringLiteral("Scan the code with a phone's camera to join the network."), this);
    intro->setWordWrap(true);
    layout->addWidget(intro);
    layout->addWidget(m_pCode, 1);
    m_pNotice->setWordWrap(true);
    layout->addWidget(m_pNotice);
    auto* fields = new QFormLayout;
    fields->addRow(QStringLiteral("Network:"), m_pName);
    auto* secretRow = new QHBoxLayout;
    secretRow->addWidget(m_pSecret, 1);
    secretRow->addWidget(m_pShow);
    auto* secretCaption = new QLabel(QStringLiteral("Passphrase:"), this);
    fields->addRow(secretCaption, secretRow);
    layout->addLayout(fields);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);

    m_pName->setText(ShownText(m_strSsid));
    m_pName->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_pSecret->setTextInteractionFlags(Qt::TextSelectableByMouse);
    // Enter closes the dialog; showing the secret takes a deliberate click.
    m_pShow->setAutoDefault(false);
    connect(m_pShow, &QPushButton::clicked, this, &CShareDlg::ShowSecret);

    std::string error;
    m_strUri = WriteWifiUri(profile, &error);
    WifiUri parsed;
    if (!m_strUri.empty() && ParseWifiUri(m_strUri, &parsed, nullptr)) m_strSecret = parsed.passphrase;
    m_bWep = parsed.type == "WEP";
    if (m_bWep) {
        secretCaption->setText(QStringLiteral("WEP key:"));
        m_pShow->setText(QStringLiteral("&Show Key"));
    }
    if (!m_strUri.empty() && !m_pCode->SetText(m_strUri)) {
        m_strUri.clear();
        error = "the network's settings are too long for a QR code";
    }
    if (m_strUri.empty()) {
        // No code: say why (an enterprise network, a passphrase that is not stored); the secret,
        // whatever the profile holds, is not offered either.
        intro->hide();
        m_pCode->hide();
        m_strSecret.clear();
        m_pNotice->setText(Sentence(error));
    } else {
        m_pNotice->hide();
    }
    if (m_strSecret.empty()) {
        m_pSecret->setText(m_strUri.empty() ? QString() : QStringLiteral("None: an open network"));
        m_pShow->hide();
        if (m_strUri.empty()) {
            secretCaption->hide();
            m_pSecret->hide();
        }
    } else {
        m_pSecret->setText(QString(kHiddenDots, QChar(0x2022)));
    }
    UsePlainTextLabels(this);
}

CShareDlg::~CShareDlg() = default;

void CShareDlg::ShowSecret() {
    if (m_strSecret.empty() || !m_pShow->isEnabled()) return;
    const QString question =
        QStringLiteral(
            "Show the %1 of \u201C%2\u201D on the screen? Anyone who can see the screen can read it.")
            .arg(m_bWep ? QStringLiteral("WEP key") : QStringLiteral("passphrase"), ShownText(m_strSsid));
    if (!s_fnConfirmShow || !s_fnConfirmShow(this, question)) return;
    m_pSecret->setText(ShownText(m_strSecret));
    m_pShow->setEnabled(false);
}

}  // namespace wavory
