#include "platform/linux/QtCursor.h"

#include <QCursor>

QPoint CQtCursor::GetCursorPos()
{
    return QCursor::pos();
}
