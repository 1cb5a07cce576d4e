#include <support/TestServer.h>
#include <transfer/CurlHttpClient.h>

#include <QElapsedTimer>
#include <QPointer>
#include <QTest>
#include <QThread>

#include <gtest/gtest.h>

#include <ctime>
#include <functional>
#include <memory>

namespace {

constexpr qsizetype kBlock = 4096;

// What a client emitted, in order; `hook` runs after each "head", "data", "end".
struct Recorder : QObject {
    explicit Recorder(HttpClient &client)
    {
        connect(&client, &HttpClient::responseReceived, this, [this](const HttpResponse &head) {
            heads.push_back(head);
            note("head");
        });
        connect(&client, &HttpClient::dataReceived, this, [this](QByteArrayView data) {
            runs.push_back(data.size());
            body.append(data);
            note("data");
        });
        connect(&client, &HttpClient::finished, this, [this](const std::optional<TransferError> &failure) {
            ++ends;
            error = failure;
            note("end");
        });
    }
    void note(const QString &event)
    {
        if (event != "data" || events.isEmpty() || events.constLast() != "data")
            events += event;  // a series of runs shows as one "data"
        if (hook)
            hook(event);
    }
    QString shape() const { return events.join(' '); }
    bool waitForEnd(int ms = 20000) { return QTest::qWaitFor([this] { return ends > 0; }, ms); }
    int status() const { return heads.empty() ? 0 : heads.front().status; }

    QStringList events;
    std::vector<HttpResponse> heads;
    std::vector<qsizetype> runs;
    QByteArray body;
    int ends = 0;
    std::optional<TransferError> error;
    std::function<void(const QString &)> hook;
};

HttpRequest get(const QString &url, qint64 rangeStart = -1, qint64 rangeEnd = -1, const QString &ifRange = {})
{
    return {url, rangeStart, rangeEnd, ifRange, {}, {}};
}

// One server for the suite: three blocks and a bit, a small other file, 16 MiB.
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
    static inline std::unique_ptr<Served> s;
};

TEST_F(CurlHttpClientTest, FinalHeadIsTypedAndTheBodyExact)
{
    CurlHttpClient client;
    Recorder first(client);
    client.start(get(url("/f.bin")));
    ASSERT_TRUE(first.waitForEnd() && !first.heads.empty());
    const QString etag = first.heads.front().etag;
    HttpRequest withPassword = get(url("/f.bin?auth=ann:secret"));
    withPassword.userName = "ann";
    withPassword.password = "secret";
    const qint64 size = s->small.size();
    const std::optional<qint64> none;
    const struct {
        const char *name;
        HttpRequest request;
        int status;
        QString reason;
        std::optional<qint64> length, contentRangeStart, rangeTotal;
        QByteArray body;
    } cases[] = {
        {"whole", get(url("/f.bin")), 200, "OK", size, none, none, s->small},
        {"open range", get(url("/f.bin"), 5000), 206, "Partial Content", size - 5000, 5000, size, s->small.mid(5000)},
        {"closed range", get(url("/f.bin"), 5000, 9999), 206, "Partial Content", 5000, 5000, size,
         s->small.mid(5000, 5000)},
        {"range past the end", get(url("/f.bin"), size), 416, "Requested Range Not Satisfiable", 0, none, size, {}},
        {"own reason phrase", get(url("/f.bin?status=503&reason=Busy%20Now")), 503, "Busy Now", 0, none, none, {}},
        {"range ignored", get(url("/f.bin?norange=1"), 5000), 200, "OK", size, none, none, s->small},
        {"wrong range start", get(url("/f.bin?crstart=7"), 5000), 206, "Partial Content", size - 5000, 7, size,
         s->small.mid(5000)},
        {"no length", get(url("/f.bin?nolength=1")), 200, "OK", none, none, none, s->small},
        {"longer than announced", get(url("/f.bin?length=5000")), 200, "OK", 5000, none, none, s->small.first(5000)},
        {"redirect", get(url("/f.bin?redirect=/g.bin")), 200, "OK", s->other.size(), none, none, s->other},
        {"weak ETag kept as sent", get(url("/f.bin?etag=weak")), 200, "OK", size, none, none, s->small},
        {"If-Range, current", get(url("/f.bin"), 5000, -1, etag), 206, "Partial Content", size - 5000, 5000, size,
         s->small.mid(5000)},
        {"If-Range, stale", get(url("/f.bin"), 5000, -1, "\"older\""), 200, "OK", size, none, none, s->small},
        {"no credentials", get(url("/f.bin?auth=ann:secret")), 401, "Unauthorized", 0, none, none, {}},
        {"credentials", withPassword, 200, "OK", size, none, none, s->small},
        {"trickling for longer than the stall time", get(url("/f.bin?trickle=8000")), 200, "OK", size, none, none,
         s->small},
    };
    client.setStallSeconds(1);
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        Recorder recorder(client);
        client.start(c.request);
        ASSERT_TRUE(recorder.waitForEnd());
        EXPECT_EQ(recorder.shape(), c.body.isEmpty() ? "head end" : "head data end");
        EXPECT_FALSE(recorder.error.has_value()) << recorder.error->text.toStdString();
        ASSERT_EQ(recorder.heads.size(), 1u);
        const HttpResponse &head = recorder.heads.front();
        EXPECT_EQ(head.status, c.status);
        EXPECT_EQ(head.reasonPhrase, c.reason);
        EXPECT_EQ(head.contentLength, c.length);
        EXPECT_EQ(head.rangeStart, c.contentRangeStart);
        EXPECT_EQ(head.rangeTotal, c.rangeTotal);
        EXPECT_EQ(head.effectiveUrl, c.body == s->other ? url("/g.bin") : c.request.url);
        const QString etagStart = c.status >= 300 ? "" : c.request.url.contains("etag=weak") ? "W/\"" : "\"";
        EXPECT_TRUE(etagStart.isEmpty() ? head.etag.isEmpty() : head.etag.startsWith(etagStart)) << head.etag.toStdString();
        EXPECT_TRUE(recorder.body == c.body) << recorder.body.size() << " bytes";
        const TestServer::Request sent = s->server.requests().constLast();
        const HttpRequest &r = c.request;
        EXPECT_EQ(sent.range, r.rangeStart < 0 ? QString()
                              : QStringLiteral("bytes=%1-%2").arg(r.rangeStart).arg(r.rangeEnd < 0 ? "" : QString::number(r.rangeEnd)));
        EXPECT_EQ(sent.ifRange, r.ifRange);
    }
}

// Runs are whole blocks but for the body's last, add up to the exact body,
// and come many blocks at a time rather than one signal per block.
TEST_F(CurlHttpClientTest, BodyArrivesInWholeBlockRunsWithTheRemainderLast)
{
    for (const qsizetype blockSize : {kBlock, qsizetype(1000)}) {
        CurlHttpClient client(blockSize);
        for (const qsizetype size : {qsizetype(0), qsizetype(1), kBlock - 1, kBlock, kBlock + 1, (qsizetype(5) << 20) + 3}) {
            SCOPED_TRACE(testing::Message() << size << " bytes in blocks of " << blockSize);
            const QString name = QStringLiteral("size-%1.bin").arg(size);
            const QByteArray content = writeRandomFile(s->root.filePath(name), size, quint64(size));
            Recorder recorder(client);
            client.start(get(url('/' + name)));
            ASSERT_TRUE(recorder.waitForEnd());
            EXPECT_FALSE(recorder.error.has_value());
            EXPECT_EQ(recorder.shape(), size ? "head data end" : "head end");
            EXPECT_TRUE(recorder.body == content) << recorder.body.size();
            for (size_t i = 0; i + 1 < recorder.runs.size(); ++i)
                ASSERT_EQ(recorder.runs[i] % blockSize, 0) << "run " << i << " of " << recorder.runs.size();
            if (size > 0) {
                EXPECT_EQ(recorder.runs.back() % blockSize == 0, size % blockSize == 0);
            }
            if (size >= (qsizetype(1) << 20)) {
                EXPECT_GE(size / qsizetype(recorder.runs.size()), 4 * blockSize) << recorder.runs.size() << " runs";
            }
        }
    }
}

// The stall time counts silence, not the length of the whole transfer; while
// it waits the client sleeps in the event loop.
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
        QString text;  // the start of the error's text
        int requests;  // how many reached the server
        int minMs = 0;
    } cases[] = {
        {"dropped mid-body", "/f.bin?drop=10000", 200, s->small.first(2 * kBlock), CURLE_PARTIAL_FILE, Origin::Network,
         "Transferred a partial file (transfer closed with 3288 bytes remaining to read)", 1},
        {"connection refused", "http://127.0.0.1:1/f.bin", 0, {}, CURLE_COULDNT_CONNECT, Origin::Network,
         "Couldn't connect to server", 0},
        {"redirect to file://", "/f.bin?redirect=file", 0, {}, CURLE_UNSUPPORTED_PROTOCOL, Origin::Protocol,
         "Unsupported protocol", 1},
        {"redirect loop", "/f.bin?redirect=loop", 0, {}, CURLE_TOO_MANY_REDIRECTS, Origin::Protocol,
         "Number of redirects hit maximum amount", 1 + CurlHttpClient::kMaxRedirects},
        {"malformed URL", "http://[127.0.0.1/f.bin", 0, {}, CURLE_URL_MALFORMAT, Origin::Protocol,
         "URL using bad/illegal format or missing URL", 0},
        {"silent after the first block", "/f.bin?stall=5000", 200, s->small.first(kBlock), CURLE_OPERATION_TIMEDOUT,
         Origin::Network, "Timeout was reached (Nothing received for 1 second)", 1, 900},
        {"no answer at all", "/f.bin?hang=1", 0, {}, CURLE_OPERATION_TIMEDOUT, Origin::Network,
         "Timeout was reached (Nothing received for 1 second)", 1, 900},
    };
    CurlHttpClient client;
    client.setStallSeconds(1);
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const qsizetype logged = s->server.requests().size();
        Recorder recorder(client);
        QElapsedTimer clock;
        clock.start();
        const std::clock_t cpuBefore = std::clock();
        client.start(get(c.target.startsWith('/') ? url(c.target) : c.target));
        EXPECT_EQ(recorder.shape(), "") << "nothing is emitted from inside start()";
        ASSERT_TRUE(recorder.waitForEnd());
        EXPECT_LT(double(std::clock() - cpuBefore) / CLOCKS_PER_SEC, 0.3) << "waiting must sleep, not spin";
        EXPECT_GE(clock.elapsed(), c.minMs);
        EXPECT_LT(clock.elapsed(), 3000);
        EXPECT_EQ(recorder.shape(), c.status ? "head data end" : "end");
        EXPECT_EQ(recorder.status(), c.status);
        EXPECT_TRUE(recorder.body == c.body) << recorder.body.size() << " bytes";
        ASSERT_TRUE(recorder.error.has_value());
        EXPECT_EQ(recorder.error->code, int(c.code)) << recorder.error->text.toStdString();
        EXPECT_EQ(recorder.error->origin, c.origin);
        EXPECT_TRUE(recorder.error->text.startsWith(c.text)) << recorder.error->text.toStdString();
        EXPECT_EQ(s->server.requests().size() - logged, c.requests);
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
        const TestServer &server;
        bool trustTestAuthority, succeeds;
    } cases[] = {
        {"self-signed: unknown authority", right, false, false},
        {"trusted authority, right host", right, true, true},
        {"trusted authority, wrong host", wrong, true, false},
    };
    CurlHttpClient client;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        c.trustTestAuthority ? qputenv("ORVANTA_CA_BUNDLE", certificates.caBundle().toLocal8Bit())
                             : qunsetenv("ORVANTA_CA_BUNDLE");
        Recorder recorder(client);
        client.start(get(c.server.url("/f.bin")));
        const bool ended = recorder.waitForEnd();
        qunsetenv("ORVANTA_CA_BUNDLE");
        ASSERT_TRUE(ended);
        EXPECT_EQ(recorder.shape(), c.succeeds ? "head data end" : "end");
        EXPECT_EQ(recorder.body == s->small, c.succeeds);
        const TransferError error = recorder.error.value_or(TransferError{TransferError::Origin::Tls, 0, {}});
        EXPECT_EQ(error.origin, TransferError::Origin::Tls) << error.text.toStdString();
        EXPECT_EQ(error.code, c.succeeds ? 0 : int(CURLE_PEER_FAILED_VERIFICATION));
    }
}

// A slot may cancel or restart from any signal; after cancel() nothing more
// comes for that request, a restart's signals belong to the new request, and
// a cancelled client takes the next request as if new.
TEST_F(CurlHttpClientTest, SlotsMayCancelOrRestartFromAnySignal)
{
    enum class Act { Cancel, Restart, DeleteClient };
    const struct {
        const char *name;
        QString target;
        const char *at;  // the event whose slot acts
        Act act;
        QString shape;  // what the recorder saw, once all is quiet
    } cases[] = {
        {"cancel at the head", "/big.bin", "head", Act::Cancel, "head"},
        {"cancel at the first run", "/big.bin", "data", Act::Cancel, "head data"},
        {"cancel at the end", "/f.bin", "end", Act::Cancel, "head data end"},
        {"restart at the head", "/big.bin", "head", Act::Restart, "head head data end"},
        {"restart at the first run", "/big.bin", "data", Act::Restart, "head data head data end"},
        {"restart at the end", "/g.bin", "end", Act::Restart, "head data end head data end"},
        // Deleted later: the runs already in may still come, the end never.
        {"deleted at the first run", "/big.bin", "data", Act::DeleteClient, "head data"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        auto *client = new CurlHttpClient;  // deleteLater() or the end of the row frees it
        QPointer<CurlHttpClient> alive(client);
        Recorder recorder(*client);
        bool acted = false;
        qsizetype bodyAtAct = 0;
        recorder.hook = [&](const QString &event) {
            if (event != c.at || std::exchange(acted, true))
                return;
            bodyAtAct = recorder.body.size();
            c.act == Act::Cancel ? client->cancel() : c.act == Act::Restart ? client->start(get(url("/f.bin")))
                                                                            : client->deleteLater();
        };
        client->start(get(url(c.target)));
        const int ends = int(c.shape.count("end"));
        EXPECT_TRUE(QTest::qWaitFor([&] { return acted && recorder.ends == ends; }, 20000));
        QTest::qWait(300);  // anything stray would come now
        EXPECT_EQ(recorder.shape(), c.shape);
        if (c.act == Act::Cancel && c.shape == "head data") {
            EXPECT_EQ(recorder.runs.size(), 1u);
        }
        if (c.act != Act::DeleteClient) {
            if (c.act == Act::Cancel) {
                client->start(get(url("/f.bin")));
                bodyAtAct = recorder.body.size();
                EXPECT_TRUE(QTest::qWaitFor([&] { return recorder.ends > ends; }, 20000));
            }
            EXPECT_TRUE(recorder.body.sliced(bodyAtAct) == s->small) << recorder.body.size() - bodyAtAct;
            EXPECT_FALSE(recorder.error.has_value());
        }
        EXPECT_EQ(alive.isNull(), c.act == Act::DeleteClient);
        delete alive.data();
    }
}

// A reader slower than the network holds the transfer back instead of
// letting the buffer grow, and nothing is lost across the pauses.
TEST_F(CurlHttpClientTest, BufferStaysBoundedForASlowReader)
{
    const qsizetype capacity = 64 * 1024;  // less than one socket read may bring
    CurlHttpClient client(kBlock, capacity);
    Recorder recorder(client);
    recorder.hook = [](const QString &) { QThread::usleep(300); };  // a slow disk
    client.start(get(url("/big.bin")));
    ASSERT_TRUE(recorder.waitForEnd(60000));
    EXPECT_FALSE(recorder.error.has_value());
    EXPECT_TRUE(recorder.body == s->big) << recorder.body.size();
    EXPECT_GT(client.peakBufferedBytes(), 0);
    EXPECT_LE(client.peakBufferedBytes(), capacity);
    EXPECT_GT(client.pauseCount(), 0);
}

}  // namespace
