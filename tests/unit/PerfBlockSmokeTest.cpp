#include "traffic/PerfBlock.h"

#include <gtest/gtest.h>

TEST(PerfBlockSmoke, EmptyBlockHasNoObjects)
{
    const CPerfBlock block = CPerfBlock::View(nullptr, 0);
    EXPECT_EQ(block.NumObjectTypes(), 0);
    EXPECT_EQ(block.FirstObject(), CPerfBlock::kNone);
}
