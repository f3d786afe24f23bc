#include "platform/linux/x11/XcbGraphSurface.h"

#include "platform/linux/x11/XcbReply.h"

#include <QWidget>

#include <algorithm>
#include <cstdlib>
#include <memory>

namespace {

const xcb_format_t* PixmapFormat(const xcb_setup_t* setup, uint8_t depth)
{
    for (auto it = xcb_setup_pixmap_formats_iterator(setup); it.rem; xcb_format_next(&it))
        if (it.data->depth == depth)
            return it.data;
    return nullptr;
}

const xcb_visualtype_t* FindVisual(const xcb_setup_t* setup, xcb_visualid_t id)
{
    for (auto s = xcb_setup_roots_iterator(setup); s.rem; xcb_screen_next(&s))
        for (auto d = xcb_screen_allowed_depths_iterator(s.data); d.rem; xcb_depth_next(&d))
            for (auto v = xcb_depth_visuals_iterator(d.data); v.rem; xcb_visualtype_next(&v))
                if (v.data->visual_id == id)
                    return v.data;
    return nullptr;
}

} // namespace

CXcbGraphSurface::CXcbGraphSurface(xcb_connection_t* pConnection)
    : m_pConnection(pConnection)
{
}

CXcbGraphSurface::~CXcbGraphSurface()
{
    if (!m_pConnection || xcb_connection_has_error(m_pConnection))
        return;
    for (xcb_pixmap_t* p : { &m_background, &m_back, &m_texts, &m_textMask })
        Free(*p);
    for (xcb_gcontext_t gc : { m_gc, m_textGc, m_maskGc })
        if (gc)
            xcb_free_gc(m_pConnection, gc);
    xcb_flush(m_pConnection);
}

void CXcbGraphSurface::Free(xcb_pixmap_t& pixmap)
{
    if (pixmap != XCB_PIXMAP_NONE)
        xcb_free_pixmap(m_pConnection, pixmap);
    pixmap = XCB_PIXMAP_NONE;
}

bool CXcbGraphSurface::Bind(QWidget& widget)
{
    if (!m_pConnection || xcb_connection_has_error(m_pConnection))
        return false;
    const auto window = xcb_window_t(widget.winId());
    if (window == XCB_WINDOW_NONE)
        return false;
    // Both asked before either answer is awaited: one round trip, not two (each surface is
    // bound before the window first maps).
    const xcb_get_window_attributes_cookie_t attributesAsked
        = xcb_get_window_attributes(m_pConnection, window);
    const xcb_get_geometry_cookie_t geometryAsked = xcb_get_geometry(m_pConnection, window);
    XcbReply<xcb_get_window_attributes_reply_t> attributes(
        xcb_get_window_attributes_reply(m_pConnection, attributesAsked, nullptr));
    XcbReply<xcb_get_geometry_reply_t> geometry(
        xcb_get_geometry_reply(m_pConnection, geometryAsked, nullptr));
    if (!attributes || !geometry)
        return false;

    // Pixels go to the server as Qt's 0xAARRGGBB words: that needs a true-colour visual with
    // 8-bit channels at those places, 32 bits per pixel and the server's byte order the same
    // as this machine's (little-endian).
    const xcb_setup_t* setup = xcb_get_setup(m_pConnection);
    const xcb_visualtype_t* visual = FindVisual(setup, attributes->visual);
    const xcb_format_t* format = PixmapFormat(setup, geometry->depth);
    if (!visual || visual->_class != XCB_VISUAL_CLASS_TRUE_COLOR || visual->red_mask != 0xFF0000
        || visual->green_mask != 0xFF00 || visual->blue_mask != 0xFF || !format
        || format->bits_per_pixel != 32 || setup->image_byte_order != XCB_IMAGE_ORDER_LSB_FIRST)
        return false;
    // The texts' mask is written a byte at a time: any bit order the server names works only
    // with bytes in this order.
    if (setup->bitmap_format_bit_order != XCB_IMAGE_ORDER_LSB_FIRST)
        return false;

    m_window = window;
    m_depth = geometry->depth;
    // No GraphicsExpose or NoExpose events from the copies: each would wake the program.
    const uint32_t values[] = { 0 };
    m_gc = xcb_generate_id(m_pConnection);
    xcb_create_gc(m_pConnection, m_gc, m_window, XCB_GC_GRAPHICS_EXPOSURES, values);
    m_textGc = xcb_generate_id(m_pConnection);
    xcb_create_gc(m_pConnection, m_textGc, m_window, XCB_GC_GRAPHICS_EXPOSURES, values);
    return true;
}

void CXcbGraphSurface::PutPixels(xcb_drawable_t target, const QImage& image, const QRect& from)
{
    const uint32_t stride = uint32_t(from.width()) * 4;
    // A request's length is counted in 4-byte units; keep room for its header.
    const uint32_t maxBytes = xcb_get_maximum_request_length(m_pConnection) * 4 - 64;
    const int bandRows = std::max<int>(1, int(maxBytes / std::max<uint32_t>(1, stride)));
    std::vector<uint32_t> band;
    for (int y = from.top(); y <= from.bottom(); y += bandRows) {
        const int rows = std::min(bandRows, from.bottom() + 1 - y);
        band.resize(size_t(from.width()) * size_t(rows));
        for (int r = 0; r < rows; ++r) {
            const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y + r));
            std::copy(line + from.left(), line + from.left() + from.width(),
                band.begin() + ptrdiff_t(r) * from.width());
        }
        for (uint32_t& pixel : band)
            pixel |= 0xFF000000u; // opaque on a window with alpha
        xcb_put_image(m_pConnection, XCB_IMAGE_FORMAT_Z_PIXMAP, target, m_gc,
            uint16_t(from.width()), uint16_t(rows), 0, int16_t(y - from.top()), 0, m_depth,
            uint32_t(band.size() * 4), reinterpret_cast<const uint8_t*>(band.data()));
    }
}

bool CXcbGraphSurface::PutMask(xcb_pixmap_t target, const QImage& texts, const QRect& from)
{
    const xcb_setup_t* setup = xcb_get_setup(m_pConnection);
    const int pad = std::max<int>(8, setup->bitmap_format_scanline_pad);
    const size_t stride = size_t((from.width() + pad - 1) / pad * pad / 8);
    if (size_t(from.height()) * stride + 64 > xcb_get_maximum_request_length(m_pConnection) * 4u)
        return false;
    std::vector<uint8_t> bits(stride * size_t(from.height()), 0);
    for (int y = 0; y < from.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(texts.constScanLine(from.top() + y));
        for (int x = 0; x < from.width(); ++x)
            if (qAlpha(line[from.left() + x]) >= 128)
                bits[size_t(y) * stride + size_t(x / 8)] |= uint8_t(1u << (x % 8));
    }
    if (!m_maskGc) {
        const uint32_t values[] = { 1, 0 };
        m_maskGc = xcb_generate_id(m_pConnection);
        xcb_create_gc(
            m_pConnection, m_maskGc, target, XCB_GC_FOREGROUND | XCB_GC_GRAPHICS_EXPOSURES, values);
    }
    xcb_put_image(m_pConnection, XCB_IMAGE_FORMAT_Z_PIXMAP, target, m_maskGc,
        uint16_t(from.width()), uint16_t(from.height()), 0, 0, 0, 1, uint32_t(bits.size()),
        bits.data());
    return true;
}

bool CXcbGraphSurface::SetBackground(const QImage& background)
{
    if (m_window == XCB_WINDOW_NONE || background.isNull() || background.width() > 0x7FFF
        || background.height() > 0x7FFF)
        return false;
    const QImage pixels = background.convertToFormat(QImage::Format_RGB32);
    Free(m_background);
    Free(m_back);
    m_size = pixels.size();
    for (xcb_pixmap_t* p : { &m_background, &m_back }) {
        *p = xcb_generate_id(m_pConnection);
        xcb_create_pixmap(m_pConnection, m_depth, *p, m_window, uint16_t(m_size.width()),
            uint16_t(m_size.height()));
    }
    PutPixels(m_background, pixels, pixels.rect());
    return true;
}

bool CXcbGraphSurface::SetTexts(const QImage& texts, const QPoint& at)
{
    if (m_window == XCB_WINDOW_NONE)
        return false;
    Free(m_texts);
    Free(m_textMask);
    m_textRect = QRect();
    if (texts.isNull())
        return true;
    const QImage pixels = texts.convertToFormat(QImage::Format_ARGB32);
    // Only the box around the glyphs goes to the server.
    QRect box;
    for (int y = 0; y < pixels.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(pixels.constScanLine(y));
        for (int x = 0; x < pixels.width(); ++x)
            if (qAlpha(line[x]) >= 128)
                box |= QRect(x, y, 1, 1);
    }
    if (box.isEmpty())
        return true;
    m_texts = xcb_generate_id(m_pConnection);
    xcb_create_pixmap(
        m_pConnection, m_depth, m_texts, m_window, uint16_t(box.width()), uint16_t(box.height()));
    m_textMask = xcb_generate_id(m_pConnection);
    xcb_create_pixmap(
        m_pConnection, 1, m_textMask, m_window, uint16_t(box.width()), uint16_t(box.height()));
    PutPixels(m_texts, pixels, box);
    if (!PutMask(m_textMask, pixels, box)) {
        Free(m_texts);
        Free(m_textMask);
        return false;
    }
    m_textRect = box.translated(at);
    const uint32_t values[]
        = { uint32_t(int32_t(m_textRect.x())), uint32_t(int32_t(m_textRect.y())), m_textMask };
    xcb_change_gc(m_pConnection, m_textGc,
        XCB_GC_CLIP_ORIGIN_X | XCB_GC_CLIP_ORIGIN_Y | XCB_GC_CLIP_MASK, values);
    return true;
}

void CXcbGraphSurface::Present(const QRect* pRuns, int nRuns, QRgb line)
{
    if (m_back == XCB_PIXMAP_NONE)
        return;
    const auto w = uint16_t(m_size.width());
    const auto h = uint16_t(m_size.height());
    xcb_copy_area(m_pConnection, m_background, m_back, m_gc, 0, 0, 0, 0, w, h);

    const uint32_t foreground = line | 0xFF000000u;
    if (foreground != m_nForeground) {
        m_nForeground = foreground;
        xcb_change_gc(m_pConnection, m_gc, XCB_GC_FOREGROUND, &foreground);
    }
    m_runs.resize(size_t(std::max(0, nRuns)));
    for (size_t i = 0; i < m_runs.size(); ++i) {
        const QRect& run = pRuns[i];
        m_runs[i] = { int16_t(run.x()), int16_t(run.y()), uint16_t(std::max(0, run.width())),
            uint16_t(std::max(0, run.height())) };
    }
    if (!m_runs.empty())
        xcb_poly_fill_rectangle(
            m_pConnection, m_back, m_gc, uint32_t(m_runs.size()), m_runs.data());

    if (m_texts != XCB_PIXMAP_NONE)
        xcb_copy_area(m_pConnection, m_texts, m_back, m_textGc, 0, 0, int16_t(m_textRect.x()),
            int16_t(m_textRect.y()), uint16_t(m_textRect.width()), uint16_t(m_textRect.height()));
    xcb_copy_area(m_pConnection, m_back, m_window, m_gc, 0, 0, 0, 0, w, h);
}

void CXcbGraphSurface::Flush()
{
    // Nothing buffered, nothing written: a second graph's flush in the same tick is free.
    if (m_pConnection)
        xcb_flush(m_pConnection);
}

bool CXcbGraphSurface::UseBackgroundForWindow()
{
    if (m_background == XCB_PIXMAP_NONE)
        return false;
    const uint32_t values[] = { m_background };
    xcb_change_window_attributes(m_pConnection, m_window, XCB_CW_BACK_PIXMAP, values);
    xcb_clear_area(m_pConnection, 0, m_window, 0, 0, 0, 0);
    xcb_flush(m_pConnection);
    return true;
}
