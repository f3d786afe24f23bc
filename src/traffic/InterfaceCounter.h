#pragma once

#include "platform/IPerfDataSource.h"
#include "platform/PerfLayout.h"
#include "traffic/PerfBlock.h"

#include <cstdint>
#include <string>
#include <vector>

// Turns one cumulative counter of one network interface into the amount counted since the
// previous read. The interfaces are listed once, at construction; a caller names one by its
// position in that list, and every read looks it up again by name in a fresh block. When the
// source read another interface's counters for that block, the read has it watch this one
// and queries again.
class CInterfaceCounter {
public:
    static constexpr int kBytesReceived = int(PerfLayout::kBytesReceived);
    static constexpr int kBytesSent = int(PerfLayout::kBytesSent);
    static constexpr int kBytesTotal = int(PerfLayout::kBytesTotal);
    static constexpr int kBandwidth = int(PerfLayout::kBandwidth);

    explicit CInterfaceCounter(IPerfDataSource& source);
    virtual ~CInterfaceCounter();

    // 1 when the listing ran to its end (the list may be empty), 0 on failure.
    int Enumerate();
    int GetLastIndex() const;
    bool GetName(std::string& name, int index) const;
    void SetCounter(int counterIndex);
    // Bytes (in the counter's unit) since the previous successful read of the same index;
    // 0.0 on the first read of an index or when the interface cannot be found, 1.0 when the
    // data cannot be read or lacks the counter.
    double ReadDelta(int index);

    // The growth of a counter of that width (4 or 8 bytes) from prev to now. A 64-bit
    // counter that went down was reset (driver reset, interface re-created): 0, and the
    // caller starts again from now. A 32-bit one rolls over every 4 GiB and is taken modulo
    // 2^32; a modular growth of 2^31 or more is a reset as well.
    static double Difference(uint64_t prev, uint64_t now, uint32_t size);

    int GetCounter() const { return m_counterIndex; }
    const std::vector<std::string>& Names() const { return m_names; }

private:
    // One query and one walk. unread: the unique id of the interface found without counters
    // (the source may read it when asked), else kNoUniqueId.
    // None while the block keeps the layout of the one the interface was last found in.
    double Take(int index, uint32_t& unread);
    // Reads the counter at m_place.
    double Count(const CPerfBlock& block, int index, uint32_t& unread);

    // Where an interface and counter were last found, and in a block of what layout.
    struct Place {
        uint64_t layout = IPerfDataSource::kNoLayout;
        int32_t device = -1;
        int32_t counterIndex = 0;
        CPerfBlock::Pos instance = CPerfBlock::kNone;
        CPerfBlock::Counter counter;
    };

    IPerfDataSource* m_pSource;
    uint64_t m_prevValue = 0; // read whole: 64 bits for an 8-byte counter
    std::vector<std::string> m_names;
    int32_t m_prevDevice = -1;
    int32_t m_counterIndex = kBytesTotal;
    Place m_place;
};
