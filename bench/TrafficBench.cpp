// Counter reads as the traffic window makes them, once per 200 ms tick, and as the graphs' own
// readers make them. The Linux sources read whatever network namespace the benchmark runs
// in; run bench/many_interfaces.sh for the figures at 1,000 interfaces.
#include "platform/linux/kernel/NetlinkPerfDataSource.h"
#include "support/PerfBlockBuilder.h"
#include "support/ProcNetDevPerfDataSource.h"
#include "traffic/InterfaceCounter.h"
#include "traffic/InterfaceMeter.h"
#include "traffic/PerfBlock.h"

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

namespace {

// The query with the last interface watched, as a tick makes it.
template <class Source> void BM_QueryPerfData(benchmark::State& state)
{
    Source source;
    {
        CInterfaceCounter counter(source);
        counter.ReadDelta(counter.GetLastIndex());
    }
    size_t size = 0;
    for (auto _ : state) {
        std::optional<CPerfBlock> block = CPerfBlock::QueryPerfData(source);
        if (!block) {
            state.SkipWithError("query failed");
            return;
        }
        size = block->Size();
        benchmark::DoNotOptimize(block->Data());
    }
    CInterfaceCounter counter(source);
    state.counters["interfaces"] = double(counter.GetLastIndex() + 1);
    state.counters["block_bytes"] = double(size);
}

// One tick's read of the last interface in the list: query, walk, name match, difference.
template <class Source> void BM_ReadDelta(benchmark::State& state)
{
    Source source;
    CInterfaceCounter counter(source);
    counter.SetCounter(CInterfaceCounter::kBytesReceived);
    const int last = counter.GetLastIndex();
    if (last < 0) {
        state.SkipWithError("no interfaces");
        return;
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(counter.ReadDelta(last));
    state.counters["interfaces"] = double(last + 1);
}

// The tick's reading: received and sent of the last interface in the list, followed by its
// index.
template <class Source> void BM_MeterRead(benchmark::State& state)
{
    Source source;
    CInterfaceCounter list(source);
    std::string last;
    if (!list.GetName(last, list.GetLastIndex())) {
        state.SkipWithError("no interfaces");
        return;
    }
    CInterfaceMeter meter(source);
    meter.Choose(last);
    double received = 0, sent = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(meter.Read(received, sent));
        benchmark::DoNotOptimize(received);
    }
    state.counters["interfaces"] = double(list.GetLastIndex() + 1);
}

// The walk alone over a recorded block: find object 510, the counter, the last instance
// by name, and its value.
void BM_Walk(benchmark::State& state)
{
    std::vector<BuiltInterface> interfaces;
    for (int i = 0; i < state.range(0); ++i) {
        const std::string name = "enp" + std::to_string(i) + "s0";
        interfaces.push_back({ std::u16string(name.begin(), name.end()), uint64_t(i), 0 });
    }
    const std::vector<uint8_t> bytes = BuildNetworkBlock(interfaces).bytes;
    const std::string wanted = "enp" + std::to_string(state.range(0) - 1) + "s0";
    for (auto _ : state) {
        const CPerfBlock block = CPerfBlock::View(bytes.data(), bytes.size());
        uint32_t value = 0;
        block.ForEachNetworkObject([&](CPerfBlock::Pos object) {
            const int64_t k = block.FindCounterOffset(object, CInterfaceCounter::kBytesReceived);
            block.ForEachInstance(object, [&](CPerfBlock::Pos instance) {
                char name[CPerfBlock::kNameCapacity + 1];
                size_t length = 0;
                if (!block.InstanceName(instance, name, length))
                    return true;
                if (std::string_view(name, length) != wanted)
                    return false;
                block.CounterValue(instance, k, value);
                return true;
            });
            return true;
        });
        benchmark::DoNotOptimize(value);
    }
    state.counters["block_bytes"] = double(bytes.size());
}

} // namespace

BENCHMARK(BM_QueryPerfData<CNetlinkPerfDataSource>);
BENCHMARK(BM_QueryPerfData<CProcNetDevPerfDataSource>);
BENCHMARK(BM_ReadDelta<CNetlinkPerfDataSource>);
BENCHMARK(BM_ReadDelta<CProcNetDevPerfDataSource>);
BENCHMARK(BM_MeterRead<CNetlinkPerfDataSource>);
BENCHMARK(BM_Walk)->Arg(4)->Arg(64)->Arg(1000);
