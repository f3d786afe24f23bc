#pragma once

#include "platform/IBeep.h"
#include "platform/ICursor.h"
#include "platform/IPopupMenu.h"
#include "platform/IProcessExit.h"

#include <vector>

// A pop-up menu that remembers what it was asked to show and answers with a chosen id.
class CFakePopupMenu : public IPopupMenu {
public:
    int Track(const std::vector<PopupMenuItem>& items, const QPoint& pos, QWidget*) override
    {
        shown.push_back(items);
        positions.push_back(pos);
        return choice;
    }

    int choice = 0;
    std::vector<std::vector<PopupMenuItem>> shown;
    std::vector<QPoint> positions;
};

class CFakeCursor : public ICursor {
public:
    QPoint GetCursorPos() override { return pos; }
    QPoint pos { -1000, -1000 };
};

class CFakeProcessExit : public IProcessExit {
public:
    void Exit(int code) override { codes.push_back(code); }
    std::vector<int> codes;
};

class CFakeBeep : public IBeep {
public:
    void MessageBeep() override { ++beeps; }
    int beeps = 0;
};
