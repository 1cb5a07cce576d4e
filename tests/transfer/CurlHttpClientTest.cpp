// The client's own contract; what a download meets through it (statuses,
// ranges, redirects, TLS, drops, stalls, time-outs, a cancel or restart
// from any signal) the fault table plays end to end.
#include <support/TestServer.h>
#include <transfer/CurlHandles.h>
#include <transfer/CurlHttpClient.h>

#include <QElapsedTimer>
#include <QTest>
#include <QThread>

#include <gtest/gtest.h>

#include <ctime>


namespace {

// While it waits the client sleeps in the event loop, and only silence
// times out, not a long transfer; nothing comes from inside start().
TEST(CurlHttpClientTest, WaitingSleepsAndOnlySilenceTimesOut)
{
    QTemporaryDir root;
    const QByteArray small = writeRandomFile(root.filePath("f.bin"), 3 * 4096 + 1000, 11);
    TestServer server(root.path());
    ASSERT_TRUE(server.isRunning()) << server.errorString().toStdString();
    const struct { QString query; QByteArray body; int minMs; } cases[] = {
        {"?hang=1", {}, 900}, {"?stall=5000", small.first(4096), 900}, {"?trickle=8000", small, 0}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.query.toStdString());
        CurlHttpClient client;
        client.setStallSeconds(1);
        QByteArray body;
        std::optional<std::optional<TransferError>> end;
        QObject::connect(&client, &HttpClient::dataReceived, [&](QByteArrayView d) { body.append(d); });
        QObject::connect(&client, &HttpClient::finished, [&](const std::optional<TransferError> &e) { end = e; });
        QElapsedTimer clock;
        clock.start();
        const std::clock_t cpuBefore = std::clock();
        HttpRequest request;
        request.url = server.url("/f.bin" + c.query);
        client.start(request);
        EXPECT_FALSE(end.has_value());
        ASSERT_TRUE(QTest::qWaitFor([&] { return end.has_value(); }, 20000));
        EXPECT_LT(double(std::clock() - cpuBefore) / CLOCKS_PER_SEC, 0.3) << "waiting must sleep, not spin";
        EXPECT_GE(clock.elapsed(), c.minMs);
        EXPECT_LT(clock.elapsed(), 3000);
        EXPECT_TRUE(body == c.body) << body.size() << " bytes";
        EXPECT_EQ(end->value_or(TransferError{}).text,
                  c.body == small ? "" : "Timeout was reached (Nothing received for 1 second)");
    }
}

// A reader slower than the network holds the transfer back instead of
// letting the buffer grow, and nothing is lost across the pauses.
TEST(CurlHttpClientTest, BufferStaysBoundedForASlowReader)
{
    QTemporaryDir root;
    const QByteArray big = writeRandomFile(root.filePath("big.bin"), qsizetype(16) << 20, 13);
    TestServer server(root.path());
    ASSERT_TRUE(server.isRunning()) << server.errorString().toStdString();
    const qsizetype capacity = 64 * 1024;  // less than one socket read may bring
    CurlHttpClient client(4096, capacity);
    QByteArray body;
    std::optional<std::optional<TransferError>> end;
    QObject::connect(&client, &HttpClient::dataReceived, [&](QByteArrayView d) { body.append(d), QThread::usleep(300); });
    QObject::connect(&client, &HttpClient::finished, [&](const std::optional<TransferError> &e) { end = e; });
    HttpRequest request;
    request.url = server.url("/big.bin");
    client.start(request);
    ASSERT_TRUE(QTest::qWaitFor([&] { return end.has_value(); }, 60000));
    EXPECT_FALSE(end->has_value());
    EXPECT_TRUE(body == big) << body.size();
    EXPECT_GT(client.pauseCount(), 0);
    EXPECT_LE(client.peakBufferedBytes(), capacity);
}

// A refused connection or a handshake the network broke is retried, a
// certificate, a setting or a path that is wrong is not (unknown authorities,
// bad URLs and schemes are fault-table rows); the same number means a
// time-out to libcurl and a full disk to the system.
TEST(TransferErrorText, SaysWhoseNumberItIsAndWhetherWaitingMendsIt)
{
    using O = TransferError::Origin;
    const std::tuple<TransferError, bool, const char *> rows[] = {
        {curlTransferError(CURLE_SSL_CONNECT_ERROR), true, nullptr}, {curlTransferError(CURLE_SSL_SHUTDOWN_FAILED), true, nullptr},
        {curlTransferError(CURLE_RECV_ERROR), true, nullptr},        {curlTransferError(CURLE_SSL_CACERT_BADFILE), false, nullptr},
        {curlTransferError(CURLE_SSL_ISSUER_ERROR), false, nullptr}, {curlTransferError(CURLE_SSL_PINNEDPUBKEYNOTMATCH), false, nullptr},
        {curlTransferError(CURLE_SSL_CERTPROBLEM), false, nullptr},  {curlTransferError(CURLE_SSL_CIPHER), false, nullptr},
        {curlTransferError(CURLE_COULDNT_CONNECT), true, "libcurl error 7: Couldn't connect to server"},
        {curlTransferError(CURLE_OPERATION_TIMEDOUT), true, "libcurl error 28: Timeout was reached"},
        {{O::Disk, 28, "No space left on device"}, true, "System error 28: No space left on device"},
        {{O::Network, 0, "Closed early"}, true, "Error: Closed early"},
        {{O::Descriptor, 53, "Gone"}, false, "Error: Gone"},
        {{O::Protocol, 503, "Service Unavailable"}, true, "Error: Service Unavailable"},
    };
    for (const auto &[error, transient, text] : rows) {
        EXPECT_EQ(error.transient(), transient) << error.text.toStdString();
        if (text) {
            EXPECT_EQ(error.numberedText().toStdString(), text);
        }
    }
}

}  // namespace
