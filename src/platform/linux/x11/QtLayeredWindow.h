#pragma once

#include "platform/ILayeredWindow.h"

// Window opacity through QWidget::setWindowOpacity, which the xcb platform turns into the
// _NET_WM_WINDOW_OPACITY property for the compositor. The extended style word lives on the
// window itself as a dynamic property, so it dies with the window.
class CQtLayeredWindow : public ILayeredWindow {
public:
    bool LoadLibrary() override;
    bool FindSetLayeredWindowAttributes() override;
    bool SetLayeredWindowAttributes(
        QWidget* pWindow, uint32_t crKey, uint8_t bAlpha, uint32_t dwFlags) override;
    uint32_t GetExStyle(QWidget* pWindow) override;
    bool SetExStyle(QWidget* pWindow, uint32_t dwExStyle) override;
};
