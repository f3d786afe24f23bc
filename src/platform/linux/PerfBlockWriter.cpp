#include "platform/linux/PerfBlockWriter.h"

#include "platform/IPerfDataSource.h"

#include <cstring>

namespace {

constexpr uint32_t kNetworkObject = 510;
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
constexpr Definition kDefinitions[] = { { 264, kBulkCount, 8 }, { 506, kBulkCount, 16 },
    { 388, kBulkCount, 24 }, { 520, kLargeRawCount, 32 } };

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
    return Align8(uint32_t(24 + 2 * (units + 1)));
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

uint64_t CPerfBlockWriter::RequiredSize(std::span<const LinkCounters> links)
{
    uint64_t size = kDataBlockHeader + kObjectHeader + 4 * kCounterDefinition;
    for (const LinkCounters& link : links)
        size += InstanceLength(WideUnits(link)) + kCounterBlock;
    return size;
}

void CPerfBlockWriter::Write(std::span<const LinkCounters> links, uint8_t* out)
{
    const uint64_t total = RequiredSize(links);
    std::memset(out, 0, kDataBlockHeader + kObjectHeader + 4 * kCounterDefinition);

    const char16_t signature[4] = { u'P', u'E', u'R', u'F' };
    for (int i = 0; i < 4; ++i) {
        out[2 * i] = uint8_t(signature[i]);
        out[2 * i + 1] = 0;
    }
    Put32(out + 8, 1); // LittleEndian
    Put32(out + 12, 1); // Version
    Put32(out + 16, 1); // Revision
    Put32(out + 20, uint32_t(total));
    Put32(out + 24, kDataBlockHeader);
    Put32(out + 28, 1); // NumObjectTypes
    Put32(out + 32, kNetworkObject);

    uint8_t* object = out + kDataBlockHeader;
    const uint32_t definitionLength = kObjectHeader + 4 * kCounterDefinition;
    Put32(object + 0, uint32_t(total - kDataBlockHeader));
    Put32(object + 4, definitionLength);
    Put32(object + 8, kObjectHeader);
    Put32(object + 12, kNetworkObject);
    Put32(object + 20, kNetworkObject + 1);
    Put32(object + 28, kDetailNovice);
    Put32(object + 32, 4);
    Put32(object + 40, uint32_t(links.size()));

    uint8_t* definition = object + kObjectHeader;
    for (const Definition& d : kDefinitions) {
        Put32(definition + 0, kCounterDefinition);
        Put32(definition + 4, d.nameIndex);
        Put32(definition + 12, d.nameIndex + 1);
        Put32(definition + 24, kDetailNovice);
        Put32(definition + 28, d.type);
        Put32(definition + 32, 8);
        Put32(definition + 36, d.offset);
        definition += kCounterDefinition;
    }

    uint8_t* p = object + definitionLength;
    for (const LinkCounters& link : links) {
        char name[sizeof(link.name) + 1] = {};
        std::memcpy(name, link.name, NameLength(link));
        char16_t wide[kMaxNameUnits];
        const size_t units = NameToWide(name, wide, kMaxNameUnits);
        const uint32_t length = InstanceLength(units);
        std::memset(p, 0, length + kCounterBlock);
        Put32(p + 0, length);
        // The kernel's index identifies a link across renames; a name can come back as
        // another link.
        Put32(p + 12, link.index > 0 ? uint32_t(link.index) : kNoUniqueId);
        Put32(p + 16, kInstanceHeader);
        Put32(p + 20, uint32_t(2 * (units + 1)));
        for (size_t i = 0; i < units; ++i) {
            p[kInstanceHeader + 2 * i] = uint8_t(wide[i]);
            p[kInstanceHeader + 2 * i + 1] = uint8_t(wide[i] >> 8);
        }
        uint8_t* block = p + length;
        Put32(block, kCounterBlock);
        Put64(block + 8, link.received);
        Put64(block + 16, link.sent);
        Put64(block + 24, link.received + link.sent);
        Put64(block + 32, link.bandwidth);
        p = block + kCounterBlock;
    }
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
