#pragma once

#include "platform/IDesktopShell.h"

#include <vector>

// A desktop that remembers the menus it was asked to show and answers with a chosen id, has
// the pointer where the test puts it, counts beeps and exits, and keeps the session-end
// handler for the test to call.
class CFakeDesktopShell : public IDesktopShell {
public:
    QPoint GetCursorPos() override { return cursor; }
    int TrackPopupMenu(
        const std::vector<PopupMenuItem>& items, const QPoint& pos, QWidget*) override
    {
        menus.push_back(items);
        menuPositions.push_back(pos);
        return menuChoice;
    }
    void SkipTaskbar(QWidget*) override { }
    void ShowOnAllDesktops(QWidget*) override { }
    void MessageBeep() override { ++beeps; }
    void ExitProcess(int code) override { exitCodes.push_back(code); }
    void SetSessionEndHandler(std::function<void()> handler) override
    {
        sessionEnd = std::move(handler);
    }

    QPoint cursor { -1000, -1000 };
    int menuChoice = 0;
    std::vector<std::vector<PopupMenuItem>> menus;
    std::vector<QPoint> menuPositions;
    int beeps = 0;
    std::vector<int> exitCodes;
    std::function<void()> sessionEnd;
};
