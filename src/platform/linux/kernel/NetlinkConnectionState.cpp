#include "platform/linux/kernel/NetlinkConnectionState.h"

#include <net/if.h>
#include <sys/socket.h>

namespace {

bool IsConnectedLink(unsigned flags)
{
    return !(flags & IFF_LOOPBACK) && (flags & IFF_UP) && (flags & IFF_RUNNING);
}

} // namespace

CNetlinkConnectionState::CNetlinkConnectionState()
    : m_pOwnClient(std::make_unique<CNetlinkClient>())
    , m_client(*m_pOwnClient)
    , m_routes(m_client)
{
}

CNetlinkConnectionState::CNetlinkConnectionState(CNetlinkClient& client)
    : m_client(client)
    , m_routes(m_client)
{
}

CNetlinkConnectionState::~CNetlinkConnectionState() = default;

std::string CNetlinkConnectionState::DefaultRouteInterface(bool ipv6)
{
    return m_routes.DefaultRouteInterface(ipv6);
}

std::vector<std::string> CNetlinkConnectionState::UpInterfaces()
{
    return m_routes.UpInterfaces();
}

bool CNetlinkConnectionState::ParseLinkChunk(
    const uint8_t* data, size_t length, uint32_t seq, bool& connected, bool& failed)
{
    bool interrupted = false;
    const auto state = CNetlinkClient::EachMessage(
        data, length, seq, interrupted, [&](uint16_t type, const uint8_t* body, size_t size) {
            if (type == RTM_NEWLINK && size >= sizeof(ifinfomsg)
                && IsConnectedLink(CNetlinkClient::Load<ifinfomsg>(body).ifi_flags))
                connected = true;
        });
    if (state == CNetlinkClient::DumpState::Failed)
        failed = true;
    return state == CNetlinkClient::DumpState::More;
}

bool CNetlinkConnectionState::IsConnected()
{
    // Drain the events first: a change that comes during the dump still shows next time.
    const uint64_t generation = m_client.LinkGeneration();
    if (generation != m_nLinkGeneration || !m_bKnown) {
        m_nLinkGeneration = generation;
        bool ok = false;
        m_bConnected = Query(ok);
        m_bKnown = ok && m_client.HasLinkEvents();
    }
    return m_bConnected;
}

bool CNetlinkConnectionState::Query(bool& ok)
{
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
    request.link.ifi_family = AF_UNSPEC;
    request.extMaskAttr.rta_type = IFLA_EXT_MASK;
    request.extMaskAttr.rta_len = RTA_LENGTH(sizeof(uint32_t));
    request.extMask = RTEXT_FILTER_SKIP_STATS;

    // The kernel queues the next chunk of a dump while the previous one is read, so the
    // reads never have to wait; one that would means something is wrong, and blocking the
    // timer tick is worse than a wrong answer. A failing query counts as no connection.
    bool connected = false;
    ok = m_client.Dump(&request, sizeof request, MSG_DONTWAIT,
        [&](const uint8_t* data, size_t size, uint32_t seq) {
            bool failed = false;
            if (ParseLinkChunk(data, size, seq, connected, failed))
                return CNetlinkClient::DumpState::More;
            return failed ? CNetlinkClient::DumpState::Failed : CNetlinkClient::DumpState::Done;
        });
    return ok && connected;
}
