#pragma once

#include <cstdint>

// The source of the performance-data block of the network interface object. It answers
// like the registry query it stands in for: kPerfSuccess with the block in the buffer and
// size set to its length, kPerfMoreData when the buffer of the given size is too small
// (size may be left changed), or another error code.
class IPerfDataSource {
public:
    static constexpr long kPerfSuccess = 0;
    static constexpr long kPerfMoreData = 234;
    // What a source answers when the system will not give it the counters.
    static constexpr long kPerfFailure = 31;

    virtual ~IPerfDataSource() = default;
    virtual long Query(uint8_t* buffer, uint32_t& size) = 0;
};
