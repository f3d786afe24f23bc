#pragma once

#include <memory>

class IGraphSurface;

// Drawing with the window system's own requests where it keeps pictures for its clients.
class INativeDrawing {
public:
    virtual ~INativeDrawing() = default;
    // A surface for one graph; null where the window system keeps no pictures (offscreen,
    // Wayland): that graph then paints through Qt's raster path.
    virtual std::unique_ptr<IGraphSurface> CreateGraphSurface() = 0;
};
