#include "ToolProcess.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

using namespace descriptortest;

class CheckServers : public ServedFolder {
protected:
    QString ddf(const std::vector<QByteArray> &servers, qint16 startParam = 0, const char *name = "f.ddf")
    {
        return save(name, descriptor({.startParam = startParam, .fileName = "f.bin", .servers = servers}, data));
    }

    const QByteArray data = writeRandomFile(root + "/f.bin", 1000 * 1000, 21);   // 245 blocks
    const QByteArray stale = writeRandomFile(root + "/old.bin", 1000 * 1000, 22);  // same size, other bytes
    const QByteArray shorter = writeRandomFile(root + "/short.bin", 999 * 1000, 21);
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
    const char *expected[] = {
        "^1  good .*206 Partial Content.* 5/5 ok .* good$",
        "^2  stale .*206 Partial Content.* 0/5 ok .* blocks 0, 61, 122, 183, 244 differ$",
        "^3  gone .*404 Not Found.* - .* answers 404 Not Found$",
        "^4  norange .*200 OK.* 1/1 ok, 4 unchecked .* ignores Range$",
    };
    for (int i = 0; i < 4; ++i)
        EXPECT_TRUE(QRegularExpression(expected[i]).match(rows[i + 1]).hasMatch()) << rows[i + 1].toStdString();
    EXPECT_EQ(rows.last(), "1 of 4 servers good; 3 with problems.");

    const ToolRun json = runOrvantaDdf({"check-servers", path, "--json"});
    EXPECT_EQ(json.exitCode, 1);
    const QJsonObject all = QJsonDocument::fromJson(json.out.toUtf8()).object();
    QStringList found{QStringLiteral("%1 good, all: %2").arg(all["good"].toInt()).arg(all["allGood"].toBool())};
    // Each server: good, Range honoured, status, bad blocks, whether an ETag came.
    for (const QJsonValue &v : all["servers"].toArray()) {
        const QJsonObject s = v.toObject();
        found << QStringLiteral("%1 %2 %3 %4 %5").arg(s["good"].toBool()).arg(s["rangeHonoured"].toBool())
                     .arg(s["status"].toInt()).arg(QJsonDocument(s["badBlocks"].toArray()).toJson(QJsonDocument::Compact))
                     .arg(!s["etag"].toString().isEmpty());
    }
    EXPECT_EQ(found.join(" | ").toStdString(),
              "1 good, all: 0 | 1 1 206 [] 1 | 0 1 206 [0,61,122,183,244] 1 | 0 0 404 [] 0 | 0 0 200 [] 1");
}

// The servers are asked at once (one that never answers costs the time limit,
// not the sum), with the downloader's "&start="; exit 0 only when all are good.
// A damaged byte the sample misses is found by --full through the chunk hashes.
TEST_F(CheckServers, ServersAreAskedAtOnceAndJudgedBySampleOrFullCheck)
{
    const QString strong = m_dir.filePath("strong.ddf");
    const QStringList servers{"--server", "good|" + url("/f.bin"), "--server", "damaged|" + url("/f.bin?corrupt=300000")};
    ASSERT_EQ(runOrvantaDdf(QStringList{"create", root + "/f.bin", "-o", strong} + servers).exitCode, 0);
    const struct { QString descriptor; QStringList extra; int exitCode; const char *says; } cases[] = {
        {ddf({"a|" + url("/f.bin?x=1"), "b|" + url("/f.bin?y=2")}, -1, "start.ddf"), {}, 0, "2 of 2 servers good\\."},
        {ddf({"short|" + url("/short.bin"), "hang|" + url("/f.bin?hang=1"), "hang2|" + url("/f.bin?hang=1")}, 0, "hang.ddf"),
         {}, 1, "0 of 3 servers good; 3 with problems\\."},
        {ddf({url("/f.bin?drop=2000")}, 0, "drop.ddf"), {}, 1, "the answer broke off"},
        {strong, {}, 0, "2 of 2 servers good\\."},
        {strong, {"--full"}, 1, "\\n2  damaged .*1 of 1 chunks differ \\(0\\)"},
        {ddf({url("/f.bin")}), {"--full"}, 0, "1 of 1 servers good\\.[\\s\\S]*carries no chunk hashes"},
    };
    for (const auto &c : cases) {
        QElapsedTimer clock;
        clock.start();
        const ToolRun r = runOrvantaDdf(QStringList{"check-servers", c.descriptor, "--timeout", "3"} + c.extra);
        EXPECT_LT(clock.elapsed(), 8000);
        EXPECT_EQ(r.exitCode, c.exitCode) << r.out.toStdString();
        EXPECT_TRUE(QRegularExpression(c.says).match(r.out + r.err).hasMatch()) << r.out.toStdString() << r.err.toStdString();
    }
    const auto startsWhereItsRangeDoes = [](const TestServer::Request &r) {
        return r.target.startsWith("/f.bin?x=1&start=")
               && "bytes=" + r.target.mid(17) + '-' == r.range.left(r.range.indexOf('-') + 1);
    };
    const QList<TestServer::Request> requests = server.requests();
    EXPECT_EQ(std::count_if(requests.begin(), requests.end(), startsWhereItsRangeDoes), 5);
}
