#include "platform/linux/XcbNativeDrawing.h"

#include "platform/linux/XcbConnection.h"
#include "platform/linux/XcbGraphSurface.h"

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
