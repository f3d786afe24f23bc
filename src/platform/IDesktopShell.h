#pragma once

#include <QPoint>
#include <QString>
#include <functional>
#include <vector>

class QWidget;

// One entry of a pop-up menu; a separator has no text.
struct PopupMenuItem {
    int id = 0;
    QString text;
    bool separator = false;
};

// What the program asks of the desktop around its windows: the pointer's place, a pop-up
// menu there, the taskbar leaving the traffic window out and the pager showing it on every
// workspace, the warning sound, and the end of the program, asked for by the program itself
// or by its session.
class IDesktopShell {
public:
    virtual ~IDesktopShell() = default;
    // Where the pointer is, in screen coordinates.
    virtual QPoint GetCursorPos() = 0;
    // Shows a pop-up menu at a screen position and returns the chosen item's id, or 0 when
    // the menu was dismissed.
    virtual int TrackPopupMenu(
        const std::vector<PopupMenuItem>& items, const QPoint& pos, QWidget* owner)
        = 0;
    // The taskbar and pager leave a tool window out. Called before the window is mapped (from
    // its show event).
    virtual void SkipTaskbar(QWidget* pWindow) = 0;
    // The window is on every workspace, as a desktop meter is. Called before it is mapped.
    virtual void ShowOnAllDesktops(QWidget* pWindow) = 0;
    // The desktop's warning sound: the only audible sign the program ever gives (a link that
    // cannot be opened).
    virtual void MessageBeep() = 0;
    // Ends the program with an exit code: the event loop stops and start-up's caller tears the
    // application down (tray icon first) before the process returns the code.
    virtual void ExitProcess(int code) = 0;
    // The session asks the program to end (logout, a terminal closing, Ctrl+C, a service
    // manager stopping it): the handler runs on the event loop, like any command. An empty
    // handler stops the calls.
    virtual void SetSessionEndHandler(std::function<void()> handler) = 0;
};
