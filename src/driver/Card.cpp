#include "driver/Card.h"

#include "driver/Format.h"

namespace wavory {

CCardMngr::CCardMngr() {
    for (int i = 0; i < CARD_COUNT; ++i)
        Add(StrFormat("Card %d", i), std::make_unique<CCard>(StrFormat("Wavory Utility #%d", i)));
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
