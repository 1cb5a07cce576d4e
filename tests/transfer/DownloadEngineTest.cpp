// The engine on a scripted client, for what neither the recorded sessions nor
// the fault table reach: pauses inside a check, a repair or the last hash,
// offsets and free space past 32 bits, the flush before "verified", and a
// pause as the server sees it.
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
const QString kHonest = QStringLiteral("http://honest.test/f.bin");

class EngineTest : public testing::Test {
protected:
    QTemporaryDir dir;
    FakeHttpClient http;
    DownloadEngine engine{http};
    DownloadJob job;
    QStringList log;

    void SetUp() override
    {
        job.sourceUrl = kHonest;
        job.destination = dir.filePath("out.bin");
        engine.setRetryDelay(std::chrono::hours(1));
        engine.setResumeDelay(std::chrono::milliseconds(0));
        QObject::connect(&engine, &DownloadEngine::logLine, [this](const QString &line) { log << line; });
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
    // The server answers from `whole`, ranges included.
    void serve(const QByteArray &whole)
    {
        http.answer = [whole](const HttpRequest &r, int) {
            return r.rangeStart < 0 ? FakeHttpClient::reply(200, whole)
                                    : FakeHttpClient::reply(206, whole.mid(r.rangeStart), r.rangeStart, whole.size());
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
