#pragma once

#include "platform/IPerfDataSource.h"
#include "platform/linux/FileDescriptor.h"
#include "platform/linux/LinkCounters.h"
#include "platform/linux/LinkSpeedCache.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// The performance-data source of the running system: every query dumps the kernel's links
// over one rtnetlink socket (RTM_GETLINK, 64-bit statistics) and lays them out as a block.
// The socket, the receive buffer and the interface list are kept from query to query, so a
// query costs a few system calls and no allocation once the sizes have settled. Everything
// belongs to the network namespace of the thread that constructed the source.
class CNetlinkPerfDataSource : public IPerfDataSource
{
public:
    CNetlinkPerfDataSource();
    ~CNetlinkPerfDataSource() override;

    long Query(uint8_t* buffer, uint32_t& size) override;

    enum class DumpState { More, Done, Failed };
    // Takes one datagram of a link dump with sequence number seq: appends every link it
    // describes to links and says whether the dump goes on; sets interrupted when the
    // kernel marks the dump as inconsistent. Messages of other sequence numbers are left
    // alone; anything that does not fit the bytes fails the dump.
    static DumpState ParseDump(const uint8_t* data, size_t size, uint32_t seq,
                               std::vector<LinkCounters>& links, bool& interrupted);

private:
    // Fills m_links from one full dump; false when the kernel could not be asked.
    bool Dump();

    CFileDescriptor m_socket;
    uint32_t m_seq = 0;
    std::vector<uint8_t> m_receive;
    std::vector<LinkCounters> m_links;
    CLinkSpeedCache m_speeds;
};
