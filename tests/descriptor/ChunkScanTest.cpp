#include "descriptor/ChunkScan.h"

#include "DescriptorBytes.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace descriptortest;

constexpr qint64 MiB = 1048576;

// Four chunks and a short fifth. A forged block passes its CRC and is
// caught by its chunk's hash; a damaged one is caught by its CRC first. Rows
// that list every bad chunk scan as verify does; the others as the check of an
// existing file, which also compares the whole-file hash of a file of the
// described length whose chunks all matched.
TEST(ChunkScan, JudgesBlocksByCrcChunksByHashAndACompleteFileByItsHash)
{
    QTemporaryDir dir;
    const QByteArray original = randomBytes(4 * MiB + 10000, 11);
    const QByteArray forged = forgedBlock(original, 300 * 4096), forgedTwice = forgedBlock(forged, 1000 * 4096);
    QByteArray damaged = original;
    damaged[2 * MiB + 5] = char(damaged[2 * MiB + 5] ^ 1);
    ASSERT_TRUE(writeFile(dir.filePath("d.ddf"), descriptor({}, original) + trailerOf(original)));
    DescriptorTrailer trailer{.offset = trailerOffset(original.size()), .fileSize = original.size(), .chunkCount = 5};
    std::memcpy(trailer.fileHash.data(), sha256Reference(original).constData(), 32);
    DescriptorTrailer otherWholeHash = trailer;
    otherWholeHash.fileHash[0] ^= 1;

    struct Row {
        const char *name;
        QByteArray data;
        bool stopAtFirstBad;
        bool mismatch, chunkMismatch;
        qint64 goodLength;
        std::vector<qint64> badChunks;
        std::optional<bool> wholeFileMatches = {};
        const DescriptorTrailer *against = nullptr;  // null: `trailer`
    };
    const Row rows[] = {
        {"intact", original, true, false, false, original.size(), {}, true},
        {"intact, all listed", original, false, false, false, original.size(), {}},
        {"intact, another whole-file hash", original, true, false, false, original.size(), {}, false, &otherWholeHash},
        {"forged block 300, in chunk 1", forged, true, true, true, MiB, {1}},
        {"damaged byte in chunk 2", damaged, true, true, false, 2 * MiB, {2}},
        {"forged in chunks 1 and 3, all listed", forgedTwice, false, true, true, MiB, {1, 3}},
        {"forged in chunks 1 and 3, stopping at the first", forgedTwice, true, true, true, MiB, {1}},
        {"partial file ending inside chunk 2", original.left(2 * MiB + 8192), true, false, false, 2 * MiB, {}},
        {"partial file ending on a chunk", original.left(3 * MiB), true, false, false, 3 * MiB, {}},
        {"empty file", QByteArray(), true, false, false, 0, {}},
    };
    for (const Row &r : rows) {
        ASSERT_TRUE(writeFile(dir.filePath("data.bin"), r.data));
        const ChunkScanOptions options{.stopAtFirstBad = r.stopAtFirstBad, .wholeFile = r.stopAtFirstBad, .workers = 2};
        const BlockScanResult result =
            scanChunks(dir.filePath("data.bin"), dir.filePath("d.ddf"), 1.2f, r.against ? *r.against : trailer, options);
        EXPECT_FALSE(result.error) << r.name;
        EXPECT_EQ(result.mismatch, r.mismatch) << r.name;
        EXPECT_EQ(result.chunkMismatch, r.chunkMismatch) << r.name;
        EXPECT_EQ(result.goodLength, r.goodLength) << r.name;
        EXPECT_EQ(result.badChunks, r.badChunks) << r.name;
        EXPECT_EQ(result.wholeFileMatches, r.wholeFileMatches) << r.name;
    }
}
