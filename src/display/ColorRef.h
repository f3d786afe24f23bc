#pragma once

#include <QColor>

#include <cstdint>

// A colour as the program stores it: 0x00BBGGRR, red in the low byte, blue in the third.
using ColorRef = uint32_t;

constexpr ColorRef MakeColorRef(int red, int green, int blue)
{
    return ColorRef(red & 0xFF) | ColorRef(green & 0xFF) << 8 | ColorRef(blue & 0xFF) << 16;
}

// The top byte is not alpha: every colour is opaque.
constexpr QRgb ToQRgb(ColorRef cr)
{
    return qRgb(int(cr & 0xFF), int(cr >> 8 & 0xFF), int(cr >> 16 & 0xFF));
}

inline QColor ToQColor(ColorRef cr)
{
    return QColor::fromRgb(ToQRgb(cr));
}
