#include "platform/linux/kernel/NetlinkRouteTable.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// One received chunk of a route dump, as the kernel (or anyone who can send to the socket)
// might hand it over. The copy makes every read past the end visible to the sanitizer.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::vector<uint8_t> chunk(data, data + size);
    CNetlinkRouteTable::DefaultRoute best;
    bool failed = false;
    CNetlinkRouteTable::ParseRouteChunk(chunk.data(), chunk.size(), 1, best, failed);
    return 0;
}
