// A connection history kept in memory: what the recorder wrote, in order, and an error to report.
#pragma once

#include <string>
#include <vector>

#include "base/History.h"

namespace wavory::test {

class CListHistory final : public IHistoryStore {
public:
    bool Add(const SHistoryEvent& event) override {
        events.push_back(event);
        return true;
    }
    std::vector<SHistoryEvent> Query(const SHistoryQuery&) override { return events; }
    const std::string& Error() const override { return error; }

    std::vector<SHistoryEvent> events;
    std::string error;
};

}  // namespace wavory::test
