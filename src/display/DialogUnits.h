#pragma once

#include <QFont>
#include <QRect>

#include "display/MulDiv.h"

// Dialog templates are laid out in dialog units of an 8-point "MS Sans Serif" at 96 dpi,
// whose base units are 6 x 13 pixels: x px = dlu * 6 / 4, y px = dlu * 13 / 8.
class CDialogUnits {
public:
    static int X(int dlu) { return MulDiv(dlu, 6, 4); }
    static int Y(int dlu) { return MulDiv(dlu, 13, 8); }
    // A control's rectangle given as x, y, width, height in dialog units.
    static QRect Rect(int x, int y, int width, int height);
    // The templates' font, 8-point "MS Sans Serif"; fontconfig picks the nearest sans face.
    static QFont DialogFont();
};
