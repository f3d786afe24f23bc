#pragma once

#include "platform/linux/FileDescriptor.h"

#include <cstdint>
#include <string>
#include <unordered_map>

// The link speed of each interface in bits/s, asked of the driver (ethtool) only when an
// interface is new or its state changed, so a counter query costs no extra system call
// per interface. The socket it asks through is opened by the constructor and belongs to
// the constructing thread's network namespace.
class CLinkSpeedCache {
public:
    CLinkSpeedCache();

    // Starts a pass over the current interfaces.
    void BeginPass() { ++m_pass; }
    // Bits/s of the named link, 0 when the driver does not know it. stamp is anything
    // that changes when the speed may have changed (interface index, operational state).
    uint64_t Bandwidth(const char* name, uint64_t stamp);
    // Forgets interfaces not seen in the pass just made.
    void EndPass();

private:
    struct Entry {
        uint64_t stamp = 0;
        uint64_t bandwidth = 0;
        uint32_t pass = 0;
    };
    uint64_t AskDriver(const char* name) const;

    CFileDescriptor m_socket;
    std::unordered_map<std::string, Entry> m_entries;
    uint32_t m_pass = 0;
    size_t m_seen = 0;
};
