// Arbitrary bytes as the counter block: the listing and the reads must stay inside them
// and come to an end.
#include "traffic/InterfaceCounter.h"
#include "traffic/PerfBlock.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace {

class CBytesSource : public IPerfDataSource {
public:
    CBytesSource(const uint8_t* data, size_t size)
        : m_data(data)
        , m_size(size)
    {
    }
    long Query(uint8_t* buffer, uint32_t& size) override
    {
        if (m_size > size) {
            size = uint32_t(m_size);
            return kPerfMoreData;
        }
        if (m_size)
            std::memcpy(buffer, m_data, m_size);
        size = uint32_t(m_size);
        return kPerfSuccess;
    }
    void Watch(uint32_t) override { }
    uint64_t Layout() const override { return kNoLayout; }

private:
    const uint8_t* m_data;
    size_t m_size;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > CPerfBlock::kMaxSize)
        return 0;
    CBytesSource source(data, size);
    CInterfaceCounter counter(source);
    const int last = counter.GetLastIndex() < 8 ? counter.GetLastIndex() : 8;
    for (int counterIndex : { CInterfaceCounter::kBytesReceived, CInterfaceCounter::kBytesSent,
             CInterfaceCounter::kBytesTotal, CInterfaceCounter::kBandwidth }) {
        counter.SetCounter(counterIndex);
        for (int i = -1; i <= last + 1; ++i) {
            counter.ReadDelta(i);
            counter.ReadDelta(i);
        }
    }

    // The walk on its own, every counter of every instance.
    const CPerfBlock block = CPerfBlock::View(data, size);
    block.ForEachNetworkObject([&](CPerfBlock::Pos object) {
        const int64_t k = block.FindCounterOffset(object, CInterfaceCounter::kBytesReceived);
        block.ForEachInstance(object, [&](CPerfBlock::Pos instance) {
            char name[CPerfBlock::kNameCapacity + 1];
            size_t length = 0;
            block.InstanceName(instance, name, length);
            uint32_t value = 0;
            block.CounterValue(instance, k, value);
            return false;
        });
        return false;
    });
    return 0;
}
