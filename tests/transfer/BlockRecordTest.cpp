#include <transfer/BlockRecord.h>

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <sys/xattr.h>

namespace {

class BlockRecordTest : public testing::Test {
protected:
    QTemporaryDir dir;
    const QString path = dir.filePath("f");
    void SetUp() override
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
};

TEST_F(BlockRecordTest, KeepsTheGoodRuns)
{
    BlockMap map(100 * 4096 + 5);
    for (qint64 k : {0, 1, 2, 50, 100})
        map.markGood(k);
    map.claim(10, 20, 1);  // in flight is not good
    ASSERT_EQ(storeBlockRecord(path, map), 0);
    const std::optional<BlockMap> back = loadBlockRecord(path, map.fileSize());
    ASSERT_TRUE(back);
    EXPECT_EQ(back->goodRuns(), map.goodRuns());
}

// A mangled record, or one of a file of another size, is none.
TEST_F(BlockRecordTest, AMangledOrForeignRecordIsNone)
{
    for (const char *value : {"orvanta-blocks-1 8192 0-2", "orvanta-blocks-1 8192 1-0", "orvanta-blocks-1 8192 x-1",
                              "other 8192 0-1", "orvanta-blocks-1 8192 -1-0", "orvanta-blocks-1 4096 0-0"}) {
        SCOPED_TRACE(value);
        ASSERT_EQ(::setxattr(QFile::encodeName(path).constData(), "user.orvanta.blocks", value, strlen(value), 0), 0);
        EXPECT_FALSE(loadBlockRecord(path, 8192));
    }
}

// A map of many short runs keeps as many as fit, from the start.
TEST_F(BlockRecordTest, ARecordTooLongForTheAttributeKeepsItsFirstRuns)
{
    BlockMap map(100000 * 4096);
    for (qint64 k = 0; k < 100000; k += 2)
        map.markGood(k);
    ASSERT_EQ(storeBlockRecord(path, map), 0);
    const std::optional<BlockMap> back = loadBlockRecord(path, map.fileSize());
    ASSERT_TRUE(back);
    EXPECT_GT(back->goodBlocks(), 100);
    EXPECT_LT(back->goodBlocks(), map.goodBlocks());
    for (const auto &[first, last] : back->goodRuns())
        EXPECT_TRUE(first == last && first % 2 == 0);
}

} // namespace
