#pragma once

#include <string>
#include <vector>

// What the kernel's links and routes say: whether the machine has a working network
// connection (asked twice per 200 ms tick), and, on the first run only, which interface the
// graphs should watch.
class IConnectionState {
public:
    virtual ~IConnectionState() = default;
    virtual bool IsConnected() = 0;
    // The interface of the default route of that family (IPv4 when ipv6 is false), the one
    // with the lowest metric; empty when there is none.
    virtual std::string DefaultRouteInterface(bool ipv6) = 0;
    // The interfaces other than loopback that are up, in the kernel's order.
    virtual std::vector<std::string> UpInterfaces() = 0;
};
