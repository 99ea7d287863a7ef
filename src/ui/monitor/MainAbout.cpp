#include "ui/monitor/MainAbout.h"

#include "ui_MainAbout.h"

#include "driver/CommVarList.h"
#include "driver/Converters.h"
#include "driver/Request.h"
#include "kccl_adapters.h"

namespace wavory {

CMainAbout::CMainAbout(QWidget* parent) : CBoundPage(parent), ui(std::make_unique<Ui::CMainAbout>()) {
    ui->setupUi(this);
}

CMainAbout::~CMainAbout() = default;

void CMainAbout::OnInitDialog() {
    if (!m_pList) {
        m_pList = std::make_unique<CCommVarList>(this);
        m_pList->AddVar(IDC_DRIVER_VERSION, OID_DEVICE_INFO, OID_DEVICE_INFO, ConvDriverVersion);
        m_pList->AddVar(IDC_FIRMWARE_VERSION, OID_DEVICE_INFO, OID_DEVICE_INFO, ConvFirmwareVersion);
        m_pList->AddVar(IDC_NVM_VERSION, OID_DEVICE_INFO, OID_DEVICE_INFO, ConvNvmVersion);
        m_pList->AddVar(IDC_MAC, OID_MAC_QUERY, OID_MAC_SET, ConvMac);
        m_pList->AddVar(IDC_REG_DOMAIN, OID_REG_DOMAIN, OID_REG_DOMAIN, ConvRegDomain);
    }
    Refresh();
    SetControlText(IDC_VERSION, QString::fromLatin1(kVersion));
}

void CMainAbout::Refresh() {
    if (m_pList) m_pList->RefreshAll(false, true);
    ui->lblAdapter->setText(AdapterText());
}

QString CMainAbout::AdapterText() {
    // Which adapter the pages show: the simulation or one of the machine's interfaces.
    char name[KCCL_ADAPTER_NAME_MAX] = {};
    kccl_adapter_in_use(name, sizeof name);
    if (name[0] == '\0') return QStringLiteral("Not Connected");
    if (std::string(name) == "sim") return QStringLiteral("Simulated adapter");
    return QString::fromUtf8(name);
}

void CMainAbout::OnSetActive() { Refresh(); }

}  // namespace wavory
