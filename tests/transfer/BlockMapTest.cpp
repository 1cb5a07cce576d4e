#include <transfer/BlockMap.h>

#include <gtest/gtest.h>

namespace {

// What no download asks of the map, so no recorded session shows it: a
// block marked good twice counts once, and a claim takes missing blocks only.
TEST(BlockMap, CountsAGoodBlockOnceAndClaimsOnlyMissingBlocks)
{
    BlockMap map(3 * 4096 + 100);
    map.markGood(0);
    map.markGood(0);
    map.markGood(1), map.markGood(2);
    EXPECT_FALSE(map.complete());
    map.claim(1, 3, 1);
    map.claim(3, 3, 2);  // taken already
    EXPECT_EQ(map.carrier(2), -1);
    EXPECT_EQ(map.carrier(3), 1);
    map.markGood(3);
    EXPECT_TRUE(map.complete());
}

} // namespace
