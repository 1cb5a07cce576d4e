#include <transfer/BlockMap.h>

#include <gtest/gtest.h>

namespace {

TEST(BlockMap, CountsGoodBytesWithAShortLastBlock)
{
    BlockMap map(3 * 4096 + 100);
    ASSERT_EQ(map.blockCount(), 4);
    EXPECT_EQ(map.bytesOf(3), 100);
    map.markGood(3);
    EXPECT_EQ(map.goodBytes(), 100);
    map.markGood(0);
    map.markGood(0);  // twice is once
    EXPECT_EQ(map.goodBytes(), 4196);
    map.markGood(1), map.markGood(2);
    EXPECT_TRUE(map.complete());
    EXPECT_EQ(map.goodBytes(), map.fileSize());
}

TEST(BlockMap, ClaimsOnlyMissingBlocksAndReleasesOnlyItsOwn)
{
    BlockMap map(10 * 4096);
    map.markGood(2);
    map.claim(0, 4, 1);
    EXPECT_EQ(map.carrier(0), 1);
    EXPECT_EQ(map.carrier(2), -1);  // good stays good
    EXPECT_TRUE(map.isGood(2));
    map.claim(3, 6, 2);             // 3 and 4 are taken already
    EXPECT_EQ(map.carrier(4), 1);
    EXPECT_EQ(map.carrier(5), 2);
    EXPECT_EQ(map.openBlocks(), 3);
    map.handOver(4, 9, 1, 3);
    EXPECT_EQ(map.carrier(4), 3);
    EXPECT_EQ(map.carrier(5), 2);   // not 1's to give
    map.release(2);
    EXPECT_TRUE(map.isMissing(5) && map.isMissing(6));
    EXPECT_EQ(map.carrier(0), 1);
    EXPECT_EQ(map.openBlocks(), 5);
}

TEST(BlockMap, ABadBlockIsAvoidedByItsSenderOnly)
{
    BlockMap map(8 * 4096);
    for (qint64 k = 0; k < 3; ++k)
        map.markGood(k);
    map.claim(3, 7, 0);
    map.markBad(3, 0);
    map.release(0);
    EXPECT_TRUE(map.avoids(3, 0));
    EXPECT_EQ(map.firstOpen(0, 0, true), 4);
    EXPECT_EQ(map.firstOpen(0, 0, false), 3);
    EXPECT_EQ(map.firstOpen(0, 1, true), 3);
    EXPECT_EQ(map.openRunEnd(4, 100, 0, true), 7);
    EXPECT_EQ(map.openRunEnd(4, 2, 0, true), 5);
    map.markGood(3);
    EXPECT_FALSE(map.avoids(3, 0));
}

} // namespace
