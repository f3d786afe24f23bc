#include "traffic/PerfBlock.h"
#include "fakes/FakePerfDataSource.h"
#include "support/PerfBlockBuilder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

// Answers "more data" for ever, leaving the size as a chosen function of what it was offered.
class CGreedySource : public IPerfDataSource {
public:
    explicit CGreedySource(uint32_t (*next)(uint32_t), int limit = INT32_MAX)
        : m_next(next)
        , m_limit(limit)
    {
    }
    long Query(uint8_t*, uint32_t& size) override
    {
        if (int(offered.size()) == m_limit)
            return 5; // enough seen: end the loop
        offered.push_back(size);
        size = m_next(size);
        return kPerfMoreData;
    }
    void Watch(uint32_t) override { }
    uint64_t Layout() const override { return kNoLayout; }
    std::vector<uint32_t> offered;

private:
    uint32_t (*m_next)(uint32_t);
    int m_limit;
};

std::vector<uint8_t> BlockOfSize(size_t size)
{
    std::vector<uint8_t> block = BuildNetworkBlock({ { u"eth0", 1, 2 } }).bytes;
    block.resize(size, 0);
    return block;
}

std::string Name(const CPerfBlock& block, CPerfBlock::Pos instance)
{
    char out[CPerfBlock::kNameCapacity + 1];
    size_t length = 0;
    if (!block.InstanceName(instance, out, length))
        return "<none>";
    return std::string(out, length);
}

} // namespace

TEST(PerfBlockQuery, GrowsTheBufferByOneStepPerMoreData)
{
    struct Case {
        size_t blockSize;
        std::vector<uint32_t> offered;
    } cases[] = {
        { 200, { 40960 } },
        { 40960, { 40960 } },
        { 40961, { 40960, 81920 } },
        { 100000, { 40960, 81920, 122880 } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.blockSize);
        CFakePerfDataSource source;
        source.block = BlockOfSize(c.blockSize);
        std::optional<CPerfBlock> block = CPerfBlock::QueryPerfData(source);
        ASSERT_TRUE(block);
        EXPECT_EQ(block->Size(), c.blockSize);
        EXPECT_EQ(source.offered, c.offered);
        EXPECT_EQ(std::vector<uint8_t>(block->Data(), block->Data() + block->Size()), source.block);
    }
}

TEST(PerfBlockQuery, GrowsFromTheSizeTheSourceAskedFor)
{
    CGreedySource source([](uint32_t) { return 100000u; }, 2);
    CPerfBlock::QueryPerfData(source);
    ASSERT_GE(source.offered.size(), 2u);
    EXPECT_EQ(source.offered[0], 40960u);
    EXPECT_EQ(source.offered[1], 140960u);
}

TEST(PerfBlockQuery, ReportsAnErrorAfterOneQuery)
{
    CFakePerfDataSource source;
    source.block = BlockOfSize(100);
    source.error = 2;
    EXPECT_FALSE(CPerfBlock::QueryPerfData(source));
    EXPECT_EQ(source.queries, 1);
}

TEST(PerfBlockQuery, GivesUpAtTheCapInsteadOfGrowingForEver)
{
    struct Case {
        const char* what;
        uint32_t (*next)(uint32_t);
    } cases[] = {
        { "size left as offered", [](uint32_t s) { return s; } },
        { "size set to 0", [](uint32_t) { return 0u; } },
        { "size near 2^32", [](uint32_t) { return UINT32_MAX - 10; } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CGreedySource source(c.next);
        EXPECT_FALSE(CPerfBlock::QueryPerfData(source));
        ASSERT_FALSE(source.offered.empty());
        EXPECT_LE(source.offered.size(), CPerfBlock::kMaxSize / CPerfBlock::kGrowthStep + 1);
        for (uint32_t size : source.offered)
            EXPECT_LE(size, CPerfBlock::kMaxSize);
    }
}

TEST(PerfBlockQuery, HoldsASourceToTheBufferItWasGiven)
{
    // A source that claims more bytes than the buffer holds must not widen the block.
    class CLiar : public IPerfDataSource {
        long Query(uint8_t* buffer, uint32_t& size) override
        {
            std::fill(buffer, buffer + size, uint8_t(0));
            size = 1000000;
            return kPerfSuccess;
        }
        void Watch(uint32_t) override { }
        uint64_t Layout() const override { return kNoLayout; }
    } source;
    std::optional<CPerfBlock> block = CPerfBlock::QueryPerfData(source);
    ASSERT_TRUE(block);
    EXPECT_EQ(block->Size(), CPerfBlock::kInitialSize);
}

TEST(PerfBlockWalk, FindsObject510AfterOtherObjects)
{
    BuiltObject other;
    other.index = 238;
    other.counters = { { 6, 8 }, { 142, 16 } };
    other.instances
        = { { u"cpu0", { { 6, 1 } } }, { u"cpu1", { { 6, 2 } } }, { u"cpu2", { { 6, 3 } } } };
    BuiltObject network;
    network.instances = { { u"lo", {} }, { u"eth0", {} } };
    BuiltObject empty;
    empty.index = 2;
    empty.counters = {};
    const BuiltBlock built = BuildPerfBlock({ other, empty, network });
    const CPerfBlock block = CPerfBlock::View(built.bytes.data(), built.bytes.size());

    std::vector<CPerfBlock::Pos> found;
    block.ForEachNetworkObject([&](CPerfBlock::Pos object) {
        found.push_back(object);
        return false;
    });
    ASSERT_EQ(found, std::vector<CPerfBlock::Pos> { built.objects[2] });
    std::vector<std::string> names;
    block.ForEachInstance(found[0], [&](CPerfBlock::Pos instance) {
        names.push_back(Name(block, instance));
        return false;
    });
    EXPECT_EQ(names, (std::vector<std::string> { "lo", "eth0" }));
}

TEST(PerfBlockWalk, TheLastOfTwoDefinitionsWithOneIndexWins)
{
    BuiltObject network;
    network.counters = { { 264, 8 }, { 506, 16 }, { 264, 24 }, { 520, 32 } };
    network.instances = { { u"eth0", {} } };
    const BuiltBlock built = BuildPerfBlock({ network });
    const CPerfBlock block = CPerfBlock::View(built.bytes.data(), built.bytes.size());
    const CPerfBlock::Pos object = built.objects[0];
    EXPECT_EQ(block.FindCounterOffset(object, 264), 24);
    EXPECT_EQ(block.FindCounterOffset(object, 506), 16);
    EXPECT_EQ(block.FindCounterOffset(object, 388), -1);
}

TEST(PerfBlockWalk, ReadsTheLowHalfOfAn8ByteCounter)
{
    BuiltObject network;
    network.instances = { { u"eth0", { { 264, 0x500000007ull } } } };
    const BuiltBlock built = BuildPerfBlock({ network });
    const CPerfBlock block = CPerfBlock::View(built.bytes.data(), built.bytes.size());
    uint32_t value = 0;
    ASSERT_TRUE(block.CounterValue(built.instances[0][0], 8, value));
    EXPECT_EQ(value, 7u);
}

TEST(PerfBlockWalk, KeepsCounterReadsInsideTheCounterBlock)
{
    BuiltObject network;
    network.instances = { { u"eth0", { { 520, 9 } } }, { u"eth1", { { 264, 11 } } } };
    const BuiltBlock built = BuildPerfBlock({ network });
    const CPerfBlock block = CPerfBlock::View(built.bytes.data(), built.bytes.size());
    const CPerfBlock::Pos first = built.instances[0][0];
    struct Case {
        int64_t offset;
        bool readable;
    } cases[] = { { 0, true }, { 32, true }, { 36, true }, { 37, false }, { 40, false },
        { 48, false }, { -4, false }, { INT32_MAX, false }, { UINT32_MAX, false } };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.offset);
        uint32_t value = 12345;
        EXPECT_EQ(block.CounterValue(first, c.offset, value), c.readable);
    }
}

namespace {

// Each case damages a good block of three instances and says how far the walk gets.
struct LieCase {
    const char* name;
    void (*damage)(BuiltBlock&);
    std::vector<std::string> names;
};

class PerfBlockLie : public ::testing::TestWithParam<LieCase> { };

} // namespace

TEST_P(PerfBlockLie, EndsTheWalkWhereTheBlockStopsMakingSense)
{
    const LieCase& c = GetParam();
    BuiltBlock built = BuildNetworkBlock({ { u"a", 1, 1 }, { u"b", 2, 2 }, { u"c", 3, 3 } });
    c.damage(built);
    const CPerfBlock block = CPerfBlock::View(built.bytes.data(), built.bytes.size());
    std::vector<std::string> names;
    block.ForEachNetworkObject([&](CPerfBlock::Pos o) {
        block.ForEachInstance(o, [&](CPerfBlock::Pos instance) {
            names.push_back(Name(block, instance));
            return names.back() == "<none>";
        });
        return false;
    });
    EXPECT_EQ(names, c.names);
}

INSTANTIATE_TEST_SUITE_P(Cases, PerfBlockLie,
    ::testing::Values(LieCase { "intact", [](BuiltBlock&) {}, { "a", "b", "c" } },
        LieCase { "block_header_length_past_the_end",
            [](BuiltBlock& b) { b.Put32(24, 0x7FFFFFF0); }, {} },
        LieCase { "no_object_types", [](BuiltBlock& b) { b.Put32(28, 0); }, {} },
        LieCase { "negative_object_types", [](BuiltBlock& b) { b.Put32(28, uint32_t(-5)); }, {} },
        LieCase { "object_header_past_the_end",
            [](BuiltBlock& b) { b.Put32(b.objects[0] + 4, 0xFFFFFF00); }, {} },
        LieCase { "instance_count_larger_than_the_block_holds",
            [](BuiltBlock& b) { b.Put32(b.objects[0] + 40, 0x7FFFFFFF); }, { "a", "b", "c" } },
        LieCase { "instance_length_0", [](BuiltBlock& b) { b.Put32(b.instances[0][1], 0); },
            { "a", "b" } },
        LieCase { "instance_length_past_the_end",
            [](BuiltBlock& b) { b.Put32(b.instances[0][1], 0xFFFFFFF0); }, { "a", "b" } },
        LieCase { "counter_block_length_0",
            [](BuiltBlock& b) {
                const uint32_t s = b.instances[0][1];
                b.Put32(s + b.bytes[s], 0);
            },
            { "a", "b" } },
        LieCase { "counter_block_length_past_the_end",
            [](BuiltBlock& b) {
                const uint32_t s = b.instances[0][1];
                b.Put32(s + b.bytes[s], 0x80000000);
            },
            { "a", "b" } },
        LieCase { "name_offset_past_the_end",
            [](BuiltBlock& b) { b.Put32(b.instances[0][1] + 16, 0x10000000); }, { "a", "<none>" } },
        LieCase { "name_offset_near_2_to_32",
            [](BuiltBlock& b) { b.Put32(b.instances[0][1] + 16, 0xFFFFFFFF); },
            { "a", "<none>" } }),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PerfBlockWalk, EndsWhenAnObjectOrCounterLengthWouldNotAdvance)
{
    BuiltObject other;
    other.index = 4;
    BuiltObject network;
    network.instances = { { u"eth0", {} } };
    BuiltBlock built = BuildPerfBlock({ other, network });
    built.Put32(28, 1000000); // far more objects than there are
    built.Put32(built.objects[0], 0); // and the first one would never move on
    const CPerfBlock block = CPerfBlock::View(built.bytes.data(), built.bytes.size());
    int visited = 0;
    block.ForEachNetworkObject([&](CPerfBlock::Pos) {
        ++visited;
        return false;
    });
    EXPECT_EQ(visited, 0);

    BuiltBlock counters = BuildNetworkBlock({ { u"eth0", 1, 2 } });
    counters.Put32(counters.objects[0] + 32, 0x7FFFFFFF);
    counters.Put32(counters.counters[0][1], 0);
    const CPerfBlock withZero = CPerfBlock::View(counters.bytes.data(), counters.bytes.size());
    EXPECT_EQ(withZero.FindCounterOffset(counters.objects[0], 264), 8);
    EXPECT_EQ(withZero.FindCounterOffset(counters.objects[0], 520), -1);
}

TEST(PerfBlockWalk, RejectsANameWithoutItsTerminator)
{
    BuiltBlock built = BuildNetworkBlock({ { u"eth0", 1, 2 } });
    const uint32_t instance = built.instances[0][0];
    // Cut the block in the middle of the name: its NUL never comes.
    built.bytes.resize(instance + 24 + 6);
    const CPerfBlock block = CPerfBlock::View(built.bytes.data(), built.bytes.size());
    char out[CPerfBlock::kNameCapacity + 1];
    size_t length = 99;
    EXPECT_FALSE(block.InstanceName(instance, out, length));
    EXPECT_EQ(length, 0u);
    EXPECT_STREQ(out, "");
}

TEST(PerfBlockWalk, ToleratesBlocksTooShortForTheirHeader)
{
    for (size_t size : { size_t(0), size_t(4), size_t(31), size_t(88) }) {
        SCOPED_TRACE(size);
        std::vector<uint8_t> bytes = BuildNetworkBlock({ { u"eth0", 1, 2 } }).bytes;
        bytes.resize(size);
        const CPerfBlock block = CPerfBlock::View(bytes.data(), bytes.size());
        int visited = 0;
        block.ForEachNetworkObject([&](CPerfBlock::Pos) {
            ++visited;
            return false;
        });
        EXPECT_EQ(visited, 0);
    }
    const CPerfBlock none = CPerfBlock::View(nullptr, 100);
    EXPECT_EQ(none.Size(), 0u);
    EXPECT_EQ(none.FirstObject(), CPerfBlock::kNone);
}

namespace {

struct NameCase {
    const char* name;
    std::u16string wide;
    std::string utf8;
};

class PerfBlockName : public ::testing::TestWithParam<NameCase> { };

std::u16string A(size_t n)
{
    return std::u16string(n, u'a');
}

} // namespace

TEST_P(PerfBlockName, ConvertsUtf16ToUtf8AndCutsAtAWholeCharacter)
{
    const NameCase& c = GetParam();
    std::vector<uint8_t> wide;
    for (char16_t u : c.wide) {
        wide.push_back(uint8_t(u));
        wide.push_back(uint8_t(u >> 8));
    }
    wide.push_back(0);
    wide.push_back(0);
    char out[CPerfBlock::kNameCapacity + 1];
    const size_t length
        = CPerfBlock::WideToAnsi(wide.data(), c.wide.size() + 1, out, CPerfBlock::kNameCapacity);
    EXPECT_EQ(std::string(out, length), c.utf8);
    EXPECT_EQ(out[length], '\0');

    // The same through a block: the instance name reads back the same way.
    BuiltObject network;
    network.instances = { { c.wide, {} } };
    const BuiltBlock built = BuildPerfBlock({ network });
    const CPerfBlock block = CPerfBlock::View(built.bytes.data(), built.bytes.size());
    EXPECT_EQ(Name(block, built.instances[0][0]), c.utf8);
}

INSTANTIATE_TEST_SUITE_P(Cases, PerfBlockName,
    ::testing::Values(NameCase { "ascii", u"eth0", "eth0" }, NameCase { "empty", u"", "" },
        NameCase { "two_byte", u"n\u00e4t", "n\xc3\xa4t" },
        NameCase { "three_byte", u"\u20ac1",
            "\xe2\x82\xac"
            "1" },
        NameCase { "surrogate_pair", u"w\U0001F600", "w\xf0\x9f\x98\x80" },
        NameCase { "unpaired_high_surrogate", std::u16string { u'x', char16_t(0xD800), u'y' },
            "x\xef\xbf\xbdy" },
        NameCase { "unpaired_low_surrogate", std::u16string { char16_t(0xDC00) }, "\xef\xbf\xbd" },
        NameCase {
            "high_surrogate_last", std::u16string { u'z', char16_t(0xDBFF) }, "z\xef\xbf\xbd" },
        NameCase { "254_bytes_fit", std::u16string(254, u'a'), std::string(254, 'a') },
        NameCase { "the_255th_byte_does_not", std::u16string(300, u'a'), std::string(254, 'a') },
        NameCase {
            "two_byte_character_fits", A(252) + u"\u00e4", std::string(252, 'a') + "\xc3\xa4" },
        NameCase { "two_byte_character_cut", A(253) + u"\u00e4" + u"b", std::string(253, 'a') },
        NameCase { "three_byte_character_cut", A(252) + u"\u20ac", std::string(252, 'a') },
        NameCase { "four_byte_character_fits", A(250) + u"\U0001F600",
            std::string(250, 'a') + "\xf0\x9f\x98\x80" },
        NameCase { "four_byte_character_cut", A(251) + u"\U0001F600", std::string(251, 'a') }),
    [](const auto& info) { return std::string(info.param.name); });
