#pragma once

#include "platform/IClock.h"

// A tick count that moves only when the test moves it.
class CFakeClock : public IClock {
public:
    uint32_t GetTickCount() override { return now; }

    void Advance(uint32_t ms) { now += ms; } // wraps like the real count

    uint32_t now = 0;
};
