#include <transfer/ChunkVerifier.h>
#include <transfer/PublishedDigest.h>

#include <descriptor/DescriptorBytes.h>

#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace descriptortest;

namespace {

constexpr qint64 Chunk = 4 * 4096;  // small chunks keep the cases short

struct Write { qint64 offset; qint64 length; };

}  // namespace

// What the verifier can judge from the blocks it is shown, and what it
// leaves to the next check of the file.
TEST(ChunkVerifier, JudgesChunksWhoseBlocksArriveInOrderFromTheirStart)
{
    QTemporaryDir dir;
    const QByteArray original = randomBytes(3 * Chunk + 5000, 7);  // the fourth chunk is short
    QByteArray forged = original;
    forged.replace(Chunk + 4096, 4096, forgedBlock(original.mid(Chunk + 4096, 4096)));
    const QByteArray ddf = descriptor({}, original) + trailerOf(original, Chunk);
    ASSERT_TRUE(writeFile(dir.filePath("d.ddf"), ddf));
    const DescriptorTrailer trailer = readTrailer(dir.filePath("d.ddf"), DescriptorHeader::fromBytes(ddf), ddf.size()).trailer.value();

    struct Row {
        const char *name;
        const QByteArray *data;
        std::vector<Write> writes;
        std::optional<qint64> bad;  // the chunk reported bad
        qint64 confirmed;
    };
    const qint64 all = original.size();
    const Row rows[] = {
        {"block by block", &original, {{0, 4096}, {4096, 4096}, {8192, 3 * Chunk + 5000 - 8192}}, std::nullopt, 4},
        {"runs that cross chunk boundaries", &forged, {{0, Chunk + 8192}, {Chunk + 8192, all - Chunk - 8192}}, 1, 3},
        {"resumed inside chunk 1: it cannot be judged", &forged, {{Chunk + 4096, all - Chunk - 4096}}, std::nullopt, 2},
        {"a gap inside chunk 0", &original, {{0, 4096}, {8192, Chunk - 8192}}, std::nullopt, 0},
        {"the short last chunk alone", &original, {{3 * Chunk, 5000}}, std::nullopt, 1},
    };
    for (const Row &r : rows) {
        ChunkVerifier verifier;
        ASSERT_FALSE(verifier.begin(dir.filePath("d.ddf"), trailer));
        std::optional<qint64> bad;
        for (const Write &w : r.writes)
            if (const auto found = verifier.written(w.offset, QByteArrayView(*r.data).sliced(w.offset, w.length)); found && !bad)
                bad = found->chunk;
        EXPECT_EQ(bad, r.bad) << r.name;
        EXPECT_EQ(verifier.chunksConfirmed(), r.confirmed) << r.name;
    }
}

TEST(PublishedDigest, ReadsSha256FromEitherField)
{
    const QByteArray digest = sha256Reference("hello");
    const QByteArray b64 = digest.toBase64();
    struct Row { const char *name; QByteArray repr, legacy; bool found; };
    const Row rows[] = {
        {"Repr-Digest among others", "sha-512=:AAAA:, sha-256=:" + b64 + ":", {}, true},
        {"Repr-Digest without its colons", "sha-256=" + b64, {}, false},
        {"only another algorithm", "sha-512=:" + b64 + ":", "MD5=abc", false},
        {"too short", {}, "SHA-256=" + digest.left(31).toBase64(), false},
        {"not base64", {}, "SHA-256=!!!!", false},
    };
    for (const Row &r : rows) {
        const std::optional<Sha256Digest> found = publishedSha256(r.repr, r.legacy);
        EXPECT_EQ(found.has_value(), r.found) << r.name;
        if (found) {
            EXPECT_EQ(QByteArray(reinterpret_cast<const char *>(found->data()), 32), digest) << r.name;
        }
    }
}
