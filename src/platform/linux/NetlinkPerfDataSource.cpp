#include "platform/linux/NetlinkPerfDataSource.h"

#include "platform/linux/PerfBlockWriter.h"

#include <linux/if_link.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <sys/socket.h>
#include <sys/time.h>

#include <cerrno>
#include <cstring>

namespace {

// The kernel fills dump datagrams up to the largest read buffer it has seen, at most
// 32 KiB less its own overhead: a buffer of that size takes every datagram whole.
constexpr size_t kReceiveSize = 32768;
// A dump the kernel marks as interrupted (links changed meanwhile) is asked again this often.
constexpr int kDumpAttempts = 3;

template <class T> T Load(const uint8_t* p)
{
    T value;
    std::memcpy(&value, p, sizeof value);
    return value;
}

uint64_t Stamp(const LinkCounters& link)
{
    return uint64_t(uint32_t(link.index)) << 32 | link.operState;
}

} // namespace

CNetlinkPerfDataSource::CNetlinkPerfDataSource()
    : m_socket(::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE))
    , m_receive(kReceiveSize)
{
    if (m_socket.IsValid()) {
        // A dump never waits for anything but the kernel; the timeout only guards the tick.
        timeval timeout {1, 0};
        ::setsockopt(m_socket.Get(), SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    }
}

CNetlinkPerfDataSource::~CNetlinkPerfDataSource() = default;

long CNetlinkPerfDataSource::Query(uint8_t* buffer, uint32_t& size)
{
    if (!Dump())
        return kPerfFailure;
    m_speeds.BeginPass();
    for (LinkCounters& link : m_links)
        link.bandwidth = m_speeds.Bandwidth(link.name, Stamp(link));
    m_speeds.EndPass();
    return CPerfBlockWriter::Answer(m_links, buffer, size);
}

bool CNetlinkPerfDataSource::Dump()
{
    if (!m_socket.IsValid())
        return false;
    for (int attempt = 0; attempt < kDumpAttempts; ++attempt) {
        m_links.clear();
        struct
        {
            nlmsghdr header;
            ifinfomsg info;
        } request {};
        request.header.nlmsg_len = sizeof request;
        request.header.nlmsg_type = RTM_GETLINK;
        request.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
        request.header.nlmsg_seq = ++m_seq;
        request.info.ifi_family = AF_UNSPEC;
        sockaddr_nl kernel {};
        kernel.nl_family = AF_NETLINK;
        if (::sendto(m_socket.Get(), &request, sizeof request, 0,
                     reinterpret_cast<sockaddr*>(&kernel), sizeof kernel) < 0)
            return false;

        DumpState state = DumpState::More;
        bool interrupted = false;
        while (state == DumpState::More) {
            iovec io {m_receive.data(), m_receive.size()};
            msghdr message {};
            message.msg_iov = &io;
            message.msg_iovlen = 1;
            const ssize_t n = ::recvmsg(m_socket.Get(), &message, 0);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0 || (message.msg_flags & MSG_TRUNC))
                return false;
            state = ParseDump(m_receive.data(), size_t(n), m_seq, m_links, interrupted);
        }
        if (state == DumpState::Failed)
            return false;
        if (!interrupted)
            return true;
    }
    // Links keep changing under the dump; the last one is as good as any.
    return true;
}

CNetlinkPerfDataSource::DumpState CNetlinkPerfDataSource::ParseDump(
    const uint8_t* data, size_t size, uint32_t seq, std::vector<LinkCounters>& links,
    bool& interrupted)
{
    size_t pos = 0;
    while (size - pos >= sizeof(nlmsghdr)) {
        const nlmsghdr header = Load<nlmsghdr>(data + pos);
        if (header.nlmsg_len < sizeof(nlmsghdr) || header.nlmsg_len > size - pos)
            return DumpState::Failed;
        const uint8_t* body = data + pos + NLMSG_HDRLEN;
        const size_t bodySize = header.nlmsg_len > NLMSG_HDRLEN ? header.nlmsg_len - NLMSG_HDRLEN : 0;
        pos += NLMSG_ALIGN(header.nlmsg_len) < size - pos ? NLMSG_ALIGN(header.nlmsg_len) : size - pos;
        // Left-overs of an earlier dump that was given up carry an older number.
        if (header.nlmsg_seq != seq)
            continue;
        if (header.nlmsg_flags & NLM_F_DUMP_INTR)
            interrupted = true;
        if (header.nlmsg_type == NLMSG_DONE)
            return DumpState::Done;
        if (header.nlmsg_type == NLMSG_ERROR)
            return DumpState::Failed;
        if (header.nlmsg_type != RTM_NEWLINK || bodySize < sizeof(ifinfomsg))
            continue;

        LinkCounters link;
        link.index = Load<ifinfomsg>(body).ifi_index;
        bool named = false;
        bool have64 = false;
        size_t at = NLMSG_ALIGN(sizeof(ifinfomsg));
        while (at < bodySize && bodySize - at >= sizeof(rtattr)) {
            const rtattr attr = Load<rtattr>(body + at);
            if (attr.rta_len < sizeof(rtattr) || attr.rta_len > bodySize - at)
                break;
            const uint8_t* payload = body + at + RTA_LENGTH(0);
            const size_t length = attr.rta_len - RTA_LENGTH(0);
            switch (attr.rta_type) {
            case IFLA_IFNAME: {
                const size_t n = strnlen(reinterpret_cast<const char*>(payload), length);
                const size_t kept = n < sizeof(link.name) - 1 ? n : sizeof(link.name) - 1;
                std::memcpy(link.name, payload, kept);
                link.name[kept] = '\0';
                named = kept > 0;
                break;
            }
            case IFLA_STATS64:
                // rx_packets, tx_packets, rx_bytes, tx_bytes lead the structure.
                if (length >= 4 * sizeof(uint64_t)) {
                    link.received = Load<uint64_t>(payload + 2 * sizeof(uint64_t));
                    link.sent = Load<uint64_t>(payload + 3 * sizeof(uint64_t));
                    have64 = true;
                }
                break;
            case IFLA_STATS:
                if (!have64 && length >= 4 * sizeof(uint32_t)) {
                    link.received = Load<uint32_t>(payload + 2 * sizeof(uint32_t));
                    link.sent = Load<uint32_t>(payload + 3 * sizeof(uint32_t));
                }
                break;
            case IFLA_OPERSTATE:
                if (length >= 1)
                    link.operState = payload[0];
                break;
            default:
                break;
            }
            at += RTA_ALIGN(attr.rta_len);
        }
        if (named)
            links.push_back(link);
    }
    return DumpState::More;
}
