#pragma once

#include <cstdint>

// The broadcasts the notification area passes upward: its host appeared (again), and a
// desktop setting changed (wParam SPI_SETWORKAREA when a screen's work area moved).
class INotifyAreaListener {
public:
    virtual long OnTaskbarCreated() = 0;
    virtual long OnSettingChange(uintptr_t wParam) = 0;

protected:
    ~INotifyAreaListener() = default;
};
