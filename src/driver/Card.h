// The application's fixed list of named adapter entries. Requests always go to the one adapter
// the driver library found; this list routes nothing.
#pragma once

#include <map>
#include <memory>
#include <string>

namespace wavory {

class CCard {
public:
    explicit CCard(std::string name) : m_strName(std::move(name)) {}
    virtual ~CCard() = default;

    std::string m_strName;
    std::string m_strInfo1;
    std::string m_strInfo2;
};

class CCardMngr {
public:
    static constexpr int CARD_COUNT = 3;

    CCardMngr();
    virtual ~CCardMngr();

    CCardMngr(const CCardMngr&) = delete;
    CCardMngr& operator=(const CCardMngr&) = delete;

    void Add(const std::string& key, std::unique_ptr<CCard> card);
    void Remove(const std::string& key);
    const CCard* Find(const std::string& key) const;
    std::size_t GetCount() const { return m_Cards.size(); }

    std::string m_strCurrent;

private:
    std::map<std::string, std::unique_ptr<CCard>> m_Cards;
};

}  // namespace wavory
