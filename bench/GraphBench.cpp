#include "display/TrafficGraph.h"
#include "fakes/FakeClock.h"
#include "platform/linux/kernel/NetlinkConnectionState.h"
#include "support/IfaddrsConnectionState.h"

#include <QApplication>
#include <QImage>

#include <benchmark/benchmark.h>

namespace {

// A graph as the traffic window sets it up: 164 x 54, full history, both texts.
struct BenchGraph {
    CFakeClock clock;
    CTrafficGraph graph { clock };

    explicit BenchGraph(QWidget* parent = nullptr)
    {
        graph.Attach(parent, QRect(5, 5, 164, 54));
        graph.SetFullScale(20480);
        graph.SetDirection(1);
        for (size_t i = 0; i < graph.m_history.size(); ++i)
            graph.m_history[i] = int32_t(i * 397 % 25000);
        graph.m_strRate = "123.45 KB/s received";
    }
};

// One full paint the way the widget gets it: off-screen surface, background copy, 165-point
// line, two texts, copy back; into an image through QWidget::render.
void BM_GraphPaintRender(benchmark::State& state)
{
    BenchGraph g;
    QImage image(g.graph.size(), QImage::Format_RGB32);
    g.graph.render(&image); // builds the background once
    for (auto _ : state) {
        g.graph.render(&image);
        benchmark::DoNotOptimize(image.constBits());
    }
}
BENCHMARK(BM_GraphPaintRender);

// The same paint as each tick asks for it: repaint() of a visible child, into the window's
// backing store on the offscreen platform.
void BM_GraphRepaintVisible(benchmark::State& state)
{
    QWidget window;
    window.resize(174, 123);
    BenchGraph g(&window);
    window.show();
    QApplication::processEvents(); // the window is exposed only once its events ran
    const int before = g.graph.PaintCount();
    g.graph.repaint();
    if (g.graph.PaintCount() == before) {
        state.SkipWithError("the graph did not paint: window not exposed");
        return;
    }
    for (auto _ : state)
        g.graph.repaint();
}
BENCHMARK(BM_GraphRepaintVisible);

// One tick's bytes into a hidden graph (no paint): the history scrolls and the line's
// heights are worked out. The reading itself is measured with the counter benchmarks.
void BM_Sample(benchmark::State& state)
{
    BenchGraph g;
    g.graph.Sample(0, true);
    double bytes = 0;
    for (auto _ : state) {
        bytes = bytes < 5000 ? bytes + 97 : 0;
        g.graph.Sample(bytes, true);
    }
}
BENCHMARK(BM_Sample);

void BM_UpdateLabels(benchmark::State& state)
{
    BenchGraph g;
    g.graph.UpdateLabels();
    for (auto _ : state) {
        g.clock.Advance(1000);
        g.graph.m_dAccumulated = 126412;
        g.graph.UpdateLabels();
    }
}
BENCHMARK(BM_UpdateLabels);

void BM_ConnectionStateNetlink(benchmark::State& state)
{
    CNetlinkConnectionState connection;
    for (auto _ : state)
        benchmark::DoNotOptimize(connection.IsConnected());
}
BENCHMARK(BM_ConnectionStateNetlink);

void BM_ConnectionStateIfaddrs(benchmark::State& state)
{
    CIfaddrsConnectionState connection;
    for (auto _ : state)
        benchmark::DoNotOptimize(connection.IsConnected());
}
BENCHMARK(BM_ConnectionStateIfaddrs);

} // namespace
