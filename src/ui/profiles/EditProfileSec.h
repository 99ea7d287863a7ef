// The Security page of the profile editor: security type (none, WEP, WPA-Personal, Enhanced Open,
// WPA-Enterprise), four WEP keys with a length each, the active key, the 802.1x flag, and the
// enterprise section. Keys are entered through input masks that admit
// hexadecimal digits only; a key is stored as its digits without the mask's separators.
#pragma once

#include <QString>
#include <array>
#include <memory>

#include "ui/profiles/EditProfilePage.h"

namespace Ui {
class CEditProfileSec;
}

class QButtonGroup;
class QComboBox;
class QLineEdit;
class QRadioButton;

namespace wavory {

class CEapSection;

// Whether the 802.1X password typed for the join at hand is kept in the stored profile (the choice
// of the last Security page applied to a join's settings).
bool KeepJoinPassword();

class CEditProfileSec : public CEditProfilePage {
    Q_OBJECT
public:
    enum EControl : int {
        IDC_SECURITY = 1099,
        IDC_USE_8021X = 1111,
        IDC_KEY_GROUP = 1119,
        IDC_HELP_TEXT = 1120
    };
    static constexpr int kKeys = 4;
    // Items of the security list beyond none (0) and WEP (1).
    static constexpr int kWpa2Item = 2;
    static constexpr int kWpa3Item = 3;
    static constexpr int kWpa2Wpa3Item = 4;
    static constexpr int kOweItem = 5;
    static constexpr int kWpa2EnterpriseItem = 6;
    static constexpr int kWpa3EnterpriseItem = 7;
    // Per key row: the radio button, the key entry and the length list.
    static constexpr std::array<int, kKeys> kRadioIds = {1093, 1094, 1095, 1096};
    static constexpr std::array<int, kKeys> kKeyIds = {1110, 1112, 1114, 1116};
    static constexpr std::array<int, kKeys> kLengthIds = {1108, 1109, 1113, 1115};
    // Input masks of a 64-bit (10 digits) and a 128-bit (26 digits) key.
    static const QString kShortKeyMask;
    static const QString kLongKeyMask;

    explicit CEditProfileSec(QWidget* parent = nullptr);
    ~CEditProfileSec() override;

    void Load(const CProfile& profile) override;
    QWidget* Validate() override;
    // Puts the focus where the key is typed: the passphrase, else the chosen WEP key.
    void FocusKeyField();

    bool Apply(CProfile& profile) override;

    // The key's hexadecimal digits, without the mask's separators.
    QString KeyDigits(int key) const;
    // The key has exactly the digits its length choice asks for (10 or 26).
    bool IsKeyComplete(int key) const;
    // The enterprise section, shown for WPA2- and WPA3-Enterprise.
    CEapSection* EapSection() const { return m_pEap; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct SKeyRow {
        QRadioButton* radio;
        QComboBox* length;
        QLineEdit* edit;
    };

    void OnSecurityChange();
    void EnableKeyControls();
    // Sets the key's mask after its length choice, keeping the digits that fit.
    void ApplyKeyMask(int key);
    // The user typed into a key: the first key completed while none is active becomes active, and
    // the active key stops being active when it is no longer complete.
    void OnKeyChange(int key);
    int CheckedKey() const;
    void CheckKey(int key);  // -1 checks none
    int SecurityType() const;
    // 3 or 4 when a WPA-Personal item is chosen, else 0.
    int WpaMode() const;

    std::unique_ptr<Ui::CEditProfileSec> ui;
    std::array<SKeyRow, kKeys> m_KeyRows{};
    QButtonGroup* m_pKeyGroup;
    // Type of the loaded profile, kept when the list offers no such type (TKIP, AES).
    int m_nStoredSecType = 0;
    CEapSection* m_pEap;
};

}  // namespace wavory
