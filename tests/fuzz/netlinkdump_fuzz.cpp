// Arbitrary bytes as a datagram of the kernel's link or statistics dump.
#include "platform/linux/kernel/NetlinkPerfDataSource.h"
#include "platform/linux/kernel/PerfBlockWriter.h"

#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::vector<LinkCounters> links;
    bool interrupted = false;
    CNetlinkPerfDataSource::ParseDump(data, size, 1, links, interrupted);
    CNetlinkPerfDataSource::ParseStatsDump(data, size, 1, links, interrupted);
    std::vector<uint8_t> block(CPerfBlockWriter::RequiredSize(links));
    CPerfBlockWriter::Write(links, block.data());
    return 0;
}
