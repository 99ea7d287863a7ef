// One driver variable: one to five request-code pairs with a request block each, the value as
// text, an optional bound control and a converter between payload and text.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "driver/BoundControl.h"
#include "driver/Converters.h"
#include "kccl.h"

namespace wavory {

struct SCodePair {
    uint32_t query;
    uint32_t set;
};

// The line the driver library gave for the last request it refused for want of a right (or because
// someone else runs the adapter), and cleared: the caller that reports the failure shows it in
// place of its own general message. Empty when the last failures had no such reason. Each thread
// has its own: the line is that of the calling thread's requests.
std::string TakeDriverRefusal();

class CCommVar {
public:
    static constexpr int kMaxPairs = 5;

    // Bound, one pair: reads at once and shows the value in the control.
    CCommVar(int ctrlId, uint32_t query, uint32_t set, IBoundControl* ctrl, PFNCONVERT convert);
    // Bound, several pairs (count is kept within 1..5): reads at once.
    CCommVar(int ctrlId, const SCodePair* pairs, int count, IBoundControl* ctrl, PFNCONVERT convert);
    // Unbound, one pair, no read. With a text the result lands there and the caller keeps it.
    CCommVar(uint32_t query, uint32_t set, std::string* text, PFNCONVERT convert);
    virtual ~CCommVar();

    CCommVar(const CCommVar&) = delete;
    CCommVar& operator=(const CCommVar&) = delete;

    // Reads every pair in turn; shows the text in the bound control when asked and all went through.
    void DriverRecv(bool updateControl);
    // Writes every pair in turn from the text; never touches the control.
    void DriverSend();
    // Request block i (0 .. pairs − 1), for callers that read payloads directly.
    uint8_t* GetBlock(int i);
    // Shows the given text (or the variable's own) in the bound control.
    void ShowInControl(const std::string* text = nullptr);

    const std::string& Text() const { return *m_pText; }

    bool m_bSuccess = false;
    // The library's result for this variable's last request: 0 when it was carried out (whatever
    // its status), else why not (KCOM_RESULT_BUSY, KCOM_RESULT_NO_LINK, ...).
    int m_nLastResult = 0;

private:
    void Init(int ctrlId, const SCodePair* pairs, int count, IBoundControl* ctrl, PFNCONVERT convert,
              std::string* text);
    bool EnsureLink();
    void LinkFailed();
    // Opens the link if needed and starts an operation as successful; false when there is no link.
    bool Begin();
    // Hands one block to the library; false (the operation failed and ends) when it was not processed.
    bool Exec(KCOM_REQUEST& block, const char* exceptionTrace);

    std::array<SCodePair, kMaxPairs> m_Codes{};
    // One zeroed block per pair in use, side by side (a converter reaches block i from block 0);
    // pairs that are not in use get none.
    std::unique_ptr<KCOM_REQUEST[]> m_Requests;
    int m_nCtrlId = 0;
    int m_nCount = 1;
    std::string* m_pText = nullptr;
    bool m_bOwnsText = false;
    PFNCONVERT m_pfnConvert = nullptr;
    IBoundControl* m_pCtrl = nullptr;
};

}  // namespace wavory
