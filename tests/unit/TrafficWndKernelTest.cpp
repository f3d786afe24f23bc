// The traffic window on the kernel's own counters, routes and links: the program's Linux parts
// made inside a network namespace of the test's own, with two veth pairs to a peer namespace
// that paced streams come from. The ticks are the test's, at the real time that passed.

#include "display/TrafficWnd.h"
#include "platform/linux/kernel/NetlinkClient.h"
#include "platform/linux/kernel/NetlinkConnectionState.h"
#include "platform/linux/kernel/NetlinkPerfDataSource.h"
#include "support/AppFixture.h"
#include "support/NetworkNamespace.h"
#include "support/PacedUdpStream.h"
#include "support/ProcNetDevPerfDataSource.h"

#include <QImage>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <optional>
#include <sstream>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int64_t kMegabyte = 1024 * 1024;
constexpr int kPaneHeight = 54;
constexpr QRgb kReceivedLine = qRgb(0, 255, 0);

class TrafficWndKernelTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!watched.IsValid())
            GTEST_SKIP() << "network namespace test skipped: " << watched.Error();
        ASSERT_TRUE(peer.IsValid()) << peer.Error();
        // cvw0 and cvw1 in the watched namespace, each the end of a pair from the peer. Large
        // frames keep a fast stream to a few thousand datagrams a second; without IPv6
        // link-local addresses nothing but the streams (and ARP) crosses.
        for (const std::string i : { "0", "1" }) {
            ASSERT_TRUE(watched.Ip({ "link", "add", "cvw" + i, "type", "veth", "peer", "name",
                "cvp" + i, "netns", peer.Name() }));
            for (auto [ns, link, address] : { std::tuple { &watched, "cvw" + i, ".1/24" },
                     std::tuple { &peer, "cvp" + i, ".2/24" } }) {
                ns->Ip({ "link", "set", link, "addrgenmode", "none" });
                ASSERT_TRUE(ns->Ip({ "link", "set", link, "mtu", "65000" }));
                ASSERT_TRUE(ns->Ip({ "addr", "add", "10.214." + i + address, "dev", link }));
                ASSERT_TRUE(ns->Ip({ "link", "set", link, "up" }));
            }
        }
    }

    void TearDown() override
    {
        if (app)
            app->ExitInstance();
    }

    // Starts the program with these settings on the namespace's counters, routes and links.
    void StartProgram(
        const std::vector<std::pair<const char*, int32_t>>& values, const char* name = nullptr)
    {
        entered.emplace(watched);
        ASSERT_TRUE(entered->IsValid());
        client = std::make_unique<CNetlinkClient>();
        perf = std::make_unique<CNetlinkPerfDataSource>(*client, std::chrono::milliseconds(2));
        connection = std::make_unique<CNetlinkConnectionState>(*client);
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

    // One tick at the time that really passed since the start; returns whether it refreshed
    // the rate texts.
    bool Tick()
    {
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
        fx.clock.now = startTick + uint32_t(ms.count());
        const uint32_t second = Wnd().m_dwNextSecond;
        Wnd().OnTimer(Wnd().m_nTimerId);
        return Wnd().m_dwNextSecond != second;
    }

    // A paced stream from the peer over pair i (payload bytes every period) and then ticks on
    // the timer's schedule for a while.
    void StreamAndTick(const std::string& i, int nPayload, int nPeriodUs, int nTicks)
    {
        ASSERT_TRUE(stream.Open(peer, "10.214." + i + ".2", watched, "10.214." + i + ".1", 9999));
        ASSERT_TRUE(stream.Start(nPayload, nPeriodUs));
        nextTick = Clock::now();
        for (int n = 0; n < nTicks; ++n)
            TickOnSchedule();
    }

    // Ticks on the timer's 200 ms schedule.
    bool TickOnSchedule()
    {
        nextTick += std::chrono::milliseconds(200);
        std::this_thread::sleep_until(nextTick);
        return Tick();
    }

    // The bytes the kernel counted received on a link of the namespace.
    static uint64_t KernelReceived(const char* link)
    {
        std::ifstream file("/proc/thread-self/net/dev");
        std::stringstream text;
        text << file.rdbuf();
        std::vector<LinkCounters> links;
        CProcNetDevPerfDataSource::ParseTable(text.str(), links);
        for (const LinkCounters& l : links)
            if (std::string(l.name) == link)
                return l.received;
        return 0;
    }

    // The received graph as the screen would show it.
    QImage ReceivedGraph()
    {
        CTrafficGraph& graph = Wnd().m_graphReceived;
        QImage image(graph.size(), QImage::Format_RGB32);
        graph.render(&image);
        return image;
    }

    CNetworkNamespace watched { CNetworkNamespace::UniqueName("fastw") };
    CNetworkNamespace peer { CNetworkNamespace::UniqueName("fastp") };
    CAppFixture fx;
    std::optional<CNetworkNamespace::CEntered> entered;
    std::unique_ptr<CNetlinkClient> client;
    std::unique_ptr<CNetlinkPerfDataSource> perf;
    std::unique_ptr<CNetlinkConnectionState> connection;
    std::unique_ptr<CTrafficApp> app;
    CPacedUdpStream stream;
    Clock::time_point start;
    Clock::time_point nextTick = Clock::now();
    uint32_t startTick = 0;
};

} // namespace

TEST_F(TrafficWndKernelTest, AFastStreamReadsInMegabytesAndStandsWhereItsRatePutsIt)
{
    StartProgram({ { "NetworkDeviceAutomatic", 0 }, { "GraphicScale", 100 * kMegabyte } }, "cvw0");
    // 63042 bytes a frame, a thousand a second: about 60 MB/s.
    ASSERT_NO_FATAL_FAILURE(StreamAndTick("0", 63000, 1000, 3));

    // Each refresh's figure against what the kernel counted since the one before, read right
    // after the program's own reading; and each tick's point against the formula.
    const QRegularExpression figure(QStringLiteral("^(\\d+\\.\\d\\d) MB/s received$"));
    std::optional<std::pair<uint64_t, uint32_t>> refreshed; // kernel bytes, tick count
    std::vector<int> rows; // expected, newest first
    uint64_t before = KernelReceived("cvw0");
    uint32_t beforeTick = fx.clock.now;
    int checked = 0;
    while (checked < 2) {
        const bool refresh = TickOnSchedule();
        const uint64_t now = KernelReceived("cvw0");
        const double tickRate = double(now - before) * 1000.0 / double(fx.clock.now - beforeTick);
        const double clamped = std::min(tickRate, 100.0 * kMegabyte);
        rows.insert(rows.begin(),
            (kPaneHeight - 1) - int(clamped * (kPaneHeight - 1) / (100.0 * kMegabyte)));
        before = now;
        beforeTick = fx.clock.now;
        if (!refresh)
            continue;
        if (refreshed) {
            const double kernel = double(now - refreshed->first) * 1000.0
                / double(fx.clock.now - refreshed->second);
            const QString text = Wnd().m_graphReceived.m_strRate;
            const QRegularExpressionMatch match = figure.match(text);
            ASSERT_TRUE(match.hasMatch()) << text.toStdString();
            const double shown = match.captured(1).toDouble() * kMegabyte;
            EXPECT_NEAR(shown, kernel, kernel * 0.02) << text.toStdString();
            EXPECT_GT(kernel, 50.0 * kMegabyte) << "the stream fell short of 50 MB/s";
            ++checked;
        }
        refreshed = { now, fx.clock.now };
    }
    stream.Stop();
    EXPECT_EQ(Wnd().m_graphReceived.m_strScale, QStringLiteral("100 MB/s"));

    // The newest points, each in its column: the line's pixels there reach its row.
    const QImage image = ReceivedGraph();
    for (int x = 0; x < 5; ++x) {
        int top = kPaneHeight, bottom = -1;
        for (int y = 0; y < kPaneHeight; ++y)
            if (image.pixel(x, y) == kReceivedLine) {
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
        EXPECT_GE(rows[size_t(x)], top - 1) << "column " << x;
        EXPECT_LE(rows[size_t(x)], bottom + 1) << "column " << x;
    }
}

TEST_F(TrafficWndKernelTest, FitPutsAStreamUnderTwoMegabytesInTheUpperHalfAndFallsBackLater)
{
    StartProgram({ { "NetworkDeviceAutomatic", 0 }, { "GraphicScaleFit", 1 } }, "cvw0");
    // 14042 bytes every 10 ms: 1.34 MB/s, on the full scale of "2048 KB/s".
    ASSERT_NO_FATAL_FAILURE(StreamAndTick("0", 14000, 10000, 10));
    stream.Stop();
    EXPECT_EQ(Wnd().m_graphReceived.m_nFullScale, 2 * kMegabyte);
    EXPECT_EQ(Wnd().m_graphSent.m_nFullScale, 2 * kMegabyte) << "one scale for both graphs";
    EXPECT_EQ(Wnd().m_graphSent.m_strScale, QStringLiteral("2048 KB/s"));
    const QImage image = ReceivedGraph();
    int top = kPaneHeight;
    for (int y = 0; y < kPaneHeight; ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, y) == kReceivedLine)
                top = std::min(top, y);
    EXPECT_LT(top, kPaneHeight / 2);

    // Idle from now on: the ticks need not wait. The stream's points stay on the 164 columns
    // for 154 ticks at least, and have all gone after 165.
    const auto idleTick = [&] {
        fx.clock.Advance(200);
        Wnd().OnTimer(Wnd().m_nTimerId);
    };
    for (int i = 0; i < 154; ++i) {
        idleTick();
        ASSERT_EQ(Wnd().m_graphReceived.m_nFullScale, 2 * kMegabyte) << "tick " << i;
    }
    for (int i = 0; i < 11; ++i)
        idleTick();
    EXPECT_EQ(Wnd().m_graphReceived.m_nFullScale, 5 * 1024);
    EXPECT_EQ(Wnd().m_graphReceived.m_strScale, QStringLiteral("5 KB/s"));
}

TEST_F(TrafficWndKernelTest, AutomaticFollowsTheDefaultRouteToTheOtherLinkWithoutASpike)
{
    ASSERT_TRUE(watched.Ip({ "route", "add", "default", "dev", "cvw0" }));
    StartProgram({}); // a first run: Automatic
    ASSERT_EQ(Wnd().m_meter.Name(), "cvw0");
    // The other link carries 6 MB/s all along: counted by the kernel, not by the graphs.
    ASSERT_NO_FATAL_FAILURE(StreamAndTick("1", 63000, 10000, 5));
    EXPECT_EQ(Wnd().m_graphReceived.PeakRate(), 0);

    ASSERT_TRUE(watched.Ip({ "route", "replace", "default", "dev", "cvw1" }));
    int ticks = 0;
    while (ticks < 5 && Wnd().m_meter.Name() != "cvw1") {
        TickOnSchedule();
        ++ticks;
    }
    EXPECT_EQ(Wnd().m_meter.Name(), "cvw1") << "not followed within a second of ticks";
    EXPECT_LE(ticks, 1) << "the kernel's route event should have been heard at the next tick";
    for (int i = 0; i < 5; ++i)
        TickOnSchedule();
    stream.Stop();
    // The stream's 6 MB/s, and no point for the bytes the link counted before.
    EXPECT_GT(Wnd().m_graphReceived.PeakRate(), 4.0 * kMegabyte);
    EXPECT_LT(Wnd().m_graphReceived.PeakRate(), 9.0 * kMegabyte);
}
