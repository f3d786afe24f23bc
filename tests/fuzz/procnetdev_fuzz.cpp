// Arbitrary text as the kernel's table of interface counters.
#include "platform/linux/kernel/PerfBlockWriter.h"
#include "support/ProcNetDevPerfDataSource.h"

#include <string_view>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::vector<LinkCounters> links;
    CProcNetDevPerfDataSource::ParseTable(
        std::string_view(reinterpret_cast<const char*>(data), size), links);
    std::vector<uint8_t> block(CPerfBlockWriter::RequiredSize(links));
    CPerfBlockWriter::Write(links, block.data());
    return 0;
}
