// The real program measuring real traffic: started inside a network namespace of its own,
// watching one end of a veth pair while a paced UDP stream arrives over it.

#include "support/CorvaneProcess.h"
#include "support/DesktopSession.h"
#include "support/NetworkNamespace.h"
#include "support/PacedUdpStream.h"
#include "support/ProgramScreen.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <gtest/gtest.h>

namespace {

// "50 KB/s": a 20 KB/s stream stands at two fifths of the height.
constexpr int kFullScale = 51200;
constexpr int kPaneHeight = 54;
// 8 frames of 512 bytes per 200 ms tick: 4096 bytes, a steady 20 KB/s.
constexpr int kFrameBytes = 512;
constexpr int kPeriodUs = 25000;
// The newest points, left of where the stream began, that the line's height is read from.
constexpr int kFirstColumn = 1;
constexpr int kLastColumn = 12;
constexpr int kFilledColumns = 16;

QJsonArray IpJson(const CNetworkNamespace& ns, const QStringList& args)
{
    QProcess ip;
    ip.start("ip", QStringList { "-n", QString::fromStdString(ns.Name()), "-j" } + args);
    if (!ip.waitForFinished(5000) || ip.exitCode() != 0)
        return {};
    return QJsonDocument::fromJson(ip.readAllStandardOutput()).array();
}

// The namespace's interfaces in the kernel's order: the order the program numbers them in.
QStringList LinkNames(const CNetworkNamespace& ns)
{
    QStringList names;
    for (const QJsonValue& link : IpJson(ns, { "link", "show" }))
        names << link.toObject().value("ifname").toString();
    return names;
}

qint64 ReceivedBytes(const CNetworkNamespace& ns, const QString& link)
{
    const QJsonArray links = IpJson(ns, { "-s", "link", "show", "dev", link });
    if (links.isEmpty())
        return -1;
    return links[0].toObject()["stats64"].toObject()["rx"].toObject()["bytes"].toInteger(-1);
}

// The row of the line inside a graph of height H for a rate v (bytes per second) at full
// scale F.
int RowFor(qint64 v, int nFullScale)
{
    const qint64 clamped = std::clamp<qint64>(v, 0, nFullScale);
    const int d = int(double(clamped) * (kPaneHeight - 1)) / nFullScale;
    return (kPaneHeight - 1) - d;
}

TEST(ProgramTrafficDesktopTest, ReceivedLineStandsAtTheHeightOfTheRate)
{
    CORVANE_REQUIRE_DESKTOP();
    CNetworkNamespace watched(CNetworkNamespace::UniqueName("watched"));
    if (!watched.IsValid())
        GTEST_SKIP() << watched.Error();
    CNetworkNamespace peer(CNetworkNamespace::UniqueName("peer"));
    ASSERT_TRUE(peer.IsValid()) << peer.Error();

    ASSERT_TRUE(watched.Ip({ "link", "add", "cvwatch", "type", "veth", "peer", "name", "cvpeer",
        "netns", peer.Name() }));
    // Without IPv6 link-local addresses the link carries nothing but the stream (and ARP).
    watched.Ip({ "link", "set", "cvwatch", "addrgenmode", "none" });
    peer.Ip({ "link", "set", "cvpeer", "addrgenmode", "none" });
    ASSERT_TRUE(watched.Ip({ "addr", "add", "10.213.0.1/30", "dev", "cvwatch" }));
    ASSERT_TRUE(peer.Ip({ "addr", "add", "10.213.0.2/30", "dev", "cvpeer" }));
    ASSERT_TRUE(watched.Ip({ "link", "set", "cvwatch", "up" }));
    ASSERT_TRUE(peer.Ip({ "link", "set", "cvpeer", "up" }));
    // A fresh namespace has lo first; the veth end made in it comes second.
    ASSERT_EQ(LinkNames(watched), (QStringList { "lo", "cvwatch" }));

    CPacedUdpStream stream;
    ASSERT_TRUE(stream.Open(peer, "10.213.0.2", watched, "10.213.0.1", 9999));

    CCorvaneProcess corvane(CORVANE_BINARY);
    ASSERT_TRUE(corvane.WriteSettings(
        { { "NetworkDevice", 1 }, { "GraphicScale", kFullScale }, { "rect.left", 500 },
            { "rect.top", 400 }, { "rect.right", 674 }, { "rect.bottom", 523 } }));
    // The display's socket is reached through its path in /tmp/.X11-unix: abstract sockets
    // belong to the network namespace the X server runs in.
    ASSERT_TRUE(corvane.Start({ "ip", "netns", "exec", QString::fromStdString(watched.Name()) }))
        << "the program did not show its window from inside the namespace: "
        << corvane.Output().toStdString();
    const QRect at = corvane.TrafficWindow()->geometry;

    QElapsedTimer clock;
    const qint64 before = ReceivedBytes(watched, "cvwatch");
    ASSERT_GE(before, 0);
    clock.start();
    ASSERT_TRUE(stream.Start(kFrameBytes - CPacedUdpStream::kFrameOverhead, kPeriodUs));

    // Wait until the stream's points fill the newest columns of the received graph.
    QImage window;
    const bool filled = CDesktopSession::WaitFor(
        [&] {
            window = CDesktopSession::Instance().Screenshot().copy(at);
            int above = 0;
            for (const int row : CProgramScreen::LineRows(window, CProgramScreen::kReceivedPane,
                     CProgramScreen::kReceivedLine, 0, kFilledColumns - 1))
                above += row >= 0 && row < kPaneHeight - 1;
            return above >= kFilledColumns - 2;
        },
        20000);
    const qint64 after = ReceivedBytes(watched, "cvwatch");
    const qint64 elapsedMs = clock.elapsed();
    stream.Stop();
    ASSERT_TRUE(filled) << "the received graph never rose for the stream";
    ASSERT_TRUE(corvane.Running()) << corvane.Output().toStdString();

    // Bytes per second, as the kernel counted them (frames with their headers).
    const double rate = double(after - before) * 1000.0 / double(elapsedMs);
    const int expected = RowFor(qint64(rate), kFullScale);
    const int shown = CProgramScreen::Median(CProgramScreen::LineRows(window,
        CProgramScreen::kReceivedPane, CProgramScreen::kReceivedLine, kFirstColumn, kLastColumn));
    EXPECT_NEAR(shown, expected, 1)
        << "bytes per second " << rate << " (sent " << kFrameBytes * 1000000 / kPeriodUs << ")";
    // Nothing goes back: the sent graph stays on its bottom row.
    EXPECT_EQ(CProgramScreen::Median(CProgramScreen::LineRows(window, CProgramScreen::kSentPane,
                  CProgramScreen::kSentLine, kFirstColumn, kLastColumn)),
        kPaneHeight - 1);
    RecordProperty("bytes_per_second", QString::number(rate, 'f', 0).toStdString());
    RecordProperty("line_row", shown);
}

} // namespace
