#pragma once

#include <cstdint>

// One network interface as the kernel reports it, on its way into a counter block.
struct LinkCounters {
    // The kernel's name (at most 15 bytes, IFNAMSIZ - 1), NUL-terminated.
    char name[16] = {};
    uint64_t received = 0; // bytes
    uint64_t sent = 0; // bytes
    uint64_t bandwidth = 0; // bits/s; 0 when the kernel does not know the link speed
    int32_t index = 0; // the kernel's interface index; 0 where the source has none
    uint32_t operState = 0; // RFC 2863 operational state; 0 where the source has none
};
