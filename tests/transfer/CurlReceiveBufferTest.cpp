#include <transfer/CurlReceiveBuffer.h>

#include <gtest/gtest.h>

namespace {

QByteArray pattern(qsizetype size, char seed)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i)
        bytes[i] = char(seed + i * 7);
    return bytes;
}

TEST(CurlReceiveBufferTest, RefusesWhatDoesNotFitAndNeverExceedsTheCapacity)
{
    CurlReceiveBuffer buffer(100);
    EXPECT_TRUE(buffer.append(pattern(60, 1).constData(), 60));
    EXPECT_FALSE(buffer.append(pattern(41, 2).constData(), 41));  // all or nothing
    EXPECT_EQ(buffer.size(), 60);
    EXPECT_TRUE(buffer.append(pattern(40, 3).constData(), 40));
    EXPECT_EQ(buffer.size(), 100);
    EXPECT_EQ(buffer.peakSize(), 100);
    EXPECT_TRUE(buffer.front(60) == pattern(60, 1));
    EXPECT_TRUE(buffer.front(1000).sliced(60) == pattern(40, 3));
}

TEST(CurlReceiveBufferTest, ConsumedRoomComesBackOnlyThroughCompaction)
{
    CurlReceiveBuffer buffer(100);
    ASSERT_TRUE(buffer.append(pattern(90, 1).constData(), 90));
    const QByteArrayView view = buffer.front(30);
    buffer.consume(30);
    // The reader's view was not moved by a refused append.
    EXPECT_FALSE(buffer.append(pattern(20, 2).constData(), 20));
    EXPECT_TRUE(view == pattern(30, 1));

    buffer.compact();  // 30 < half: nothing moves
    EXPECT_FALSE(buffer.append(pattern(20, 2).constData(), 20));
    buffer.compact(true);
    EXPECT_TRUE(buffer.append(pattern(20, 2).constData(), 20));
    EXPECT_EQ(buffer.size(), 80);
    EXPECT_TRUE(buffer.front(60) == pattern(90, 1).sliced(30));
    EXPECT_TRUE(buffer.front(80).sliced(60) == pattern(20, 2));
}

TEST(CurlReceiveBufferTest, DrainingEmptiesAndRewinds)
{
    CurlReceiveBuffer buffer(64);
    ASSERT_TRUE(buffer.append(pattern(64, 5).constData(), 64));
    buffer.consume(64);
    EXPECT_EQ(buffer.size(), 0);
    EXPECT_TRUE(buffer.append(pattern(64, 6).constData(), 64));  // whole room again
    buffer.consume(1000);
    EXPECT_EQ(buffer.size(), 0);
    buffer.clear();
    EXPECT_EQ(buffer.peakSize(), 0);
}

TEST(CurlReceiveBufferTest, OversizedWriteIsTakenOnlyIntoAnEmptyBuffer)
{
    CurlReceiveBuffer buffer(16);
    ASSERT_TRUE(buffer.append("x", 1));
    EXPECT_FALSE(buffer.append(pattern(32, 1).constData(), 32));
    buffer.consume(1);
    EXPECT_TRUE(buffer.append(pattern(32, 1).constData(), 32));
    EXPECT_TRUE(buffer.front(32) == pattern(32, 1));
}

}  // namespace
