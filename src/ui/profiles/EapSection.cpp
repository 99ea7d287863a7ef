#include "ui/profiles/EapSection.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "kccl_oid.h"
#include "profiles/EapProfile.h"
#include "profiles/Profile.h"
#include "shell/Tessal.h"

namespace wavory {

namespace {

QLineEdit* NewEdit(QWidget* parent, const QString& name, bool secret = false) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(name);
    if (secret) edit->setEchoMode(QLineEdit::Password);
    return edit;
}

QString Q(const std::string& s) { return QString::fromStdString(s); }

}  // namespace

CEapSection::CEapSection(QWidget* parent) : QGroupBox(tr("Enterprise (802.1X)"), parent) {
    setObjectName(QStringLiteral("eapSection"));
    auto* form = new QFormLayout(this);
    m_pMethod = new QComboBox(this);
    m_pMethod->setObjectName(QStringLiteral("eapMethod"));
    m_pMethod->addItem(QStringLiteral("PEAP"), KCOM_EAP_PEAP);
    m_pMethod->addItem(QStringLiteral("TTLS"), KCOM_EAP_TTLS);
    m_pMethod->addItem(QStringLiteral("TLS"), KCOM_EAP_TLS);
    m_pMethod->addItem(QStringLiteral("PWD"), KCOM_EAP_PWD);
    form->addRow(tr("&Method:"), m_pMethod);
    m_pPhase2 = new QComboBox(this);
    m_pPhase2->setObjectName(QStringLiteral("eapPhase2"));
    form->addRow(tr("&Inner method:"), m_pPhase2);
    m_pIdentity = NewEdit(this, QStringLiteral("eapIdentity"));
    form->addRow(tr("I&dentity:"), m_pIdentity);
    m_pAnonymous = NewEdit(this, QStringLiteral("eapAnonymousIdentity"));
    m_pAnonymous->setPlaceholderText(tr("optional, e.g. anonymous@example.org"));
    form->addRow(tr("&Anonymous identity:"), m_pAnonymous);

    auto* caRow = new QHBoxLayout;
    m_pCaCert = NewEdit(this, QStringLiteral("eapCaCert"));
    m_pCaBrowse = new QPushButton(tr("Browse…"), this);
    caRow->addWidget(m_pCaCert);
    caRow->addWidget(m_pCaBrowse);
    // A row of a layout gets no buddy from the form: the label is made here, so that its Alt key
    // works (and its ampersand is not shown).
    auto* caLabel = new QLabel(tr("&CA certificate:"), this);
    caLabel->setBuddy(m_pCaCert);
    form->addRow(caLabel, caRow);
    m_pSystemCa = new QCheckBox(tr("Use the system's CA certificates"), this);
    m_pSystemCa->setObjectName(QStringLiteral("eapSystemCa"));
    form->addRow(QString(), m_pSystemCa);
    m_pDomain = NewEdit(this, QStringLiteral("eapDomain"));
    m_pDomain->setPlaceholderText(tr("e.g. radius.example.org"));
    form->addRow(tr("Server &name:"), m_pDomain);
    m_pNoCaCheck =
        new QCheckBox(tr("Do not check the server (anyone nearby could collect the password)"), this);
    m_pNoCaCheck->setObjectName(QStringLiteral("eapNoCaCheck"));
    form->addRow(QString(), m_pNoCaCheck);

    auto fileRow = [this, form](QLineEdit*& edit, const QString& name, const QString& label,
                                const QString& title) {
        auto* row = new QHBoxLayout;
        edit = NewEdit(this, name);
        auto* browse = new QPushButton(tr("Browse…"), this);
        row->addWidget(edit);
        row->addWidget(browse);
        form->addRow(label, row);
        QLineEdit* target = edit;
        connect(browse, &QPushButton::clicked, this, [this, target, title] { Browse(target, title); });
    };
    fileRow(m_pClientCert, QStringLiteral("eapClientCert"), tr("Client certificate:"),
            tr("Client Certificate"));
    fileRow(m_pPrivateKey, QStringLiteral("eapPrivateKey"), tr("Private key:"), tr("Private Key"));
    m_pKeyPassword = NewEdit(this, QStringLiteral("eapKeyPassword"), true);
    form->addRow(tr("Key password:"), m_pKeyPassword);
    m_pPassword = NewEdit(this, QStringLiteral("eapPassword"), true);
    m_pPassword->setPlaceholderText(tr("asked for when connecting if left empty"));
    form->addRow(tr("&Password:"), m_pPassword);
    m_pStore = new QCheckBox(tr("&Keep the password in the profile"), this);
    m_pStore->setObjectName(QStringLiteral("eapStorePassword"));
    m_pStore->setChecked(true);
    form->addRow(QString(), m_pStore);

    connect(m_pMethod, &QComboBox::activated, this, [this] {
        OnMethodChange();
        emit Modified();
    });
    connect(m_pCaBrowse, &QPushButton::clicked, this, [this] { Browse(m_pCaCert, tr("CA Certificate")); });
    connect(m_pSystemCa, &QCheckBox::toggled, this, [this](bool on) {
        m_pCaCert->setEnabled(!on);
        m_pCaBrowse->setEnabled(!on);
    });
    for (QLineEdit* edit : {m_pIdentity, m_pAnonymous, m_pCaCert, m_pDomain, m_pClientCert, m_pPrivateKey,
                            m_pKeyPassword, m_pPassword})
        connect(edit, &QLineEdit::textEdited, this, &CEapSection::Modified);
    for (QCheckBox* box : {m_pSystemCa, m_pNoCaCheck, m_pStore})
        connect(box, &QCheckBox::clicked, this, &CEapSection::Modified);
    connect(m_pPhase2, &QComboBox::activated, this, &CEapSection::Modified);
    OnMethodChange();
}

bool CEapSection::KeepPassword() const { return m_pStore->isChecked(); }

void CEapSection::FocusFirstField() {
    QLineEdit* field = m_pIdentity;
    if (!m_pIdentity->text().isEmpty() && m_pPassword->isEnabled() && m_pPassword->text().isEmpty())
        field = m_pPassword;
    field->setFocus(Qt::OtherFocusReason);
}

int CEapSection::MethodValue() const { return m_pMethod->currentData().toInt(); }

int CEapSection::Phase2Value() const {
    return m_pPhase2->currentIndex() < 0 ? 0 : m_pPhase2->currentData().toInt();
}

void CEapSection::OnMethodChange() {
    const int method = MethodValue();
    const int kept = Phase2Value();
    m_pPhase2->clear();
    for (int inner = KCOM_PHASE2_MSCHAPV2; inner <= KCOM_PHASE2_CHAP; ++inner)
        if (kccl::EapPhase2Fits(method, inner))
            m_pPhase2->addItem(QString::fromUtf8(kccl::EapPhase2Name(inner)), inner);
    const int at = m_pPhase2->findData(kept);
    m_pPhase2->setCurrentIndex(at >= 0 ? at : 0);
    m_pPhase2->setEnabled(m_pPhase2->count() > 0);
    const bool tls = method == KCOM_EAP_TLS;
    m_pClientCert->setEnabled(tls);
    m_pPrivateKey->setEnabled(tls);
    m_pKeyPassword->setEnabled(tls);
    m_pPassword->setEnabled(!tls);
    m_pAnonymous->setEnabled(!tls);
}

void CEapSection::Browse(QLineEdit* edit, const QString& title) {
    const QString file =
        QFileDialog::getOpenFileName(this, title, edit->text(),
                                     tr("Certificates and keys (*.pem *.crt *.cer *.der *.key *.p12);;"
                                        "All files (*)"));
    if (file.isEmpty()) return;
    edit->setText(file);
    emit Modified();
}

void CEapSection::Load(const CProfile& p) {
    const int at = m_pMethod->findData(p.EapMethod);
    m_pMethod->setCurrentIndex(at >= 0 ? at : 0);
    OnMethodChange();
    const int inner = m_pPhase2->findData(p.EapPhase2);
    if (inner >= 0) m_pPhase2->setCurrentIndex(inner);
    m_pIdentity->setText(Q(p.EapIdentity));
    m_pAnonymous->setText(Q(p.EapAnonIdentity));
    m_pCaCert->setText(Q(p.EapCaCert));
    m_pSystemCa->setChecked(p.EapSystemCa);
    m_pDomain->setText(Q(p.EapDomain));
    m_pNoCaCheck->setChecked(p.EapNoCaCheck);
    m_pClientCert->setText(Q(p.EapClientCert));
    m_pPrivateKey->setText(Q(p.EapPrivateKey));
    m_pKeyPassword->setText(Q(p.EapKeyPassword));
    m_pPassword->setText(Q(p.EapPassword));
}

QWidget* CEapSection::Validate() {
    CProfile check("", false);
    check.WpaMode = KCOM_SECURITY_MODE_WPA2_ENTERPRISE;
    Apply(check);
    if (check.EapIdentity.empty()) {
        theApp.ShowMessage("Enter the identity (user name) the network knows you by.", EMsgIcon::Warning);
        return m_pIdentity;
    }
    if (check.EapMethod == KCOM_EAP_TLS && (check.EapClientCert.empty() || check.EapPrivateKey.empty())) {
        theApp.ShowMessage("TLS needs a client certificate and its private key.", EMsgIcon::Warning);
        return check.EapClientCert.empty() ? m_pClientCert : m_pPrivateKey;
    }
    if (std::string problem = EapJoinProblem(check); !problem.empty()) {
        // The server check is turned off only by ticking the box, never by leaving fields empty.
        theApp.ShowMessage(problem, EMsgIcon::Warning);
        return problem == kServerCheckRisk ? static_cast<QWidget*>(m_pCaCert) : m_pIdentity;
    }
    return nullptr;
}

void CEapSection::Apply(CProfile& p) const {
    p.EapMethod = MethodValue();
    p.EapPhase2 = Phase2Value();
    p.EapIdentity = m_pIdentity->text().toStdString();
    p.EapAnonIdentity = m_pAnonymous->text().toStdString();
    p.EapSystemCa = m_pSystemCa->isChecked();
    p.EapCaCert = p.EapSystemCa ? std::string() : m_pCaCert->text().trimmed().toStdString();
    p.EapDomain = m_pDomain->text().trimmed().toStdString();
    p.EapNoCaCheck = m_pNoCaCheck->isChecked();
    p.EapClientCert = m_pClientCert->text().trimmed().toStdString();
    p.EapPrivateKey = m_pPrivateKey->text().trimmed().toStdString();
    p.EapKeyPassword = m_pKeyPassword->text().toStdString();
    p.EapPassword = m_pPassword->text().toStdString();
}

}  // namespace wavory
