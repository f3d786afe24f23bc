#include "traffic/InterfaceMeter.h"

#include "traffic/InterfaceCounter.h"
#include "traffic/PerfBlock.h"

#include <new>
#include <string_view>

CInterfaceMeter::CInterfaceMeter(IPerfDataSource& source)
    : m_pSource(&source)
    , m_nId(CPerfBlock::kNoUniqueId)
{
}

void CInterfaceMeter::Choose(std::string name)
{
    m_strName = std::move(name);
    m_nId = CPerfBlock::kNoUniqueId;
    m_place.layout = IPerfDataSource::kNoLayout;
    m_bPrimed = false;
    m_bPresent = false;
}

CInterfaceMeter::Reading CInterfaceMeter::Read(double& received, double& sent)
{
    received = sent = 0;
    if (m_strName.empty()) {
        m_bPresent = false;
        return Reading::Absent;
    }
    try {
        // The source reads the counters of the watched link only: tell it which one first.
        if (m_nId != CPerfBlock::kNoUniqueId)
            m_pSource->Watch(m_nId);
        bool unread = false;
        Reading result = Take(received, sent, unread);
        // Found afresh (or the source was watching another link): its counters were not read
        // for this block. Ask for them and read again, so the first reading primes from
        // counters of now, never from older ones.
        if (unread) {
            m_pSource->Watch(m_nId);
            result = Take(received, sent, unread);
        }
        return unread ? Reading::Failed : result;
    } catch (const std::bad_alloc&) {
        return Reading::Failed;
    }
}

CInterfaceMeter::Reading CInterfaceMeter::Take(double& received, double& sent, bool& unread)
{
    unread = false;
    std::optional<CPerfBlock> block = CPerfBlock::QueryPerfData(*m_pSource);
    if (!block)
        return Reading::Failed;
    // Laid out as the block the link was last found in: it stands where it stood, under the
    // same name, and only its counters changed. No walk past the other links.
    if (m_place.layout != IPerfDataSource::kNoLayout && m_place.layout == block->Layout()) {
        m_bPresent = true;
        return Count(*block, received, sent, unread);
    }
    m_place.layout = IPerfDataSource::kNoLayout;

    Reading result = Reading::Absent;
    bool found = false;
    block->ForEachNetworkObject([&](CPerfBlock::Pos object) {
        m_place.rx = block->FindCounter(object, CInterfaceCounter::kBytesReceived);
        m_place.tx = block->FindCounter(object, CInterfaceCounter::kBytesSent);
        if (m_place.rx.offset < 0 || m_place.tx.offset < 0) {
            result = Reading::Failed;
            return true;
        }
        block->ForEachInstance(object, [&](CPerfBlock::Pos instance) {
            const uint32_t id = block->InstanceUniqueId(instance);
            char name[CPerfBlock::kNameCapacity + 1];
            size_t length = 0;
            if (m_nId != CPerfBlock::kNoUniqueId) {
                // Known by its index: only the index is compared, and the name taken from
                // the link in case it was renamed.
                if (id != m_nId)
                    return false;
                if (block->InstanceName(instance, name, length) && length > 0)
                    m_strName.assign(name, length);
            } else {
                if (!block->InstanceName(instance, name, length)
                    || std::string_view(name, length) != m_strName)
                    return false;
                // Another index is another link (or the first reading): start afresh.
                // Sources without indices are followed by name alone.
                if (id != m_nId) {
                    m_nId = id;
                    m_bPrimed = false;
                }
            }
            found = true;
            m_place.instance = instance;
            result = Count(*block, received, sent, unread);
            if (result != Reading::Failed)
                m_place.layout = block->Layout();
            return true;
        });
        return found || result == Reading::Failed;
    });
    if (!found && result != Reading::Failed) {
        // Gone: when it comes back, it is looked up by name again.
        m_nId = CPerfBlock::kNoUniqueId;
        m_bPrimed = false;
    }
    m_bPresent = found;
    return result;
}

CInterfaceMeter::Reading CInterfaceMeter::Count(
    const CPerfBlock& block, double& received, double& sent, bool& unread)
{
    uint64_t r = 0, t = 0;
    if (!block.CounterValue(m_place.instance, m_place.rx, r)
        || !block.CounterValue(m_place.instance, m_place.tx, t)) {
        // An instance without counters: not read for this block, or a block that lies.
        unread = m_nId != CPerfBlock::kNoUniqueId;
        return Reading::Failed;
    }
    Reading result = Reading::Counted;
    if (m_bPrimed) {
        received = CInterfaceCounter::Difference(m_prevReceived, r, m_place.rx.size);
        sent = CInterfaceCounter::Difference(m_prevSent, t, m_place.tx.size);
    } else {
        // The first reading only primes the counters: nothing to subtract yet.
        m_bPrimed = true;
        result = Reading::Primed;
    }
    m_prevReceived = r;
    m_prevSent = t;
    return result;
}
