#pragma once

#include "platform/linux/FileDescriptor.h"

#include <cstdint>
#include <vector>

// Tells whether the kernel's links changed (added, removed, renamed, up, down, carrier)
// since it was last asked: a netlink socket subscribed to link events, drained without
// waiting. Lets a reader keep what it learned from a costly link dump until it is stale.
class CNetlinkLinkEvents {
public:
    CNetlinkLinkEvents();

    // False when the kernel would not let the socket subscribe: every call then says
    // "changed", so the caller dumps each time.
    bool IsValid() const { return m_socket.IsValid(); }
    // True when any event arrived, or events were lost, since the previous call.
    bool Changed();

private:
    CFileDescriptor m_socket;
    std::vector<uint8_t> m_buffer;
};
