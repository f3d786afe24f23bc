#pragma once

#include "platform/ITaskbar.h"

// _NET_WM_STATE_SKIP_TASKBAR and _NET_WM_STATE_SKIP_PAGER on the unmapped window: Qt marks a
// tool window as a utility window, which many taskbars list all the same. Qt keeps states it
// finds on the window when it adds its own at mapping time.
class CXcbTaskbar : public ITaskbar {
public:
    void SkipTaskbar(QWidget* pWindow) override;
};
