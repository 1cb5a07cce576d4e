#include "descriptor/ChunkScan.h"

#include "DescriptorBytes.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace descriptortest;

namespace {

constexpr qint64 MiB = 1048576;

QByteArray withBlock(QByteArray data, qint64 block, const QByteArray &replacement)
{
    data.replace(block * 4096, replacement.size(), replacement);
    return data;
}

}  // namespace

// Four chunks and a short fifth. A forged block passes its CRC and is
// caught by its chunk's hash; a damaged one is caught by its CRC first.
TEST(ChunkScan, JudgesBlocksByCrcAndChunksByHash)
{
    QTemporaryDir dir;
    const QByteArray original = randomBytes(4 * MiB + 10000, 11);
    const QByteArray block300 = original.mid(300 * 4096, 4096);
    const QByteArray forged300 = forgedBlock(block300);
    ASSERT_NE(forged300, block300);
    ASSERT_EQ(crc32Reference(forged300.constData(), 4096), crc32Reference(block300.constData(), 4096));
    QByteArray damaged = original;
    damaged[2 * MiB + 5] = char(damaged[2 * MiB + 5] ^ 1);
    const QByteArray forgedTwice = withBlock(withBlock(original, 300, forged300), 1000,
                                             forgedBlock(original.mid(1000 * 4096, 4096)));
    ASSERT_TRUE(writeFile(dir.filePath("d.ddf"), descriptor({}, original) + trailerOf(original)));
    const DescriptorTrailer trailer{.offset = trailerOffset(original.size()), .fileSize = original.size(),
                                    .chunkCount = 5, .fileHash = {}};

    struct Row {
        const char *name;
        QByteArray data;
        bool stopAtFirstBad;
        bool mismatch, chunkMismatch;
        qint64 goodLength;
        std::vector<qint64> badChunks;
    };
    const Row rows[] = {
        {"intact", original, true, false, false, original.size(), {}},
        {"forged block 300, in chunk 1", withBlock(original, 300, forged300), true, true, true, MiB, {1}},
        {"damaged byte in chunk 2", damaged, true, true, false, 2 * MiB, {2}},
        {"forged in chunks 1 and 3, all listed", forgedTwice, false, true, true, MiB, {1, 3}},
        {"forged in chunks 1 and 3, stopping at the first", forgedTwice, true, true, true, MiB, {1}},
        {"partial file ending inside chunk 2", original.left(2 * MiB + 8192), true, false, false, 2 * MiB, {}},
        {"partial file ending on a chunk", original.left(3 * MiB), true, false, false, 3 * MiB, {}},
        {"empty file", QByteArray(), true, false, false, 0, {}},
    };
    for (const Row &r : rows) {
        ASSERT_TRUE(writeFile(dir.filePath("data.bin"), r.data));
        const BlockScanResult result = scanChunks(dir.filePath("data.bin"), dir.filePath("d.ddf"), 1.2f, trailer,
                                                  {.stopAtFirstBad = r.stopAtFirstBad, .wholeFile = true, .workers = 2});
        EXPECT_FALSE(result.error) << r.name;
        EXPECT_EQ(result.mismatch, r.mismatch) << r.name;
        EXPECT_EQ(result.chunkMismatch, r.chunkMismatch) << r.name;
        EXPECT_EQ(result.goodLength, r.goodLength) << r.name;
        EXPECT_EQ(result.badChunks, r.badChunks) << r.name;
    }
}

// The whole-file hash is taken only of a file of the described length whose
// chunks all matched, and compared with the trailer's.
TEST(ChunkScan, ComparesTheWholeFileHashOnlyForAFileOfTheDescribedLength)
{
    QTemporaryDir dir;
    const QByteArray original = randomBytes(MiB + 4096, 12);
    ASSERT_TRUE(writeFile(dir.filePath("data.bin"), original));
    ASSERT_TRUE(writeFile(dir.filePath("d.ddf"), descriptor({}, original) + trailerOf(original)));
    DescriptorTrailer trailer{.offset = trailerOffset(original.size()), .fileSize = original.size(), .chunkCount = 2};
    const QByteArray digest = sha256Reference(original);
    std::memcpy(trailer.fileHash.data(), digest.constData(), 32);
    const auto scan = [&](const DescriptorTrailer &t, bool whole) {
        return scanChunks(dir.filePath("data.bin"), dir.filePath("d.ddf"), 1.2f, t, {.wholeFile = whole}).wholeFileMatches;
    };
    EXPECT_EQ(scan(trailer, true), std::optional<bool>(true));
    EXPECT_EQ(scan(trailer, false), std::nullopt);
    DescriptorTrailer wrong = trailer;
    wrong.fileHash[0] ^= 1;
    EXPECT_EQ(scan(wrong, true), std::optional<bool>(false));
}
