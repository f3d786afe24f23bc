#include <QApplication>
#include <benchmark/benchmark.h>

// Benchmarks that paint need a Qt application; the offscreen platform needs no display.
// QT_QPA_PLATFORM=xcb (with DISPLAY) measures the drawing in the X server instead.
int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::benchmark::Initialize(&argc, argv);
    if (::benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    ::benchmark::RunSpecifiedBenchmarks();
    ::benchmark::Shutdown();
    return 0;
}
