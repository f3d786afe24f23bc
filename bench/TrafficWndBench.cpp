// One whole tick of the traffic window as the program makes it every 200 ms: the tray check,
// two samples from the kernel's counters, two paints of the visible graphs. The counters, the
// connection state and the clock are the real Linux ones; the tray area, the settings store
// and the rest are the test fakes, so nothing outside the process is touched.
//
// The argument is the watched interface's position in the kernel's link order: 0 is the
// first link (usually lo), -1 the last one (the longest walk through the list). The Fit and
// Automatic variants run the same tick with the full scale fitted to the graphs, and with
// the interface following the default route (checked for route events every tick). On the xcb
// platform (QT_QPA_PLATFORM=xcb) the graphs draw in the X server, as the program's do there;
// the counter "native" says which path ran.
#include "display/TrafficWnd.h"
#include "platform/linux/kernel/MonotonicClock.h"
#include "platform/linux/kernel/NetlinkConnectionState.h"
#include "platform/linux/kernel/NetlinkPerfDataSource.h"
#include "platform/linux/x11/XcbNativeDrawing.h"
#include "support/AppFixture.h"
#include "traffic/InterfaceCounter.h"

#include <QApplication>

#include <benchmark/benchmark.h>

#include <memory>

namespace {

// The program started on the real counters and the fakes, its traffic window shown and
// exposed on the offscreen platform so that repaint() really paints.
class CRunningApp {
public:
    enum Mode { Fixed, Fit, Automatic };

    explicit CRunningApp(int64_t device, Mode mode = Fixed)
    {
        if (device < 0)
            device = CInterfaceCounter(m_perf).GetLastIndex();
        m_nDevice = int32_t(device);
        m_fx.Store("NetworkDevice", m_nDevice);
        m_fx.Store("GraphicScaleFit", mode == Fit ? 1 : 0);
        m_fx.Store("NetworkDeviceAutomatic", mode == Automatic ? 1 : 0);
        AppServices services = m_fx.Services(m_perf, m_connection, m_clock);
        services.drawing = &m_drawing; // draws nothing itself off X: the raster path runs
        m_pApp = std::make_unique<CTrafficApp>(services);
        m_pApp->InitInstance();
        // The window's own timer never fires here: the benchmark makes the ticks itself and
        // runs no event loop after this, which only exposes the window.
        QApplication::processEvents();
        Wnd().OnTimer(Wnd().m_nTimerId); // primes both counters
    }
    ~CRunningApp() { m_pApp->ExitInstance(); }

    CTrafficWnd& Wnd() { return *m_pApp->m_pTrafficWnd; }
    int32_t Device() const { return m_nDevice; }
    int Paints() { return Wnd().m_graphReceived.PaintCount() + Wnd().m_graphSent.PaintCount(); }

private:
    CNetlinkPerfDataSource m_perf;
    CNetlinkConnectionState m_connection;
    CMonotonicClock m_clock;
    CXcbNativeDrawing m_drawing;
    CAppFixture m_fx;
    std::unique_ptr<CTrafficApp> m_pApp;
    int32_t m_nDevice = 0;
};

void Report(benchmark::State& state, CRunningApp& app, int paintsBefore)
{
    const double ticks = double(state.iterations());
    state.counters["device"] = app.Device();
    state.counters["native"] = app.Wnd().m_graphReceived.DrawsNatively() ? 1 : 0;
    state.counters["paints_per_tick"] = ticks > 0 ? (app.Paints() - paintsBefore) / ticks : 0;
}

// The whole tick: OnTimer as the timer calls it. The second argument says whether the
// pictures change every tick, as they do while traffic moves: the graphs' line colours are
// toggled to stand in for a moving line. With it 0 on an idle link the pictures stay as they
// were and the tick paints nothing.
void TrafficWndTick(benchmark::State& state, CRunningApp::Mode mode)
{
    CRunningApp app(state.range(0), mode);
    const bool moving = state.range(1) != 0;
    if (!app.Wnd().isVisible()) {
        state.SkipWithError("the traffic window is not visible");
        return;
    }
    CTrafficGraph* graphs[] = { &app.Wnd().m_graphReceived, &app.Wnd().m_graphSent };
    const auto change = [&](int64_t i) {
        for (CTrafficGraph* g : graphs)
            g->m_crLine = (i & 1) ? MakeColorRef(0, 255, 0) : MakeColorRef(0, 254, 0);
    };
    const int before = app.Paints();
    change(0);
    app.Wnd().OnTimer(app.Wnd().m_nTimerId);
    if (app.Paints() - before < 2) {
        state.SkipWithError("the graphs did not paint: window not exposed");
        return;
    }
    const int paints = app.Paints();
    int64_t i = 1;
    for (auto _ : state) {
        if (moving)
            change(i++);
        app.Wnd().OnTimer(app.Wnd().m_nTimerId);
    }
    Report(state, app, paints);
}

void BM_TrafficWndTick(benchmark::State& state)
{
    TrafficWndTick(state, CRunningApp::Fixed);
}
BENCHMARK(BM_TrafficWndTick)->Args({ 0, 1 })->Args({ -1, 1 })->Args({ 0, 0 });

void BM_TrafficWndTickFit(benchmark::State& state)
{
    TrafficWndTick(state, CRunningApp::Fit);
}
BENCHMARK(BM_TrafficWndTickFit)->Args({ 0, 1 })->Args({ 0, 0 });

void BM_TrafficWndTickAutomatic(benchmark::State& state)
{
    TrafficWndTick(state, CRunningApp::Automatic);
}
BENCHMARK(BM_TrafficWndTickAutomatic)->Args({ 0, 1 })->Args({ 0, 0 });

// The tick without its paints: with the window hidden, repaint() returns at once, so what is
// left is the tray check, the two reads and the history scroll.
void BM_TrafficWndTickSamplesOnly(benchmark::State& state)
{
    CRunningApp app(state.range(0));
    app.Wnd().hide();
    QApplication::processEvents();
    const int paints = app.Paints();
    for (auto _ : state)
        app.Wnd().OnTimer(app.Wnd().m_nTimerId);
    Report(state, app, paints);
}
BENCHMARK(BM_TrafficWndTickSamplesOnly)->Arg(0)->Arg(-1);

// The tick's two paints alone, into the visible window's backing store.
void BM_TrafficWndTickPaintsOnly(benchmark::State& state)
{
    CRunningApp app(0);
    const int paints = app.Paints();
    for (auto _ : state) {
        app.Wnd().m_graphReceived.repaint();
        app.Wnd().m_graphSent.repaint();
    }
    Report(state, app, paints);
    if (app.Paints() == paints)
        state.SkipWithError("the graphs did not paint: window not exposed");
}
BENCHMARK(BM_TrafficWndTickPaintsOnly);

} // namespace
