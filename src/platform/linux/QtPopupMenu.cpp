#include "platform/linux/QtPopupMenu.h"

#include <QAction>
#include <QMenu>

int CQtPopupMenu::Track(const std::vector<PopupMenuItem>& items, const QPoint& pos, QWidget* owner)
{
    QMenu menu(owner);
    for (const PopupMenuItem& item : items) {
        if (item.separator) {
            menu.addSeparator();
            continue;
        }
        menu.addAction(item.text)->setData(item.id);
    }
    QAction* chosen = menu.exec(pos);
    return chosen ? chosen->data().toInt() : 0;
}
