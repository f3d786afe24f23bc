#include "platform/linux/x11/XcbNativeDrawing.h"

#include "platform/linux/x11/XcbConnection.h"
#include "platform/linux/x11/XcbGraphSurface.h"

#include <QByteArray>

std::unique_ptr<IGraphSurface> CXcbNativeDrawing::CreateGraphSurface()
{
    // CORVANE_RASTER=1 keeps Qt's raster path on X11 too, to compare the two.
    if (qEnvironmentVariableIntValue("CORVANE_RASTER") != 0)
        return nullptr;
    xcb_connection_t* pConnection = CXcbConnection::Get();
    if (!pConnection)
        return nullptr;
    return std::make_unique<CXcbGraphSurface>(pConnection);
}

bool CXcbNativeDrawing::SetWindowPicture(QWidget& window, const QImage& picture)
{
    if (qEnvironmentVariableIntValue("CORVANE_RASTER") != 0)
        return false;
    xcb_connection_t* pConnection = CXcbConnection::Get();
    if (!pConnection)
        return false;
    // A graph surface knows how to put pixels in a pixmap of the window's depth; the window's
    // background pixmap is then that pixmap, and the server paints it on every expose.
    CXcbGraphSurface surface(pConnection);
    if (!surface.Bind(window) || !surface.SetBackground(picture))
        return false;
    return surface.UseBackgroundForWindow();
}
