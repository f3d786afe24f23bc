#pragma once

#include "platform/linux/kernel/LinkCounters.h"

#include <cstddef>
#include <cstdint>
#include <span>

// Lays the kernel's interface counters out as the performance-data block of the network
// interface object: the data-block header, one network object with the counter definitions
// for bytes received, bytes sent, bytes total and bandwidth (bits/s), each an 8-byte
// counter, then one instance per interface with its UTF-16LE name and its counter block, in
// the order given. Every interface, or only one, carries its counters; the counter block of
// the others holds its length and nothing else.
class CPerfBlockWriter {
public:
    // counted names the one interface (by its place in the list) that carries its counters;
    // kEveryLink: all of them. Past the end of the list: none.
    static constexpr size_t kEveryLink = SIZE_MAX;

    // Bytes the block of these interfaces needs.
    static uint64_t RequiredSize(std::span<const LinkCounters> links, size_t counted = kEveryLink);
    // Writes the block into out, which must hold RequiredSize(links, counted) bytes. Returns
    // where links[counted]'s counter block lies (0 when it has none).
    static uint32_t Write(
        std::span<const LinkCounters> links, uint8_t* out, size_t counted = kEveryLink);
    // Puts the link's counters into the counter block at counterBlock of a written block.
    static void WriteCounters(const LinkCounters& link, uint8_t* counterBlock);
    // Answers a query the way the registry does: the block and its size, or "more data"
    // with size set to what the block needs.
    static long Answer(std::span<const uint8_t> block, uint8_t* buffer, uint32_t& size);
    // The same for a block of these interfaces, each with its counters.
    static long Answer(std::span<const LinkCounters> links, uint8_t* buffer, uint32_t& size);

    // The kernel's name (bytes, normally UTF-8) as UTF-16 code units, at most 2 * bytes
    // of them; a byte that is not part of a valid sequence becomes U+FFFD.
    static size_t NameToWide(const char* name, char16_t* out, size_t capacity);
};
