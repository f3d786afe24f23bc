#include "dialogs/DialogPlacement.h"

#include "display/WindowPlacement.h"

#include <QDialog>
#include <QMargins>
#include <QPushButton>
#include <QScrollArea>
#include <QTimer>
#include <algorithm>

namespace {

const char* const kScrollerName = "dialogScroller";
// Before its first showing a dialog has no frame yet: room for a title bar and thin borders.
const QMargins kFrameGuess(4, 30, 4, 4);

QMargins FrameMargins(const QDialog& dlg)
{
    const QRect frame = dlg.frameGeometry(), client = dlg.geometry();
    const QMargins margins(client.left() - frame.left(), client.top() - frame.top(),
        frame.right() - client.right(), frame.bottom() - client.bottom());
    return margins.isNull() ? kFrameGuess : margins;
}

// Moves the dialog's controls onto a page that scrolls inside the dialog; once.
QScrollArea* Scroller(QDialog& dlg)
{
    if (auto* scroller = dlg.findChild<QScrollArea*>(kScrollerName, Qt::FindDirectChildrenOnly))
        return scroller;
    const QSize content = dlg.size();
    auto* page = new QWidget;
    page->setFixedSize(content);
    for (QWidget* child : dlg.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (child->isWindow())
            continue;
        const bool hidden = child->isHidden();
        const QRect geometry = child->geometry();
        child->setParent(page);
        child->setGeometry(geometry);
        child->setVisible(!hidden);
    }
    auto* scroller = new QScrollArea(&dlg);
    scroller->setObjectName(kScrollerName);
    scroller->setFrameShape(QFrame::NoFrame);
    scroller->setWidget(page);
    scroller->show();
    return scroller;
}

} // namespace

QSize CDialogPlacement::Fit(QDialog& dlg, const QRect& area)
{
    const QMargins margins = FrameMargins(dlg);
    auto* scroller = dlg.findChild<QScrollArea*>(kScrollerName, Qt::FindDirectChildrenOnly);
    const QSize content = scroller ? scroller->widget()->size() : dlg.size();
    const QSize room = area.size().shrunkBy(margins);
    if (content.width() <= room.width() && content.height() <= room.height()) {
        if (scroller) {
            dlg.setFixedSize(content);
            scroller->setGeometry(dlg.rect());
        }
        return content.grownBy(margins);
    }
    // Too large for the screen (a small display, a large font): the controls scroll, the
    // window fits, and the buttons start in sight.
    scroller = Scroller(dlg);
    dlg.setFixedSize(content.boundedTo(room).expandedTo(QSize(1, 1)));
    scroller->setGeometry(dlg.rect());
    // The scroll ranges are known once the dialog is shown and laid out.
    QTimer::singleShot(0, scroller, [scroller] {
        for (QPushButton* button : scroller->widget()->findChildren<QPushButton*>())
            scroller->ensureWidgetVisible(button);
    });
    return dlg.size().grownBy(margins);
}

void CDialogPlacement::Place(QDialog& dlg, QPoint pointer, const QRect& avoid)
{
    const CWindowPlacement screens = CWindowPlacement::Current();
    if (screens.Empty())
        return;
    const QSize outer = Fit(dlg, screens.AvailableAt(pointer));
    dlg.move(screens.Beside(outer, pointer, avoid).topLeft());
}

void CDialogPlacement::KeepReachable(QDialog& dlg)
{
    const CWindowPlacement screens = CWindowPlacement::Current();
    if (screens.Empty())
        return;
    const QRect frame = dlg.frameGeometry();
    if (!screens.Reachable(frame))
        Place(dlg, frame.center());
}
