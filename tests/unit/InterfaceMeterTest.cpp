#include "traffic/InterfaceMeter.h"
#include "fakes/FakePerfDataSource.h"
#include "platform/linux/kernel/NetlinkPerfDataSource.h"
#include "support/NetworkNamespace.h"
#include "support/PerfBlockBuilder.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

// Two namespaces joined by a veth pair, the test's own: cva (10.214.9.1) in a, cvb in b.
struct VethPair {
    CNetworkNamespace a { CNetworkNamespace::UniqueName("ma") };
    CNetworkNamespace b { CNetworkNamespace::UniqueName("mb") };

    // Makes the pair with its near end named name; big frames make big counts cheap.
    bool Make(const std::string& name) const
    {
        return a.Ip({ "link", "add", name, "mtu", "65000", "type", "veth", "peer", "name", "cvb",
                   "mtu", "65000", "netns", b.Name() })
            && a.Ip({ "addr", "add", "10.214.9.1/24", "dev", name })
            && b.Ip({ "addr", "add", "10.214.9.2/24", "dev", "cvb" })
            && a.Ip({ "link", "set", name, "up" })
            && b.Ip({ "link", "set", "cvb", "up" })
            // No address resolution: a datagram leaves at once, and the link has counted
            // it by the time sendto returns.
            && a.Ip({ "neigh", "replace", "10.214.9.2", "lladdr", "02:00:00:00:00:02", "dev", name,
                "nud", "permanent" });
    }
};

// Sends count datagrams of size bytes from a to b (nobody listens: b's stack drops them
// after the veth counted them). Returns the bytes handed to the socket.
uint64_t Send(int socket, int count, size_t size)
{
    sockaddr_in to {};
    to.sin_family = AF_INET;
    to.sin_port = htons(47113);
    ::inet_pton(AF_INET, "10.214.9.2", &to.sin_addr);
    const std::vector<char> payload(size, 'x');
    uint64_t sent = 0;
    for (int i = 0; i < count; ++i)
        if (::sendto(socket, payload.data(), size, 0, reinterpret_cast<sockaddr*>(&to), sizeof to)
            == ssize_t(size))
            sent += size;
    return sent;
}

} // namespace

TEST(InterfaceMeter, FollowsRenameDownUpAndRecreationWithoutSpike)
{
    VethPair net;
    if (!net.a.IsValid() || !net.b.IsValid())
        GTEST_SKIP() << "network namespace test skipped: " << net.a.Error() << net.b.Error();
    ASSERT_TRUE(net.Make("cva"));
    std::unique_ptr<CNetlinkPerfDataSource> source;
    int socket = -1;
    ASSERT_TRUE(net.a.RunInside([&] {
        source = std::make_unique<CNetlinkPerfDataSource>();
        socket = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    }));
    ASSERT_GE(socket, 0);
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer { socket };

    CInterfaceMeter meter(*source);
    meter.Choose("cva");
    double received = 0, sent = 0;
    ASSERT_EQ(meter.Read(received, sent), CInterfaceMeter::Reading::Primed);
    uint64_t bytes = Send(socket, 20, 1000);
    ASSERT_EQ(meter.Read(received, sent), CInterfaceMeter::Reading::Counted);
    EXPECT_GE(sent, double(bytes));

    // Renamed (which takes it down and up again): followed under its new name.
    ASSERT_TRUE(net.a.Ip({ "link", "set", "cva", "down" }));
    ASSERT_TRUE(net.a.Ip({ "link", "set", "cva", "name", "cvr" }));
    ASSERT_TRUE(net.a.Ip({ "link", "set", "cvr", "up" }));
    ASSERT_TRUE(net.a.Ip({ "addr", "replace", "10.214.9.1/24", "dev", "cvr" }));
    bytes = Send(socket, 20, 1000);
    ASSERT_EQ(meter.Read(received, sent), CInterfaceMeter::Reading::Counted);
    EXPECT_EQ(meter.Name(), "cvr");
    EXPECT_GE(sent, double(bytes));

    // Past 2^31 bytes sent, then deleted: absent, its name kept.
    uint64_t total = 0;
    while (total < (uint64_t(1) << 31) + (uint64_t(1) << 24)) {
        const uint64_t batch = Send(socket, 1000, 64000);
        ASSERT_GT(batch, 0u);
        total += batch;
    }
    ASSERT_EQ(meter.Read(received, sent), CInterfaceMeter::Reading::Counted);
    EXPECT_GE(sent, double(total));
    ASSERT_TRUE(net.a.Ip({ "link", "del", "cvr" }));
    EXPECT_EQ(meter.Read(received, sent), CInterfaceMeter::Reading::Absent);
    EXPECT_EQ(meter.Name(), "cvr");
    EXPECT_FALSE(meter.IsPresent());

    // Made again under the same name: a new link, counted from its own start, no spike.
    ASSERT_TRUE(net.Make("cvr"));
    meter.Read(received, sent);
    EXPECT_EQ(sent, 0.0);
    bytes = Send(socket, 20, 1000);
    ASSERT_EQ(meter.Read(received, sent), CInterfaceMeter::Reading::Counted);
    EXPECT_GE(sent, double(bytes));
    EXPECT_LT(sent, double(bytes) + 100000);
}

TEST(InterfaceMeter, HasTheSourceReadTheLinkItFollows)
{
    using Reading = CInterfaceMeter::Reading;
    using Calls = std::vector<std::string>;
    // A source that reads the watched link's counters only: lo is 1, eth0 is 2.
    const auto block = [](uint32_t watched, uint64_t lo, uint64_t eth) {
        return BuildNetworkBlock(
            { { u"lo", lo, lo, 1, watched == 1 }, { u"eth0", eth, eth / 2, 2, watched == 2 } })
            .bytes;
    };
    CFakePerfDataSource source;
    source.block = block(0, 0, 0);
    source.whenWatched[1] = block(1, 500, 0);
    source.whenWatched[2] = block(2, 0, 1000);
    CInterfaceMeter meter(source);
    meter.Choose("eth0");
    double received = 0, sent = 0;
    // Found by name without counters: watched, then primed from a reading of now.
    EXPECT_EQ(meter.Read(received, sent), Reading::Primed);
    EXPECT_EQ(source.calls, (Calls { "query", "watch 2", "query" }));

    // Every reading tells the source first which link it follows, even when another reader
    // had it watch lo meanwhile.
    source.whenWatched[2] = block(2, 0, 5000);
    source.Watch(1);
    source.calls.clear();
    EXPECT_EQ(meter.Read(received, sent), Reading::Counted);
    EXPECT_EQ(received, 4000.0);
    EXPECT_EQ(sent, 2000.0);
    EXPECT_EQ(source.calls, (Calls { "watch 2", "query" }));

    // A switch of link primes from a reading of the new one: no spike from lo's large count.
    source.whenWatched[1] = block(1, 90000000, 0);
    meter.Choose("lo");
    source.calls.clear();
    EXPECT_EQ(meter.Read(received, sent), Reading::Primed);
    EXPECT_EQ(received, 0.0);
    EXPECT_EQ(source.calls, (Calls { "query", "watch 1", "query" }));
    source.whenWatched[1] = block(1, 90000100, 0);
    EXPECT_EQ(meter.Read(received, sent), Reading::Counted);
    EXPECT_EQ(received, 100.0);

    // A source that reads no counters for it even when asked: nothing counted.
    source.whenWatched.erase(1);
    EXPECT_EQ(meter.Read(received, sent), Reading::Failed);
    EXPECT_EQ(received, 0.0);
}

TEST(InterfaceMeter, FindsTheLinkAgainWhenTheLayoutChanges)
{
    using Reading = CInterfaceMeter::Reading;
    CFakePerfDataSource source;
    const auto serve = [&](uint64_t layout, std::vector<BuiltInterface> links) {
        source.layout = layout;
        source.block = BuildNetworkBlock(links).bytes;
    };
    CInterfaceMeter meter(source);
    meter.Choose("eth0");
    double received = 0, sent = 0;
    serve(1, { { u"lo", 0, 0, 1 }, { u"eth0", 1000, 10, 2 } });
    EXPECT_EQ(meter.Read(received, sent), Reading::Primed);
    serve(1, { { u"lo", 0, 0, 1 }, { u"eth0", 3000, 20, 2 } });
    EXPECT_EQ(meter.Read(received, sent), Reading::Counted);
    EXPECT_EQ(received, 2000.0);
    EXPECT_EQ(sent, 10.0);
    // A link added before it: another layout, the link found at its new place.
    serve(2, { { u"lo", 0, 0, 1 }, { u"veth0", 77777, 77777, 3 }, { u"eth0", 3500, 20, 2 } });
    EXPECT_EQ(meter.Read(received, sent), Reading::Counted);
    EXPECT_EQ(received, 500.0);
    // Renamed: followed under its new name.
    serve(3, { { u"lo", 0, 0, 1 }, { u"veth0", 77777, 77777, 3 }, { u"wan0", 3600, 20, 2 } });
    EXPECT_EQ(meter.Read(received, sent), Reading::Counted);
    EXPECT_EQ(received, 100.0);
    EXPECT_EQ(meter.Name(), "wan0");
    // Gone; another interface chosen in a block of the same layout is looked up afresh.
    serve(4, { { u"lo", 0, 0, 1 }, { u"veth0", 77777, 77777, 3 } });
    EXPECT_EQ(meter.Read(received, sent), Reading::Absent);
    meter.Choose("veth0");
    EXPECT_EQ(meter.Read(received, sent), Reading::Primed);
    meter.Choose("lo");
    EXPECT_EQ(meter.Read(received, sent), Reading::Primed);
    serve(4, { { u"lo", 40, 0, 1 }, { u"veth0", 77777, 77777, 3 } });
    EXPECT_EQ(meter.Read(received, sent), Reading::Counted);
    EXPECT_EQ(received, 40.0);
}
