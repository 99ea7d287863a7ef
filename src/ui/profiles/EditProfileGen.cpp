#include "ui/profiles/EditProfileGen.h"

#include "ui_EditProfileGen.h"

#include <QButtonGroup>

#include "base/StringTable.h"
#include "driver/Format.h"
#include "profiles/Profile.h"
#include "profiles/ProfileMngr.h"
#include "shell/Tessal.h"
#include "profiles/ChannelList.h"
#include "ui/profiles/EditProfile.h"
#include "ui/profiles/EditProfileAdv.h"

namespace wavory {

namespace {

// The channel list's items carry the index (the item's data) and the frequency (this role).
constexpr int kFreqRole = Qt::UserRole + 1;

}  // namespace

CEditProfileGen::CEditProfileGen(QWidget* parent)
    : CEditProfilePage(parent),
      ui(std::make_unique<Ui::CEditProfileGen>()),
      m_pModeGroup(new QButtonGroup(this)),
      m_pPhyGroup(new QButtonGroup(this)) {
    ui->setupUi(this);
    ui->IDC_1042->setMaxLength(kMaxNameLength);
    m_pModeGroup->addButton(ui->IDC_1040);
    m_pModeGroup->addButton(ui->IDC_1041);
    m_pPhyGroup->addButton(ui->IDC_1044);
    m_pPhyGroup->addButton(ui->IDC_1045);
    m_pPhyGroup->addButton(ui->IDC_1046);

    connect(ui->IDC_1040, &QRadioButton::clicked, this, [this] {
        OnInfrastructure();
        emit Modified();
    });
    connect(ui->IDC_1041, &QRadioButton::clicked, this, [this] {
        OnAdHoc();
        emit Modified();
    });
    connect(ui->IDC_1044, &QRadioButton::clicked, this, [this] {
        OnPhy(0);
        emit Modified();
    });
    connect(ui->IDC_1045, &QRadioButton::clicked, this, [this] {
        OnPhy(1);
        emit Modified();
    });
    connect(ui->IDC_1046, &QRadioButton::clicked, this, [this] {
        OnPhy(2);
        emit Modified();
    });
    connect(ui->IDC_1049, &QCheckBox::clicked, this, [this] {
        OnAuto();
        emit Modified();
    });
    connect(ui->IDC_1042, &QLineEdit::textEdited, this, &CEditProfilePage::Modified);
    connect(ui->IDC_1043, &QLineEdit::textEdited, this, &CEditProfilePage::Modified);
    connect(ui->IDC_1050, &QSlider::sliderMoved, this, &CEditProfilePage::Modified);
    connect(ui->IDC_1050, &QSlider::actionTriggered, this, &CEditProfilePage::Modified);
    connect(ui->IDC_105, &QComboBox::activated, this, &CEditProfilePage::Modified);
    connect(ui->IDC_1048, &QCheckBox::clicked, this, &CEditProfilePage::Modified);
    connect(ui->IDC_1118, &QPushButton::clicked, this, &CEditProfileGen::OnDefaults);
    connect(ui->IDC_1076, &QPushButton::clicked, this, &CEditProfileGen::OnAdvanced);

    // A page whose profile is missing keeps its form's state; the edit-connection limits hold anyway.
    if (g_bEditConnection) ApplyEditConnectionMode();
}

CEditProfileGen::~CEditProfileGen() = default;

void CEditProfileGen::Load(const CProfile& profile) {
    m_strLoadedName = profile.ProfName;
    m_strLoadedSsid = profile.NetName;
    m_strShownName = QString::fromStdString(profile.ProfName);
    m_strShownSsid = QString::fromStdString(profile.NetName);
    m_pAdvanced.reset();
    ui->IDC_1042->setText(m_strShownName);
    ui->IDC_1043->setText(m_strShownSsid);
    ui->IDC_1048->setChecked(profile.AutoSelect);
    LoadControls(profile);
    if (g_bEditConnection) ApplyEditConnectionMode();
}

void CEditProfileGen::FocusName() {
    ui->IDC_1042->setFocus(Qt::OtherFocusReason);
    ui->IDC_1042->selectAll();
}

void CEditProfileGen::LoadControls(const CProfile& profile) {
    ui->IDC_1050->setValue(profile.PSType);
    ui->IDC_1049->setChecked(profile.PSType == 0);
    EnableSliderControls(profile.PSType != 0);
    const int phy = profile.PhyType == 0 || profile.PhyType == 2 ? profile.PhyType : 1;
    if (profile.NetMode) {
        OnPhy(phy);
        OnInfrastructure();
    } else {
        // The ad-hoc handler switches to 802.11 b/g; a stored 5 or 6 GHz cell keeps its PHY mode
        // and channel rather than being moved to 2.4 GHz on the next OK.
        OnAdHoc();
        if (phy != 1) OnPhy(phy);
    }
    SelectChannel(profile.PhyChnl, profile.PhyFreq);
}

void CEditProfileGen::ApplyEditConnectionMode() {
    // Only power save can change: everything that would need a new association is locked, and
    // shows the connection as it is (an ad-hoc network stays shown as ad hoc).
    EnableChannelControls(false);
    for (QWidget* w : {static_cast<QWidget*>(ui->IDC_1172), static_cast<QWidget*>(ui->IDC_1043),
                       static_cast<QWidget*>(ui->IDC_1042), static_cast<QWidget*>(ui->IDC_1170),
                       static_cast<QWidget*>(ui->IDC_1051), static_cast<QWidget*>(ui->IDC_1048),
                       static_cast<QWidget*>(ui->IDC_1174), static_cast<QWidget*>(ui->IDC_1040),
                       static_cast<QWidget*>(ui->IDC_1041)})
        w->setEnabled(false);
}

void CEditProfileGen::OnInfrastructure() {
    ui->IDC_1040->setChecked(true);
    EnableChannelControls(false);
}

void CEditProfileGen::OnAdHoc() {
    ui->IDC_1041->setChecked(true);
    OnPhy(1);
    EnableChannelControls(true);
}

void CEditProfileGen::OnPhy(int phyType) {
    QRadioButton* radio = phyType == 0 ? ui->IDC_1044 : phyType == 2 ? ui->IDC_1046 : ui->IDC_1045;
    radio->setChecked(true);
    FillChannels(phyType);
}

void CEditProfileGen::OnAuto() { EnableSliderControls(!ui->IDC_1049->isChecked()); }

void CEditProfileGen::FillChannels(int phyType) {
    ui->IDC_105->clear();
    for (const SChannelEntry& entry : ChannelEntries(phyType, ReadRegDomain(), ReadChannelList())) {
        ui->IDC_105->addItem(QString::fromStdString(entry.label), entry.index);
        ui->IDC_105->setItemData(ui->IDC_105->count() - 1, entry.freqMHz, kFreqRole);
    }
    ui->IDC_105->setCurrentIndex(ui->IDC_105->count() > 0 ? 0 : -1);
}

void CEditProfileGen::SelectChannel(int index, int freqMHz) {
    // The frequency names the channel where one is stored; else the index does. A channel the list
    // does not offer leaves the first entry selected.
    int row = freqMHz > 0 ? ui->IDC_105->findData(freqMHz, kFreqRole) : -1;
    if (row < 0) row = ui->IDC_105->findData(index);
    if (row >= 0) ui->IDC_105->setCurrentIndex(row);
}

void CEditProfileGen::EnableChannelControls(bool enable) {
    for (QWidget* w : {static_cast<QWidget*>(ui->IDC_105), static_cast<QWidget*>(ui->IDC_1090),
                       static_cast<QWidget*>(ui->IDC_1091), static_cast<QWidget*>(ui->IDC_1092),
                       static_cast<QWidget*>(ui->IDC_1044), static_cast<QWidget*>(ui->IDC_1045),
                       static_cast<QWidget*>(ui->IDC_1046)})
        w->setEnabled(enable);
}

void CEditProfileGen::EnableSliderControls(bool enable) {
    ui->IDC_1050->setEnabled(enable);
    ui->IDC_1084->setEnabled(enable);
    ui->IDC_1085->setEnabled(enable);
}

void CEditProfileGen::OnDefaults() {
    std::unique_ptr<CProfile> stored = EditedSnapshot();
    if (!stored) return;
    ui->IDC_1048->setChecked(stored->AutoSelect);
    LoadControls(*stored);
    if (g_bEditConnection) ApplyEditConnectionMode();
}

void CEditProfileGen::OnAdvanced() {
    // The Advanced editor works on a copy; its OK changes the copy, and only this editor's OK (or
    // Apply) writes it into the profile, so Cancel here undoes the advanced changes too.
    std::unique_ptr<CProfile> pending =
        m_pAdvanced ? std::make_unique<CProfile>(*m_pAdvanced) : EditedSnapshot();
    if (!pending) return;
    CEditProfileAdv advanced(QString::fromStdString(LoadStringId(IDS_ADVANCED_PROFILE_EDIT)), pending.get(),
                             this, 0);
    if (advanced.exec() != QDialog::Accepted) return;
    m_pAdvanced = std::move(pending);
    emit Modified();
}

QWidget* CEditProfileGen::Validate() {
    if (g_bEditConnection) return nullptr;
    const QString name = ui->IDC_1042->text();
    const qsizetype characters = name.toUcs4().size();
    if (characters == 0 || characters > kMaxNameLength) {
        theApp.ShowMessage(LoadStringId(IDS_INVALID_PROFILE_NAME), EMsgIcon::Warning);
        return ui->IDC_1042;
    }
    // The SSID's limit is in bytes: it goes to the adapter as up to 32 octets.
    const std::size_t ssid = ui->IDC_1043->text() == m_strShownSsid ? m_strLoadedSsid.size()
                                                                    : ui->IDC_1043->text().toUtf8().size();
    if (ssid == 0 || ssid > static_cast<std::size_t>(kMaxSsidBytes)) {
        // A name of few characters can still be too long: each one outside ASCII takes 2 to 4 bytes.
        std::string message = LoadStringId(IDS_INVALID_SSID);
        if (ssid != 0) {
            const auto shown = static_cast<std::size_t>(ui->IDC_1043->text().toUcs4().size());
            message += StrFormat("\nThis name has %zu bytes", ssid);
            if (shown != ssid && ui->IDC_1043->text() != m_strShownSsid)
                message += StrFormat(" in %zu characters", shown);
            message += ".";
        }
        theApp.ShowMessage(message, EMsgIcon::Warning);
        return ui->IDC_1043;
    }
    return nullptr;
}

void CEditProfileGen::ApplyAdvanced(CProfile& profile) const {
    if (!m_pAdvanced) return;
    profile.UseFragmentation = m_pAdvanced->UseFragmentation;
    profile.MaxFragment = m_pAdvanced->MaxFragment;
    profile.MaxNetRate = m_pAdvanced->MaxNetRate;
    profile.RTSThreshold = m_pAdvanced->RTSThreshold;
    profile.UseRTS = m_pAdvanced->UseRTS;
    profile.WrLessMode = m_pAdvanced->WrLessMode;
    profile.MaxTxPower = m_pAdvanced->MaxTxPower;
    profile.ShortPreamble = m_pAdvanced->ShortPreamble;
}

bool CEditProfileGen::Apply(CProfile& profile) {
    const int psType = ui->IDC_1049->isChecked() ? 0 : ui->IDC_1050->value();
    if (g_bEditConnection) {
        auto lock = LockProfiles();
        profile.PSType = psType;
        ApplyAdvanced(profile);
        return true;
    }

    const std::string name =
        ui->IDC_1042->text() == m_strShownName ? m_strLoadedName : ui->IDC_1042->text().toStdString();
    std::string oldName;
    {
        auto lock = LockProfiles();
        oldName = profile.ProfName;
    }
    if (name != oldName) {
        // The manager refuses a name another profile bears; the editor stays open to correct it. The
        // new name is stored with the rest of the profile.
        std::string reason;
        CProfileMngr* mngr = theApp.m_pProfileMngr;
        if (!mngr || !mngr->RenameProfile(oldName, name, &reason)) {
            theApp.ShowMessage(reason, EMsgIcon::Warning);
            ui->IDC_1042->setFocus();
            ui->IDC_1042->selectAll();
            return false;
        }
        g_strEditProfile = name;
    }

    auto lock = LockProfiles();
    profile.NetName =
        ui->IDC_1043->text() == m_strShownSsid ? m_strLoadedSsid : ui->IDC_1043->text().toStdString();
    ApplyAdvanced(profile);
    profile.PSType = psType;
    profile.AutoSelect = ui->IDC_1048->isChecked();
    profile.PhyChnl = ui->IDC_105->currentIndex() >= 0 ? ui->IDC_105->currentData().toInt() : -1;
    profile.PhyFreq = ui->IDC_105->currentIndex() >= 0 ? ui->IDC_105->currentData(kFreqRole).toInt() : 0;
    if (ui->IDC_1044->isChecked())
        profile.PhyType = 0;
    else if (ui->IDC_1045->isChecked())
        profile.PhyType = 1;
    else if (ui->IDC_1046->isChecked())
        profile.PhyType = 2;
    profile.NetMode = ui->IDC_1040->isChecked();
    return true;
}

}  // namespace wavory
