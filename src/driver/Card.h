// The application's list of adapter entries: what the driver library can serve (name, driver in
// m_strInfo1, MAC address in m_strInfo2). Requests always go to the one adapter the library chose
// when the link was opened; this list routes nothing.
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
    CCardMngr();
    virtual ~CCardMngr();

    CCardMngr(const CCardMngr&) = delete;
    CCardMngr& operator=(const CCardMngr&) = delete;

    void Add(const std::string& key, std::unique_ptr<CCard> card);
    void Remove(const std::string& key);
    const CCard* Find(const std::string& key) const;
    std::size_t GetCount() const { return m_Cards.size(); }

    std::string m_strCurrent;  // key of the entry in use; empty when none is

private:
    std::map<std::string, std::unique_ptr<CCard>> m_Cards;
};

}  // namespace wavory
