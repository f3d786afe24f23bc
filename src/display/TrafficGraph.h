#pragma once

#include "display/ColorRef.h"
#include "display/LabelFont.h"
#include "platform/IClock.h"
#include "platform/IGraphSurface.h"

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QStaticText>
#include <QString>
#include <QWidget>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

// Draws one direction of one network interface: a scrolling history line over a black,
// dotted background, with the current rate and the full scale as texts.
//
// It never runs by itself. The owner creates it, calls Attach to put it in the place of its
// control, sets m_crLine, the full scale and SetDirection; then, every 200 ms tick, reads the
// interface's counters once for all its graphs and hands each its bytes with Sample, and calls
// UpdateLabels once a second:
//
//     m_graphReceived.Attach(this, QRect(5, 5, 164, 54));
//     m_graphReceived.m_crLine = MakeColorRef(0, 255, 0);
//     m_graphReceived.SetFullScale(20480);
//     m_graphReceived.SetDirection(1);
//     ...
//     m_graphReceived.Sample(receivedBytes, connected);
//
// The owner may write m_crLine, m_nFullScale with m_strScale, and m_bMirror at any time;
// they take effect at the next paint.
class CTrafficGraph : public QWidget {
public:
    explicit CTrafficGraph(IClock& clock, QWidget* parent = nullptr);
    ~CTrafficGraph() override;

    // Takes the place of the parent's control at controlRect (parent coordinates) and sets
    // the graph up for that size: font, colours, full scale, a zeroed history of
    // (width + 1) / m_nPointStep points. The history length never
    // changes afterwards.
    void Attach(QWidget* parent, const QRect& controlRect);

    // 1: the received bytes' suffix " received"; 2: the sent bytes' " sent"; anything else
    // leaves the suffix as it is.
    void SetDirection(int direction);
    // One tick: the bytes the owner read for this graph since the previous tick, and whether
    // the system is connected (the line stays flat without); scrolls the history and repaints.
    void Sample(double amount, bool connected);
    // Forgets the history and the bytes counted so far, as a change of interface does.
    void ClearHistory();
    // Once a second: the rate since the previous call and the full-scale text; repaint.
    void UpdateLabels();
    // The newest history point (0 before Attach).
    int GetLastSample() const;

    // Stores the full scale in bytes per second and its text.
    void SetFullScale(int32_t bytes);
    // "%d KB/s" with bytes / 1024, truncated toward zero.
    static QString FormatScale(int32_t bytes);

    // Pixels above the bottom row (below the top row in mirror mode) of history point i in a
    // graph of that height: the point's rate in bytes per second against the full scale.
    // Every way of drawing the line places its points with this.
    int PointHeight(size_t i, int height) const;
    // Draws with the window system's own requests from now on, into pictures it keeps; the
    // graph becomes a native window that Qt does not paint. A surface that cannot bind to
    // this window system is dropped and QPainter goes on painting.
    void UseSurface(std::unique_ptr<IGraphSurface> surface);
    bool DrawsNatively() const { return m_pSurface != nullptr; }
    // Sends what the owner's repaints left in the window system's buffer.
    void FlushNative();

    // How many times the dotted background was drawn.
    int BackgroundRebuilds() const { return m_nBackgroundBuilds; }
    // How many times the graph was painted since construction.
    int PaintCount() const { return m_nPaints; }

    CLabelFont m_font;
    uint8_t m_bMirror = 0; // 1: line hangs from the top edge, texts at the bottom
    QString m_strScale;
    QString m_strRate;
    int m_bReady = 0; // painting does nothing until Attach has run
    ColorRef m_crLine = MakeColorRef(0, 255, 0);
    ColorRef m_crDots = MakeColorRef(10, 10, 250);
    int32_t m_nFullScale = 20480; // bytes per second drawn at full height
    double m_dAccumulated = 0; // bytes since the previous UpdateLabels
    int32_t m_nDevice = 0;
    // Newest first: element i is the bytes of the tick i ticks ago (not a rate), and
    // m_tickLengths[i] that tick's length in milliseconds.
    std::vector<int32_t> m_history;
    std::vector<uint32_t> m_tickLengths;
    int32_t m_nDotStepX = 3;
    int32_t m_nDotStepY = 3;
    int32_t m_nPointStep = 1;
    uint8_t m_bFirstSample = 1;
    QImage m_bmpBackground; // the dotted background, exactly the client size
    QImage m_bmpOffscreen; // the off-screen surface kept between paints
    QString m_strSuffix;
    // The owner repaints the graph itself, once for all its graphs in a tick: Sample and
    // UpdateLabels then only mark it for that repaint, and only when the picture changed.
    bool m_bOwnerRepaints = false;

protected:
    void paintEvent(QPaintEvent* event) override;
    QPaintEngine* paintEngine() const override;

private:
    void Draw(QPainter& painter, int width, int height);
    void DrawTexts(QPainter& painter, int width, int height);
    void PresentNative();
    void RebuildBackground(int width, int height);
    void Repaint();
    // Each history point's height in a graph of that height, into m_heights.
    void UpdateHeights(int height);
    // The line's vertices for the current history into m_points, and the runs of pixels
    // that draw it into m_runs.
    void ComputePoints(int height);
    // Whether the picture differs from the one at the previous call (true the first time).
    bool PictureChanged();

    // Everything besides the line that decides what a paint shows.
    struct PictureInputs {
        QSize size;
        int32_t pointStep;
        QFont font;
        ColorRef line, dots;
        int32_t dotStepX, dotStepY;
        uint8_t mirror;
        QString rate, scale;
        bool operator==(const PictureInputs&) const = default;
    };

    IClock& m_clock;
    uint32_t m_dwLastUpdate = 0;
    uint8_t m_bFirstUpdate = 1;
    uint32_t m_dwLastSample = 0; // tick count of the previous sample
    bool m_bLastSampleKnown = false;
    std::vector<QPoint> m_points; // the line's vertices, sized with the history
    // Each point's height with the bytes and tick length it was worked out from.
    struct PointMemo {
        int32_t bytes = 0;
        uint32_t length = 0;
        int height = 0;
        bool known = false;
    };
    std::vector<PointMemo> m_heights;
    int m_heightsFor = -1; // the graph height and full scale of every known height
    int32_t m_heightsScale = 0;
    std::vector<QRect> m_runs;
    int m_nBackgroundBuilds = 0;
    int m_nPaints = 0;
    // The texts laid out once and drawn many times: they change once a second at most.
    QStaticText m_rateText;
    QStaticText m_scaleText;
    QFont m_textFont;
    PictureInputs m_picture;
    std::vector<int> m_pictureHeights;
    bool m_bPictureKnown = false;

    // What the native surface holds, so each picture is sent again only when it changed.
    struct SurfaceTexts {
        QSize size;
        QFont font;
        uint8_t mirror;
        QString rate, scale;
        bool operator==(const SurfaceTexts&) const = default;
    };
    std::unique_ptr<IGraphSurface> m_pSurface;
    QSize m_surfaceBackground;
    std::optional<SurfaceTexts> m_surfaceTexts;
    bool m_bUnflushed = false;
};
