#pragma once

#include "platform/IClock.h"

// Milliseconds of CLOCK_MONOTONIC, truncated to 32 bits: it never jumps with the wall clock
// and wraps like the tick count it stands in for.
class CMonotonicClock : public IClock {
public:
    uint32_t GetTickCount() override;
};
