// The engine against the real libcurl control and the scripted local test
// server: whole downloads, resumes, repairs and retries over real sockets.
#include <support/ScriptedDialogs.h>
#include <support/TestServer.h>

#include <transfer/CurlHttpControl.h>
#include <transfer/DownloadEngine.h>
#include <transfer/MainWindowModel.h>
#include <util/ActivityLog.h>

#include <descriptor/DdfWriter.h>

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <memory>
#include <optional>

namespace {

constexpr qint64 kSize = 200000;  // 48 full blocks and a short one

class EndToEndTest : public ::testing::Test {
protected:
    using Label = MainWindowModel::Label;

    QTemporaryDir root;  // what the server serves
    QTemporaryDir work;  // where the engine writes
    QByteArray content;
    MainWindowModel view;
    CurlHttpControl inet;
    ScriptedDialogs dialogs;
    ActivityLog log;
    RecordingProcessExit exitSeam;
    std::unique_ptr<DownloadEngine> engine;
    std::unique_ptr<TestServer> server;

    void SetUp() override
    {
        ASSERT_TRUE(root.isValid() && work.isValid());
        content = writeRandomFile(root.filePath(QStringLiteral("f.bin")), kSize, 77);
        ASSERT_EQ(content.size(), kSize);
        inet.setStallSeconds(5);
        engine = std::make_unique<DownloadEngine>(view, inet, dialogs, log, exitSeam);
        engine->freeSpace = [](const QString &) { return 1e15; };
        engine->DestinationPath = work.filePath(QStringLiteral("out.bin"));
        server = std::make_unique<TestServer>(root.path());
        ASSERT_TRUE(server->isRunning()) << server->errorString().toStdString();
    }

    QString dest() const { return engine->DestinationPath; }
    QByteArray onDisk() const
    {
        QFile f(dest());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    void writeDest(const QByteArray &bytes)
    {
        QFile f(dest());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
    }
    bool runURL(const QString &pathAndQuery)
    {
        engine->URLMode = true;
        engine->SourceURL = server->url(pathAndQuery);
        return engine->DownloadFileFromURL(engine->SourceURL, dest(), {}, {});
    }
    void loadDescriptor(const QString &pathAndQuery)
    {
        DDFRecord header;
        header.Version = 1.2f;
        header.FileName = QStringLiteral("f.bin");
        header.Servers[0] = QStringLiteral("Local|") + server->url(pathAndQuery);
        const auto ddf = buildDescriptor(header, content);
        ASSERT_TRUE(ddf.has_value());
        const QString ddfPath = work.filePath(QStringLiteral("f.ddf"));
        QFile f(ddfPath);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(*ddf);
        f.close();
        engine->DDF = DDFRecord::fromHeader(*ddf);
        engine->DescriptorPath = ddfPath;
        engine->ExpectedSize = engine->DDF.FileSize;
        engine->UseStartParam = engine->DDF.StartParam != 0;
        engine->SourceURL = server->url(pathAndQuery);
        engine->URLMode = false;
    }
    bool runDDF() { return engine->DownloadFile(engine->SourceURL, dest(), {}, {}); }
    // Fires armed retries until the download completes; at most `limit`.
    int retryUntilDone(int limit)
    {
        int retries = 0;
        while (engine->RetryPending && retries < limit) {
            engine->RetryTimer_Timer();
            ++retries;
        }
        return retries;
    }
    bool completed() const { return view.text(Label::Status) == QStringLiteral("Download completed and verified!"); }
};

TEST_F(EndToEndTest, FreshUrlDownloadIsByteIdentical)
{
    EXPECT_TRUE(runURL(QStringLiteral("/f.bin")));
    EXPECT_TRUE(onDisk() == content);
    EXPECT_EQ(server->requestLog(), QStringList{QStringLiteral("GET /f.bin -")});
}

TEST_F(EndToEndTest, DroppedConnectionIsResumedByRetries)
{
    EXPECT_FALSE(runURL(QStringLiteral("/f.bin?drop=70000")));
    EXPECT_TRUE(engine->RetryPending);
    const qint64 partial = QFileInfo(dest()).size();
    EXPECT_GT(partial, 0);
    EXPECT_LT(partial, kSize);
    EXPECT_GE(retryUntilDone(5), 1);
    EXPECT_TRUE(completed());
    EXPECT_TRUE(onDisk() == content);
    EXPECT_TRUE(server->requestLog().at(1).endsWith(QStringLiteral("bytes=%1-").arg(partial)));
}

TEST_F(EndToEndTest, ServerIgnoringRangeStartsOver)
{
    writeDest(QByteArray(5000, 'x'));
    EXPECT_TRUE(runURL(QStringLiteral("/f.bin?norange=1")));
    EXPECT_TRUE(onDisk() == content);
    EXPECT_TRUE(log.LogText().contains(QStringLiteral("Could not resume. Starting from beginning of file.")));
}

TEST_F(EndToEndTest, NoContentLengthEndsAtOnceWithoutFile)
{
    EXPECT_TRUE(runURL(QStringLiteral("/f.bin?nolength=1")));
    EXPECT_TRUE(completed());
    EXPECT_FALSE(QFileInfo::exists(dest()));
}

TEST_F(EndToEndTest, HttpsWithTrustedAndWrongHostCertificates)
{
    TestCertificates certificates;
    ASSERT_TRUE(certificates.isValid()) << certificates.errorString().toStdString();
    qputenv("ORVANTA_CA_BUNDLE", certificates.caBundle().toLocal8Bit());
    {
        server = std::make_unique<TestServer>(root.path(),
                                              TestServer::Options{0, certificates.serverCert(), certificates.serverKey()});
        ASSERT_TRUE(server->isRunning());
        EXPECT_TRUE(runURL(QStringLiteral("/f.bin")));
        EXPECT_TRUE(onDisk() == content);
    }
    {
        QFile::remove(dest());
        server = std::make_unique<TestServer>(
            root.path(), TestServer::Options{0, certificates.wrongHostCert(), certificates.wrongHostKey()});
        ASSERT_TRUE(server->isRunning());
        EXPECT_FALSE(runURL(QStringLiteral("/f.bin")));
        EXPECT_TRUE(log.LogText().endsWith(QStringLiteral("Preparing to try again in 30 seconds...\r\n")));
        EXPECT_TRUE(engine->RetryPending);
        EXPECT_FALSE(QFileInfo::exists(dest()));
    }
    qunsetenv("ORVANTA_CA_BUNDLE");
}

TEST_F(EndToEndTest, FreshDescriptorDownloadWithStartParameter)
{
    loadDescriptor(QStringLiteral("/f.bin?id=7"));
    engine->UseStartParam = true;
    EXPECT_TRUE(runDDF());
    EXPECT_TRUE(onDisk() == content);
    EXPECT_EQ(server->requestLog(), QStringList{QStringLiteral("GET /f.bin?id=7&start=0 -")});
}

TEST_F(EndToEndTest, CompleteFileIsVerifiedWithoutAnyRequest)
{
    loadDescriptor(QStringLiteral("/f.bin"));
    writeDest(content);
    EXPECT_FALSE(runDDF());
    EXPECT_EQ(view.text(Label::Status), QStringLiteral("File complete and verified!"));
    EXPECT_TRUE(server->requestLog().isEmpty());
}

TEST_F(EndToEndTest, ThreeDamagedBlocksAreRepairedInThreeCycles)
{
    loadDescriptor(QStringLiteral("/f.bin"));
    QByteArray local = content;
    for (qint64 at : {4096 * 2 + 5, 4096 * 20, 4096 * 47 + 4095})
        local[at] = char(local[at] ^ 0x40);
    writeDest(local);

    EXPECT_FALSE(runDDF());

    EXPECT_EQ(view.text(Label::Status), QStringLiteral("File complete and verified!"));
    EXPECT_EQ(engine->CRCErrorCount, 3);
    EXPECT_TRUE(onDisk() == content);
    EXPECT_EQ(server->requestLog(), (QStringList{QStringLiteral("GET /f.bin bytes=8192-"),
                                                 QStringLiteral("GET /f.bin bytes=81920-"),
                                                 QStringLiteral("GET /f.bin bytes=192512-")}));
}

TEST_F(EndToEndTest, BlockCorruptedInTransitIsFetchedAgain)
{
    loadDescriptor(QStringLiteral("/f.bin?corrupt=50000&once=1"));
    EXPECT_FALSE(runDDF());
    EXPECT_TRUE(log.LogText().contains(QStringLiteral("CRC error in bytes retrieved. Rolling back to retry...")));
    EXPECT_LE(QFileInfo(dest()).size(), 49152);
    EXPECT_EQ(retryUntilDone(3), 1);
    EXPECT_TRUE(completed());
    EXPECT_TRUE(onDisk() == content);
}

TEST_F(EndToEndTest, SwitchingServersWhilePaused)
{
    // The first server sends slowly; the pause comes in while the body runs.
    TestServer slow(root.path(), TestServer::Options{40000, {}, {}});
    ASSERT_TRUE(slow.isRunning());
    loadDescriptor(QStringLiteral("/f.bin"));
    engine->SourceURL = slow.url(QStringLiteral("/f.bin"));
    engine->ServerCount = 2;
    QTimer::singleShot(700, engine.get(), [this] { engine->CancelButton_Click(); });
    EXPECT_FALSE(runDDF());
    EXPECT_EQ(view.cancelCaption(), QStringLiteral("Resume Download..."));
    EXPECT_TRUE(view.serversVisible());
    const qint64 partial = QFileInfo(dest()).size();
    EXPECT_GT(partial, 0);
    EXPECT_LT(partial, kSize);
    EXPECT_EQ(partial % 4096, 0);

    engine->SourceURL = server->url(QStringLiteral("/f.bin"));
    engine->CancelButton_Click();  // resume
    EXPECT_TRUE(engine->ResumeTimer.isActive());
    engine->ResumeTimer_Timer();
    EXPECT_TRUE(completed());
    EXPECT_TRUE(onDisk() == content);
    EXPECT_EQ(server->requestLog(), QStringList{QStringLiteral("GET /f.bin bytes=%1-").arg(partial)});
}

} // namespace
