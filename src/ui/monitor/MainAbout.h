// The About page: the adapter's device name, regulatory domain, driver, firmware and NVM versions
// and MAC address (driver variables bound to the page), and the utility's own version.
#pragma once

#include <memory>

#include "ui/monitor/BoundPage.h"
#include "wavory_version.h"

namespace Ui {
class CMainAbout;
}

namespace wavory {

class CCommVarList;

class CMainAbout : public CBoundPage {
    Q_OBJECT
public:
    static constexpr const char* kVersion = WAVORY_VERSION;
    // The adapter the pages show, as one line ("Simulated adapter", "wlan0", "Not Connected").
    static QString AdapterText();

    enum EControl : int {
        IDC_GENERATE_REPORT = 1140,
        IDC_DEVICE_NAME = 1144,
        IDC_REG_DOMAIN = 1145,
        IDC_DRIVER_VERSION = 1146,
        IDC_FIRMWARE_VERSION = 1147,
        IDC_MAC = 1148,
        IDC_NVM_VERSION = 1149,
        IDC_VERSION = 1150
    };

    explicit CMainAbout(QWidget* parent = nullptr);
    ~CMainAbout() override;

    // Re-reads the adapter fields in binding order; a failing read keeps that field and the
    // ones after it as they were.
    void Refresh();

protected:
    void OnInitDialog() override;
    void OnSetActive() override;

private:
    std::unique_ptr<Ui::CMainAbout> ui;
    std::unique_ptr<CCommVarList> m_pList;
};

}  // namespace wavory
