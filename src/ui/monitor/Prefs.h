// The Preferences dialog: the statistics update interval and the signal units (usable), the scan
// and battery power-save preferences (shown disabled), the country selection (hidden) and the
// hardware address networks are joined with by default. Values
// are stored only through Apply or OK, and only when the interval is valid. "Start with the
// desktop" writes or removes the desktop's autostart entry on Apply, "Record the connection history
// while the window is closed" switches the history's user service on or off.
#pragma once

#include <QDialog>
#include <QString>
#include <memory>

#include "platform/HistoryService.h"

namespace Ui {
class CPrefs;
}

namespace wavory {

class CPrefs : public QDialog {
    Q_OBJECT
public:
    enum EControl : int {
        IDC_OK = 1,
        IDC_CANCEL = 2,
        IDC_APPLY = 1154,
        IDC_DEFAULTS = 1155,
        IDC_PASSIVE = 1156,
        IDC_ACTIVE = 1157,
        IDC_INTERVAL = 1158,
        IDC_DBM = 1159,
        IDC_PERCENT = 1160,
        IDC_POWER_SAVE = 1161,
        IDC_SCAN_BAND = 1162,
        IDC_COUNTRY = 1179
    };
    // Desktop notifications on connect, disconnect and failure (default on), and Close hiding the
    // window into the tray instead of ending the utility (default off).
    static constexpr const char* kNotificationsPref = "Notifications";
    static constexpr const char* kKeepInTrayPref = "Keep In Tray";
    // The hardware address of profiles that leave it to the preferences (KCOM_MAC_MODE, 1 to 3).
    static constexpr const char* kMacAddressPref = "Mac-Address";
    static constexpr int kMinInterval = 5;
    static constexpr int kMaxInterval = 100;
    static constexpr int kDefaultIntervalMs = 10000;
    // Regulatory-domain codes of the country rows, in row order.
    static constexpr int kCountryCodes[] = {0x10, 0x20, 0x30, 0x31, 0x32, 0x40};

    // The bus of the user's service manager (empty: the session bus); tests give a private one.
    static QString s_strHistoryBus;

    explicit CPrefs(QWidget* parent = nullptr);
    ~CPrefs() override;

    // Validates and stores the values; false (nothing stored) when the interval is invalid.
    bool OnApply();
    // Puts the default values into the controls; nothing is stored.
    void OnDefaults();
    // OK: stores and closes, or keeps the dialog open when the interval is invalid.
    void accept() override;

private:
    void OnInitDialog();
    // Moves the members into the controls, or (save) the controls into the members with the
    // interval's validation; false when it failed.
    bool UpdateData(bool save);
    // OK and Apply only while the interval field holds one in range.
    void CheckInterval();
    void SetScanRadios();
    void SetActiveScan(bool active);

    std::unique_ptr<Ui::CPrefs> ui;
    int m_nScanBand = -1;
    int m_nPowerSave = -1;
    int m_nInterval = 0;
    int m_nCountry = -1;
    bool m_bActiveScan = false;
    CHistoryService::EState m_eHistoryService = CHistoryService::EState::Unavailable;
};

}  // namespace wavory
