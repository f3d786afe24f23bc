#pragma once

class QWidget;

// The desktop's taskbar and pager: a tool window that stays on the desktop asks them to leave
// it out.
class ITaskbar {
public:
    virtual ~ITaskbar() = default;
    // Called before the window is mapped (from its show event).
    virtual void SkipTaskbar(QWidget* pWindow) = 0;
};
