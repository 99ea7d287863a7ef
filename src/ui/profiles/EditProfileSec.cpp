#include "ui/profiles/EditProfileSec.h"

#include "ui_EditProfileSec.h"

#include <QBoxLayout>
#include <QButtonGroup>
#include <QEvent>
#include <QRegularExpression>

#include "base/StringTable.h"
#include "driver/Converters.h"
#include "driver/Format.h"
#include "driver/NameTables.h"
#include "kccl_oid.h"
#include "profiles/Profile.h"
#include "profiles/ProfileMngr.h"
#include "radio/Eap.h"
#include "shell/Tessal.h"
#include "ui/profiles/EapSection.h"
#include "ui/profiles/EditProfile.h"

namespace wavory {

namespace {

constexpr int kShortKeyDigits = 10;
constexpr int kLongKeyDigits = 26;

// The security mode of each item of the security list from WPA2-Personal on.
struct SModeItem {
    int item;
    int mode;
};
constexpr SModeItem kModeItems[] = {
    {CEditProfileSec::kWpa2Item, KCOM_SECURITY_MODE_WPA2_PERSONAL},
    {CEditProfileSec::kWpa3Item, KCOM_SECURITY_MODE_WPA3_PERSONAL},
    {CEditProfileSec::kWpa2Wpa3Item, KCOM_SECURITY_MODE_WPA2_WPA3_PERSONAL},
    {CEditProfileSec::kOweItem, KCOM_SECURITY_MODE_OWE},
    {CEditProfileSec::kWpa2EnterpriseItem, KCOM_SECURITY_MODE_WPA2_ENTERPRISE},
    {CEditProfileSec::kWpa3EnterpriseItem, KCOM_SECURITY_MODE_WPA3_ENTERPRISE},
};

bool g_bKeepJoinPassword = true;

}  // namespace

bool KeepJoinPassword() { return g_bKeepJoinPassword; }

// 'H' admits one hexadecimal digit; '>' shows letters in upper case.
const QString CEditProfileSec::kShortKeyMask = QStringLiteral(">HH - HH - HH - HH - HH");
const QString CEditProfileSec::kLongKeyMask = QStringLiteral(">HH-HH-HH-HH-HH-HH-HH-HH-HH-HH-HH-HH-HH");

CEditProfileSec::CEditProfileSec(QWidget* parent)
    : CEditProfilePage(parent),
      ui(std::make_unique<Ui::CEditProfileSec>()),
      m_pKeyGroup(new QButtonGroup(this)),
      m_pEap(new CEapSection(this)) {
    ui->setupUi(this);
    // Below the passphrase: the page's own layout gains the section, hidden unless enterprise.
    if (auto* box = qobject_cast<QBoxLayout*>(layout()))
        box->insertWidget(box->count() - 1, m_pEap);
    else
        layout()->addWidget(m_pEap);
    connect(m_pEap, &CEapSection::Modified, this, &CEditProfilePage::Modified);
    m_KeyRows = {
        SKeyRow{ui->IDC_1093, ui->IDC_1108, ui->IDC_1110}, SKeyRow{ui->IDC_1094, ui->IDC_1109, ui->IDC_1112},
        SKeyRow{ui->IDC_1095, ui->IDC_1113, ui->IDC_1114}, SKeyRow{ui->IDC_1096, ui->IDC_1115, ui->IDC_1116}};

    for (int i = 0; i < kKeys; ++i) {
        const SKeyRow& row = m_KeyRows[static_cast<size_t>(i)];
        m_pKeyGroup->addButton(row.radio, i);
        row.edit->setInputMask(kShortKeyMask);
        connect(row.length, &QComboBox::activated, this, [this, i] {
            ApplyKeyMask(i);
            emit Modified();
        });
        connect(row.edit, &QLineEdit::textEdited, this, [this, i] { OnKeyChange(i); });
        row.edit->installEventFilter(this);
        connect(row.radio, &QRadioButton::clicked, this, &CEditProfilePage::Modified);
    }
    connect(ui->IDC_1099, &QComboBox::activated, this, [this] {
        OnSecurityChange();
        emit Modified();
    });
    connect(ui->editPassphrase, &QLineEdit::textEdited, this, &CEditProfilePage::Modified);
    connect(ui->chkShowPassphrase, &QCheckBox::toggled, this, [this](bool show) {
        ui->editPassphrase->setEchoMode(show ? QLineEdit::Normal : QLineEdit::Password);
    });
    connect(ui->IDC_1111, &QCheckBox::clicked, this, [this] {
        EnableKeyControls();
        emit Modified();
    });
    OnSecurityChange();
}

CEditProfileSec::~CEditProfileSec() = default;

void CEditProfileSec::Load(const CProfile& profile) {
    m_nStoredSecType = profile.SecType;
    // The list offers none, WEP, the WPA-Personal modes and Enhanced Open; another security type
    // shows no selection and is kept.
    int item = profile.SecType == 0 || profile.SecType == 1 ? profile.SecType : -1;
    for (const SModeItem& m : kModeItems)
        if (profile.WpaMode == m.mode) item = m.item;
    ui->IDC_1099->setCurrentIndex(item);
    ui->editPassphrase->setText(QString::fromStdString(profile.WpaPassphrase));
    ui->IDC_1111->setChecked(profile.Use802_1);
    m_pEap->Load(profile);
    OnSecurityChange();
    for (int i = 0; i < kKeys; ++i) {
        const auto k = static_cast<size_t>(i);
        const int length = profile.SecKeyLen[k];
        m_KeyRows[k].length->setCurrentIndex(length == 0 || length == 1 ? length : -1);
        ApplyKeyMask(i);
        m_KeyRows[k].edit->setText(QString::fromStdString(profile.SecKey[k]));
    }
    CheckKey(profile.ActiveSecKey >= 0 && profile.ActiveSecKey < kKeys ? profile.ActiveSecKey : -1);
}

int CEditProfileSec::SecurityType() const {
    const int index = ui->IDC_1099->currentIndex();
    if (index >= kWpa2Item) return 0;  // WPA and its relatives stand beside the security type
    return index >= 0 ? index : m_nStoredSecType;
}

int CEditProfileSec::WpaMode() const {
    const int index = ui->IDC_1099->currentIndex();
    for (const SModeItem& m : kModeItems)
        if (index == m.item) return m.mode;
    return 0;
}

void CEditProfileSec::OnSecurityChange() {
    const char* wpa = WpaModeName(WpaMode());
    setWindowTitle(QStringLiteral("Security: (%1)")
                       .arg(QString::fromStdString(wpa ? wpa : NameAt(SECURITY_NAMES, SecurityType()))));
    EnableKeyControls();
}

void CEditProfileSec::EnableKeyControls() {
    const bool enable = SecurityType() != 0 && !ui->IDC_1111->isChecked();
    for (const SKeyRow& row : m_KeyRows) {
        row.radio->setEnabled(enable);
        row.length->setEnabled(enable);
        row.edit->setEnabled(enable);
    }
    ui->IDC_1119->setEnabled(enable);
    ui->IDC_1120->setEnabled(enable);
    // The WEP keys' help says nothing about WPA: not shown there.
    ui->IDC_1120->setVisible(WpaMode() == 0);
    const bool wpa = ModeTakesPassphrase(WpaMode());
    ui->lblPassphrase->setEnabled(wpa);
    ui->editPassphrase->setEnabled(wpa);
    ui->chkShowPassphrase->setEnabled(wpa);
    const bool enterprise = kccl::IsEnterpriseMode(static_cast<uint32_t>(WpaMode()));
    m_pEap->setVisible(enterprise);
    // WEP keys only where WEP is the security: a WPA network's prompt shows what it asks for.
    ui->IDC_1119->setVisible(WpaMode() == 0);
    ui->IDC_1111->setEnabled(!enterprise);
}

QString CEditProfileSec::KeyDigits(int key) const {
    static const QRegularExpression notHex(QStringLiteral("[^0-9A-Fa-f]"));
    return m_KeyRows[static_cast<size_t>(key)].edit->text().remove(notHex);
}

bool CEditProfileSec::IsKeyComplete(int key) const {
    const int length = m_KeyRows[static_cast<size_t>(key)].length->currentIndex();
    if (length != 0 && length != 1) return false;
    return KeyDigits(key).size() == (length == 0 ? kShortKeyDigits : kLongKeyDigits);
}

void CEditProfileSec::ApplyKeyMask(int key) {
    const SKeyRow& row = m_KeyRows[static_cast<size_t>(key)];
    const bool isShort = row.length->currentIndex() == 0;
    const QString digits = KeyDigits(key).left(isShort ? kShortKeyDigits : kLongKeyDigits);
    row.edit->setInputMask(isShort ? kShortKeyMask : kLongKeyMask);
    row.edit->setText(digits);
}

int CEditProfileSec::CheckedKey() const { return m_pKeyGroup->checkedId(); }

void CEditProfileSec::CheckKey(int key) {
    if (key >= 0) {
        m_KeyRows[static_cast<size_t>(key)].radio->setChecked(true);
        return;
    }
    // An exclusive group keeps one button checked; lift that for the moment of clearing.
    m_pKeyGroup->setExclusive(false);
    for (const SKeyRow& row : m_KeyRows) row.radio->setChecked(false);
    m_pKeyGroup->setExclusive(true);
}

void CEditProfileSec::OnKeyChange(int key) {
    const bool complete = IsKeyComplete(key);
    const int checked = CheckedKey();
    if (checked == key && !complete)
        CheckKey(-1);
    else if (checked < 0 && complete)
        CheckKey(key);
    emit Modified();
}

QWidget* CEditProfileSec::Validate() {
    if (const int wpa = WpaMode()) {
        if (kccl::IsEnterpriseMode(static_cast<uint32_t>(wpa))) return m_pEap->Validate();
        if (!ModeTakesPassphrase(wpa)) return nullptr;  // Enhanced Open
        const std::string pass = ui->editPassphrase->text().toStdString();
        const bool hex64 = pass.size() == static_cast<size_t>(kMaxPassphraseLength);
        // SAE takes the passphrase itself: a transition profile may join as WPA3.
        const bool sae = wpa != KCOM_SECURITY_MODE_WPA2_PERSONAL;
        if (IsValidPassphrase(pass) && !(sae && hex64)) return nullptr;
        theApp.ShowMessage(sae && hex64
                               ? "WPA3 takes the passphrase itself, not 64 hexadecimal digits."
                               : "The passphrase must have 8 to 63 characters (letters, digits and signs "
                                 "without accents), or be 64 hexadecimal digits.",
                           EMsgIcon::Warning);
        return ui->editPassphrase;
    }
    if (SecurityType() != 1 || ui->IDC_1111->isChecked()) return nullptr;
    const int checked = CheckedKey();
    if (checked >= 0 && IsKeyComplete(checked)) return nullptr;
    // Which key falls short, and by how much: the chosen one, else the first one begun; or that
    // none is chosen.
    int shortKey = checked;
    bool anyComplete = false;
    for (int i = 0; i < kKeys; ++i) {
        anyComplete = anyComplete || IsKeyComplete(i);
        if (shortKey < 0 && !KeyDigits(i).isEmpty() && !IsKeyComplete(i)) shortKey = i;
    }
    std::string message = LoadStringId(IDS_DEFINE_SECURITY_KEY);
    if (shortKey >= 0) {
        const int needed = m_KeyRows[static_cast<size_t>(shortKey)].length->currentIndex() == 1
                               ? kLongKeyDigits
                               : kShortKeyDigits;
        message += StrFormat("\nKey %d has %d of its %d hexadecimal digits.", shortKey + 1,
                             static_cast<int>(KeyDigits(shortKey).size()), needed);
    } else if (anyComplete) {
        message += "\nChoose the key to use with the button beside it.";
    }
    theApp.ShowMessage(message, EMsgIcon::Warning);
    return shortKey >= 0 ? static_cast<QWidget*>(m_KeyRows[static_cast<size_t>(shortKey)].edit)
                         : static_cast<QWidget*>(m_KeyRows[0].radio);
}

void CEditProfileSec::FocusKeyField() {
    // An enterprise network asks for an identity and a password rather than a key.
    if (m_pEap && m_pEap->isVisibleTo(this)) {
        m_pEap->FocusFirstField();
        return;
    }
    if (ui->editPassphrase->isEnabled()) {
        ui->editPassphrase->setFocus(Qt::OtherFocusReason);
        ui->editPassphrase->selectAll();
        return;
    }
    const int checked = CheckedKey();
    const SKeyRow& row = m_KeyRows[static_cast<size_t>(checked >= 0 ? checked : 0)];
    if (row.edit->isEnabled()) row.edit->setFocus(Qt::OtherFocusReason);
}

bool CEditProfileSec::eventFilter(QObject* watched, QEvent* event) {
    auto* edit = qobject_cast<QLineEdit*>(watched);
    const QEvent::Type type = event->type();
    if (edit && (type == QEvent::MouseButtonRelease || type == QEvent::FocusIn)) {
        // A click into the mask would leave the cursor between blanks, and typing there spreads the
        // digits over the wrong places: the cursor goes to the end of the digits entered.
        static const QRegularExpression hex(QStringLiteral("[0-9A-Fa-f]"));
        const QString text = edit->displayText();
        int end = 0;
        for (int i = 0; i < text.size(); ++i)
            if (hex.match(text.mid(i, 1)).hasMatch()) end = i + 1;
        if (edit->cursorPosition() > end) {
            const bool result = CEditProfilePage::eventFilter(watched, event);
            QMetaObject::invokeMethod(
                edit, [edit, end] { edit->setCursorPosition(end); }, Qt::QueuedConnection);
            edit->setCursorPosition(end);
            return result;
        }
    }
    return CEditProfilePage::eventFilter(watched, event);
}

bool CEditProfileSec::Apply(CProfile& profile) {
    auto lock = LockProfiles();
    profile.SecType = SecurityType();
    profile.WpaMode = WpaMode();
    // Kept whatever the choice, as the keys are, so that switching back finds it.
    profile.WpaPassphrase = ui->editPassphrase->text().toStdString();
    profile.Use802_1 = ui->IDC_1111->isChecked();
    if (kccl::IsEnterpriseMode(static_cast<uint32_t>(profile.WpaMode))) {
        m_pEap->Apply(profile);
        // A join's settings carry the password for the join; the choice says whether the stored
        // profile keeps it. A stored profile edited here keeps it only when asked to.
        if (g_strEditProfile == CProfileMngr::kEditStation)
            g_bKeepJoinPassword = m_pEap->KeepPassword();
        else if (!m_pEap->KeepPassword())
            profile.EapPassword.clear();
    }
    profile.ActiveSecKey = CheckedKey();
    // Keys are stored whatever the security type, so switching WEP off and on again keeps them.
    for (int i = 0; i < kKeys; ++i) {
        const auto k = static_cast<size_t>(i);
        const int length = m_KeyRows[k].length->currentIndex();
        if (length >= 0) profile.SecKeyLen[k] = length;
        profile.SecKey[k] = KeyDigits(i).toStdString();
    }
    return true;
}

}  // namespace wavory
