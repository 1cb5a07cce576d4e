#include <transfer/CurlReceiveBuffer.h>

#include <gtest/gtest.h>

namespace {

TEST(CurlReceiveBufferTest, AppendsWholeOrNotAtAllAndMovesNothingUntilCompacted)
{
    CurlReceiveBuffer buffer(100);
    const QByteArray bytes = QByteArray("0123456789abcdefghijklmnopqrstuvwxyz").repeated(4);
    ASSERT_TRUE(buffer.append(bytes.constData(), 90));
    const QByteArrayView view = buffer.front(30);
    buffer.consume(30);
    EXPECT_FALSE(buffer.append(bytes.constData() + 90, 11));  // all or nothing
    EXPECT_TRUE(view == bytes.first(30));  // and the reader's view stays put
    buffer.compact();  // 30 free at the front is less than half: nothing moves
    EXPECT_FALSE(buffer.append(bytes.constData() + 90, 20));
    buffer.compact(true);
    ASSERT_TRUE(buffer.append(bytes.constData() + 90, 20));
    EXPECT_EQ(buffer.peakSize(), 90);
    EXPECT_TRUE(buffer.front(1000) == bytes.sliced(30, 80));
    buffer.consume(1000);
    EXPECT_TRUE(buffer.append(bytes.constData(), 144));  // too big, but the buffer is empty
    EXPECT_TRUE(buffer.front(144) == bytes);
}

}  // namespace
