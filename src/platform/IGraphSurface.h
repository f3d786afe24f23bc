#pragma once

#include <QImage>
#include <QPoint>
#include <QRect>
#include <QRgb>

class QWidget;

// One graph's pixels kept by the window system: the background and the texts are pictures
// stored there once, so a tick sends only the line's vertices. Everything is in the window's
// device pixels.
class IGraphSurface {
public:
    virtual ~IGraphSurface() = default;
    // Takes the widget's native window as the place to draw; false when this window system
    // cannot draw on it, and the caller paints with QPainter instead.
    virtual bool Bind(QWidget& widget) = 0;
    // The picture under the line, exactly the window's size; sent when that size changes.
    virtual bool SetBackground(const QImage& background) = 0;
    // The texts' picture placed at `at`: its transparent pixels leave what is under them.
    // Sent when a text changes. A null image means no texts.
    virtual bool SetTexts(const QImage& texts, const QPoint& at) = 0;
    // Shows background, the line's runs of pixels and texts, in that order, in one step.
    // The requests wait in the connection's buffer until Flush, so one tick's graphs go to
    // the server in one write.
    virtual void Present(const QRect* pRuns, int nRuns, QRgb line) = 0;
    // Sends every request made so far.
    virtual void Flush() = 0;
};
