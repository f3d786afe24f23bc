#pragma once

#include "platform/IPerfDataSource.h"

#include <cstdint>
#include <vector>

// Serves a recorded block the way the registry query does: "more data" while the caller's
// buffer is too small, or a chosen error. Remembers every buffer size it was offered.
class CFakePerfDataSource : public IPerfDataSource {
public:
    long Query(uint8_t* buffer, uint32_t& size) override;

    std::vector<uint8_t> block;
    long error = 0; // non-zero: every query fails with it
    std::vector<uint32_t> offered; // buffer sizes seen, in order
    int queries = 0;
};
