#pragma once

#include <linux/netlink.h>

#include <cstddef>
#include <cstdint>
#include <vector>

// Builds rtnetlink link-dump datagrams the way the kernel sends them, for tests and seeds.
class CNetlinkDumpBuilder {
public:
    CNetlinkDumpBuilder& Link(uint32_t seq, int index, const char* name, uint64_t rx, uint64_t tx,
        uint16_t flags = NLM_F_MULTI, bool stats64 = true);
    // One answer of a statistics request (RTM_NEWSTATS with the 64-bit link counters).
    CNetlinkDumpBuilder& Stats(
        uint32_t seq, int index, uint64_t rx, uint64_t tx, uint16_t flags = NLM_F_MULTI);
    CNetlinkDumpBuilder& Done(uint32_t seq, uint16_t flags = NLM_F_MULTI);
    // An error message; code is the kernel's negative error number.
    CNetlinkDumpBuilder& Error(uint32_t seq, int code = 0);
    void Attribute(uint16_t type, const void* data, size_t size);

    std::vector<uint8_t> bytes;

private:
    size_t Begin(uint16_t type, uint32_t seq, uint16_t flags);
    void End(size_t start, size_t padding = 0);
    void Append(const void* data, size_t size);
};
