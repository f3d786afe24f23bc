#pragma once

#include "platform/IRouteTable.h"

#include <cstddef>
#include <cstdint>

class CNetlinkClient;

// The routing table over rtnetlink (one RTM_GETROUTE dump per family), asked once, on the
// first run. Links that are up come from getifaddrs.
class CNetlinkRouteTable : public IRouteTable {
public:
    // Without a client, each question opens a netlink socket of its own.
    CNetlinkRouteTable() = default;
    explicit CNetlinkRouteTable(CNetlinkClient& client);

    std::string DefaultRouteInterface(bool ipv6) override;
    std::vector<std::string> UpInterfaces() override;

    // The best default route so far: output interface index and metric; index 0 for none.
    struct DefaultRoute {
        int32_t index = 0;
        uint32_t metric = UINT32_MAX;
    };
    // Takes one datagram of a route dump with sequence number seq and keeps in best the
    // default route (no destination, main table, unicast) with the lowest metric; returns
    // false once the dump ended or failed (failed set). Bounds-checked: the bytes come from
    // the kernel.
    static bool ParseRouteChunk(
        const uint8_t* data, size_t size, uint32_t seq, DefaultRoute& best, bool& failed);

private:
    CNetlinkClient* m_pClient = nullptr;
};
