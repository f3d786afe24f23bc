#pragma once

#include "platform/INotifyAreaListener.h"
#include "platform/NotifyIconData.h"

// The desktop's notification area. Every add, change and delete of the tray icon goes
// through NotifyIcon, which answers whether the area accepted it; mouse notifications go to
// the record's hWnd, broadcasts to the listener.
class INotifyArea {
public:
    virtual ~INotifyArea() = default;

    // Whether this desktop can have a notification area at all.
    virtual bool ShellUsable() = 0;
    // Whether an icon can be hidden and shown again without being deleted (NIF_STATE).
    virtual bool StateSupported() = 0;
    virtual bool NotifyIcon(uint32_t dwMessage, const NotifyIconData& record) = 0;
    // The receiver's tray menu may read differently now (the traffic window was shown or
    // hidden): an area that shows the menu itself asks the receiver again.
    virtual void MenuChanged() = 0;
    // nullptr stops the broadcasts.
    virtual void SetListener(INotifyAreaListener* pListener) = 0;
};
