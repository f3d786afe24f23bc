#pragma once

#include "platform/IConnectionState.h"
#include "platform/linux/kernel/NetlinkClient.h"
#include "platform/linux/kernel/NetlinkRouteTable.h"

#include <cstddef>
#include <cstdint>
#include <memory>

// Connected when some interface other than loopback is up and running. Asks the kernel for
// its links in one RTM_GETLINK dump over a netlink socket kept open between calls, into a
// buffer kept too: no file per interface and no allocation. The answer is kept until the
// kernel reports a link event, so a call in a quiet moment costs one non-blocking receive.
// A failing query counts as no connection and is asked again next time. The questions about
// routes go to the routing table over the same client, and are asked again only after the
// kernel reported a change of routes or links.
class CNetlinkConnectionState : public IConnectionState {
public:
    // With a netlink client of its own, or one shared with the program's other readers.
    CNetlinkConnectionState();
    explicit CNetlinkConnectionState(CNetlinkClient& client);
    ~CNetlinkConnectionState() override;

    CNetlinkConnectionState(const CNetlinkConnectionState&) = delete;
    CNetlinkConnectionState& operator=(const CNetlinkConnectionState&) = delete;

    bool IsConnected() override;
    std::string DefaultRouteInterface(bool ipv6) override;
    std::vector<std::string> UpInterfaces() override;
    uint64_t RouteGeneration() override { return m_client.RouteGeneration(); }

    // Walks one received chunk of a link dump: sets connected when a link other than
    // loopback is up and running; returns false when the dump ended (done or error) or
    // the chunk is malformed. Bounds-checked: the chunk comes from the kernel.
    static bool ParseLinkChunk(
        const uint8_t* data, std::size_t length, uint32_t seq, bool& connected, bool& failed);

private:
    // One link dump; ok is false when the kernel could not be asked.
    bool Query(bool& ok);

    std::unique_ptr<CNetlinkClient> m_pOwnClient;
    CNetlinkClient& m_client;
    CNetlinkRouteTable m_routes;
    uint64_t m_nLinkGeneration = 0;
    bool m_bKnown = false; // m_bConnected answers until the next link event
    bool m_bConnected = false;
};
