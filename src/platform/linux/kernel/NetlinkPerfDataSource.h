#pragma once

#include "platform/IPerfDataSource.h"
#include "platform/linux/kernel/LinkCounters.h"
#include "platform/linux/kernel/LinkSpeedCache.h"
#include "platform/linux/kernel/NetlinkClient.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

// The performance-data source of the running system, over rtnetlink. A full link dump
// (RTM_GETLINK) is costly (it carries every address family's configuration: about 1.5 KB
// per interface), so it is made only for the names, and again only when a second socket,
// subscribed to link events, says that links were added, removed, renamed or changed
// state. Every query asks only for the 64-bit counters (RTM_GETSTATS). A kernel without
// RTM_GETSTATS gets the full dump with its 64-bit statistics on every query instead.
// Sockets, buffers and lists are kept from query to query, so a query costs a few system
// calls and no allocation once the sizes have settled. Everything belongs to the network
// namespace of the thread that constructed the netlink client.
//
// Readers that come one right after the other (the two graphs of a tick) can share one
// reading: a query within shareWithin of the last counted one answers the same counters
// without asking the kernel. Every reader still takes its differences from its own
// readings, so no byte is lost or counted twice; the figures are only that much older.
class CNetlinkPerfDataSource : public IPerfDataSource {
public:
    // With a netlink client of its own, or one shared with the program's other readers.
    explicit CNetlinkPerfDataSource(std::chrono::microseconds shareWithin = {});
    CNetlinkPerfDataSource(CNetlinkClient& client, std::chrono::microseconds shareWithin);
    ~CNetlinkPerfDataSource() override;

    long Query(uint8_t* buffer, uint32_t& size) override;

    using DumpState = CNetlinkClient::DumpState;
    // Takes one datagram of a link dump with sequence number seq: appends every named link
    // it describes to links (with its counters when the dump carries them) and says whether
    // the dump goes on; sets interrupted when the kernel marks the dump as inconsistent.
    // Messages of other sequence numbers are left alone; anything that does not fit the
    // bytes fails the dump.
    static DumpState ParseDump(const uint8_t* data, size_t size, uint32_t seq,
        std::vector<LinkCounters>& links, bool& interrupted);
    // The same for a datagram of a statistics dump: index, received and sent of each link.
    static DumpState ParseStatsDump(const uint8_t* data, size_t size, uint32_t seq,
        std::vector<LinkCounters>& stats, bool& interrupted);

    // How many full link dumps and counter readings the source has made (tests and
    // benchmarks look).
    uint64_t LinkDumps() const { return m_linkDumps; }
    uint64_t Readings() const { return m_readings; }

private:
    using Parser
        = DumpState (*)(const uint8_t*, size_t, uint32_t, std::vector<LinkCounters>&, bool&);
    // Numbers the request (its header leads), sends it and parses the whole answer into out; false
    // when the kernel could not be asked or refused.
    bool Dump(void* request, size_t length, Parser parse, std::vector<LinkCounters>& out);
    bool DumpLinks(bool withStats);
    // True when the link-event socket heard of any change since the last call.
    bool QueryStats();

    std::unique_ptr<CNetlinkClient> m_pOwnClient;
    // Without link events the names are dumped on every query.
    CNetlinkClient& m_client;
    uint64_t m_linkGeneration = 0;
    std::vector<LinkCounters> m_names; // kernel order, from the last link dump
    std::unordered_map<int32_t, size_t> m_position; // interface index -> place in m_names
    std::vector<LinkCounters> m_stats;
    std::vector<uint32_t> m_seenIn; // per name: the query that last found its counters
    std::vector<LinkCounters> m_links; // what this query answers
    uint32_t m_query = 0;
    bool m_namesKnown = false;
    bool m_statsDump = true;
    uint64_t m_linkDumps = 0;
    uint64_t m_readings = 0;
    std::chrono::microseconds m_shareWithin;
    std::chrono::steady_clock::time_point m_lastReading;
    bool m_bReadingValid = false;
    CLinkSpeedCache m_speeds;
};
