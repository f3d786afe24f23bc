#include "display/TrafficGraph.h"
#include "fakes/FakeClock.h"
#include "support/NamedRows.h"

#include <QApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <cmath>

namespace {

// A graph set up the way the traffic window sets up its graphs, fed as the window feeds it.
struct SampledGraph {
    CFakeClock clock;
    CTrafficGraph graph { clock };
    bool connected = true;

    explicit SampledGraph(int direction = 1)
    {
        graph.Attach(nullptr, QRect(0, 0, 164, 54));
        graph.SetFullScale(20480);
        graph.SetDirection(direction);
    }

    // One tick that moved these bytes in the graph's direction.
    void Tick(uint64_t bytes) { graph.Sample(double(bytes), connected); }
};

bool AllZero(const std::vector<int32_t>& points)
{
    return std::all_of(points.begin(), points.end(), [](int32_t p) { return p == 0; });
}

} // namespace

TEST(TrafficGraphSample, FirstSampleIsDiscardedThenHistoryScrolls)
{
    SampledGraph g;
    ASSERT_EQ(g.graph.m_history.size(), 165u);
    g.Tick(5000);
    EXPECT_EQ(g.graph.GetLastSample(), 0);
    EXPECT_EQ(g.graph.m_dAccumulated, 0);

    g.Tick(100);
    g.Tick(200);
    g.Tick(300);
    EXPECT_EQ(g.graph.GetLastSample(), 300);
    EXPECT_EQ(g.graph.m_history[1], 200);
    EXPECT_EQ(g.graph.m_history[2], 100);
    EXPECT_EQ(g.graph.m_history[3], 0);
    EXPECT_EQ(g.graph.m_dAccumulated, 600);

    for (int i = 0; i < 170; ++i)
        g.Tick(7);
    EXPECT_EQ(g.graph.m_history.size(), 165u);
    EXPECT_EQ(g.graph.m_history.back(), 7);
}

TEST(TrafficGraphSample, WithoutConnectionTheLineStaysFlatButTheRateCounts)
{
    SampledGraph g;
    g.Tick(0);
    g.graph.UpdateLabels();
    g.connected = false;
    g.Tick(4096);
    g.Tick(4096);
    EXPECT_EQ(g.graph.GetLastSample(), 0);
    EXPECT_TRUE(AllZero(g.graph.m_history));
    g.clock.Advance(1000);
    g.graph.UpdateLabels();
    EXPECT_EQ(g.graph.m_strRate, "8.00 KB/s received");
}

TEST(TrafficGraphSample, RateDividesByTheTimeThatPassed)
{
    struct Case {
        const char* what;
        int direction;
        uint32_t start;
        uint32_t elapsed;
        std::vector<uint64_t> ticks;
        const char* text;
        bool bFirstUpdate = false; // no refresh of the texts before
    };
    const Case cases[] = {
        { "one second, 1536 bytes sent", 2, 0, 1000, { 512, 512, 512 }, "1.50 KB/s sent" },
        { "six late ticks over 1200 ms", 1, 0, 1200, { 1024, 1024, 1024, 1024, 1024, 1024 },
            "5.00 KB/s received" },
        { "four early ticks over 800 ms", 1, 0, 800, { 1024, 1024, 1024, 1024 },
            "5.00 KB/s received" },
        { "the tick count wraps", 1, 0xFFFFFF00u, 1000, { 2048 }, "2.00 KB/s received" },
        { "nothing moved", 1, 0, 1000, {}, "0.00 KB/s received" },
        { "total counter keeps an empty suffix", 3, 0, 1000, { 1024 }, "1.00 KB/s" },
        { "the first refresh shows zero whatever was counted", 2, 0, 5000, { 9999 },
            "0.00 KB/s sent", true },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SampledGraph g(c.direction);
        g.clock.now = c.start;
        g.Tick(0); // discarded
        if (!c.bFirstUpdate)
            g.graph.UpdateLabels();
        for (uint64_t bytes : c.ticks)
            g.Tick(bytes);
        g.clock.Advance(c.elapsed);
        g.graph.UpdateLabels();
        EXPECT_EQ(g.graph.m_strRate.toStdString(), c.text);
        EXPECT_EQ(g.graph.m_dAccumulated, 0);
    }
}

TEST(TrafficGraphSample, UpdateWithNoTimePassedKeepsTextAndBytes)
{
    SampledGraph g;
    g.Tick(0);
    g.graph.UpdateLabels();
    g.Tick(2048);
    g.clock.Advance(1000);
    g.graph.UpdateLabels();
    ASSERT_EQ(g.graph.m_strRate, "2.00 KB/s received");
    g.Tick(1024);
    g.graph.UpdateLabels(); // same tick count
    EXPECT_EQ(g.graph.m_strRate, "2.00 KB/s received");
    EXPECT_EQ(g.graph.m_dAccumulated, 1024);
    g.clock.Advance(1000);
    g.graph.UpdateLabels();
    EXPECT_EQ(g.graph.m_strRate, "1.00 KB/s received");
}

namespace {

// A figure as the graph writes it: a full scale, or a second's bytes as the rate text.
struct FigureRow {
    const char* name;
    bool scale;
    double bytes;
    const char* text;
};

struct StepRow {
    const char* name;
    double rate;
    int64_t step;
};

using ::PrintTo;

class TrafficGraphFigure : public testing::TestWithParam<FigureRow> { };
class TrafficGraphFitStep : public testing::TestWithParam<StepRow> { };

constexpr int64_t kKB = 1024;
constexpr int64_t kMB = 1024 * kKB;
constexpr int64_t kGB = 1024 * kMB;

} // namespace

TEST_P(TrafficGraphFigure, IsWrittenInTheUnitThatReads)
{
    const FigureRow& r = GetParam();
    SampledGraph g;
    if (r.scale) {
        g.graph.m_nFullScale = int64_t(r.bytes);
        g.graph.m_strScale = "stale";
        g.graph.UpdateLabels();
        EXPECT_EQ(g.graph.m_strScale.toStdString(), r.text);
        EXPECT_EQ(CTrafficGraph::FormatScale(int64_t(r.bytes)).toStdString(), r.text);
    } else {
        g.graph.UpdateLabels(); // the first refresh shows nothing
        g.graph.m_dAccumulated = r.bytes;
        g.clock.Advance(1000);
        g.graph.UpdateLabels();
        EXPECT_EQ(g.graph.m_strRate.toStdString(), r.text);
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, TrafficGraphFigure,
    testing::Values(FigureRow { "ScaleInWholeKilobytes", true, 5120, "5 KB/s" },
        FigureRow { "ScaleOfTheLastKilobyteEntry", true, 1024000, "1000 KB/s" },
        FigureRow { "ScaleTruncatedToWholeKilobytes", true, 1535, "1 KB/s" },
        FigureRow { "ScaleZero", true, 0, "0 KB/s" },
        FigureRow { "ScaleNegative", true, -2048, "-2 KB/s" },
        FigureRow { "ScaleNegativeTruncatedTowardZero", true, -1000, "0 KB/s" },
        FigureRow { "ScaleJustBelowTenThousandKilobytes", true, 10239999, "9999 KB/s" },
        FigureRow { "ScaleOfTenThousandKilobytesInWholeMegabytes", true, 10240000, "9 MB/s" },
        FigureRow { "ScaleOfTheHundredMegabyteEntry", true, 104857600, "100 MB/s" },
        FigureRow { "ScaleOfTheGigabyteEntry", true, 1073741824, "1024 MB/s" },
        FigureRow { "ScaleOfTenThousandMegabytesInGigabytes", true, 10485760000.0, "9 GB/s" },
        FigureRow { "RateAsItAlwaysWas", false, 1536, "1.50 KB/s received" },
        FigureRow { "RateJustBelowTenThousandKilobytes", false, 10239989, "9999.99 KB/s received" },
        FigureRow {
            "RateThatWouldRead10000KilobytesInMegabytes", false, 10239995.5, "9.77 MB/s received" },
        FigureRow { "RateInMegabytes", false, 100254352, "95.61 MB/s received" },
        FigureRow { "RateInGigabytes", false, 16106127360.0, "15.00 GB/s received" },
        FigureRow { "NegativeRateStaysInKilobytes", false, -20480000, "-20000.00 KB/s received" }),
    RowName);

TEST_P(TrafficGraphFitStep, IsTheSmallestOfTheLadderThatTheRateNeeds)
{
    EXPECT_EQ(CTrafficGraph::FitStep(GetParam().rate), GetParam().step);
}

INSTANTIATE_TEST_SUITE_P(Rows, TrafficGraphFitStep,
    testing::Values(StepRow { "NoTrafficTakesTheSmallest", 0, 5 * kKB },
        StepRow { "NotANumberTakesTheSmallest", std::nan(""), 5 * kKB },
        StepRow { "ARateOnAStepKeepsIt", 20 * kKB, 20 * kKB },
        StepRow { "AByteMoreTakesTheNext", 20 * kKB + 1, 50 * kKB },
        StepRow { "ThenOneMegabyte", 501 * kKB, kMB },
        StepRow { "TwoMegabytes", 1.9 * kMB, 2 * kMB },
        StepRow { "ThenOneGigabyte", 501 * kMB, kGB },
        StepRow { "GigabytesGoOnInOneTwoFive", 11.0 * kGB, 20 * kGB },
        StepRow { "BeyondSixtyFourBitsTakesTheLargest", 1e30, 5'000'000'000 * kGB }),
    RowName);

TEST(TrafficGraphSample, ClearHistoryForgetsTheLineAndTheBytesCounted)
{
    SampledGraph g;
    g.Tick(0);
    g.graph.UpdateLabels();
    g.Tick(3000);
    g.Tick(3000);
    ASSERT_FALSE(AllZero(g.graph.m_history));

    // What the window does when the user picks another interface.
    g.graph.ClearHistory();
    EXPECT_TRUE(AllZero(g.graph.m_history));
    EXPECT_EQ(g.graph.m_dAccumulated, 0);

    g.Tick(777); // not the first sample: counted
    EXPECT_EQ(g.graph.GetLastSample(), 777);
    g.clock.Advance(1000);
    g.graph.UpdateLabels();
    EXPECT_EQ(g.graph.m_strRate, QString::asprintf("%1.2f KB/s received", 777 / 1024.0));
}

TEST(TrafficGraphSample, SetDirectionPicksTheSuffix)
{
    struct Case {
        int direction;
        const char* suffix;
    };
    const Case cases[]
        = { { 1, " received" }, { 2, " sent" }, { 0, " received" }, { 3, " received" } };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.direction);
        SampledGraph g(1); // suffix " received" before the change
        g.graph.SetDirection(c.direction);
        EXPECT_EQ(g.graph.m_strSuffix.toStdString(), c.suffix);
    }
}

TEST(TrafficGraphSample, VisibleGraphRepaintsAtOnce)
{
    QWidget window;
    window.resize(174, 123);
    CFakeClock clock;
    CTrafficGraph graph(clock);
    graph.Attach(&window, QRect(5, 64, 164, 54));
    EXPECT_EQ(graph.parentWidget(), &window);
    EXPECT_EQ(graph.geometry(), QRect(5, 64, 164, 54));
    window.show();
    QApplication::processEvents();
    ASSERT_TRUE(graph.isVisible());

    // No event loop runs between these calls: each must have painted by itself.
    const int before = graph.PaintCount();
    graph.Sample(0, true);
    EXPECT_EQ(graph.PaintCount(), before + 1);
    graph.UpdateLabels();
    EXPECT_EQ(graph.PaintCount(), before + 2);
}

namespace {

// Numbers as a German desktop writes them: a decimal comma. Compiled with localedef into a
// folder of the test's own (LOCPATH), so no system locale has to be installed.
const char kCommaLocale[] = "LC_NUMERIC\ndecimal_point \"<U002C>\"\nthousands_sep \"\"\n"
                            "grouping -1\nEND LC_NUMERIC\n";

} // namespace

TEST(TrafficGraphSample, RateTextKeepsTheDecimalPointUnderACommaLocale)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QFile source(dir.filePath("comma"));
    ASSERT_TRUE(source.open(QIODevice::WriteOnly));
    source.write(kCommaLocale);
    source.close();
    // localedef warns about the categories left out and says so in its exit code.
    QProcess localedef;
    localedef.setStandardOutputFile(QProcess::nullDevice());
    localedef.setStandardErrorFile(QProcess::nullDevice());
    localedef.start(
        "localedef", { "-c", "-i", source.fileName(), "-f", "UTF-8", dir.filePath("xx_XX.UTF-8") });
    localedef.waitForFinished(30000);
    qputenv("LOCPATH", dir.path().toLocal8Bit());
    const char* set = std::setlocale(LC_NUMERIC, "xx_XX.UTF-8");
    qunsetenv("LOCPATH");
    ASSERT_NE(set, nullptr) << "localedef (package locales) could not make the test locale";
    char probe[16];
    std::snprintf(probe, sizeof probe, "%1.2f", 1.5);
    EXPECT_STREQ(probe, "1,50");

    SampledGraph g;
    g.graph.SetFullScale(102400);
    g.Tick(0);
    g.graph.UpdateLabels();
    g.Tick(103823);
    g.clock.Advance(1000);
    g.graph.UpdateLabels();
    std::setlocale(LC_NUMERIC, "C");
    EXPECT_EQ(g.graph.m_strRate.toStdString(), "101.39 KB/s received");
    EXPECT_EQ(g.graph.m_strScale.toStdString(), "100 KB/s");
}
