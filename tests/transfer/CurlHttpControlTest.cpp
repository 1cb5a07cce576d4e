#include <support/TestServer.h>
#include <transfer/CurlHttpControl.h>

#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include <memory>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>
#include <optional>

namespace {

using Status = HttpControl::Chunk::Status;

constexpr qsizetype kBlock = 4096;
constexpr qsizetype kSmallSize = 3 * kBlock + 1000;
constexpr qsizetype kMediumSize = (qsizetype(1) << 20) + 123;

// Sets an environment variable for one scope.
class EnvironmentGuard {
public:
    EnvironmentGuard(const char *name, const QByteArray &value) : m_name(name) { qputenv(name, value); }
    ~EnvironmentGuard() { qunsetenv(m_name); }

private:
    const char *m_name;
};

qint64 processCpuMs()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return qint64(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000 +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000;
}

struct Received {
    QByteArray bytes;
    QList<qsizetype> chunkSizes;
    Status last = Status::End;
    int errorCode = 0;
    QString errorText;
};

// Waits for the response headers the way the transfer loop does; a
// repeating guard timer keeps the wait bounded even if nothing happens.
bool waitForHeaders(CurlHttpControl &control, int timeoutMs = 15000)
{
    QTimer guard;
    guard.start(100);
    const QDeadlineTimer deadline(timeoutMs);
    while (control.StillExecuting() && !deadline.hasExpired())
        control.processEvents(true);
    return !control.StillExecuting();
}

// Reads the body in blocks until it ends or fails (or `maxBytes` are in).
Received readBody(CurlHttpControl &control, qsizetype maxBytes = -1)
{
    Received received;
    QTimer guard;
    guard.start(100);
    const QDeadlineTimer deadline(60000);
    while (!deadline.hasExpired() && (maxBytes < 0 || received.bytes.size() < maxBytes)) {
        const HttpControl::Chunk chunk = control.GetChunk(kBlock);
        received.last = chunk.status;
        if (chunk.status != Status::Data) {
            received.errorCode = chunk.errorCode;
            received.errorText = chunk.errorText;
            break;
        }
        received.bytes.append(chunk.data);
        received.chunkSizes << chunk.data.size();
    }
    return received;
}

class CurlHttpControlTest : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_root = std::make_unique<QTemporaryDir>();
        s_small = writeRandomFile(s_root->filePath(QStringLiteral("small.bin")), kSmallSize, 11);
        s_medium = writeRandomFile(s_root->filePath(QStringLiteral("medium.bin")), kMediumSize, 12);
        s_server = std::make_unique<TestServer>(s_root->path());
    }
    static void TearDownTestSuite()
    {
        s_server.reset();
        s_root.reset();
    }
    void SetUp() override { ASSERT_TRUE(s_server->isRunning()) << s_server->errorString().toStdString(); }

    // Starts a GET of `pathAndQuery` on the shared server and waits for its headers.
    void get(const QString &pathAndQuery, const QString &extraHeaders = {})
    {
        control.setURL(s_server->url(pathAndQuery));
        control.Execute(extraHeaders);
        ASSERT_TRUE(waitForHeaders(control));
    }
    QStringList logLinesFor(const QString &pathPrefix) const
    {
        return s_server->requestLog().filter(QRegularExpression(QStringLiteral("^GET ") +
                                                                QRegularExpression::escape(pathPrefix)));
    }

    static inline std::unique_ptr<QTemporaryDir> s_root;
    static inline std::unique_ptr<TestServer> s_server;
    static inline QByteArray s_small;
    static inline QByteArray s_medium;

    CurlHttpControl control;
};

TEST_F(CurlHttpControlTest, PlainGetDeliversExactBytesInFullBlocks)
{
    get(QStringLiteral("/medium.bin"));
    const QString header = control.GetHeader();
    EXPECT_TRUE(header.startsWith(QStringLiteral("HTTP/1.1 200 OK\r\n"))) << header.toStdString();
    EXPECT_EQ(header.mid(9, 3), QStringLiteral("200"));
    EXPECT_TRUE(header.endsWith(QStringLiteral("\r\n\r\n")));
    EXPECT_EQ(control.GetHeader(QStringLiteral("content-length")), QString::number(kMediumSize));
    EXPECT_EQ(control.GetHeader(QStringLiteral("X-Not-There")), QString());
    EXPECT_TRUE(control.failureText().isEmpty());

    const Received body = readBody(control);
    EXPECT_EQ(body.last, Status::End);
    ASSERT_EQ(body.bytes.size(), s_medium.size());
    EXPECT_TRUE(body.bytes == s_medium);
    for (qsizetype i = 0; i + 1 < body.chunkSizes.size(); ++i)
        ASSERT_EQ(body.chunkSizes[i], kBlock) << "block " << i;
    EXPECT_EQ(body.chunkSizes.back(), kMediumSize % kBlock);
    // The end stays the end.
    EXPECT_EQ(control.GetChunk(kBlock).status, Status::End);
}

TEST_F(CurlHttpControlTest, RangeRequestGetsPartialContentFromTheOffset)
{
    get(QStringLiteral("/small.bin?start=5000"), QStringLiteral("Range: bytes=5000-\r\n"));
    EXPECT_TRUE(control.GetHeader().startsWith(QStringLiteral("HTTP/1.1 206 Partial Content\r\n")));
    EXPECT_EQ(control.GetHeader(QStringLiteral("Content-Length")), QString::number(kSmallSize - 5000));
    EXPECT_EQ(control.GetHeader(QStringLiteral("Content-Range")),
              QStringLiteral("bytes 5000-%1/%2").arg(kSmallSize - 1).arg(kSmallSize));
    const Received body = readBody(control);
    EXPECT_EQ(body.last, Status::End);
    EXPECT_TRUE(body.bytes == s_small.mid(5000));
    EXPECT_EQ(logLinesFor(QStringLiteral("/small.bin?start=5000")),
              QStringList{QStringLiteral("GET /small.bin?start=5000 bytes=5000-")});
}

TEST_F(CurlHttpControlTest, EveryStatusCodeSurfacesInTheHeaderBlock)
{
    const struct {
        QString query;
        QString extraHeaders;
        QString statusLine;
    } cases[] = {
        {QStringLiteral("?status=204"), {}, QStringLiteral("HTTP/1.1 204 No Content")},
        {QStringLiteral("?status=401"), {}, QStringLiteral("HTTP/1.1 401 Unauthorized")},
        {QStringLiteral("?status=404"), {}, QStringLiteral("HTTP/1.1 404 Not Found")},
        {QStringLiteral("?status=500"), {}, QStringLiteral("HTTP/1.1 500 Internal Server Error")},
        {QString(), QStringLiteral("Range: bytes=%1-\r\n").arg(kSmallSize),
         QStringLiteral("HTTP/1.1 416 Requested Range Not Satisfiable")},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.statusLine.toStdString());
        get(QStringLiteral("/small.bin") + c.query, c.extraHeaders);
        EXPECT_TRUE(control.GetHeader().startsWith(c.statusLine + QStringLiteral("\r\n")))
            << control.GetHeader().toStdString();
        EXPECT_EQ(control.GetHeader().mid(9, 3), c.statusLine.mid(9, 3));
        EXPECT_EQ(control.GetChunk(kBlock).status, Status::End);
    }
}

TEST_F(CurlHttpControlTest, BodyWithoutContentLengthRunsToTheClose)
{
    get(QStringLiteral("/small.bin?nolength=1"));
    EXPECT_EQ(control.GetHeader().mid(9, 3), QStringLiteral("200"));
    EXPECT_EQ(control.GetHeader(QStringLiteral("Content-Length")), QString());
    const Received body = readBody(control);
    EXPECT_EQ(body.last, Status::End);
    EXPECT_TRUE(body.bytes == s_small);
}

TEST_F(CurlHttpControlTest, ConnectionDroppedMidBodyIsAnErrorAfterTheFullBlocks)
{
    get(QStringLiteral("/small.bin?drop=10000"));
    const Received body = readBody(control);
    EXPECT_EQ(body.last, Status::Error);
    EXPECT_EQ(body.errorCode, int(CURLE_PARTIAL_FILE));
    EXPECT_TRUE(body.errorText.startsWith(QString::fromUtf8(curl_easy_strerror(CURLE_PARTIAL_FILE))))
        << body.errorText.toStdString();
    // Only whole blocks come out; the torn tail is not passed off as data.
    EXPECT_EQ(body.bytes.size(), 2 * kBlock);
    EXPECT_TRUE(body.bytes == s_small.first(2 * kBlock));
}

TEST_F(CurlHttpControlTest, StalledBodyFailsAfterTheStallTime)
{
    control.setStallSeconds(2);
    get(QStringLiteral("/small.bin?stall=100"));
    QElapsedTimer clock;
    clock.start();
    const qint64 cpuBefore = processCpuMs();
    const Received body = readBody(control);
    // The wait sleeps in the event loop; a busy poll would burn the CPU.
    EXPECT_LT(processCpuMs() - cpuBefore, 400);
    EXPECT_EQ(body.last, Status::Error);
    EXPECT_EQ(body.errorCode, int(CURLE_OPERATION_TIMEDOUT));
    EXPECT_GE(clock.elapsed(), 1500);
    EXPECT_LT(clock.elapsed(), 4000);
    EXPECT_TRUE(body.bytes.isEmpty());
}

TEST_F(CurlHttpControlTest, TrickledBodyStillCompletes)
{
    control.setStallSeconds(2);
    get(QStringLiteral("/small.bin?trickle=20000"));
    const Received body = readBody(control);
    EXPECT_EQ(body.last, Status::End);
    EXPECT_TRUE(body.bytes == s_small);
    EXPECT_EQ(body.chunkSizes.size(), 4);
}

TEST_F(CurlHttpControlTest, RedirectIsFollowedAndTheFinalAddressReported)
{
    get(QStringLiteral("/small.bin?redirect=1&start=7"));
    EXPECT_TRUE(control.GetHeader().startsWith(QStringLiteral("HTTP/1.1 200 OK\r\n")))
        << control.GetHeader().toStdString();
    EXPECT_FALSE(control.GetHeader().contains(QStringLiteral("302")));
    EXPECT_EQ(control.requestAddress(), s_server->url(QStringLiteral("/small.bin?start=7")));
    const Received body = readBody(control);
    EXPECT_TRUE(body.bytes == s_small);
    EXPECT_EQ(control.requestAddress(), s_server->url(QStringLiteral("/small.bin?start=7")));
    EXPECT_EQ(logLinesFor(QStringLiteral("/small.bin?")).filter(QStringLiteral("start=7")).size(), 2);
}

TEST_F(CurlHttpControlTest, NonHttpSchemesAreRefusedWithoutReadingAnything)
{
    const QString localFile = s_root->filePath(QStringLiteral("small.bin"));
    for (const QString &url : {QStringLiteral("file://") + localFile, QStringLiteral("ftp://127.0.0.1:1/x"),
                               QStringLiteral("http://[not a url")}) {
        SCOPED_TRACE(url.toStdString());
        control.setURL(url);
        control.Execute();
        ASSERT_TRUE(waitForHeaders(control));
        EXPECT_EQ(control.GetHeader(), QString());
        EXPECT_FALSE(control.failureText().isEmpty());
        const HttpControl::Chunk chunk = control.GetChunk(kBlock);
        EXPECT_EQ(chunk.status, Status::Error);
        EXPECT_TRUE(chunk.data.isEmpty());
    }
}

TEST_F(CurlHttpControlTest, RefusedConnectionExplainsItself)
{
    control.setURL(QStringLiteral("http://127.0.0.1:1/small.bin"));
    control.Execute();
    ASSERT_TRUE(waitForHeaders(control));
    EXPECT_EQ(control.GetHeader(), QString());
    EXPECT_TRUE(control.failureText().startsWith(QString::fromUtf8(curl_easy_strerror(CURLE_COULDNT_CONNECT))))
        << control.failureText().toStdString();
    EXPECT_EQ(control.GetChunk(kBlock).errorCode, int(CURLE_COULDNT_CONNECT));
}

TEST_F(CurlHttpControlTest, SilentServerTimesOutWhileWaitingForHeaders)
{
    // A listener that never accepts: the connection completes in its
    // backlog, but no answer ever comes.
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(listener, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listener, 4), 0);
    ASSERT_EQ(::getsockname(listener, reinterpret_cast<sockaddr *>(&address), &length), 0);

    control.setStallSeconds(1);
    control.setURL(QStringLiteral("http://127.0.0.1:%1/x").arg(ntohs(address.sin_port)));
    QElapsedTimer clock;
    clock.start();
    control.Execute();
    EXPECT_TRUE(control.StillExecuting());
    const bool ended = waitForHeaders(control, 5000);
    ::close(listener);
    ASSERT_TRUE(ended);
    EXPECT_GE(clock.elapsed(), 900);
    EXPECT_EQ(control.GetHeader(), QString());
    EXPECT_TRUE(control.failureText().startsWith(QString::fromUtf8(curl_easy_strerror(CURLE_OPERATION_TIMEDOUT))))
        << control.failureText().toStdString();
}

TEST_F(CurlHttpControlTest, ScriptedCorruptionAndWrongOffsetsReachTheClient)
{
    // The engine's tests lean on these server faults; check they do what they say.
    get(QStringLiteral("/small.bin?corrupt=5000&once=1"));
    QByteArray expected = s_small;
    expected[5000] = char(expected[5000] ^ 0xFF);
    EXPECT_TRUE(readBody(control).bytes == expected);
    get(QStringLiteral("/small.bin?corrupt=5000&once=1"));
    EXPECT_TRUE(readBody(control).bytes == s_small);

    get(QStringLiteral("/small.bin?badoffset=1"), QStringLiteral("Range: bytes=8192-\r\n"));
    EXPECT_EQ(control.GetHeader().mid(9, 3), QStringLiteral("206"));
    EXPECT_EQ(control.GetHeader(QStringLiteral("Content-Range")),
              QStringLiteral("bytes 0-%1/%2").arg(kSmallSize - 1).arg(kSmallSize));
    EXPECT_TRUE(readBody(control).bytes == s_small);

    get(QStringLiteral("/small.bin?norange=1"), QStringLiteral("Range: bytes=8192-\r\n"));
    EXPECT_EQ(control.GetHeader().mid(9, 3), QStringLiteral("200"));
    EXPECT_TRUE(readBody(control).bytes == s_small);
}

TEST_F(CurlHttpControlTest, CredentialsAreSentOnlyWhenGiven)
{
    const QString path = QStringLiteral("/small.bin?auth=%1").arg(QStringLiteral("ann:s%C3%A9cret"));
    const struct {
        QString userName;
        QString password;
        QString status;
    } cases[] = {
        {QString(), QString(), QStringLiteral("401")},
        {QStringLiteral("ann"), QStringLiteral("wrong"), QStringLiteral("401")},
        {QStringLiteral("ann"), QStringLiteral("s\u00e9cret"), QStringLiteral("200")},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.password.toStdString());
        control.setUserName(c.userName);
        control.setPassword(c.password);
        get(path);
        EXPECT_EQ(control.GetHeader().mid(9, 3), c.status) << control.GetHeader().toStdString();
    }
}

TEST_F(CurlHttpControlTest, GzipBodyIsStoredAsSentNotDecoded)
{
    get(QStringLiteral("/small.bin?gzip=1"));
    EXPECT_EQ(control.GetHeader(QStringLiteral("Content-Encoding")), QStringLiteral("gzip"));
    const Received body = readBody(control);
    EXPECT_EQ(body.last, Status::End);
    EXPECT_EQ(QString::number(body.bytes.size()), control.GetHeader(QStringLiteral("Content-Length")));
    EXPECT_TRUE(body.bytes.startsWith("\x1f\x8b"));
    EXPECT_NE(body.bytes.size(), kSmallSize);
}

TEST_F(CurlHttpControlTest, CancelMidBodyThenANewRequestWorks)
{
    control.Cancel();  // idle: harmless
    control.setStallSeconds(0);  // no stall check: must not fail at once either
    get(QStringLiteral("/medium.bin?trickle=200000"));
    const Received part = readBody(control, 2 * kBlock);
    ASSERT_EQ(part.bytes.size(), 2 * kBlock);
    control.Cancel();
    EXPECT_FALSE(control.StillExecuting());
    EXPECT_EQ(control.GetChunk(kBlock).status, Status::Error);

    get(QStringLiteral("/small.bin"));
    const Received body = readBody(control);
    EXPECT_EQ(body.last, Status::End);
    EXPECT_TRUE(body.bytes == s_small);
}

TEST_F(CurlHttpControlTest, WaitOnAStalledBodyEndsWhenInterrupted)
{
    get(QStringLiteral("/small.bin?stall=8192"));
    const Received first = readBody(control, 2 * kBlock);
    ASSERT_EQ(first.bytes.size(), 2 * kBlock);

    bool stop = false;
    QTimer::singleShot(200, [&stop] { stop = true; });
    QElapsedTimer clock;
    clock.start();
    const HttpControl::Chunk chunk = control.GetChunk(kBlock, [&stop] { return stop; });
    EXPECT_EQ(chunk.status, Status::Interrupted);
    EXPECT_TRUE(chunk.data.isEmpty());
    EXPECT_GE(clock.elapsed(), 150);
    EXPECT_LT(clock.elapsed(), 5000);
    control.Cancel();
}

TEST_F(CurlHttpControlTest, ReceiveBufferStaysBoundedWhileTheReaderIsAway)
{
    constexpr qsizetype kBigSize = qsizetype(64) << 20;
    const QByteArray big = writeRandomFile(s_root->filePath(QStringLiteral("big.bin")), kBigSize, 13);
    ASSERT_EQ(big.size(), kBigSize);
    get(QStringLiteral("/big.bin"));

    // Nobody reads for a while: the transfer must pause, not buffer on.
    QEventLoop idle;
    QTimer::singleShot(1500, &idle, &QEventLoop::quit);
    idle.exec();
    EXPECT_TRUE(control.receivePaused());
    EXPECT_GT(control.bufferedBytes(), control.bufferCapacity() / 2);
    EXPECT_LE(control.bufferedBytes(), control.bufferCapacity());

    // With data waiting, a block still lets due window events run.
    bool ticked = false;
    QTimer::singleShot(0, [&ticked] { ticked = true; });
    QThread::msleep(30);
    const HttpControl::Chunk first = control.GetChunk(kBlock);
    ASSERT_EQ(first.status, Status::Data);
    EXPECT_TRUE(ticked);
    EXPECT_TRUE(first.data == big.first(kBlock));

    Received body = readBody(control);
    body.bytes.prepend(big.first(kBlock));
    EXPECT_EQ(body.last, Status::End);
    ASSERT_EQ(body.bytes.size(), kBigSize);
    EXPECT_TRUE(body.bytes == big);
    EXPECT_LE(control.peakBufferedBytes(), CurlHttpControl::kBufferCapacity);
    QFile::remove(s_root->filePath(QStringLiteral("big.bin")));
}

// --- HTTPS --------------------------------------------------------------------

class CurlHttpControlTlsTest : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_certificates = std::make_unique<TestCertificates>();
        s_root = std::make_unique<QTemporaryDir>();
        s_file = writeRandomFile(s_root->filePath(QStringLiteral("secure.bin")), 50000, 21);
    }
    static void TearDownTestSuite()
    {
        s_certificates.reset();
        s_root.reset();
    }
    void SetUp() override
    {
        ASSERT_TRUE(s_certificates->isValid()) << s_certificates->errorString().toStdString();
    }

    static inline std::unique_ptr<TestCertificates> s_certificates;
    static inline std::unique_ptr<QTemporaryDir> s_root;
    static inline QByteArray s_file;
    CurlHttpControl control;
};

TEST_F(CurlHttpControlTlsTest, TrustedCertificateForTheHostSucceeds)
{
    TestServer server(s_root->path(), {0, s_certificates->serverCert(), s_certificates->serverKey()});
    ASSERT_TRUE(server.isRunning()) << server.errorString().toStdString();
    EnvironmentGuard ca("ORVANTA_CA_BUNDLE", s_certificates->caBundle().toLocal8Bit());
    control.setURL(server.url(QStringLiteral("/secure.bin")));
    control.Execute();
    ASSERT_TRUE(waitForHeaders(control));
    EXPECT_EQ(control.GetHeader().mid(9, 3), QStringLiteral("200")) << control.failureText().toStdString();
    const Received body = readBody(control);
    EXPECT_EQ(body.last, Status::End);
    EXPECT_TRUE(body.bytes == s_file);
}

TEST_F(CurlHttpControlTlsTest, UntrustedOrWrongHostCertificateFails)
{
    TestServer wrongHost(s_root->path(), {0, s_certificates->wrongHostCert(), s_certificates->wrongHostKey()});
    TestServer rightHost(s_root->path(), {0, s_certificates->serverCert(), s_certificates->serverKey()});
    ASSERT_TRUE(wrongHost.isRunning() && rightHost.isRunning());
    const struct {
        const char *name;
        QString url;
        bool trustTestCa;
    } cases[] = {
        {"certificate names another host", wrongHost.url(QStringLiteral("/secure.bin")), true},
        {"issuer not trusted", rightHost.url(QStringLiteral("/secure.bin")), false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        std::optional<EnvironmentGuard> ca;
        if (c.trustTestCa)
            ca.emplace("ORVANTA_CA_BUNDLE", s_certificates->caBundle().toLocal8Bit());
        control.setURL(c.url);
        control.Execute();
        ASSERT_TRUE(waitForHeaders(control));
        EXPECT_EQ(control.GetHeader(), QString());
        EXPECT_FALSE(control.failureText().isEmpty());
        const HttpControl::Chunk chunk = control.GetChunk(kBlock);
        EXPECT_EQ(chunk.status, Status::Error);
        EXPECT_TRUE(chunk.errorCode == CURLE_PEER_FAILED_VERIFICATION || chunk.errorCode == CURLE_SSL_CACERT)
            << chunk.errorCode << " " << chunk.errorText.toStdString();
    }
}

// --- nginx --------------------------------------------------------------------

TEST(CurlHttpControlNginxTest, LargeGetAndResumedRangeAreByteIdentical)
{
    if (!NginxServer::installed())
        GTEST_SKIP() << "nginx is not installed";
    QTemporaryDir root;
    constexpr qsizetype kSize = (qsizetype(12) << 20) + 777;
    const QByteArray file = writeRandomFile(root.filePath(QStringLiteral("large.bin")), kSize, 31);
    ASSERT_EQ(file.size(), kSize);
    NginxServer nginx(root.path());
    ASSERT_TRUE(nginx.isRunning()) << nginx.errorString().toStdString();

    CurlHttpControl control;
    control.setURL(nginx.url(QStringLiteral("/large.bin")));
    control.Execute();
    ASSERT_TRUE(waitForHeaders(control));
    EXPECT_EQ(control.GetHeader().mid(9, 3), QStringLiteral("200"));
    Received whole = readBody(control);
    EXPECT_EQ(whole.last, Status::End);
    EXPECT_TRUE(whole.bytes == file);

    constexpr qsizetype kOffset = (qsizetype(5) << 20) + 4096 * 3;
    control.Execute(QStringLiteral("Range: bytes=%1-\r\n").arg(kOffset));
    ASSERT_TRUE(waitForHeaders(control));
    EXPECT_TRUE(control.GetHeader().startsWith(QStringLiteral("HTTP/1.1 206 Partial Content\r\n")));
    EXPECT_EQ(control.GetHeader(QStringLiteral("Content-Length")), QString::number(kSize - kOffset));
    const Received tail = readBody(control);
    EXPECT_EQ(tail.last, Status::End);
    EXPECT_TRUE(tail.bytes == file.mid(kOffset));
}

TEST(CurlHttpControlNginxTest, Http2OverTlsLooksLikeHttp11AndStaysBounded)
{
    if (!NginxServer::installed())
        GTEST_SKIP() << "nginx is not installed";
    TestCertificates certificates;
    ASSERT_TRUE(certificates.isValid()) << certificates.errorString().toStdString();
    QTemporaryDir root;
    constexpr qsizetype kSize = (qsizetype(24) << 20) + 5;
    const QByteArray file = writeRandomFile(root.filePath(QStringLiteral("h2.bin")), kSize, 41);
    ASSERT_EQ(file.size(), kSize);
    NginxServer nginx(root.path(), {certificates.serverCert(), certificates.serverKey()});
    ASSERT_TRUE(nginx.isRunning()) << nginx.errorString().toStdString();
    EnvironmentGuard ca("ORVANTA_CA_BUNDLE", certificates.caBundle().toLocal8Bit());

    CurlHttpControl control;
    control.setURL(nginx.url(QStringLiteral("/h2.bin")));
    control.Execute(QStringLiteral("Range: bytes=4096-\r\n"));
    ASSERT_TRUE(waitForHeaders(control));
    EXPECT_TRUE(control.GetHeader().startsWith(QStringLiteral("HTTP/1.1 206 Partial Content\r\n")))
        << control.GetHeader().toStdString() << control.failureText().toStdString();
    EXPECT_EQ(control.GetHeader(QStringLiteral("Content-Length")), QString::number(kSize - 4096));
    // HTTP/2 header names arrive in lower case: proof of the protocol spoken.
    EXPECT_TRUE(control.GetHeader().contains(QStringLiteral("\r\ncontent-length: ")));

    QEventLoop idle;
    QTimer::singleShot(1000, &idle, &QEventLoop::quit);
    idle.exec();
    EXPECT_LE(control.bufferedBytes(), control.bufferCapacity());

    const Received body = readBody(control);
    EXPECT_EQ(body.last, Status::End);
    EXPECT_TRUE(body.bytes == file.mid(4096));
    EXPECT_LE(control.peakBufferedBytes(), CurlHttpControl::kBufferCapacity);
}

}  // namespace
