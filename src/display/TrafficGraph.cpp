#include "display/TrafficGraph.h"

#include "display/OffscreenDC.h"

#include <QFontMetrics>
#include <QPainter>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

constexpr ColorRef kRateText = MakeColorRef(255, 255, 0);
constexpr ColorRef kScaleText = MakeColorRef(200, 200, 0);
// The timer's period: the length given to a tick whose real length cannot be measured.
constexpr uint32_t kNominalTickMs = 200;

// A reader's difference as a history point: truncated toward zero, kept inside 32 bits.
int32_t ToPoint(double amount)
{
    if (!(amount == amount))
        return 0;
    if (amount >= double(INT32_MAX))
        return INT32_MAX;
    if (amount <= double(INT32_MIN))
        return INT32_MIN;
    return int32_t(amount);
}

// Replaces the text without giving up its buffer: once a second must not cost an allocation.
void AssignLatin1(QString& text, const char* chars, int length)
{
    text.resize(0);
    text.append(QLatin1String(chars, std::max(0, length)));
}

} // namespace

CTrafficGraph::CTrafficGraph(IClock& clock, QWidget* parent)
    : QWidget(parent)
    , m_clock(clock)
{
    // The paint covers every pixel: no erase before it, so nothing flickers.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    setAutoFillBackground(false);
}

CTrafficGraph::~CTrafficGraph() = default;

void CTrafficGraph::Attach(QWidget* parent, const QRect& controlRect)
{
    if (parent && parent != parentWidget())
        setParent(parent);
    setGeometry(controlRect);
    const int width = controlRect.width();

    m_dAccumulated = 0;
    m_bReady = 0;
    m_nFullScale = 20480;
    m_nDevice = 0;

    // Arial (Liberation Sans where Arial is absent) with a character height of 9 pixels.
    // Never smoothed: Arial asks for grid-fitting without smoothing at this size, and the
    // texts keep their exact colours.
    LogFont lf;
    lf.lfHeight = -9;
    lf.lfWeight = 100;
    lf.lfCharSet = LogFontValues::kDefaultCharSet;
    lf.lfQuality = LogFontValues::kNonAntialiasedQuality;
    lf.lfPitchAndFamily = LogFontValues::kVariablePitch;
    lf.SetFaceName("Arial");
    m_font.SetLogFont(lf);

    m_crDots = MakeColorRef(10, 10, 250);
    m_crLine = MakeColorRef(0, 255, 0);

    const int step = std::max(1, m_nPointStep);
    const size_t points = size_t(std::max(0, (width + 1) / step));
    m_history.assign(points, 0);
    m_tickLengths.assign(points, kNominalTickMs);
    m_points.assign(points, QPoint());

    m_bReady = 1;
    if (parentWidget())
        show();
}

void CTrafficGraph::ClearHistory()
{
    std::fill(m_history.begin(), m_history.end(), 0);
    std::fill(m_tickLengths.begin(), m_tickLengths.end(), kNominalTickMs);
    m_dAccumulated = 0;
}

void CTrafficGraph::SetDirection(int direction)
{
    switch (direction) {
    case 1:
        m_strSuffix = QStringLiteral(" received");
        break;
    case 2:
        m_strSuffix = QStringLiteral(" sent");
        break;
    default:
        break;
    }
}

void CTrafficGraph::Sample(double read, bool connected)
{
    int32_t amount = ToPoint(read);
    // The tick's real length, from the same tick count the rate text divides by: a late
    // tick carries more bytes without the link being any faster.
    const uint32_t now = m_clock.GetTickCount();
    uint32_t length = now - m_dwLastSample; // modulo 2^32: the count wraps
    if (!m_bLastSampleKnown || length == 0)
        length = kNominalTickMs;
    m_dwLastSample = now;
    m_bLastSampleKnown = true;
    if (m_bFirstSample) {
        // The first tick after construction has nothing trustworthy to subtract from.
        m_dAccumulated = 0;
        amount = 0;
        m_bFirstSample = 0;
    } else {
        m_dAccumulated += amount;
    }
    if (!m_history.empty()) {
        std::copy_backward(m_history.begin(), m_history.end() - 1, m_history.end());
        // Without a connection the line stays flat and shows no activity; the rate still
        // counts the bytes.
        m_history[0] = connected ? amount : 0;
    }
    if (!m_tickLengths.empty()) {
        std::copy_backward(m_tickLengths.begin(), m_tickLengths.end() - 1, m_tickLengths.end());
        m_tickLengths[0] = length;
    }
    // The heights worked out so far move with their points, so the next drawing works out
    // the newest one only.
    if (!m_heights.empty()) {
        std::copy_backward(m_heights.begin(), m_heights.end() - 1, m_heights.end());
        m_heights[0].known = false;
    }
    Repaint();
}

QString CTrafficGraph::FormatScale(int32_t bytes)
{
    return QString::asprintf("%d KB/s", bytes / 1024);
}

void CTrafficGraph::SetFullScale(int32_t bytes)
{
    m_nFullScale = bytes;
    m_strScale = FormatScale(bytes);
}

void CTrafficGraph::UpdateLabels()
{
    char text[400]; // "%1.2f" of the largest double is 312 characters
    AssignLatin1(
        m_strScale, text, std::snprintf(text, sizeof text, "%d KB/s", m_nFullScale / 1024));

    // Ticks arrive a little late or early, so a second is not always five of them: divide
    // by the time that really passed since the previous refresh.
    const uint32_t now = m_clock.GetTickCount();
    bool refresh = true;
    double rate = 0;
    if (m_bFirstUpdate) {
        m_bFirstUpdate = 0;
    } else {
        const uint32_t elapsed = now - m_dwLastUpdate; // modulo 2^32: the count wraps
        if (elapsed == 0)
            refresh = false; // no time passed: keep the text and the bytes for the next call
        else
            rate = m_dAccumulated / 1024.0 / (elapsed / 1000.0);
    }
    if (refresh) {
        m_dAccumulated = 0;
        m_dwLastUpdate = now;
        // Always a decimal point: the texts are the program's own, whatever the user's
        // locale says about numbers.
        const auto [end, error]
            = std::to_chars(text, text + sizeof text - 8, rate, std::chars_format::fixed, 2);
        const char* stop = error == std::errc() ? end : text;
        const int length = int(stop - text);
        std::memcpy(text + length, " KB/s", 5);
        AssignLatin1(m_strRate, text, length + 5);
        if (!m_strSuffix.isEmpty())
            m_strRate.append(m_strSuffix);
    }
    Repaint();
}

void CTrafficGraph::Repaint()
{
    // Only when the picture changes: every tick of an idle link scrolls the same flat line
    // under the same texts.
    if (m_pSurface) {
        // A few requests to the server, nothing posted to the event loop. An owner that
        // repaints its graphs sends all their requests in one write once the tick is done.
        if (isVisible() && PictureChanged()) {
            PresentNative();
            if (m_bOwnerRepaints)
                m_bUnflushed = true;
            else
                m_pSurface->Flush();
        }
        return;
    }
    if (!m_bOwnerRepaints) {
        repaint();
        return;
    }
    // Painted by the owner with its other graphs once the tick is done.
    if (PictureChanged())
        update();
}

void CTrafficGraph::UseSurface(std::unique_ptr<IGraphSurface> surface)
{
    m_pSurface.reset();
    setAttribute(Qt::WA_PaintOnScreen, false);
    if (!surface)
        return;
    // A native window that Qt never paints: the surface's requests are all its drawing.
    setAttribute(Qt::WA_NativeWindow);
    setAttribute(Qt::WA_PaintOnScreen);
    if (!surface->Bind(*this)) {
        setAttribute(Qt::WA_PaintOnScreen, false);
        return;
    }
    m_pSurface = std::move(surface);
    m_surfaceBackground = QSize();
    m_surfaceTexts.reset();
}

QPaintEngine* CTrafficGraph::paintEngine() const
{
    return m_pSurface ? nullptr : QWidget::paintEngine();
}

void CTrafficGraph::PresentNative()
{
    if (!m_bReady)
        return;
    ++m_nPaints;
    const int w = width();
    const int h = height();
    if (m_surfaceBackground != size()) {
        RebuildBackground(w, h);
        if (m_pSurface->SetBackground(m_bmpBackground))
            m_surfaceBackground = size();
        // The server keeps the picture now.
        m_bmpBackground = QImage();
    }
    // The texts change once a second at most: drawn here with Qt, exactly as the raster path
    // draws them, and sent as a picture that every tick copies through its mask.
    SurfaceTexts texts { size(), m_font.Font(), m_bMirror, m_strRate, m_strScale };
    if (m_surfaceTexts != texts) {
        // Only the band of rows the texts stand on, with a row or two to spare for glyphs
        // that reach beyond the line's height.
        const int lineHeight = QFontMetrics(m_font.Font()).height();
        const int top = std::max(0, (m_bMirror ? h - lineHeight - 1 : 4) - 2);
        const int bottom = std::min(h, top + lineHeight + 4);
        QImage picture(
            std::max(0, w), std::max(0, bottom - top), QImage::Format_ARGB32_Premultiplied);
        if (!picture.isNull()) {
            picture.fill(Qt::transparent);
            QPainter painter(&picture);
            painter.setFont(m_font.Font());
            painter.translate(0, -top);
            DrawTexts(painter, w, h);
        }
        if (m_pSurface->SetTexts(picture, QPoint(0, top)))
            m_surfaceTexts = std::move(texts);
    }
    ComputePoints(h);
    m_pSurface->Present(m_runs.data(), int(m_runs.size()), ToQRgb(m_crLine));
}

void CTrafficGraph::FlushNative()
{
    if (m_bUnflushed && m_pSurface)
        m_pSurface->Flush();
    m_bUnflushed = false;
}

bool CTrafficGraph::PictureChanged()
{
    PictureInputs inputs { size(), m_nPointStep, m_font.Font(), m_crLine, m_crDots, m_nDotStepX,
        m_nDotStepY, m_bMirror, m_strRate, m_strScale };
    // The heights alone, without the vertices and runs: an idle tick touches no more memory
    // than it must.
    UpdateHeights(height());
    m_pictureHeights.resize(m_heights.size());
    bool same = m_bPictureKnown && inputs == m_picture;
    for (size_t i = 0; i < m_heights.size(); ++i) {
        same = same && m_pictureHeights[i] == m_heights[i].height;
        m_pictureHeights[i] = m_heights[i].height;
    }
    if (same)
        return false;
    m_picture = std::move(inputs);
    m_bPictureKnown = true;
    return true;
}

int CTrafficGraph::PointHeight(size_t i, int height) const
{
    if (i >= m_history.size() || height <= 1)
        return 0;
    // The line compares a rate with the full scale: both are bytes per second. A full
    // scale of 0 or below would divide by zero: draw it as one byte per second, so every
    // positive point reaches full height.
    const double fullScale = std::max<int32_t>(1, m_nFullScale);
    const uint32_t length
        = i < m_tickLengths.size() && m_tickLengths[i] != 0 ? m_tickLengths[i] : kNominalTickMs;
    const double rate = std::clamp(m_history[i] * 1000.0 / length, 0.0, fullScale);
    // A rate equal to the full scale gives exactly height - 1: the top row.
    return int(rate * (height - 1) / fullScale);
}

void CTrafficGraph::UpdateHeights(int height)
{
    const size_t n = std::min(m_history.size(), m_points.size());
    // A height is worked out again only when what it depends on changed: the graph's height,
    // the full scale, or the point's bytes and tick length.
    if (height != m_heightsFor || m_nFullScale != m_heightsScale) {
        m_heights.assign(n, PointMemo());
        m_heightsFor = height;
        m_heightsScale = m_nFullScale;
    }
    m_heights.resize(n);
    for (size_t i = 0; i < n; ++i) {
        PointMemo& memo = m_heights[i];
        const uint32_t length = i < m_tickLengths.size() ? m_tickLengths[i] : 0;
        if (!memo.known || memo.bytes != m_history[i] || memo.length != length)
            memo = { m_history[i], length, PointHeight(i, height), true };
    }
}

void CTrafficGraph::ComputePoints(int height)
{
    UpdateHeights(height);
    const int step = std::max(1, m_nPointStep);
    const size_t n = m_heights.size();
    for (size_t i = 0; i < n; ++i) {
        const int d = m_heights[i].height;
        m_points[i] = QPoint(int(i) * step, m_bMirror ? d : (height - 1) - d);
    }
    // Drawn as one run of pixels per point, from its row toward the next point's row with
    // that row left to the next point, and the last point alone. Both drawing paths fill
    // exactly these rectangles, so the window system's pictures and the image agree.
    m_runs.resize(n);
    for (size_t i = 0; i < n; ++i) {
        const int y = m_points[i].y();
        int top = y;
        int bottom = y;
        if (i + 1 < n) {
            const int next = m_points[i + 1].y();
            if (next > y + 1)
                bottom = next - 1;
            else if (next < y - 1)
                top = next + 1;
        }
        m_runs[i] = QRect(m_points[i].x(), top, step, bottom - top + 1);
    }
}

int CTrafficGraph::GetLastSample() const
{
    return m_history.empty() ? 0 : m_history[0];
}

void CTrafficGraph::paintEvent(QPaintEvent*)
{
    if (!m_bReady)
        return;
    if (m_pSurface) {
        PresentNative();
        m_pSurface->Flush();
        m_bUnflushed = false;
        return;
    }
    ++m_nPaints;
    QPainter target(this);
    // Paint into the off-screen surface and copy once, so the graph never shows half a frame.
    COffscreenDC dc(target, rect(), true, &m_bmpOffscreen);
    Draw(dc.Painter(), width(), height());
}

void CTrafficGraph::Draw(QPainter& painter, int width, int height)
{
    painter.setFont(m_font.Font());
    if (m_bmpBackground.isNull() || m_bmpBackground.size() != QSize(width, height))
        RebuildBackground(width, height);
    // The background covers every pixel; without one (no memory for it) the button colour
    // stands in.
    if (m_bmpBackground.isNull())
        painter.fillRect(0, 0, width, height, palette().color(QPalette::Button));
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.drawImage(0, 0, m_bmpBackground);
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);

    ComputePoints(height);
    const QColor line = ToQColor(m_crLine);
    for (const QRect& run : m_runs)
        painter.fillRect(run, line);
    DrawTexts(painter, width, height);
}

void CTrafficGraph::DrawTexts(QPainter& painter, int width, int height)
{
    // The scale text's height places both texts.
    // Shaping a text costs more than drawing it: lay each out again only when it changed.
    const QFont& font = painter.font();
    if (m_textFont != font) {
        m_textFont = font;
        m_rateText = QStaticText();
        m_scaleText = QStaticText();
    }
    for (auto [text, layout] :
        { std::pair { &m_strRate, &m_rateText }, { &m_strScale, &m_scaleText } })
        if (layout->text() != *text || layout->text().isNull()) {
            layout->setText(*text);
            layout->setTextFormat(Qt::PlainText);
            layout->prepare(QTransform(), font);
        }
    const QFontMetrics metrics = painter.fontMetrics();
    const int cx = int(std::ceil(m_scaleText.size().width()));
    const int cy = metrics.height();
    const int top = m_bMirror ? height - cy - 1 : 4;
    painter.setPen(ToQColor(kRateText));
    painter.drawStaticText(4, top, m_rateText);
    painter.setPen(ToQColor(kScaleText));
    painter.drawStaticText(width - cx - 5, top, m_scaleText);
}

void CTrafficGraph::RebuildBackground(int width, int height)
{
    ++m_nBackgroundBuilds;
    m_bmpBackground = QImage(std::max(0, width), std::max(0, height), QImage::Format_RGB32);
    if (m_bmpBackground.isNull())
        return; // tried again at the next paint
    m_bmpBackground.fill(ToQColor(MakeColorRef(0, 0, 0)));
    const int stepX = std::max(1, m_nDotStepX);
    const int stepY = std::max(1, m_nDotStepY);
    const QRgb dot = ToQRgb(m_crDots);
    for (int y = 0; y < height; y += stepY) {
        auto* row = reinterpret_cast<QRgb*>(m_bmpBackground.scanLine(y));
        for (int x = 0; x < width; x += stepX)
            row[x] = dot;
    }
}
