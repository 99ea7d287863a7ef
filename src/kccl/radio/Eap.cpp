#include "radio/Eap.h"

#include <cstring>

#include "kccl_oid.h"
#include "radio/SecretMemory.h"

namespace wavory::kccl {

SEapRecord::~SEapRecord() {
    SecureClear(Get(KCOM_EAP_PASSWORD));
    SecureClear(Get(KCOM_EAP_KEY_PASSWORD));
}

bool SEapRecord::ChecksServer() const {
    return (flags & KCOM_EAP_FLAG_SYSTEM_CA) != 0 || !Get(KCOM_EAP_CA_CERT).empty() ||
           !Get(KCOM_EAP_DOMAIN).empty();
}

std::size_t EncodeEapRecord(const SEapRecord& record, uint8_t* payload, std::size_t size) {
    if (size < KCOM_EAP_STRINGS) return 0;
    payload[KCOM_EAP_METHOD_FIELD] = record.method;
    payload[KCOM_EAP_PHASE2_FIELD] = record.phase2;
    payload[KCOM_EAP_FLAGS] = static_cast<uint8_t>(record.flags & 0xFF);
    payload[KCOM_EAP_FLAGS + 1] = static_cast<uint8_t>(record.flags >> 8);
    std::size_t pos = KCOM_EAP_STRINGS;
    for (const std::string& text : record.strings) {
        if (text.size() > KCOM_EAP_FIELD_MAX || pos + 2 + text.size() > size) return 0;
        payload[pos] = static_cast<uint8_t>(text.size() & 0xFF);
        payload[pos + 1] = static_cast<uint8_t>(text.size() >> 8);
        if (!text.empty()) std::memcpy(payload + pos + 2, text.data(), text.size());
        pos += 2 + text.size();
    }
    return pos;
}

bool DecodeEapRecord(const uint8_t* payload, std::size_t size, SEapRecord& out) {
    if (size < KCOM_EAP_STRINGS) return false;
    SEapRecord record;
    record.method = payload[KCOM_EAP_METHOD_FIELD];
    record.phase2 = payload[KCOM_EAP_PHASE2_FIELD];
    record.flags = static_cast<uint16_t>(payload[KCOM_EAP_FLAGS] | payload[KCOM_EAP_FLAGS + 1] << 8);
    std::size_t pos = KCOM_EAP_STRINGS;
    for (std::string& text : record.strings) {
        if (pos + 2 > size) return false;
        const std::size_t len = payload[pos] | static_cast<std::size_t>(payload[pos + 1]) << 8;
        if (len > KCOM_EAP_FIELD_MAX || pos + 2 + len > size) return false;
        text.assign(reinterpret_cast<const char*>(payload + pos + 2), len);
        // A zero byte would cut the string short on the way to the supplicant.
        if (text.find('\0') != std::string::npos) return false;
        pos += 2 + len;
    }
    out = std::move(record);
    return true;
}

uint8_t EapMethodByName(const std::string& name) {
    std::string upper;
    for (char c : name) upper += static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    if (upper.rfind("EAP-", 0) == 0) upper.erase(0, 4);
    for (uint8_t method = KCOM_EAP_PEAP; method <= KCOM_EAP_PWD; ++method)
        if (upper == EapMethodName(method)) return method;
    return KCOM_EAP_NONE;
}

uint8_t EapMethodByType(int type) {
    switch (type) {
        case 13:
            return KCOM_EAP_TLS;
        case 21:
            return KCOM_EAP_TTLS;
        case 25:
            return KCOM_EAP_PEAP;
        case 52:
            return KCOM_EAP_PWD;
        default:
            return KCOM_EAP_NONE;
    }
}

const char* EapMethodName(int method) {
    switch (method) {
        case KCOM_EAP_PEAP:
            return "PEAP";
        case KCOM_EAP_TTLS:
            return "TTLS";
        case KCOM_EAP_TLS:
            return "TLS";
        case KCOM_EAP_PWD:
            return "PWD";
        default:
            return "";
    }
}

const char* EapPhase2Name(int phase2) {
    switch (phase2) {
        case KCOM_PHASE2_MSCHAPV2:
            return "MSCHAPv2";
        case KCOM_PHASE2_PAP:
            return "PAP";
        case KCOM_PHASE2_GTC:
            return "GTC";
        case KCOM_PHASE2_CHAP:
            return "CHAP";
        default:
            return "";
    }
}

bool EapPhase2Fits(int method, int phase2) {
    if (phase2 == KCOM_PHASE2_NONE) return true;
    switch (method) {
        case KCOM_EAP_PEAP:
            return phase2 == KCOM_PHASE2_MSCHAPV2 || phase2 == KCOM_PHASE2_GTC;
        case KCOM_EAP_TTLS:
            return phase2 >= KCOM_PHASE2_MSCHAPV2 && phase2 <= KCOM_PHASE2_CHAP;
        default:
            return false;
    }
}

int EapEffectivePhase2(int method, int phase2) {
    if (phase2 != KCOM_PHASE2_NONE) return phase2;
    return method == KCOM_EAP_PEAP || method == KCOM_EAP_TTLS ? KCOM_PHASE2_MSCHAPV2 : KCOM_PHASE2_NONE;
}

bool IsEnterpriseMode(uint32_t mode) {
    return mode == KCOM_SECURITY_MODE_WPA2_ENTERPRISE || mode == KCOM_SECURITY_MODE_WPA3_ENTERPRISE;
}

}  // namespace wavory::kccl
