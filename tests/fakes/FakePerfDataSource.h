#pragma once

#include "platform/IPerfDataSource.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

// Serves a recorded block the way the registry query does: "more data" while the caller's
// buffer is too small, or a chosen error. Remembers every buffer size it was offered, and
// every query and watch in order.
class CFakePerfDataSource : public IPerfDataSource {
public:
    long Query(uint8_t* buffer, uint32_t& size) override;
    void Watch(uint32_t uniqueId) override;
    uint64_t Layout() const override { return layout; }

    std::vector<uint8_t> block;
    // The block served while the instance of that unique id is watched, in place of block:
    // a source that reads the watched instance's counters only.
    std::map<uint32_t, std::vector<uint8_t>> whenWatched;
    long error = 0; // non-zero: every query fails with it
    std::vector<uint32_t> offered; // buffer sizes seen, in order
    int queries = 0;
    uint32_t watched = kNoInstance;
    uint64_t layout = kNoLayout; // set it only where the served blocks keep their layout
    std::vector<std::string> calls; // "query", "watch 7", in order
};
