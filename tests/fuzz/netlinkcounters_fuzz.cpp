// Arbitrary bytes as a datagram of the kernel's answer to a request for one link's counters.
#include "platform/linux/kernel/NetlinkPerfDataSource.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    LinkCounters link;
    link.index = 1;
    int error = 0;
    const auto state = CNetlinkPerfDataSource::ParseCounters(data, size, 1, link, error);
    // Counters come only with an answer, and an error number only with a failure.
    if (state != CNetlinkPerfDataSource::DumpState::Done && (link.received || link.sent))
        __builtin_trap();
    if (state != CNetlinkPerfDataSource::DumpState::Failed && error != 0)
        __builtin_trap();
    return 0;
}
