#pragma once

#include <QPoint>
#include <QString>
#include <vector>

class QWidget;

// One entry of a pop-up menu; a separator has no text.
struct PopupMenuItem {
    int id = 0;
    QString text;
    bool separator = false;
};

// Shows a pop-up menu at a screen position and returns the chosen item's id, or 0 when the
// menu was dismissed.
class IPopupMenu {
public:
    virtual ~IPopupMenu() = default;
    virtual int Track(const std::vector<PopupMenuItem>& items, const QPoint& pos, QWidget* owner)
        = 0;
};
