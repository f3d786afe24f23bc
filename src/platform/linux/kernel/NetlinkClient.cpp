#include "platform/linux/kernel/NetlinkClient.h"

#include <sys/socket.h>
#include <sys/time.h>

#include <cerrno>

namespace {

// The kernel fills dump datagrams up to the largest read buffer it has seen, at most
// 32 KiB less its own overhead: a buffer of that size takes every datagram whole.
constexpr size_t kReceiveSize = 32768;

} // namespace

CNetlinkClient::CNetlinkClient(bool withLinkEvents)
    : m_socket(::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE))
    , m_receive(kReceiveSize)
{
    if (m_socket.IsValid()) {
        // A dump never waits for anything but the kernel; the timeout only guards the tick.
        timeval timeout { 1, 0 };
        ::setsockopt(m_socket.Get(), SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
        // Connected to the kernel, the socket takes no datagram from anyone else, at no
        // cost per read.
        sockaddr_nl kernel {};
        kernel.nl_family = AF_NETLINK;
        if (::connect(m_socket.Get(), reinterpret_cast<sockaddr*>(&kernel), sizeof kernel) != 0)
            m_socket.Reset();
    }
    if (!withLinkEvents)
        return;
    m_events = CFileDescriptor(
        ::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC | SOCK_NONBLOCK, NETLINK_ROUTE));
    if (!m_events.IsValid())
        return;
    sockaddr_nl local {};
    local.nl_family = AF_NETLINK;
    local.nl_groups = RTMGRP_LINK;
    if (::bind(m_events.Get(), reinterpret_cast<sockaddr*>(&local), sizeof local) != 0)
        m_events.Reset();
}

bool CNetlinkClient::Send(void* request, size_t length)
{
    if (!m_socket.IsValid() || length < sizeof(nlmsghdr))
        return false;
    nlmsghdr header = Load<nlmsghdr>(static_cast<const uint8_t*>(request));
    header.nlmsg_seq = ++m_seq;
    std::memcpy(request, &header, sizeof header);
    sockaddr_nl kernel {};
    kernel.nl_family = AF_NETLINK;
    return ::sendto(m_socket.Get(), request, length, 0, reinterpret_cast<sockaddr*>(&kernel),
               sizeof kernel)
        >= 0;
}

bool CNetlinkClient::Receive(int flags, size_t& size)
{
    for (;;) {
        iovec io { m_receive.data(), m_receive.size() };
        msghdr message {};
        message.msg_iov = &io;
        message.msg_iovlen = 1;
        const ssize_t n = ::recvmsg(m_socket.Get(), &message, flags);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0 || (message.msg_flags & MSG_TRUNC))
            return false;
        size = size_t(n);
        return true;
    }
}

uint64_t CNetlinkClient::LinkGeneration()
{
    if (!m_events.IsValid())
        return ++m_generation;
    bool changed = false;
    for (;;) {
        const ssize_t n = ::recv(m_events.Get(), m_receive.data(), m_receive.size(), MSG_DONTWAIT);
        if (n > 0) {
            changed = true;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        // ENOBUFS: events were lost, which is a change as well.
        if (n < 0 && errno == ENOBUFS) {
            changed = true;
            continue;
        }
        break;
    }
    if (changed)
        ++m_generation;
    return m_generation;
}

uint64_t CNetlinkClient::RouteGeneration()
{
    // Joined on the socket the link events come by, so links and routes are drained as one;
    // readers of links then also hear of route changes, which are rare.
    if (!m_bRouteEvents && m_events.IsValid()) {
        bool joined = true;
        for (const int group : { RTNLGRP_IPV4_ROUTE, RTNLGRP_IPV6_ROUTE })
            joined = ::setsockopt(
                         m_events.Get(), SOL_NETLINK, NETLINK_ADD_MEMBERSHIP, &group, sizeof group)
                    == 0
                && joined;
        m_bRouteEvents = joined;
    }
    if (!m_bRouteEvents)
        return ++m_nUnheardRoutes;
    return LinkGeneration();
}
