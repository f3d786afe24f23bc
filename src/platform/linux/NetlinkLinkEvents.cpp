#include "platform/linux/NetlinkLinkEvents.h"

#include <cerrno>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <sys/socket.h>

CNetlinkLinkEvents::CNetlinkLinkEvents()
    : m_socket(::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC | SOCK_NONBLOCK, NETLINK_ROUTE))
    , m_buffer(16384)
{
    if (!m_socket.IsValid())
        return;
    sockaddr_nl local {};
    local.nl_family = AF_NETLINK;
    local.nl_groups = RTMGRP_LINK;
    if (::bind(m_socket.Get(), reinterpret_cast<sockaddr*>(&local), sizeof local) != 0)
        m_socket.Reset();
}

bool CNetlinkLinkEvents::Changed()
{
    if (!m_socket.IsValid())
        return true;
    bool changed = false;
    for (;;) {
        const ssize_t n = ::recv(m_socket.Get(), m_buffer.data(), m_buffer.size(), MSG_DONTWAIT);
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
        return changed;
    }
}
