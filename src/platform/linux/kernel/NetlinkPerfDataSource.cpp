#include "platform/linux/kernel/NetlinkPerfDataSource.h"

#include "platform/linux/kernel/PerfBlockWriter.h"

#include <linux/if_link.h>
#include <linux/rtnetlink.h>
#include <sys/socket.h>

#include <cstring>

namespace {

// A dump the kernel marks as interrupted (links changed meanwhile) is asked again this often.
constexpr int kDumpAttempts = 3;

using Client = CNetlinkClient;

uint64_t Stamp(const LinkCounters& link)
{
    return uint64_t(uint32_t(link.index)) << 32 | link.operState;
}

// rx_packets, tx_packets, rx_bytes, tx_bytes lead rtnl_link_stats64 (and its 32-bit form).
template <class Word> bool ReadBytes(const uint8_t* p, size_t size, LinkCounters& link)
{
    if (size < 4 * sizeof(Word))
        return false;
    link.received = Client::Load<Word>(p + 2 * sizeof(Word));
    link.sent = Client::Load<Word>(p + 3 * sizeof(Word));
    return true;
}

} // namespace

CNetlinkPerfDataSource::CNetlinkPerfDataSource(std::chrono::microseconds shareWithin)
    : m_pOwnClient(std::make_unique<CNetlinkClient>())
    , m_client(*m_pOwnClient)
    , m_shareWithin(shareWithin)
{
}

CNetlinkPerfDataSource::CNetlinkPerfDataSource(
    CNetlinkClient& client, std::chrono::microseconds shareWithin)
    : m_client(client)
    , m_shareWithin(shareWithin)
{
}

CNetlinkPerfDataSource::~CNetlinkPerfDataSource() = default;

long CNetlinkPerfDataSource::Query(uint8_t* buffer, uint32_t& size)
{
    if (!m_client.IsValid())
        return kPerfFailure;
    const auto now = std::chrono::steady_clock::now();
    if (m_bReadingValid && now - m_lastReading < m_shareWithin)
        return CPerfBlockWriter::Answer(m_links, buffer, size);

    m_bReadingValid = false;
    if (!(m_statsDump && QueryStats())) {
        if (!DumpLinks(true))
            return kPerfFailure;
        m_links = m_names;
        m_namesKnown = false;
    }
    m_speeds.BeginPass();
    for (LinkCounters& link : m_links)
        link.bandwidth = m_speeds.Bandwidth(link.name, Stamp(link));
    m_speeds.EndPass();
    ++m_readings;
    m_lastReading = now;
    m_bReadingValid = true;
    return CPerfBlockWriter::Answer(m_links, buffer, size);
}

bool CNetlinkPerfDataSource::QueryStats()
{
    // Drain the events first: a change that comes after this still shows next time.
    const uint64_t generation = m_client.LinkGeneration();
    if (generation != m_linkGeneration || !m_namesKnown) {
        m_linkGeneration = generation;
        if (!DumpLinks(false))
            return false;
        m_position.clear();
        for (size_t i = 0; i < m_names.size(); ++i)
            m_position.emplace(m_names[i].index, i);
        m_seenIn.assign(m_names.size(), 0);
        m_namesKnown = true;
    }

    struct {
        nlmsghdr header;
        if_stats_msg stats;
    } request {};
    request.header.nlmsg_len = sizeof request;
    request.header.nlmsg_type = RTM_GETSTATS;
    request.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
    request.stats.family = AF_UNSPEC;
    request.stats.filter_mask = IFLA_STATS_FILTER_BIT(IFLA_STATS_LINK_64);
    if (!Dump(&request, sizeof request, &ParseStatsDump, m_stats)) {
        // Kernels before 4.7 do not know the request: use the full dump from now on.
        m_statsDump = false;
        return false;
    }

    ++m_query;
    for (const LinkCounters& s : m_stats) {
        const auto it = m_position.find(s.index);
        if (it == m_position.end()) {
            m_namesKnown = false; // a link newer than the names: the event is on its way
            continue;
        }
        m_names[it->second].received = s.received;
        m_names[it->second].sent = s.sent;
        m_seenIn[it->second] = m_query;
    }
    // In the kernel's order; links gone since the names were taken are left out.
    m_links.clear();
    for (size_t i = 0; i < m_names.size(); ++i) {
        if (m_seenIn[i] == m_query)
            m_links.push_back(m_names[i]);
    }
    return true;
}

bool CNetlinkPerfDataSource::DumpLinks(bool withStats)
{
    struct {
        nlmsghdr header;
        ifinfomsg info;
        rtattr maskHeader;
        uint32_t mask;
    } request {};
    request.header.nlmsg_len = sizeof request;
    request.header.nlmsg_type = RTM_GETLINK;
    request.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
    request.info.ifi_family = AF_UNSPEC;
    request.maskHeader.rta_type = IFLA_EXT_MASK;
    request.maskHeader.rta_len = RTA_LENGTH(sizeof(uint32_t));
    // Without statistics the kernel also skips summing the per-CPU IPv6 counters.
    request.mask = withStats ? 0 : RTEXT_FILTER_SKIP_STATS;
    ++m_linkDumps;
    return Dump(&request, sizeof request, &ParseDump, m_names);
}

bool CNetlinkPerfDataSource::Dump(
    void* request, size_t length, Parser parse, std::vector<LinkCounters>& out)
{
    for (int attempt = 0; attempt < kDumpAttempts; ++attempt) {
        out.clear();
        bool interrupted = false;
        if (!m_client.Dump(request, length, 0, [&](const uint8_t* data, size_t size, uint32_t seq) {
                return parse(data, size, seq, out, interrupted);
            }))
            return false;
        if (!interrupted)
            return true;
    }
    // Links keep changing under the dump; the last one is as good as any.
    return true;
}

CNetlinkPerfDataSource::DumpState CNetlinkPerfDataSource::ParseDump(const uint8_t* data,
    size_t size, uint32_t seq, std::vector<LinkCounters>& links, bool& interrupted)
{
    return Client::EachMessage(
        data, size, seq, interrupted, [&](uint16_t type, const uint8_t* body, size_t bodySize) {
            if (type != RTM_NEWLINK || bodySize < sizeof(ifinfomsg))
                return;
            LinkCounters link;
            link.index = Client::Load<ifinfomsg>(body).ifi_index;
            bool named = false;
            bool have64 = false;
            const size_t start = NLMSG_ALIGN(sizeof(ifinfomsg));
            Client::EachAttribute(body + start, bodySize - start,
                [&](uint16_t attr, const uint8_t* payload, size_t length) {
                    switch (attr) {
                    case IFLA_IFNAME: {
                        const size_t n = strnlen(reinterpret_cast<const char*>(payload), length);
                        const size_t kept = n < sizeof(link.name) - 1 ? n : sizeof(link.name) - 1;
                        std::memcpy(link.name, payload, kept);
                        link.name[kept] = '\0';
                        named = kept > 0;
                        break;
                    }
                    case IFLA_STATS64:
                        have64 = ReadBytes<uint64_t>(payload, length, link) || have64;
                        break;
                    case IFLA_STATS:
                        if (!have64)
                            ReadBytes<uint32_t>(payload, length, link);
                        break;
                    case IFLA_OPERSTATE:
                        if (length >= 1)
                            link.operState = payload[0];
                        break;
                    default:
                        break;
                    }
                });
            if (named)
                links.push_back(link);
        });
}

CNetlinkPerfDataSource::DumpState CNetlinkPerfDataSource::ParseStatsDump(const uint8_t* data,
    size_t size, uint32_t seq, std::vector<LinkCounters>& stats, bool& interrupted)
{
    return Client::EachMessage(
        data, size, seq, interrupted, [&](uint16_t type, const uint8_t* body, size_t bodySize) {
            if (type != RTM_NEWSTATS || bodySize < sizeof(if_stats_msg))
                return;
            LinkCounters link;
            link.index = int32_t(Client::Load<if_stats_msg>(body).ifindex);
            bool found = false;
            const size_t start = NLMSG_ALIGN(sizeof(if_stats_msg));
            Client::EachAttribute(body + start, bodySize - start,
                [&](uint16_t attr, const uint8_t* payload, size_t length) {
                    if (attr == IFLA_STATS_LINK_64)
                        found = ReadBytes<uint64_t>(payload, length, link) || found;
                });
            if (found)
                stats.push_back(link);
        });
}
