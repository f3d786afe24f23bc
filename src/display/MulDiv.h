#pragma once

#include <cstdint>

// a * b / c in 64 bits, rounded half away from zero; -1 when c is 0 or the result does not
// fit 32 bits. Point sizes and dialog units convert to pixels with it.
inline int MulDiv(int a, int b, int c)
{
    if (c == 0)
        return -1;
    const int64_t product = int64_t(a) * b;
    int64_t rounded = product / c;
    const int64_t rest = product % c;
    if (2 * (rest < 0 ? -rest : rest) >= (c < 0 ? -int64_t(c) : int64_t(c)))
        rounded += (product < 0) != (c < 0) ? -1 : 1;
    if (rounded > INT32_MAX || rounded < INT32_MIN)
        return -1;
    return int(rounded);
}
