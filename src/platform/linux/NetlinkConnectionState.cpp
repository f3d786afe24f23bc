#include "platform/linux/NetlinkConnectionState.h"

#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

// One chunk of a dump holds as many links as fit; 32 KiB is the most the kernel puts in one.
constexpr size_t kBufferSize = 32 * 1024;
// A machine has a handful of links; a dump that goes on longer than this is not trusted.
constexpr int kMaxChunks = 1024;

bool IsConnectedLink(unsigned flags)
{
    return !(flags & IFF_LOOPBACK) && (flags & IFF_UP) && (flags & IFF_RUNNING);
}

} // namespace

CNetlinkConnectionState::CNetlinkConnectionState()
    : m_buffer(kBufferSize)
{
    Open();
}

CNetlinkConnectionState::~CNetlinkConnectionState()
{
    Close();
}

bool CNetlinkConnectionState::Open()
{
    if (m_hSocket >= 0)
        return true;
    m_hSocket = socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE);
    return m_hSocket >= 0;
}

void CNetlinkConnectionState::Close()
{
    if (m_hSocket >= 0)
        close(m_hSocket);
    m_hSocket = -1;
}

bool CNetlinkConnectionState::ParseLinkChunk(
    const uint8_t* data, size_t length, uint32_t seq, bool& connected, bool& failed)
{
    size_t pos = 0;
    while (length - pos >= sizeof(nlmsghdr)) {
        nlmsghdr header;
        std::memcpy(&header, data + pos, sizeof header);
        if (header.nlmsg_len < sizeof(nlmsghdr) || header.nlmsg_len > length - pos) {
            failed = true;
            return false;
        }
        if (header.nlmsg_seq == seq) {
            if (header.nlmsg_type == NLMSG_DONE)
                return false;
            if (header.nlmsg_type == NLMSG_ERROR) {
                failed = true;
                return false;
            }
            if (header.nlmsg_type == RTM_NEWLINK
                && header.nlmsg_len >= NLMSG_LENGTH(sizeof(ifinfomsg))) {
                ifinfomsg link;
                std::memcpy(&link, data + pos + NLMSG_HDRLEN, sizeof link);
                if (IsConnectedLink(link.ifi_flags))
                    connected = true;
            }
        }
        const size_t step = NLMSG_ALIGN(header.nlmsg_len);
        if (step >= length - pos)
            break;
        pos += step;
    }
    return true;
}

bool CNetlinkConnectionState::IsConnected()
{
    // Drain the events first: a change that comes during the dump still shows next time.
    if (m_events.Changed() || !m_bKnown) {
        bool ok = false;
        m_bConnected = Query(ok);
        m_bKnown = ok && m_events.IsValid();
    }
    return m_bConnected;
}

bool CNetlinkConnectionState::Query(bool& ok)
{
    ok = false;
    if (!Open())
        return false; // a failing query counts as no connection

    // Only the flags are wanted: ask the kernel to leave out each link's statistics, which
    // are most of a dump's bytes (kernels that do not know the bit send them anyway).
    struct {
        nlmsghdr header;
        ifinfomsg link;
        rtattr extMaskAttr;
        uint32_t extMask;
    } request {};
    static_assert(sizeof request == NLMSG_LENGTH(sizeof(ifinfomsg)) + RTA_LENGTH(sizeof(uint32_t)));
    request.header.nlmsg_len = sizeof request;
    request.header.nlmsg_type = RTM_GETLINK;
    request.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
    request.header.nlmsg_seq = ++m_nSeq;
    request.link.ifi_family = AF_UNSPEC;
    request.extMaskAttr.rta_type = IFLA_EXT_MASK;
    request.extMaskAttr.rta_len = RTA_LENGTH(sizeof(uint32_t));
    request.extMask = RTEXT_FILTER_SKIP_STATS;

    sockaddr_nl kernel {};
    kernel.nl_family = AF_NETLINK;
    if (sendto(m_hSocket, &request, request.header.nlmsg_len, 0,
            reinterpret_cast<const sockaddr*>(&kernel), sizeof kernel)
        < 0) {
        Close();
        return false;
    }

    // The kernel queues the next chunk of a dump while the previous one is read, so the
    // reads never have to wait; one that would means something is wrong, and blocking the
    // timer tick is worse than a wrong answer.
    bool connected = false;
    bool failed = false;
    for (int chunk = 0; chunk < kMaxChunks; ++chunk) {
        sockaddr_nl from {};
        socklen_t fromLength = sizeof from;
        const ssize_t received = recvfrom(m_hSocket, m_buffer.data(), m_buffer.size(),
            MSG_DONTWAIT | MSG_TRUNC, reinterpret_cast<sockaddr*>(&from), &fromLength);
        if (received < 0 && errno == EINTR)
            continue;
        if (received <= 0 || size_t(received) > m_buffer.size()) {
            Close(); // drops whatever is left of this dump with the socket
            return false;
        }
        if (from.nl_pid != 0)
            continue; // only the kernel answers this query
        if (!ParseLinkChunk(m_buffer.data(), size_t(received), m_nSeq, connected, failed)) {
            if (failed) {
                Close();
                return false;
            }
            ok = true;
            return connected;
        }
    }
    Close();
    return false;
}
