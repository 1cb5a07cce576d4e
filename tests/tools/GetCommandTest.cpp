#include "ToolProcess.h"

#include "descriptor/DescriptorBytes.h"
#include "support/TestServer.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTcpServer>

#include <csignal>

using namespace descriptortest;

namespace {

constexpr qsizetype FileSize = 300 * 1024 + 123;  // 76 blocks, the last one short

// A log line as a pipe receives it: a time of day, text, no control characters.
bool plainLogLines(const QString &out)
{
    static const QRegularExpression line(QStringLiteral("^\\d{1,2}:\\d\\d:\\d\\d( [AP]M)? [^\\x00-\\x1f\\x7f]+$"));
    const QStringList lines = out.split('\n', Qt::SkipEmptyParts);
    return !lines.isEmpty() && std::all_of(lines.begin(), lines.end(), [](const QString &l) { return line.match(l).hasMatch(); })
           && out.endsWith('\n');
}

// A loopback port nobody listens on.
QString deadUrl()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    const quint16 port = probe.serverPort();
    probe.close();
    return QStringLiteral("http://127.0.0.1:%1/f.bin").arg(port);
}

} // namespace

class GetCommand : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(server.isRunning()) << server.errorString().toStdString();
        ASSERT_TRUE(QDir(m_dir.path()).mkpath("out"));
    }
    // A descriptor named `name` for the served file with these servers.
    QString ddf(const std::vector<QByteArray> &servers, const char *name = "f.ddf", const QByteArray &fileName = "f.bin")
    {
        const QString path = m_dir.filePath(name);
        EXPECT_TRUE(writeFile(path, descriptor({.fileName = fileName, .servers = servers}, data)));
        return path;
    }
    QByteArray url(const QString &pathAndQuery = "/f.bin") const { return server.url(pathAndQuery).toUtf8(); }
    QByteArray destination() const { return readFile(out + "/f.bin"); }
    static QByteArray readFile(const QString &path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    QTemporaryDir m_dir;
    const QString root = m_dir.filePath("srv");
    const bool made = QDir().mkpath(root);
    const QByteArray data = writeRandomFile(root + "/f.bin", FileSize, 16);
    TestServer server{root};
    const QString out = m_dir.filePath("out");
};

// Into the current folder under the descriptor's bare file name, whatever
// path the descriptor puts before it; the log's lines only, or nothing.
TEST_F(GetCommand, FreshDownloadIsByteIdenticalWithPlainLinesOnAPipe)
{
    const struct { QByteArray fileName; QStringList extra; bool quiet; } cases[] = {
        {"f.bin", {}, false}, {"../../f.bin", {"--sequential"}, false}, {"f.bin", {"--quiet"}, true},
    };
    for (const auto &c : cases) {
        QFile::remove(out + "/f.bin");
        const ToolRun r = runOrvantaDdf(QStringList{"get", ddf({url()}, "f.ddf", c.fileName)} + c.extra, out);
        EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
        EXPECT_TRUE(destination() == data) << c.fileName.constData();
        EXPECT_EQ(r.err, QString());
        if (c.quiet) {
            EXPECT_EQ(r.out, QString());
        } else {
            EXPECT_TRUE(plainLogLines(r.out)) << r.out.toStdString();
            EXPECT_TRUE(r.out.contains("Your download has been completed and verified!\n")) << r.out.toStdString();
        }
    }
    EXPECT_FALSE(QFile::exists(m_dir.filePath("f.bin")));
}

// Interrupted mid-way, the run pauses the engine: what is on disk is a
// checked start of the file, the program says how to go on, and the next
// run continues from there to a byte-identical file.
TEST_F(GetCommand, InterruptedRunSaysHowToResumeAndTheNextOneFinishes)
{
    const QString descriptorPath = ddf({url()});
    for (const auto &[signal, code] : {std::pair{SIGINT, 130}, std::pair{SIGTERM, 143}}) {
        QFile::remove(out + "/f.bin");
        ASSERT_TRUE(server.setScript({QJsonObject{{"path", "/f.bin"}, {"trickle", 100000}}}));
        QProcess get;
        get.setWorkingDirectory(out);
        get.start(QStringLiteral(ORVANTA_BIN_DIR "/orvanta-ddf"), {"get", descriptorPath});
        QString log;
        for (QDeadlineTimer deadline(20000); !deadline.hasExpired() && !log.contains("Saving data to disk...");)
            if (get.waitForReadyRead(100))
                log += QString::fromUtf8(get.readAllStandardOutput());
        ASSERT_TRUE(log.contains("Saving data to disk...")) << log.toStdString();
        get.waitForFinished(500);  // about 50 KB arrive meanwhile, still in the writer's memory
        ::kill(pid_t(get.processId()), signal);
        ASSERT_TRUE(get.waitForFinished(10000));
        EXPECT_EQ(get.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(get.exitCode(), code);
        const QString err = QString::fromUtf8(get.readAllStandardError());
        EXPECT_TRUE(err.contains("every checked block is on disk. To resume, run:\n  orvanta-ddf get " + descriptorPath))
            << err.toStdString();
        const QByteArray partial = destination();
        // The blocks received were written when the signal came.
        EXPECT_TRUE(partial.size() >= 16384 && partial.size() < data.size() && partial == data.left(partial.size()))
            << partial.size();

        const ToolRun again = runOrvantaDdf({"get", descriptorPath}, out);
        EXPECT_EQ(again.exitCode, 0) << again.err.toStdString();
        EXPECT_TRUE(destination() == data);
        EXPECT_EQ(server.requests().last().range, QStringLiteral("bytes=%1-").arg(partial.size() / 4096 * 4096));
    }
}

// An existing file is checked first: bad blocks are fetched alone and
// rewritten in place, a short file is continued at its last whole block.
TEST_F(GetCommand, ExistingFileIsRepairedOrContinued)
{
    QByteArray damaged = data;
    damaged[3 * 4096 + 7] = char(damaged[3 * 4096 + 7] ^ 0x40);
    damaged[40 * 4096] = char(damaged[40 * 4096] ^ 1);
    const struct { QByteArray onDisk; QStringList ranges; int repairs; } cases[] = {
        {damaged, {"bytes=12288-16383", "bytes=163840-167935"}, 2},
        {data.left(10000), {"bytes=8192-12287", "bytes=12288-"}, 1},  // its last, partial block counts as one repair
        {data, {}, 0},
    };
    const QString descriptorPath = ddf({url()});
    for (const auto &c : cases) {
        ASSERT_TRUE(writeFile(out + "/f.bin", c.onDisk));
        const qsizetype before = server.requests().size();
        const ToolRun r = runOrvantaDdf({"get", descriptorPath, "--output", out + "/f.bin"});
        EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
        EXPECT_TRUE(destination() == data) << c.onDisk.size();
        QStringList ranges;
        for (const TestServer::Request &request : server.requests().mid(before))
            ranges << request.range;
        EXPECT_EQ(ranges, c.ranges);
        EXPECT_EQ(r.out.count("CRC error in current file. Will attempt to repair..."), c.repairs) << r.out.toStdString();
    }
}

// Bad input ends the run before any request, with exit status 2 and the
// reason, and leaves the destination as it was.
TEST_F(GetCommand, RefusedInputExitsTwoBeforeAnyRequest)
{
    const QString good = ddf({url()});
    const QString old = m_dir.filePath("old.ddf"), cut = m_dir.filePath("cut.ddf"), ftp = ddf({"ftp://h/f.bin"}, "ftp.ddf");
    ASSERT_TRUE(writeFile(old, descriptor({.fileName = "f.bin", .servers = {url()}, .version = 1.03f}, data)));
    ASSERT_TRUE(writeFile(cut, descriptor({.fileName = "f.bin", .servers = {url()}}, data).left(3000)));
    ASSERT_TRUE(writeFile(m_dir.filePath("long.bin"), data + "x"));
    const struct { QStringList args; const char *says; } cases[] = {
        {{"get", old}, "older than 1.04"},
        {{"get", cut}, "is not a descriptor"},
        {{"get", ftp}, "is refused"},
        {{"get", m_dir.filePath("none.ddf")}, "cannot read"},
        {{"get", good, "--output", m_dir.filePath("no/such/f.bin")}, "no such folder"},
        {{"get", good, "-o", m_dir.filePath("copy.DDF")}, "a descriptor's name"},
        {{"get", good, "-o", m_dir.filePath("long.bin")}, "longer than the described file"},
        {{"get", good, "-o", m_dir.path()}, "not a regular file"},
        {{"get", good, "--server", "2"}, "--server takes a number from 1 to 1"},
        {{"get", good, "--retries", "-1"}, "--retries takes a number"},
        {{"get"}, "usage: orvanta-ddf get"},
    };
    for (const auto &c : cases) {
        const ToolRun r = runOrvantaDdf(c.args, out);
        EXPECT_EQ(r.exitCode, 2) << c.args.join(' ').toStdString();
        EXPECT_TRUE(r.err.startsWith("orvanta-ddf: ") && r.err.contains(c.says))
            << c.args.join(' ').toStdString() << ": " << r.err.toStdString();
    }
    EXPECT_TRUE(server.requests().isEmpty());
    EXPECT_TRUE(QDir(out).isEmpty());
    EXPECT_TRUE(readFile(m_dir.filePath("long.bin")) == data + "x");
}

// Exit status 1 when no server can complete the file: a server gone for
// good with no retries allowed, every server failing for good, a transfer
// cut short with no retries left. A server that fails for good hands over
// to the next.
TEST_F(GetCommand, FailuresEndWithOneAndAServerFailingForGoodHandsOver)
{
    const struct { std::vector<QByteArray> servers; QStringList extra; QJsonArray script; int exitCode; const char *says; } cases[] = {
        {{deadUrl().toUtf8()}, {"--retries", "0"}, {}, 1, "giving up after 0 retries"},
        {{"A|" + url("/gone.bin"), "B|" + url("/f.bin?status=401")}, {"--server", "2"}, {}, 1, "could not be completed"},
        {{url()}, {"--retries", "0"}, {QJsonObject{{"path", "/f.bin"}, {"drop", 100000}}}, 1, "giving up after 0 retries"},
        {{"A|" + url("/gone.bin"), "B|" + url("/f.bin")}, {}, {}, 0, ""},
    };
    for (const auto &c : cases) {
        QFile::remove(out + "/f.bin");
        ASSERT_TRUE(server.setScript(c.script));
        const ToolRun r = runOrvantaDdf(QStringList{"get", ddf(c.servers)} + c.extra, out);
        EXPECT_EQ(r.exitCode, c.exitCode) << r.out.toStdString() << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(c.says)) << r.err.toStdString();
        const QByteArray kept = destination();
        EXPECT_TRUE(kept == data.left(kept.size())) << kept.size();  // nothing unchecked on disk
        EXPECT_EQ(kept.size() == data.size(), c.exitCode == 0);
    }
}
