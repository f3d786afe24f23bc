#pragma once

#include "platform/ILayeredWindow.h"

#include <cstdint>

class QWidget;

// Gives a top-level window one constant opacity, 0 (invisible) to 255 (opaque), and takes it
// away again. The application owns one and hands it to the windows that fade. Whether the
// platform can do it at all is looked up on first use and remembered once found; a failed
// lookup is tried again next time.
class CWindowAlpha {
public:
    explicit CWindowAlpha(ILayeredWindow& platform);

    // Only the low byte of nAlpha counts: 256 acts as 0.
    bool SetWindowAlpha(QWidget* pWindow, int nAlpha);
    bool SetLayeredAttributes(QWidget* pWindow, uint32_t crKey, int nAlpha, uint32_t dwFlags);
    bool LoadUser32();
    bool IsLayered(QWidget* pWindow);
    bool AddLayeredStyle(QWidget* pWindow);
    bool RemoveLayeredStyle(QWidget* pWindow);

private:
    ILayeredWindow* m_pPlatform;
    bool m_bLibraryLoaded = false;
    bool m_bFunctionFound = false;
};
