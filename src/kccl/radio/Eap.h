// The 802.1X settings record of OID_EAP_SETTINGS_QUERY/SET as a value, its encoding, and the names
// of the methods. Shared by the utility (which builds the record from a profile) and the adapters
// (which read it), so that both sides agree on every byte.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace wavory::kccl {

struct SEapRecord {
    uint8_t method = 0;                  // KCOM_EAP_METHOD
    uint8_t phase2 = 0;                  // KCOM_EAP_PHASE2
    uint16_t flags = 0;                  // KCOM_EAP_FLAG bits
    std::array<std::string, 8> strings;  // by KCOM_EAP_STRING

    // The two passwords are overwritten before their memory goes.
    ~SEapRecord();

    std::string& Get(int which) { return strings[static_cast<std::size_t>(which)]; }
    const std::string& Get(int which) const { return strings[static_cast<std::size_t>(which)]; }
    // The server is checked: a CA certificate, the system's store or a server name.
    bool ChecksServer() const;
};

// Writes the record into a payload of `size` bytes; the number of bytes used, 0 when a string is
// longer than KCOM_EAP_FIELD_MAX or the whole does not fit.
std::size_t EncodeEapRecord(const SEapRecord& record, uint8_t* payload, std::size_t size);
// Reads a record; false when a length runs past the payload or beyond KCOM_EAP_FIELD_MAX, or a
// string holds a zero byte.
bool DecodeEapRecord(const uint8_t* payload, std::size_t size, SEapRecord& out);

// "PEAP", "TTLS", "TLS", "PWD"; empty for none or an unknown value.
const char* EapMethodName(int method);
// The method a name stands for, in any case ("peap", "EAP-PEAP", "PEAP"); KCOM_EAP_NONE otherwise.
uint8_t EapMethodByName(const std::string& name);
// The method of an EAP type number (RFC 3748 registry: 13 TLS, 21 TTLS, 25 PEAP, 52 PWD).
uint8_t EapMethodByType(int type);
// "MSCHAPv2", "PAP", "GTC", "CHAP"; empty for none or an unknown value.
const char* EapPhase2Name(int phase2);
// The inner method goes with the outer one: PEAP takes MSCHAPv2 and GTC, TTLS also PAP and CHAP,
// TLS and PWD none. None (0) goes with every method.
bool EapPhase2Fits(int method, int phase2);
// The inner method used: the one given, else MSCHAPv2 for PEAP and TTLS.
int EapEffectivePhase2(int method, int phase2);
// An enterprise security mode (KCOM_SECURITY_MODE_WPA2_ENTERPRISE, _WPA3_ENTERPRISE).
bool IsEnterpriseMode(uint32_t mode);

}  // namespace wavory::kccl
