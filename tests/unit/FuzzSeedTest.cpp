// Writes the fuzz targets' seed corpora from the builders:
//   CORVANE_WRITE_SEEDS=tests/fuzz/corpus ./build/tests/corvane_tests --gtest_filter='FuzzSeeds.*'
#include "support/NetlinkDumpBuilder.h"
#include "support/PerfBlockBuilder.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

void Write(
    const std::filesystem::path& dir, const std::string& name, const std::vector<uint8_t>& bytes)
{
    std::filesystem::create_directories(dir);
    std::ofstream out(dir / name, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    ASSERT_TRUE(out.good()) << (dir / name);
}

} // namespace

TEST(FuzzSeeds, WritesTheSeedCorpora)
{
    const char* root = std::getenv("CORVANE_WRITE_SEEDS");
    if (!root)
        GTEST_SKIP() << "set CORVANE_WRITE_SEEDS to the corpus folder to write the seeds";
    const std::filesystem::path perf = std::filesystem::path(root) / "perfblock";
    Write(perf, "two-interfaces",
        BuildNetworkBlock({ { u"lo", 3267, 3267 }, { u"eth0", 805, 81 } }).bytes);
    Write(perf, "no-interfaces", BuildNetworkBlock({}).bytes);
    BuiltObject other;
    other.index = 238;
    other.instances = { { u"cpu0", {} } };
    BuiltObject network;
    network.counters = { { 264, 8 }, { 506, 16 }, { 264, 24 }, { 520, 32 } };
    network.instances
        = { { u"w\u00e4n\U0001F600", { { 264, 4294967000 } } }, { u"", {} }, { u"lo", {} } };
    Write(perf, "after-other-object", BuildPerfBlock({ other, network }).bytes);
    BuiltObject none;
    none.numInstances = -1;
    Write(perf, "minus-one-instances", BuildPerfBlock({ none }).bytes);
    BuiltBlock lying = BuildNetworkBlock({ { u"a", 1, 1 }, { u"b", 2, 2 } });
    lying.Put32(lying.instances[0][1], 0);
    Write(perf, "zero-instance-length", lying.bytes);

    const std::filesystem::path dump = std::filesystem::path(root) / "netlinkdump";
    Write(dump, "two-links",
        CNetlinkDumpBuilder()
            .Link(1, 1, "lo", 3267, 3267)
            .Link(1, 2, "eth0", 1ull << 40, 9)
            .Done(1)
            .bytes);
    Write(dump, "interrupted",
        CNetlinkDumpBuilder().Link(1, 1, "lo", 1, 1, NLM_F_MULTI | NLM_F_DUMP_INTR).Done(1).bytes);
    Write(dump, "error", CNetlinkDumpBuilder().Error(1).bytes);
    Write(dump, "stats32", CNetlinkDumpBuilder().Link(1, 3, "old", 5, 6, NLM_F_MULTI, false).bytes);

    const std::filesystem::path counters = std::filesystem::path(root) / "netlinkcounters";
    Write(counters, "stats", CNetlinkDumpBuilder().Stats(1, 1, 3267, 1ull << 33, 0).bytes);
    Write(counters, "link", CNetlinkDumpBuilder().Link(1, 1, "lo", 1ull << 40, 9, 0).bytes);
    Write(counters, "link32", CNetlinkDumpBuilder().Link(1, 1, "old", 5, 6, 0, false).bytes);
    Write(counters, "gone", CNetlinkDumpBuilder().Error(1, -ENODEV).bytes);
    Write(counters, "after-an-older-answer",
        CNetlinkDumpBuilder().Stats(0, 1, 1, 1, 0).Stats(1, 1, 2, 2, 0).bytes);

    const std::string table
        = "Inter-|   Receive                                                |  Transmit\n"
          " face |bytes    packets errs drop fifo frame compressed multicast|bytes    packets "
          "errs drop fifo colls carrier compressed\n"
          "    lo:    3267      29    0    0    0     0          0         0     3267      29    "
          "0    0    0     0       0          0\n"
          "  eth0:80529993 1587 0 0 0 0 0 0 81453 889 0 0 0 0 0 0\n";
    Write(std::filesystem::path(root) / "procnetdev", "table",
        std::vector<uint8_t>(table.begin(), table.end()));
}
