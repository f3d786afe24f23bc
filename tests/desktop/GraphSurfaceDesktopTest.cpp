// The graphs drawn with X requests into server-side pictures against the same graphs painted
// by QPainter into an image: for the same history and texts, every pixel is the same.

#include "display/TrafficGraph.h"
#include "fakes/FakeClock.h"
#include "platform/linux/x11/XcbNativeDrawing.h"
#include "support/DesktopSession.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <functional>
#include <gtest/gtest.h>

namespace {

constexpr QRect kPane(5, 5, 164, 54);

struct History {
    const char* name;
    std::function<int32_t(int)> point; // the point i ticks ago
    uint8_t mirror;
    const char* rate;
    const char* scale;
    int32_t fullScale;
};

struct Graph {
    CFakeClock clock;
    CTrafficGraph graph { clock };

    Graph(QWidget* parent, const History& h)
    {
        graph.Attach(parent, kPane);
        Load(h);
    }

    void Load(const History& h)
    {
        graph.SetFullScale(h.fullScale);
        graph.m_bMirror = h.mirror;
        graph.m_strRate = QString::fromLatin1(h.rate);
        graph.m_strScale = QString::fromLatin1(h.scale);
        for (size_t i = 0; i < graph.m_history.size(); ++i)
            graph.m_history[i] = h.point(int(i));
    }
};

class GraphSurfaceDesktopTest : public ::testing::TestWithParam<History> { };

} // namespace

TEST_P(GraphSurfaceDesktopTest, ServerPicturesEqualTheImagePath)
{
    CORVANE_REQUIRE_DESKTOP();
    const History& h = GetParam();

    Graph painted(nullptr, h);
    QImage expected(kPane.size(), QImage::Format_RGB32);
    expected.fill(Qt::magenta);
    painted.graph.render(&expected);

    QWidget window(nullptr, Qt::FramelessWindowHint);
    window.setGeometry(300, 300, 180, 70);
    Graph native(&window, h);
    CXcbNativeDrawing drawing;
    native.graph.UseSurface(drawing.CreateGraphSurface());
    ASSERT_TRUE(native.graph.DrawsNatively());
    window.show();
    ASSERT_TRUE(CDesktopSession::WaitFor([&] { return native.graph.PaintCount() > 0; }));
    // A second history first, so what is compared is a picture replaced in the server.
    native.Load(
        { "other", [](int i) { return i * 97; }, uint8_t(!h.mirror), "1.00 KB/s", "1 KB/s", 1024 });
    native.graph.repaint();
    native.Load(h);
    native.graph.repaint();

    const QImage shown = QGuiApplication::primaryScreen()
                             ->grabWindow(native.graph.winId())
                             .toImage()
                             .convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(shown.size(), expected.size());
    int wrong = 0;
    for (int y = 0; y < expected.height(); ++y)
        for (int x = 0; x < expected.width(); ++x)
            if (shown.pixel(x, y) != expected.pixel(x, y) && ++wrong <= 5)
                ADD_FAILURE() << "pixel (" << x << ", " << y << ") is " << std::hex
                              << shown.pixel(x, y) << ", painted " << expected.pixel(x, y);
    EXPECT_EQ(wrong, 0);
}

INSTANTIATE_TEST_SUITE_P(Histories, GraphSurfaceDesktopTest,
    ::testing::Values(History { "steps", [](int i) { return (i / 20) % 4 * 6000; }, 0,
                          "11.72 KB/s received", "20 KB/s", 20480 },
        History { "spikes_above_full_scale_and_below_zero",
            [](int i) { return i % 17 == 0 ? 90000
                            : i % 23 == 0  ? -500
                                           : 300; }, 0,
            "0.00 KB/s sent", "20 KB/s", 20480 },
        History { "every_slope", [](int i) { return (i * i * 131) % 20481; }, 0,
            "1234567.89 KB/s received", "2097151 KB/s", 20480 },
        History { "mirror_mode", [](int i) { return (i % 9) * 2500; }, 1, "3.14 KB/s sent",
            "20 KB/s", 20480 },
        History { "no_texts_small_scale", [](int i) { return i % 3; }, 0, "", "", 2 }),
    [](const ::testing::TestParamInfo<History>& info) { return std::string(info.param.name); });
