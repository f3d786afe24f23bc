#include "fakes/FakePerfDataSource.h"

#include <cstring>

long CFakePerfDataSource::Query(uint8_t* buffer, uint32_t& size)
{
    ++queries;
    offered.push_back(size);
    calls.push_back("query");
    if (error != 0)
        return error;
    const auto watching = whenWatched.find(watched);
    const std::vector<uint8_t>& served = watching != whenWatched.end() ? watching->second : block;
    if (served.size() > size)
        return kPerfMoreData;
    if (!served.empty())
        std::memcpy(buffer, served.data(), served.size());
    size = uint32_t(served.size());
    return kPerfSuccess;
}

void CFakePerfDataSource::Watch(uint32_t uniqueId)
{
    watched = uniqueId;
    calls.push_back("watch " + std::to_string(uniqueId));
}
