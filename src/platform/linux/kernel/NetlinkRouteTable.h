#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class CNetlinkClient;

// The routing table over rtnetlink (one RTM_GETROUTE dump per family), asked at start-up and
// again when routes or links changed. Links that are up come from getifaddrs.
class CNetlinkRouteTable {
public:
    // Without a client, each question opens a netlink socket of its own.
    CNetlinkRouteTable() = default;
    explicit CNetlinkRouteTable(CNetlinkClient& client);

    // The interface of the default route of that family with the lowest metric; empty for none.
    std::string DefaultRouteInterface(bool ipv6);
    // The interfaces other than loopback that are up, in the kernel's order.
    std::vector<std::string> UpInterfaces();

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
