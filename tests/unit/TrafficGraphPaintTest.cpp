#include "display/ColorRef.h"
#include "display/TrafficGraph.h"
#include "fakes/FakeClock.h"
#include "support/NamedRows.h"

#include <QFontInfo>
#include <QFontMetrics>
#include <QImage>

#include <gtest/gtest.h>

#include <climits>
#include <string>

namespace {

using ::PrintTo; // the rows print by their names

constexpr int kW = 164;
constexpr int kH = 54;
constexpr QRgb kBlack = qRgb(0, 0, 0);
constexpr QRgb kDot = qRgb(10, 10, 250);
constexpr QRgb kGreen = qRgb(0, 255, 0);
constexpr QRgb kRate = qRgb(255, 255, 0);
constexpr QRgb kScale = qRgb(200, 200, 0);
constexpr QRgb kUnpainted = qRgb(255, 0, 255);

struct PaintedGraph {
    CFakeClock clock;
    CTrafficGraph graph { clock };

    PaintedGraph() { graph.Attach(nullptr, QRect(0, 0, kW, kH)); }

    // No texts, so every pixel is either the line's or the background's.
    void NoTexts()
    {
        graph.m_strRate.clear();
        graph.m_strScale.clear();
    }

    QImage Paint()
    {
        QImage image(graph.size(), QImage::Format_RGB32);
        image.fill(kUnpainted);
        graph.render(&image);
        return image;
    }
};

QRgb BackgroundAt(int x, int y)
{
    return x % 3 == 0 && y % 3 == 0 ? kDot : kBlack;
}

// The bounding box of the pixels of one colour.
QRect InkBox(const QImage& image, QRgb colour)
{
    QRect box;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, y) == colour)
                box |= QRect(x, y, 1, 1);
    return box;
}

} // namespace

TEST(ColorRef, RedIsTheLowByte)
{
    EXPECT_EQ(ToQColor(0x00FFFF), QColor(255, 255, 0));
    EXPECT_EQ(ToQColor(0xFA0A0A), QColor(10, 10, 250));
    EXPECT_EQ(ToQColor(0xFF000000u | 0x0000FF), QColor(255, 0, 0)); // the top byte is no alpha
    EXPECT_EQ(MakeColorRef(200, 200, 0), 0x00C8C8u);
}

TEST(TrafficGraphPaint, FlatLineOverDotsEveryThirdPixel)
{
    struct Case {
        const char* what;
        int32_t point;
        uint8_t mirror;
        int row;
    };
    // A point is the bytes of one 200 ms tick: 4096 bytes are 20480 bytes per second.
    const Case cases[] = {
        { "zero on the bottom row", 0, 0, 53 },
        { "full scale on the top row", 4096, 0, 0 },
        { "half scale truncates", 2048, 0, 27 },
        { "zero on the top row when mirrored", 0, 1, 0 },
        { "full scale on the bottom row when mirrored", 4096, 1, 53 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        PaintedGraph g;
        g.NoTexts();
        g.graph.m_bMirror = c.mirror;
        std::fill(g.graph.m_history.begin(), g.graph.m_history.end(), c.point);
        const QImage image = g.Paint();
        int wrong = 0;
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x) {
                const QRgb want = y == c.row ? kGreen : BackgroundAt(x, y);
                if (image.pixel(x, y) != want && ++wrong < 5)
                    ADD_FAILURE() << "pixel (" << x << ", " << y << ") is " << std::hex
                                  << image.pixel(x, y) << ", wanted " << want;
            }
        EXPECT_EQ(wrong, 0);
    }
}

TEST(TrafficGraphPaint, EachPointAtItsRowNewestOnTheLeft)
{
    struct Case {
        const char* what;
        int32_t fullScale;
        uint8_t mirror;
        std::vector<int32_t> points;
        std::vector<int> rows;
    };
    const Case cases[] = {
        { "zero, full, above full, negative, half", 20480, 0, { 0, 4096, 8000, -100, 2048, 0 },
            { 53, 0, 0, 53, 27, 53 } },
        { "the same mirrored", 20480, 1, { 0, 4096, 8000, -100, 2048, 0 },
            { 0, 53, 53, 0, 26, 0 } },
        { "full scale 0 draws as one byte", 0, 0, { 5, 0, -3, 1, 0 }, { 0, 53, 53, 0, 53 } },
        { "negative full scale draws as one byte", -4096, 0, { 5, 0, 1 }, { 0, 53, 0 } },
        { "huge points do not overflow", INT32_MAX, 0, { INT32_MAX, 0, INT32_MAX / 10 },
            { 0, 53, 27 } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        PaintedGraph g;
        g.NoTexts();
        g.graph.m_nFullScale = c.fullScale;
        g.graph.m_bMirror = c.mirror;
        std::copy(c.points.begin(), c.points.end(), g.graph.m_history.begin());
        const QImage image = g.Paint();
        for (size_t x = 0; x < c.rows.size(); ++x)
            EXPECT_EQ(image.pixel(int(x), c.rows[x]), kGreen) << "column " << x;
    }
}

TEST(TrafficGraphPaint, TextsInTheirColoursAndPlaces)
{
    for (uint8_t mirror : { 0, 1 }) {
        SCOPED_TRACE(mirror ? "mirrored" : "upright");
        PaintedGraph g;
        g.graph.m_bMirror = mirror;
        g.graph.m_strRate = "0.00 KB/s received";
        g.graph.m_strScale = "20 KB/s";
        const QFontMetrics metrics(g.graph.m_font.Font());
        const int cx = metrics.horizontalAdvance(g.graph.m_strScale);
        const int cy = metrics.height();
        const int top = mirror ? kH - cy - 1 : 4;

        const QImage image = g.Paint();
        const QRect rate = InkBox(image, kRate);
        const QRect scale = InkBox(image, kScale);
        ASSERT_FALSE(rate.isEmpty());
        ASSERT_FALSE(scale.isEmpty());
        // Glyphs start a pixel or so right of their origin and sit inside the cell.
        EXPECT_GE(rate.left(), 4);
        EXPECT_LE(rate.left(), 6);
        EXPECT_GE(rate.top(), top);
        EXPECT_LE(rate.bottom(), top + cy - 1);
        EXPECT_GE(scale.left(), kW - cx - 5);
        EXPECT_LE(scale.left(), kW - cx - 3);
        EXPECT_LE(scale.right(), kW - 5 - 1);
        EXPECT_GE(scale.right(), kW - 5 - 3);
        EXPECT_GE(scale.top(), top);
        EXPECT_LE(scale.bottom(), top + cy - 1);
        EXPECT_LT(rate.right(), scale.left());
    }
}

TEST(TrafficGraphPaint, DecimalPointStandsApartFromTheDigits)
{
    // At 9 pixels a point placed by fractional advances merges with the next digit and
    // "3.25" reads "325"; hinted whole-pixel advances keep a blank around it.
    for (const char* rate : { "3.25 KB/s sent", "0.00 KB/s", "12.50 KB/s" }) {
        SCOPED_TRACE(rate);
        PaintedGraph g;
        g.NoTexts();
        g.graph.m_strRate = rate;
        const QImage image = g.Paint();
        auto ink = [&](int x, int y) { return image.valid(x, y) && image.pixel(x, y) == kRate; };
        int isolated = 0;
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x) {
                if (!ink(x, y))
                    continue;
                int neighbours = 0;
                for (int dy = -1; dy <= 1; ++dy)
                    for (int dx = -1; dx <= 1; ++dx)
                        neighbours += (dx || dy) && ink(x + dx, y + dy);
                isolated += neighbours == 0;
            }
        EXPECT_EQ(isolated, 1);
    }
}

TEST(TrafficGraphPaint, TextFontIsArialOrItsStandInAtNinePixels)
{
    PaintedGraph g;
    const QFontInfo info(g.graph.m_font.Font());
    EXPECT_TRUE(info.family() == "Arial" || info.family() == "Liberation Sans")
        << info.family().toStdString();
    EXPECT_EQ(info.pixelSize(), 9);
    EXPECT_EQ(g.graph.m_font.GetLogFont().lfHeight, -9);
    EXPECT_EQ(g.graph.m_font.GetLogFont().lfWeight, 100);
}

TEST(TrafficGraphPaint, BackgroundDrawnOnceUntilTheSizeChanges)
{
    PaintedGraph g;
    g.Paint();
    g.Paint();
    g.graph.Sample(0, true);
    g.Paint();
    EXPECT_EQ(g.graph.BackgroundRebuilds(), 1);

    g.graph.resize(100, 40);
    const QImage image = g.Paint();
    EXPECT_EQ(g.graph.BackgroundRebuilds(), 2);
    EXPECT_EQ(g.graph.m_bmpBackground.size(), QSize(100, 40));
    EXPECT_EQ(image.pixel(99, 30), kDot);
    // The history keeps the length it was given when attached.
    EXPECT_EQ(g.graph.m_history.size(), size_t(kW + 1));
    g.Paint();
    EXPECT_EQ(g.graph.BackgroundRebuilds(), 2);
}

TEST(TrafficGraphPaint, NothingDrawnBeforeAttach)
{
    CFakeClock clock;
    CTrafficGraph graph(clock);
    graph.resize(kW, kH);
    QImage image(graph.size(), QImage::Format_RGB32);
    image.fill(kUnpainted);
    graph.render(&image);
    EXPECT_EQ(InkBox(image, kUnpainted), image.rect());
    EXPECT_EQ(graph.GetLastSample(), 0);
}

namespace {

// A steady stream of rate bytes per second, sampled over a tick of tickMs milliseconds.
struct RateRow {
    const char* name;
    int32_t fullScale;
    uint32_t rate;
    uint32_t tickMs;
    uint8_t mirror;
    int row;
};

class TrafficGraphRate : public testing::TestWithParam<RateRow> { };

} // namespace

TEST_P(TrafficGraphRate, PointStandsWhereItsRateAgainstTheFullScalePutsIt)
{
    const RateRow& r = GetParam();
    PaintedGraph g;
    g.NoTexts();
    g.graph.SetFullScale(r.fullScale);
    g.graph.m_bMirror = r.mirror;
    g.graph.Sample(0, true); // the first sample only starts the count
    g.clock.Advance(r.tickMs);
    g.graph.Sample(double(uint64_t(r.rate) * r.tickMs / 1000), true);
    const QImage image = g.Paint();
    EXPECT_EQ(image.pixel(0, r.row), kGreen);
    EXPECT_EQ(g.graph.GetLastSample(), int(uint64_t(r.rate) * r.tickMs / 1000));
}

INSTANTIATE_TEST_SUITE_P(Rows, TrafficGraphRate,
    testing::Values(RateRow { "LabelRateAtNominalTickOnTopRow", 20480, 20480, 200, 0, 0 },
        RateRow { "LabelRateOverLateTickOnTopRow", 20480, 20480, 250, 0, 0 },
        RateRow { "HalfRateAtNominalTick", 20480, 10240, 200, 0, 27 },
        RateRow { "HalfRateOverLateTick", 20480, 10240, 400, 0, 27 },
        RateRow { "StreamJustAbove100KBsOnTopRow", 102400, 105472, 200, 0, 0 },
        RateRow { "AboveFullScalePinnedToTopRow", 20480, 51200, 200, 0, 0 },
        RateRow { "MirroredLabelRateOnBottomRow", 20480, 20480, 250, 1, 53 },
        RateRow { "MirroredAboveFullScaleOnBottomRow", 20480, 51200, 200, 1, 53 }),
    RowName);

namespace {

// The longest figures of each unit, at a device pixel ratio.
struct TextsRow {
    const char* name;
    const char* rate;
    const char* scale;
    qreal ratio;
};

class TrafficGraphTexts : public testing::TestWithParam<TextsRow> { };

} // namespace

TEST_P(TrafficGraphTexts, RateAndScaleNeverMeetNorLeaveTheGraph)
{
    const TextsRow& r = GetParam();
    PaintedGraph g;
    g.graph.SetDirection(1);
    g.graph.m_strRate = r.rate;
    g.graph.m_strScale = r.scale;
    QImage image(g.graph.size() * r.ratio, QImage::Format_RGB32);
    image.setDevicePixelRatio(r.ratio);
    image.fill(kUnpainted);
    g.graph.render(&image);
    const QRect rate = InkBox(image, kRate);
    const QRect scale = InkBox(image, kScale);
    ASSERT_FALSE(rate.isEmpty());
    ASSERT_FALSE(scale.isEmpty());
    EXPECT_LT(rate.right() + 1, scale.left()) << "the texts meet";
    EXPECT_LT(scale.right(), image.width() - 1) << "the scale text is cut";
    // The number and its unit stand whole: the text reaches at least as far as they do.
    const QString number = QString::fromLatin1(r.rate).section(' ', 0, 1);
    const int numberWidth = QFontMetrics(g.graph.m_font.Font()).horizontalAdvance(number);
    EXPECT_GE(rate.right(), int((4 + numberWidth - 2) * r.ratio)) << "the rate text is cut";
}

INSTANTIATE_TEST_SUITE_P(Rows, TrafficGraphTexts,
    testing::Values(TextsRow { "KilobytesAtRatio1", "9999.99 KB/s received", "9999 KB/s", 1.0 },
        TextsRow { "MegabytesAtRatio1", "9999.99 MB/s received", "9999 MB/s", 1.0 },
        TextsRow { "MegabytesAtRatio1_5", "9999.99 MB/s received", "9999 MB/s", 1.5 },
        TextsRow { "MegabytesAtRatio2", "9999.99 MB/s received", "9999 MB/s", 2.0 },
        TextsRow { "GigabytesAtRatio2", "99999.99 GB/s received", "5000 GB/s", 2.0 },
        TextsRow { "AFigureNoLinkGivesLeavesOutTheDirection", "9999999999.99 GB/s received",
            "5000 GB/s", 2.0 }),
    RowName);
