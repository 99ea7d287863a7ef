#include "ui/profiles/EditProfileAdvGen.h"

#include "ui_EditProfileAdvGen.h"

#include <QSignalBlocker>

#include "base/StringTable.h"
#include "driver/Format.h"
#include "profiles/Profile.h"
#include "shell/Tessal.h"
#include "ui/profiles/EditProfile.h"

namespace wavory {

CEditProfileAdvGen::CEditProfileAdvGen(QWidget* parent)
    : CEditProfilePage(parent), ui(std::make_unique<Ui::CEditProfileAdvGen>()) {
    ui->setupUi(this);
    ConnectSliderAndEdit(ui->IDC_1131, ui->IDC_1123, &m_bRtsTouched);
    ConnectSliderAndEdit(ui->IDC_1129, ui->IDC_1122, &m_bFragTouched);
    connect(ui->IDC_1124, &QCheckBox::clicked, this, [this] {
        EnableRtsControls();
        emit Modified();
    });
    connect(ui->IDC_1130, &QCheckBox::clicked, this, [this] {
        EnableFragControls();
        emit Modified();
    });
    connect(ui->IDC_1126, &QComboBox::activated, this, [this] {
        FillRates(0);
        emit Modified();
    });
    connect(ui->IDC_1127, &QComboBox::activated, this, &CEditProfilePage::Modified);
    connect(ui->IDC_1128, &QComboBox::activated, this, &CEditProfilePage::Modified);
    connect(ui->IDC_1125, &QCheckBox::clicked, this, &CEditProfilePage::Modified);
    FillRates(0);
    EnableRtsControls();
    EnableFragControls();
    if (g_bEditConnection) {
        for (QWidget* w : {static_cast<QWidget*>(ui->IDC_1126), static_cast<QWidget*>(ui->IDC_1175),
                           static_cast<QWidget*>(ui->IDC_1127), static_cast<QWidget*>(ui->IDC_1174)})
            w->setEnabled(false);
    }
}

CEditProfileAdvGen::~CEditProfileAdvGen() = default;

void CEditProfileAdvGen::ConnectSliderAndEdit(QSlider* slider, QLineEdit* edit, bool* touched) {
    // Moving the slider writes the number; typing a number moves the slider, leaving the typed text
    // as it is (the check on confirming reports a number out of range).
    connect(slider, &QSlider::valueChanged, this,
            [edit](int value) { edit->setText(QString::number(value)); });
    connect(slider, &QSlider::actionTriggered, this, [this, touched] {
        *touched = true;
        emit Modified();
    });
    connect(edit, &QLineEdit::textEdited, this, [this, slider, touched](const QString& text) {
        *touched = true;
        bool isNumber = false;
        const int value = text.trimmed().toInt(&isNumber);
        if (isNumber) {
            const QSignalBlocker block(slider);
            slider->setValue(value);
        }
        emit Modified();
    });
}

void CEditProfileAdvGen::Load(const CProfile& profile) {
    m_bRtsTouched = false;
    m_bFragTouched = false;
    {
        // The fragmentation controls are hidden: the number keeps the stored value (within what
        // the edit takes), not the slider's.
        const QSignalBlocker block(ui->IDC_1129);
        ui->IDC_1129->setValue(profile.MaxFragment);
    }
    ui->IDC_1122->setText(QString::number(profile.MaxFragment));
    ui->IDC_1130->setChecked(profile.UseFragmentation);
    EnableFragControls();

    // The RTS number shows the stored value, also one outside the slider's range (such as the
    // default 0); the slider stands at the nearest position it offers.
    {
        const QSignalBlocker block(ui->IDC_1131);
        ui->IDC_1131->setValue(profile.RTSThreshold);
    }
    ui->IDC_1123->setText(QString::number(profile.RTSThreshold));
    ui->IDC_1124->setChecked(profile.UseRTS);
    EnableRtsControls();

    ui->IDC_1126->setCurrentIndex(
        profile.WrLessMode >= 0 && profile.WrLessMode < ui->IDC_1126->count() ? profile.WrLessMode : -1);
    FillRates(profile.MaxNetRate);
    ui->IDC_1128->setCurrentIndex(
        profile.MaxTxPower >= 0 && profile.MaxTxPower < ui->IDC_1128->count() ? profile.MaxTxPower : -1);
    ui->IDC_1125->setChecked(profile.ShortPreamble);
}

QStringList CEditProfileAdvGen::RateLabels(int wirelessMode) {
    switch (wirelessMode) {
        case 1:  // (802.11) a
            return {"6", "9", "12", "18", "24", "36", "54"};
        case 3:  // (802.11) b
            return {"1", "2", "5.5", "6", "9", "11"};
        default:
            return {"1", "2", "5.5", "6", "9", "11", "12", "18", "24", "36", "54"};
    }
}

int CEditProfileAdvGen::RateValue(const QString& label) { return qRound(label.toDouble() * kRateUnit); }

void CEditProfileAdvGen::FillRates(int value) {
    ui->IDC_1127->clear();
    const QStringList labels = RateLabels(ui->IDC_1126->currentIndex());
    ui->IDC_1127->addItems(labels);
    int row = 0;
    for (int i = 0; i < labels.size(); ++i) {
        if (RateValue(labels[i]) == value) {
            row = i;
            break;
        }
    }
    ui->IDC_1127->setCurrentIndex(row);
}

void CEditProfileAdvGen::EnableRtsControls() {
    const bool enable = ui->IDC_1124->isChecked();
    for (QWidget* w : {static_cast<QWidget*>(ui->IDC_1131), static_cast<QWidget*>(ui->IDC_1123),
                       static_cast<QWidget*>(ui->IDC_1132), static_cast<QWidget*>(ui->IDC_1133)})
        w->setEnabled(enable);
}

void CEditProfileAdvGen::EnableFragControls() {
    const bool enable = ui->IDC_1130->isChecked();
    for (QWidget* w : {static_cast<QWidget*>(ui->IDC_1129), static_cast<QWidget*>(ui->IDC_1122),
                       static_cast<QWidget*>(ui->IDC_1134), static_cast<QWidget*>(ui->IDC_1135)})
        w->setEnabled(enable);
}

bool CEditProfileAdvGen::CheckNumber(QLineEdit* edit, int min, int max, int* value) {
    bool isNumber = false;
    *value = edit->text().trimmed().toInt(&isNumber);
    if (isNumber && *value >= min && *value <= max) return true;
    theApp.ShowMessage(isNumber ? StrFormat(LoadStringId(IDS_PARSE_INT_RANGE).c_str(), min, max)
                                : LoadStringId(IDS_PARSE_INT),
                       EMsgIcon::Warning);
    edit->selectAll();
    return false;
}

QWidget* CEditProfileAdvGen::Validate() {
    // The edits' own range checks come first, whether or not the setting is in use.
    int frag = 0;
    int rts = 0;
    // A number the user has not touched is the stored one and is kept as it is.
    if (m_bFragTouched && !CheckNumber(ui->IDC_1122, kFragEditMin, kFragEditMax, &frag)) return ui->IDC_1122;
    if (m_bRtsTouched && !CheckNumber(ui->IDC_1123, kRtsEditMin, kRtsEditMax, &rts)) return ui->IDC_1123;
    if (!m_bFragTouched) frag = ui->IDC_1122->text().trimmed().toInt();
    if (!m_bRtsTouched) rts = ui->IDC_1123->text().trimmed().toInt();
    if (ui->IDC_1130->isChecked() && (frag < kFragMin || frag > kFragMax)) {
        theApp.ShowMessage(LoadStringId(IDS_MAX_FRAGMENTATION), EMsgIcon::Warning);
        return ui->IDC_1122;
    }
    if (ui->IDC_1124->isChecked() && (rts < kRtsMin || rts > kRtsMax)) {
        theApp.ShowMessage(LoadStringId(IDS_RTS_THRESHOLD), EMsgIcon::Warning);
        return ui->IDC_1123;
    }
    return nullptr;
}

bool CEditProfileAdvGen::Apply(CProfile& profile) {
    const int frag = ui->IDC_1122->text().trimmed().toInt();
    const int rts = ui->IDC_1123->text().trimmed().toInt();
    auto lock = LockProfiles();
    profile.UseFragmentation = ui->IDC_1130->isChecked();
    if (m_bFragTouched) profile.MaxFragment = frag;
    if (ui->IDC_1127->currentIndex() >= 0) profile.MaxNetRate = RateValue(ui->IDC_1127->currentText());
    if (m_bRtsTouched) profile.RTSThreshold = rts;
    profile.UseRTS = ui->IDC_1124->isChecked();
    profile.WrLessMode = ui->IDC_1126->currentIndex();
    profile.MaxTxPower = ui->IDC_1128->currentIndex();
    profile.ShortPreamble = ui->IDC_1125->isChecked();
    return true;
}

}  // namespace wavory
