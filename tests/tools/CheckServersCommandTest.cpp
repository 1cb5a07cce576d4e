#include "ToolProcess.h"

#include "descriptor/DescriptorBytes.h"
#include "support/TestServer.h"

#include <QDir>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

using namespace descriptortest;

class CheckServers : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(server.isRunning()) << server.errorString().toStdString(); }
    QString ddf(const std::vector<QByteArray> &servers, qint16 startParam = 0)
    {
        const QString path = m_dir.filePath("f.ddf");
        EXPECT_TRUE(writeFile(path, descriptor({.startParam = startParam, .fileName = "f.bin", .servers = servers}, data)));
        return path;
    }
    QByteArray url(const QString &pathAndQuery) const { return server.url(pathAndQuery).toUtf8(); }

    QTemporaryDir m_dir;
    const QString root = m_dir.filePath("srv");
    const bool made = QDir().mkpath(root);
    const QByteArray data = writeRandomFile(root + "/f.bin", 1000 * 1000, 21);     // 245 blocks
    const QByteArray stale = writeRandomFile(root + "/old.bin", 1000 * 1000, 22);  // same size, other bytes
    const QByteArray shorter = writeRandomFile(root + "/short.bin", 999 * 1000, 21);
    TestServer server{root};
};

// One good, one stale, one missing, one ignoring Range: a row for each that
// says what is wrong, the summary, exit 1; the same as JSON.
TEST_F(CheckServers, FourServersGetTheRightRowEach)
{
    const QString path = ddf({"good|" + url("/f.bin"), "stale|" + url("/old.bin"), "gone|" + url("/none.bin"),
                              "norange|" + url("/f.bin?norange=1")});
    const ToolRun table = runOrvantaDdf({"check-servers", path});
    EXPECT_EQ(table.exitCode, 1) << table.err.toStdString();
    const QStringList rows = table.out.split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(rows.size(), 6) << table.out.toStdString();
    const struct { const char *start; const char *answer; const char *blocks; const char *verdict; } expected[] = {
        {"1  good", "206 Partial Content", "5/5 ok", "good"},
        {"2  stale", "206 Partial Content", "0/5 ok", "blocks 0, 61, 122, 183, 244 differ"},
        {"3  gone", "404 Not Found", "-", "answers 404 Not Found"},
        {"4  norange", "200 OK", "1/1 ok, 4 unchecked", "ignores Range"},
    };
    for (int i = 0; i < 4; ++i) {
        const QString &row = rows[i + 1];
        const auto &e = expected[i];
        EXPECT_TRUE(row.startsWith(e.start) && row.contains(e.answer) && row.contains(e.blocks) && row.endsWith(e.verdict))
            << row.toStdString();
    }
    EXPECT_EQ(rows.last(), "1 of 4 servers good; 3 with problems.");

    const ToolRun json = runOrvantaDdf({"check-servers", path, "--json"});
    EXPECT_EQ(json.exitCode, 1);
    const QJsonObject all = QJsonDocument::fromJson(json.out.toUtf8()).object();
    const QJsonArray servers = all["servers"].toArray();
    ASSERT_EQ(servers.size(), 4) << json.out.toStdString();
    const struct { bool good, rangeHonoured; int status; QJsonArray badBlocks; } fields[] = {
        {true, true, 206, {}}, {false, true, 206, {0, 61, 122, 183, 244}}, {false, false, 404, {}}, {false, false, 200, {}},
    };
    for (int i = 0; i < 4; ++i) {
        const QJsonObject s = servers[i].toObject();
        EXPECT_EQ(s["good"].toBool(), fields[i].good) << i;
        EXPECT_EQ(s["rangeHonoured"].toBool(), fields[i].rangeHonoured) << i;
        EXPECT_EQ(s["status"].toInt(), fields[i].status) << i;
        EXPECT_EQ(s["badBlocks"].toArray(), fields[i].badBlocks) << i;
        EXPECT_FALSE(s["etag"].toString().isEmpty() && fields[i].status != 404) << i;
    }
    EXPECT_EQ(all["good"].toInt(), 1);
    EXPECT_FALSE(all["allGood"].toBool());
}

// The servers are asked at once, each within the time limit: a server that
// never answers costs the limit, not the sum; the downloader's "&start="
// goes with every request; exit 0 only when every server is good.
TEST_F(CheckServers, ServersAreAskedAtOnceWithinTheTimeLimit)
{
    const struct { std::vector<QByteArray> servers; qint16 startParam; int exitCode; const char *says; } cases[] = {
        {{"a|" + url("/f.bin?x=1"), "b|" + url("/f.bin?y=2")}, -1, 0, "2 of 2 servers good."},
        {{"short|" + url("/short.bin"), "hang|" + url("/f.bin?hang=1"), "hang2|" + url("/f.bin?hang=1")}, 0, 1,
         "0 of 3 servers good; 3 with problems."},
        {{url("/f.bin?drop=2000")}, 0, 1, "the answer broke off"},
    };
    for (const auto &c : cases) {
        QElapsedTimer clock;
        clock.start();
        const ToolRun r = runOrvantaDdf({"check-servers", ddf(c.servers, c.startParam), "--timeout", "3"});
        EXPECT_LT(clock.elapsed(), 8000);
        EXPECT_EQ(r.exitCode, c.exitCode) << r.out.toStdString();
        EXPECT_TRUE(r.out.contains(c.says)) << r.out.toStdString();
    }
    QStringList started;
    for (const TestServer::Request &request : server.requests())
        if (request.target.startsWith("/f.bin?x=1"))
            started << request.target.mid(10) + ' ' + request.range;
    std::sort(started.begin(), started.end());
    EXPECT_EQ(started, QStringList({"&start=0 bytes=0-4095", "&start=249856 bytes=249856-253951",
                                    "&start=499712 bytes=499712-503807", "&start=749568 bytes=749568-753663",
                                    "&start=999424 bytes=999424-999999"}));
}

// A damaged byte outside the sampled blocks passes the sample; --full finds
// its chunk by the descriptor's SHA-256 hashes. A descriptor without them is
// checked by its sample, and says so.
TEST_F(CheckServers, FullCheckFindsADamagedChunkTheSampleMisses)
{
    const QString path = m_dir.filePath("strong.ddf");
    const QStringList servers{"--server", "good|" + url("/f.bin"), "--server", "damaged|" + url("/f.bin?corrupt=300000")};
    ASSERT_EQ(runOrvantaDdf(QStringList{"create", root + "/f.bin", "-o", path} + servers).exitCode, 0);
    const struct { QString descriptor; QStringList extra; int exitCode; const char *says; const char *note; } cases[] = {
        {path, {}, 0, "2 of 2 servers good.", ""},
        {path, {"--full"}, 1, "2  damaged", "1 of 1 chunks differ (0)"},
        {ddf({url("/f.bin")}), {"--full"}, 0, "1 of 1 servers good.", "carries no chunk hashes"},
    };
    for (const auto &c : cases) {
        const ToolRun r = runOrvantaDdf(QStringList{"check-servers", c.descriptor} + c.extra);
        EXPECT_EQ(r.exitCode, c.exitCode) << r.out.toStdString();
        EXPECT_TRUE(r.out.contains(c.says)) << r.out.toStdString();
        EXPECT_TRUE((r.out + r.err).contains(c.note)) << r.out.toStdString() << r.err.toStdString();
    }
}
