#pragma once

#include <cstdint>

// Whoever is told about clicks on the tray icon: the notification area sends each mouse
// notification as the callback message chosen at creation, with the icon id as wParam and
// the mouse message (0x202 left up, 0x205 right up, 0x203 double click, 0x208 middle up)
// in the low 16 bits of lParam.
class ITrayReceiver {
public:
    virtual long OnTrayNotification(uint32_t nMessage, uintptr_t wParam, uintptr_t lParam) = 0;

protected:
    ~ITrayReceiver() = default;
};
