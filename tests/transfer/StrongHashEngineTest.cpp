// The engine with an extended descriptor: chunks and the whole file are
// weighed by their SHA-256, a server that forges twice is left alone; a pause
// during the last hash leaves only the hash, in URL mode too.
#include <support/EngineSettle.h>
#include <support/FakeHttpClient.h>

#include <descriptor/DescriptorBytes.h>
#include <descriptor/DescriptorTrailer.h>
#include <transfer/DownloadEngine.h>

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
    void describe(const QString &server, const QByteArray &trailer)
    {
        const QByteArray ddf = descriptor({.servers = {server.toLatin1()}}, original) + trailer;
        job.descriptorPath = dir.filePath("f.ddf");
        ASSERT_TRUE(writeFile(job.descriptorPath, ddf));
        job.mode = DownloadJob::Mode::Descriptor;
        job.sourceUrl = server;
        job.descriptor = DescriptorHeader::fromBytes(ddf);
        job.strongHashes = readTrailer(job.descriptorPath, job.descriptor, ddf.size()).trailer;
        ASSERT_TRUE(job.strongHashes.has_value());
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

// What the checks find (blocks, chunks, the whole file's hash) decides where
// the download goes on and how it ends.
TEST_F(StrongHashEngine, TheChecksWeighChunksAndTheWholeFile)
{
    QByteArray chunkHashes;
    for (qint64 at = 0; at < original.size(); at += MiB)
        chunkHashes += sha256Reference(QByteArrayView(original).sliced(at, std::min(MiB, original.size() - at)));
    const QByteArray wrongFileHash = trailerFromHashes(quint64(original.size()), quint32(MiB), chunkHashes, QByteArray(32, '\x42'));
    struct Row { const char *name; QByteArray existing; S state; QStringList ranges; const char *logs; QByteArray trailer = {}; };
    const Row rows[] = {
        {"complete and intact", original, S::Verified, {}, "Your file has been verified, and is ready for use!"},
        {"complete with a forged block in chunk 1", forged, S::Completed, {"honest.test 1048576"},
         "SHA-256 error in current file. Will download again from the bad chunk..."},
        {"partial, ending inside chunk 1: resumed at its start", original.left(MiB + 8192), S::Completed,
         {"honest.test 1048576"}, "Saving data to disk..."},
        {"partial with a damaged block: one block repaired", QByteArray(original.left(2 * MiB)).replace(5, 1, "?"),
         S::Completed, {"honest.test 0", "honest.test 2097152"}, "CRC error in current file. Will attempt to repair..."},
        {"every chunk matches, the whole file does not: never verified", {}, S::Failed, {"honest.test -"},
         "The file's SHA-256 does not match the descriptor's.", wrongFileHash},
    };
    for (const Row &r : rows) {
        log.clear();
        http.requests.clear();
        describe(kHonest, r.trailer.isEmpty() ? trailerOf(original) : r.trailer);
        ASSERT_TRUE(writeFile(job.destination, r.existing));
        engine.start(job);
        EXPECT_TRUE(settle(engine, http)) << r.name;
        EXPECT_EQ(engine.state(), r.state) << r.name << "\n" << log.join('\n').toStdString();
        EXPECT_EQ(ranges(), r.ranges) << r.name;
        EXPECT_GE(logged(QString::fromLatin1(r.logs)), 0) << r.name << "\n" << log.join('\n').toStdString();
        EXPECT_EQ(logged("Your download has been completed and verified!") >= 0, r.state == S::Completed) << r.name;
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

// A pause during the last hash leaves only that hash to do: the resume
// finishes it and asks the server nothing more.
TEST_F(StrongHashEngine, APauseDuringTheLastHashLeavesOnlyTheHash)
{
    Sha256Digest right;
    std::memcpy(right.data(), sha256Reference(original).constData(), 32);
    Sha256Digest wrong = right;
    wrong[0] ^= 1;
    struct Row { const char *name; bool descriptor; Sha256Digest digest; S state; const char *logs; };
    const Row rows[] = {
        {"URL, a matching digest", false, right, S::Completed, "The file's SHA-256 matches the digest the server published."},
        {"URL, a digest of other data", false, wrong, S::Failed,
         "The file's SHA-256 does not match the digest the server published."},
        {"extended descriptor", true, right, S::Verified, "Your file has been verified, and is ready for use!"},
    };
    bool pauseDue = false;
    QObject::connect(&engine, &DownloadEngine::stateChanged, [&](S state) {
        if (state == S::Checking && std::exchange(pauseDue, false))
            QMetaObject::invokeMethod(&engine, [&] { engine.pause(); }, Qt::QueuedConnection);
    });
    for (const Row &r : rows) {
        log.clear();
        http.requests.clear();
        QFile::remove(job.destination);
        if (r.descriptor) {
            describe(kHonest, trailerOf(original));
        } else {
            job = DownloadJob{.sourceUrl = kHonest, .destination = job.destination};
            http.answer = [&](const HttpRequest &q, int) {
                if (q.rangeStart >= original.size())
                    return FakeHttpClient::Reply{HttpResponse{.status = 416}};
                FakeHttpClient::Reply reply = FakeHttpClient::reply(200, original);
                reply.head->sha256 = r.digest;
                return reply;
            };
        }
        pauseDue = true;
        engine.start(job);
        EXPECT_TRUE(settle(engine, http)) << r.name;
        ASSERT_EQ(engine.state(), S::Paused) << r.name << "\n" << log.join('\n').toStdString();
        engine.resume();
        EXPECT_TRUE(settle(engine, http)) << r.name;
        EXPECT_EQ(engine.state(), r.state) << r.name << "\n" << log.join('\n').toStdString();
        EXPECT_EQ(http.requests.size(), 1u) << r.name;
        EXPECT_GE(logged(QString::fromLatin1(r.logs)), 0) << r.name << "\n" << log.join('\n').toStdString();
        EXPECT_TRUE(onDisk() == original) << r.name;
    }
}

}  // namespace
