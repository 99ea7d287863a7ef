#include "driver/Card.h"

#include <algorithm>
#include <vector>

#include "driver/Format.h"
#include "kccl_adapters.h"

namespace wavory {

CCardMngr::CCardMngr() {
    // One entry per adapter the driver library can serve: the wireless interfaces, then the
    // simulated adapter. The one in use is the current entry.
    std::vector<KCCL_ADAPTER> adapters(16);
    const int count = kccl_list_adapters(adapters.data(), static_cast<int>(adapters.size()));
    adapters.resize(static_cast<std::size_t>(std::clamp(count, 0, static_cast<int>(adapters.size()))));
    int i = 0;
    for (const KCCL_ADAPTER& adapter : adapters) {
        const std::string key = StrFormat("Card %d", i++);
        auto card = std::make_unique<CCard>(adapter.name);
        card->m_strInfo1 = adapter.driver;
        card->m_strInfo2 = adapter.mac;
        if (adapter.in_use) m_strCurrent = key;
        Add(key, std::move(card));
    }
}

CCardMngr::~CCardMngr() {
    while (!m_Cards.empty()) Remove(m_Cards.begin()->first);
}

void CCardMngr::Add(const std::string& key, std::unique_ptr<CCard> card) { m_Cards[key] = std::move(card); }

void CCardMngr::Remove(const std::string& key) { m_Cards.erase(key); }

const CCard* CCardMngr::Find(const std::string& key) const {
    auto it = m_Cards.find(key);
    return it == m_Cards.end() ? nullptr : it->second.get();
}

}  // namespace wavory
