#pragma once

#include "platform/IRouteTable.h"

// Routes and links the test sets.
class CFakeRouteTable : public IRouteTable {
public:
    std::string DefaultRouteInterface(bool ipv6) override { return ipv6 ? route6 : route4; }
    std::vector<std::string> UpInterfaces() override { return up; }

    std::string route4;
    std::string route6;
    std::vector<std::string> up;
};
