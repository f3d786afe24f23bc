#include "fakes/FakePerfDataSource.h"
#include "support/PerfBlockBuilder.h"
#include "traffic/InterfaceCounter.h"

#include <gtest/gtest.h>

TEST(PerfBlockSmoke, ReadsTheGrowthOfOneInterface)
{
    CFakePerfDataSource source;
    source.block = BuildNetworkBlock({{u"lo", 1000, 10}, {u"eth0", 7, 8}}).bytes;
    CInterfaceCounter counter(source);
    ASSERT_EQ(counter.GetLastIndex(), 1);
    counter.SetCounter(CInterfaceCounter::kBytesReceived);
    EXPECT_EQ(counter.ReadDelta(0), 0.0);
    source.block = BuildNetworkBlock({{u"lo", 5096, 10}, {u"eth0", 7, 8}}).bytes;
    EXPECT_EQ(counter.ReadDelta(0), 4096.0);
}
