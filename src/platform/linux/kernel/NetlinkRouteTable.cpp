#include "platform/linux/kernel/NetlinkRouteTable.h"

#include "platform/linux/kernel/NetlinkClient.h"

#include <ifaddrs.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <memory>

namespace {

using Client = CNetlinkClient;

// A default route's interface: its output interface, or the first hop of a multipath route.
void ReadRoute(const uint8_t* body, size_t size, CNetlinkRouteTable::DefaultRoute& best)
{
    if (size < sizeof(rtmsg))
        return;
    const rtmsg route = Client::Load<rtmsg>(body);
    if (route.rtm_dst_len != 0 || route.rtm_type != RTN_UNICAST)
        return;
    uint32_t table = route.rtm_table;
    int32_t index = 0;
    uint32_t metric = 0;
    const size_t start = NLMSG_ALIGN(sizeof(rtmsg));
    Client::EachAttribute(
        body + start, size - start, [&](uint16_t type, const uint8_t* payload, size_t length) {
            switch (type) {
            case RTA_TABLE:
                if (length >= 4)
                    table = Client::Load<uint32_t>(payload);
                break;
            case RTA_OIF:
                if (length >= 4)
                    index = Client::Load<int32_t>(payload);
                break;
            case RTA_PRIORITY:
                if (length >= 4)
                    metric = Client::Load<uint32_t>(payload);
                break;
            case RTA_MULTIPATH:
                if (index == 0 && length >= sizeof(rtnexthop))
                    index = Client::Load<rtnexthop>(payload).rtnh_ifindex;
                break;
            default:
                break;
            }
        });
    if (table != RT_TABLE_MAIN || index <= 0)
        return;
    if (best.index == 0 || metric < best.metric)
        best = { index, metric };
}

} // namespace

CNetlinkRouteTable::CNetlinkRouteTable(CNetlinkClient& client)
    : m_pClient(&client)
{
}

bool CNetlinkRouteTable::ParseRouteChunk(
    const uint8_t* data, size_t size, uint32_t seq, DefaultRoute& best, bool& failed)
{
    bool interrupted = false;
    const auto state = Client::EachMessage(
        data, size, seq, interrupted, [&](uint16_t type, const uint8_t* body, size_t bodySize) {
            if (type == RTM_NEWROUTE)
                ReadRoute(body, bodySize, best);
        });
    if (state == Client::DumpState::Failed)
        failed = true;
    return state == Client::DumpState::More;
}

std::string CNetlinkRouteTable::DefaultRouteInterface(bool ipv6)
{
    // Without a shared client, a socket for this question only.
    std::unique_ptr<CNetlinkClient> pOwnClient;
    if (!m_pClient)
        pOwnClient = std::make_unique<CNetlinkClient>(false);
    CNetlinkClient& client = m_pClient ? *m_pClient : *pOwnClient;

    struct {
        nlmsghdr header;
        rtmsg route;
    } request {};
    request.header.nlmsg_len = sizeof request;
    request.header.nlmsg_type = RTM_GETROUTE;
    request.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
    request.route.rtm_family = ipv6 ? AF_INET6 : AF_INET;

    DefaultRoute best;
    const bool ok = client.Dump(
        &request, sizeof request, 0, [&](const uint8_t* data, size_t size, uint32_t seq) {
            bool failed = false;
            if (ParseRouteChunk(data, size, seq, best, failed))
                return Client::DumpState::More;
            return failed ? Client::DumpState::Failed : Client::DumpState::Done;
        });
    char name[IF_NAMESIZE] = {};
    if (!ok || best.index <= 0 || !::if_indextoname(unsigned(best.index), name))
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
