// The engine on the real libcurl control against the scripted local test
// server: whole downloads, resumes, repairs and retries over real sockets.
#include "DownloadEngineFixture.h"

#include <transfer/CurlHttpControl.h>

#include <QDeadlineTimer>
#include <QThread>
#include <QTimer>

namespace {

constexpr qint64 kSize = 200000;  // 48 full blocks and a short one

class EndToEndTest : public EngineBase {
protected:
    QTemporaryDir root;  // what the server serves
    QByteArray content;
    CurlHttpControl inet;
    std::unique_ptr<TestServer> server;

    void SetUp() override
    {
        start(inet);
        inet.setStallSeconds(5);
        content = writeRandomFile(root.filePath(QStringLiteral("f.bin")), kSize, 77);
        ASSERT_EQ(content.size(), kSize);
        server = std::make_unique<TestServer>(root.path());
        ASSERT_TRUE(server->isRunning()) << server->errorString().toStdString();
    }
    using EngineBase::runURL;
    bool runURL(const QString &pathAndQuery)
    {
        engine->SourceURL = server->url(pathAndQuery);
        return runURL();
    }
    void loadDescriptor(const QString &pathAndQuery)
    {
        engine->SourceURL = server->url(pathAndQuery);
        EngineBase::loadDescriptor(content);
    }
    // Fires armed retries, at most `limit`; how many ran.
    int retryUntilDone(int limit)
    {
        int retries = 0;
        for (; engine->RetryPending && retries < limit; ++retries)
            engine->RetryTimer_Timer();
        return retries;
    }
    qint64 sizeOnDisk() const { return QFileInfo(dest()).size(); }
    bool completedWith(const QByteArray &bytes) const
    {
        return status() == QStringLiteral("Download completed and verified!") && readFile(dest()) == bytes;
    }
};

TEST_F(EndToEndTest, FreshUrlDownloadIsByteIdentical)
{
    EXPECT_TRUE(runURL(QStringLiteral("/f.bin")));
    EXPECT_TRUE(completedWith(content));
    EXPECT_EQ(server->requestLog(), QStringList{QStringLiteral("GET /f.bin -")});
}

TEST_F(EndToEndTest, DroppedConnectionIsResumedByRetries)
{
    EXPECT_FALSE(runURL(QStringLiteral("/f.bin?drop=70000")));
    const qint64 partial = sizeOnDisk();
    EXPECT_TRUE(partial > 0 && partial < kSize);
    EXPECT_GE(retryUntilDone(5), 1);
    EXPECT_TRUE(completedWith(content));
    EXPECT_TRUE(server->requestLog().value(1).endsWith(QStringLiteral("bytes=%1-").arg(partial)));
}

TEST_F(EndToEndTest, HttpsWithTrustedAndWrongHostCertificates)
{
    TestCertificates certificates;
    ASSERT_TRUE(certificates.isValid()) << certificates.errorString().toStdString();
    qputenv("ORVANTA_CA_BUNDLE", certificates.caBundle().toLocal8Bit());
    server = std::make_unique<TestServer>(root.path(), TestServer::Options{0, certificates.serverCert(), certificates.serverKey()});
    EXPECT_TRUE(runURL(QStringLiteral("/f.bin")));
    EXPECT_TRUE(completedWith(content));

    QFile::remove(dest());
    server = std::make_unique<TestServer>(root.path(), TestServer::Options{0, certificates.wrongHostCert(), certificates.wrongHostKey()});
    EXPECT_FALSE(runURL(QStringLiteral("/f.bin")));
    EXPECT_TRUE(engine->RetryPending);
    EXPECT_FALSE(QFileInfo::exists(dest()));
    qunsetenv("ORVANTA_CA_BUNDLE");
}

TEST_F(EndToEndTest, ResumeAfterTheProgramWasKilledMidTransfer)
{
    // Large enough that gathered blocks reach the disk before the end.
    content = writeRandomFile(root.filePath(QStringLiteral("big.bin")), 3 << 20, 78);
    QProcess bench;
    bench.start(QStringLiteral(ORVANTA_BIN_DIR "/download_bench"), {server->url(QStringLiteral("/big.bin?trickle=1500000")), dest()});
    ASSERT_TRUE(bench.waitForStarted());
    for (QDeadlineTimer deadline(20000); sizeOnDisk() == 0 && !deadline.hasExpired();)
        QThread::msleep(20);
    bench.kill();
    bench.waitForFinished();
    const qint64 partial = sizeOnDisk();
    ASSERT_TRUE(partial > 0 && partial < content.size()) << partial;

    EXPECT_TRUE(runURL(QStringLiteral("/big.bin")));
    EXPECT_TRUE(completedWith(content));
    EXPECT_EQ(server->requestLog().last(), QStringLiteral("GET /big.bin bytes=%1-").arg(partial));
}

TEST_F(EndToEndTest, FreshDescriptorDownloadWithStartParameter)
{
    loadDescriptor(QStringLiteral("/f.bin?id=7"));
    engine->UseStartParam = true;
    EXPECT_TRUE(runDDF());
    EXPECT_TRUE(completedWith(content));
    EXPECT_EQ(server->requestLog(), QStringList{QStringLiteral("GET /f.bin?id=7&start=0 -")});
}

TEST_F(EndToEndTest, CompleteFileIsVerifiedWithoutAnyRequest)
{
    loadDescriptor(QStringLiteral("/f.bin"));
    writeFile(dest(), content);
    EXPECT_FALSE(runDDF());
    EXPECT_EQ(status(), QStringLiteral("File complete and verified!"));
    EXPECT_TRUE(server->requestLog().isEmpty());
}

TEST_F(EndToEndTest, ThreeDamagedBlocksAreRepairedInThreeCycles)
{
    loadDescriptor(QStringLiteral("/f.bin"));
    writeFile(dest(), damaged(damaged(damaged(content, 4096 * 2 + 5), 4096 * 20), 4096 * 47 + 4095));
    EXPECT_FALSE(runDDF());
    EXPECT_EQ(status(), QStringLiteral("File complete and verified!"));
    EXPECT_EQ(readFile(dest()), content);
    EXPECT_EQ(server->requestLog(), (QStringList{"GET /f.bin bytes=8192-", "GET /f.bin bytes=81920-", "GET /f.bin bytes=192512-"}));
}

TEST_F(EndToEndTest, BlockCorruptedInTransitIsFetchedAgain)
{
    loadDescriptor(QStringLiteral("/f.bin?corrupt=50000&once=1"));
    EXPECT_FALSE(runDDF());
    EXPECT_TRUE(logged(QStringLiteral("CRC error in bytes retrieved. Rolling back to retry...")));
    EXPECT_LE(sizeOnDisk(), 49152);
    EXPECT_EQ(retryUntilDone(3), 1);
    EXPECT_TRUE(completedWith(content));
}

TEST_F(EndToEndTest, SwitchingServersWhilePaused)
{
    TestServer slow(root.path(), TestServer::Options{40000, {}, {}});  // the pause lands while the body runs
    loadDescriptor(QStringLiteral("/f.bin"));
    engine->SourceURL = slow.url(QStringLiteral("/f.bin"));
    engine->ServerCount = 2;
    QTimer::singleShot(700, engine.get(), [this] { engine->CancelButton_Click(); });
    EXPECT_FALSE(runDDF());
    EXPECT_TRUE(view.serversVisible());
    const qint64 partial = sizeOnDisk();
    EXPECT_TRUE(partial > 0 && partial < kSize && partial % 4096 == 0) << partial;

    engine->SourceURL = server->url(QStringLiteral("/f.bin"));
    engine->CancelButton_Click();  // resume
    engine->ResumeTimer_Timer();
    EXPECT_TRUE(completedWith(content));
    EXPECT_EQ(server->requestLog(), QStringList{QStringLiteral("GET /f.bin bytes=%1-").arg(partial)});
}

} // namespace
