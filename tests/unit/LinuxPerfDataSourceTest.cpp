#include "platform/linux/kernel/NetlinkConnectionState.h"
#include "platform/linux/kernel/NetlinkPerfDataSource.h"
#include "platform/linux/kernel/PerfBlockWriter.h"
#include "support/NamedRows.h"
#include "support/NetlinkDumpBuilder.h"
#include "support/NetworkNamespace.h"
#include "support/ProcNetDevPerfDataSource.h"
#include "traffic/InterfaceCounter.h"
#include "traffic/PerfBlock.h"

#include <arpa/inet.h>
#include <linux/if_link.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace {

LinkCounters Link(const char* name, uint64_t received, uint64_t sent, uint64_t bandwidth = 0)
{
    LinkCounters link;
    std::strncpy(link.name, name, sizeof(link.name) - 1);
    link.received = received;
    link.sent = sent;
    link.bandwidth = bandwidth;
    return link;
}

struct Instance {
    std::string name;
    uint32_t id;
    bool counted; // carries its counters
    uint64_t received, sent, total, bandwidth;
};

// Reads every instance of object 510 with its four counters at full 64-bit width, where it
// carries them.
std::vector<Instance> Walk(const CPerfBlock& block)
{
    std::vector<Instance> out;
    block.ForEachNetworkObject([&](CPerfBlock::Pos object) {
        const int64_t k[4]
            = { block.FindCounterOffset(object, 264), block.FindCounterOffset(object, 506),
                  block.FindCounterOffset(object, 388), block.FindCounterOffset(object, 520) };
        block.ForEachInstance(object, [&](CPerfBlock::Pos instance) {
            char name[CPerfBlock::kNameCapacity + 1];
            size_t length = 0;
            EXPECT_TRUE(block.InstanceName(instance, name, length));
            uint64_t v[4] = {};
            int present = 0;
            for (int i = 0; i < 4; ++i) {
                uint32_t low = 0, high = 0;
                present += block.CounterValue(instance, k[i], low)
                    && block.CounterValue(instance, k[i] + 4, high);
                v[i] = uint64_t(high) << 32 | low;
            }
            EXPECT_TRUE(present == 0 || present == 4) << "all four counters or none";
            out.push_back({ std::string(name, length), block.InstanceUniqueId(instance),
                present == 4, v[0], v[1], v[2], v[3] });
            return false;
        });
        return false;
    });
    return out;
}

std::vector<Instance> Query(IPerfDataSource& source)
{
    std::optional<CPerfBlock> block = CPerfBlock::QueryPerfData(source);
    EXPECT_TRUE(block);
    return block ? Walk(*block) : std::vector<Instance> {};
}

std::vector<std::string> Names(const std::vector<Instance>& instances)
{
    std::vector<std::string> names;
    for (const Instance& i : instances)
        names.push_back(i.name);
    return names;
}

// The names of the instances that carry their counters.
std::vector<std::string> Counted(const std::vector<Instance>& instances)
{
    std::vector<std::string> names;
    for (const Instance& i : instances)
        if (i.counted)
            names.push_back(i.name);
    return names;
}

// Has the source watch the link of that name, found by its unique id in a block.
void Watch(IPerfDataSource& source, const std::string& name)
{
    for (const Instance& i : Query(source))
        if (i.name == name) {
            source.Watch(i.id);
            return;
        }
    ADD_FAILURE() << "no " << name;
}

// The kernel's interface list in its own order (glibc asks rtnetlink, too).
std::vector<std::string> KernelInterfaces()
{
    std::vector<std::string> names;
    if (struct if_nameindex* list = if_nameindex()) {
        for (struct if_nameindex* i = list; i->if_index != 0; ++i)
            names.push_back(i->if_name);
        if_freenameindex(list);
    }
    return names;
}

sockaddr_in Address(const char* address, uint16_t port)
{
    sockaddr_in a {};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    ::inet_pton(AF_INET, address, &a.sin_addr);
    return a;
}

// A UDP socket bound to address:port in whatever namespace the thread that makes it is in.
struct CUdpSocket {
    CUdpSocket(const char* address, uint16_t port)
    {
        const sockaddr_in local = Address(address, port);
        if (::bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0)
            ADD_FAILURE() << "cannot bind to " << address << ": " << std::strerror(errno);
    }
    ~CUdpSocket() { ::close(fd); }
    CUdpSocket(const CUdpSocket&) = delete;
    CUdpSocket& operator=(const CUdpSocket&) = delete;

    // One datagram of `size` bytes to address:port, or to this socket itself.
    bool Send(size_t size, const char* address = nullptr, uint16_t port = 0) const
    {
        sockaddr_in to = address ? Address(address, port) : sockaddr_in {};
        socklen_t length = sizeof to;
        if (!address && ::getsockname(fd, reinterpret_cast<sockaddr*>(&to), &length) != 0)
            return false;
        const std::vector<char> payload(size, 'x');
        return ::sendto(fd, payload.data(), size, 0, reinterpret_cast<sockaddr*>(&to), sizeof to)
            == ssize_t(size);
    }

    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
};

uint64_t LoopbackReceived(const std::vector<Instance>& instances)
{
    for (const Instance& i : instances)
        if (i.name == "lo")
            return i.received;
    ADD_FAILURE() << "no lo";
    return 0;
}

CNetlinkDumpBuilder Cut(CNetlinkDumpBuilder answer)
{
    answer.bytes.resize(answer.bytes.size() - 8);
    return answer;
}

using State = CNetlinkPerfDataSource::DumpState;

} // namespace

TEST(PerfBlockWriter, WritesABlockTheWalkerReads)
{
    const LinkCounters links[] = {
        Link("lo", 3267, 3267),
        Link("eth0", 0x123456789ull, 81453, 10000000000ull),
        Link("w\xc3\xa4n", 1, 2),
        Link("", 0, 0),
    };
    const uint64_t size = CPerfBlockWriter::RequiredSize(links);
    std::vector<uint8_t> bytes(size);
    CPerfBlockWriter::Write(links, bytes.data());
    const CPerfBlock block = CPerfBlock::View(bytes.data(), bytes.size());

    const std::vector<Instance> instances = Walk(block);
    ASSERT_EQ(instances.size(), 4u);
    EXPECT_EQ(Names(instances), (std::vector<std::string> { "lo", "eth0", "w\xc3\xa4n", "" }));
    EXPECT_EQ(instances[1].received, 0x123456789ull);
    EXPECT_EQ(instances[1].sent, 81453u);
    EXPECT_EQ(instances[1].total, 0x123456789ull + 81453);
    EXPECT_EQ(instances[1].bandwidth, 10000000000ull);
    EXPECT_EQ(instances[0].total, 6534u);
    // The data block's own total length matches, and the signature is "PERF" in UTF-16.
    EXPECT_EQ(bytes[20] | bytes[21] << 8 | bytes[22] << 16, int(size));
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 8), std::string("P\0E\0R\0F\0", 8));

    // One link carries its counters, the others an empty counter block; writing that link's
    // counters again changes nothing else.
    std::vector<uint8_t> one(CPerfBlockWriter::RequiredSize(links, 1));
    EXPECT_LT(one.size(), bytes.size());
    const uint32_t at = CPerfBlockWriter::Write(links, one.data(), 1);
    LinkCounters later = links[1];
    later.received += 1000;
    std::vector<uint8_t> expected(one.size());
    CPerfBlockWriter::Write(
        std::vector<LinkCounters> { links[0], later, links[2], links[3] }, expected.data(), 1);
    CPerfBlockWriter::WriteCounters(later, one.data() + at);
    EXPECT_EQ(one, expected);
    const std::vector<Instance> counted = Walk(CPerfBlock::View(one.data(), one.size()));
    EXPECT_EQ(Names(counted), Names(instances));
    EXPECT_EQ(Counted(counted), std::vector<std::string> { "eth0" });
    EXPECT_EQ(counted[1].total, 0x123456789ull + 1000 + 81453);
    // None of them: every counter block empty.
    std::vector<uint8_t> none(CPerfBlockWriter::RequiredSize(links, 4));
    EXPECT_EQ(CPerfBlockWriter::Write(links, none.data(), 4), 0u);
    EXPECT_TRUE(Counted(Walk(CPerfBlock::View(none.data(), none.size()))).empty());
}

TEST(PerfBlockWriter, AnswersLikeTheRegistry)
{
    const LinkCounters links[] = { Link("lo", 1, 2), Link("eth0", 3, 4) };
    const uint32_t needed = uint32_t(CPerfBlockWriter::RequiredSize(links));
    std::vector<uint8_t> buffer(needed + 100, 0xAA);

    uint32_t size = needed - 1;
    EXPECT_EQ(CPerfBlockWriter::Answer(links, buffer.data(), size), IPerfDataSource::kPerfMoreData);
    EXPECT_EQ(size, needed);
    EXPECT_EQ(buffer[0], 0xAA) << "a refused buffer is left alone";

    size = 0;
    EXPECT_EQ(CPerfBlockWriter::Answer(links, nullptr, size), IPerfDataSource::kPerfMoreData);
    EXPECT_EQ(size, needed);

    size = uint32_t(buffer.size());
    EXPECT_EQ(CPerfBlockWriter::Answer(links, buffer.data(), size), IPerfDataSource::kPerfSuccess);
    EXPECT_EQ(size, needed);
    EXPECT_EQ(buffer[needed], 0xAA);

    // No interfaces at all: one object 510 without instances.
    std::vector<uint8_t> empty(CPerfBlockWriter::RequiredSize({}));
    CPerfBlockWriter::Write({}, empty.data());
    const CPerfBlock block = CPerfBlock::View(empty.data(), empty.size());
    int objects = 0;
    block.ForEachNetworkObject([&](CPerfBlock::Pos object) {
        ++objects;
        EXPECT_EQ(block.NumInstances(object), 0);
        EXPECT_GE(block.FindCounterOffset(object, 520), 0);
        return false;
    });
    EXPECT_EQ(objects, 1);
}

TEST(PerfBlockWriter, ConvertsKernelNamesToUtf16)
{
    struct Case {
        const char* what;
        const char* name;
        std::u16string wide;
    } cases[] = {
        { "ascii", "enp3s0", u"enp3s0" },
        { "two-byte", "w\xc3\xa4n", u"w\u00e4n" },
        { "three-byte", "\xe2\x82\xac", u"\u20ac" },
        { "four-byte", "\xf0\x9f\x98\x80!", u"\U0001F600!" },
        { "stray continuation byte",
            "a\x80"
            "b",
            u"a\uFFFDb" },
        { "cut sequence", "a\xe2\x82", u"a\uFFFD\uFFFD" },
        { "overlong form", "\xc0\xaf", u"\uFFFD\uFFFD" },
        { "encoded surrogate", "\xed\xa0\x80", u"\uFFFD\uFFFD\uFFFD" },
        { "beyond U+10FFFF", "\xf4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        char16_t out[16];
        const size_t n = CPerfBlockWriter::NameToWide(c.name, out, 16);
        EXPECT_EQ(std::u16string(out, n), c.wide);
    }
    char16_t small[2];
    EXPECT_EQ(CPerfBlockWriter::NameToWide("a\xf0\x9f\x98\x80", small, 2), 1u)
        << "a surrogate pair is never split";
}

TEST(ProcNetDevTable, ParsesTheKernelsTextTable)
{
    const char* table
        = "Inter-|   Receive                                                |  Transmit\n"
          " face |bytes    packets errs drop fifo frame compressed multicast|bytes    packets "
          "errs drop fifo colls carrier compressed\n"
          "    lo:    3267      29    0    0    0     0          0         0     3267      29    "
          "0    0    0     0       0          0\n"
          "  eth0:18446744073709551615 1587 0 0 0 0 0 0 81453 889 0 0 0 0 0 0\n"
          "broken: 1 2 3\n"
          "no colon here 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16\n"
          "   : 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16\n"
          "a-very-long-interface-name: 5 0 0 0 0 0 0 0 6 0 0 0 0 0 0 0\n"
          "  last: 7 0 0 0 0 0 0 0 8 0 0 0 0 0 0 0";
    std::vector<LinkCounters> links;
    ASSERT_TRUE(CProcNetDevPerfDataSource::ParseTable(table, links));
    ASSERT_EQ(links.size(), 4u);
    EXPECT_STREQ(links[0].name, "lo");
    EXPECT_EQ(links[0].received, 3267u);
    EXPECT_EQ(links[0].sent, 3267u);
    EXPECT_STREQ(links[1].name, "eth0");
    EXPECT_EQ(links[1].received, UINT64_MAX);
    EXPECT_EQ(links[1].sent, 81453u);
    EXPECT_STREQ(links[2].name, "a-very-long-int");
    EXPECT_STREQ(links[3].name, "last");
    EXPECT_EQ(links[3].sent, 8u);

    for (const char* junk : { "", "\n\n", "garbage", "x: not numbers at all" }) {
        SCOPED_TRACE(junk);
        links.clear();
        EXPECT_FALSE(CProcNetDevPerfDataSource::ParseTable(junk, links));
        EXPECT_TRUE(links.empty());
    }
}

TEST(NetlinkDump, ReadsLinksUpToTheEndOfTheDumpAndFailsOnMessagesThatDoNotFit)
{
    // lo and eth0 damaged; `second` is where eth0's message starts, `name` lo's name attribute.
    const auto damaged = [](void (*damage)(std::vector<uint8_t>&, size_t second, size_t name)) {
        std::vector<uint8_t> b
            = CNetlinkDumpBuilder().Link(7, 1, "lo", 1, 1).Link(7, 2, "eth0", 1, 1).bytes;
        damage(b, reinterpret_cast<const nlmsghdr*>(b.data())->nlmsg_len,
            NLMSG_HDRLEN + NLMSG_ALIGN(sizeof(ifinfomsg)));
        return b;
    };
    using Names = std::vector<std::string>;
    struct Case {
        const char* what;
        std::vector<uint8_t> dump;
        State state;
        Names names;
        bool interrupted = false;
    } const cases[] = {
        { "two links and the end",
            CNetlinkDumpBuilder().Link(7, 1, "lo", 10, 20).Link(7, 2, "eth0", 30, 40).Done(7).bytes,
            State::Done, { "lo", "eth0" } },
        { "more to come", CNetlinkDumpBuilder().Link(7, 1, "lo", 10, 20).bytes, State::More,
            { "lo" } },
        { "left-overs of an older dump are skipped",
            CNetlinkDumpBuilder().Link(6, 9, "old", 1, 1).Done(6).Link(7, 1, "lo", 1, 1).bytes,
            State::More, { "lo" } },
        { "an error ends the dump", CNetlinkDumpBuilder().Link(7, 1, "lo", 1, 1).Error(7).bytes,
            State::Failed, { "lo" } },
        { "an interrupted dump says so",
            CNetlinkDumpBuilder()
                .Link(7, 1, "lo", 1, 1, NLM_F_MULTI | NLM_F_DUMP_INTR)
                .Done(7)
                .bytes,
            State::Done, { "lo" }, true },
        { "a link without a name is left out",
            CNetlinkDumpBuilder().Link(7, 1, nullptr, 1, 1).Link(7, 2, "eth0", 1, 1).bytes,
            State::More, { "eth0" } },
        { "length past the datagram", damaged([](std::vector<uint8_t>& b, size_t s, size_t) {
             b[s] = 0xFF, b[s + 1] = 0xFF;
         }),
            State::Failed, { "lo" } },
        { "length below a header",
            damaged([](std::vector<uint8_t>& b, size_t s, size_t) { b[s] = 4, b[s + 1] = 0; }),
            State::Failed, { "lo" } },
        { "datagram cut short",
            damaged([](std::vector<uint8_t>& b, size_t s, size_t) { b.resize(s + 20); }),
            State::Failed, { "lo" } },
        { "trailing bytes shorter than a header",
            damaged([](std::vector<uint8_t>& b, size_t, size_t) { b.resize(b.size() + 8); }),
            State::More, { "lo", "eth0" } },
        { "attribute length past its message: 60000 bytes of name",
            damaged(
                [](std::vector<uint8_t>& b, size_t, size_t n) { b[n] = 0x60, b[n + 1] = 0xEA; }),
            State::More, { "eth0" } },
        { "a name without its NUL stops at its attribute, not in the padding after it",
            damaged(
                [](std::vector<uint8_t>& b, size_t, size_t n) { b[n + 6] = 'p', b[n + 7] = 'z'; }),
            State::More, { "lop", "eth0" } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<LinkCounters> links;
        bool interrupted = false;
        EXPECT_EQ(
            CNetlinkPerfDataSource::ParseDump(c.dump.data(), c.dump.size(), 7, links, interrupted),
            c.state);
        Names names;
        for (const LinkCounters& l : links)
            names.push_back(l.name);
        EXPECT_EQ(names, c.names);
        EXPECT_EQ(interrupted, c.interrupted);
    }
}

TEST(NetlinkDump, TakesThe64BitCountersAndFallsBackTo32)
{
    const CNetlinkDumpBuilder dump = CNetlinkDumpBuilder()
                                         .Link(1, 1, "big", 0x123456789ull, 0x987654321ull)
                                         .Link(1, 2, "old", 0x123456789ull, 77, NLM_F_MULTI, false);
    std::vector<LinkCounters> links;
    bool interrupted = false;
    CNetlinkPerfDataSource::ParseDump(dump.bytes.data(), dump.bytes.size(), 1, links, interrupted);
    ASSERT_EQ(links.size(), 2u);
    EXPECT_EQ(links[0].received, 0x123456789ull);
    EXPECT_EQ(links[0].sent, 0x987654321ull);
    EXPECT_EQ(links[0].index, 1);
    EXPECT_EQ(links[0].operState, 6u);
    EXPECT_EQ(links[1].received, 0x23456789ull);
    EXPECT_EQ(links[1].sent, 77u);
}

struct CountersRow {
    const char* name;
    CNetlinkDumpBuilder answer;
    State state;
    uint64_t received; // when Done
    int error; // when Failed
};

class NetlinkCounters : public ::testing::TestWithParam<CountersRow> { };

TEST_P(NetlinkCounters, TakesTheAnswerForTheLinkAskedFor)
{
    const CountersRow& row = GetParam();
    LinkCounters link;
    link.index = 3;
    int error = -1;
    const auto state = CNetlinkPerfDataSource::ParseCounters(
        row.answer.bytes.data(), row.answer.bytes.size(), 5, link, error);
    EXPECT_EQ(state, row.state);
    EXPECT_EQ(link.received, state == State::Done ? row.received : 0);
    if (state == State::Failed) {
        EXPECT_EQ(error, row.error);
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, NetlinkCounters,
    ::testing::Values(
        CountersRow { "statistics", CNetlinkDumpBuilder().Stats(5, 3, 0x123456789ull, 7, 0),
            State::Done, 0x123456789ull, 0 },
        CountersRow { "whole_link", CNetlinkDumpBuilder().Link(5, 3, "eth0", 1ull << 40, 9, 0),
            State::Done, 1ull << 40, 0 },
        CountersRow { "after_the_answer_to_an_older_request",
            CNetlinkDumpBuilder().Stats(4, 3, 1, 1, 0).Stats(5, 3, 2, 2, 0), State::Done, 2, 0 },
        CountersRow {
            "only_an_older_answer", CNetlinkDumpBuilder().Stats(4, 3, 1, 1, 0), State::More, 0, 0 },
        CountersRow {
            "link_gone", CNetlinkDumpBuilder().Error(5, -ENODEV), State::Failed, 0, ENODEV },
        CountersRow { "answer_about_another_link", CNetlinkDumpBuilder().Stats(5, 4, 1, 1, 0),
            State::Failed, 0, 0 },
        CountersRow { "answer_without_counters",
            [] {
                CNetlinkDumpBuilder b;
                b.Link(5, 3, "eth0", 1, 1, 0);
                // Keep the header, the link message and its name ("eth0") only.
                const uint32_t length = NLMSG_HDRLEN + NLMSG_ALIGN(sizeof(ifinfomsg)) + 12;
                b.bytes.resize(length);
                std::memcpy(b.bytes.data(), &length, sizeof length);
                return b;
            }(),
            State::Failed, 0, 0 },
        CountersRow { "end_of_a_dump", CNetlinkDumpBuilder().Done(5), State::Failed, 0, 0 },
        CountersRow {
            "cut_short", Cut(CNetlinkDumpBuilder().Stats(5, 3, 1, 1, 0)), State::Failed, 0, 0 }),
    RowName);

TEST(LinuxPerfDataSource, ListsTheKernelsInterfacesInItsOrder)
{
    const std::vector<std::string> kernel = KernelInterfaces();
    ASSERT_FALSE(kernel.empty());
    ASSERT_NE(std::find(kernel.begin(), kernel.end(), "lo"), kernel.end());

    CNetlinkPerfDataSource netlink;
    CInterfaceCounter counter(netlink);
    EXPECT_EQ(counter.Names(), kernel);
    EXPECT_EQ(Names(Query(netlink)), kernel);
    EXPECT_TRUE(Counted(Query(netlink)).empty()) << "nothing watched, no counters read";
    Watch(netlink, "lo");
    const std::vector<Instance> instances = Query(netlink);
    EXPECT_EQ(Names(instances), kernel);
    ASSERT_EQ(Counted(instances), std::vector<std::string> { "lo" });
    EXPECT_EQ(instances[0].total, instances[0].received + instances[0].sent);

    // The text table lists the same interfaces; its order is its own.
    CProcNetDevPerfDataSource table;
    std::vector<std::string> fromTable = Names(Query(table));
    std::vector<std::string> sorted = kernel;
    std::sort(fromTable.begin(), fromTable.end());
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(fromTable, sorted);
}

TEST(LinuxPerfDataSource, AnswersMoreDataWithTheSizeItNeeds)
{
    CNetlinkPerfDataSource netlink;
    CProcNetDevPerfDataSource table;
    for (IPerfDataSource* source :
        { static_cast<IPerfDataSource*>(&netlink), static_cast<IPerfDataSource*>(&table) }) {
        uint8_t small[16] = {};
        uint32_t size = sizeof small;
        ASSERT_EQ(source->Query(small, size), IPerfDataSource::kPerfMoreData);
        ASSERT_GT(size, 88u + 64 + 160);
        std::vector<uint8_t> buffer(size + 4096);
        uint32_t offered = uint32_t(buffer.size());
        ASSERT_EQ(source->Query(buffer.data(), offered), IPerfDataSource::kPerfSuccess);
        EXPECT_LE(offered, buffer.size());
        // Many queries in a row keep working on the same socket or file.
        for (int i = 0; i < 50; ++i) {
            offered = uint32_t(buffer.size());
            ASSERT_EQ(source->Query(buffer.data(), offered), IPerfDataSource::kPerfSuccess);
        }
    }
}

TEST(LinuxPerfDataSource, QueriesInQuickSuccessionShareOneReading)
{
    const CUdpSocket loopback("127.0.0.1", 0);
    struct {
        const char* what;
        std::chrono::microseconds window;
        bool bSeen; // the second query sees the traffic sent after the first
    } const rows[] = {
        { "a window far longer than the test: everything after the first query is shared",
            std::chrono::hours(1), false },
        { "without a window every query reads the kernel", {}, true },
        { "a short window: the query after it reads again", std::chrono::milliseconds(20), true },
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        CNetlinkPerfDataSource source(row.window);
        Watch(source, "lo");
        const uint64_t before = LoopbackReceived(Query(source));
        ASSERT_TRUE(loopback.Send(1000));
        if (row.window.count() > 0 && row.bSeen)
            ::usleep(30000);
        const uint64_t after = LoopbackReceived(Query(source));
        if (row.bSeen)
            EXPECT_GE(after, before + 1000);
        else
            EXPECT_EQ(after, before);
        // The reading before the watch, the one after it, and one more when not shared.
        EXPECT_EQ(source.Readings(), row.bSeen ? 3u : 2u);
    }
}

TEST(LinuxPerfDataSource, CountsTrafficSentOverAVethPairInANamespace)
{
    CNetworkNamespace a(CNetworkNamespace::UniqueName("a"));
    if (!a.IsValid())
        GTEST_SKIP() << "network namespace test skipped: " << a.Error();
    CNetworkNamespace b(CNetworkNamespace::UniqueName("b"));
    if (!b.IsValid())
        GTEST_SKIP() << "network namespace test skipped: " << b.Error();
    ASSERT_TRUE(
        a.Ip({ "link", "add", "cva", "type", "veth", "peer", "name", "cvb", "netns", b.Name() }));
    ASSERT_TRUE(a.Ip({ "addr", "add", "10.213.7.1/24", "dev", "cva" }));
    ASSERT_TRUE(b.Ip({ "addr", "add", "10.213.7.2/24", "dev", "cvb" }));
    ASSERT_TRUE(a.Ip({ "link", "set", "cva", "up" }));
    ASSERT_TRUE(b.Ip({ "link", "set", "cvb", "up" }));

    std::unique_ptr<CNetlinkPerfDataSource> sourceA, sourceB;
    std::optional<CUdpSocket> sender, receiver;
    std::vector<std::string> kernelA;
    ASSERT_TRUE(a.RunInside([&] {
        sourceA = std::make_unique<CNetlinkPerfDataSource>();
        sender.emplace("10.213.7.1", 0);
        kernelA = KernelInterfaces();
    }));
    ASSERT_TRUE(b.RunInside([&] {
        sourceB = std::make_unique<CNetlinkPerfDataSource>();
        receiver.emplace("10.213.7.2", 47111);
    }));

    // The namespace's own list: its loopback and its end of the pair, nothing of the host.
    EXPECT_EQ(kernelA, (std::vector<std::string> { "lo", "cva" }));
    Watch(*sourceA, "cva");
    const std::vector<Instance> before = Query(*sourceA);
    ASSERT_EQ(Names(before), kernelA);
    EXPECT_EQ(before[1].bandwidth, 10000000000ull) << "veth reports 10 Gbit/s";
    EXPECT_EQ(Counted(before), std::vector<std::string> { "cva" });

    CInterfaceCounter sent(*sourceA), received(*sourceB);
    ASSERT_EQ(sent.Names(), kernelA);
    ASSERT_EQ(received.Names(), (std::vector<std::string> { "lo", "cvb" }));
    sent.SetCounter(CInterfaceCounter::kBytesSent);
    received.SetCounter(CInterfaceCounter::kBytesReceived);
    EXPECT_EQ(sent.ReadDelta(1), 0.0);
    EXPECT_EQ(received.ReadDelta(1), 0.0);
    const std::vector<Instance> beforeB = Query(*sourceB);

    // Send, then wait until the far end has every datagram: by then both counters moved.
    constexpr int kDatagrams = 20;
    constexpr size_t kPayload = 1000;
    for (int i = 0; i < kDatagrams; ++i)
        ASSERT_TRUE(sender->Send(kPayload, "10.213.7.2", 47111));
    timeval timeout { 10, 0 };
    ::setsockopt(receiver->fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    char in[2048];
    for (int i = 0; i < kDatagrams; ++i)
        ASSERT_EQ(::recv(receiver->fd, in, sizeof in, 0), ssize_t(kPayload)) << "datagram " << i;

    const double bytes = double(kDatagrams * kPayload);
    const std::vector<Instance> after = Query(*sourceA);
    const std::vector<Instance> afterB = Query(*sourceB);
    ASSERT_EQ(after.size(), 2u);
    ASSERT_EQ(afterB.size(), 2u);
    EXPECT_GE(double(after[1].sent - before[1].sent), bytes);
    EXPECT_GE(double(afterB[1].received - beforeB[1].received), bytes);
    EXPECT_GE(sent.ReadDelta(1), bytes);
    EXPECT_GE(received.ReadDelta(1), bytes);
    // Nothing moved on the loopback.
    CInterfaceCounter loopback(*sourceA);
    loopback.SetCounter(CInterfaceCounter::kBytesReceived);
    EXPECT_EQ(loopback.ReadDelta(0), 0.0);
    EXPECT_EQ(loopback.ReadDelta(0), 0.0);
}

TEST(LinuxPerfDataSource, FollowsLinksAddedRenamedAndRemoved)
{
    CNetworkNamespace ns(CNetworkNamespace::UniqueName("links"));
    if (!ns.IsValid())
        GTEST_SKIP() << "network namespace test skipped: " << ns.Error();
    std::unique_ptr<CNetlinkPerfDataSource> source;
    ASSERT_TRUE(ns.RunInside([&] { source = std::make_unique<CNetlinkPerfDataSource>(); }));

    EXPECT_EQ(Names(Query(*source)), (std::vector<std::string> { "lo" }));
    // Nothing changes: the names are not asked again, the layout stays.
    const uint64_t dumps = source->LinkDumps();
    uint64_t layout = source->Layout();
    EXPECT_NE(layout, IPerfDataSource::kNoLayout);
    for (int i = 0; i < 5; ++i)
        Query(*source);
    EXPECT_EQ(source->LinkDumps(), dumps);
    EXPECT_EQ(source->Layout(), layout);
    // Every change of the links, or of the link watched, is another layout.
    const auto changed = [&] {
        const uint64_t before = std::exchange(layout, source->Layout());
        return layout != before;
    };

    ASSERT_TRUE(ns.Ip({ "link", "add", "cvx", "type", "ifb" }));
    ASSERT_TRUE(ns.Ip({ "link", "add", "cvz", "type", "ifb" }));
    EXPECT_EQ(Names(Query(*source)), (std::vector<std::string> { "lo", "cvx", "cvz" }));
    EXPECT_TRUE(changed());
    Watch(*source, "cvz");
    EXPECT_EQ(Counted(Query(*source)), std::vector<std::string> { "cvz" });
    EXPECT_TRUE(changed());
    ASSERT_TRUE(ns.Ip({ "link", "set", "cvx", "name", "cvy" }));
    EXPECT_EQ(Names(Query(*source)), (std::vector<std::string> { "lo", "cvy", "cvz" }));
    EXPECT_TRUE(changed());
    ASSERT_TRUE(ns.Ip({ "link", "del", "cvy" }));
    EXPECT_EQ(Names(Query(*source)), (std::vector<std::string> { "lo", "cvz" }));
    EXPECT_TRUE(changed());
    EXPECT_EQ(Counted(Query(*source)), std::vector<std::string> { "cvz" });
    EXPECT_FALSE(changed());
    std::vector<std::string> kernel;
    ASSERT_TRUE(ns.RunInside([&] { kernel = KernelInterfaces(); }));
    EXPECT_EQ(Names(Query(*source)), kernel);
}

TEST(LinuxPerfDataSource, ReadsTheCountersOfTheWatchedLinkOnly)
{
    CNetworkNamespace ns(CNetworkNamespace::UniqueName("watch"));
    if (!ns.IsValid())
        GTEST_SKIP() << "network namespace test skipped: " << ns.Error();
    ASSERT_TRUE(ns.Ip({ "link", "set", "lo", "up" }));
    ASSERT_TRUE(ns.Ip({ "link", "add", "cvp", "type", "ifb" }));
    ASSERT_TRUE(ns.Ip({ "link", "add", "cvq", "type", "ifb" }));
    std::unique_ptr<CNetlinkPerfDataSource> source;
    std::unique_ptr<CProcNetDevPerfDataSource> table;
    std::optional<CUdpSocket> socket;
    ASSERT_TRUE(ns.RunInside([&] {
        source = std::make_unique<CNetlinkPerfDataSource>();
        table = std::make_unique<CProcNetDevPerfDataSource>();
        socket.emplace("127.0.0.1", 47115);
    }));
    constexpr size_t kDatagram = 700;
    ASSERT_TRUE(socket->Send(kDatagram));

    // Every link is listed, none read until one is watched.
    const std::vector<std::string> all { "lo", "cvp", "cvq" };
    EXPECT_EQ(Names(Query(*source)), all);
    EXPECT_TRUE(Counted(Query(*source)).empty());

    // The watched link's counters are the kernel's own, read for each query; the names are
    // not asked again while no link changes.
    Watch(*source, "lo");
    Query(*source);
    const uint64_t dumps = source->LinkDumps();
    for (int i = 0; i < 3; ++i) {
        const std::vector<Instance> block = Query(*source);
        EXPECT_EQ(Names(block), all);
        ASSERT_EQ(Counted(block), std::vector<std::string> { "lo" });
        const std::vector<Instance> text = Query(*table);
        EXPECT_EQ(block[0].received, text[0].received);
        EXPECT_GE(block[0].received, kDatagram);
        EXPECT_EQ(block[0].sent, text[0].sent);
    }
    EXPECT_EQ(source->LinkDumps(), dumps);

    // Another link watched: its counters alone.
    Watch(*source, "cvq");
    EXPECT_EQ(Counted(Query(*source)), std::vector<std::string> { "cvq" });
    // The watched link deleted: gone from the block, nothing read, the query still answers.
    ASSERT_TRUE(ns.Ip({ "link", "del", "cvq" }));
    const std::vector<Instance> after = Query(*source);
    EXPECT_EQ(Names(after), (std::vector<std::string> { "lo", "cvp" }));
    EXPECT_TRUE(Counted(after).empty());
}

// The program's perf source and connection state share one client: neither may open sockets
// of its own, and neither may swallow a link event the other still has to hear of.
TEST(LinuxPerfDataSource, SharedClientTellsEveryReaderOfLinkChanges)
{
    CNetworkNamespace ns(CNetworkNamespace::UniqueName("shared"));
    if (!ns.IsValid())
        GTEST_SKIP() << "network namespace test skipped: " << ns.Error();
    const auto openFiles
        = [] { return std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {}); };
    std::unique_ptr<CNetlinkClient> client;
    ASSERT_TRUE(ns.RunInside([&] { client = std::make_unique<CNetlinkClient>(); }));
    ASSERT_TRUE(client->HasLinkEvents());
    const auto filesBefore = openFiles();
    CNetlinkPerfDataSource source(*client, {});
    CNetlinkConnectionState state(*client);
    EXPECT_EQ(openFiles(), filesBefore + 1) << "only the socket that asks drivers for link speeds";

    ASSERT_TRUE(ns.Ip({ "link", "set", "lo", "up" }));
    EXPECT_EQ(Names(Query(source)), (std::vector<std::string> { "lo" }));
    EXPECT_FALSE(state.IsConnected());

    // The connection state drains the events first; the perf source must still see the link.
    ASSERT_TRUE(ns.Ip({ "link", "add", "va", "type", "veth", "peer", "name", "vb" }));
    EXPECT_FALSE(state.IsConnected());
    EXPECT_EQ(Names(Query(source)).size(), 3u) << "lo and both veth ends";

    // And the other way round.
    ASSERT_TRUE(ns.Ip({ "link", "set", "va", "up" }));
    ASSERT_TRUE(ns.Ip({ "link", "set", "vb", "up" }));
    Query(source);
    bool connected = false;
    for (int i = 0; i < 100 && !connected; ++i) {
        connected = state.IsConnected();
        if (!connected)
            usleep(20000);
    }
    EXPECT_TRUE(connected);
}
