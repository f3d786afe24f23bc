#pragma once

#include <QPoint>
#include <QRect>

class QDialog;

// Where the dialogs open: on the screen the user is on and, where there is room, beside the
// traffic window, so that its previews stay in sight. (They are its transients, so the window
// manager keeps them in front of it wherever they are.) A dialog larger than the free area of
// its screen scrolls inside a window that fits, with its top-left corner and its buttons on
// the screen.
class CDialogPlacement {
public:
    // Centred on the pointer's screen; beside `avoid` (the traffic window; empty while it is
    // hidden) where that would cover part of the dialog.
    static void Place(QDialog& dlg, QPoint pointer, const QRect& avoid = {});
    // A dialog shown again where it last was comes back to a screen if its own has gone.
    static void KeepReachable(QDialog& dlg);
    // Sizes the dialog for a screen's free area and returns its outer size, frame included.
    static QSize Fit(QDialog& dlg, const QRect& area);
};
