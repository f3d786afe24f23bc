#pragma once

#include "platform/IDesktopShell.h"
#include "platform/linux/desktop/SignalSessionEnd.h"

#include <initializer_list>

// Qt's pointer, menu, beep and event loop; the taskbar hint is set on the X window directly,
// and the session's request to end comes as a signal.
class CQtDesktopShell : public IDesktopShell {
public:
    QPoint GetCursorPos() override;
    // A QMenu run modally at the position; the chosen action carries the item's id.
    int TrackPopupMenu(
        const std::vector<PopupMenuItem>& items, const QPoint& pos, QWidget* owner) override;
    // _NET_WM_STATE_SKIP_TASKBAR and _NET_WM_STATE_SKIP_PAGER on the unmapped window: Qt marks
    // a tool window as a utility window, which many taskbars list all the same. Qt keeps
    // states it finds on the window when it adds its own at mapping time.
    void SkipTaskbar(QWidget* pWindow) override;
    // _NET_WM_DESKTOP 0xFFFFFFFF and _NET_WM_STATE_STICKY, likewise on the unmapped window.
    void ShowOnAllDesktops(QWidget* pWindow) override;
    void MessageBeep() override;
    void ExitProcess(int code) override;
    void SetSessionEndHandler(std::function<void()> handler) override;

private:
    // Adds states to the window's _NET_WM_STATE, keeping those it has.
    static void AddWmStates(QWidget* pWindow, std::initializer_list<const char*> names);

    CSignalSessionEnd m_sessionEnd;
};
