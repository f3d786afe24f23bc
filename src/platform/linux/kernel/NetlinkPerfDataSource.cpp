#include "platform/linux/kernel/NetlinkPerfDataSource.h"

#include "platform/linux/kernel/PerfBlockWriter.h"

#include <linux/if_link.h>
#include <linux/rtnetlink.h>
#include <sys/socket.h>

#include <cerrno>
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

// One RTM_NEWLINK message: its index, name, state and (when it carries them) counters. False
// when it names no link.
bool ReadLink(const uint8_t* body, size_t bodySize, LinkCounters& link, bool& counted)
{
    counted = false;
    if (bodySize < sizeof(ifinfomsg))
        return false;
    link.index = Client::Load<ifinfomsg>(body).ifi_index;
    bool named = false;
    bool have64 = false;
    const size_t start = NLMSG_ALIGN(sizeof(ifinfomsg));
    if (bodySize < start)
        return false;
    Client::EachAttribute(
        body + start, bodySize - start, [&](uint16_t attr, const uint8_t* payload, size_t length) {
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
                    counted = ReadBytes<uint32_t>(payload, length, link) || counted;
                break;
            case IFLA_OPERSTATE:
                if (length >= 1)
                    link.operState = payload[0];
                break;
            default:
                break;
            }
        });
    counted = counted || have64;
    return named;
}

// One RTM_NEWSTATS message: the index and the 64-bit counters. False without them.
bool ReadStats(const uint8_t* body, size_t bodySize, LinkCounters& link)
{
    const size_t start = NLMSG_ALIGN(sizeof(if_stats_msg));
    if (bodySize < start)
        return false;
    link.index = int32_t(Client::Load<if_stats_msg>(body).ifindex);
    bool found = false;
    Client::EachAttribute(
        body + start, bodySize - start, [&](uint16_t attr, const uint8_t* payload, size_t length) {
            if (attr == IFLA_STATS_LINK_64)
                found = ReadBytes<uint64_t>(payload, length, link) || found;
        });
    return found;
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

void CNetlinkPerfDataSource::Watch(uint32_t uniqueId)
{
    if (uniqueId == m_nWatched)
        return;
    m_nWatched = uniqueId;
    // Its counter block moves: the next query takes the names again and lays the block out
    // anew. The list is not kept beside the block, which holds it already.
    m_bNamesKnown = false;
    m_bReadingValid = false;
}

long CNetlinkPerfDataSource::Query(uint8_t* buffer, uint32_t& size)
{
    if (!m_client.IsValid())
        return kPerfFailure;
    // A buffer too small for the block as it stands is refused before the kernel is asked:
    // the caller's next try, with a buffer that fits, makes the one reading.
    if (m_bNamesKnown && (buffer == nullptr || size < m_block.size()))
        return CPerfBlockWriter::Answer(m_block, buffer, size);
    const auto now = std::chrono::steady_clock::now();
    if (m_bNamesKnown && m_bReadingValid && now - m_lastReading < m_shareWithin)
        return CPerfBlockWriter::Answer(m_block, buffer, size);

    m_bReadingValid = false;
    for (int attempt = 0;; ++attempt) {
        if (!KeepNames())
            return kPerfFailure;
        const Counted counted = ReadWatched();
        if (counted == Counted::Fresh)
            break;
        if (counted == Counted::Failed || attempt > 0)
            return kPerfFailure;
        // Gone since the names were taken (its event is on its way): take them again now.
        m_bNamesKnown = false;
    }
    // Only now is the block answered: its watched counters are never older than this query.
    if (m_watched)
        CPerfBlockWriter::WriteCounters(*m_watched, m_block.data() + m_countersAt);
    ++m_readings;
    m_lastReading = now;
    m_bReadingValid = true;
    return CPerfBlockWriter::Answer(m_block, buffer, size);
}

bool CNetlinkPerfDataSource::KeepNames()
{
    // Drain the events first: a change that comes after this still shows next time.
    const uint64_t generation = m_client.LinkGeneration();
    if (generation == m_linkGeneration && m_bNamesKnown)
        return true;
    m_linkGeneration = generation;
    std::vector<LinkCounters> links;
    m_bNamesKnown = DumpNames(links);
    if (m_bNamesKnown)
        Lay(links);
    return m_bNamesKnown;
}

void CNetlinkPerfDataSource::Lay(std::span<const LinkCounters> links)
{
    m_watched.reset();
    size_t counted = links.size();
    for (size_t i = 0; i < links.size(); ++i) {
        if (uint32_t(links[i].index) == m_nWatched) {
            m_watched = links[i];
            counted = i;
            break;
        }
    }
    m_block.resize(CPerfBlockWriter::RequiredSize(links, counted));
    m_countersAt = CPerfBlockWriter::Write(links, m_block.data(), counted);
    ++m_layout;
}

CNetlinkPerfDataSource::Counted CNetlinkPerfDataSource::ReadWatched()
{
    if (!m_watched)
        return Counted::Fresh;
    LinkCounters& link = *m_watched;
    Counted counted = Counted::Failed;
    if (m_bStatsRequest) {
        counted = AskCounters(link, true);
        // Kernels before 4.7 do not know the request: ask for the whole link from now on.
        if (counted == Counted::Refused)
            m_bStatsRequest = false;
    }
    if (!m_bStatsRequest)
        counted = AskCounters(link, false);
    if (counted != Counted::Fresh)
        return counted == Counted::Gone ? Counted::Gone : Counted::Failed;
    // The speed is asked of the driver only when the link is new or changed state.
    m_speeds.BeginPass();
    link.bandwidth = m_speeds.Bandwidth(link.name, Stamp(link));
    m_speeds.EndPass();
    return Counted::Fresh;
}

CNetlinkPerfDataSource::Counted CNetlinkPerfDataSource::AskCounters(LinkCounters& link, bool stats)
{
    LinkCounters answer;
    answer.index = link.index;
    int error = 0;
    const auto parse = [&](const uint8_t* data, size_t size, uint32_t seq) {
        return ParseCounters(data, size, seq, answer, error);
    };
    bool answered = false;
    if (stats) {
        auto request = Client::NewRequest<if_stats_msg>(RTM_GETSTATS, NLM_F_REQUEST);
        request.body.family = AF_UNSPEC;
        request.body.ifindex = uint32_t(link.index);
        request.body.filter_mask = IFLA_STATS_FILTER_BIT(IFLA_STATS_LINK_64);
        answered = m_client.Dump(&request, sizeof request, 0, parse);
    } else {
        auto request = Client::NewRequest<ifinfomsg>(RTM_GETLINK, NLM_F_REQUEST);
        request.body.ifi_family = AF_UNSPEC;
        request.body.ifi_index = link.index;
        answered = m_client.Dump(&request, sizeof request, 0, parse);
    }
    if (answered) {
        link.received = answer.received;
        link.sent = answer.sent;
        return Counted::Fresh;
    }
    if (error == ENODEV)
        return Counted::Gone;
    return stats && error == EOPNOTSUPP ? Counted::Refused : Counted::Failed;
}

bool CNetlinkPerfDataSource::DumpNames(std::vector<LinkCounters>& links)
{
    struct Names {
        ifinfomsg info;
        rtattr maskHeader;
        uint32_t mask;
    };
    auto request = Client::NewRequest<Names>(RTM_GETLINK, NLM_F_REQUEST | NLM_F_DUMP);
    request.body.info.ifi_family = AF_UNSPEC;
    request.body.maskHeader.rta_type = IFLA_EXT_MASK;
    request.body.maskHeader.rta_len = RTA_LENGTH(sizeof(uint32_t));
    // Without statistics the kernel also skips summing the per-CPU IPv6 counters.
    request.body.mask = RTEXT_FILTER_SKIP_STATS;
    ++m_linkDumps;
    for (int attempt = 0; attempt < kDumpAttempts; ++attempt) {
        links.clear();
        bool interrupted = false;
        if (!m_client.Dump(
                &request, sizeof request, 0, [&](const uint8_t* data, size_t size, uint32_t seq) {
                    return ParseDump(data, size, seq, links, interrupted);
                }))
            return false;
        if (!interrupted)
            break;
        // Links keep changing under the dump; the last one is as good as any.
    }
    return true;
}

CNetlinkPerfDataSource::DumpState CNetlinkPerfDataSource::ParseDump(const uint8_t* data,
    size_t size, uint32_t seq, std::vector<LinkCounters>& links, bool& interrupted)
{
    return Client::EachMessage(
        data, size, seq, interrupted, [&](uint16_t type, const uint8_t* body, size_t bodySize) {
            LinkCounters link;
            bool counted = false;
            if (type == RTM_NEWLINK && ReadLink(body, bodySize, link, counted))
                links.push_back(link);
        });
}

CNetlinkPerfDataSource::DumpState CNetlinkPerfDataSource::ParseCounters(
    const uint8_t* data, size_t size, uint32_t seq, LinkCounters& link, int& error)
{
    error = 0;
    bool interrupted = false;
    bool answered = false;
    bool counted = false;
    LinkCounters got;
    const DumpState state = Client::EachMessage(data, size, seq, interrupted, error,
        [&](uint16_t type, const uint8_t* body, size_t bodySize) {
            if (answered)
                return;
            answered = true;
            if (type == RTM_NEWSTATS)
                counted = ReadStats(body, bodySize, got);
            else if (type == RTM_NEWLINK)
                ReadLink(body, bodySize, got, counted);
        });
    // An end of a dump is no answer to a request for one link.
    if (!answered)
        return state == DumpState::More ? DumpState::More : DumpState::Failed;
    error = 0; // an error after the answer belongs to nothing asked
    if (!counted || got.index != link.index)
        return DumpState::Failed;
    link.received = got.received;
    link.sent = got.sent;
    return DumpState::Done;
}
