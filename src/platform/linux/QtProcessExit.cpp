#include "platform/linux/QtProcessExit.h"

#include <QCoreApplication>

void CQtProcessExit::Exit(int code)
{
    QCoreApplication::exit(code);
}
