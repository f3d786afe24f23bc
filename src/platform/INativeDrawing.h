#pragma once

#include <memory>

class IGraphSurface;
class QImage;
class QWidget;

// Drawing with the window system's own requests where it keeps pictures for its clients.
class INativeDrawing {
public:
    virtual ~INativeDrawing() = default;
    // A surface for one graph; null where the window system keeps no pictures (offscreen,
    // Wayland): that graph then paints through Qt's raster path.
    virtual std::unique_ptr<IGraphSurface> CreateGraphSurface() = 0;
    // Gives the window a picture the window system keeps and shows on every expose by itself,
    // without asking the program; false where it cannot (the program then paints it). The
    // picture is in device pixels, the window's size at its ratio.
    virtual bool SetWindowPicture(QWidget& window, const QImage& picture) = 0;
};
