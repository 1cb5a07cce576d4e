#include <support/TestServer.h>
#include <transfer/CurlHttpControl.h>

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QThread>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <ctime>
#include <memory>

namespace {

using Status = HttpControl::Chunk::Status;
constexpr qsizetype kBlock = 4096;

struct Received {
    QByteArray bytes;
    Status last = Status::End;
    int errorCode = 0;
};

// Executes a request for `url` (none: goes on with the current one), waits for its headers, then reads
// blocks the way the transfer loop does until the body ends or fails or `maxBytes` are in; only the last
// block may be short. A repeating guard timer keeps every wait bounded.
Received fetch(CurlHttpControl &control, const QString &url, const QString &extraHeaders = {}, qsizetype maxBytes = -1)
{
    QTimer guard;
    guard.start(100);
    const QDeadlineTimer deadline(60000);
    if (!url.isEmpty()) {
        control.setURL(url);
        control.Execute(extraHeaders);
    }
    while (control.StillExecuting() && !deadline.hasExpired())
        control.processEvents(true);
    Received received;
    while (!deadline.hasExpired() && (maxBytes < 0 || received.bytes.size() < maxBytes)) {
        const HttpControl::Chunk chunk = control.GetChunk(kBlock);
        received.last = chunk.status;
        received.errorCode = chunk.errorCode;
        if (chunk.status != Status::Data)
            break;
        EXPECT_EQ(received.bytes.size() % kBlock, 0) << "a short block before the end";
        received.bytes.append(chunk.data);
    }
    return received;
}

// One test server for the suite, serving a 13288-byte file.
struct Served {
    QTemporaryDir root;
    QByteArray small = writeRandomFile(root.filePath("small.bin"), 3 * kBlock + 1000, 11);
    TestServer server{root.path()};
};

class CurlHttpControlTest : public testing::Test {
protected:
    static void SetUpTestSuite() { s = std::make_unique<Served>(); }
    static void TearDownTestSuite() { s.reset(); }
    void SetUp() override { ASSERT_TRUE(s->server.isRunning()) << s->server.errorString().toStdString(); }
    static QString url(const QString &pathAndQuery) { return s->server.url(pathAndQuery); }

    static inline std::unique_ptr<Served> s;
    CurlHttpControl control;
};

TEST_F(CurlHttpControlTest, ResponsesSurfaceWithTheirStatusLineAndExactBody)
{
    const QString ok = QStringLiteral("HTTP/1.1 200 OK"), range = QStringLiteral("Range: bytes=5000-\r\n");
    const struct {
        QString target;  // a path on the test server, or a whole URL
        QString extraHeaders;
        QString statusLine;  // empty: no response at all
        QByteArray body;
        int errorCode = CURLE_OK;
    } cases[] = {
        {"/small.bin", {}, ok, s->small},
        {"/small.bin", range, "HTTP/1.1 206 Partial Content", s->small.mid(5000)},
        {"/small.bin?norange=1", range, ok, s->small},
        {"/small.bin?nolength=1", {}, ok, s->small},
        {"/small.bin?trickle=5000", {}, ok, s->small},  // longer in all than the stall time
        {"/small.bin?redirect=1&start=7", {}, ok, s->small},
        {"/small.bin?gzip=1", {}, ok, s->small},  // labelled gzip: decoding would choke on these bytes
        {"/small.bin?drop=10000", {}, ok, s->small.first(2 * kBlock), CURLE_PARTIAL_FILE},
        {"/small.bin?stall=100", {}, ok, {}, CURLE_OPERATION_TIMEDOUT},
        {"/small.bin?hang=1", {}, {}, {}, CURLE_OPERATION_TIMEDOUT},
        {"/small.bin?status=204", {}, "HTTP/1.1 204 No Content", {}},
        {"/small.bin?status=401", {}, "HTTP/1.1 401 Unauthorized", {}},
        {"/small.bin?status=404", {}, "HTTP/1.1 404 Not Found", {}},
        {"/small.bin?status=500", {}, "HTTP/1.1 500 Internal Server Error", {}},
        {"/small.bin", "Range: bytes=99999-\r\n", "HTTP/1.1 416 Requested Range Not Satisfiable", {}},
        {"file://" + s->root.filePath("small.bin"), {}, {}, {}, CURLE_UNSUPPORTED_PROTOCOL},
        {"http://127.0.0.1:1/small.bin", {}, {}, {}, CURLE_COULDNT_CONNECT},
    };
    control.Cancel();  // idle: harmless
    control.setStallSeconds(2);
    for (const auto &c : cases) {
        const QString address = c.target.startsWith('/') ? url(c.target) : c.target;
        SCOPED_TRACE((address + ' ' + c.extraHeaders).toStdString());
        QElapsedTimer clock;
        clock.start();
        const std::clock_t cpuBefore = std::clock();
        const Received body = fetch(control, address, c.extraHeaders);
        EXPECT_LT(std::clock() - cpuBefore, CLOCKS_PER_SEC / 2) << "waiting must sleep, not spin";
        const Status last = c.errorCode == CURLE_OK ? Status::End : Status::Error;
        EXPECT_EQ(body.last, last);
        EXPECT_EQ(control.GetChunk(kBlock).status, last);  // the end stays the end
        EXPECT_EQ(body.errorCode, c.errorCode);
        EXPECT_TRUE(body.bytes == c.body) << body.bytes.size() << " bytes";
        EXPECT_EQ(control.GetHeader().section("\r\n", 0, 0), c.statusLine);
        EXPECT_EQ(control.failureText().isEmpty(), !c.statusLine.isEmpty()) << control.failureText().toStdString();
        EXPECT_EQ(control.requestAddress(), QString(address).remove("redirect=1&"));  // where a redirect led
        EXPECT_TRUE(c.errorCode != CURLE_OPERATION_TIMEDOUT || (clock.elapsed() >= 1500 && clock.elapsed() < 4500))
            << clock.elapsed() << " ms";
    }
}

TEST_F(CurlHttpControlTest, InterruptedWaitAndCancelLeaveTheControlReusable)
{
    control.setStallSeconds(0);  // no stall check: must not fail at once either
    ASSERT_EQ(fetch(control, url("/small.bin?stall=8192"), {}, 2 * kBlock).bytes.size(), 2 * kBlock);
    bool stop = false;
    QTimer::singleShot(200, [&stop] { stop = true; });
    const HttpControl::Chunk chunk = control.GetChunk(kBlock, [&stop] { return stop; });
    EXPECT_EQ(chunk.status, Status::Interrupted);
    EXPECT_TRUE(stop && chunk.data.isEmpty());
    control.Cancel();
    EXPECT_EQ(control.GetChunk(kBlock).status, Status::Error);
    EXPECT_TRUE(fetch(control, url("/small.bin")).bytes == s->small);
}

TEST_F(CurlHttpControlTest, ReceiveBufferStaysBoundedWhileTheReaderIsAway)
{
    const QByteArray big = writeRandomFile(s->root.filePath("big.bin"), qsizetype(16) << 20, 13);
    const Received first = fetch(control, url("/big.bin"), {}, kBlock);
    QTest::qWait(1000);  // nobody reads for a while: the transfer must pause, not buffer on
    EXPECT_TRUE(control.receivePaused());
    EXPECT_GT(control.bufferedBytes(), CurlHttpControl::kBufferCapacity / 2);
    // With data waiting, a block still lets due window events run.
    bool ticked = false;
    QTimer::singleShot(0, [&ticked] { ticked = true; });
    QThread::msleep(30);
    const QByteArray second = control.GetChunk(kBlock).data.toByteArray();
    EXPECT_TRUE(ticked);
    const Received rest = fetch(control, {});
    EXPECT_EQ(rest.last, Status::End);
    EXPECT_TRUE(first.bytes + second + rest.bytes == big);
    EXPECT_LE(control.peakBufferedBytes(), CurlHttpControl::kBufferCapacity);
}

TEST_F(CurlHttpControlTest, HttpsTrustsTheGivenAuthorityForTheRightHostOnly)
{
    const TestCertificates certificates;
    ASSERT_TRUE(certificates.isValid()) << certificates.errorString().toStdString();
    const TestServer right(s->root.path(), {0, certificates.serverCert(), certificates.serverKey()});
    const TestServer wrong(s->root.path(), {0, certificates.wrongHostCert(), certificates.wrongHostKey()});
    for (const auto &[server, trustTestCa] : {std::pair(&right, true), {&wrong, true}, {&right, false}}) {
        SCOPED_TRACE(testing::Message() << (server == &right ? "right" : "wrong") << " host, trusted: " << trustTestCa);
        const bool succeeds = server == &right && trustTestCa;
        if (trustTestCa)
            qputenv("ORVANTA_CA_BUNDLE", certificates.caBundle().toLocal8Bit());
        const Received body = fetch(control, server->url("/small.bin"));
        qunsetenv("ORVANTA_CA_BUNDLE");
        EXPECT_EQ(body.last, succeeds ? Status::End : Status::Error) << control.failureText().toStdString();
        EXPECT_EQ(body.bytes == s->small, succeeds);
        EXPECT_EQ(body.errorCode == CURLE_PEER_FAILED_VERIFICATION || body.errorCode == CURLE_SSL_CACERT, !succeeds);
    }
}

TEST_F(CurlHttpControlTest, NginxDownloadAndResumeAreByteIdentical)
{
    const QByteArray file = writeRandomFile(s->root.filePath("large.bin"), (qsizetype(12) << 20) + 777, 31);
    const TestServer nginx(s->root.path(), TestServer::Nginx{});
    ASSERT_TRUE(nginx.isRunning()) << nginx.errorString().toStdString();
    EXPECT_TRUE(fetch(control, nginx.url("/large.bin")).bytes == file);
    const Received head = fetch(control, nginx.url("/large.bin"), {}, qsizetype(5) << 20);
    control.Cancel();
    const QString resume = QStringLiteral("Range: bytes=%1-\r\n").arg(head.bytes.size());
    const Received tail = fetch(control, nginx.url("/large.bin"), resume);
    EXPECT_TRUE(control.GetHeader().startsWith("HTTP/1.1 206 Partial Content\r\n"));
    EXPECT_EQ(control.GetHeader("content-length"), QString::number(file.size() - head.bytes.size()));
    EXPECT_EQ(tail.last, Status::End);
    EXPECT_TRUE(head.bytes + tail.bytes == file);
}

}  // namespace
