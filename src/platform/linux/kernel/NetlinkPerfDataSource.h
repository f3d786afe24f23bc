#pragma once

#include "platform/IPerfDataSource.h"
#include "platform/linux/kernel/LinkCounters.h"
#include "platform/linux/kernel/LinkSpeedCache.h"
#include "platform/linux/kernel/NetlinkClient.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

// The performance-data source of the running system, over rtnetlink.
//
// The block is kept from query to query. A link dump (RTM_GETLINK, without statistics) gives
// the names in the kernel's order; it is made again, and the block laid out again, only when
// a second socket, subscribed to link events, says that links were added, removed, renamed
// or changed state, or when another link is watched (the list is not kept beside the block).
// A query then asks the kernel for the counters of the watched link alone (one RTM_GETSTATS
// request for its index, or one RTM_GETLINK on kernels before 4.7) and writes them into the
// block; every other instance carries an empty counter block. So a query costs the same few
// system calls on a host with a thousand links as with four, and no allocation. Everything
// belongs to the network namespace of the thread that constructed the netlink client.
//
// Readers that come one right after the other can share one reading: a query within
// shareWithin of the last counted one answers the same counters without asking the kernel.
// Every reader still takes its differences from its own readings, so no byte is lost or
// counted twice; the figures are only that much older.
class CNetlinkPerfDataSource : public IPerfDataSource {
public:
    // With a netlink client of its own, or one shared with the program's other readers.
    explicit CNetlinkPerfDataSource(std::chrono::microseconds shareWithin = {});
    CNetlinkPerfDataSource(CNetlinkClient& client, std::chrono::microseconds shareWithin);
    ~CNetlinkPerfDataSource() override;

    long Query(uint8_t* buffer, uint32_t& size) override;
    void Watch(uint32_t uniqueId) override;
    uint64_t Layout() const override { return m_layout; }

    using DumpState = CNetlinkClient::DumpState;
    // Takes one datagram of a link dump with sequence number seq: appends every named link
    // it describes to links (with its counters when the dump carries them) and says whether
    // the dump goes on; sets interrupted when the kernel marks the dump as inconsistent.
    // Messages of other sequence numbers are left alone; anything that does not fit the
    // bytes fails the dump.
    static DumpState ParseDump(const uint8_t* data, size_t size, uint32_t seq,
        std::vector<LinkCounters>& links, bool& interrupted);
    // Takes one datagram of the answer to a request for one link's counters (RTM_GETSTATS
    // or RTM_GETLINK with sequence number seq): Done with the counters in link when it
    // answers for link.index, Failed with the kernel's error number in error (0 when the
    // answer is not about that link or does not fit the bytes), More when the datagram held
    // only messages of other requests.
    static DumpState ParseCounters(
        const uint8_t* data, size_t size, uint32_t seq, LinkCounters& link, int& error);

    // How many link dumps and counter readings the source has made (tests and benchmarks
    // look).
    uint64_t LinkDumps() const { return m_linkDumps; }
    uint64_t Readings() const { return m_readings; }

private:
    enum class Counted { Fresh, Gone, Refused, Failed };

    // Dumps the names again and lays the block out when links changed (or another link is
    // watched, or the names never were dumped).
    bool KeepNames();
    bool DumpNames(std::vector<LinkCounters>& links);
    // Lays the block out for these links, the watched one with its counter block.
    void Lay(std::span<const LinkCounters> links);
    // Reads the watched link's counters (Fresh too when none is watched or listed).
    Counted ReadWatched();
    // With RTM_GETSTATS when stats, else with RTM_GETLINK.
    Counted AskCounters(LinkCounters& link, bool stats);

    std::unique_ptr<CNetlinkClient> m_pOwnClient;
    // Without link events the names are dumped on every query.
    CNetlinkClient& m_client;
    uint64_t m_linkGeneration = 0;
    bool m_bNamesKnown = false; // m_block stands for the links and the watched one
    // Every link in the kernel's order, from the last link dump; counters for the watched one.
    std::vector<uint8_t> m_block;
    uint64_t m_layout = kNoLayout; // moves on with every layout of m_block
    uint32_t m_nWatched = kNoInstance;
    std::optional<LinkCounters> m_watched; // the watched link, when it is listed
    uint32_t m_countersAt = 0; // where its counter block lies in m_block
    bool m_bStatsRequest = true; // false once the kernel refused RTM_GETSTATS
    uint64_t m_linkDumps = 0;
    uint64_t m_readings = 0;
    std::chrono::microseconds m_shareWithin;
    std::chrono::steady_clock::time_point m_lastReading;
    bool m_bReadingValid = false;
    CLinkSpeedCache m_speeds;
};
