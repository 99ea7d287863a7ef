// The page of the advanced settings editor: maximum rate, transmit power, short preamble, RTS
// threshold, fragmentation threshold and wireless mode of the edited profile. In the
// edit-connection mode the rate and the wireless mode are locked.
#pragma once

#include <QStringList>
#include <memory>

#include "ui/profiles/EditProfilePage.h"

namespace Ui {
class CEditProfileAdvGen;
}

class QLineEdit;
class QSlider;

namespace wavory {

class CEditProfileAdvGen : public CEditProfilePage {
    Q_OBJECT
public:
    enum EControl : int {
        IDC_RATE = 1127,
        IDC_TX_POWER = 1128,
        IDC_SHORT_PREAMBLE = 1125,
        IDC_USE_RTS = 1124,
        IDC_RTS_EDIT = 1123,
        IDC_RTS_SLIDER = 1131,
        IDC_USE_FRAG = 1130,
        IDC_FRAG_EDIT = 1122,
        IDC_FRAG_SLIDER = 1129,
        IDC_WIRELESS_MODE = 1126
    };
    // What each edit accepts at all, and what the page accepts when the setting is in use.
    static constexpr int kRtsEditMin = 1, kRtsEditMax = 2312;
    static constexpr int kFragEditMin = 0, kFragEditMax = 2312;
    static constexpr int kRtsMin = 0, kRtsMax = 2312;
    static constexpr int kFragMin = 256, kFragMax = 2312;
    // A rate label's value: its Mbps times this.
    static constexpr int kRateUnit = 500000;

    explicit CEditProfileAdvGen(QWidget* parent = nullptr);
    ~CEditProfileAdvGen() override;

    void Load(const CProfile& profile) override;
    QWidget* Validate() override;
    bool Apply(CProfile& profile) override;

    // The rate labels offered for a wireless mode (0 a/b/g, 1 a, 2 b/g, 3 b).
    static QStringList RateLabels(int wirelessMode);
    static int RateValue(const QString& label);

private:
    // Lists the rates of the selected wireless mode and selects the first label of that value (or
    // the first label).
    void FillRates(int value);
    void EnableRtsControls();
    void EnableFragControls();
    // A number edit checked as the dialog framework does: an integer within the edit's range.
    static bool CheckNumber(QLineEdit* edit, int min, int max, int* value);
    // touched is set once the user moves the slider or types into the edit.
    void ConnectSliderAndEdit(QSlider* slider, QLineEdit* edit, bool* touched);

    std::unique_ptr<Ui::CEditProfileAdvGen> ui;
    // The user changed the number; until then the stored value stands, also one outside the
    // controls' range (opening the page and pressing OK changes nothing).
    bool m_bRtsTouched = false;
    bool m_bFragTouched = false;
};

}  // namespace wavory
