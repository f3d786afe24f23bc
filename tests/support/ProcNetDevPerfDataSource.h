#pragma once

#include "platform/IPerfDataSource.h"
#include "platform/linux/FileDescriptor.h"
#include "platform/linux/kernel/LinkCounters.h"
#include "platform/linux/kernel/LinkSpeedCache.h"

#include <cstdint>
#include <string_view>
#include <vector>

// A performance-data source over the kernel's text table of interface counters
// (/proc/net/dev). The file stays open and is read again from its start on every query.
// The program reads the counters over netlink, which is faster; this one is kept for the
// benchmarks to compare with and for the tests to check the netlink source against.
class CProcNetDevPerfDataSource : public IPerfDataSource {
public:
    CProcNetDevPerfDataSource();
    ~CProcNetDevPerfDataSource() override;

    long Query(uint8_t* buffer, uint32_t& size) override;
    // The table holds every interface's counters anyway.
    void Watch(uint32_t) override { }
    // The table is read afresh for every query.
    uint64_t Layout() const override { return kNoLayout; }

    // Appends one entry per table line ("name: 16 numbers"); lines that do not have that
    // shape are skipped. False when nothing in the text looks like the table.
    static bool ParseTable(std::string_view text, std::vector<LinkCounters>& links);

private:
    bool ReadTable();

    CFileDescriptor m_file;
    std::vector<char> m_text;
    size_t m_length = 0;
    std::vector<LinkCounters> m_links;
    CLinkSpeedCache m_speeds;
};
