// wavory-status: opens the driver link and prints what the adapter reports.
#include <cstdio>
#include <string>

#include "driver/CommVarList.h"
#include "driver/Request.h"
#include "shell/StringTable.h"
#include "shell/Tessal.h"

using namespace wavory;

namespace {

struct Row {
    const char* label;
    uint32_t query;
    PFNCONVERT convert;
};

// Reads one variable into a text; "-" when the adapter did not answer.
std::string ReadText(uint32_t query, PFNCONVERT convert, bool* ok = nullptr) {
    std::string text;
    CCommVarList list;
    list.AddVarExt(query, 0, convert, &text);
    const bool good = list.RefreshAll(false, false);
    if (ok) *ok = good;
    return good ? text : std::string("-");
}

}  // namespace

int main() {
    if (!theApp.ConnectDriver()) {
        std::fprintf(stderr, "wavory-status: no adapter found (the driver link could not be opened)\n");
        return 1;
    }
    std::string connected(1, '\0');
    CCommVarList statusList;
    statusList.AddVarExt(OID_CONNECT_STATUS, 0, nullptr, nullptr);
    const bool isConnected = statusList.RefreshAll(false, false) && statusList.GetVar(0)->GetBlock(0)[8] != 0;

    std::printf("%-22s %s\n", "Adapter:", ReadText(OID_MAC_QUERY, ConvMac).c_str());
    std::printf("%-22s %s\n", "Driver Version:", ReadText(OID_DEVICE_INFO, ConvDriverVersion).c_str());
    std::printf("%-22s %s\n", "Firmware Version:", ReadText(OID_DEVICE_INFO, ConvFirmwareVersion).c_str());
    std::printf("%-22s %s\n", "Regulatory Domain:", ReadText(OID_REG_DOMAIN, ConvRegDomain).c_str());
    std::printf("%-22s %s\n", "Radio Status:", ReadText(OID_HW_STATUS, ConvRadioStatus).c_str());
    if (!isConnected) {
        std::printf("%-22s %s\n", "Connected to (SSID):", LoadStringId(IDS_NOT_CONNECTED).c_str());
    } else {
        const Row rows[] = {{"Connected to (SSID):", OID_SSID_QUERY, ConvSsid},
                            {"Network Mode:", OID_NET_MODE_QUERY, ConvNetMode},
                            {"Max. Network Rate:", OID_PHY_QUERY, ConvMaxRate},
                            {"Security:", OID_SECURITY_QUERY, ConvSecurity},
                            {"Power Save:", OID_POWER_SAVE_QUERY, ConvPowerSave},
                            {"Received:", OID_STATISTICS, ConvReceived},
                            {"Sent:", OID_STATISTICS, ConvSent}};
        for (const Row& row : rows) std::printf("%-22s %s\n", row.label, ReadText(row.query, row.convert).c_str());
    }
    theApp.DisconnectDriver();
    return 0;
}
