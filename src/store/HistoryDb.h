// The connection history: joins, connections, roams, disconnects and per-minute link summaries,
// kept in a small SQLite file of the user's own ($XDG_STATE_HOME/wavory/history.db). Bounded: events
// older than 90 days and all but the newest 20,000 are dropped as new ones come, and the minutes'
// summaries beyond a week. No secrets go in:
// network names, access points, radio figures and reasons only. Several programs of the user may
// record at once (the window, wavoryctl watch); each event is written once.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/History.h"

namespace wavory {

class CHistoryDb final : public IHistoryStore {
public:
    static constexpr int64_t kMaxEvents = 20000;
    static constexpr int64_t kMaxAgeMs = 90LL * 24 * 3600 * 1000;
    // The minutes' summaries: a week of them.
    static constexpr int64_t kMaxLinks = 7 * 24 * 60;
    static constexpr int64_t kMaxLinkAgeMs = 7LL * 24 * 3600 * 1000;

    // $XDG_STATE_HOME/wavory/history.db, else ~/.local/state/wavory/history.db.
    static std::string DefaultPath();

    // Opens (or creates, private to the user) the file. A damaged file is moved aside (its name
    // then ends in ".damaged-<time>") and a new one started; Notice() says so. Check Ok().
    explicit CHistoryDb(std::string path = DefaultPath());
    ~CHistoryDb() override;
    CHistoryDb(const CHistoryDb&) = delete;
    CHistoryDb& operator=(const CHistoryDb&) = delete;

    bool Ok() const { return m_pDb != nullptr; }
    // Why the file could not be used (with Ok() false), or what was done to open it (a damaged
    // file moved aside); empty otherwise.
    const std::string& Error() const override { return m_strError; }
    const std::string& Notice() const { return m_strNotice; }
    const std::string& Path() const { return m_strPath; }

    // Records an event; false (Error() says why) when it could not be written. An event another
    // recorder has written already is not written again (true): a connection or roam to where the
    // history says the station is already, a disconnect where it says the station is off that
    // network already (the adapter's initiator and reason then complete one written without them),
    // an event whose key is there already.
    bool Add(const SHistoryEvent& event) override;
    std::vector<SHistoryEvent> Query(const SHistoryQuery& query) override;
    // The number of events held (for tests and the size figure).
    int64_t Count();

    // Bounds (tests make them small): of the events, and of the minutes' summaries.
    void SetBounds(int64_t maxEvents, int64_t maxAgeMs, int64_t maxLinks, int64_t maxLinkAgeMs) {
        m_nMaxEvents = maxEvents;
        m_nMaxAgeMs = maxAgeMs;
        m_nMaxLinks = maxLinks;
        m_nMaxLinkAgeMs = maxLinkAgeMs;
    }

private:
    bool Open();
    bool Exec(const char* sql);
    bool Fail(const std::string& what);
    // Whether the newest connect, roam or disconnect already puts the station where `event` says;
    // for a disconnect, `untold` is that disconnect's id when it was written without its initiator.
    bool AlreadyThere(const SHistoryEvent& event, bool* there, int64_t* untold);

    std::string m_strPath;
    sqlite3* m_pDb = nullptr;
    std::string m_strError;
    std::string m_strNotice;
    int64_t m_nMaxEvents = kMaxEvents;
    int64_t m_nMaxAgeMs = kMaxAgeMs;
    int64_t m_nMaxLinks = kMaxLinks;
    int64_t m_nMaxLinkAgeMs = kMaxLinkAgeMs;
};

}  // namespace wavory
