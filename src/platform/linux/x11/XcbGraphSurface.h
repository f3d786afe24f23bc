#pragma once

#include "platform/IGraphSurface.h"

#include <QRect>
#include <QSize>
#include <vector>
#include <xcb/xcb.h>

// A graph drawn with X requests into pictures the X server keeps: a tick costs a copy of the
// background, one request filling the line's runs of pixels, a masked copy of the texts and a copy
// to the window, all between server-side pixmaps. Only true-colour windows with 8-bit channels are
// taken.
class CXcbGraphSurface : public IGraphSurface {
public:
    explicit CXcbGraphSurface(xcb_connection_t* pConnection);
    ~CXcbGraphSurface() override;
    CXcbGraphSurface(const CXcbGraphSurface&) = delete;
    CXcbGraphSurface& operator=(const CXcbGraphSurface&) = delete;

    bool Bind(QWidget& widget) override;
    bool SetBackground(const QImage& background) override;
    bool SetTexts(const QImage& texts, const QPoint& at) override;
    void Present(const QRect* pRuns, int nRuns, QRgb line) override;
    void Flush() override;
    // Makes the background the window's own background pixmap; the server keeps it for the
    // window after this surface is gone.
    bool UseBackgroundForWindow();

private:
    void Free(xcb_pixmap_t& pixmap);
    // Sends 32-bit pixels in bands small enough for one request each.
    void PutPixels(xcb_drawable_t target, const QImage& image, const QRect& from);
    bool PutMask(xcb_pixmap_t target, const QImage& texts, const QRect& from);

    xcb_connection_t* m_pConnection;
    xcb_window_t m_window = XCB_WINDOW_NONE;
    uint8_t m_depth = 0;
    QSize m_size; // of the background and the back buffer
    xcb_pixmap_t m_background = XCB_PIXMAP_NONE;
    xcb_pixmap_t m_back = XCB_PIXMAP_NONE; // the frame is finished here, then copied once
    xcb_pixmap_t m_texts = XCB_PIXMAP_NONE;
    xcb_pixmap_t m_textMask = XCB_PIXMAP_NONE;
    QRect m_textRect; // where the texts' picture lands on the graph
    xcb_gcontext_t m_gc = 0;
    xcb_gcontext_t m_textGc = 0;
    xcb_gcontext_t m_maskGc = 0;
    uint32_t m_nForeground = 0;
    std::vector<xcb_rectangle_t> m_runs;
};
