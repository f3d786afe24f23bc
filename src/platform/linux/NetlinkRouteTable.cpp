#include "platform/linux/NetlinkRouteTable.h"

#include "platform/linux/FileDescriptor.h"

#include <ifaddrs.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

namespace {

constexpr size_t kReceiveSize = 32768;
// A routing table of a desktop fits in a few datagrams; a dump longer than this is not trusted.
constexpr int kMaxChunks = 4096;

template <class T> T Load(const uint8_t* p)
{
    T value;
    std::memcpy(&value, p, sizeof value);
    return value;
}

// A default route's interface: its output interface, or the first hop of a multipath route.
void ReadRoute(const uint8_t* body, size_t size, CNetlinkRouteTable::DefaultRoute& best)
{
    if (size < sizeof(rtmsg))
        return;
    const rtmsg route = Load<rtmsg>(body);
    if (route.rtm_dst_len != 0 || route.rtm_type != RTN_UNICAST)
        return;
    uint32_t table = route.rtm_table;
    int32_t index = 0;
    uint32_t metric = 0;
    size_t at = NLMSG_ALIGN(sizeof(rtmsg));
    while (at < size && size - at >= sizeof(rtattr)) {
        const rtattr attr = Load<rtattr>(body + at);
        if (attr.rta_len < sizeof(rtattr) || attr.rta_len > size - at)
            break;
        const uint8_t* payload = body + at + RTA_LENGTH(0);
        const size_t length = attr.rta_len - RTA_LENGTH(0);
        switch (attr.rta_type) {
        case RTA_TABLE:
            if (length >= 4)
                table = Load<uint32_t>(payload);
            break;
        case RTA_OIF:
            if (length >= 4)
                index = Load<int32_t>(payload);
            break;
        case RTA_PRIORITY:
            if (length >= 4)
                metric = Load<uint32_t>(payload);
            break;
        case RTA_MULTIPATH:
            if (index == 0 && length >= sizeof(rtnexthop))
                index = Load<rtnexthop>(payload).rtnh_ifindex;
            break;
        default:
            break;
        }
        at += RTA_ALIGN(attr.rta_len);
    }
    if (table != RT_TABLE_MAIN || index <= 0)
        return;
    if (best.index == 0 || metric < best.metric)
        best = { index, metric };
}

} // namespace

bool CNetlinkRouteTable::ParseRouteChunk(
    const uint8_t* data, size_t size, uint32_t seq, DefaultRoute& best, bool& failed)
{
    size_t pos = 0;
    while (size - pos >= sizeof(nlmsghdr)) {
        const nlmsghdr header = Load<nlmsghdr>(data + pos);
        if (header.nlmsg_len < NLMSG_HDRLEN || header.nlmsg_len > size - pos) {
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
            if (header.nlmsg_type == RTM_NEWROUTE)
                ReadRoute(data + pos + NLMSG_HDRLEN, header.nlmsg_len - NLMSG_HDRLEN, best);
        }
        const size_t step = NLMSG_ALIGN(header.nlmsg_len);
        if (step >= size - pos)
            break;
        pos += step;
    }
    return true;
}

std::string CNetlinkRouteTable::DefaultRouteInterface(bool ipv6)
{
    CFileDescriptor socket(::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE));
    if (!socket.IsValid())
        return {};
    // The dump never waits for anything but the kernel; the timeout only guards start-up.
    timeval timeout { 1, 0 };
    ::setsockopt(socket.Get(), SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    struct {
        nlmsghdr header;
        rtmsg route;
    } request {};
    request.header.nlmsg_len = sizeof request;
    request.header.nlmsg_type = RTM_GETROUTE;
    request.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
    request.header.nlmsg_seq = 1;
    request.route.rtm_family = ipv6 ? AF_INET6 : AF_INET;
    sockaddr_nl kernel {};
    kernel.nl_family = AF_NETLINK;
    if (::sendto(socket.Get(), &request, sizeof request, 0,
            reinterpret_cast<const sockaddr*>(&kernel), sizeof kernel)
        < 0)
        return {};

    const auto buffer = std::make_unique<uint8_t[]>(kReceiveSize);
    DefaultRoute best;
    bool failed = false;
    for (int chunk = 0; chunk < kMaxChunks; ++chunk) {
        const ssize_t n = ::recv(socket.Get(), buffer.get(), kReceiveSize, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return {};
        if (!ParseRouteChunk(buffer.get(), size_t(n), 1, best, failed))
            break;
    }
    char name[IF_NAMESIZE] = {};
    if (failed || best.index <= 0 || !::if_indextoname(unsigned(best.index), name))
        return {};
    return name;
}

std::vector<std::string> CNetlinkRouteTable::UpInterfaces()
{
    std::vector<std::string> names;
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0)
        return names;
    const std::unique_ptr<ifaddrs, void (*)(ifaddrs*)> owner(list, ::freeifaddrs);
    for (const ifaddrs* a = list; a; a = a->ifa_next) {
        // Every link appears once with its link-layer entry, in the kernel's order.
        if (!a->ifa_name || !a->ifa_addr || a->ifa_addr->sa_family != AF_PACKET)
            continue;
        if ((a->ifa_flags & IFF_LOOPBACK) || !(a->ifa_flags & IFF_UP))
            continue;
        if (std::find(names.begin(), names.end(), a->ifa_name) == names.end())
            names.emplace_back(a->ifa_name);
    }
    return names;
}
