#include "display/DialogUnits.h"

#include <QStringList>

QRect CDialogUnits::Rect(int x, int y, int width, int height)
{
    // Position and size convert separately, as the dialog manager does: 109 x 33 gives
    // 164 x 54 wherever the control stands.
    return QRect(X(x), Y(y), X(width), Y(height));
}

QFont CDialogUnits::DialogFont()
{
    // Where the face is missing, a metric-compatible Arial keeps the texts inside the
    // template's rectangles.
    QFont font;
    font.setFamilies(QStringList { QStringLiteral("MS Sans Serif"),
        QStringLiteral("Liberation Sans"), QStringLiteral("Arial") });
    font.setStyleHint(QFont::SansSerif);
    font.setPointSize(8);
    return font;
}
