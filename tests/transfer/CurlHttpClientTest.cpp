// The client's own contract; the faults a download meets are played end to
// end through it by the fault table.
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
        connect(&client, &HttpClient::responseReceived, this, [this](const HttpResponse &h) { head = h, note("head"); });
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

    QStringList events;
    HttpResponse head;
    std::vector<qsizetype> runs;
    QByteArray body;
    int ends = 0;
    std::optional<TransferError> error;
    std::function<void(const QString &)> hook;
};

HttpRequest get(const QString &url)
{
    HttpRequest request;
    request.url = url;
    return request;
}

// Three blocks and a bit, a small other file and 16 MiB, served plainly and
// over TLS by a certificate for this host and one for another, both signed by
// an authority the client is told to trust.
struct Served {
    QTemporaryDir root;
    QByteArray small = writeRandomFile(root.filePath("f.bin"), 3 * kBlock + 1000, 11);
    QByteArray other = writeRandomFile(root.filePath("g.bin"), 5000, 12);
    QByteArray big = writeRandomFile(root.filePath("big.bin"), qsizetype(16) << 20, 13);
    TestServer server{root.path()};
    TestCertificates certificates;
    TestServer rightHost{root.path(), {certificates.serverCert(), certificates.serverKey()}};
    TestServer wrongHost{root.path(), {certificates.wrongHostCert(), certificates.wrongHostKey()}};
};

class CurlHttpClientTest : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s = std::make_unique<Served>();
        qputenv("ORVANTA_CA_BUNDLE", s->certificates.caBundle().toLocal8Bit());
    }
    static void TearDownTestSuite() { qunsetenv("ORVANTA_CA_BUNDLE"), s.reset(); }
    void SetUp() override
    {
        ASSERT_TRUE(s->server.isRunning() && s->rightHost.isRunning() && s->wrongHost.isRunning())
            << (s->server.errorString() + s->certificates.errorString()).toStdString();
    }
    static QString url(const QString &pathAndQuery) { return s->server.url(pathAndQuery); }
    static inline std::unique_ptr<Served> s;
};

// Nothing comes from inside start(), waiting sleeps in the event loop, and
// the stall time counts silence, not the length of the transfer.
TEST_F(CurlHttpClientTest, EachRequestEndsOnceWithTheHeadOrLibcurlsReason)
{
    const struct {
        const char *name;
        QString target;  // a path on the test server, or a whole URL
        int status;      // of the head; 0: none
        QByteArray body;
        CURLcode code;
        QString says;    // the reason phrase, or the start of the error's text
        int minMs = 0;
    } cases[] = {
        {"whole", "/f.bin", 200, s->small, CURLE_OK, "OK"},
        {"own reason phrase", "/f.bin?status=503&reason=Busy%20Now", 503, {}, CURLE_OK, "Busy Now"},
        {"redirect", "/f.bin?redirect=/g.bin", 200, s->other, CURLE_OK, "OK"},
        {"trickling for longer than the stall time", "/f.bin?trickle=8000", 200, s->small, CURLE_OK, "OK"},
        {"TLS, trusted authority", s->rightHost.url("/f.bin"), 200, s->small, CURLE_OK, "OK"},
        {"TLS, certificate for another host", s->wrongHost.url("/f.bin"), 0, {}, CURLE_PEER_FAILED_VERIFICATION,
         "SSL peer certificate or SSH remote key was not OK"},
        {"connection refused", "http://127.0.0.1:1/f.bin", 0, {}, CURLE_COULDNT_CONNECT, "Couldn't connect to server"},
        {"malformed URL", "http://[127.0.0.1/f.bin", 0, {}, CURLE_URL_MALFORMAT, "URL using bad/illegal format"},
        {"silent after the first block", "/f.bin?stall=5000", 200, s->small.first(kBlock), CURLE_OPERATION_TIMEDOUT,
         "Timeout was reached (Nothing received for 1 second)", 900},
        {"no answer at all", "/f.bin?hang=1", 0, {}, CURLE_OPERATION_TIMEDOUT,
         "Timeout was reached (Nothing received for 1 second)", 900},
    };
    CurlHttpClient client;
    client.setStallSeconds(1);
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        Recorder recorder(client);
        QElapsedTimer clock;
        clock.start();
        const std::clock_t cpuBefore = std::clock();
        client.start(get(c.target.startsWith('/') ? url(c.target) : c.target));
        EXPECT_EQ(recorder.shape(), "");
        ASSERT_TRUE(recorder.waitForEnd());
        EXPECT_LT(double(std::clock() - cpuBefore) / CLOCKS_PER_SEC, 0.3) << "waiting must sleep, not spin";
        EXPECT_GE(clock.elapsed(), c.minMs);
        EXPECT_LT(clock.elapsed(), 3000);
        EXPECT_EQ(recorder.shape(), QString(c.status ? "head " : "") + (c.body.isEmpty() ? "" : "data ") + "end");
        EXPECT_EQ(recorder.head.status, c.status);
        EXPECT_TRUE(recorder.body == c.body) << recorder.body.size() << " bytes";
        EXPECT_EQ(recorder.error.value_or(TransferError{}).code, int(c.code));
        const QString says = recorder.error ? recorder.error->text : recorder.head.reasonPhrase;
        EXPECT_TRUE(says.startsWith(c.says)) << says.toStdString();
        if (c.code == CURLE_OK) {
            EXPECT_EQ(recorder.head.effectiveUrl, c.body == s->other ? url("/g.bin") : c.target.startsWith('/') ? url(c.target) : c.target);
        }
    }
}

// A slot may cancel or restart from any signal; after cancel() nothing more
// comes for that request, a restart's signals belong to the new request, and
// a cancelled client takes the next request as if new.
TEST_F(CurlHttpClientTest, SlotsMayCancelOrRestartFromAnySignal)
{
    enum class Act { Cancel, Restart, DeleteClient };
    const struct {
        QString target;
        const char *at;  // the event whose slot acts
        Act act;
        QString shape;   // what the recorder saw, once all is quiet
    } cases[] = {
        {"/big.bin", "head", Act::Cancel, "head"},
        {"/big.bin", "data", Act::Cancel, "head data"},
        {"/big.bin", "data", Act::Restart, "head data head data end"},
        {"/g.bin", "end", Act::Restart, "head data end head data end"},
        {"/big.bin", "data", Act::DeleteClient, "head data"},  // runs already in may still come, the end never
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << int(c.act) << " at " << c.at);
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
        if (c.act == Act::Cancel) {
            EXPECT_LE(recorder.runs.size(), 1u);
            client->start(get(url("/f.bin")));
            bodyAtAct = recorder.body.size();
            EXPECT_TRUE(QTest::qWaitFor([&] { return recorder.ends > ends; }, 20000));
        }
        if (c.act != Act::DeleteClient) {
            EXPECT_TRUE(recorder.body.sliced(bodyAtAct) == s->small && !recorder.error) << recorder.body.size() - bodyAtAct;
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
    EXPECT_GT(client.pauseCount(), 0);
    EXPECT_LE(client.peakBufferedBytes(), capacity);
}

}  // namespace
