#include "ui/monitor/Prefs.h"

#include "ui_Prefs.h"

#include <QCheckBox>
#include <QPushButton>
#include <QRadioButton>
#include <cstdlib>
#include <string>

#include "base/Registry.h"
#include "base/StringTable.h"
#include "driver/CommVarList.h"
#include "driver/Converters.h"
#include "driver/Format.h"
#include "driver/Request.h"
#include "kccl_oid.h"
#include "monitor/Poll.h"
#include "platform/Autostart.h"
#include "platform/HistoryService.h"
#include "profiles/NetProfile.h"
#include "profiles/ProfileMngr.h"
#include "profiles/RegistryUpdate.h"
#include "shell/MainWindow.h"
#include "shell/Tessal.h"

namespace wavory {

CPrefs::CPrefs(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::CPrefs>()) {
    ui->setupUi(this);
    connect(ui->IDC_1156, &QRadioButton::clicked, this, [this] { SetActiveScan(false); });
    connect(ui->IDC_1157, &QRadioButton::clicked, this, [this] { SetActiveScan(true); });
    // The units are taken from the radios when saving; a click only re-asserts the scan radios.
    connect(ui->IDC_1159, &QRadioButton::clicked, this, &CPrefs::SetScanRadios);
    connect(ui->IDC_1160, &QRadioButton::clicked, this, &CPrefs::SetScanRadios);
    connect(ui->IDC_1154, &QPushButton::clicked, this, &CPrefs::OnApply);
    connect(ui->IDC_1155, &QPushButton::clicked, this, &CPrefs::OnDefaults);
    connect(ui->IDC_1, &QPushButton::clicked, this, &CPrefs::accept);
    connect(ui->IDC_2, &QPushButton::clicked, this, &CPrefs::reject);
    // An interval outside the range is refused while it is typed: OK and Apply wait for one that
    // will do, and the field says why.
    connect(ui->IDC_1158, &QLineEdit::textChanged, this, &CPrefs::CheckInterval);
    // Return in any field presses OK, the default button.
    ui->IDC_1->setDefault(true);
    OnInitDialog();
}

CPrefs::~CPrefs() = default;

void CPrefs::OnInitDialog() {
    m_nInterval = static_cast<int>(
        static_cast<unsigned>(theApp.GetProfileInt("", "Polling Interval", kDefaultIntervalMs)) / 1000u);
    m_bActiveScan = theApp.GetProfileInt("", "Active", 0) != 0;
    m_nPowerSave = theApp.GetProfileInt("", "Power-Save", 0);
    m_nScanBand = theApp.GetProfileInt("", "Scan-Band", 0);
    const bool dBm = theApp.GetProfileInt("", "dBm-Percent", 0) != 0;
    ui->IDC_1159->setChecked(dBm);
    ui->IDC_1160->setChecked(!dBm);

    std::string domain;
    CCommVarList list;
    list.AddVarExt(OID_REG_DOMAIN, OID_REG_DOMAIN, ConvNumber, &domain);
    m_nCountry = 0;
    if (list.RefreshAll(false, false)) {
        const int code = std::atoi(domain.c_str());
        for (int row = 0; row < static_cast<int>(std::size(kCountryCodes)); ++row)
            if (kCountryCodes[row] == code) m_nCountry = row;
    }
    SetScanRadios();
    UpdateData(false);
    ui->chkAutostart->setChecked(CAutostart().IsEnabled());
    ui->chkNotifications->setChecked(theApp.GetProfileInt("", kNotificationsPref, 1) != 0);
    ui->chkKeepInTray->setChecked(theApp.GetProfileInt("", kKeepInTrayPref, 0) != 0);
    // The history's user service is the setting itself, as the autostart entry is.
    QString why;
    m_eHistoryService = CHistoryService(s_strHistoryBus).State(&why);
    ui->chkRecordHistory->setChecked(m_eHistoryService == CHistoryService::EState::On);
    ui->chkRecordHistory->setEnabled(m_eHistoryService != CHistoryService::EState::Unavailable);
    ui->chkRecordHistory->setToolTip(
        m_eHistoryService == CHistoryService::EState::Unavailable
            ? QStringLiteral("Not available: ") + why
            : QStringLiteral("A user service (%1) records joins, drops and roams while no window runs")
                  .arg(QLatin1String(CHistoryService::kUnit)));
    // The rows follow the address modes from the device's own (1) on.
    ui->cmbMacAddress->setCurrentIndex(DefaultMacMode() - KCOM_MAC_DEVICE);
    ui->IDC_1158->setFocus();
    ui->IDC_1158->selectAll();
}

QString CPrefs::s_strHistoryBus;

void CPrefs::CheckInterval() {
    bool isNumber = false;
    const int interval = ui->IDC_1158->text().trimmed().toInt(&isNumber);
    const bool valid = isNumber && interval >= kMinInterval && interval <= kMaxInterval;
    ui->IDC_1->setEnabled(valid);
    ui->IDC_1154->setEnabled(valid);
    ui->IDC_1158->setToolTip(valid ? QString()
                                   : QStringLiteral("The interval takes %1 to %2 seconds.")
                                         .arg(kMinInterval)
                                         .arg(kMaxInterval));
}

void CPrefs::SetScanRadios() {
    ui->IDC_1157->setChecked(m_bActiveScan);
    ui->IDC_1156->setChecked(!m_bActiveScan);
}

void CPrefs::SetActiveScan(bool active) {
    m_bActiveScan = active;
    SetScanRadios();
}

bool CPrefs::UpdateData(bool save) {
    if (!save) {
        ui->IDC_1162->setCurrentIndex(m_nScanBand);
        ui->IDC_1161->setCurrentIndex(m_nPowerSave);
        ui->IDC_1158->setText(QString::number(m_nInterval));
        ui->IDC_1179->setCurrentIndex(m_nCountry);
        return true;
    }
    m_nScanBand = ui->IDC_1162->currentIndex();
    m_nPowerSave = ui->IDC_1161->currentIndex();
    bool isNumber = false;
    const int interval = ui->IDC_1158->text().trimmed().toInt(&isNumber);
    if (!isNumber || interval < kMinInterval || interval > kMaxInterval) {
        const std::string message =
            isNumber ? StrFormat(LoadStringId(IDS_PARSE_INT_RANGE).c_str(), kMinInterval, kMaxInterval)
                     : LoadStringId(IDS_PARSE_INT);
        theApp.ShowMessage(message, EMsgIcon::Warning);
        ui->IDC_1158->setFocus();
        ui->IDC_1158->selectAll();
        return false;
    }
    m_nInterval = interval;
    m_nCountry = ui->IDC_1179->currentIndex();
    return true;
}

bool CPrefs::OnApply() {
    // A value that failed validation is never stored: the user corrects it and tries again.
    if (!UpdateData(true)) return false;
    {
        // The preferences are stored together: one change of the store. When it is refused the
        // dialog stays open with the user's values.
        CRegistryUpdate group(theApp.m_pRegistry);
        bool ok = theApp.WriteProfileInt("", "Polling Interval", m_nInterval * 1000);
        ok = theApp.WriteProfileInt("", "Active", m_bActiveScan ? 1 : 0) && ok;
        ok = theApp.WriteProfileInt("", "Power-Save", m_nPowerSave) && ok;
        ok = theApp.WriteProfileInt("", "Scan-Band", m_nScanBand) && ok;
        ok = theApp.WriteProfileInt("", "dBm-Percent", ui->IDC_1159->isChecked() ? 1 : 0) && ok;
        ok = theApp.WriteProfileInt("", kNotificationsPref, ui->chkNotifications->isChecked() ? 1 : 0) && ok;
        ok = theApp.WriteProfileInt("", kKeepInTrayPref, ui->chkKeepInTray->isChecked() ? 1 : 0) && ok;
        ok = theApp.WriteProfileInt("", kMacAddressPref,
                                    ui->cmbMacAddress->currentIndex() + KCOM_MAC_DEVICE) &&
             ok;
        if (!ok) group.Cancel();
        if (!group.End() || !ok) {
            const int error = theApp.m_pRegistry ? theApp.m_pRegistry->LastError() : REG_ERROR_WRITE_FAULT;
            theApp.ShowMessage(StoreFailureText(error != REG_OK ? error : REG_ERROR_WRITE_FAULT),
                               EMsgIcon::Warning);
            return false;
        }
    }
    if (theApp.m_pPoll) theApp.m_pPoll->SetInterval(m_nInterval);
    if (IMainWindow* window = theApp.m_pMainWnd; window && window->IsSiteVisible()) window->RefreshSiteList();
    // The autostart entry is a file of the desktop's, not a stored preference: it is the setting.
    const CAutostart autostart;
    QString error;
    if (ui->chkAutostart->isChecked() != autostart.IsEnabled() &&
        !autostart.SetEnabled(ui->chkAutostart->isChecked(), error)) {
        theApp.ShowMessage("Could not change the autostart entry: " + error.toStdString(), EMsgIcon::Warning);
        ui->chkAutostart->setChecked(autostart.IsEnabled());
        return false;
    }
    const bool record = ui->chkRecordHistory->isChecked();
    if (m_eHistoryService != CHistoryService::EState::Unavailable &&
        record != (m_eHistoryService == CHistoryService::EState::On)) {
        if (!CHistoryService(s_strHistoryBus).Set(record, &error)) {
            theApp.ShowMessage("Could not " + std::string(record ? "start" : "stop") +
                                   " recording the history without the window: " + error.toStdString(),
                               EMsgIcon::Warning);
            ui->chkRecordHistory->setChecked(!record);
            return false;
        }
        m_eHistoryService = record ? CHistoryService::EState::On : CHistoryService::EState::Off;
    }
    return true;
}

void CPrefs::OnDefaults() {
    m_nInterval = kDefaultIntervalMs / 1000;
    m_bActiveScan = false;
    m_nPowerSave = 0;
    m_nScanBand = 0;
    ui->IDC_1160->setChecked(true);
    ui->IDC_1159->setChecked(false);
    ui->chkNotifications->setChecked(true);
    ui->chkKeepInTray->setChecked(false);
    ui->cmbMacAddress->setCurrentIndex(0);
    SetScanRadios();
    UpdateData(false);
}

void CPrefs::accept() {
    if (OnApply()) QDialog::accept();
}

}  // namespace wavory
