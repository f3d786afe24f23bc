#include "display/OffscreenDC.h"

#include <QBuffer>
#include <QPdfWriter>

#include <gtest/gtest.h>

namespace {

constexpr QRgb kWhite = qRgb(255, 255, 255);
constexpr QRgb kRed = qRgb(255, 0, 0);
constexpr QRgb kBlue = qRgb(0, 0, 255);

int CountOf(const QImage& image, QRgb colour)
{
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            n += image.pixel(x, y) == colour;
    return n;
}

} // namespace

TEST(OffscreenDC, WithoutCopyBackTheTargetIsUntouched)
{
    QImage target(40, 30, QImage::Format_RGB32);
    target.fill(kWhite);
    {
        QPainter painter(&target);
        {
            COffscreenDC dc(painter, QRect(5, 5, 20, 20), false);
            dc->fillRect(0, 0, 40, 30, kRed);
        }
    }
    EXPECT_EQ(CountOf(target, kWhite), 40 * 30);
}

TEST(OffscreenDC, OffsetRectangleLandsInPlaceAndNothingOutsideIt)
{
    QImage target(50, 50, QImage::Format_RGB32);
    target.fill(kWhite);
    const QRect rect(10, 20, 20, 15);
    {
        QPainter painter(&target);
        COffscreenDC dc(painter, rect);
        EXPECT_FALSE(dc.IsPassThrough());
        EXPECT_EQ(dc.Image().size(), rect.size());
        dc->fillRect(0, 0, 50, 50, kBlue); // spills over the rectangle on every side
        dc->fillRect(12, 22, 3, 2, kRed); // target coordinates
        // Nothing reaches the target before release.
        EXPECT_EQ(CountOf(target, kWhite), 50 * 50);
    }
    EXPECT_EQ(target.pixel(12, 22), kRed);
    EXPECT_EQ(target.pixel(14, 23), kRed);
    EXPECT_EQ(target.pixel(11, 22), kBlue);
    EXPECT_EQ(CountOf(target, kRed), 6);
    EXPECT_EQ(CountOf(target, kBlue), 20 * 15 - 6);
    EXPECT_EQ(target.pixel(9, 20), kWhite);
    EXPECT_EQ(target.pixel(30, 34), kWhite);
    EXPECT_EQ(target.pixel(29, 34), kBlue);
}

TEST(OffscreenDC, SpareImageIsReusedOnlyWhenItFitsAndComesBack)
{
    QImage target(50, 50, QImage::Format_RGB32);
    target.fill(kWhite);
    QImage spare;
    QPainter painter(&target);
    const auto paint = [&](const QRect& rect, QRgb colour) {
        COffscreenDC dc(painter, rect, true, &spare);
        dc->fillRect(rect, colour);
        return dc.Image().constBits();
    };

    const uchar* first = paint(QRect(0, 0, 20, 10), kRed);
    ASSERT_EQ(spare.size(), QSize(20, 10)); // kept after release
    EXPECT_EQ(paint(QRect(25, 25, 20, 10), kBlue), first); // same size: same pixels reused
    const uchar* other = paint(QRect(0, 30, 8, 8), kRed);
    EXPECT_EQ(spare.size(), QSize(8, 8)); // a misfit is replaced, never stretched
    EXPECT_NE(other, nullptr);
    painter.end();

    // Each paint reached the target whole, whatever the spare held before.
    EXPECT_EQ(target.pixel(0, 0), kRed);
    EXPECT_EQ(target.pixel(44, 34), kBlue);
    EXPECT_EQ(target.pixel(7, 37), kRed);
    EXPECT_EQ(CountOf(target, kBlue), 20 * 10);
    EXPECT_EQ(CountOf(target, kRed), 20 * 10 + 8 * 8);
}

TEST(OffscreenDC, WithoutRectangleCoversTheClipBox)
{
    QImage target(40, 30, QImage::Format_RGB32);
    target.fill(kWhite);
    QPainter painter(&target);
    {
        COffscreenDC dc(painter);
        EXPECT_EQ(dc.Rect(), QRect(0, 0, 40, 30));
    }
    painter.translate(10, 0);
    {
        COffscreenDC dc(painter);
        EXPECT_EQ(dc.Rect(), QRect(-10, 0, 40, 30));
        dc->fillRect(-10, 0, 1, 1, kRed); // the device's top-left pixel
    }
    EXPECT_EQ(target.pixel(0, 0), kRed);
    painter.resetTransform();
    painter.setClipRect(5, 6, 7, 8);
    {
        COffscreenDC dc(painter);
        EXPECT_EQ(dc.Rect(), QRect(5, 6, 7, 8));
    }
}

TEST(OffscreenDC, PrintingTargetIsPassedThroughAndSurvivesRelease)
{
    QBuffer pdf;
    pdf.open(QIODevice::WriteOnly);
    QPdfWriter writer(&pdf);
    QPainter painter(&writer);
    ASSERT_TRUE(painter.isActive());
    painter.setPen(kRed);
    {
        COffscreenDC dc(painter, QRect(0, 0, 100, 100));
        EXPECT_TRUE(dc.IsPassThrough());
        EXPECT_EQ(&dc.Painter(), &painter);
        EXPECT_TRUE(dc.Image().isNull());
        dc->drawLine(0, 0, 100, 100);
    }
    EXPECT_TRUE(painter.isActive());
    EXPECT_EQ(painter.pen().color(), QColor(kRed));
    painter.drawLine(0, 100, 100, 0);
    EXPECT_TRUE(painter.end());
    EXPECT_GT(pdf.size(), 0);
}
