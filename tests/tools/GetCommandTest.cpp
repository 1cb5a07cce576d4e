#include "ToolProcess.h"

#include <QDeadlineTimer>
#include <QJsonArray>
#include <QJsonObject>
#include <QRegularExpression>

#include <csignal>
#include <optional>

using namespace descriptortest;

class GetCommand : public ServedFolder {
protected:
    // A descriptor named `name` for the served file with these servers.
    QString ddf(const std::vector<QByteArray> &servers, const char *name = "f.ddf", const QByteArray &fileName = "f.bin")
    {
        return save(name, descriptor({.fileName = fileName, .servers = servers}, data));
    }
    QByteArray destination() const { return readFile(out + "/f.bin"); }

    const QByteArray data = writeRandomFile(root + "/f.bin", 300 * 1024 + 123, 16);  // 76 blocks, the last one short
    const QString out = m_dir.filePath("out");
    const bool outMade = QDir().mkpath(out);
};

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

// A run ends 0 with the whole file in the current folder under the descriptor's
// bare file name, or 1 with only checked blocks on disk. An existing file is
// checked first: only its bad blocks and its missing end are fetched.
TEST_F(GetCommand, RunEndsWithTheWholeFileOrExitOne)
{
    const QJsonArray cutShort{QJsonObject{{"path", "/f.bin"}, {"drop", 100000}}};
    const QStringList inPlace{"--output", out + "/f.bin"};
    const char *ready = "Your file has been verified, and is ready for use!\n";  // checked, not downloaded
    QByteArray damaged = data;
    damaged[3 * 4096 + 7] = char(damaged[3 * 4096 + 7] ^ 0x40);
    damaged[40 * 4096] = char(damaged[40 * 4096] ^ 1);
    const struct {
        std::vector<QByteArray> servers;
        QStringList extra = {};
        int exitCode = 0;
        const char *says = "Your download has been completed and verified!\n";
        QByteArray fileName = "f.bin";
        QJsonArray script = {};
        QByteArray onDisk = {};                  // null: no file yet
        std::optional<QStringList> ranges = {};  // the ranges asked for, when they are certain
        int repairs = 0;
    } cases[] = {
        {.servers = {url()}, .extra = {"--sequential"}, .fileName = "../../f.bin"},
        {.servers = {url()}, .extra = {"--quiet"}, .says = ""},
        {.servers = {"A|" + url("/gone.bin"), "B|" + url("/f.bin")}},
        {.servers = {"A|" + url("/gone.bin"), "B|" + url("/f.bin?status=401")}, .extra = {"--server", "2"}, .exitCode = 1,
         .says = "could not be completed"},
        {.servers = {url()}, .extra = {"--retries", "0"}, .exitCode = 1, .says = "giving up after 0 retries", .script = cutShort},
        {.servers = {url()}, .extra = inPlace, .says = ready, .onDisk = damaged,
         .ranges = QStringList{"bytes=12288-16383", "bytes=163840-167935"}, .repairs = 2},
        {.servers = {url()}, .extra = inPlace, .onDisk = data.left(10000), .ranges = QStringList{"bytes=8192-12287", "bytes=12288-"},
         .repairs = 1},  // its last, partial block counts as one repair
        {.servers = {url()}, .extra = inPlace, .says = ready, .onDisk = data, .ranges = QStringList{}},
    };
    // Log lines as a pipe receives them: a time of day, text, no control characters.
    static const QRegularExpression plainLines(QStringLiteral("^(\\d{1,2}:\\d\\d:\\d\\d( [AP]M)? [^\\x00-\\x1f\\x7f]+\n)+$"));
    for (const auto &c : cases) {
        QFile::remove(out + "/f.bin");
        ASSERT_TRUE(c.onDisk.isNull() || writeFile(out + "/f.bin", c.onDisk));
        ASSERT_TRUE(server.setScript(c.script));
        const qsizetype before = server.requests().size();
        const ToolRun r = runOrvantaDdf(QStringList{"get", ddf(c.servers, "f.ddf", c.fileName)} + c.extra, out);
        const std::string row = (c.extra.join(' ') + QString::number(c.onDisk.size()) + ": " + r.out + r.err).toStdString();
        EXPECT_EQ(r.exitCode, c.exitCode) << row;
        EXPECT_TRUE((c.exitCode ? r.err : r.out).contains(c.says)) << row;
        EXPECT_EQ(r.out.count("CRC error in current file. Will attempt to repair..."), c.repairs) << row;
        QStringList ranges;
        for (const TestServer::Request &request : server.requests().mid(before))
            ranges << request.range;
        EXPECT_TRUE(!c.ranges || ranges == *c.ranges) << row << ranges.join(' ').toStdString();
        const QByteArray kept = destination();
        EXPECT_TRUE(kept == data.left(kept.size())) << row;  // nothing unchecked on disk
        EXPECT_EQ(kept.size() == data.size(), c.exitCode == 0) << row;
        if (c.exitCode == 0) {
            EXPECT_TRUE(r.err.isEmpty() && (c.extra == QStringList{"--quiet"} ? r.out.isEmpty() : plainLines.match(r.out).hasMatch()))
                << row;
        }
    }
    EXPECT_FALSE(QFile::exists(m_dir.filePath("f.bin")));
}
