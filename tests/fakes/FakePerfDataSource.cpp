#include "fakes/FakePerfDataSource.h"

#include <cstring>

long CFakePerfDataSource::Query(uint8_t* buffer, uint32_t& size)
{
    ++queries;
    offered.push_back(size);
    if (error != 0)
        return error;
    if (block.size() > size)
        return kPerfMoreData;
    if (!block.empty())
        std::memcpy(buffer, block.data(), block.size());
    size = uint32_t(block.size());
    return kPerfSuccess;
}
