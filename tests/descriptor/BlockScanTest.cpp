#include "descriptor/BlockScan.h"

#include "DescriptorBytes.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace descriptortest;

TEST(BlockScan, FindsTheStartOfTheFirstBadBlock)
{
    QTemporaryDir dir;
    const QString ddf = dir.filePath("d.ddf"), data = dir.filePath("data.bin");
    const qsizetype size = 3 * 1024 * 1024 + 8192;  // more than one read piece
    const QByteArray original = randomBytes(size, 11);
    ASSERT_TRUE(writeFile(ddf, descriptor({}, original)));
    // Keep the first `keep` bytes, flip the byte at `damageAt` (-1: none), append `extra` bytes.
    const struct { const char *name; qsizetype keep, damageAt, extra, goodLength; bool mismatch, entryMissing; } cases[] = {
        {"intact", size, -1, 0, size, false, false},
        {"block 5", size, 20480 + 17, 0, 20480, true, false},
        {"first byte of the second piece", size, 1024 * 1024, 0, 1024 * 1024, true, false},
        {"last byte", size, size - 1, 0, size - 4096, true, false},
        {"partial last block", 10000, -1, 0, 8192, true, false},
        {"short on a block boundary", 8192, -1, 0, 8192, false, false},
        {"longer than described", size, -1, 5000, size, true, true},
    };
    for (const auto &c : cases) {
        QByteArray local = original.left(c.keep) + QByteArray(c.extra, 'x');
        if (c.damageAt >= 0)
            local[c.damageAt] = char(local[c.damageAt] ^ 0x01);
        ASSERT_TRUE(writeFile(data, local));
        qint64 goodBlocks = 0, lastGood = 0;
        const BlockScanResult r = scanBlocks(data, ddf, 1.2f, [&](qint64 p) { ++goodBlocks, lastGood = p; });
        const qint64 goodEnd = c.mismatch ? c.goodLength : (c.keep + 4095) / 4096 * 4096;  // one call per good block
        EXPECT_EQ(std::tuple(r.fileLength, r.goodLength, r.mismatch, r.entryMissing, goodBlocks, lastGood),
                  std::tuple(qint64(local.size()), qint64(c.goodLength), c.mismatch, c.entryMissing, goodEnd / 4096, goodEnd))
            << c.name;
    }
}

TEST(BlockScan, StopsAtTheNextBlockWhenCancelled)
{
    QTemporaryDir dir;
    const QByteArray original = randomBytes(64 * 4096, 12);
    ASSERT_TRUE(writeFile(dir.filePath("d.ddf"), descriptor({}, original)) && writeFile(dir.filePath("f"), original));
    for (const qint64 stopAfter : {0, 10}) {
        std::atomic<bool> cancel = stopAfter == 0;
        qint64 good = 0;
        const BlockScanResult r = scanBlocks(dir.filePath("f"), dir.filePath("d.ddf"), 1.2f,
                                             [&](qint64) { cancel = ++good >= stopAfter; }, &cancel);
        EXPECT_TRUE(r.cancelled && !r.mismatch) << stopAfter;
        EXPECT_EQ(r.goodLength, stopAfter * 4096) << stopAfter;
    }
}
