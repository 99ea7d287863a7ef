// An interface run by a program the utility cannot change it through (ConnMan): every change
// is refused with a status that names that program; reads go to the kernel as for any interface.
#pragma once

#include <string>

#include "AdapterControl.h"
#include "Refusal.h"
#include "kccl_oid.h"

namespace wavory::kccl {

class CReadOnlyControl final : public IAdapterControl {
public:
    CReadOnlyControl(std::string ifname, uint32_t status) : m_Ifname(std::move(ifname)), m_nStatus(status) {}

    uint32_t StartScan() override { return m_nStatus; }
    uint32_t Disconnect() override { return m_nStatus; }
    uint32_t SetPowerSave(uint32_t, const SJoinSettings&) override { return m_nStatus; }
    SJoinOutcome CheckJoin(const SJoinSettings&) override {
        SJoinOutcome out;
        out.cause = KCOM_CAUSE_UNSUPPORTED;
        out.detail = RefusalText(m_nStatus, m_Ifname, {});
        out.status = m_nStatus;
        return out;
    }
    SJoinOutcome Join(const SJoinSettings& settings, CJoinContext&) override { return CheckJoin(settings); }
    std::string NoHotspotReason() override { return RefusalText(m_nStatus, m_Ifname, {}); }

private:
    std::string m_Ifname;
    uint32_t m_nStatus;
};

}  // namespace wavory::kccl
