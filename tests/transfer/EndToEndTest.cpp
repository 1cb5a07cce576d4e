// The engine on the real libcurl control against the scripted local test
// server: whole downloads, resumes, repairs and retries over real sockets.
#include "DownloadEngineFixture.h"

#include <transfer/CurlHttpControl.h>

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
        server = std::make_unique<TestServer>(root.path());
        ASSERT_TRUE(content.size() == kSize && server->isRunning()) << server->errorString().toStdString();
    }
    bool runURL(const QString &path) { engine->SourceURL = server->url(path); return EngineBase::runURL(); }
    void loadDescriptor(const QString &path) { engine->SourceURL = server->url(path); EngineBase::loadDescriptor(content); }
    void retryWhilePending() { for (int i = 0; i < 5 && engine->RetryPending; ++i) engine->RetryTimer_Timer(); }
    qint64 sizeOnDisk() const { return QFileInfo(dest()).size(); }
    bool completedWith(const QByteArray &bytes) const { return status() == "Download completed and verified!" && readFile(dest()) == bytes; }
};

TEST_F(EndToEndTest, DroppedConnectionIsResumedByRetries)
{
    EXPECT_FALSE(runURL("/f.bin?drop=70000"));
    const qint64 partial = sizeOnDisk();
    retryWhilePending();
    EXPECT_TRUE(completedWith(content));
    EXPECT_EQ(server->requestLog().value(1), QStringLiteral("GET /f.bin?drop=70000 bytes=%1-").arg(partial));
}

TEST_F(EndToEndTest, FreshUrlDownloadOverHttpAndHttpsWithTestCaAndWrongHost)
{
    EXPECT_TRUE(runURL("/f.bin") && completedWith(content));
    EXPECT_EQ(server->requestLog(), QStringList{"GET /f.bin -"});
    QFile::remove(dest());
    EXPECT_TRUE(runURL("/f.bin?nolength=1") && completedWith(content));  // size learnt at the end of the body

    QFile::remove(dest());
    TestCertificates certificates;
    ASSERT_TRUE(certificates.isValid()) << certificates.errorString().toStdString();
    qputenv("ORVANTA_CA_BUNDLE", certificates.caBundle().toLocal8Bit());
    server = std::make_unique<TestServer>(root.path(), TestServer::Options{0, certificates.serverCert(), certificates.serverKey()});
    EXPECT_TRUE(runURL("/f.bin") && completedWith(content));
    QFile::remove(dest());
    server = std::make_unique<TestServer>(root.path(), TestServer::Options{0, certificates.wrongHostCert(), certificates.wrongHostKey()});
    EXPECT_FALSE(runURL("/f.bin"));
    EXPECT_TRUE(engine->RetryPending && !QFileInfo::exists(dest()));
    qunsetenv("ORVANTA_CA_BUNDLE");
}

TEST_F(EndToEndTest, ResumeAfterTheProgramWasKilledMidTransfer)
{
    content = writeRandomFile(root.filePath(QStringLiteral("big.bin")), 3 << 20, 78);  // past one gathered write
    QProcess bench;
    bench.start(ORVANTA_BIN_DIR "/download_bench", {server->url("/big.bin?trickle=1500000"), dest()});
    ASSERT_TRUE(bench.waitForStarted());
    for (QDeadlineTimer deadline(20000); sizeOnDisk() == 0 && !deadline.hasExpired();)
        QThread::msleep(20);
    bench.kill();
    bench.waitForFinished();
    const qint64 partial = sizeOnDisk();
    ASSERT_TRUE(partial > 0 && partial < content.size()) << partial;
    EXPECT_TRUE(runURL("/big.bin") && completedWith(content));
    EXPECT_EQ(server->requestLog().last(), QStringLiteral("GET /big.bin bytes=%1-").arg(partial));
}

TEST_F(EndToEndTest, FreshDescriptorDownloadThenVerifiedWithoutARequest)
{
    loadDescriptor("/f.bin?id=7");
    engine->UseStartParam = true;
    EXPECT_TRUE(runDDF() && completedWith(content));
    EXPECT_TRUE(!runDDF() && status() == "File complete and verified!");  // verified, nothing fetched
    EXPECT_EQ(server->requestLog(), QStringList{"GET /f.bin?id=7&start=0 -"});
}

TEST_F(EndToEndTest, ThreeDamagedBlocksAreRepairedInThreeCycles)
{
    loadDescriptor("/f.bin");
    writeFile(dest(), damaged(damaged(damaged(content, 4096 * 2 + 5), 4096 * 20), 4096 * 47 + 4095));
    EXPECT_FALSE(runDDF());
    EXPECT_TRUE(status() == "File complete and verified!" && readFile(dest()) == content);
    EXPECT_EQ(server->requestLog(), (QStringList{"GET /f.bin bytes=8192-", "GET /f.bin bytes=81920-", "GET /f.bin bytes=192512-"}));
}

TEST_F(EndToEndTest, BlockCorruptedInTransitIsNotWrittenAndTheRetryResumesWithoutVerifying)
{
    loadDescriptor("/f.bin?corrupt=50000&once=1");
    EXPECT_FALSE(runDDF());
    EXPECT_TRUE(logged("CRC error in bytes retrieved. Rolling back to retry..."));
    EXPECT_EQ(sizeOnDisk(), 49152);  // the good blocks before the bad one only
    const qsizetype before = log.text().size();
    retryWhilePending();
    EXPECT_TRUE(completedWith(content));
    EXPECT_EQ(server->requestLog().value(1), "GET /f.bin?corrupt=50000&once=1 bytes=49152-");
    EXPECT_FALSE(log.text().mid(before).contains("Verifying file integrity..."));
}

TEST_F(EndToEndTest, SwitchingServersWhilePaused)
{
    TestServer slow(root.path(), TestServer::Options{40000, {}, {}});  // the pause lands while the body runs
    loadDescriptor("/f.bin");
    engine->SourceURL = slow.url("/f.bin");
    engine->ServerCount = 2;
    QTimer::singleShot(700, engine.get(), [this] { engine->CancelButton_Click(); });
    EXPECT_FALSE(runDDF());
    const qint64 partial = sizeOnDisk();
    EXPECT_TRUE(view.serversVisible() && partial > 0 && partial < kSize && partial % 4096 == 0) << partial;

    engine->SourceURL = server->url("/f.bin");
    engine->CancelButton_Click();  // resume
    engine->ResumeTimer_Timer();
    EXPECT_TRUE(completedWith(content));
    EXPECT_EQ(server->requestLog(), QStringList{QStringLiteral("GET /f.bin bytes=%1-").arg(partial)});
}

} // namespace
