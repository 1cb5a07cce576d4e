// The client's own contract; what a download meets through it (statuses,
// ranges, redirects, TLS, drops, stalls) the fault table plays end to end.
#include <support/TestServer.h>
#include <transfer/CurlHandles.h>
#include <transfer/CurlHttpClient.h>

#include <QElapsedTimer>
#include <QTest>
#include <QThread>

#include <gtest/gtest.h>

#include <ctime>
#include <functional>
#include <memory>

namespace {

// What a client emitted, in order; `hook` runs after each "head", "data", "end".
struct Recorder : QObject {
    explicit Recorder(HttpClient &client)
    {
        connect(&client, &HttpClient::responseReceived, this, [this](const HttpResponse &) { note("head"); });
        connect(&client, &HttpClient::dataReceived, this, [this](QByteArrayView d) { ++runs, body.append(d), note("data"); });
        connect(&client, &HttpClient::finished, this,
                [this](const std::optional<TransferError> &e) { ++ends, error = e, note("end"); });
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
    int runs = 0, ends = 0;
    QByteArray body;
    std::optional<TransferError> error;
    std::function<void(const QString &)> hook;
};

HttpRequest get(const QString &url) { HttpRequest request; request.url = url; return request; }

// Three blocks and a bit, a small other file and 16 MiB.
struct Served {
    QTemporaryDir root;
    QByteArray small = writeRandomFile(root.filePath("f.bin"), 3 * 4096 + 1000, 11);
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

// Nothing comes from inside start(); while it waits the client sleeps in the
// event loop; the stall time counts silence, not the length of the transfer.
TEST_F(CurlHttpClientTest, WaitingSleepsAndOnlySilenceTimesOut)
{
    const struct {
        QString query;
        QByteArray body;
        int minMs;
    } cases[] = {{"?hang=1", {}, 900}, {"?stall=5000", s->small.first(4096), 900}, {"?trickle=8000", s->small, 0}};
    CurlHttpClient client;
    client.setStallSeconds(1);
    for (const auto &c : cases) {
        SCOPED_TRACE(c.query.toStdString());
        Recorder recorder(client);
        QElapsedTimer clock;
        clock.start();
        const std::clock_t cpuBefore = std::clock();
        client.start(get(url("/f.bin" + c.query)));
        EXPECT_EQ(recorder.shape(), "");
        ASSERT_TRUE(recorder.waitForEnd());
        EXPECT_LT(double(std::clock() - cpuBefore) / CLOCKS_PER_SEC, 0.3) << "waiting must sleep, not spin";
        EXPECT_GE(clock.elapsed(), c.minMs);
        EXPECT_LT(clock.elapsed(), 3000);
        EXPECT_TRUE(recorder.body == c.body) << recorder.body.size() << " bytes";
        EXPECT_EQ(recorder.error.value_or(TransferError{}).text,
                  c.body == s->small ? "" : "Timeout was reached (Nothing received for 1 second)");
    }
}

// A slot may cancel or restart from any signal; after cancel() nothing more
// comes for that request, a restart's signals belong to the new request, and
// a cancelled client takes the next request as if new.
TEST_F(CurlHttpClientTest, SlotsMayCancelOrRestartFromAnySignal)
{
    enum class Act { Cancel, Restart };
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
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << int(c.act) << " at " << c.at);
        auto client = std::make_unique<CurlHttpClient>();
        Recorder recorder(*client);
        bool acted = false;
        qsizetype bodyAtAct = 0;
        recorder.hook = [&](const QString &event) {
            if (event != c.at || std::exchange(acted, true))
                return;
            bodyAtAct = recorder.body.size();
            c.act == Act::Cancel ? client->cancel() : client->start(get(url("/f.bin")));
        };
        client->start(get(url(c.target)));
        const int ends = int(c.shape.count("end"));
        EXPECT_TRUE(QTest::qWaitFor([&] { return acted && recorder.ends == ends; }, 20000));
        QTest::qWait(300);  // anything stray would come now
        EXPECT_EQ(recorder.shape(), c.shape);
        if (c.act == Act::Cancel) {
            EXPECT_LE(recorder.runs, 1);
            client->start(get(url("/f.bin")));
            bodyAtAct = recorder.body.size();
            EXPECT_TRUE(QTest::qWaitFor([&] { return recorder.ends > ends; }, 20000));
        }
        EXPECT_TRUE(recorder.body.sliced(bodyAtAct) == s->small && !recorder.error) << recorder.body.size() - bodyAtAct;
    }
}

// A reader slower than the network holds the transfer back instead of
// letting the buffer grow, and nothing is lost across the pauses.
TEST_F(CurlHttpClientTest, BufferStaysBoundedForASlowReader)
{
    const qsizetype capacity = 64 * 1024;  // less than one socket read may bring
    CurlHttpClient client(4096, capacity);
    Recorder recorder(client);
    recorder.hook = [](const QString &) { QThread::usleep(300); };  // a slow disk
    client.start(get(url("/big.bin")));
    ASSERT_TRUE(recorder.waitForEnd(60000));
    EXPECT_FALSE(recorder.error.has_value());
    EXPECT_TRUE(recorder.body == s->big) << recorder.body.size();
    EXPECT_GT(client.pauseCount(), 0);
    EXPECT_LE(client.peakBufferedBytes(), capacity);
}

// A handshake the network broke is retried; a certificate or a setting that
// is wrong is not.
TEST(CurlResult, OnlyNetworkTroubleIsRetried)
{
    const std::pair<CURLcode, bool> rows[] = {
        {CURLE_SSL_CONNECT_ERROR, true},       {CURLE_SSL_SHUTDOWN_FAILED, true},
        {CURLE_COULDNT_CONNECT, true},         {CURLE_RECV_ERROR, true},
        {CURLE_PEER_FAILED_VERIFICATION, false}, {CURLE_SSL_CACERT_BADFILE, false},
        {CURLE_SSL_ISSUER_ERROR, false},       {CURLE_SSL_PINNEDPUBKEYNOTMATCH, false},
        {CURLE_SSL_CERTPROBLEM, false},        {CURLE_SSL_CIPHER, false},
        {CURLE_URL_MALFORMAT, false},          {CURLE_UNSUPPORTED_PROTOCOL, false},
    };
    for (const auto &[result, transient] : rows)
        EXPECT_EQ(curlTransferError(result).transient(), transient) << curl_easy_strerror(result);
}

// The same number means a time-out to libcurl and a full disk to the system.
TEST(TransferErrorText, ANumberSaysWhoseItIs)
{
    using O = TransferError::Origin;
    const std::pair<TransferError, const char *> rows[] = {
        {curlTransferError(CURLE_OPERATION_TIMEDOUT), "libcurl error 28: Timeout was reached"},
        {{O::Disk, 28, "No space left on device"}, "System error 28: No space left on device"},
        {{O::Network, 0, "Closed early"}, "Error: Closed early"},
        {{O::Descriptor, 53, "Gone"}, "Error: Gone"},
        {{O::Protocol, 503, "Service Unavailable"}, "Error: Service Unavailable"},
    };
    for (const auto &[error, text] : rows)
        EXPECT_EQ(error.numberedText().toStdString(), text);
}

}  // namespace
