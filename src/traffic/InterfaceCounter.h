#pragma once

#include "platform/IPerfDataSource.h"
#include "platform/PerfLayout.h"

#include <cstdint>
#include <string>
#include <vector>

// Turns one cumulative counter of one network interface into the amount counted since the
// previous read. The interfaces are listed once, at construction; a caller names one by its
// position in that list, and every read looks it up again by name in a fresh block.
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

    int GetCounter() const { return m_counterIndex; }
    const std::vector<std::string>& Names() const { return m_names; }

private:
    IPerfDataSource* m_pSource;
    double m_prevValue = 0.0;
    std::vector<std::string> m_names;
    int32_t m_prevDevice = -1;
    int32_t m_counterIndex = kBytesTotal;
};
