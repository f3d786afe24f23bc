#include "traffic/PerfBlock.h"

#include "platform/PerfLayout.h"

#include <algorithm>
#include <cstring>

using namespace PerfLayout;

namespace {

// Smallest size of each record: enough to hold the last field the walk reads in it.
constexpr uint32_t kDataBlockSize = DataBlock::kNumObjectTypes + 4;
constexpr uint32_t kObjectSize = Object::kNumInstances + 4;
constexpr uint32_t kCounterDefinitionSize = CounterDefinition::kCounterOffset + 4;
constexpr uint32_t kInstanceSize = Instance::kNameOffset + 4;
constexpr uint32_t kCounterBlockSize = 4;

} // namespace

std::optional<CPerfBlock> CPerfBlock::QueryPerfData(IPerfDataSource& source)
{
    uint32_t size = kInitialSize;
    uint32_t capacity = size;
    auto buffer = std::make_unique_for_overwrite<uint8_t[]>(capacity);
    for (;;) {
        uint32_t length = size;
        const long rc = source.Query(buffer.get(), length);
        if (rc == IPerfDataSource::kPerfSuccess) {
            // A source never reports more than the buffer holds; a lying one is held to it.
            const size_t used = length <= size ? length : size;
            const uint8_t* data = buffer.get();
            return CPerfBlock(std::move(buffer), data, used, source.Layout());
        }
        if (rc != IPerfDataSource::kPerfMoreData)
            return std::nullopt;
        // Grow from the size the failed call left behind, as the registry protocol does,
        // but never below the buffer just refused: a source that shrinks the size would
        // otherwise keep the loop going at the same size for ever.
        const uint64_t next = uint64_t(length > size ? length : size) + kGrowthStep;
        if (next > kMaxSize)
            return std::nullopt;
        size = uint32_t(next);
        // The size offered grows a step at a time; the buffer behind it doubles, so that a
        // source that needs many steps costs few allocations.
        if (size > capacity) {
            capacity = uint32_t(
                std::min<uint64_t>(std::max<uint64_t>(size, uint64_t(capacity) * 2), kMaxSize));
            buffer.reset();
            buffer = std::make_unique_for_overwrite<uint8_t[]>(capacity);
        }
    }
}

CPerfBlock CPerfBlock::View(const uint8_t* data, size_t size)
{
    return CPerfBlock(nullptr, data, data ? size : 0);
}

bool CPerfBlock::Word(size_t pos, uint32_t& value) const
{
    if (pos > m_size || m_size - pos < 4)
        return false;
    const uint8_t* p = m_data + pos;
    value = uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
    return true;
}

CPerfBlock::Pos CPerfBlock::Step(Pos pos, uint32_t delta, uint32_t minSize) const
{
    const uint64_t next = uint64_t(pos) + delta;
    if (next + minSize > m_size || next >= kNone)
        return kNone;
    return Pos(next);
}

int32_t CPerfBlock::NumObjectTypes() const
{
    uint32_t n = 0;
    if (m_size < kDataBlockSize || !Word(DataBlock::kNumObjectTypes, n))
        return 0;
    return int32_t(n);
}

CPerfBlock::Pos CPerfBlock::FirstObject() const
{
    uint32_t header = 0;
    if (m_size < kDataBlockSize || !Word(DataBlock::kHeaderLength, header))
        return kNone;
    return Step(0, header, kObjectSize);
}

CPerfBlock::Pos CPerfBlock::NextObject(Pos object) const
{
    uint32_t total = 0;
    // An object shorter than its own header would never move the walk forward.
    if (object == kNone || !Word(object, total) || total < kObjectSize)
        return kNone;
    return Step(object, total, kObjectSize);
}

uint32_t CPerfBlock::ObjectNameTitleIndex(Pos object) const
{
    uint32_t index = 0;
    if (object == kNone || !Word(size_t(object) + Object::kObjectNameTitleIndex, index))
        return 0;
    return index;
}

CPerfBlock::Pos CPerfBlock::FirstCounter(Pos object) const
{
    uint32_t header = 0;
    if (object == kNone || !Word(size_t(object) + Object::kHeaderLength, header))
        return kNone;
    return Step(object, header, kCounterDefinitionSize);
}

CPerfBlock::Pos CPerfBlock::NextCounter(Pos counter) const
{
    uint32_t length = 0;
    if (counter == kNone || !Word(counter, length) || length < kCounterDefinitionSize)
        return kNone;
    return Step(counter, length, kCounterDefinitionSize);
}

int64_t CPerfBlock::FindCounterOffset(Pos object, uint32_t counterIndex) const
{
    return FindCounter(object, counterIndex).offset;
}

CPerfBlock::Counter CPerfBlock::FindCounter(Pos object, uint32_t counterIndex) const
{
    Counter result;
    uint32_t count = 0;
    if (object == kNone || !Word(size_t(object) + Object::kNumCounters, count))
        return result;
    Pos counter = FirstCounter(object);
    // The scan does not stop at a match: when several definitions carry the index, the
    // last one wins.
    for (uint32_t i = 0; i < count && counter != kNone; ++i) {
        uint32_t index = 0, size = 0, offset = 0;
        Word(size_t(counter) + CounterDefinition::kCounterNameTitleIndex, index);
        Word(size_t(counter) + CounterDefinition::kCounterSize, size);
        Word(size_t(counter) + CounterDefinition::kCounterOffset, offset);
        if (index == counterIndex)
            result = { offset, size == 8 ? 8u : 4u };
        counter = NextCounter(counter);
    }
    return result;
}

int32_t CPerfBlock::NumInstances(Pos object) const
{
    uint32_t n = 0;
    if (object == kNone || !Word(size_t(object) + Object::kNumInstances, n))
        return 0;
    // -1 is the value of an object without instances; it yields none like 0.
    return int32_t(n);
}

CPerfBlock::Pos CPerfBlock::FirstInstance(Pos object) const
{
    uint32_t definition = 0;
    if (object == kNone || !Word(size_t(object) + Object::kDefinitionLength, definition))
        return kNone;
    return Step(object, definition, kInstanceSize);
}

CPerfBlock::Pos CPerfBlock::CounterBlock(Pos instance) const
{
    uint32_t length = 0;
    if (instance == kNone || !Word(instance, length) || length < kInstanceSize)
        return kNone;
    return Step(instance, length, kCounterBlockSize);
}

uint32_t CPerfBlock::InstanceUniqueId(Pos instance) const
{
    uint32_t id = kNoUniqueId;
    if (instance == kNone || !Word(size_t(instance) + Instance::kUniqueId, id))
        return kNoUniqueId;
    return id;
}

CPerfBlock::Pos CPerfBlock::NextInstance(Pos instance) const
{
    const Pos block = CounterBlock(instance);
    uint32_t length = 0;
    if (block == kNone || !Word(block, length) || length < kCounterBlockSize)
        return kNone;
    return Step(block, length, kInstanceSize);
}

bool CPerfBlock::InstanceName(Pos instance, char (&out)[kNameCapacity + 1], size_t& length) const
{
    uint32_t nameOffset = 0;
    out[0] = '\0';
    length = 0;
    if (instance == kNone || !Word(size_t(instance) + Instance::kNameOffset, nameOffset))
        return false;
    const uint64_t start = uint64_t(instance) + nameOffset;
    if (start >= m_size)
        return false;
    // The name runs up to its NUL character, which must lie inside the block.
    const size_t units = (m_size - size_t(start)) / 2;
    const uint8_t* wide = m_data + start;
    size_t n = 0;
    while (n < units && (wide[2 * n] | wide[2 * n + 1]) != 0)
        ++n;
    if (n == units)
        return false;
    length = WideToAnsi(wide, n, out, kNameCapacity);
    return true;
}

bool CPerfBlock::CounterValue(Pos instance, int64_t k, uint32_t& value) const
{
    const Pos block = CounterBlock(instance);
    uint32_t length = 0;
    if (block == kNone || k < 0 || !Word(block, length))
        return false;
    if (uint64_t(k) + 4 > length)
        return false;
    return Word(size_t(block) + size_t(k), value);
}

bool CPerfBlock::CounterValue(Pos instance, const Counter& counter, uint64_t& value) const
{
    uint32_t low = 0, high = 0;
    if (!CounterValue(instance, counter.offset, low))
        return false;
    if (counter.size == 8 && !CounterValue(instance, counter.offset + 4, high))
        return false;
    value = uint64_t(high) << 32 | low;
    return true;
}

size_t CPerfBlock::WideToAnsi(const uint8_t* wide, size_t units, char* out, size_t capacity)
{
    // capacity counts the terminator, so at most capacity - 1 bytes of text.
    size_t used = 0;
    if (capacity == 0)
        return 0;
    for (size_t i = 0; i < units; ++i) {
        uint32_t c = uint32_t(wide[2 * i]) | uint32_t(wide[2 * i + 1]) << 8;
        if (c == 0)
            break;
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < units) {
            const uint32_t low = uint32_t(wide[2 * i + 2]) | uint32_t(wide[2 * i + 3]) << 8;
            if (low >= 0xDC00 && low <= 0xDFFF) {
                c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
                ++i;
            } else {
                c = 0xFFFD;
            }
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD; // an unpaired surrogate
        }
        char bytes[4];
        size_t n;
        if (c < 0x80) {
            bytes[0] = char(c);
            n = 1;
        } else if (c < 0x800) {
            bytes[0] = char(0xC0 | (c >> 6));
            bytes[1] = char(0x80 | (c & 0x3F));
            n = 2;
        } else if (c < 0x10000) {
            bytes[0] = char(0xE0 | (c >> 12));
            bytes[1] = char(0x80 | ((c >> 6) & 0x3F));
            bytes[2] = char(0x80 | (c & 0x3F));
            n = 3;
        } else {
            bytes[0] = char(0xF0 | (c >> 18));
            bytes[1] = char(0x80 | ((c >> 12) & 0x3F));
            bytes[2] = char(0x80 | ((c >> 6) & 0x3F));
            bytes[3] = char(0x80 | (c & 0x3F));
            n = 4;
        }
        // A character that does not fit whole is left out with everything after it.
        if (used + n > capacity - 1)
            break;
        std::memcpy(out + used, bytes, n);
        used += n;
    }
    out[used] = '\0';
    return used;
}
