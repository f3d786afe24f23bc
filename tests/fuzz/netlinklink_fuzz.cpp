#include "platform/linux/kernel/NetlinkConnectionState.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// One received chunk of a link dump, as the kernel (or anyone who can send to the socket)
// might hand it over. The copy makes every read past the end visible to the sanitizer.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::vector<uint8_t> chunk(data, data + size);
    bool connected = false;
    bool failed = false;
    CNetlinkConnectionState::ParseLinkChunk(chunk.data(), chunk.size(), 7, connected, failed);
    return 0;
}
