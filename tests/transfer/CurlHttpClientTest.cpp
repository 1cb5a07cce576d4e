#include <support/TestServer.h>
#include <transfer/CurlHttpClient.h>

#include <QElapsedTimer>
#include <QFile>
#include <QPointer>
#include <QRegularExpression>
#include <QTest>
#include <QThread>

#include <gtest/gtest.h>

#include <ctime>
#include <functional>
#include <memory>

namespace {

constexpr qsizetype kBlock = 4096;

// Everything a client emitted for the requests it ran, in order.
class Recorder : public QObject {
public:
    explicit Recorder(HttpClient &client)
    {
        connect(&client, &HttpClient::responseReceived, this, [this](const HttpResponse &head) {
            events += "head";
            heads.push_back(head);
            if (onHead)
                onHead(head);
        });
        connect(&client, &HttpClient::dataReceived, this, [this](QByteArrayView data) {
            events += "data";
            runs.push_back(data.size());
            body.append(data);
            if (onData)
                onData(data);
        });
        connect(&client, &HttpClient::finished, this, [this](const std::optional<TransferError> &failure) {
            events += "end";
            ++finishedCount;
            error = failure;
            if (onFinished)
                onFinished();
        });
    }
    // head? data* end: what one request that ran to its end must look like.
    bool wellOrdered() const
    {
        const QString joined = events.join(' ');
        return QRegularExpression("^(head )?(data )*end$").match(joined).hasMatch();
    }
    // The events with each series of runs shown as one "data".
    QString shape() const
    {
        QStringList collapsed;
        for (const QString &event : events)
            if (event != "data" || collapsed.isEmpty() || collapsed.constLast() != "data")
                collapsed += event;
        return collapsed.join(' ');
    }
    bool waitForEnd(int ms = 20000) { return QTest::qWaitFor([this] { return finishedCount > 0; }, ms); }

    QStringList events;
    std::vector<HttpResponse> heads;
    std::vector<qsizetype> runs;
    QByteArray body;
    int finishedCount = 0;
    std::optional<TransferError> error;
    std::function<void(const HttpResponse &)> onHead;
    std::function<void(QByteArrayView)> onData;
    std::function<void()> onFinished;
};

HttpRequest get(const QString &url, qint64 rangeStart = -1, qint64 rangeEnd = -1, const QString &ifRange = {})
{
    HttpRequest request;
    request.url = url;
    request.rangeStart = rangeStart;
    request.rangeEnd = rangeEnd;
    request.ifRange = ifRange;
    return request;
}

// One server for the suite: a 13288-byte file (three blocks and a bit), a
// small other file, and a 16 MiB one.
struct Served {
    QTemporaryDir root;
    QByteArray small = writeRandomFile(root.filePath("f.bin"), 3 * kBlock + 1000, 11);
    QByteArray other = writeRandomFile(root.filePath("g.bin"), 5000, 12);
    QByteArray big = writeRandomFile(root.filePath("big.bin"), qsizetype(16) << 20, 13);
    TestServer server{root.path()};
};

class CurlHttpClientTest : public testing::Test {
protected:
    static void SetUpTestSuite() { s = std::make_unique<Served>(); }
    static void TearDownTestSuite() { s.reset(); }
    void SetUp() override { ASSERT_TRUE(s->server.isRunning()) << s->server.errorString().toStdString(); }
    static QString url(const QString &pathAndQuery) { return s->server.url(pathAndQuery); }
    // The validators the server gives the small file right now.
    static HttpResponse smallFileHead()
    {
        CurlHttpClient client;
        Recorder recorder(client);
        client.start(get(url("/f.bin")));
        recorder.waitForEnd();
        return recorder.heads.empty() ? HttpResponse{} : recorder.heads.front();
    }

    static inline std::unique_ptr<Served> s;
};

TEST_F(CurlHttpClientTest, FinalHeadIsTypedAndTheBodyExact)
{
    const HttpResponse current = smallFileHead();
    ASSERT_FALSE(current.etag.isEmpty());
    ASSERT_FALSE(current.lastModified.isEmpty());
    const qint64 size = s->small.size();
    enum Validator { None, CurrentEtag, CurrentDate, Stale };
    const std::optional<qint64> absent;
    const struct {
        const char *name;
        QString target;
        qint64 rangeStart = -1, rangeEnd = -1;
        Validator validator = None;
        int status;
        QString reason;
        std::optional<qint64> length, contentRangeStart, rangeTotal;
        QByteArray body;
        QString sentRange;  // as the server logged it
    } cases[] = {
        {"whole", "/f.bin", -1, -1, None, 200, "OK", size, absent, absent, s->small, ""},
        {"open range", "/f.bin", 5000, -1, None, 206, "Partial Content", size - 5000, 5000, size, s->small.mid(5000),
         "bytes=5000-"},
        {"closed range", "/f.bin", 5000, 9999, None, 206, "Partial Content", 5000, 5000, size, s->small.mid(5000, 5000),
         "bytes=5000-9999"},
        {"range past the end", "/f.bin", size, -1, None, 416, "Requested Range Not Satisfiable", 0, absent, size, {},
         QStringLiteral("bytes=%1-").arg(size)},
        {"not found", "/f.bin?status=404", -1, -1, None, 404, "Not Found", 0, absent, absent, {}, ""},
        {"own reason phrase", "/f.bin?status=503&reason=Busy%20Now", -1, -1, None, 503, "Busy Now", 0, absent, absent,
         {}, ""},
        {"range ignored", "/f.bin?norange=1", 5000, -1, None, 200, "OK", size, absent, absent, s->small, "bytes=5000-"},
        {"wrong range start", "/f.bin?crstart=7", 5000, -1, None, 206, "Partial Content", size - 5000, 7, size,
         s->small.mid(5000), "bytes=5000-"},
        {"no length", "/f.bin?nolength=1", -1, -1, None, 200, "OK", absent, absent, absent, s->small, ""},
        {"longer than announced", "/f.bin?length=5000", -1, -1, None, 200, "OK", 5000, absent, absent,
         s->small.first(5000), ""},
        {"redirect to another file", "/f.bin?redirect=/g.bin", -1, -1, None, 200, "OK", s->other.size(), absent,
         absent, s->other, ""},
        {"If-Range with the current ETag", "/f.bin", 5000, -1, CurrentEtag, 206, "Partial Content", size - 5000, 5000,
         size, s->small.mid(5000), "bytes=5000-"},
        {"If-Range with the current date", "/f.bin", 5000, -1, CurrentDate, 206, "Partial Content", size - 5000, 5000,
         size, s->small.mid(5000), "bytes=5000-"},
        {"If-Range with a stale validator", "/f.bin", 5000, -1, Stale, 200, "OK", size, absent, absent, s->small,
         "bytes=5000-"},
    };
    CurlHttpClient client;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        Recorder recorder(client);
        const QString validator = c.validator == CurrentEtag  ? current.etag
                                  : c.validator == CurrentDate ? current.lastModified
                                  : c.validator == Stale       ? QStringLiteral("\"an-older-file\"")
                                                               : QString();
        client.start(get(url(c.target), c.rangeStart, c.rangeEnd, validator));
        ASSERT_TRUE(recorder.waitForEnd());
        EXPECT_TRUE(recorder.wellOrdered()) << recorder.events.join(' ').toStdString();
        EXPECT_FALSE(recorder.error.has_value()) << recorder.error->text.toStdString();
        ASSERT_EQ(recorder.heads.size(), 1u);
        const HttpResponse &head = recorder.heads.front();
        EXPECT_EQ(head.status, c.status);
        EXPECT_EQ(head.reasonPhrase, c.reason);
        EXPECT_EQ(head.contentLength, c.length);
        EXPECT_EQ(head.rangeStart, c.contentRangeStart);
        EXPECT_EQ(head.rangeTotal, c.rangeTotal);
        EXPECT_EQ(head.effectiveUrl, url(QString(c.target).replace("f.bin?redirect=/g.bin", "g.bin")));
        EXPECT_EQ(head.etag.isEmpty(), c.status != 200 && c.status != 206);
        EXPECT_TRUE(recorder.body == c.body) << recorder.body.size() << " bytes";
        const TestServer::Request sent = s->server.requests().constLast();
        EXPECT_EQ(sent.range, c.sentRange);
        EXPECT_EQ(sent.ifRange, validator);
    }
}

TEST_F(CurlHttpClientTest, CredentialsAndWeakValidatorsReachTheServerAndBack)
{
    CurlHttpClient client;
    const struct {
        const char *name;
        QString target, user, password;
        int status;
        QString etagPrefix;
    } cases[] = {
        {"no credentials", "/f.bin?auth=ann:secret", {}, {}, 401, {}},
        {"wrong password", "/f.bin?auth=ann:secret", "ann", "guess", 401, {}},
        {"right credentials", "/f.bin?auth=ann:secret", "ann", "secret", 200, "\""},
        {"weak ETag kept as sent", "/f.bin?etag=weak", {}, {}, 200, "W/\""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        Recorder recorder(client);
        HttpRequest request = get(url(c.target));
        request.userName = c.user;
        request.password = c.password;
        client.start(request);
        ASSERT_TRUE(recorder.waitForEnd());
        ASSERT_EQ(recorder.heads.size(), 1u);
        EXPECT_EQ(recorder.heads.front().status, c.status);
        EXPECT_TRUE(c.etagPrefix.isEmpty() ? recorder.heads.front().etag.isEmpty()
                                           : recorder.heads.front().etag.startsWith(c.etagPrefix));
        EXPECT_EQ(recorder.body == s->small, c.status == 200);
    }
}

// Runs are whole blocks but for the body's last, add up to the exact body,
// and come many blocks at a time rather than one signal per block.
TEST_F(CurlHttpClientTest, BodyArrivesInWholeBlockRunsWithTheRemainderLast)
{
    const qsizetype sizes[] = {0, 1, kBlock - 1, kBlock, kBlock + 1, 3 * kBlock + 1000, (qsizetype(1) << 20) + 17,
                               (qsizetype(5) << 20) + 3};
    for (const qsizetype blockSize : {kBlock, qsizetype(1000)}) {
        CurlHttpClient client(blockSize);
        for (const qsizetype size : sizes) {
            SCOPED_TRACE(testing::Message() << size << " bytes in blocks of " << blockSize);
            const QString name = QStringLiteral("size-%1.bin").arg(size);
            const QByteArray content = writeRandomFile(s->root.filePath(name), size, quint64(size));
            Recorder recorder(client);
            client.start(get(url('/' + name)));
            ASSERT_TRUE(recorder.waitForEnd());
            EXPECT_FALSE(recorder.error.has_value());
            EXPECT_TRUE(recorder.wellOrdered()) << recorder.events.join(' ').toStdString();
            EXPECT_TRUE(recorder.body == content) << recorder.body.size();
            for (size_t i = 0; i + 1 < recorder.runs.size(); ++i)
                ASSERT_EQ(recorder.runs[i] % blockSize, 0) << "run " << i << " of " << recorder.runs.size();
            if (!recorder.runs.empty()) {
                EXPECT_GT(recorder.runs.back(), 0);
                EXPECT_EQ(recorder.runs.back() % blockSize == 0, size % blockSize == 0);
            }
            if (size >= (qsizetype(1) << 20)) {
                EXPECT_GE(size / qsizetype(recorder.runs.size()), 4 * blockSize) << recorder.runs.size() << " runs";
            }
        }
    }
}

TEST_F(CurlHttpClientTest, FailuresEndTheRequestWithLibcurlsReason)
{
    using Origin = TransferError::Origin;
    const struct {
        const char *name;
        QString target;  // a path on the test server, or a whole URL
        int status;      // of the head delivered first; 0: none
        QByteArray body;
        CURLcode code;
        Origin origin;
        bool transient;
        QString text;    // the start of the error's text
        int requests;    // how many reached the server
    } cases[] = {
        {"dropped mid-body", "/f.bin?drop=10000", 200, s->small.first(2 * kBlock), CURLE_PARTIAL_FILE, Origin::Network,
         true, "Transferred a partial file (transfer closed with 3288 bytes remaining to read)", 1},
        {"shorter than announced", "/f.bin?length=20000", 200, s->small.first(3 * kBlock), CURLE_PARTIAL_FILE,
         Origin::Network, true, "Transferred a partial file", 1},
        {"connection refused", "http://127.0.0.1:1/f.bin", 0, {}, CURLE_COULDNT_CONNECT, Origin::Network, true,
         "Couldn't connect to server", 0},
        {"redirect to file://", "/f.bin?redirect=file", 0, {}, CURLE_UNSUPPORTED_PROTOCOL, Origin::Protocol, false,
         "Unsupported protocol", 1},
        {"redirect loop", "/f.bin?redirect=loop", 0, {}, CURLE_TOO_MANY_REDIRECTS, Origin::Protocol, true,
         "Number of redirects hit maximum amount", 1 + CurlHttpClient::kMaxRedirects},
        {"other scheme", "ftp://127.0.0.1:1/f.bin", 0, {}, CURLE_UNSUPPORTED_PROTOCOL, Origin::Protocol, false,
         "Unsupported protocol", 0},
        {"malformed URL", "http://[127.0.0.1/f.bin", 0, {}, CURLE_URL_MALFORMAT, Origin::Protocol, false,
         "URL using bad/illegal format or missing URL", 0},
    };
    CurlHttpClient client;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const qsizetype logged = s->server.requests().size();
        Recorder recorder(client);
        client.start(get(c.target.startsWith('/') ? url(c.target) : c.target));
        EXPECT_TRUE(recorder.events.isEmpty()) << "nothing is emitted from inside start()";
        ASSERT_TRUE(recorder.waitForEnd());
        EXPECT_TRUE(recorder.wellOrdered()) << recorder.events.join(' ').toStdString();
        EXPECT_EQ(recorder.heads.empty() ? 0 : recorder.heads.front().status, c.status);
        EXPECT_TRUE(recorder.body == c.body) << recorder.body.size() << " bytes";
        ASSERT_TRUE(recorder.error.has_value());
        EXPECT_EQ(recorder.error->code, int(c.code)) << recorder.error->text.toStdString();
        EXPECT_EQ(recorder.error->origin, c.origin);
        EXPECT_EQ(recorder.error->transient(), c.transient);
        EXPECT_TRUE(recorder.error->text.startsWith(c.text)) << recorder.error->text.toStdString();
        EXPECT_EQ(s->server.requests().size() - logged, c.requests);
    }
}

// The stall time counts silence, not the length of the whole transfer; while
// it waits the client sleeps in the event loop.
TEST_F(CurlHttpClientTest, SilenceFailsAfterTheStallTimeButATrickleDoesNot)
{
    const struct {
        const char *name;
        QString target;
        int minMs, maxMs;
        int status;
        QByteArray body;
        bool timesOut;
    } cases[] = {
        {"silent after the first block", "/f.bin?stall=5000", 900, 3000, 200, s->small.first(kBlock), true},
        {"no answer at all", "/f.bin?hang=1", 900, 3000, 0, {}, true},
        {"trickling for longer than the stall time", "/f.bin?trickle=8000", 1200, 6000, 200, s->small, false},
    };
    CurlHttpClient client;
    client.setStallSeconds(1);
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        Recorder recorder(client);
        QElapsedTimer clock;
        clock.start();
        const std::clock_t cpuBefore = std::clock();
        client.start(get(url(c.target)));
        ASSERT_TRUE(recorder.waitForEnd(10000));
        EXPECT_LT(double(std::clock() - cpuBefore) / CLOCKS_PER_SEC, 0.3) << "waiting must sleep, not spin";
        EXPECT_GE(clock.elapsed(), c.minMs);
        EXPECT_LT(clock.elapsed(), c.maxMs);
        EXPECT_EQ(recorder.heads.empty() ? 0 : recorder.heads.front().status, c.status);
        EXPECT_TRUE(recorder.body == c.body) << recorder.body.size() << " bytes";
        ASSERT_EQ(recorder.error.has_value(), c.timesOut);
        if (c.timesOut) {
            EXPECT_EQ(recorder.error->code, int(CURLE_OPERATION_TIMEDOUT));
            EXPECT_EQ(recorder.error->text, "Timeout was reached (Nothing received for 1 second)");
            EXPECT_TRUE(recorder.error->transient());
        }
    }
}

TEST_F(CurlHttpClientTest, HttpsTrustsTheGivenAuthorityForTheRightHostOnly)
{
    const TestCertificates certificates;
    ASSERT_TRUE(certificates.isValid()) << certificates.errorString().toStdString();
    const TestServer right(s->root.path(), {0, certificates.serverCert(), certificates.serverKey()});
    const TestServer wrong(s->root.path(), {0, certificates.wrongHostCert(), certificates.wrongHostKey()});
    ASSERT_TRUE(right.isRunning() && wrong.isRunning());
    const struct {
        const char *name;
        const TestServer *server;
        bool trustTestAuthority;
        bool succeeds;
    } cases[] = {
        {"unknown authority", &right, false, false},
        {"trusted authority, right host", &right, true, true},
        {"trusted authority, wrong host", &wrong, true, false},
    };
    CurlHttpClient client;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        if (c.trustTestAuthority)
            qputenv("ORVANTA_CA_BUNDLE", certificates.caBundle().toLocal8Bit());
        Recorder recorder(client);
        client.start(get(c.server->url("/f.bin")));
        const bool ended = recorder.waitForEnd();
        qunsetenv("ORVANTA_CA_BUNDLE");
        ASSERT_TRUE(ended);
        EXPECT_EQ(recorder.body == s->small, c.succeeds);
        EXPECT_EQ(recorder.heads.size(), c.succeeds ? 1u : 0u);
        ASSERT_EQ(recorder.error.has_value(), !c.succeeds);
        if (!c.succeeds) {
            EXPECT_EQ(recorder.error->origin, TransferError::Origin::Tls) << recorder.error->text.toStdString();
            EXPECT_EQ(recorder.error->code, int(CURLE_PEER_FAILED_VERIFICATION));
            EXPECT_FALSE(recorder.error->transient());
            EXPECT_TRUE(recorder.error->text.startsWith("SSL peer certificate or SSH remote key was not OK ("))
                << recorder.error->text.toStdString();
        }
    }
}

// A slot may cancel or restart from any signal; after cancel() nothing more
// comes for that request, and a restart's signals belong to the new request.
TEST_F(CurlHttpClientTest, SlotsMayCancelOrRestartFromAnySignal)
{
    enum class Act { Cancel, RestartSmall, DeleteClient };
    enum class At { Head, FirstData, Finished };
    const struct {
        const char *name;
        QString target;
        At at;
        Act act;
        QString shape;    // what the recorder saw, once all is quiet
        QByteArray body;  // what came after the restart
    } cases[] = {
        {"cancel at the head", "/big.bin", At::Head, Act::Cancel, "head", {}},
        {"cancel at the first run", "/big.bin", At::FirstData, Act::Cancel, "head data", {}},
        {"cancel at the end", "/f.bin", At::Finished, Act::Cancel, "head data end", {}},
        {"restart at the head", "/big.bin", At::Head, Act::RestartSmall, "head head data end", s->small},
        {"restart at the first run", "/big.bin", At::FirstData, Act::RestartSmall, "head data head data end",
         s->small},
        {"restart at the end", "/g.bin", At::Finished, Act::RestartSmall, "head data end head data end", s->small},
        // Deleted later: the runs already in may still come, the end never.
        {"deleted at the first run", "/big.bin", At::FirstData, Act::DeleteClient, "head data", {}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        auto *client = new CurlHttpClient;  // deleteLater() or the end of the row frees it
        QPointer<CurlHttpClient> alive(client);
        Recorder recorder(*client);
        bool acted = false;
        qsizetype bodyAtRestart = 0;
        const auto act = [&] {
            if (std::exchange(acted, true))
                return;
            bodyAtRestart = recorder.body.size();
            if (c.act == Act::Cancel)
                client->cancel();
            else if (c.act == Act::RestartSmall)
                client->start(get(url("/f.bin")));
            else
                client->deleteLater();
        };
        recorder.onHead = [&](const HttpResponse &) { if (c.at == At::Head) act(); };
        recorder.onData = [&](QByteArrayView) { if (c.at == At::FirstData) act(); };
        recorder.onFinished = [&] { if (c.at == At::Finished) act(); };
        client->start(get(url(c.target)));
        const bool restarted = c.act == Act::RestartSmall;
        EXPECT_TRUE(QTest::qWaitFor([&] { return restarted ? recorder.finishedCount == 1 + (c.at == At::Finished)
                                                           : acted; }, 20000));
        QTest::qWait(300);  // anything stray would come now
        EXPECT_EQ(recorder.shape(), c.shape);
        if (c.act == Act::Cancel && c.at == At::FirstData) {
            EXPECT_EQ(recorder.runs.size(), 1u);
        }
        if (c.act == Act::RestartSmall) {
            EXPECT_TRUE(recorder.body.sliced(bodyAtRestart) == c.body) << recorder.body.size() - bodyAtRestart;
            EXPECT_FALSE(recorder.error.has_value());
        }
        EXPECT_EQ(alive.isNull(), c.act == Act::DeleteClient);
        delete alive.data();
    }
    // A cancelled client takes the next request as if new.
    CurlHttpClient client;
    Recorder recorder(client);
    client.cancel();
    client.start(get(url("/big.bin")));
    recorder.onData = [&](QByteArrayView) { client.cancel(); };
    ASSERT_TRUE(QTest::qWaitFor([&] { return !recorder.runs.empty(); }, 20000));
    recorder.onData = nullptr;
    recorder.body.clear();
    client.start(get(url("/f.bin")));
    ASSERT_TRUE(recorder.waitForEnd());
    EXPECT_TRUE(recorder.body == s->small);
}

// A reader slower than the network holds the transfer back instead of
// letting the buffer grow, and nothing is lost across the pauses.
TEST_F(CurlHttpClientTest, BufferStaysBoundedForASlowReader)
{
    const struct {
        const char *name;
        qsizetype capacity;
        bool mustPause;  // a single socket read can be larger than the buffer
    } cases[] = {
        {"small buffer", 64 * 1024, true},
        {"default buffer", CurlHttpClient::kDefaultBufferCapacity, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        CurlHttpClient client(kBlock, c.capacity);
        Recorder recorder(client);
        recorder.onData = [](QByteArrayView) { QThread::usleep(300); };  // a slow disk
        client.start(get(url("/big.bin")));
        ASSERT_TRUE(recorder.waitForEnd(60000));
        EXPECT_FALSE(recorder.error.has_value());
        EXPECT_TRUE(recorder.body == s->big) << recorder.body.size();
        EXPECT_EQ(client.bufferCapacity(), c.capacity);
        EXPECT_GT(client.peakBufferedBytes(), 0);
        EXPECT_LE(client.peakBufferedBytes(), c.capacity);
        if (c.mustPause) {
            EXPECT_GT(client.pauseCount(), 0);
        }
    }
}

TEST_F(CurlHttpClientTest, NginxRangeAnswerIsTypedAndByteIdentical)
{
    const TestServer nginx(s->root.path(), TestServer::Nginx{});
    ASSERT_TRUE(nginx.isRunning()) << nginx.errorString().toStdString();
    CurlHttpClient client;
    const qint64 size = s->big.size();
    for (const qint64 start : {qint64(0), qint64(5) << 20, size - 1}) {
        SCOPED_TRACE(start);
        Recorder recorder(client);
        client.start(get(nginx.url("/big.bin"), start));
        ASSERT_TRUE(recorder.waitForEnd());
        ASSERT_EQ(recorder.heads.size(), 1u);
        const HttpResponse &head = recorder.heads.front();
        EXPECT_EQ(head.status, 206);
        EXPECT_EQ(head.contentLength, size - start);
        EXPECT_EQ(head.rangeStart, start);
        EXPECT_EQ(head.rangeTotal, size);
        EXPECT_TRUE(head.etag.startsWith('"') && head.etag.endsWith('"')) << head.etag.toStdString();
        EXPECT_TRUE(recorder.body == s->big.sliced(start));
    }
}

}  // namespace
