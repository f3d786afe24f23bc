#pragma once

#include "platform/IDesktopShell.h"

#include <cstdint>
#include <vector>

// Whoever is told about clicks on the tray icon: the notification area sends each mouse
// notification as the callback message chosen at creation, with the icon id as wParam and
// the mouse message (0x202 left up, 0x205 right up, 0x203 double click, 0x208 middle up)
// in the low 16 bits of lParam.
class ITrayReceiver {
public:
    virtual long OnTrayNotification(uint32_t nMessage, uintptr_t wParam, uintptr_t lParam) = 0;

    // A notification area that shows the tray menu itself (a StatusNotifierItem host) asks
    // for the menu as it stands each time it may show it, and reports the chosen item.
    virtual std::vector<PopupMenuItem> TrayMenuItems() { return {}; }
    virtual void OnTrayMenuCommand(int /*nId*/) { }

protected:
    ~ITrayReceiver() = default;
};
