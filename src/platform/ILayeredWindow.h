#pragma once

#include <cstdint>

class QWidget;

// Whole-window opacity of top-level windows. A window is drawn with an alpha only while the
// layered bit of its extended style word is set; the word is kept per window.
class ILayeredWindow {
public:
    static constexpr uint32_t WS_EX_LAYERED = 0x00080000;
    static constexpr uint32_t LWA_COLORKEY = 0x1;
    static constexpr uint32_t LWA_ALPHA = 0x2;

    virtual ~ILayeredWindow() = default;

    // Whether the windowing system's library can be reached at all.
    virtual bool LoadLibrary() = 0;
    // Whether this windowing system can give a whole window one constant opacity; where it
    // cannot, transparency is left alone and the window stays opaque.
    virtual bool FindSetLayeredWindowAttributes() = 0;
    virtual bool SetLayeredWindowAttributes(
        QWidget* pWindow, uint32_t crKey, uint8_t bAlpha, uint32_t dwFlags)
        = 0;
    virtual uint32_t GetExStyle(QWidget* pWindow) = 0;
    // False when the word could not be written (no window).
    virtual bool SetExStyle(QWidget* pWindow, uint32_t dwExStyle) = 0;
};
