#include "platform/linux/x11/QtLayeredWindow.h"

#include "platform/linux/x11/XcbConnection.h"

#include <QGuiApplication>
#include <QVariant>
#include <QWidget>
#include <xcb/xcb.h>

namespace {

const char* const kExStyleProperty = "corvaneExStyle";

void ApplyOpacity(QWidget* pWindow, qreal dOpacity)
{
    pWindow->setWindowOpacity(dOpacity);
    // Qt's xcb window writes _NET_WM_WINDOW_OPACITY without flushing; a window that does not
    // repaint would keep its old opacity until something else is sent to the X server.
    if (xcb_connection_t* pConnection = CXcbConnection::Get())
        xcb_flush(pConnection);
}

} // namespace

bool CQtLayeredWindow::LoadLibrary()
{
    return qGuiApp != nullptr;
}

bool CQtLayeredWindow::FindSetLayeredWindowAttributes()
{
    // Of the platform plugins, xcb sets a window's opacity (_NET_WM_WINDOW_OPACITY); offscreen
    // and minimal have nothing to show it, and Wayland has no protocol for it in Qt 6.4.
    return QGuiApplication::platformName() == QLatin1String("xcb");
}

bool CQtLayeredWindow::SetLayeredWindowAttributes(
    QWidget* pWindow, uint32_t, uint8_t bAlpha, uint32_t dwFlags)
{
    // A colour key has no counterpart here; nothing in the program asks for one.
    if (!pWindow || !(dwFlags & LWA_ALPHA))
        return false;
    ApplyOpacity(pWindow, bAlpha / 255.0);
    return true;
}

uint32_t CQtLayeredWindow::GetExStyle(QWidget* pWindow)
{
    return pWindow ? pWindow->property(kExStyleProperty).toUInt() : 0;
}

bool CQtLayeredWindow::SetExStyle(QWidget* pWindow, uint32_t dwExStyle)
{
    if (!pWindow)
        return false;
    const uint32_t dwOld = GetExStyle(pWindow);
    pWindow->setProperty(kExStyleProperty, QVariant::fromValue(dwExStyle));
    // A window that is no longer layered is drawn opaque again.
    if ((dwOld & WS_EX_LAYERED) && !(dwExStyle & WS_EX_LAYERED))
        ApplyOpacity(pWindow, 1.0);
    return true;
}
