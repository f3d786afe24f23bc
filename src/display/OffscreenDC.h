#pragma once

#include <QImage>
#include <QPainter>
#include <QRect>

#include <cstdint>

// A drawing surface that stands in for a paint target during one paint: everything is
// drawn into a memory image the size of the painted rectangle, and the finished picture is
// copied to the target in one block when the surface is released (destroyed).
//
// The target is an active QPainter on its paint device (a widget in paintEvent, an image,
// a PDF writer); it is not owned. Coordinates on the surface are the target's logical
// coordinates: the surface's origin is moved to the rectangle's top-left, so a point drawn
// at (x, y) lands where it would have landed on the target.
//
// A printing target, one whose device is paged (QPdfWriter, QPrinter), is passed through:
// there is no memory image, drawing goes straight to the target's painter, and release
// neither copies nor ends anything. Without a rectangle the surface covers the target's
// clip box: its clip bounds when it clips, else the whole device, in logical coordinates.
//
// When the memory image cannot be made (an empty rectangle, no memory), drawing goes straight
// to the target, as in the printing case: a flicker is better than a blank control.
//
// Open it after the target's painter and release it before that painter ends.
//
// A control that paints often can lend the surface a spare image to keep between paints:
// when it has the right size and format the surface draws on it instead of making a new
// one (its paint engine comes with it), and hands it back at release.
class COffscreenDC {
public:
    COffscreenDC(
        QPainter& target, const QRect& rect, bool blitBack = true, QImage* spare = nullptr);
    explicit COffscreenDC(QPainter& target, bool blitBack = true);
    ~COffscreenDC();

    COffscreenDC(const COffscreenDC&) = delete;
    COffscreenDC& operator=(const COffscreenDC&) = delete;

    // Where all drawing goes: the memory image's painter, or the target when passed through.
    QPainter& Painter() { return *m_pPainter; }
    QPainter* operator->() { return m_pPainter; }

    const QRect& Rect() const { return m_rect; }
    bool IsPassThrough() const { return m_bPassThrough != 0; }
    // The memory image; null when passed through.
    const QImage& Image() const { return m_bitmap; }

    static bool IsPrinting(const QPainter& target);
    static QRect ClipBox(const QPainter& target);

private:
    void Open(const QRect& rect, bool blitBack);
    void BlitBack();

    QImage m_bitmap;
    QImage* m_pSpare = nullptr;
    QPainter m_memory; // the memory context: active on m_bitmap unless passed through
    QPainter* m_pTarget;
    QPainter* m_pPainter;
    QRect m_rect;
    int m_bPassThrough = 0;
    uint8_t m_bBlitBack = 0;
};
