#include "platform/linux/QtBeep.h"

#include <QApplication>

void CQtBeep::MessageBeep()
{
    QApplication::beep();
}
