#pragma once

#include "platform/IPerfDataSource.h"
#include "platform/PerfLayout.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>

// One performance-data block of the network interface object, and the walk over it.
//
// The block follows the published performance-data layout: a data-block header, object
// records, each with its counter definitions and its instances, each instance with its
// UTF-16LE name and its counter block. Every field read is a little-endian 32-bit word.
// The walk trusts nothing: every record, name and counter value is checked against the
// length the query returned, and every step must move forward, so a block that lies ends
// the walk early instead of reading past the buffer or looping forever.
class CPerfBlock {
public:
    static constexpr uint32_t kNetworkObject = PerfLayout::kNetworkObject;
    static constexpr uint32_t kInitialSize = 40960;
    static constexpr uint32_t kGrowthStep = 40960;
    // The growth loop gives up here rather than growing without end.
    static constexpr uint32_t kMaxSize = 64u * 1024 * 1024;
    // Output capacity of a converted name, terminator included.
    static constexpr size_t kNameCapacity = 255;

    // Positions are byte offsets from the start of the block; kNone ends a walk.
    using Pos = uint32_t;
    static constexpr Pos kNone = UINT32_MAX;

    // Queries the source with the growing buffer; empty on failure. May throw bad_alloc.
    static std::optional<CPerfBlock> QueryPerfData(IPerfDataSource& source);
    // A block over bytes it does not own (recorded blocks, fuzz input).
    static CPerfBlock View(const uint8_t* data, size_t size);

    CPerfBlock(CPerfBlock&&) noexcept = default;
    CPerfBlock& operator=(CPerfBlock&&) noexcept = default;

    const uint8_t* Data() const { return m_data; }
    size_t Size() const { return m_size; }
    // The source's layout of this block (IPerfDataSource::Layout); kNoLayout for a view.
    uint64_t Layout() const { return m_layout; }

    int32_t NumObjectTypes() const;
    Pos FirstObject() const;
    Pos NextObject(Pos object) const;
    uint32_t ObjectNameTitleIndex(Pos object) const;
    Pos FirstCounter(Pos object) const;
    Pos NextCounter(Pos counter) const;
    // The CounterOffset of the last definition with that name index, or -1. Wider than
    // the field, so an offset of 2^31 or more stays an offset (outside any counter block)
    // instead of turning into "no such counter".
    int64_t FindCounterOffset(Pos object, uint32_t counterIndex) const;
    // Where a counter sits in every counter block of an object, and how wide it is.
    struct Counter {
        int64_t offset = -1; // -1: the object has no such counter
        uint32_t size = 4; // the definition's CounterSize: 8 for a 64-bit counter
    };
    // The last definition with that name index, as FindCounterOffset finds it.
    Counter FindCounter(Pos object, uint32_t counterIndex) const;
    int32_t NumInstances(Pos object) const;
    Pos FirstInstance(Pos object) const;
    Pos CounterBlock(Pos instance) const;
    // The instance's UniqueID (the Linux source puts the kernel's interface index there);
    // kNoUniqueId when it has none.
    static constexpr uint32_t kNoUniqueId = UINT32_MAX;
    uint32_t InstanceUniqueId(Pos instance) const;
    Pos NextInstance(Pos instance) const;
    // The instance's name converted to UTF-8 into out (capacity kNameCapacity + 1 bytes);
    // cut at the last whole character that fits. False when the name is not in the block.
    bool InstanceName(Pos instance, char (&out)[kNameCapacity + 1], size_t& length) const;
    // The 32-bit word at offset k of the instance's counter block; false when k lies
    // outside the counter block or the buffer.
    bool CounterValue(Pos instance, int64_t k, uint32_t& value) const;
    // The counter's value, read whole: 64 bits for an 8-byte counter, else 32. False when it
    // does not lie wholly inside the counter block and the buffer.
    bool CounterValue(Pos instance, const Counter& counter, uint64_t& value) const;

    // Visits every network interface object (kNetworkObject) in block order until fn returns true.
    template <class Fn> void ForEachNetworkObject(Fn&& fn) const
    {
        const int32_t count = NumObjectTypes();
        Pos object = FirstObject();
        for (int32_t i = 0; i < count && object != kNone; ++i) {
            if (ObjectNameTitleIndex(object) == kNetworkObject && fn(object))
                return;
            object = NextObject(object);
        }
    }

    // Visits the object's instances in block order until fn returns true.
    template <class Fn> void ForEachInstance(Pos object, Fn&& fn) const
    {
        const int32_t count = NumInstances(object);
        Pos instance = FirstInstance(object);
        for (int32_t i = 0; i < count && instance != kNone; ++i) {
            if (fn(instance))
                return;
            instance = NextInstance(instance);
        }
    }

    // UTF-16LE up to its NUL (at most units code units) to UTF-8, cut at a whole character.
    static size_t WideToAnsi(const uint8_t* wide, size_t units, char* out, size_t capacity);

private:
    CPerfBlock(std::unique_ptr<uint8_t[]> owned, const uint8_t* data, size_t size,
        uint64_t layout = IPerfDataSource::kNoLayout)
        : m_owned(std::move(owned))
        , m_data(data)
        , m_size(size)
        , m_layout(layout)
    {
    }
    // The word at pos, or false when pos + 4 lies past the block.
    bool Word(size_t pos, uint32_t& value) const;
    // pos + delta when the result leaves room for a record of minSize bytes, else kNone.
    Pos Step(Pos pos, uint32_t delta, uint32_t minSize) const;

    std::unique_ptr<uint8_t[]> m_owned;
    const uint8_t* m_data = nullptr;
    size_t m_size = 0;
    uint64_t m_layout = IPerfDataSource::kNoLayout;
};
