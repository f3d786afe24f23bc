#pragma once

#include "platform/IPopupMenu.h"

// A QMenu run modally at the position; the chosen action carries the item's id.
class CQtPopupMenu : public IPopupMenu {
public:
    int Track(const std::vector<PopupMenuItem>& items, const QPoint& pos, QWidget* owner) override;
};
