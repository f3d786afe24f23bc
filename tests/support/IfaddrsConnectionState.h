#pragma once

#include "platform/IConnectionState.h"

// Connected when some interface other than loopback is up and running, asked through
// getifaddrs(3). Simple, but every call dumps the kernel's links and addresses and
// allocates the list; CNetlinkConnectionState, which the program uses, asks for the links
// only. Kept for the benchmarks to compare with and for the tests to check it against; they
// hand it to the graphs, which never ask about routes, so it knows of none.
class CIfaddrsConnectionState : public IConnectionState {
public:
    bool IsConnected() override;
    std::string DefaultRouteInterface(bool) override { return {}; }
    std::vector<std::string> UpInterfaces() override { return {}; }
    uint64_t RouteGeneration() override { return 0; }
};
