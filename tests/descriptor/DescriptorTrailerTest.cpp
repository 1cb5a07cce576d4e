#include "descriptor/DescriptorTrailer.h"

#include "DescriptorBytes.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace descriptortest;

namespace {

const Header kGood{.servers = {"http://127.0.0.1/f.bin"}};

// Reads the trailer of `bytes` as the program does, through a file.
TrailerRead readBack(const QByteArray &bytes)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("d.ddf");
    EXPECT_TRUE(writeFile(path, bytes));
    const DescriptorHeader header = readDescriptorHeader(path, nullptr).value();
    return readTrailer(path, header, bytes.size());
}

}  // namespace

TEST(DescriptorTrailer, ChunkAndTrailerArithmeticHoldsPast32Bits)
{
    struct Row { qint64 size; qint64 chunks; qint64 trailerAt; qint32 headerField; };
    const Row rows[] = {
        {1, 1, 3082 + 4, 1},
        {1048576, 1, 3082 + 4 * 256, 1048576},
        {2147483647, 2048, 3082 + 4 * 524288, 2147483647},           // 2^31 - 1 still fits the header
        {2147483648, 2048, 3082 + 4 * 524288, -1},                   // 2^31 does not
        {4294967296, 4096, 3082 + 4 * 1048576, -1},                  // 2^32
        {4294967297, 4097, 3082 + 4 * 1048577, -1},
    };
    for (const Row &r : rows) {
        EXPECT_EQ(chunkCount(r.size, DescriptorTrailer::DefaultChunkSize), r.chunks) << r.size;
        EXPECT_EQ(trailerOffset(r.size), r.trailerAt) << r.size;
        EXPECT_EQ(headerSizeField(r.size), r.headerField) << r.size;
        DescriptorTrailer t{.offset = r.trailerAt, .fileSize = r.size, .chunkCount = r.chunks};
        EXPECT_EQ(t.chunkOf(r.size - 1), r.chunks - 1) << r.size;
        EXPECT_EQ(t.chunkEnd(r.chunks - 1), r.size) << r.size;
        EXPECT_EQ(t.chunkHashOffset(r.chunks - 1), r.trailerAt + 24 + 32 * (r.chunks - 1)) << r.size;
    }
}

// Descriptors of the first format read as they always did: nothing after
// the list, or bytes there that are no trailer. A trailer that is cut,
// damaged or describes another file refuses the descriptor, with a reason
// that says which.
TEST(DescriptorTrailer, ReadsTheFirstFormatAsBeforeAndRefusesCutDamagedAndDisagreeingTrailers)
{
    const QByteArray data = randomBytes(3 * 1048576 + 5000, 4);  // four chunks, the last short
    const QByteArray list = descriptor(kGood, data);
    const QByteArray trailer = trailerOf(data);
    const qint64 t = list.size();
    const auto flip = [&](qint64 at) { QByteArray b = list + trailer; b[t + at] = char(b[t + at] ^ 1); return b; };
    Header minusOne = kGood;
    minusOne.fileSize = -1;
    // The trailer of a file of `size` bytes nobody reads: made-up hashes, so that sizes past 4 GiB cost no data.
    const auto trailerFor = [](qint64 size) {
        return trailerFromHashes(quint64(size), 1048576, QByteArray(32 * chunkCount(size, 1048576), 'h'), QByteArray(32, 'w'));
    };
    // `checked`: what the whole descriptor's check says, the trailer's fault unless given.
    struct Row { const char *name; QByteArray bytes; DescriptorFault fault; const char *says; DescriptorFault checked = fault; };
    const Row rows[] = {
        {"no bytes after the list", list, DescriptorFault::None, ""},
        {"stray bytes after the list", list + "not a trailer at all, just bytes someone left", DescriptorFault::None, ""},
        {"a signature of another case", list + QByteArray("ovdxsha2").append(100, '\0'), DescriptorFault::None, ""},
        {"size -1 and nothing after the header", headerBytes(minusOne), DescriptorFault::None, "", DescriptorFault::SizeBelowOne},
        {"three bytes of the signature", list + "OVD", DescriptorFault::TrailerCut, "cut short"},
        {"the fixed part only", list + trailer.left(24), DescriptorFault::TrailerCut, "cut short"},
        {"one chunk hash missing", list + trailer.left(24 + 96), DescriptorFault::TrailerCut, "cut short"},
        {"the last byte missing", list + trailer.chopped(1), DescriptorFault::TrailerCut, "holds 223 of its 224 bytes"},
        {"a byte more", list + trailer + "x", DescriptorFault::TrailerDamaged, "damaged"},
        {"a chunk hash changed", flip(24 + 40), DescriptorFault::TrailerDamaged, "damaged"},
        {"the whole-file hash changed", flip(24 + 128 + 3), DescriptorFault::TrailerDamaged, "damaged"},
        {"the seal changed", flip(24 + 160), DescriptorFault::TrailerDamaged, "damaged"},
        {"the chunk size changed", flip(17), DescriptorFault::TrailerDamaged, "damaged"},
        {"the length at the end changed", flip(trailer.size() - 8), DescriptorFault::TrailerDamaged, "damaged"},
        {"another size than the header's", list + trailerFor(data.size() - 1), DescriptorFault::TrailerDisagrees, "disagrees"},
        {"a large file under a small header", list + trailerFor(5368709120), DescriptorFault::TrailerDisagrees, "disagrees"},
        {"a small file under the large marker", headerBytes(minusOne) + QByteArray(4 * 256, 0) + trailerFor(1048576),
         DescriptorFault::TrailerDisagrees, "disagrees"},
        {"the large marker, bytes after the header but no trailer found", headerBytes(minusOne) + QByteArray(200, '\x7f'),
         DescriptorFault::TrailerCut, "missing or cut short"},
        {"a large file whose list is one entry short", headerBytes(minusOne) + QByteArray(4 * 524287, 0) + trailerFor(2147483648),
         DescriptorFault::TrailerDisagrees, "disagrees"},
    };
    for (const Row &r : rows) {
        const TrailerRead read = readBack(r.bytes);
        EXPECT_FALSE(read.trailer) << r.name;
        EXPECT_EQ(read.check.fault, r.fault) << r.name << ": " << read.check.reason.toStdString();
        EXPECT_TRUE(read.check.reason.contains(QLatin1String(r.says))) << r.name << ": " << read.check.reason.toStdString();
        const DescriptorCheck check = checkDescriptor(DescriptorHeader::fromBytes(r.bytes), r.bytes.size(), read);
        EXPECT_EQ(check.fault, r.checked) << r.name;
    }
}
