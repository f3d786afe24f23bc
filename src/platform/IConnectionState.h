#pragma once

#include <cstdint>
#include <string>
#include <vector>

// What the kernel's links and routes say: whether the machine has a working network
// connection (asked once per 200 ms tick), and which interface the graphs should watch when
// the user leaves that to the program.
class IConnectionState {
public:
    virtual ~IConnectionState() = default;
    virtual bool IsConnected() = 0;
    // The interface of the default route of that family (IPv4 when ipv6 is false), the one
    // with the lowest metric; empty when there is none.
    virtual std::string DefaultRouteInterface(bool ipv6) = 0;
    // The interfaces other than loopback that are up, in the kernel's order.
    virtual std::vector<std::string> UpInterfaces() = 0;
    // A count that moves on whenever routes or links changed since it was last asked (or
    // whether they did cannot be told): the two questions above need asking again only then.
    // Cheap enough for every tick.
    virtual uint64_t RouteGeneration() = 0;
};
