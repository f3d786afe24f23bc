#include "display/TrafficGraph.h"
#include "fakes/FakeClock.h"
#include "fakes/FakeGraphSurface.h"

#include <gtest/gtest.h>

namespace {

struct SurfaceGraph {
    CFakeClock clock;
    CFakeGraphSurface::Log log;
    CTrafficGraph graph { clock };

    explicit SurfaceGraph(bool bindResult)
    {
        graph.Attach(nullptr, QRect(0, 0, 164, 54));
        graph.SetDirection(1);
        log.bindResult = bindResult;
        graph.UseSurface(std::make_unique<CFakeGraphSurface>(log));
        graph.show();
    }

    void Tick(uint64_t bytes) { graph.Sample(double(bytes), true); }
};

} // namespace

TEST(TrafficGraphSurface, PicturesGoToTheServerOnlyWhenTheyChange)
{
    SurfaceGraph g(true);
    ASSERT_TRUE(g.graph.DrawsNatively());
    g.graph.UpdateLabels();
    EXPECT_EQ(g.log.presents, 1);
    EXPECT_EQ(g.log.backgrounds, 1);
    EXPECT_EQ(g.log.texts, 1);
    ASSERT_EQ(g.log.runs.size(), g.graph.m_history.size());

    // Idle ticks scroll the same flat line: nothing is sent.
    for (int i = 0; i < 5; ++i)
        g.Tick(0);
    EXPECT_EQ(g.log.presents, 1);

    // A moving line is one present a tick, over the background and texts already sent.
    g.Tick(1024); // a quarter of the 20 KB/s full scale, over a 200 ms tick
    g.Tick(2048); // half of it
    EXPECT_EQ(g.log.presents, 3);
    EXPECT_EQ(g.log.unflushed, 0); // on its own, each tick's requests go out at once
    EXPECT_EQ(g.log.backgrounds, 1);
    EXPECT_EQ(g.log.texts, 1);
    // The newest point's run reaches down to the row above the older, lower point's.
    EXPECT_LT(g.log.runs[0].top(), g.log.runs[1].top());
    EXPECT_EQ(g.log.runs[0].bottom() + 1, g.log.runs[1].top());

    g.clock.Advance(1000);
    g.graph.UpdateLabels(); // a new rate text
    EXPECT_EQ(g.log.texts, 2);
    g.graph.resize(100, 40);
    g.graph.m_bMirror = 1;
    g.Tick(0);
    EXPECT_EQ(g.log.backgrounds, 2);

    // Hidden, nothing is drawn.
    g.graph.hide();
    const int presents = g.log.presents;
    g.Tick(20480);
    EXPECT_EQ(g.log.presents, presents);
}

TEST(TrafficGraphSurface, HeightsFollowTheFullScaleAndHistoryWrittenInPlace)
{
    SurfaceGraph g(true); // 54 rows: row 53 is the bottom
    g.Tick(0); // the first tick only primes the counter
    g.Tick(2048); // 10 KB/s, half of the 20 KB/s full scale
    g.Tick(0);
    EXPECT_EQ(g.log.runs[1].top(), 53 - 26);
    g.graph.m_nFullScale = 40960;
    g.Tick(0);
    EXPECT_EQ(g.log.runs[2].top(), 53 - 13);
    // Four times the bytes over a tick twice as long: twice the rate.
    g.graph.m_history[2] = 8192;
    g.graph.m_tickLengths[2] = 400;
    g.Tick(0);
    EXPECT_EQ(g.log.runs[3].top(), 53 - 26);
}

TEST(TrafficGraphSurface, OwnerSendsATicksRequestsWhenItFlushes)
{
    SurfaceGraph g(true);
    g.graph.m_bOwnerRepaints = true;
    g.Tick(1024);
    EXPECT_EQ(g.log.unflushed, 1);
    g.graph.FlushNative();
    EXPECT_EQ(g.log.unflushed, 0);
}

TEST(TrafficGraphSurface, RefusedSurfaceLeavesQtPainting)
{
    SurfaceGraph g(false);
    EXPECT_FALSE(g.graph.DrawsNatively());
    EXPECT_FALSE(g.graph.testAttribute(Qt::WA_PaintOnScreen));
    QImage image(g.graph.size(), QImage::Format_RGB32);
    g.graph.render(&image);
    EXPECT_EQ(g.graph.PaintCount(), 1);
    EXPECT_EQ(g.log.presents, 0);
}
