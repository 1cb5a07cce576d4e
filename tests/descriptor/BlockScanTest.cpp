#include "descriptor/BlockScan.h"

#include "DescriptorBytes.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace descriptortest;

// A scan ends at the first bad block, or, when cancelled, before the next one.
TEST(BlockScan, FindsTheStartOfTheFirstBadBlockOrStopsWhenCancelled)
{
    QTemporaryDir dir;
    const QString ddf = dir.filePath("d.ddf"), data = dir.filePath("data.bin");
    const qsizetype size = 3 * 1024 * 1024 + 8192;  // more than one read piece
    const QByteArray original = randomBytes(size, 11);
    ASSERT_TRUE(writeFile(ddf, descriptor({}, original)));
    // Keep the first `keep` bytes, flip the byte at `damageAt` (-1: none), append `extra` bytes, cancel
    // after `stopAfter` good blocks (-1: never).
    const struct { const char *name; qsizetype keep, damageAt, extra, goodLength; bool mismatch, entryMissing;
                   qint64 stopAfter = -1; } cases[] = {
        {"intact", size, -1, 0, size, false, false},
        {"block 5", size, 20480 + 17, 0, 20480, true, false},
        {"first byte of the second piece", size, 1024 * 1024, 0, 1024 * 1024, true, false},
        {"last byte", size, size - 1, 0, size - 4096, true, false},
        {"partial last block", 10000, -1, 0, 8192, true, false},
        {"short on a block boundary", 8192, -1, 0, 8192, false, false},
        {"longer than described", size, -1, 5000, size, true, true},
        {"cancelled before the first block", size, -1, 0, 0, false, false, 0},
        {"cancelled after ten blocks", size, -1, 0, 40960, false, false, 10},
    };
    for (const auto &c : cases) {
        QByteArray local = original.left(c.keep) + QByteArray(c.extra, 'x');
        if (c.damageAt >= 0)
            local[c.damageAt] = char(local[c.damageAt] ^ 0x01);
        ASSERT_TRUE(writeFile(data, local));
        qint64 goodBlocks = 0, lastGood = 0;
        std::atomic<bool> cancel = c.stopAfter == 0;
        const auto onGood = [&](qint64 p) { cancel = ++goodBlocks == c.stopAfter, lastGood = p; };
        const BlockScanResult r = scanBlocks(data, ddf, 1.2f, onGood, &cancel);
        const bool cancelled = c.stopAfter >= 0;
        const qint64 goodEnd = c.mismatch || cancelled ? c.goodLength : (c.keep + 4095) / 4096 * 4096;  // one call per good block
        EXPECT_EQ(std::tuple(r.fileLength, r.goodLength, r.mismatch, r.entryMissing, r.cancelled, goodBlocks, lastGood),
                  std::tuple(qint64(local.size()), qint64(c.goodLength), c.mismatch, c.entryMissing, cancelled, goodEnd / 4096,
                             goodEnd))
            << c.name;
    }
}
