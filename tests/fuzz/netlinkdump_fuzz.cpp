// Arbitrary bytes as a datagram of the kernel's link dump, laid out as a block with every
// link's counters, one link's or none.
#include "platform/linux/kernel/NetlinkPerfDataSource.h"
#include "platform/linux/kernel/PerfBlockWriter.h"

#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::vector<LinkCounters> links;
    bool interrupted = false;
    CNetlinkPerfDataSource::ParseDump(data, size, 1, links, interrupted);
    for (size_t counted : { CPerfBlockWriter::kEveryLink, size_t(0), links.size() }) {
        std::vector<uint8_t> block(CPerfBlockWriter::RequiredSize(links, counted));
        const uint32_t at = CPerfBlockWriter::Write(links, block.data(), counted);
        if (at != 0 && counted < links.size())
            CPerfBlockWriter::WriteCounters(links[counted], block.data() + at);
    }
    return 0;
}
