#include "descriptor/BlockScan.h"

#include "DdfTestBytes.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <vector>

using namespace ddftest;

namespace {

class BlockScanTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }

    QString ddfFor(const QByteArray &described, float version = 1.2f)
    {
        Header h;
        h.version = version;
        const QString path = m_dir.filePath(QStringLiteral("d.ddf"));
        EXPECT_TRUE(writeFile(path, descriptor(h, described)));
        return path;
    }
    QString dataFile(const QByteArray &bytes)
    {
        const QString path = m_dir.filePath(QStringLiteral("data.bin"));
        EXPECT_TRUE(writeFile(path, bytes));
        return path;
    }

    QTemporaryDir m_dir;
};

TEST_F(BlockScanTest, DamageIsFoundAtTheStartOfItsBlock)
{
    const QByteArray original = randomBytes(40000, 11);  // 9 full blocks and 3136 bytes
    const QString ddf = ddfFor(original);
    struct Case {
        const char *name;
        qsizetype damageAt;  // -1: none
        qsizetype keep;      // bytes of the original in the local file
        qint64 goodLength;
        bool mismatch;
    };
    const Case cases[] = {
        {"intact", -1, 40000, 40000, false},
        {"block 5", 20480 + 17, 40000, 20480, true},
        {"first byte of block 5", 20480, 40000, 20480, true},
        {"last byte of block 4", 20479, 40000, 16384, true},
        {"block 0", 0, 40000, 0, true},
        {"last byte of the file", 39999, 40000, 36864, true},
        {"partial last block of a short file", -1, 10000, 8192, true},
        {"short file on a block boundary", -1, 8192, 8192, false},
        {"empty file", -1, 0, 0, false},
    };
    for (const Case &c : cases) {
        QByteArray local = original.left(c.keep);
        if (c.damageAt >= 0)
            local[c.damageAt] = char(local[c.damageAt] ^ 0x01);
        std::vector<qint64> good;
        const BlockScanResult r = scanBlocks(dataFile(local), ddf, 1.2f, [&](qint64 p) { good.push_back(p); });
        EXPECT_FALSE(r.error.has_value()) << c.name;
        EXPECT_EQ(r.fileLength, c.keep) << c.name;
        EXPECT_EQ(r.goodLength, c.goodLength) << c.name;
        EXPECT_EQ(r.mismatch, c.mismatch) << c.name;
        EXPECT_FALSE(r.entryMissing) << c.name;
        // One call per good block, with the loop's p: 4096, 8192, ...
        std::vector<qint64> expected;
        const qint64 goodBlocks = c.mismatch ? c.goodLength / 4096 : (c.keep + 4095) / 4096;
        for (qint64 k = 1; k <= goodBlocks; ++k)
            expected.push_back(4096 * k);
        EXPECT_EQ(good, expected) << c.name;
    }
}

TEST_F(BlockScanTest, LongerFileFailsAtTheFirstBlockWithoutEntry)
{
    const QByteArray original = randomBytes(8192, 3);
    const QByteArray longer = original + randomBytes(5000, 4);
    const BlockScanResult r = scanBlocks(dataFile(longer), ddfFor(original), 1.2f);
    EXPECT_TRUE(r.mismatch);
    EXPECT_TRUE(r.entryMissing);
    EXPECT_EQ(r.goodLength, 8192);
    EXPECT_EQ(r.fileLength, 13192);
}

TEST_F(BlockScanTest, OldVersionLeavesOutEachBlocksLastByte)
{
    const QByteArray original = randomBytes(5 * 4096, 5);
    const QString ddf = ddfFor(original, 1.1f);
    QByteArray local = original;
    local[3 * 4096 + 4095] = char(local[3 * 4096 + 4095] ^ 0x40);  // not covered
    BlockScanResult r = scanBlocks(dataFile(local), ddf, 1.1f);
    EXPECT_FALSE(r.mismatch);
    EXPECT_EQ(r.goodLength, 5 * 4096);

    local[3 * 4096 + 4094] = char(local[3 * 4096 + 4094] ^ 0x40);  // covered
    r = scanBlocks(dataFile(local), ddf, 1.1f);
    EXPECT_TRUE(r.mismatch);
    EXPECT_EQ(r.goodLength, 3 * 4096);

    // The same list judged under the newer rule matches nothing.
    r = scanBlocks(dataFile(original), ddf, 1.2f);
    EXPECT_EQ(r.goodLength, 0);
}

TEST_F(BlockScanTest, DamageInALaterPieceOfALargeFile)
{
    const QByteArray original = randomBytes(3 * 1024 * 1024 + 100, 9);
    const QString ddf = ddfFor(original);
    EXPECT_EQ(scanBlocks(dataFile(original), ddf, 1.2f).goodLength, original.size());

    for (qsizetype at : {qsizetype(1024 * 1024 - 1), qsizetype(1024 * 1024), qsizetype(2 * 1024 * 1024 + 3 * 4096 + 9),
                         original.size() - 1}) {
        QByteArray local = original;
        local[at] = char(local[at] ^ 0x80);
        const BlockScanResult r = scanBlocks(dataFile(local), ddf, 1.2f);
        EXPECT_TRUE(r.mismatch) << at;
        EXPECT_EQ(r.goodLength, at / 4096 * 4096) << at;
    }
}

TEST_F(BlockScanTest, UnopenableFilesAreReported)
{
    const QString ddf = ddfFor(randomBytes(100, 1));
    const QString data = dataFile(randomBytes(100, 1));
    const QString missing = m_dir.filePath(QStringLiteral("missing"));
    BlockScanResult r = scanBlocks(missing, ddf, 1.2f);
    ASSERT_TRUE(r.error.has_value());
    EXPECT_TRUE(r.error->contains(missing));
    r = scanBlocks(data, missing, 1.2f);
    ASSERT_TRUE(r.error.has_value());
    EXPECT_TRUE(r.error->contains(missing));
    EXPECT_EQ(scanBlocks(data, ddf, 1.2f).goodLength, 100);
}

}  // namespace
