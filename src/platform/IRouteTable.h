#pragma once

#include <string>
#include <vector>

// What the kernel's routes and links say about the interface a first run should watch.
class IRouteTable {
public:
    virtual ~IRouteTable() = default;
    // The interface of the default route of that family (IPv4 when ipv6 is false), the one
    // with the lowest metric; empty when there is none.
    virtual std::string DefaultRouteInterface(bool ipv6) = 0;
    // The interfaces other than loopback that are up, in the kernel's order.
    virtual std::vector<std::string> UpInterfaces() = 0;
};
