#include "driver/CommVar.h"

#include <string.h>

#include <algorithm>

#include "base/AppBase.h"
#include "base/Trace.h"
#include "kccl_adapters.h"

namespace wavory {

namespace {

// Each thread keeps the refusal of its own requests: the polling thread's automatic selection
// must not take the one the window is about to show, nor the other way round.
thread_local std::string g_strRefusal;

void NoteRefusal(uint32_t status) {
    char text[512];
    if (kccl_status_message(status, text, sizeof text) <= 0) return;
    g_strRefusal = text;
}

}  // namespace

std::string TakeDriverRefusal() {
    std::string text;
    text.swap(g_strRefusal);
    return text;
}

CCommVar::CCommVar(int ctrlId, uint32_t query, uint32_t set, IBoundControl* ctrl, PFNCONVERT convert) {
    const SCodePair pair{query, set};
    Init(ctrlId, &pair, 1, ctrl, convert, nullptr);
    DriverRecv(true);
}

CCommVar::CCommVar(int ctrlId, const SCodePair* pairs, int count, IBoundControl* ctrl, PFNCONVERT convert) {
    Init(ctrlId, pairs, count, ctrl, convert, nullptr);
    DriverRecv(true);
}

CCommVar::CCommVar(uint32_t query, uint32_t set, std::string* text, PFNCONVERT convert) {
    const SCodePair pair{query, set};
    Init(0, &pair, 1, nullptr, convert, text);
}

CCommVar::~CCommVar() {
    // A block of a key or passphrase set still holds it: nothing of it stays in freed memory.
    if (m_Requests)
        ::explicit_bzero(m_Requests.get(), sizeof(KCOM_REQUEST) * static_cast<std::size_t>(m_nCount));
    if (m_bOwnsText) delete m_pText;
}

void CCommVar::Init(int ctrlId, const SCodePair* pairs, int count, IBoundControl* ctrl, PFNCONVERT convert,
                    std::string* text) {
    m_nCount = std::clamp(count, 1, kMaxPairs);
    std::copy(pairs, pairs + m_nCount, m_Codes.begin());
    m_Requests = std::make_unique<KCOM_REQUEST[]>(static_cast<std::size_t>(m_nCount));
    m_nCtrlId = ctrlId;
    m_pCtrl = ctrlId != 0 ? ctrl : nullptr;
    m_pfnConvert = convert;
    m_bOwnsText = text == nullptr;
    m_pText = text ? text : new std::string();
}

bool CCommVar::EnsureLink() {
    if (!theApp.m_bDriverConnected) theApp.ConnectDriver();
    return theApp.m_bDriverConnected;
}

void CCommVar::LinkFailed() {
    m_bSuccess = false;
    // A refused request may mean the adapter went away: the next operation opens the link again,
    // so an adapter that is plugged back in is found without restarting.
    theApp.m_bDriverConnected = false;
}

uint8_t* CCommVar::GetBlock(int i) {
    return reinterpret_cast<uint8_t*>(&m_Requests[static_cast<std::size_t>(std::clamp(i, 0, m_nCount - 1))]);
}

bool CCommVar::Begin() {
    m_bSuccess = EnsureLink();
    m_nLastResult =
        m_bSuccess ? 0 : (theApp.m_nDriverResult != 0 ? theApp.m_nDriverResult.load() : KCOM_RESULT_NO_LINK);
    return m_bSuccess;
}

bool CCommVar::Exec(KCOM_REQUEST& block, const char* exceptionTrace) {
    try {
        const int result = kcom_exec_oid(&block);
        theApp.m_nDriverResult = result;
        m_nLastResult = result;
        if (result == 0) {
            // A status other than 2 fails the variable but does not stop the sequence.
            m_bSuccess = m_bSuccess && block.status == KCOM_STATUS_SUCCESS;
            if (block.status != KCOM_STATUS_SUCCESS) NoteRefusal(block.status);
            return true;
        }
        if (result == KCOM_RESULT_BUSY)
            m_bSuccess = false;  // another program holds the adapter: the link itself is fine
        else
            LinkFailed();
    } catch (...) {
        Trace("%s", exceptionTrace);
        m_bSuccess = false;
        m_nLastResult = KCOM_RESULT_NO_ADAPTER;
    }
    return false;
}

void CCommVar::DriverRecv(bool updateControl) {
    if (!Begin()) return;
    for (int i = 0; i < m_nCount; ++i) {
        KCOM_REQUEST& block = m_Requests[static_cast<std::size_t>(i)];
        if (m_pfnConvert) m_pfnConvert(GetBlock(0), m_pText, CONV_BEFORE_QUERY);
        block.code = m_Codes[static_cast<std::size_t>(i)].query;
        if (!Exec(block, "DriverRecv Exception Occured")) return;
        if (m_pfnConvert) m_pfnConvert(GetBlock(0), m_pText, CONV_AFTER_QUERY);
    }
    if (updateControl && m_nCtrlId != 0) ShowInControl(m_pText);
}

void CCommVar::DriverSend() {
    if (!Begin()) return;
    for (int i = 0; i < m_nCount; ++i) {
        KCOM_REQUEST& block = m_Requests[static_cast<std::size_t>(i)];
        block.code = m_Codes[static_cast<std::size_t>(i)].set;
        if (m_pfnConvert) m_pfnConvert(GetBlock(0), m_pText, CONV_BEFORE_SET);
        if (!Exec(block, "DriverSend Exception Occured")) return;
    }
}

void CCommVar::ShowInControl(const std::string* text) {
    if (m_nCtrlId == 0 || !m_pCtrl) return;
    m_pCtrl->SetText(text ? *text : *m_pText);
}

}  // namespace wavory
