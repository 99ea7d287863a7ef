// The General page of the profile editor: name, network name, network mode, power save, PHY mode
// and channel, and auto-selection membership; its Advanced button opens the radio parameters.
// In the edit-connection mode only power save can change.
#pragma once

#include <QString>
#include <memory>
#include <string>

#include "ui/profiles/EditProfilePage.h"

namespace Ui {
class CEditProfileGen;
}

class QButtonGroup;

namespace wavory {

class CEditProfileGen : public CEditProfilePage {
    Q_OBJECT
public:
    enum EControl : int {
        IDC_NAME = 1042,
        IDC_SSID = 1043,
        IDC_INFRASTRUCTURE = 1040,
        IDC_ADHOC = 1041,
        IDC_PHY_A = 1044,
        IDC_PHY_BG = 1045,
        IDC_PHY_G = 1046,
        IDC_POWER_AUTO = 1049,
        IDC_POWER_SLIDER = 1050,
        IDC_CHANNEL = 105,
        IDC_AUTO_SELECT = 1048,
        IDC_DEFAULT_PROFILE = 1051,
        IDC_DEFAULTS = 1118,
        IDC_ADVANCED = 1076
    };
    // Characters of a profile name: the field takes no more, and the check and its message agree.
    static constexpr int kMaxNameLength = 19;
    static constexpr int kMaxSsidBytes = 32;

    explicit CEditProfileGen(QWidget* parent = nullptr);
    ~CEditProfileGen() override;

    void Load(const CProfile& profile) override;
    // The name field takes the focus, its text selected (the editor opened on this page).
    void FocusName();
    QWidget* Validate() override;
    bool Apply(CProfile& profile) override;

    // Defaults: power save, network mode, PHY, channel and the auto-selection check box as stored;
    // the typed name and network name stay.
    void OnDefaults();
    // Opens the advanced settings editor on the same profile.
    void OnAdvanced();

private:
    void LoadControls(const CProfile& profile);
    void OnInfrastructure();
    void OnAdHoc();
    void OnPhy(int phyType);
    void OnAuto();
    // Fills the channel list for the PHY mode and the adapter's regulatory domain; selects entry 0.
    void FillChannels(int phyType);
    void SelectChannel(int index, int freqMHz);
    void EnableChannelControls(bool enable);
    void EnableSliderControls(bool enable);
    void ApplyEditConnectionMode();
    // Writes the Advanced editor's pending changes into the profile.
    void ApplyAdvanced(CProfile& profile) const;

    std::unique_ptr<Ui::CEditProfileGen> ui;
    // The Advanced editor's changes, held until this editor is confirmed (null: none made).
    std::unique_ptr<CProfile> m_pAdvanced;
    // The stored name and network name, and the texts they were shown as: a text the user left
    // alone keeps its exact bytes (a network name need not be UTF-8).
    std::string m_strLoadedName, m_strLoadedSsid;
    QString m_strShownName, m_strShownSsid;
    QButtonGroup* m_pModeGroup;
    QButtonGroup* m_pPhyGroup;
};

}  // namespace wavory
