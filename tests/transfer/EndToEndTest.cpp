// The engine on the real libcurl client against the project's scripted
// server on loopback: whole downloads, resumes, repairs, retries and a
// server switch over real sockets.
#include "DownloadEngineFixture.h"

#include <transfer/CurlHttpClient.h>

#include <QTimer>

namespace {

constexpr qint64 kSize = 200000;  // 48 full blocks and a short one

class EndToEndTest : public ::testing::Test {
protected:
    using State = DownloadEngine::State;
    QTemporaryDir dir, root;  // ours, and what the server serves
    QByteArray content;
    CurlHttpClient http;
    DownloadEngine engine{http};
    DownloadJob job;
    QStringList log;
    std::unique_ptr<TestServer> server;

    void SetUp() override
    {
        http.setStallSeconds(5);
        engine.setFreeSpaceQuery([](const QString &) { return 1e15; });
        engine.setRetryDelay(std::chrono::hours(1));
        QObject::connect(&engine, &DownloadEngine::logLine, [this](const QString &line) { log << line; });
        content = writeRandomFile(root.filePath(QStringLiteral("f.bin")), kSize, 77);
        server = std::make_unique<TestServer>(root.path());
        ASSERT_TRUE(content.size() == kSize && server->isRunning()) << server->errorString().toStdString();
        job.destination = dir.filePath(QStringLiteral("out.bin"));
    }
    // Runs until the engine ends somewhere other than busy or resuming.
    State run(const std::function<void()> &begin)
    {
        begin();
        EXPECT_TRUE(runUntil([&] { return !engine.isBusy() && engine.state() != State::Resuming; }, 30000));
        return engine.state();
    }
    State start(const QString &pathAndQuery)
    {
        job.sourceUrl = server->url(pathAndQuery);
        return run([&] { engine.start(job); });
    }
    State retry()
    {
        return run([&] {
            engine.setRetryDelay(std::chrono::milliseconds(0));
            EXPECT_TRUE(runUntil([&] { return engine.state() != State::WaitingToRetry; }));
        });
    }
    void describe()
    {
        DescriptorHeader record;
        record.version = 1.2f;
        QFile ddf(job.descriptorPath = dir.filePath(QStringLiteral("f.ddf")));
        const QByteArray bytes = buildDescriptor(record, content).value();
        ASSERT_TRUE(ddf.open(QIODevice::WriteOnly) && ddf.write(bytes) == bytes.size());
        job.mode = DownloadJob::Mode::Descriptor;
        job.descriptor = DescriptorHeader::fromBytes(bytes);
    }
    QByteArray onDisk() const
    {
        QFile f(job.destination);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
};

TEST_F(EndToEndTest, DroppedConnectionIsResumedByTheRetry)
{
    EXPECT_EQ(start("/f.bin?drop=70000"), State::WaitingToRetry);
    const qint64 partial = onDisk().size();
    EXPECT_TRUE(partial > 0 && partial <= 70000 && partial % 4096 == 0) << partial;
    // Every answer to this URL breaks off after 70000 bytes: each retry gets further.
    State end = State::WaitingToRetry;
    for (int i = 0; i < 5 && end == State::WaitingToRetry; ++i)
        end = retry();
    EXPECT_EQ(end, State::Completed);
    EXPECT_EQ(onDisk(), content);
    EXPECT_EQ(server->requestLog().value(1), QStringLiteral("GET /f.bin?drop=70000 bytes=%1-").arg(partial));
}

TEST_F(EndToEndTest, FreshUrlDownloadsOverHttpAndHttpsAndAWrongHostIsRefused)
{
    EXPECT_EQ(start("/f.bin"), State::Completed);
    EXPECT_EQ(onDisk(), content);
    EXPECT_EQ(server->requestLog(), QStringList{"GET /f.bin -"});
    QFile::remove(job.destination);
    EXPECT_EQ(start("/f.bin?nolength=1"), State::Completed);  // size learnt at the end of the body
    EXPECT_EQ(onDisk(), content);

    QFile::remove(job.destination);
    TestCertificates certificates;
    ASSERT_TRUE(certificates.isValid()) << certificates.errorString().toStdString();
    qputenv("ORVANTA_CA_BUNDLE", certificates.caBundle().toLocal8Bit());
    server = std::make_unique<TestServer>(root.path(), TestServer::Options{0, certificates.serverCert(), certificates.serverKey()});
    EXPECT_EQ(start("/f.bin"), State::Completed);
    EXPECT_EQ(onDisk(), content);
    QFile::remove(job.destination);
    server = std::make_unique<TestServer>(root.path(), TestServer::Options{0, certificates.wrongHostCert(), certificates.wrongHostKey()});
    EXPECT_EQ(start("/f.bin"), State::WaitingToRetry);
    EXPECT_FALSE(QFileInfo::exists(job.destination));
    qunsetenv("ORVANTA_CA_BUNDLE");
}

TEST_F(EndToEndTest, FreshDescriptorDownloadThenCheckedWithoutARequest)
{
    describe();
    job.appendStartOffset = true;
    job.sourceUrl = server->url("/f.bin?id=7");
    EXPECT_EQ(run([&] { engine.start(job); }), State::Completed);
    EXPECT_EQ(run([&] { engine.start(job); }), State::Verified);
    EXPECT_EQ(onDisk(), content);
    EXPECT_EQ(server->requestLog(), QStringList{"GET /f.bin?id=7&start=0 -"});
}

TEST_F(EndToEndTest, ThreeDamagedBlocksAreRepairedInThreeCycles)
{
    describe();
    QByteArray bad = content;
    for (qint64 at : {4096 * 2 + 5, 4096 * 20, 4096 * 47 + 4095})
        bad[at] = char(bad[at] ^ 0x5a);
    QFile f(job.destination);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly) && f.write(bad) == bad.size());
    f.close();
    EXPECT_EQ(start("/f.bin"), State::Verified);
    EXPECT_EQ(onDisk(), content);
    EXPECT_EQ(server->requestLog(), (QStringList{"GET /f.bin bytes=8192-", "GET /f.bin bytes=81920-", "GET /f.bin bytes=192512-"}));
}

TEST_F(EndToEndTest, ABlockCorruptedInTransitIsNotWrittenAndTheRetryResumesWithoutACheck)
{
    describe();
    EXPECT_EQ(start("/f.bin?corrupt=50000&once=1"), State::WaitingToRetry);
    EXPECT_TRUE(log.contains("CRC error in bytes retrieved. Rolling back to retry..."));
    EXPECT_EQ(onDisk(), content.left(49152));  // the good blocks before the bad one only
    log.clear();
    // Every answer to this URL breaks off after 70000 bytes: each retry gets further.
    State end = State::WaitingToRetry;
    for (int i = 0; i < 5 && end == State::WaitingToRetry; ++i)
        end = retry();
    EXPECT_EQ(end, State::Completed);
    EXPECT_EQ(onDisk(), content);
    EXPECT_EQ(server->requestLog().value(1), "GET /f.bin?corrupt=50000&once=1 bytes=49152-");
    EXPECT_FALSE(log.contains("Verifying file integrity..."));
}

TEST_F(EndToEndTest, SwitchingServersWhilePaused)
{
    TestServer slow(root.path(), TestServer::Options{40000, {}, {}});  // the pause lands while the body runs
    describe();
    job.sourceUrl = slow.url("/f.bin");
    QTimer::singleShot(700, &engine, [this] { engine.pause(); });
    EXPECT_EQ(run([&] { engine.start(job); }), State::Paused);
    const qint64 partial = onDisk().size();
    EXPECT_TRUE(partial > 0 && partial < kSize && partial % 4096 == 0) << partial;

    DownloadJob other = job;
    other.sourceUrl = server->url("/f.bin");
    other.serverIndex = 1;
    engine.setResumeDelay(std::chrono::milliseconds(0));
    EXPECT_EQ(run([&] { engine.resume(other); }), State::Completed);
    EXPECT_EQ(onDisk(), content);
    EXPECT_EQ(server->requestLog(), QStringList{QStringLiteral("GET /f.bin bytes=%1-").arg(partial)});
}

} // namespace
