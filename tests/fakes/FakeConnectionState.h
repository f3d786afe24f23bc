#pragma once

#include "platform/IConnectionState.h"

// A connection state, routes and links the test sets; counts how often the state and the
// routes were asked.
class CFakeConnectionState : public IConnectionState {
public:
    bool IsConnected() override
    {
        ++queries;
        return connected;
    }
    std::string DefaultRouteInterface(bool ipv6) override
    {
        ++routeQueries;
        return ipv6 ? route6 : route4;
    }
    std::vector<std::string> UpInterfaces() override { return up; }
    uint64_t RouteGeneration() override { return routeGeneration; }

    bool connected = true;
    int queries = 0;
    std::string route4;
    std::string route6;
    std::vector<std::string> up;
    uint64_t routeGeneration = 0; // a test that changes the routes or links moves it on
    int routeQueries = 0;
};
