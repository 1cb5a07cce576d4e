// The engine on a scripted client, for what neither the recorded sessions nor
// the fault table reach: pauses inside a check or a repair, offsets past 32
// bits, the flush before "verified", and a pause as the server sees it.
#include <support/EngineSettle.h>
#include <support/FakeHttpClient.h>
#include <support/TestServer.h>

#include <descriptor/DescriptorBytes.h>
#include <transfer/CurlHttpClient.h>
#include <transfer/DownloadEngine.h>

#include <QFile>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>

#include <cerrno>

#include <gtest/gtest.h>

namespace {

using S = DownloadEngine::State;

class EngineTest : public testing::Test {
protected:
    QTemporaryDir dir;
    FakeHttpClient http;
    DownloadEngine engine{http};
    DownloadJob job;

    void SetUp() override
    {
        job.sourceUrl = "http://127.0.0.1:1/f.bin";
        job.destination = dir.filePath("out.bin");
        engine.setRetryDelay(std::chrono::hours(1));
        engine.setResumeDelay(std::chrono::milliseconds(0));
    }
    QByteArray content(qint64 size) { return writeRandomFile(dir.filePath("served"), size); }
    static QByteArray damaged(QByteArray bytes, qint64 at) { bytes[at] = char(bytes[at] ^ 0x5a); return bytes; }
    static void put(const QString &path, const QByteArray &bytes) { ASSERT_TRUE(descriptortest::writeFile(path, bytes)); }
    QByteArray onDisk() const { return descriptortest::readFile(job.destination); }
    void describe(const QByteArray &bytes, float version = 1.2f)
    {
        DescriptorHeader record;
        record.version = version;
        const QByteArray ddf = buildDescriptor(record, bytes).value();
        put(job.descriptorPath = dir.filePath("f.ddf"), ddf);
        job.mode = DownloadJob::Mode::Descriptor;
        job.descriptor = DescriptorHeader::fromBytes(ddf);
    }
    void serve(const QByteArray &whole)
    {
        http.answer = [=](const HttpRequest &r, int) {
            return r.rangeStart < 0 ? FakeHttpClient::reply(200, whole)
                                    : FakeHttpClient::reply(206, whole.mid(r.rangeStart), r.rangeStart, whole.size());
        };
    }
    QStringList ranges() const
    {
        QStringList out;
        for (const HttpRequest &r : http.requests)
            out << (r.rangeStart < 0 ? QStringLiteral("-") : QString::number(r.rangeStart));
        return out;
    }
};

TEST_F(EngineTest, APausedRepairIsCarriedOutOnResumeNotDeclaredDone)
{
    const QByteArray whole = content(20480);
    describe(whole);
    put(job.destination, damaged(whole, 8192));
    serve(whole);
    bool paused = false;
    engine.start(job);
    EXPECT_TRUE(runUntil([&] {
        if (!paused && engine.state() == S::Connecting)  // the repair's request is out
            paused = (engine.pause(), true);
        return paused && !engine.isBusy();
    }));
    EXPECT_EQ(onDisk(), damaged(whole, 8192));
    engine.resume();
    EXPECT_TRUE(runUntil([&] { return engine.state() == S::Verified; }));
    EXPECT_EQ(ranges(), (QStringList{"8192", "8192"}));
    EXPECT_EQ(onDisk(), whole);
}

// The check runs on its worker: the event loop turns and progress comes
// meanwhile; a pause stops it, and the resume checks again from the start.
TEST_F(EngineTest, TheCheckReportsFromItsWorkerAndAPausedOneIsDoneAgain)
{
    const QByteArray whole = content(16 << 20);
    describe(whole);
    put(job.destination, damaged(whole, (16 << 20) - 100));
    serve(whole);
    std::vector<qint64> progress;
    QObject::connect(&engine, &DownloadEngine::checkProgressed, [&](qint64 value, qint64) { progress.push_back(value); });
    engine.start(job);
    ASSERT_EQ(engine.state(), S::Checking);
    engine.pause();
    EXPECT_EQ(engine.state(), S::Paused);
    EXPECT_TRUE(settle(engine, http));
    EXPECT_TRUE(http.requests.empty());
    int turns = 0;
    progress.clear();
    engine.resume();
    EXPECT_TRUE(runUntil([&] { return ++turns, engine.state() == S::Verified; }, 30000));
    EXPECT_GT(turns, 10);
    EXPECT_GT(progress.size(), 10u);
    EXPECT_EQ(ranges(), QStringList{QString::number((16 << 20) - 4096)});  // the bad block near the end
    EXPECT_EQ(onDisk(), whole);
}

TEST_F(EngineTest, OffsetsBeyond4GiB)
{
    const qint64 fiveGiB = 5368709120;
    QFile f(job.destination);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite) && f.resize(fiveGiB));  // sparse
    const QByteArray tail = content(4096);
    http.replies.push_back(FakeHttpClient::reply(206, tail, fiveGiB, fiveGiB + 4096));
    engine.start(job);
    EXPECT_TRUE(settle(engine, http));
    EXPECT_EQ(engine.state(), S::Completed);
    EXPECT_EQ(ranges(), QStringList{QString::number(fiveGiB)});
    ASSERT_TRUE(f.seek(fiveGiB));
    EXPECT_EQ(f.readAll(), tail);
}

// Nothing is called complete or verified before the whole file is flushed
// to its device, and nothing at all when the flush fails.
TEST_F(EngineTest, TheFileIsFlushedBeforeAnyVerifiedText)
{
    const QByteArray whole = content(20480);
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

}  // namespace
