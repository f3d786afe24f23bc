#include "platform/linux/kernel/LinkSpeedCache.h"

#include <linux/ethtool.h>
#include <linux/sockios.h>
#include <net/if.h>
#include <sys/ioctl.h>
#include <sys/socket.h>

#include <cstring>

CLinkSpeedCache::CLinkSpeedCache()
    // Any socket reaches the device ioctls; a local datagram socket needs no address family
    // that might be switched off.
    : m_socket(::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0))
{
}

uint64_t CLinkSpeedCache::Bandwidth(const char* name, uint64_t stamp)
{
    ++m_seen;
    auto [it, added] = m_entries.try_emplace(name);
    Entry& entry = it->second;
    if (added || entry.stamp != stamp) {
        entry.stamp = stamp;
        entry.bandwidth = AskDriver(name);
    }
    entry.pass = m_pass;
    return entry.bandwidth;
}

void CLinkSpeedCache::EndPass()
{
    if (m_entries.size() > m_seen)
        std::erase_if(m_entries, [this](const auto& item) { return item.second.pass != m_pass; });
    m_seen = 0;
}

uint64_t CLinkSpeedCache::AskDriver(const char* name) const
{
    if (!m_socket.IsValid())
        return 0;
    ifreq request {};
    std::strncpy(request.ifr_name, name, IFNAMSIZ - 1);
    // ETHTOOL_GSET is the oldest form of the request; the kernel answers it for every
    // driver that knows its link settings, without privileges.
    ethtool_cmd command {};
    command.cmd = ETHTOOL_GSET;
    request.ifr_data = reinterpret_cast<char*>(&command);
    if (::ioctl(m_socket.Get(), SIOCETHTOOL, &request) != 0)
        return 0;
    const uint32_t mbits = ethtool_cmd_speed(&command);
    // SPEED_UNKNOWN is -1; old drivers left the low half at 0xFFFF.
    if (mbits == 0 || mbits == uint32_t(SPEED_UNKNOWN) || mbits == 0xFFFF)
        return 0;
    return uint64_t(mbits) * 1000000u;
}
