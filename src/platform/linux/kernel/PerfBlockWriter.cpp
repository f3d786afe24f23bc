#include "platform/linux/kernel/PerfBlockWriter.h"

#include "platform/IPerfDataSource.h"
#include "platform/PerfLayout.h"

#include <cstring>
#include <iterator>

using namespace PerfLayout;

namespace {

constexpr uint32_t kBulkCount = 0x00010500; // PERF_COUNTER_BULK_COUNT: 64-bit, shown as a rate
constexpr uint32_t kLargeRawCount = 0x00010100; // PERF_COUNTER_LARGE_RAWCOUNT: 64-bit, as is
constexpr uint32_t kDetailNovice = 100;
constexpr uint32_t kNoUniqueId = UINT32_MAX;

struct Definition {
    uint32_t nameIndex;
    uint32_t type;
    uint32_t offset;
};
// Values sit after the counter block's 4-byte length, 8-byte aligned.
constexpr uint32_t kReceivedOffset = 8;
constexpr uint32_t kSentOffset = 16;
constexpr uint32_t kTotalOffset = 24;
constexpr uint32_t kBandwidthOffset = 32;
constexpr uint32_t kCounterBlockLength = 40;
constexpr Definition kDefinitions[] = { { kBytesReceived, kBulkCount, kReceivedOffset },
    { kBytesSent, kBulkCount, kSentOffset }, { kBytesTotal, kBulkCount, kTotalOffset },
    { kBandwidth, kLargeRawCount, kBandwidthOffset } };
constexpr uint32_t kNumCounters = std::size(kDefinitions);
constexpr uint32_t kObjectAndDefinitions = Object::kSize + kNumCounters * CounterDefinition::kSize;

// Names hold at most 15 bytes; each byte gives at most one UTF-16 unit.
constexpr size_t kMaxNameUnits = sizeof(LinkCounters::name);

void Put32(uint8_t* p, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = uint8_t(v >> (8 * i));
}

void Put64(uint8_t* p, uint64_t v)
{
    for (int i = 0; i < 8; ++i)
        p[i] = uint8_t(v >> (8 * i));
}

uint32_t Align8(uint32_t n)
{
    return (n + 7) & ~uint32_t(7);
}

size_t NameLength(const LinkCounters& link)
{
    return strnlen(link.name, sizeof(link.name));
}

// Bytes of the instance header plus the name with its NUL, padded to 8.
uint32_t InstanceLength(size_t units)
{
    return Align8(uint32_t(Instance::kSize + 2 * (units + 1)));
}

// An interface that does not carry its counters keeps a counter block of its length alone
// (8 bytes, so the next instance stays aligned): no counter lies inside it.
constexpr uint32_t kEmptyCounterBlockLength = 8;

uint32_t CounterBlockLength(size_t link, size_t counted)
{
    return counted == CPerfBlockWriter::kEveryLink || link == counted ? kCounterBlockLength
                                                                      : kEmptyCounterBlockLength;
}

size_t WideUnits(const LinkCounters& link)
{
    char16_t wide[kMaxNameUnits];
    char name[sizeof(link.name) + 1] = {};
    std::memcpy(name, link.name, NameLength(link));
    return CPerfBlockWriter::NameToWide(name, wide, kMaxNameUnits);
}

} // namespace

size_t CPerfBlockWriter::NameToWide(const char* name, char16_t* out, size_t capacity)
{
    size_t n = 0;
    const auto* s = reinterpret_cast<const unsigned char*>(name);
    auto put = [&](uint32_t c) {
        if (c >= 0x10000) {
            if (n + 2 > capacity)
                return false;
            c -= 0x10000;
            out[n++] = char16_t(0xD800 + (c >> 10));
            out[n++] = char16_t(0xDC00 + (c & 0x3FF));
            return true;
        }
        if (n + 1 > capacity)
            return false;
        out[n++] = char16_t(c);
        return true;
    };
    while (*s) {
        const unsigned char b = *s;
        uint32_t c = 0xFFFD;
        size_t len = 1;
        size_t need = 0;
        uint32_t min = 0;
        if (b < 0x80) {
            c = b;
        } else if (b >= 0xC2 && b <= 0xDF) {
            need = 1, c = b & 0x1F, min = 0x80;
        } else if (b >= 0xE0 && b <= 0xEF) {
            need = 2, c = b & 0x0F, min = 0x800;
        } else if (b >= 0xF0 && b <= 0xF4) {
            need = 3, c = b & 0x07, min = 0x10000;
        }
        if (need) {
            size_t i = 1;
            for (; i <= need && (s[i] & 0xC0) == 0x80; ++i)
                c = (c << 6) | (s[i] & 0x3F);
            if (i <= need || c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
                c = 0xFFFD; // a broken sequence: replace its first byte, go on after it
            } else {
                len = need + 1;
            }
        }
        if (!put(c))
            break;
        s += len;
    }
    return n;
}

uint64_t CPerfBlockWriter::RequiredSize(std::span<const LinkCounters> links, size_t counted)
{
    uint64_t size = DataBlock::kSize + kObjectAndDefinitions;
    for (size_t i = 0; i < links.size(); ++i)
        size += InstanceLength(WideUnits(links[i])) + CounterBlockLength(i, counted);
    return size;
}

uint32_t CPerfBlockWriter::Write(std::span<const LinkCounters> links, uint8_t* out, size_t counted)
{
    const uint64_t total = RequiredSize(links, counted);
    std::memset(out, 0, DataBlock::kSize + kObjectAndDefinitions);

    const char16_t signature[4] = { u'P', u'E', u'R', u'F' };
    for (int i = 0; i < 4; ++i) {
        out[2 * i] = uint8_t(signature[i]);
        out[2 * i + 1] = 0;
    }
    Put32(out + DataBlock::kLittleEndian, 1);
    Put32(out + DataBlock::kVersion, 1);
    Put32(out + DataBlock::kRevision, 1);
    Put32(out + DataBlock::kTotalByteLength, uint32_t(total));
    Put32(out + DataBlock::kHeaderLength, DataBlock::kSize);
    Put32(out + DataBlock::kNumObjectTypes, 1);
    Put32(out + DataBlock::kDefaultObject, kNetworkObject);

    uint8_t* object = out + DataBlock::kSize;
    Put32(object, uint32_t(total - DataBlock::kSize));
    Put32(object + Object::kDefinitionLength, kObjectAndDefinitions);
    Put32(object + Object::kHeaderLength, Object::kSize);
    Put32(object + Object::kObjectNameTitleIndex, kNetworkObject);
    Put32(object + Object::kObjectHelpTitleIndex, kNetworkObject + 1);
    Put32(object + Object::kDetailLevel, kDetailNovice);
    Put32(object + Object::kNumCounters, kNumCounters);
    Put32(object + Object::kNumInstances, uint32_t(links.size()));

    uint8_t* definition = object + Object::kSize;
    for (const Definition& d : kDefinitions) {
        Put32(definition, CounterDefinition::kSize);
        Put32(definition + CounterDefinition::kCounterNameTitleIndex, d.nameIndex);
        Put32(definition + CounterDefinition::kCounterHelpTitleIndex, d.nameIndex + 1);
        Put32(definition + CounterDefinition::kDetailLevel, kDetailNovice);
        Put32(definition + CounterDefinition::kCounterType, d.type);
        Put32(definition + CounterDefinition::kCounterSize, 8);
        Put32(definition + CounterDefinition::kCounterOffset, d.offset);
        definition += CounterDefinition::kSize;
    }

    uint32_t countedAt = 0;
    uint8_t* p = object + kObjectAndDefinitions;
    for (size_t i = 0; i < links.size(); ++i) {
        const LinkCounters& link = links[i];
        char name[sizeof(link.name) + 1] = {};
        std::memcpy(name, link.name, NameLength(link));
        char16_t wide[kMaxNameUnits];
        const size_t units = NameToWide(name, wide, kMaxNameUnits);
        const uint32_t length = InstanceLength(units);
        const uint32_t blockLength = CounterBlockLength(i, counted);
        std::memset(p, 0, length + blockLength);
        Put32(p, length);
        // The kernel's index identifies a link across renames; a name can come back as
        // another link.
        Put32(p + Instance::kUniqueId, link.index > 0 ? uint32_t(link.index) : kNoUniqueId);
        Put32(p + Instance::kNameOffset, Instance::kSize);
        Put32(p + Instance::kNameLength, uint32_t(2 * (units + 1)));
        for (size_t i = 0; i < units; ++i) {
            p[Instance::kSize + 2 * i] = uint8_t(wide[i]);
            p[Instance::kSize + 2 * i + 1] = uint8_t(wide[i] >> 8);
        }
        uint8_t* block = p + length;
        Put32(block, blockLength);
        if (blockLength == kCounterBlockLength) {
            WriteCounters(link, block);
            if (i == counted)
                countedAt = uint32_t(block - out);
        }
        p = block + blockLength;
    }
    return countedAt;
}

void CPerfBlockWriter::WriteCounters(const LinkCounters& link, uint8_t* counterBlock)
{
    Put64(counterBlock + kReceivedOffset, link.received);
    Put64(counterBlock + kSentOffset, link.sent);
    Put64(counterBlock + kTotalOffset, link.received + link.sent);
    Put64(counterBlock + kBandwidthOffset, link.bandwidth);
}

long CPerfBlockWriter::Answer(std::span<const uint8_t> block, uint8_t* buffer, uint32_t& size)
{
    if (block.size() > UINT32_MAX)
        return IPerfDataSource::kPerfFailure;
    if (buffer == nullptr || size < block.size()) {
        size = uint32_t(block.size());
        return IPerfDataSource::kPerfMoreData;
    }
    std::memcpy(buffer, block.data(), block.size());
    size = uint32_t(block.size());
    return IPerfDataSource::kPerfSuccess;
}

long CPerfBlockWriter::Answer(std::span<const LinkCounters> links, uint8_t* buffer, uint32_t& size)
{
    const uint64_t needed = RequiredSize(links);
    if (needed > UINT32_MAX)
        return IPerfDataSource::kPerfFailure;
    if (buffer == nullptr || size < needed) {
        size = uint32_t(needed);
        return IPerfDataSource::kPerfMoreData;
    }
    Write(links, buffer);
    size = uint32_t(needed);
    return IPerfDataSource::kPerfSuccess;
}
