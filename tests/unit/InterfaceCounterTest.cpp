#include "traffic/InterfaceCounter.h"
#include "fakes/FakePerfDataSource.h"
#include "support/PerfBlockBuilder.h"
#include "traffic/PerfBlock.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

std::vector<std::string> Listed(const CInterfaceCounter& counter)
{
    std::vector<std::string> names;
    for (int i = 0; i <= counter.GetLastIndex(); ++i) {
        std::string name;
        EXPECT_TRUE(counter.GetName(name, i));
        names.push_back(name);
    }
    return names;
}

BuiltObject Network(std::vector<BuiltInstance> instances)
{
    BuiltObject o;
    o.instances = std::move(instances);
    return o;
}

// A block whose interfaces have received byte counts only, in counters of that width.
std::vector<uint8_t> Received(
    std::vector<std::pair<std::u16string, uint64_t>> interfaces, uint32_t counterSize = 8)
{
    std::vector<BuiltInterface> list;
    for (auto& [name, received] : interfaces)
        list.push_back({ name, received, 0 });
    return BuildNetworkBlock(list, counterSize).bytes;
}

} // namespace

TEST(InterfaceCounterEnumerate, ListsTheInstancesOfObject510)
{
    BuiltObject other;
    other.index = 238;
    other.instances = { { u"cpu0", {} } };
    BuiltObject noBandwidth = Network({ { u"eth0", {} } });
    noBandwidth.counters = { { 264, 8 }, { 506, 16 }, { 388, 24 } };
    BuiltObject minusOne = Network({});
    minusOne.numInstances = -1;
    BuiltObject zero = Network({ { u"ghost", {} } });
    zero.numInstances = 0;

    struct Case {
        const char* what;
        std::vector<BuiltObject> objects;
        std::vector<std::string> names;
    } cases[] = {
        { "after other objects", { other, other, Network({ { u"lo", {} }, { u"eth0", {} } }) },
            { "lo", "eth0" } },
        { "no object 510", { other }, {} },
        { "no objects at all", {}, {} },
        { "-1 instances", { minusOne }, {} },
        { "0 instances", { zero }, {} },
        { "without counter 520", { noBandwidth }, {} },
        { "the listing ends at an object 510 without counter 520",
            { Network({ { u"a", {} } }), noBandwidth, Network({ { u"b", {} } }) }, { "a" } },
        { "a second object 510 adds to the list",
            { Network({ { u"a", {} } }), other, Network({ { u"b", {} } }) }, { "a", "b" } },
        { "duplicate and empty names stay",
            { Network({ { u"eth0", {} }, { u"", {} }, { u"eth0", {} }, { u"", {} } }) },
            { "eth0", "", "eth0", "" } },
        { "non-ASCII names in UTF-8", { Network({ { u"w\u00e4n\U0001F600", {} } }) },
            { "w\xc3\xa4n\xf0\x9f\x98\x80" } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CFakePerfDataSource source;
        source.block = BuildPerfBlock(c.objects).bytes;
        CInterfaceCounter counter(source);
        EXPECT_EQ(source.queries, 1);
        EXPECT_EQ(Listed(counter), c.names);
        EXPECT_EQ(counter.GetLastIndex(), int(c.names.size()) - 1);
        EXPECT_EQ(counter.Enumerate(), 1);
        EXPECT_EQ(Listed(counter), c.names);
    }
}

TEST(InterfaceCounterEnumerate, KeepsTheNamesGatheredBeforeABlockThatLies)
{
    const BuiltBlock good = BuildNetworkBlock({ { u"a", 1, 1 }, { u"b", 2, 2 }, { u"c", 3, 3 } });
    struct Case {
        const char* what;
        std::function<void(BuiltBlock&)> damage;
        std::vector<std::string> names;
    } cases[] = {
        { "name past the end", [](BuiltBlock& b) { b.Put32(b.instances[0][1] + 16, 0x40000000); },
            { "a" } },
        { "name without terminator",
            [](BuiltBlock& b) { b.bytes.resize(b.instances[0][2] + 24 + 2); }, { "a", "b" } },
        { "instance length 0", [](BuiltBlock& b) { b.Put32(b.instances[0][0], 0); }, { "a" } },
        { "counter block length 0",
            [](BuiltBlock& b) {
                const uint32_t s = b.instances[0][0];
                b.Put32(s + b.bytes[s], 0);
            },
            { "a" } },
        { "instance count far too large",
            [](BuiltBlock& b) { b.Put32(b.objects[0] + 40, 0x7FFFFFFF); }, { "a", "b", "c" } },
        { "counter count far too large",
            [](BuiltBlock& b) { b.Put32(b.objects[0] + 32, 0x7FFFFFFF); }, { "a", "b", "c" } },
        { "block cut after the first instance",
            [](BuiltBlock& b) { b.bytes.resize(b.instances[0][1] + 4); }, { "a" } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        BuiltBlock built = good;
        c.damage(built);
        CFakePerfDataSource source;
        source.block = built.bytes;
        CInterfaceCounter counter(source);
        EXPECT_EQ(counter.Enumerate(), 1);
        EXPECT_EQ(Listed(counter), c.names);
    }
}

TEST(InterfaceCounterEnumerate, FailsWhenTheQueryFails)
{
    CFakePerfDataSource source;
    source.block = Received({ { u"eth0", 1 } });
    CInterfaceCounter counter(source);
    ASSERT_EQ(counter.GetLastIndex(), 0);
    source.error = 5;
    EXPECT_EQ(counter.Enumerate(), 0);
    EXPECT_EQ(counter.GetLastIndex(), -1);
    std::string name = "untouched";
    EXPECT_FALSE(counter.GetName(name, 0));
    EXPECT_FALSE(counter.GetName(name, -1));
    EXPECT_EQ(name, "untouched");
}

TEST(InterfaceCounterEnumerate, ReadsBlocksLargerThanTheFirstBuffer)
{
    std::vector<BuiltInterface> many;
    for (int i = 0; i < 1000; ++i) {
        const std::string n = "interface" + std::to_string(i);
        many.push_back({ std::u16string(n.begin(), n.end()), uint64_t(i), 0 });
    }
    CFakePerfDataSource source;
    source.block = BuildNetworkBlock(many).bytes;
    ASSERT_GT(source.block.size(), 81920u);
    ASSERT_LE(source.block.size(), 122880u);
    CInterfaceCounter counter(source);
    EXPECT_EQ(source.offered, (std::vector<uint32_t> { 40960, 81920, 122880 }));
    ASSERT_EQ(counter.GetLastIndex(), 999);
    std::string name;
    ASSERT_TRUE(counter.GetName(name, 999));
    EXPECT_EQ(name, "interface999");

    counter.SetCounter(CInterfaceCounter::kBytesReceived);
    EXPECT_EQ(counter.ReadDelta(999), 0.0);
    many[999].received += 4096;
    source.block = BuildNetworkBlock(many).bytes;
    source.offered.clear();
    EXPECT_EQ(counter.ReadDelta(999), 4096.0);
    EXPECT_EQ(source.offered, (std::vector<uint32_t> { 40960, 81920, 122880 }));
}

// One step of a read sequence: what the source serves, then the read and its result.
struct Read {
    std::function<void(CFakePerfDataSource&, CInterfaceCounter&)> serve;
    int index;
    double result;
};

std::function<void(CFakePerfDataSource&, CInterfaceCounter&)> Serve(std::vector<uint8_t> block)
{
    return [block](CFakePerfDataSource& s, CInterfaceCounter&) {
        s.error = 0;
        s.block = block;
    };
}

std::function<void(CFakePerfDataSource&, CInterfaceCounter&)> Fail()
{
    return [](CFakePerfDataSource& s, CInterfaceCounter&) { s.error = 1009; };
}

// Switches the counter and serves the block of the step before again.
std::function<void(CFakePerfDataSource&, CInterfaceCounter&)> Counter(int index)
{
    return [index](CFakePerfDataSource&, CInterfaceCounter& c) { c.SetCounter(index); };
}

std::vector<uint8_t> WithoutCounter264(uint64_t received)
{
    BuiltObject o = Network({ { u"lo", {} }, { u"eth0", { { 264, received } } } });
    o.counters = { { 506, 16 }, { 388, 24 }, { 520, 32 } };
    return BuildPerfBlock({ o }).bytes;
}

std::vector<uint8_t> WithCounterOffset(uint32_t offset, uint64_t received)
{
    BuiltObject o = Network({ { u"lo", {} }, { u"eth0", { { 264, received } } } });
    o.counters = { { 264, offset }, { 520, 32 } };
    return BuildPerfBlock({ o }).bytes;
}

std::vector<uint8_t> WithBadFirstName(uint64_t received)
{
    BuiltBlock b = BuildNetworkBlock({ { u"lo", 0, 0 }, { u"eth0", received, 0 } });
    b.Put32(b.instances[0][0] + 16, 0x7FFFFFF0);
    return b.bytes;
}

TEST(InterfaceCounterReadDelta, FollowsItsResultsTable)
{
    // The reader lists lo (0) and eth0 (1) and reads bytes received.
    const auto eth = [](uint64_t v) { return Serve(Received({ { u"lo", 7 }, { u"eth0", v } })); };
    const auto lo = [](uint64_t v) { return Serve(Received({ { u"lo", v }, { u"eth0", 7 } })); };
    const auto eth32 = [](uint64_t v) {
        return Serve(Received({ { u"lo", 7 }, { u"eth0", v } }, 4));
    };
    struct Case {
        const char* what;
        std::vector<Read> reads;
    } cases[] = {
        { "first read primes, then the growth",
            { { eth(1000), 1, 0.0 }, { eth(5096), 1, 4096.0 }, { eth(5096), 1, 0.0 } } },
        { "32-bit counter wraps past 2^32",
            { { eth32(4294967000), 1, 0.0 }, { eth32(600), 1, 896.0 } } },
        { "32-bit difference of 2^31 counts as going down",
            { { eth32(0), 1, 0.0 }, { eth32(0x80000000), 1, 0.0 },
                { eth32(0x80000010), 1, 16.0 } } },
        { "32-bit just below 2^31 counts as growth",
            { { eth32(0), 1, 0.0 }, { eth32(0x7FFFFFFF), 1, 2147483647.0 } } },
        { "64-bit counter across 2^32",
            { { eth(0xFFFFFF00), 1, 0.0 }, { eth(0x100000100), 1, 512.0 } } },
        { "64-bit counter grows by 2^31 and more in one read",
            { { eth(0x10000), 1, 0.0 }, { eth(0x10000 + 3000000000), 1, 3000000000.0 } } },
        { "64-bit counter moves only its high half",
            { { eth(0x100000000), 1, 0.0 }, { eth(0x200000000), 1, 4294967296.0 } } },
        { "64-bit counter reset from 2.46 GB: no spike, measure from the new value",
            { { eth(2460000000), 1, 0.0 }, { eth(1000), 1, 0.0 }, { eth(1500), 1, 500.0 } } },
        { "counter went down: 0.0 and measure from the new value",
            { { eth(5000), 1, 0.0 }, { eth(1000), 1, 0.0 }, { eth(1500), 1, 500.0 } } },
        { "unknown index: 0.0, remembered value kept",
            { { eth(100), 1, 0.0 }, { eth(900), 2, 0.0 }, { eth(900), -1, 0.0 },
                { eth(300), 1, 200.0 } } },
        { "query failure: 1.0, remembered value kept",
            { { eth(100), 1, 0.0 }, { Fail(), 1, 1.0 }, { eth(250), 1, 150.0 } } },
        { "failure before the first read", { { Fail(), 1, 1.0 }, { eth(250), 1, 0.0 } } },
        { "missing counter: 1.0, remembered value kept",
            { { eth(100), 1, 0.0 }, { Serve(WithoutCounter264(180)), 1, 1.0 },
                { eth(300), 1, 200.0 } } },
        { "counter offset outside the counter block: 0.0, value kept",
            { { eth(100), 1, 0.0 }, { Serve(WithCounterOffset(37, 9999)), 1, 0.0 },
                { Serve(WithCounterOffset(40, 9999)), 1, 0.0 },
                { Serve(WithCounterOffset(0x7FFFFFFF, 9999)), 1, 0.0 },
                { Serve(WithCounterOffset(0xFFFFFFFC, 9999)), 1, 0.0 },
                { Serve(WithCounterOffset(0xFFFFFFFF, 9999)), 1, 0.0 }, { eth(130), 1, 30.0 } } },
        { "an unreadable name before the wanted one: 0.0",
            { { eth(100), 1, 0.0 }, { Serve(WithBadFirstName(500)), 1, 0.0 },
                { eth(110), 1, 10.0 } } },
        { "interface disappears and reappears",
            { { eth(100), 1, 0.0 }, { Serve(Received({ { u"lo", 7 } })), 1, 0.0 },
                { Serve(Received({ { u"lo", 7 }, { u"eth1", 9000 } })), 1, 0.0 },
                { Serve(Received({ { u"eth0", 700 }, { u"lo", 7 } })), 1, 600.0 } } },
        { "no object 510 at all",
            { { eth(100), 1, 0.0 }, { Serve(BuildPerfBlock({}).bytes), 1, 0.0 },
                { eth(150), 1, 50.0 } } },
        { "alternating indices only prime",
            { { eth(100), 1, 0.0 }, { lo(100), 0, 0.0 }, { eth(200), 1, 0.0 },
                { lo(300), 0, 0.0 } } },
        { "the first of two same-named instances is read",
            { { Serve(Received({ { u"eth0", 10 }, { u"eth0", 5000 } })), 1, 0.0 },
                { Serve(Received({ { u"eth0", 30 }, { u"eth0", 9000 } })), 1, 20.0 } } },
        { "SetCounter between reads subtracts the old counter from the new one",
            { { Serve(BuildNetworkBlock({ { u"lo", 0, 0 }, { u"eth0", 100, 350 } }).bytes), 1,
                  0.0 },
                { Counter(CInterfaceCounter::kBytesSent), 1, 250.0 },
                { Counter(CInterfaceCounter::kBytesTotal), 1, 100.0 } } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CFakePerfDataSource source;
        source.block = Received({ { u"lo", 0 }, { u"eth0", 0 } });
        CInterfaceCounter counter(source);
        ASSERT_EQ(counter.GetLastIndex(), 1);
        counter.SetCounter(CInterfaceCounter::kBytesReceived);
        int step = 0;
        for (const Read& r : c.reads) {
            SCOPED_TRACE(step++);
            r.serve(source, counter);
            EXPECT_EQ(counter.ReadDelta(r.index), r.result);
        }
    }
}

TEST(InterfaceCounterReadDelta, AsksNothingForAnIndexOutsideTheList)
{
    CFakePerfDataSource source;
    source.block = Received({ { u"eth0", 5 } });
    CInterfaceCounter counter(source);
    const int queries = source.queries;
    for (int index : { -1, 1, 2, 1000000 })
        EXPECT_EQ(counter.ReadDelta(index), 0.0);
    EXPECT_EQ(source.queries, queries);
    EXPECT_EQ(counter.ReadDelta(0), 0.0);
    EXPECT_EQ(source.queries, queries + 1);
}

TEST(InterfaceCounterReadDelta, FailsAtTheGrowthCap)
{
    CFakePerfDataSource source;
    source.block = Received({ { u"eth0", 5 } });
    CInterfaceCounter counter(source);
    EXPECT_EQ(counter.ReadDelta(0), 0.0);
    // A source that can never be satisfied: more data on every query.
    source.block.resize(size_t(CPerfBlock::kMaxSize) + 1);
    EXPECT_EQ(counter.ReadDelta(0), 1.0);
    EXPECT_EQ(source.offered.back(),
        CPerfBlock::kMaxSize / CPerfBlock::kGrowthStep * CPerfBlock::kGrowthStep);
}

TEST(InterfaceCounterReadDelta, CountsTheDefaultTotalCounter)
{
    CFakePerfDataSource source;
    source.block = BuildNetworkBlock({ { u"eth0", 100, 50 } }).bytes;
    CInterfaceCounter counter(source);
    EXPECT_EQ(counter.GetCounter(), CInterfaceCounter::kBytesTotal);
    EXPECT_EQ(counter.ReadDelta(0), 0.0);
    source.block = BuildNetworkBlock({ { u"eth0", 130, 70 } }).bytes;
    EXPECT_EQ(counter.ReadDelta(0), 50.0);
}

TEST(InterfaceCounterReadDelta, HasTheSourceReadAnInterfaceFoundWithoutCounters)
{
    // A source that reads the watched interface's counters only: lo is 1, eth0 is 2.
    const auto block = [](uint32_t watched, uint64_t eth) {
        return BuildNetworkBlock(
            { { u"lo", 7, 0, 1, watched == 1 }, { u"eth0", eth, 0, 2, watched == 2 } })
            .bytes;
    };
    CFakePerfDataSource source;
    source.block = block(0, 0);
    source.whenWatched[1] = block(1, 0);
    source.whenWatched[2] = block(2, 1000);
    CInterfaceCounter counter(source);
    counter.SetCounter(CInterfaceCounter::kBytesReceived);
    source.calls.clear();
    EXPECT_EQ(counter.ReadDelta(1), 0.0);
    EXPECT_EQ(source.calls, (std::vector<std::string> { "query", "watch 2", "query" }));
    source.whenWatched[2] = block(2, 5096);
    EXPECT_EQ(counter.ReadDelta(1), 4096.0);

    // Another reader had lo watched meanwhile: eth0 is read again, its growth since this
    // reader's last read counted.
    source.Watch(1);
    source.whenWatched[2] = block(2, 6096);
    source.calls.clear();
    EXPECT_EQ(counter.ReadDelta(1), 1000.0);
    EXPECT_EQ(source.calls, (std::vector<std::string> { "query", "watch 2", "query" }));

    // Still no counters once watched: 0.0, the remembered value kept.
    source.whenWatched.erase(2);
    EXPECT_EQ(counter.ReadDelta(1), 0.0);
    source.whenWatched[2] = block(2, 6196);
    EXPECT_EQ(counter.ReadDelta(1), 100.0);
}

TEST(InterfaceCounterReadDelta, FindsTheInterfaceAgainWhenTheLayoutChanges)
{
    CFakePerfDataSource source;
    const auto serve = [&](uint64_t layout, std::vector<BuiltInterface> links) {
        source.layout = layout;
        source.block = BuildNetworkBlock(links).bytes;
    };
    serve(1, { { u"lo", 50, 50, 1 }, { u"eth0", 1000, 3300, 2 } });
    CInterfaceCounter counter(source);
    counter.SetCounter(CInterfaceCounter::kBytesReceived);
    EXPECT_EQ(counter.ReadDelta(1), 0.0);
    serve(1, { { u"lo", 50, 50, 1 }, { u"eth0", 3000, 3300, 2 } });
    EXPECT_EQ(counter.ReadDelta(1), 2000.0);
    // Another counter in a block of the same layout: its own offset.
    counter.SetCounter(CInterfaceCounter::kBytesSent);
    EXPECT_EQ(counter.ReadDelta(1), 300.0);
    // A link added before it: another layout, the interface found at its new place.
    serve(2, { { u"lo", 50, 50, 1 }, { u"veth0", 9999, 9999, 3 }, { u"eth0", 3000, 3400, 2 } });
    EXPECT_EQ(counter.ReadDelta(1), 100.0);
    // Another interface in a block of the same layout: its own place.
    EXPECT_EQ(counter.ReadDelta(0), 0.0);
    serve(2, { { u"lo", 50, 80, 1 }, { u"veth0", 9999, 9999, 3 }, { u"eth0", 3000, 3400, 2 } });
    EXPECT_EQ(counter.ReadDelta(0), 30.0);
}
