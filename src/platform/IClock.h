#pragma once

#include <cstdint>

// The 32-bit millisecond tick count of a monotonic clock; it wraps after about 49.7 days.
class IClock {
public:
    virtual ~IClock() = default;
    virtual uint32_t GetTickCount() = 0;
};
