#include "survey/Hotspot.h"

#include <sys/random.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>

#include "driver/CommVar.h"
#include "driver/CommVarList.h"
#include "driver/NameTables.h"
#include "driver/Request.h"
#include "kccl_adapters.h"
#include "profiles/WifiUri.h"
#include "radio/SecretMemory.h"

namespace wavory {

namespace {

constexpr char kPassphraseAlphabet[] = "abcdefghijkmnpqrstuvwxyzABCDEFGHJKLMNPQRSTUVWXYZ23456789";
constexpr int kPassphraseLength = 12;

std::string TextAt(const uint8_t* p, std::size_t size) {
    const void* end = std::memchr(p, 0, size);
    return std::string(reinterpret_cast<const char*>(p),
                       end ? static_cast<const uint8_t*>(end) - p : static_cast<std::ptrdiff_t>(size));
}

// One request with the payload given; the result, the status and the answer's sentence.
SHotspotResult Send(uint32_t code, const uint8_t* payload, std::size_t size) {
    CCommVarList list;
    list.AddVarExt(0, code, nullptr, nullptr);
    CCommVar* var = list.GetVar(0);
    auto* block = reinterpret_cast<KCOM_REQUEST*>(var->GetBlock(0));
    if (size > 0) std::memcpy(block->payload, payload, size);
    var->DriverSend();
    SHotspotResult result;
    if (var->m_nLastResult != 0) {
        // The adapter's answer overwrites the record; one that never came leaves the passphrase.
        ::explicit_bzero(block->payload, KCOM_HOTSPOT_RECORD_SIZE);
        result.text = "the adapter did not answer";
        return result;
    }
    result.status = block->status;
    result.ok = block->status == KCOM_STATUS_SUCCESS;
    result.text = TextAt(block->payload, KCOM_HOTSPOT_TEXT_SIZE);
    if (!result.ok && result.text.empty()) result.text = TakeDriverRefusal();
    return result;
}

}  // namespace

SHotspotState ParseHotspotState(const uint8_t* p) {
    SHotspotState s;
    s.running = p[KCOM_HS_RUNNING] != 0;
    s.ours = p[KCOM_HS_OURS] != 0;
    s.control = p[KCOM_HS_CONTROL];
    s.security = p[KCOM_HS_SECURITY] <= KCOM_HOTSPOT_WPA2_WPA3 ? p[KCOM_HS_SECURITY] : -1;
    const uint8_t ability = p[KCOM_HS_ABILITY];
    s.canAp = ability & KCOM_HS_CAN_AP;
    s.apWithStation = ability & KCOM_HS_CAN_AP_AND_STATION;
    s.canControl = ability & KCOM_HS_CAN_CONTROL;
    s.sae = ability & KCOM_HS_CAN_SAE;
    s.bands = p[KCOM_HS_BANDS];
    std::memcpy(&s.freqMhz, p + KCOM_HS_FREQ, 4);
    s.ssid.assign(reinterpret_cast<const char*>(p + KCOM_HS_SSID),
                  std::min<std::size_t>(p[KCOM_HS_SSID_LEN], 32));
    s.note = TextAt(p + KCOM_HS_NOTE, KCOM_HS_CLIENTS - KCOM_HS_NOTE);
    uint32_t count = 0;
    std::memcpy(&count, p + KCOM_HS_CLIENT_COUNT, 4);
    count = std::min<uint32_t>(count, KCOM_HS_CLIENT_MAX);
    for (uint32_t i = 0; s.running && i < count; ++i) {
        const uint8_t* e = p + KCOM_HS_CLIENTS + KCOM_HS_CLIENT_SIZE * i;
        SHotspotClient client;
        char mac[18];
        std::snprintf(mac, sizeof mac, "%02x:%02x:%02x:%02x:%02x:%02x", e[0], e[1], e[2], e[3], e[4], e[5]);
        client.mac = mac;
        int32_t signal = 0;
        std::memcpy(&signal, e + 8, 4);
        client.hasSignal = signal != INT32_MIN;
        client.signalDbm = client.hasSignal ? signal : 0;
        uint64_t since = 0;
        std::memcpy(&since, e + 16, 8);
        client.sinceMs = static_cast<int64_t>(std::min<uint64_t>(since, INT64_MAX));
        s.clients.push_back(client);
    }
    return s;
}

std::optional<SHotspotState> ReadHotspot(std::string* error) {
    CCommVarList list;
    list.AddVarExt(OID_HOTSPOT_QUERY, 0, nullptr, nullptr);
    list.RefreshAll(false, false);
    CCommVar* var = list.GetVar(0);
    const auto* block = reinterpret_cast<const KCOM_REQUEST*>(var->GetBlock(0));
    if (var->m_nLastResult != 0 || block->status != KCOM_STATUS_SUCCESS) {
        if (error) {
            *error = TakeDriverRefusal();
            if (error->empty())
                *error =
                    var->m_nLastResult != 0 ? "the adapter did not answer" : "the adapter runs no hotspots";
        }
        return std::nullopt;
    }
    return ParseHotspotState(block->payload);
}

SHotspotResult StartHotspot(const kccl::SHotspotRecord& record) {
    uint8_t payload[KCOM_HOTSPOT_RECORD_SIZE];
    if (kccl::EncodeHotspotRecord(record, payload, sizeof payload) == 0) {
        SHotspotResult result;
        result.text = "the hotspot's name or passphrase is too long";
        return result;
    }
    SHotspotResult result = Send(OID_HOTSPOT_START, payload, sizeof payload);
    ::explicit_bzero(payload, sizeof payload);
    return result;
}

SHotspotResult StopHotspot() { return Send(OID_HOTSPOT_STOP, nullptr, 0); }

std::string DefaultHotspotName() {
    char host[256] = {};
    if (::gethostname(host, sizeof host - 1) != 0) host[0] = 0;
    std::string name(host);
    name = name.substr(0, name.find('.'));
    // Cut at 32 bytes, never within a UTF-8 sequence.
    if (name.size() > 32) {
        std::size_t cut = 32;
        while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) --cut;
        name.resize(cut);
    }
    return name.empty() || name == "localhost" ? std::string("Wavory Hotspot") : name;
}

std::string NewHotspotPassphrase() {
    constexpr unsigned kAlphabet = sizeof kPassphraseAlphabet - 1;
    // Bytes at or above the largest multiple of the alphabet's size are drawn again, so that every
    // character is as likely as any other.
    constexpr unsigned kLimit = 256 - 256 % kAlphabet;
    std::string out;
    uint8_t bytes[64];
    while (out.size() < kPassphraseLength) {
        ssize_t got = 0;
        do got = ::getrandom(bytes, sizeof bytes, 0);
        while (got < 0 && errno == EINTR);
        if (got <= 0) {
            kccl::SecureClear(out);
            return {};
        }
        for (ssize_t i = 0; i < got && out.size() < kPassphraseLength; ++i)
            if (bytes[i] < kLimit) out += kPassphraseAlphabet[bytes[i] % kAlphabet];
    }
    ::explicit_bzero(bytes, sizeof bytes);
    return out;
}

std::string HotspotUri(const kccl::SHotspotRecord& record) {
    WifiUri uri;
    uri.type = record.security == KCOM_HOTSPOT_OPEN   ? "nopass"
               : record.security == KCOM_HOTSPOT_WPA3 ? "SAE"
                                                      : "WPA";
    uri.ssid = record.ssid;
    uri.passphrase = record.passphrase;
    std::string error;
    std::string text = FormatWifiUri(uri, &error);
    kccl::SecureClear(uri.passphrase);
    return text;
}

std::string HotspotControlName(int control) { return ControlName(control, "unknown"); }

}  // namespace wavory
