// The engine with an extended descriptor: a block forged to keep its CRC-32
// is caught by its chunk's SHA-256, its server named, and the chunk fetched
// again from another server; "verified" waits for the whole file's hash.
// URL downloads check a digest the server publishes.
#include <support/EngineSettle.h>
#include <support/FakeHttpClient.h>

#include <descriptor/DescriptorBytes.h>
#include <descriptor/DescriptorTrailer.h>
#include <transfer/DownloadEngine.h>

#include <QFileInfo>
#include <QTemporaryDir>
#include <QUrl>

#include <gtest/gtest.h>

namespace {

using namespace descriptortest;
using S = DownloadEngine::State;
constexpr qint64 MiB = 1048576;
const QString kForger = QStringLiteral("http://forger.test/f.bin");
const QString kHonest = QStringLiteral("http://honest.test/f.bin");

class StrongHashEngine : public testing::Test {
protected:
    QTemporaryDir dir;
    FakeHttpClient http;
    DownloadEngine engine{http};
    DownloadJob job;
    QStringList log;
    const QByteArray original = randomBytes(3 * MiB + 5000, 21);
    // Block 300 (in chunk 1) with other content and the same CRC-32.
    const QByteArray forged = QByteArray(original).replace(300 * 4096, 4096, forgedBlock(original.mid(300 * 4096, 4096)));

    void SetUp() override
    {
        job.destination = dir.filePath("out.bin");
        engine.setRetryDelay(std::chrono::hours(1));
        engine.setResumeDelay(std::chrono::milliseconds(0));
        QObject::connect(&engine, &DownloadEngine::logLine, [this](const QString &line) { log << line; });
        // Each server answers from its own copy, ranges included.
        http.answer = [this](const HttpRequest &r, int) {
            const QByteArray &whole = r.url.startsWith(kForger) ? forged : original;
            return r.rangeStart < 0 ? FakeHttpClient::reply(200, whole)
                                    : FakeHttpClient::reply(206, whole.mid(r.rangeStart), r.rangeStart, whole.size());
        };
    }
    // `trailer`: appended to the first format's bytes (empty: none).
    void describe(const QString &server, const QByteArray &trailer)
    {
        const QByteArray ddf = descriptor({.servers = {server.toLatin1()}}, original) + trailer;
        job.descriptorPath = dir.filePath("f.ddf");
        ASSERT_TRUE(writeFile(job.descriptorPath, ddf));
        job.mode = DownloadJob::Mode::Descriptor;
        job.sourceUrl = server;
        job.descriptor = DescriptorHeader::fromBytes(ddf);
        job.strongHashes = readTrailer(job.descriptorPath, job.descriptor, ddf.size()).trailer;
        ASSERT_EQ(job.strongHashes.has_value(), !trailer.isEmpty());
    }
    QByteArray onDisk() const { return readFile(job.destination); }
    QStringList ranges() const
    {
        QStringList out;
        for (const HttpRequest &r : http.requests)
            out << QStringLiteral("%1 %2").arg(QUrl(r.url).host(), r.rangeStart < 0 ? QStringLiteral("-") : QString::number(r.rangeStart));
        return out;
    }
    qsizetype logged(const QString &text) const { return log.indexOf(text); }
};

TEST_F(StrongHashEngine, TheFirstFormatTakesAForgedBlockForGood)
{
    ASSERT_EQ(crc32Reference(forged.constData() + 300 * 4096, 4096), crc32Reference(original.constData() + 300 * 4096, 4096));
    describe(kForger, {});
    engine.start(job);
    EXPECT_TRUE(settle(engine, http));
    EXPECT_EQ(engine.state(), S::Completed);  // the documented limit of CRC-32
    EXPECT_TRUE(onDisk() == forged);
}

// The forging server is the first; after the failure the user switches to
// the second (pause, another server, resume), which supplies the chunk.
TEST_F(StrongHashEngine, AForgedChunkIsRefusedItsServerNamedAndFetchedFromAnother)
{
    describe(kForger, trailerOf(original));
    engine.start(job);
    EXPECT_TRUE(settle(engine, http));
    ASSERT_EQ(engine.state(), S::WaitingToRetry);
    EXPECT_GE(logged("SHA-256 error in bytes retrieved. Rolling back to retry..."), 0) << log.join('\n').toStdString();
    EXPECT_GE(logged("Reason: Chunk 1 (bytes 1048576 to 2097151) from server forger.test passed its block CRCs but not "
                     "its SHA-256 in the descriptor: a mirror sent other data than the described file."), 0)
        << log.join('\n').toStdString();
    EXPECT_EQ(QFileInfo(job.destination).size(), 2 * MiB);  // chunk 1 written and refused; nothing after it

    engine.pause();
    DownloadJob other = job;
    other.sourceUrl = kHonest;
    engine.resume(other);
    EXPECT_TRUE(settle(engine, http));
    EXPECT_EQ(engine.state(), S::Completed) << log.join('\n').toStdString();
    EXPECT_TRUE(onDisk() == original);
    EXPECT_EQ(ranges(), (QStringList{"forger.test -", "honest.test 1048576"}));
    EXPECT_GE(logged("SHA-256 error in current file. Will download again from the bad chunk..."), 0);
    // The last check is the whole file's hash, before the word "verified".
    const qsizetype done = logged("Your download has been completed and verified!");
    EXPECT_GT(done, log.lastIndexOf("Verifying file integrity..."));
    EXPECT_GT(log.lastIndexOf("Verifying file integrity..."), logged("Saving data to disk..."));
}

// The existing-file check weighs chunks as well as blocks: what it finds
// decides where the download goes on.
TEST_F(StrongHashEngine, TheExistingFileCheckWeighsChunks)
{
    struct Row {
        const char *name;
        QByteArray existing;
        S state;
        QStringList ranges;
        const char *logs;
    };
    const Row rows[] = {
        {"complete and intact", original, S::Verified, {}, "Your file has been verified, and is ready for use!"},
        {"complete with a forged block in chunk 1", forged, S::Completed, {"honest.test 1048576"},
         "SHA-256 error in current file. Will download again from the bad chunk..."},
        {"partial, ending inside chunk 1: resumed at its start", original.left(MiB + 8192), S::Completed,
         {"honest.test 1048576"}, "Saving data to disk..."},
        {"partial with a damaged block: one block repaired", QByteArray(original.left(2 * MiB)).replace(5, 1, "?"),
         S::Completed, {"honest.test 0", "honest.test 2097152"}, "CRC error in current file. Will attempt to repair..."},
    };
    for (const Row &r : rows) {
        log.clear();
        http.requests.clear();
        describe(kHonest, trailerOf(original));
        ASSERT_TRUE(writeFile(job.destination, r.existing));
        engine.start(job);
        EXPECT_TRUE(settle(engine, http)) << r.name;
        EXPECT_EQ(engine.state(), r.state) << r.name << "\n" << log.join('\n').toStdString();
        EXPECT_EQ(ranges(), r.ranges) << r.name;
        EXPECT_GE(logged(QString::fromLatin1(r.logs)), 0) << r.name << "\n" << log.join('\n').toStdString();
        EXPECT_TRUE(onDisk() == original) << r.name;
    }
}

// A server that forges a second time is not retried by itself.
TEST_F(StrongHashEngine, AServerThatForgesTwiceIsNotAskedAgain)
{
    describe(kForger, trailerOf(original));
    engine.start(job);
    EXPECT_TRUE(settle(engine, http));
    ASSERT_EQ(engine.state(), S::WaitingToRetry);
    engine.pause();
    engine.resume();  // the same server once more
    EXPECT_TRUE(settle(engine, http));
    EXPECT_EQ(engine.state(), S::Failed) << log.join('\n').toStdString();
    EXPECT_GE(logged("Server forger.test sent data other than the described file twice. Please choose another server."), 0)
        << log.join('\n').toStdString();
    EXPECT_EQ(ranges(), (QStringList{"forger.test -", "forger.test 1048576"}));
}

// Chunks that match but a whole-file hash that does not: never "verified".
TEST_F(StrongHashEngine, NoVerifiedWithoutTheWholeFileHash)
{
    QByteArray hashes;
    for (qint64 at = 0; at < original.size(); at += MiB)
        hashes += sha256Reference(QByteArrayView(original).sliced(at, std::min(MiB, original.size() - at)));
    describe(kHonest, trailerFromHashes(quint64(original.size()), quint32(MiB), hashes, QByteArray(32, '\x42')));
    engine.start(job);
    EXPECT_TRUE(settle(engine, http));
    EXPECT_EQ(engine.state(), S::Failed);
    EXPECT_GE(logged("The file's SHA-256 does not match the descriptor's."), 0) << log.join('\n').toStdString();
    EXPECT_LT(logged("Your download has been completed and verified!"), 0);
}

// The size a large descriptor gives counts in 64 bits: only the bytes still
// missing need room, to the byte, past 2^31 and 2^32.
TEST_F(StrongHashEngine, FreeSpaceIsJudgedInSixtyFourBits)
{
    const qint64 size = 5368709120;
    const qint64 existing[] = {0, qint64(1) << 31, (qint64(1) << 32) + 4096};
    for (const qint64 length : existing) {
        for (const qint64 spare : {qint64(-1), qint64(0)}) {
            QFile::remove(job.destination);
            QFile file(job.destination);
            ASSERT_TRUE(length == 0 || (file.open(QIODevice::WriteOnly) && file.resize(length)));  // sparse
            file.close();
            job.mode = DownloadJob::Mode::Descriptor;
            job.sourceUrl = kHonest;
            job.descriptorPath = dir.filePath("absent.ddf");
            job.strongHashes = DescriptorTrailer{.offset = trailerOffset(size), .fileSize = size, .chunkCount = 5120};
            engine.setFreeSpaceQuery([&](const QString &) { return std::optional<qint64>(size - length + spare); });
            QStringList reasons;
            const auto connection = QObject::connect(&engine, &DownloadEngine::failed,
                                                     [&](const DownloadFailure &f) { reasons << f.reason; });
            engine.start(job);
            engine.stop();
            QObject::disconnect(connection);
            EXPECT_EQ(reasons.filter("more are needed").size(), spare < 0 ? 1 : 0) << length << " " << spare << ": " << reasons.join('\n').toStdString();
        }
    }
}

// URL mode: the log says what was checked; the window's words stay.
TEST_F(StrongHashEngine, UrlDownloadsCheckAPublishedDigest)
{
    const QByteArray body = randomBytes(50000, 5);
    Sha256Digest right;
    std::memcpy(right.data(), sha256Reference(body).constData(), 32);
    Sha256Digest wrong = right;
    wrong[31] ^= 1;
    struct Row { const char *name; std::optional<Sha256Digest> digest; S state; const char *logs; };
    const Row rows[] = {
        {"no digest", std::nullopt, S::Completed, "The server published no digest of the file: only its size was checked."},
        {"a matching digest", right, S::Completed, "The file's SHA-256 matches the digest the server published."},
        {"a digest of other data", wrong, S::Failed, "The file's SHA-256 does not match the digest the server published."},
    };
    for (const Row &r : rows) {
        log.clear();
        QFile::remove(dir.filePath("url.bin"));
        http.answer = [&](const HttpRequest &, int) {
            FakeHttpClient::Reply reply = FakeHttpClient::reply(200, body);
            reply.head->sha256 = r.digest;
            return reply;
        };
        DownloadJob url;
        url.sourceUrl = kHonest;
        url.destination = dir.filePath("url.bin");
        engine.start(url);
        EXPECT_TRUE(settle(engine, http)) << r.name;
        EXPECT_EQ(engine.state(), r.state) << r.name << "\n" << log.join('\n').toStdString();
        EXPECT_GE(logged(QString::fromLatin1(r.logs)), 0) << r.name << "\n" << log.join('\n').toStdString();
    }
}

}  // namespace
