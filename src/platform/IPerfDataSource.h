#pragma once

#include <cstdint>

// The source of the performance-data block of the network interface object. It answers
// like the registry query it stands in for: kPerfSuccess with the block in the buffer and
// size set to its length, kPerfMoreData when the buffer of the given size is too small
// (size may be left changed), or another error code.
//
// Every block lists every instance, in order. A source may read the counters of the watched
// instance only: the counter block of every other instance is then empty (its length and
// nothing else), so an instance carries counters read for this block or none, never older
// ones. A source may also say when its blocks change in more than counter values, so a
// reader need not walk a block again to find what it found before.
class IPerfDataSource {
public:
    static constexpr long kPerfSuccess = 0;
    static constexpr long kPerfMoreData = 234;
    // What a source answers when the system will not give it the counters.
    static constexpr long kPerfFailure = 31;
    static constexpr uint32_t kNoInstance = UINT32_MAX;
    static constexpr uint64_t kNoLayout = 0;

    virtual ~IPerfDataSource() = default;
    virtual long Query(uint8_t* buffer, uint32_t& size) = 0;
    // From the next query on, reads the counters of the instance with this unique id
    // (kNoInstance: of none). A source that reads every instance's counters ignores it.
    virtual void Watch(uint32_t uniqueId) = 0;
    // The layout of the block the last query answered: while it stays the same, blocks
    // differ in counter values only (the same bytes everywhere else). kNoLayout: unknown,
    // every block may differ in anything.
    virtual uint64_t Layout() const = 0;
};
