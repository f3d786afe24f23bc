#pragma once

#include <QPoint>

// Where the pointer is, in screen coordinates.
class ICursor {
public:
    virtual ~ICursor() = default;
    virtual QPoint GetCursorPos() = 0;
};
