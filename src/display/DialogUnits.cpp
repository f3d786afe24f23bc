#include "display/DialogUnits.h"

#include <QStringList>

#include <cstdint>

int CDialogUnits::MulDiv(int a, int b, int c)
{
    if (c == 0)
        return -1;
    const int64_t p = int64_t(a) * b;
    const int64_t half = (c < 0 ? -int64_t(c) : int64_t(c)) / 2;
    const bool negative = (p < 0) != (c < 0);
    const int64_t magnitude = ((p < 0 ? -p : p) + half) / (c < 0 ? -int64_t(c) : int64_t(c));
    const int64_t result = negative ? -magnitude : magnitude;
    if (result > INT32_MAX || result < INT32_MIN)
        return -1;
    return int(result);
}

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
    font.setFamilies(QStringList{QStringLiteral("MS Sans Serif"), QStringLiteral("Liberation Sans"),
                      QStringLiteral("Arial")});
    font.setStyleHint(QFont::SansSerif);
    font.setPointSize(8);
    return font;
}
