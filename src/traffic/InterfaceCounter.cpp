#include "traffic/InterfaceCounter.h"

#include "traffic/PerfBlock.h"

#include <new>
#include <string_view>

CInterfaceCounter::CInterfaceCounter(IPerfDataSource& source)
    : m_pSource(&source)
{
    Enumerate();
}

CInterfaceCounter::~CInterfaceCounter() = default;

int CInterfaceCounter::Enumerate()
{
    try {
        m_names.clear();
        m_place.layout = IPerfDataSource::kNoLayout;
        std::optional<CPerfBlock> block = CPerfBlock::QueryPerfData(*m_pSource);
        if (!block)
            return 0;
        bool stop = false;
        block->ForEachNetworkObject([&](CPerfBlock::Pos object) {
            // Without the bandwidth counter the object lists nothing, and the listing ends.
            if (block->FindCounterOffset(object, kBandwidth) < 0) {
                stop = true;
                return true;
            }
            block->ForEachInstance(object, [&](CPerfBlock::Pos instance) {
                char name[CPerfBlock::kNameCapacity + 1];
                size_t length = 0;
                if (!block->InstanceName(instance, name, length)) {
                    stop = true;
                    return true;
                }
                m_names.emplace_back(name, length);
                return false;
            });
            return stop;
        });
        return 1;
    } catch (const std::bad_alloc&) {
        return 0;
    }
}

int CInterfaceCounter::GetLastIndex() const
{
    return int(m_names.size()) - 1;
}

bool CInterfaceCounter::GetName(std::string& name, int index) const
{
    if (index < 0 || size_t(index) >= m_names.size())
        return false;
    name = m_names[size_t(index)];
    return true;
}

void CInterfaceCounter::SetCounter(int counterIndex)
{
    m_counterIndex = counterIndex;
}

double CInterfaceCounter::Difference(uint64_t prev, uint64_t now, uint32_t size)
{
    if (size == 8)
        return now >= prev ? double(now - prev) : 0.0;
    const uint32_t delta = uint32_t(now) - uint32_t(prev);
    return delta < 0x80000000u ? double(delta) : 0.0;
}

double CInterfaceCounter::ReadDelta(int index)
{
    if (index < 0 || size_t(index) >= m_names.size())
        return 0.0;
    try {
        uint32_t unread = CPerfBlock::kNoUniqueId;
        const double result = Take(index, unread);
        if (unread == CPerfBlock::kNoUniqueId)
            return result;
        // The source read another interface's counters for this block: have it read this
        // one's and read again, so the value taken is one of now, never an older one.
        m_pSource->Watch(unread);
        return Take(index, unread);
    } catch (const std::bad_alloc&) {
        return 0.0;
    }
}

double CInterfaceCounter::Take(int index, uint32_t& unread)
{
    unread = CPerfBlock::kNoUniqueId;
    const std::string_view wanted = m_names[size_t(index)];
    std::optional<CPerfBlock> block = CPerfBlock::QueryPerfData(*m_pSource);
    if (!block)
        return 1.0;
    // Laid out as the block this interface and counter were last found in: the first
    // instance of that name stands where it stood, and only counter values changed.
    if (m_place.layout != IPerfDataSource::kNoLayout && m_place.layout == block->Layout()
        && m_place.device == index && m_place.counterIndex == m_counterIndex)
        return Count(*block, index, unread);
    m_place.layout = IPerfDataSource::kNoLayout;

    double result = 0.0;
    bool missingCounter = false;
    bool done = false;
    block->ForEachNetworkObject([&](CPerfBlock::Pos object) {
        m_place.counter = block->FindCounter(object, uint32_t(m_counterIndex));
        if (m_place.counter.offset < 0) {
            missingCounter = true;
            return true;
        }
        block->ForEachInstance(object, [&](CPerfBlock::Pos instance) {
            char name[CPerfBlock::kNameCapacity + 1];
            size_t length = 0;
            if (!block->InstanceName(instance, name, length)) {
                done = true; // a block that lies ends the walk: nothing found
                return true;
            }
            if (std::string_view(name, length) != wanted)
                return false;
            done = true;
            m_place.instance = instance;
            result = Count(*block, index, unread);
            if (unread == CPerfBlock::kNoUniqueId) {
                m_place.layout = block->Layout();
                m_place.device = index;
                m_place.counterIndex = m_counterIndex;
            }
            return true;
        });
        return done;
    });
    if (missingCounter)
        return 1.0;
    return result;
}

double CInterfaceCounter::Count(const CPerfBlock& block, int index, uint32_t& unread)
{
    uint64_t v = 0;
    if (!block.CounterValue(m_place.instance, m_place.counter, v)) {
        // No counters in its block: not read for this block, or a block that lies.
        unread = block.InstanceUniqueId(m_place.instance);
        return 0.0;
    }
    double result = 0.0;
    if (m_prevDevice == index) {
        result = Difference(m_prevValue, v, m_place.counter.size);
    } else {
        m_prevDevice = index;
    }
    m_prevValue = v;
    return result;
}
