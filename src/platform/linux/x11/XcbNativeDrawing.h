#pragma once

#include "platform/INativeDrawing.h"

// Graph surfaces on Qt's own X server connection; none on other platforms.
class CXcbNativeDrawing : public INativeDrawing {
public:
    std::unique_ptr<IGraphSurface> CreateGraphSurface() override;
    bool SetWindowPicture(QWidget& window, const QImage& picture) override;
};
