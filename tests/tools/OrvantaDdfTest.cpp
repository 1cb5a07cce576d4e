#include "descriptor/DdfTestBytes.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>

using namespace ddftest;

namespace {

struct ToolRun {
    int exitCode = -1;
    QString out;
    QString err;
};

ToolRun runTool(const QStringList &args)
{
    QProcess p;
    p.start(QStringLiteral(ORVANTA_BIN_DIR "/orvanta-ddf"), args);
    ToolRun r;
    if (!p.waitForStarted(10000) || !p.waitForFinished(60000)) {
        p.kill();
        p.waitForFinished(5000);
        ADD_FAILURE() << "orvanta-ddf did not run: " << args.join(QLatin1Char(' ')).toStdString();
        return r;
    }
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromLocal8Bit(p.readAllStandardOutput());
    r.err = QString::fromLocal8Bit(p.readAllStandardError());
    return r;
}

class OrvantaDdfTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        ASSERT_TRUE(QFile::exists(QStringLiteral(ORVANTA_BIN_DIR "/orvanta-ddf")));
    }
    QString path(const char *name) const { return m_dir.filePath(QString::fromLatin1(name)); }
    QString dataFile(const char *name, const QByteArray &bytes)
    {
        const QString p = path(name);
        EXPECT_TRUE(writeFile(p, bytes));
        return p;
    }

    QTemporaryDir m_dir;
};

TEST_F(OrvantaDdfTest, CreateWritesTheExactDescriptor)
{
    struct Case {
        const char *name;
        qsizetype size;
        QStringList extraArgs;
        Header header;  // fileSize is filled in from the data
    };
    Header single;
    single.fileName = "data.bin";
    single.servers = {"http://127.0.0.1:8080/data.bin"};
    Header full;
    full.startParam = -1;
    full.fileName = "Setup File.exe";
    full.information = "Caf\xE9 release \x80 5";
    full.servers = {"Main|http://a.example/f", "Backup|http://b.example/f", "Third|http://c.example/f"};
    full.version = 1.1f;
    const QStringList fullArgs = {QStringLiteral("--server"), QStringLiteral("Main|http://a.example/f"),
                                  QStringLiteral("--server"), QStringLiteral("Backup|http://b.example/f"),
                                  QStringLiteral("--server=Third|http://c.example/f"),
                                  QStringLiteral("--name"), QStringLiteral("Setup File.exe"),
                                  QStringLiteral("--info"), QStringLiteral("Caf\u00E9 release \u20AC 5"),
                                  QStringLiteral("--start-param"), QStringLiteral("--format-version"), QStringLiteral("1.1")};
    const QStringList singleArgs = {QStringLiteral("--server"), QStringLiteral("http://127.0.0.1:8080/data.bin")};
    const Case cases[] = {
        {"empty file", 0, singleArgs, single},
        {"one block", 4096, singleArgs, single},
        {"partial last block", 10000, singleArgs, single},
        {"several pieces", 2 * 1024 * 1024 + 77, singleArgs, single},
        {"every option", 50001, fullArgs, full},
    };
    for (const Case &c : cases) {
        const QByteArray data = randomBytes(c.size, quint32(c.size) + 1);
        const QString in = dataFile("data.bin", data);
        const QString out = path("out.ddf");
        QFile::remove(out);
        const ToolRun r = runTool(QStringList{QStringLiteral("create"), in, QStringLiteral("-o"), out} + c.extraArgs);
        EXPECT_EQ(r.exitCode, 0) << c.name << ": " << r.err.toStdString();
        EXPECT_TRUE(r.err.isEmpty()) << c.name;  // no progress line when stderr is no terminal
        const QByteArray written = readFile(out);
        const QByteArray expected = descriptor(c.header, data);
        EXPECT_EQ(written.size(), expected.size()) << c.name;
        EXPECT_TRUE(written == expected) << c.name;
    }
}

TEST_F(OrvantaDdfTest, CreateRefusesWithExitTwoAndWritesNothing)
{
    const QString in = dataFile("in.bin", randomBytes(9000, 5));
    const QString out = path("out.ddf");
    const QStringList base = {QStringLiteral("create"), in, QStringLiteral("-o"), out};
    const QStringList url = {QStringLiteral("--server"), QStringLiteral("http://h/f")};
    QStringList eleven;
    for (int i = 0; i < 11; ++i)
        eleven << QStringLiteral("--server") << QStringLiteral("S%1|http://h%1/f").arg(i);
    QStringList ten = eleven.mid(0, 20);

    struct Case {
        const char *name;
        QStringList args;
    };
    const Case cases[] = {
        {"no server", base},
        {"eleven servers", base + eleven},
        {"second server without name", base + QStringList{QStringLiteral("--server"), QStringLiteral("A|http://a/f"),
                                                          QStringLiteral("--server"), QStringLiteral("http://b/f")}},
        {"first server without name", base + QStringList{QStringLiteral("--server"), QStringLiteral("http://a/f"),
                                                         QStringLiteral("--server"), QStringLiteral("B|http://b/f")}},
        {"single server with name", base + QStringList{QStringLiteral("--server"), QStringLiteral("A|http://a/f")}},
        {"blank server", base + QStringList{QStringLiteral("--server"), QStringLiteral("   ")}},
        {"info over 256 bytes", base + url + QStringList{QStringLiteral("--info"), QString(257, QLatin1Char('i'))}},
        {"name over 256 bytes", base + url + QStringList{QStringLiteral("--name"), QString(257, QLatin1Char('n'))}},
        {"server over 256 bytes", base + QStringList{QStringLiteral("--server"), QStringLiteral("http://h/") + QString(250, QLatin1Char('x'))}},
        {"info not in Windows-1252", base + url + QStringList{QStringLiteral("--info"), QStringLiteral("\u03A9mega")}},
        {"version below 1.04", base + url + QStringList{QStringLiteral("--format-version"), QStringLiteral("1.03")}},
        {"version just below 1.04", base + url + QStringList{QStringLiteral("--format-version"), QStringLiteral("1.0399999")}},
        {"version not a number", base + url + QStringList{QStringLiteral("--format-version"), QStringLiteral("new")}},
        {"missing FILE", QStringList{QStringLiteral("create"), path("missing.bin"), QStringLiteral("-o"), out} + url},
        {"FILE is a folder", QStringList{QStringLiteral("create"), m_dir.path(), QStringLiteral("-o"), out} + url},
        {"no output", QStringList{QStringLiteral("create"), in} + url},
        {"unknown option", base + url + QStringList{QStringLiteral("--fast")}},
        {"two files", base + url + QStringList{in}},
    };
    for (const Case &c : cases) {
        const ToolRun r = runTool(c.args);
        EXPECT_EQ(r.exitCode, 2) << c.name;
        EXPECT_TRUE(r.err.startsWith(QStringLiteral("orvanta-ddf: "))) << c.name << ": " << r.err.toStdString();
        EXPECT_FALSE(QFile::exists(out)) << c.name;
    }
    // Ten named servers and exactly 256 bytes are fine.
    const ToolRun tenServers = runTool(base + ten + QStringList{QStringLiteral("--info"), QString(256, QLatin1Char('i'))});
    EXPECT_EQ(tenServers.exitCode, 0) << tenServers.err.toStdString();
}

TEST_F(OrvantaDdfTest, CreateKeepsAnExistingDescriptorUnlessForced)
{
    const QString in = dataFile("in.bin", randomBytes(5000, 6));
    const QString out = dataFile("out.ddf", "keep me");
    const QStringList args = {QStringLiteral("create"), in, QStringLiteral("-o"), out, QStringLiteral("--server"), QStringLiteral("http://h/f")};
    EXPECT_EQ(runTool(args).exitCode, 2);
    EXPECT_EQ(readFile(out), QByteArray("keep me"));
    EXPECT_EQ(runTool(args + QStringList{QStringLiteral("--force")}).exitCode, 0);
    Header h;
    h.fileName = "in.bin";
    h.servers = {"http://h/f"};
    EXPECT_EQ(readFile(out), descriptor(h, randomBytes(5000, 6)));
    // Never over the described file itself.
    const ToolRun self = runTool({QStringLiteral("create"), in, QStringLiteral("-o"), in, QStringLiteral("--server"),
                              QStringLiteral("http://h/f"), QStringLiteral("--force")});
    EXPECT_EQ(self.exitCode, 2);
    EXPECT_EQ(readFile(in), randomBytes(5000, 6));
}

TEST_F(OrvantaDdfTest, CreateRefusesFilesOver2GiB)
{
    const QString big = path("big.bin");
    QFile f(big);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    ASSERT_TRUE(f.resize(2147483648LL));  // sparse: nothing is written
    f.close();
    const ToolRun r = runTool({QStringLiteral("create"), big, QStringLiteral("-o"), path("big.ddf"), QStringLiteral("--server"),
                           QStringLiteral("http://h/f")});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(r.err.contains(QStringLiteral("2147483647")));
    EXPECT_FALSE(QFile::exists(path("big.ddf")));
}

TEST_F(OrvantaDdfTest, VerifyJudgesTheFile)
{
    const QByteArray original = randomBytes(40000, 8);
    Header h;
    h.fileName = "f.bin";
    h.servers = {"http://h/f"};
    const QString ddf = dataFile("f.ddf", descriptor(h, original));
    QByteArray damaged = original;
    damaged[20480 + 100] = char(damaged[20480 + 100] ^ 0x10);

    struct Case {
        const char *name;
        QByteArray local;
        int exitCode;
        const char *says;
    };
    const Case cases[] = {
        {"intact", original, 0, "complete and intact"},
        {"damaged block 5", damaged, 1, "first bad block 5 at offset 20480"},
        {"shorter, partial last block", original.left(10000), 1, "shorter than described (10000 of 40000 bytes); intact up to offset 8192"},
        {"shorter, whole blocks", original.left(8192), 1, "shorter than described (8192 of 40000 bytes); intact up to offset 8192"},
        {"longer", original + QByteArray(10, 'x'), 1, "longer than described (40010 of 40000 bytes)"},
        {"empty", QByteArray(), 1, "shorter than described (0 of 40000 bytes)"},
    };
    for (const Case &c : cases) {
        const QString local = dataFile("local.bin", c.local);
        const ToolRun r = runTool({QStringLiteral("verify"), ddf, local});
        EXPECT_EQ(r.exitCode, c.exitCode) << c.name << ": " << r.out.toStdString() << r.err.toStdString();
        EXPECT_TRUE(r.out.contains(QString::fromLatin1(c.says))) << c.name << ": " << r.out.toStdString();
    }
}

TEST_F(OrvantaDdfTest, VerifyUsesTheDescriptorsVersionRule)
{
    const QByteArray original = randomBytes(3 * 4096, 12);
    Header h;
    h.fileName = "f.bin";
    h.servers = {"http://h/f"};
    h.version = 1.1f;
    const QString ddf = dataFile("old.ddf", descriptor(h, original));
    QByteArray lastByteChanged = original;
    lastByteChanged[4095] = char(lastByteChanged[4095] ^ 1);  // not covered below 1.2
    EXPECT_EQ(runTool({QStringLiteral("verify"), ddf, dataFile("a.bin", lastByteChanged)}).exitCode, 0);
    lastByteChanged[4094] = char(lastByteChanged[4094] ^ 1);
    const ToolRun bad = runTool({QStringLiteral("verify"), ddf, dataFile("a.bin", lastByteChanged)});
    EXPECT_EQ(bad.exitCode, 1);
    EXPECT_TRUE(bad.out.contains(QStringLiteral("offset 0")));
}

TEST_F(OrvantaDdfTest, VerifyReportsAMissingCrcEntry)
{
    const QByteArray original = randomBytes(4 * 4096, 13);
    Header h;
    h.servers = {"http://h/f"};
    const QString ddf = dataFile("cut.ddf", descriptor(h, original).chopped(4));
    const ToolRun r = runTool({QStringLiteral("verify"), ddf, dataFile("f.bin", original)});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.out.contains(QStringLiteral("block 3 at offset 12288 has no CRC entry"))) << r.out.toStdString();
}

TEST_F(OrvantaDdfTest, VerifyAndInfoRefuseUnusableInput)
{
    Header h;
    h.servers = {"http://h/f"};
    const QString good = dataFile("good.ddf", descriptor(h, randomBytes(100, 1)));
    const QString data = dataFile("d.bin", randomBytes(100, 1));
    h.version = std::nextafter(1.04f, 0.0f);
    const QString old = dataFile("old.ddf", descriptor(h, randomBytes(100, 1)));
    const QString truncated = dataFile("trunc.ddf", descriptor(h, randomBytes(100, 1)).left(3000));
    struct Case {
        const char *name;
        QStringList args;
    };
    const Case cases[] = {
        {"missing data", {QStringLiteral("verify"), good, path("nothing.bin")}},
        {"missing descriptor", {QStringLiteral("verify"), path("nothing.ddf"), data}},
        {"truncated descriptor", {QStringLiteral("verify"), truncated, data}},
        {"refused version", {QStringLiteral("verify"), old, data}},
        {"one argument", {QStringLiteral("verify"), good}},
        {"info of truncated", {QStringLiteral("info"), truncated}},
        {"info of nothing", {QStringLiteral("info"), path("nothing.ddf")}},
        {"unknown command", {QStringLiteral("check"), good}},
        {"no command", {}},
    };
    for (const Case &c : cases) {
        const ToolRun r = runTool(c.args);
        EXPECT_EQ(r.exitCode, 2) << c.name;
        EXPECT_FALSE(r.err.isEmpty()) << c.name;
    }
}

TEST_F(OrvantaDdfTest, InfoPrintsEveryHeaderField)
{
    Header h;
    h.startParam = -1;
    h.fileName = "movie.mkv";
    h.information = "Trailer";
    h.servers = {"One|http://one/m", "Two|http://two/m"};
    h.version = 1.1f;
    const QString ddf = dataFile("m.ddf", descriptor(h, randomBytes(1536 + 4096, 2)));
    const ToolRun r = runTool({QStringLiteral("info"), ddf});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    const QStringList expectedLines = {
        QStringLiteral("File name:        movie.mkv"),
        QStringLiteral("File size:        5632 bytes (6 KB)"),
        QStringLiteral("Information:      Trailer"),
        QStringLiteral("Version:          1.1 (block CRCs leave out each block's last byte)"),
        QStringLiteral("Start parameter:  yes (-1)"),
        QStringLiteral("Servers:          2"),
        QStringLiteral("  One|http://one/m"),
        QStringLiteral("  Two|http://two/m"),
        QStringLiteral("Blocks:           2"),
        QStringLiteral("CRC list:         2 entries, matches the file size"),
    };
    EXPECT_EQ(r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts), expectedLines);

    const QString cut = dataFile("cut.ddf", descriptor(h, randomBytes(5632, 2)).chopped(2));
    const ToolRun c = runTool({QStringLiteral("info"), cut});
    EXPECT_EQ(c.exitCode, 0);
    EXPECT_TRUE(c.out.contains(QStringLiteral("CRC list:         1 entries and 2 stray bytes, does not match the file size (2 expected)")))
        << c.out.toStdString();
}

}  // namespace
