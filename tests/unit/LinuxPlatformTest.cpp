#include "platform/linux/kernel/MonotonicClock.h"
#include "platform/linux/kernel/NetlinkConnectionState.h"
#include "support/IfaddrsConnectionState.h"
#include "support/NetworkNamespace.h"

#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <net/if.h>

#include <gtest/gtest.h>

#include <cstring>
#include <ctime>
#include <memory>
#include <unistd.h>
#include <vector>

namespace {

uint32_t MonotonicMs()
{
    timespec now {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return uint32_t(uint64_t(now.tv_sec) * 1000u + uint64_t(now.tv_nsec) / 1000000u);
}

// A chunk of a link dump as the kernel sends it.
struct Chunk {
    std::vector<uint8_t> bytes;

    void Add(uint16_t type, uint32_t seq, const void* payload, size_t length, uint32_t declared = 0)
    {
        nlmsghdr header {};
        header.nlmsg_len = declared ? declared : uint32_t(NLMSG_LENGTH(length));
        header.nlmsg_type = type;
        header.nlmsg_seq = seq;
        const size_t at = bytes.size();
        bytes.resize(at + NLMSG_SPACE(length));
        std::memcpy(bytes.data() + at, &header, sizeof header);
        if (length)
            std::memcpy(bytes.data() + at + NLMSG_HDRLEN, payload, length);
    }
    void Link(unsigned flags, uint32_t seq = 7)
    {
        ifinfomsg link {};
        link.ifi_flags = flags;
        Add(RTM_NEWLINK, seq, &link, sizeof link);
    }
    void Done(uint32_t seq = 7) { Add(NLMSG_DONE, seq, "\0\0\0\0", 4); }
};

} // namespace

TEST(MonotonicClock, CountsMillisecondsOfTheMonotonicClock)
{
    CMonotonicClock clock;
    const uint32_t before = MonotonicMs();
    const uint32_t now = clock.GetTickCount();
    const uint32_t after = MonotonicMs();
    EXPECT_LE(uint32_t(now - before), uint32_t(after - before)); // modulo 2^32
}

TEST(ConnectionState, NetlinkAgreesWithGetifaddrsAndStaysInStep)
{
    CNetlinkConnectionState netlink;
    CIfaddrsConnectionState ifaddrs;
    const bool expected = ifaddrs.IsConnected();
    // Repeated queries on one socket: a dump left half-read would answer the next one.
    for (int i = 0; i < 50; ++i)
        ASSERT_EQ(netlink.IsConnected(), expected) << "query " << i;
}

TEST(ConnectionState, FollowsLinksGoingUpAndDownInANamespace)
{
    CNetworkNamespace ns(CNetworkNamespace::UniqueName("conn"));
    if (!ns.IsValid())
        GTEST_SKIP() << "no network namespace: " << ns.Error();
    std::unique_ptr<CNetlinkConnectionState> state;
    ASSERT_TRUE(ns.RunInside([&] { state = std::make_unique<CNetlinkConnectionState>(); }));
    ASSERT_TRUE(ns.Ip({ "link", "set", "lo", "up" }));
    EXPECT_FALSE(state->IsConnected()) << "loopback alone is no connection";
    EXPECT_FALSE(state->IsConnected());

    // A veth end runs once both ends are up; the kept answer must follow the link events.
    ASSERT_TRUE(ns.Ip({ "link", "add", "va", "type", "veth", "peer", "name", "vb" }));
    ASSERT_TRUE(ns.Ip({ "link", "set", "va", "up" }));
    ASSERT_TRUE(ns.Ip({ "link", "set", "vb", "up" }));
    bool connected = false;
    for (int i = 0; i < 100 && !connected; ++i) {
        connected = state->IsConnected();
        if (!connected)
            usleep(20000);
    }
    EXPECT_TRUE(connected);
    ASSERT_TRUE(ns.Ip({ "link", "set", "va", "down" }));
    ASSERT_TRUE(ns.Ip({ "link", "set", "vb", "down" }));
    bool down = false;
    for (int i = 0; i < 100 && !down; ++i) {
        down = !state->IsConnected();
        if (!down)
            usleep(20000);
    }
    EXPECT_TRUE(down);
    state.reset();
}

TEST(ConnectionState, LinkDumpChunks)
{
    constexpr unsigned kUp = IFF_UP | IFF_RUNNING;
    struct Case {
        const char* what;
        Chunk chunk;
        bool more, connected, failed;
    };
    std::vector<Case> cases;
    auto add = [&](const char* what, auto build, bool more, bool connected, bool failed) {
        Chunk chunk;
        build(chunk);
        cases.push_back({ what, chunk, more, connected, failed });
    };
    add(
        "loopback only",
        [](Chunk& c) {
            c.Link(kUp | IFF_LOOPBACK);
            c.Done();
        },
        false, false, false);
    add(
        "up but no carrier",
        [](Chunk& c) {
            c.Link(IFF_UP);
            c.Done();
        },
        false, false, false);
    add(
        "running but down",
        [](Chunk& c) {
            c.Link(IFF_RUNNING);
            c.Done();
        },
        false, false, false);
    add(
        "one link up and running",
        [](Chunk& c) {
            c.Link(IFF_LOOPBACK | kUp);
            c.Link(kUp);
            c.Done();
        },
        false, true, false);
    add(
        "dump goes on", [](Chunk& c) { c.Link(kUp); }, true, true, false);
    add(
        "another query's answer is ignored",
        [](Chunk& c) {
            c.Link(kUp, 6);
            c.Done();
        },
        false, false, false);
    add(
        "kernel error", [](Chunk& c) { c.Add(NLMSG_ERROR, 7, "\xff\xff\xff\xff", 4); }, false,
        false, true);
    add(
        "length past the chunk", [](Chunk& c) { c.Add(RTM_NEWLINK, 7, "", 0, 4000); }, false, false,
        true);
    add(
        "length shorter than a header", [](Chunk& c) { c.Add(RTM_NEWLINK, 7, "", 0, 8); }, false,
        false, true);
    add(
        "link record cut short",
        [](Chunk& c) {
            c.Add(RTM_NEWLINK, 7, "\xff\xff", 2);
            c.Done();
        },
        false, false, false);
    add(
        "trailing bytes shorter than a header",
        [](Chunk& c) {
            c.Link(kUp);
            c.bytes.resize(c.bytes.size() + 5);
        },
        true, true, false);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        bool connected = false;
        bool failed = false;
        EXPECT_EQ(CNetlinkConnectionState::ParseLinkChunk(
                      c.chunk.bytes.data(), c.chunk.bytes.size(), 7, connected, failed),
            c.more);
        EXPECT_EQ(connected, c.connected);
        EXPECT_EQ(failed, c.failed);
    }
}
