// The traffic window on the kernel's own counters, routes and links: the program's Linux parts
// made inside a network namespace of the test's own, with two veth pairs (cvw0, cvw1) from a
// peer namespace that paced streams come from. The ticks are the test's, at the real time.

#include "display/TrafficWnd.h"
#include "platform/linux/kernel/NetlinkConnectionState.h"
#include "platform/linux/kernel/NetlinkPerfDataSource.h"
#include "support/AppFixture.h"
#include "support/NetworkNamespace.h"
#include "support/PacedUdpStream.h"
#include "support/ProcNetDevPerfDataSource.h"

#include <QImage>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <fstream>
#include <optional>
#include <sstream>
#include <thread>
#include <utility>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int64_t kMB = 1024 * 1024;
constexpr int kTop = 53; // the graph's top row is this far above its bottom row

class TrafficWndKernelTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!watched.IsValid())
            GTEST_SKIP() << "network namespace test skipped: " << watched.Error();
        // Large frames keep a fast stream to a few thousand datagrams a second; without IPv6
        // link-local addresses nothing but the streams (and ARP) crosses.
        for (const std::string i : { "0", "1" }) {
            ASSERT_TRUE(watched.Ip({ "link", "add", "cvw" + i, "type", "veth", "peer", "name",
                "cvp" + i, "netns", peer.Name() }));
            for (auto [ns, link, host] : { std::tuple { &watched, "cvw" + i, ".1/24" },
                     std::tuple { &peer, "cvp" + i, ".2/24" } }) {
                ASSERT_TRUE(ns->Ip({ "link", "set", link, "addrgenmode", "none", "mtu", "65000" }));
                ASSERT_TRUE(ns->Ip({ "addr", "add", "10.214." + i + host, "dev", link }));
                ASSERT_TRUE(ns->Ip({ "link", "set", link, "up" }));
            }
        }
    }

    void TearDown() override
    {
        if (app)
            app->ExitInstance();
    }

    void StartProgram(
        const std::vector<std::pair<const char*, int32_t>>& values, const char* name = nullptr)
    {
        entered.emplace(watched);
        ASSERT_TRUE(entered->IsValid());
        perf.emplace(std::chrono::milliseconds(2));
        connection.emplace();
        for (const auto& [key, value] : values)
            fx.Store(key, value);
        if (name)
            fx.store.strings[{ "Settings", "NetworkDeviceName" }] = name;
        app = std::make_unique<CTrafficApp>(fx.Services(*perf, *connection, fx.clock));
        app->InitInstance();
        start = Clock::now();
        startTick = fx.clock.now;
    }

    CTrafficWnd& Wnd() { return *app->m_pTrafficWnd; }

    // A paced stream from the peer over pair i, then ticks on the timer's schedule.
    void StreamAndTick(const std::string& i, int nPayload, int nPeriodUs, int nTicks)
    {
        ASSERT_TRUE(stream.Open(peer, "10.214." + i + ".2", watched, "10.214." + i + ".1", 9999));
        ASSERT_TRUE(stream.Start(nPayload, nPeriodUs));
        nextTick = Clock::now();
        for (int n = 0; n < nTicks; ++n)
            TickOnSchedule();
    }

    // One tick 200 ms after the previous, at the time that really passed since the start;
    // whether it refreshed the rate texts.
    bool TickOnSchedule()
    {
        nextTick += std::chrono::milliseconds(200);
        std::this_thread::sleep_until(nextTick);
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
        fx.clock.now = startTick + uint32_t(ms.count());
        const uint32_t second = Wnd().m_dwNextSecond;
        Wnd().OnTimer(Wnd().m_nTimerId);
        return Wnd().m_dwNextSecond != second;
    }

    // The rows of the received graph's line in a column, top and bottom.
    std::pair<int, int> LineRows(int x)
    {
        QImage image(Wnd().m_graphReceived.size(), QImage::Format_RGB32);
        Wnd().m_graphReceived.render(&image);
        int top = kTop + 1, bottom = -1;
        for (int y = 0; y <= kTop; ++y)
            if (image.pixel(x, y) == qRgb(0, 255, 0)) {
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
        return { top, bottom };
    }

    CNetworkNamespace watched { CNetworkNamespace::UniqueName("fastw") };
    CNetworkNamespace peer { CNetworkNamespace::UniqueName("fastp") };
    CAppFixture fx;
    std::optional<CNetworkNamespace::CEntered> entered;
    std::optional<CNetlinkPerfDataSource> perf;
    std::optional<CNetlinkConnectionState> connection;
    std::unique_ptr<CTrafficApp> app;
    CPacedUdpStream stream;
    Clock::time_point start, nextTick;
    uint32_t startTick = 0;
};

// The bytes the kernel counted received on cvw0, read from its own table.
uint64_t KernelReceived()
{
    std::ifstream file("/proc/thread-self/net/dev");
    std::stringstream text;
    text << file.rdbuf();
    std::vector<LinkCounters> links;
    CProcNetDevPerfDataSource::ParseTable(text.str(), links);
    for (const LinkCounters& link : links)
        if (std::string(link.name) == "cvw0")
            return link.received;
    return 0;
}

} // namespace

TEST_F(TrafficWndKernelTest, AFastStreamReadsInMegabytesAndStandsWhereItsRatePutsIt)
{
    StartProgram({ { "NetworkDeviceAutomatic", 0 }, { "GraphicScale", 100 * kMB } }, "cvw0");
    // 63042 bytes a frame, a thousand a second: about 60 MB/s.
    ASSERT_NO_FATAL_FAILURE(StreamAndTick("0", 63000, 1000, 3));
    // From one refresh of the texts to the next, with the kernel's count read right after
    // each tick's own reading.
    uint64_t kernel = 0, previous = 0;
    uint32_t tick = 0, previousTick = 0;
    const auto step = [&] {
        const bool refreshed = TickOnSchedule();
        previous = std::exchange(kernel, KernelReceived());
        previousTick = std::exchange(tick, fx.clock.now);
        return refreshed;
    };
    while (!step()) { }
    const uint64_t first = kernel;
    const uint32_t firstTick = tick;
    while (!step()) { }
    stream.Stop();

    const double rate = double(kernel - first) * 1000.0 / double(tick - firstTick);
    EXPECT_GT(rate, 50.0 * kMB) << "the stream fell short";
    const QString text = Wnd().m_graphReceived.m_strRate;
    const QRegularExpressionMatch figure
        = QRegularExpression("^(\\d+\\.\\d\\d) MB/s received$").match(text);
    ASSERT_TRUE(figure.hasMatch()) << text.toStdString();
    EXPECT_NEAR(figure.captured(1).toDouble() * kMB, rate, rate * 0.02) << text.toStdString();

    // The newest point: the line in the first column reaches the row of its rate.
    EXPECT_EQ(Wnd().m_graphReceived.m_strScale, QStringLiteral("100 MB/s"));
    const double last = double(kernel - previous) * 1000.0 / double(tick - previousTick);
    const int row = kTop - int(std::min(last, 100.0 * kMB) * kTop / (100.0 * kMB));
    const auto [top, bottom] = LineRows(0);
    EXPECT_GE(row, top - 1);
    EXPECT_LE(row, bottom + 1);
}

TEST_F(TrafficWndKernelTest, FitPutsAStreamUnderTwoMegabytesInTheUpperHalfAndFallsBackLater)
{
    StartProgram({ { "NetworkDeviceAutomatic", 0 }, { "GraphicScaleFit", 1 } }, "cvw0");
    // 14042 bytes every 10 ms: 1.34 MB/s, on the full scale of "2048 KB/s".
    ASSERT_NO_FATAL_FAILURE(StreamAndTick("0", 14000, 10000, 10));
    stream.Stop();
    EXPECT_EQ(Wnd().m_graphSent.m_strScale, QStringLiteral("2048 KB/s")) << "one for both";
    int top = kTop;
    for (int x = 0; x < 10; ++x)
        top = std::min(top, LineRows(x).first);
    EXPECT_LT(top, kTop / 2);

    // Idle from now on, so the ticks need not wait. The stream's points stay on the 164
    // columns for 154 ticks at least, and have all gone after 165.
    for (int i = 0; i < 165; ++i) {
        fx.clock.Advance(200);
        Wnd().OnTimer(Wnd().m_nTimerId);
        if (i < 154) {
            ASSERT_EQ(Wnd().m_graphReceived.m_nFullScale, 2 * kMB) << "tick " << i;
        }
    }
    EXPECT_EQ(Wnd().m_graphReceived.m_strScale, QStringLiteral("5 KB/s"));
}

TEST_F(TrafficWndKernelTest, AutomaticFollowsTheDefaultRouteToTheOtherLinkWithoutASpike)
{
    ASSERT_TRUE(watched.Ip({ "route", "add", "default", "dev", "cvw0" }));
    StartProgram({}); // a first run: Automatic
    ASSERT_EQ(Wnd().m_meter.Name(), "cvw0");
    // cvw1 carries 6 MB/s all along: counted by the kernel, not by the graphs.
    ASSERT_NO_FATAL_FAILURE(StreamAndTick("1", 63000, 10000, 5));
    EXPECT_EQ(Wnd().m_graphReceived.PeakRate(), 0);

    ASSERT_TRUE(watched.Ip({ "route", "replace", "default", "dev", "cvw1" }));
    TickOnSchedule();
    EXPECT_EQ(Wnd().m_meter.Name(), "cvw1") << "the route event was not heard at the next tick";
    for (int i = 0; i < 4; ++i)
        TickOnSchedule();
    stream.Stop();
    // The stream's 6 MB/s within the second, and no point for what the link counted before.
    EXPECT_GT(Wnd().m_graphReceived.PeakRate(), 4.0 * kMB);
    EXPECT_LT(Wnd().m_graphReceived.PeakRate(), 9.0 * kMB);
}
