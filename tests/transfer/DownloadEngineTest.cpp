// The engine on a scripted client, for what neither the recorded sessions nor
// the fault table reach: pauses inside a check, a repair or the last hash,
// chunks and the whole file weighed by their SHA-256, offsets and free space
// past 32 bits, the flush before "verified", and a pause as the server sees it.
#include <support/EngineSettle.h>
#include <support/FakeHttpClient.h>

#include <descriptor/DescriptorBytes.h>
#include <descriptor/DescriptorTrailer.h>
#include <transfer/CurlHttpClient.h>
#include <transfer/DownloadEngine.h>

#include <QFile>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>

#include <cerrno>

#include <gtest/gtest.h>

namespace {

using namespace descriptortest;
using S = DownloadEngine::State;
constexpr qint64 MiB = 1048576;
const QString kForger = QStringLiteral("http://forger.test/f.bin");
const QString kHonest = QStringLiteral("http://honest.test/f.bin");

class EngineTest : public testing::Test {
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
        job.sourceUrl = kHonest;
        job.destination = dir.filePath("out.bin");
        engine.setRetryDelay(std::chrono::hours(1));
        engine.setResumeDelay(std::chrono::milliseconds(0));
        QObject::connect(&engine, &DownloadEngine::logLine, [this](const QString &line) { log << line; });
        serve(original);
    }
    static QByteArray damaged(QByteArray bytes, qint64 at) { bytes[at] = char(bytes[at] ^ 0x5a); return bytes; }
    static void put(const QString &path, const QByteArray &bytes) { ASSERT_TRUE(writeFile(path, bytes)); }
    QByteArray onDisk() const { return readFile(job.destination); }
    // A descriptor of `content` naming `server`, with `trailer` after its list.
    void describe(const QByteArray &content, const QByteArray &trailer = {}, const QString &server = kHonest)
    {
        const QByteArray ddf = descriptor({.servers = {server.toLatin1()}}, content) + trailer;
        put(job.descriptorPath = dir.filePath("f.ddf"), ddf);
        job.mode = DownloadJob::Mode::Descriptor;
        job.sourceUrl = server;
        job.descriptor = DescriptorHeader::fromBytes(ddf);
        job.strongHashes = readTrailer(job.descriptorPath, job.descriptor, ddf.size()).trailer;
        ASSERT_EQ(job.strongHashes.has_value(), !trailer.isEmpty());
    }
    // Every server answers from `whole`, ranges included; the forger from `forged`.
    void serve(const QByteArray &whole)
    {
        http.answer = [this, whole](const HttpRequest &r, int) {
            const QByteArray &copy = r.url.startsWith(kForger) ? forged : whole;
            return r.rangeStart < 0 ? FakeHttpClient::reply(200, copy)
                                    : FakeHttpClient::reply(206, copy.mid(r.rangeStart), r.rangeStart, copy.size());
        };
    }
    QStringList ranges() const
    {
        QStringList out;
        for (const HttpRequest &r : http.requests)
            out << QStringLiteral("%1 %2").arg(QUrl(r.url).host(), r.rangeStart < 0 ? QStringLiteral("-") : QString::number(r.rangeStart));
        return out;
    }
    qsizetype logged(const QString &text) const { return log.indexOf(text); }
};

TEST_F(EngineTest, OffsetsBeyond4GiB)
{
    const qint64 fiveGiB = 5368709120;
    QFile f(job.destination);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite) && f.resize(fiveGiB));  // sparse
    const QByteArray tail = randomBytes(4096, 5);
    http.answer = nullptr;
    http.replies.push_back(FakeHttpClient::reply(206, tail, fiveGiB, fiveGiB + 4096));
    engine.start(job);
    EXPECT_TRUE(settle(engine, http));
    EXPECT_EQ(engine.state(), S::Completed);
    EXPECT_EQ(ranges(), QStringList{"honest.test " + QString::number(fiveGiB)});
    ASSERT_TRUE(f.seek(fiveGiB));
    EXPECT_EQ(f.readAll(), tail);
}

// Nothing is called complete or verified before the whole file is flushed
// to its device, and nothing at all when the flush fails.
TEST_F(EngineTest, TheFileIsFlushedBeforeAnyVerifiedText)
{
    const QByteArray whole = randomBytes(20480, 3);
    serve(whole);
    for (const int start : {0, 1, 2}) {  // a URL, a descriptor, a descriptor over the complete file
        for (const bool fails : {false, true}) {
            SCOPED_TRACE(testing::Message() << start << (fails ? " failing" : ""));
            QFile::remove(job.destination);
            if (start > 0)
                describe(whole);
            if (start == 2)
                put(job.destination, whole);
            QStringList events;
            engine.setDeviceSync([&](const QString &path) {
                events << "sync " + QString::number(QFile(path).size());
                return fails ? std::optional(BlockWriter::Failure{EIO, "Input/output error"}) : std::nullopt;
            });
            const auto texts = QObject::connect(&engine, &DownloadEngine::statusChanged, [&](const QString &t) { events << t; });
            engine.start(job);
            EXPECT_TRUE(settle(engine, http));
            QObject::disconnect(texts);
            const qsizetype verified = events.indexOf(QRegularExpression(".*verified.*", QRegularExpression::CaseInsensitiveOption));
            EXPECT_EQ(events.filter("sync"), QStringList{"sync 20480"});
            EXPECT_EQ(verified < 0, fails) << events.join(" | ").toStdString();
            EXPECT_LT(events.indexOf("sync 20480"), fails ? events.size() : verified);
            EXPECT_EQ(engine.state(), fails ? S::WaitingToRetry : start == 2 ? S::Verified : S::Completed);
        }
    }
}

// Pause ends the transfer where the server sees it: the connection closes,
// and not one byte more reaches the file or the figures.
TEST(EnginePause, TheServerSeesTheConnectionClose)
{
    bool closed = false;
    QTimer feed;  // an endless body, 4 KiB every 5 ms
    QTcpServer server;  // goes first, with its sockets
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost));
    QObject::connect(&server, &QTcpServer::newConnection, [&] {
        QTcpSocket *peer = server.nextPendingConnection();
        QObject::connect(peer, &QTcpSocket::disconnected, [&] { closed = true; });
        QObject::connect(&feed, &QTimer::timeout, peer, [peer] { peer->write(QByteArray(4096, 'x')); });
        peer->write("HTTP/1.1 200 OK\r\nContent-Length: 100000000\r\n\r\n");
        feed.start(5);
    });
    QTemporaryDir dir;
    CurlHttpClient http;
    DownloadEngine engine(http);
    DownloadJob job;
    job.sourceUrl = QStringLiteral("http://127.0.0.1:%1/f").arg(server.serverPort()), job.destination = dir.filePath("f");
    engine.start(job);
    qint64 position = 0;
    QObject::connect(&engine, &DownloadEngine::progressed, [&](const TransferProgress &p) { position = p.position; });
    ASSERT_TRUE(runUntil([&] { return position >= 65536; }));
    engine.pause();
    const qint64 atPause = position;
    EXPECT_TRUE(runUntil([&] { return closed; }, 5000)) << "the server still sends";
    runUntil([] { return false; }, 300);  // anything stray would come now
    EXPECT_EQ(std::pair(position, QFile(dir.filePath("f")).size()), std::pair(atPause, atPause));
}

// What the checks find (chunks by their SHA-256, the whole file's hash)
// decides where the download goes on and how it ends.
TEST_F(EngineTest, TheChecksWeighChunksAndTheWholeFile)
{
    QByteArray chunkHashes;
    for (qint64 at = 0; at < original.size(); at += MiB)
        chunkHashes += sha256Reference(QByteArrayView(original).sliced(at, std::min(MiB, original.size() - at)));
    const QByteArray wrongFileHash = trailerFromHashes(quint64(original.size()), quint32(MiB), chunkHashes, QByteArray(32, '\x42'));
    struct Row { const char *name; QByteArray existing; S state; QStringList ranges; const char *logs; QByteArray trailer = {}; };
    const Row rows[] = {
        {"complete with a forged block in chunk 1", forged, S::Completed, {"honest.test 1048576"},
         "SHA-256 error in current file. Will download again from the bad chunk..."},
        {"partial, ending inside chunk 1: resumed at its start", original.left(MiB + 8192), S::Completed,
         {"honest.test 1048576"}, "Saving data to disk..."},
        {"every chunk matches, the whole file does not: never verified", {}, S::Failed, {"honest.test -"},
         "The file's SHA-256 does not match the descriptor's.", wrongFileHash},
    };
    for (const Row &r : rows) {
        log.clear();
        http.requests.clear();
        describe(original, r.trailer.isEmpty() ? trailerOf(original) : r.trailer);
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
TEST_F(EngineTest, AServerThatForgesTwiceIsNotAskedAgain)
{
    describe(original, trailerOf(original), kForger);
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
TEST_F(EngineTest, FreeSpaceIsJudgedInSixtyFourBits)
{
    const qint64 size = 5368709120;
    job.mode = DownloadJob::Mode::Descriptor;
    job.descriptorPath = dir.filePath("absent.ddf");
    job.strongHashes = DescriptorTrailer{.offset = trailerOffset(size), .fileSize = size, .chunkCount = 5120};
    QStringList reasons;
    QObject::connect(&engine, &DownloadEngine::failed, [&](const DownloadFailure &f) { reasons << f.reason; });
    for (const qint64 length : {qint64(0), qint64(1) << 31, (qint64(1) << 32) + 4096}) {
        for (const qint64 spare : {qint64(-1), qint64(0)}) {
            reasons.clear();
            QFile::remove(job.destination);
            QFile file(job.destination);
            ASSERT_TRUE(length == 0 || (file.open(QIODevice::WriteOnly) && file.resize(length)));  // sparse
            file.close();
            engine.setFreeSpaceQuery([&](const QString &) { return std::optional<qint64>(size - length + spare); });
            engine.start(job);
            engine.stop();
            EXPECT_EQ(reasons.filter("more are needed").size(), spare < 0 ? 1 : 0) << length << " " << spare;
        }
    }
}

// A pause inside a check, while a repair's request is out or during the
// last hash loses nothing: the resume checks again (or finishes the hash)
// and asks the server nothing more than it must. The checks run on their
// worker: resume() returns while they go on, and progress comes meanwhile.
TEST_F(EngineTest, APauseInACheckIsMadeGoodOnResume)
{
    const qint64 size = 16 << 20;
    const QByteArray whole = randomBytes(size, 4), bad = damaged(whole, size - 100);
    Sha256Digest right;
    std::memcpy(right.data(), sha256Reference(whole).constData(), 32);
    Sha256Digest wrong = right;
    wrong[0] ^= 1;
    const QString repair = "honest.test " + QString::number(size - 4096);  // the bad block near the end
    // A digest: a URL download, the server publishing it.
    struct Row { const char *name; std::optional<Sha256Digest> digest; bool trailer; S pauseIn, state; QStringList ranges;
                 const char *logs = "Your file has been verified, and is ready for use!"; };
    const Row rows[] = {
        {"the check of a bad file", {}, false, S::Checking, S::Verified, {repair}},
        {"the repair's request", {}, false, S::Connecting, S::Verified, {repair, repair}},
        {"URL, the hash, a matching digest", right, false, S::Checking, S::Completed, {"honest.test -"},
         "The file's SHA-256 matches the digest the server published."},
        {"URL, the hash, a digest of other data", wrong, false, S::Checking, S::Failed, {"honest.test -"},
         "The file's SHA-256 does not match the digest the server published."},
        {"extended descriptor, the last hash", {}, true, S::Checking, S::Verified, {"honest.test -"}},
    };
    std::vector<qint64> progress;
    QObject::connect(&engine, &DownloadEngine::checkProgressed, [&](qint64 value, qint64) { progress.push_back(value); });
    S pauseIn = S::Idle;
    bool pauseDue = false;
    QObject::connect(&engine, &DownloadEngine::stateChanged, [&](S state) {
        if (state == pauseIn && std::exchange(pauseDue, false))
            QMetaObject::invokeMethod(&engine, [&] { engine.pause(); }, Qt::QueuedConnection);
    });
    for (const Row &r : rows) {
        SCOPED_TRACE(r.name);
        log.clear();
        http.requests.clear();
        const bool url = r.digest.has_value();
        describe(whole, r.trailer ? trailerOf(whole) : QByteArray());
        if (url)
            job.mode = DownloadJob::Mode::Url;
        serve(whole);
        http.answer = [&, served = http.answer](const HttpRequest &q, int k) {
            FakeHttpClient::Reply reply = served(q, k);
            reply.head->sha256 = r.digest;
            return reply;
        };
        QFile::remove(job.destination);
        if (r.ranges.first() == repair)
            put(job.destination, bad);
        pauseIn = r.pauseIn, pauseDue = true;
        engine.start(job);
        EXPECT_TRUE(settle(engine, http, 30000));
        ASSERT_EQ(engine.state(), S::Paused) << log.join('\n').toStdString();
        EXPECT_TRUE(onDisk() == (r.ranges.first() == repair ? bad : whole));
        // The loop gets a turn while the check runs: it is not run inside a slot.
        bool turnedWhileChecking = false;
        progress.clear();
        engine.resume();
        EXPECT_TRUE(runUntil([&] {
            turnedWhileChecking |= engine.state() == S::Checking;
            return engine.state() == r.state;
        }, 30000));
        EXPECT_TRUE(settle(engine, http));
        EXPECT_TRUE(turnedWhileChecking);
        if (!url) {
            EXPECT_GT(progress.size(), 10u);  // a URL's hash shows no check progress
        }
        EXPECT_EQ(engine.state(), r.state) << log.join('\n').toStdString();
        EXPECT_EQ(ranges(), r.ranges);
        EXPECT_GE(logged(QString::fromLatin1(r.logs)), 0) << log.join('\n').toStdString();
        EXPECT_TRUE(onDisk() == whole);
    }
}

}  // namespace
