#include "platform/linux/kernel/MonotonicClock.h"

#include <ctime>

uint32_t CMonotonicClock::GetTickCount()
{
    timespec now {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return uint32_t(uint64_t(now.tv_sec) * 1000u + uint64_t(now.tv_nsec) / 1000000u);
}
