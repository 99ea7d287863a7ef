#include "survey/LastDisconnect.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "driver/CommVar.h"
#include "driver/CommVarList.h"
#include "driver/Request.h"

namespace wavory {

namespace {

uint32_t U32At(const uint8_t* p, std::size_t off) {
    uint32_t v = 0;
    std::memcpy(&v, p + off, 4);
    return v;
}

std::string BssidText(const uint8_t* b) {
    char text[18];
    std::snprintf(text, sizeof text, "%.2X-%.2X-%.2X-%.2X-%.2X-%.2X", b[0], b[1], b[2], b[3], b[4], b[5]);
    return text;
}

}  // namespace

SLastDisconnect ParseLastDisconnect(const uint8_t* p) {
    auto u32 = [p](std::size_t off) { return U32At(p, off); };
    SLastDisconnect drop;
    drop.count = u32(KCOM_DISC_COUNT);
    drop.reason = u32(KCOM_DISC_REASON);
    drop.initiator = kccl::InitiatorFromValue(u32(KCOM_DISC_BY));
    const std::size_t ssidLen = std::min<std::size_t>(p[KCOM_DISC_SSID_LEN], 32);
    drop.ssid.assign(reinterpret_cast<const char*>(p + KCOM_DISC_SSID), ssidLen);
    drop.bssid = BssidText(p + KCOM_DISC_BSSID);
    uint64_t ms = 0;
    std::memcpy(&ms, p + KCOM_DISC_TIME, 8);
    drop.timeMs = static_cast<int64_t>(std::min<uint64_t>(ms, INT64_MAX));
    return drop;
}

namespace {

// One query of an adapter's record (its first field is the count); nothing when the request fails
// or the count is still 0.
template <typename T>
std::optional<T> ReadRecord(uint32_t oid, T (*parse)(const uint8_t*)) {
    CCommVarList list;
    list.AddVarExt(oid, 0, nullptr, nullptr);
    list.RefreshAll(false, false);
    CCommVar* var = list.GetVar(0);
    const auto* block = reinterpret_cast<const KCOM_REQUEST*>(var->GetBlock(0));
    if (var->m_nLastResult != 0 || block->status != KCOM_STATUS_SUCCESS) return std::nullopt;
    T record = parse(block->payload);
    if (record.count == 0) return std::nullopt;
    return record;
}

}  // namespace

std::optional<SLastDisconnect> ReadLastDisconnect() { return ReadRecord(OID_LAST_DISCONNECT, &ParseLastDisconnect); }

const char* RoamTriggerKey(SLastRoam::ETrigger trigger) {
    switch (trigger) {
        case SLastRoam::ETrigger::ApRequest:
            return "ap-request";
        case SLastRoam::ETrigger::Signal:
            return "signal";
        case SLastRoam::ETrigger::ApGone:
            return "ap-gone";
        default:
            return "unknown";
    }
}

std::string RoamTriggerText(SLastRoam::ETrigger trigger) {
    switch (trigger) {
        case SLastRoam::ETrigger::ApRequest:
            return "the access point asked it to move (BSS transition request)";
        case SLastRoam::ETrigger::Signal:
            return "another access point of the network was heard better";
        case SLastRoam::ETrigger::ApGone:
            return "the access point it was on went away";
        default:
            return "";
    }
}

SLastRoam ParseLastRoam(const uint8_t* p) {
    auto u32 = [p](std::size_t off) { return U32At(p, off); };
    SLastRoam roam;
    roam.count = u32(KCOM_ROAM_COUNT);
    switch (u32(KCOM_ROAM_BY)) {
        case KCOM_ROAM_BY_AP_REQUEST:
            roam.trigger = SLastRoam::ETrigger::ApRequest;
            break;
        case KCOM_ROAM_BY_SIGNAL:
            roam.trigger = SLastRoam::ETrigger::Signal;
            break;
        case KCOM_ROAM_BY_AP_GONE:
            roam.trigger = SLastRoam::ETrigger::ApGone;
            break;
        default:
            break;
    }
    roam.fromBssid = BssidText(p + KCOM_ROAM_FROM_BSSID);
    roam.toBssid = BssidText(p + KCOM_ROAM_TO_BSSID);
    roam.fromSignalDbm = static_cast<int32_t>(u32(KCOM_ROAM_FROM_SIGNAL));
    uint64_t ms = 0;
    std::memcpy(&ms, p + KCOM_ROAM_TIME, 8);
    roam.timeMs = static_cast<int64_t>(std::min<uint64_t>(ms, INT64_MAX));
    return roam;
}

std::optional<SLastRoam> ReadLastRoam() { return ReadRecord(OID_LAST_ROAM, &ParseLastRoam); }

}  // namespace wavory
