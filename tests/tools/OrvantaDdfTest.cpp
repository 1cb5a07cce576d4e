#include "ToolProcess.h"

#include "descriptor/DescriptorBytes.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <cmath>

#include <gtest/gtest.h>

using namespace descriptortest;

static ToolRun runTool(const QStringList &args) { return runOrvantaDdf(args); }

class OrvantaDdf : public testing::Test {
protected:
    QString file(const char *name, const QByteArray &bytes)
    {
        EXPECT_TRUE(writeFile(m_dir.filePath(name), bytes));
        return m_dir.filePath(name);
    }
    QTemporaryDir m_dir;
    const QString out = m_dir.filePath("out.ddf");
};

TEST_F(OrvantaDdf, CreateWritesTheSameBytesAsAnIndependentWriter)
{
    const Header single{.fileName = "data.bin", .servers = {"http://127.0.0.1:8080/data.bin"}};
    const Header full{-1, 0, "Caf\xE9 \x80 5", "Setup File.exe", {"Main|http://a/f", "Backup|http://b/f"}, 1.1f};
    const QStringList singleArgs{"--server=http://127.0.0.1:8080/data.bin"};
    const QStringList fullArgs{"--server", "Main|http://a/f", "--server=Backup|http://b/f", "--name", "Setup File.exe",
                               "--info", "Caf\u00E9 \u20AC 5", "--start-param", "--format-version", "1.1"};
    // The trailer by default; --crc-only writes the first format alone.
    const struct { qsizetype size; QStringList args; Header header; bool trailer; } cases[] = {
        {1, singleArgs, single, true}, {2 * 1024 * 1024 + 77, singleArgs, single, true}, {50001, fullArgs, full, true},
        {50001, fullArgs + QStringList{"--crc-only"}, full, false}};
    for (const auto &c : cases) {
        const QByteArray data = randomBytes(c.size, quint32(c.size));
        QFile::remove(out);
        const QStringList output = c.size > 1 ? QStringList{"-o", out} : QStringList{"--output=" + out};
        const ToolRun r = runTool(QStringList{"create", file("data.bin", data)} + output + c.args);
        EXPECT_EQ(r.exitCode, 0) << c.size << ": " << r.err.toStdString();
        EXPECT_TRUE(readFile(out) == descriptor(c.header, data) + (c.trailer ? trailerOf(data) : QByteArray())) << c.size;
    }
}

TEST_F(OrvantaDdf, RefusesWithExitTwoAndWritesNothing)
{
    const QByteArray data = randomBytes(9000, 5);
    const QString in = file("in.bin", data), kept = file("kept.ddf", "keep me"), none = m_dir.filePath("none");
    const QString cut = file("cut.ddf", descriptor({}, data).left(3000));
    const QString big = m_dir.filePath("big.bin");
    QFile sparse(big);
    ASSERT_TRUE(sparse.open(QIODevice::WriteOnly) && sparse.resize(qint64(1) << 31));
    sparse.close();
    const auto create = [&](const QStringList &more) { return QStringList{"create", in, "-o", out} + more; };
    const auto withUrl = [&](const QStringList &more) { return create(QStringList{"--server", "http://h/f"} + more); };
    QStringList named;
    for (int i = 0; i < 10; ++i)
        named << "--server" << QStringLiteral("S%1|http://h/f").arg(i);
    // Each case is a valid call with one fault.
    const QStringList cases[] = {
        create(named.mid(0, 2) + named), create({}), create({"--server", "ftp://h/f"}), create({"--server"}),
        withUrl({"--info", QString(257, 'i')}), withUrl({"--info", "\u03A9"}), withUrl({"--format-version", "1.0399999"}),
        withUrl({"--fast"}), {"create", in, "--server", "http://h/f"}, {"create", none, "-o", out, "--server", "http://h/f"},
        {"create", in, "-o", kept, "--server", "http://h/f"}, {"create", in, "-o", in, "--force", "--server", "http://h/f"},
        {"create", file("empty.bin", {}), "-o", out, "--server", "http://h/f"}, {"verify", cut, in}, {"info", cut},
        {"info", m_dir.path()}, {"check", in}, {},
        {"create", in, "-o", m_dir.filePath("none/x.ddf"), "--server", "http://h/f"},  // cannot be written
        {"create", big, "-o", out, "--server", "http://h/f", "--crc-only"},  // 2 GiB needs the trailer
        withUrl({"--name", "../../x.bin"}), withUrl({"--name", "a/b.bin"}), withUrl({"--name", "a\x01b.bin"}),
        withUrl({"--name", ".."}),  // names the downloader would not offer as given
    };
    for (const QStringList &args : cases) {
        const ToolRun r = runTool(args);
        EXPECT_EQ(r.exitCode, 2) << args.join(' ').toStdString();
        EXPECT_TRUE(r.err.contains("orvanta-ddf: ")) << args.join(' ').toStdString() << ": " << r.err.toStdString();
        EXPECT_FALSE(QFile::exists(out)) << args.join(' ').toStdString();
    }
    EXPECT_EQ(std::pair(readFile(kept), readFile(in)), std::pair(QByteArray("keep me"), data));  // neither overwritten
    EXPECT_EQ(runTool(create(named + QStringList{"--info", QString(256, 'i')})).exitCode, 0);  // just within the limits
}

// Every header field, a descriptor's control characters escaped.
TEST_F(OrvantaDdf, InfoPrintsEveryHeaderFieldEscaped)
{
    const Header hostile{-1, 0, "line one\r\x1b[2Kfake line", "\x1b]0;pwned\x07" "evil\x81.exe",
                         {"\x1b[31mA|http://a/f", "B|file:///etc/passwd"}, 1.1f};
    const ToolRun r = runTool({"info", file("h.ddf", descriptor(hostile, randomBytes(5632, 1)))});
    EXPECT_EQ(r.exitCode, 1) << "the downloader refuses it";
    EXPECT_EQ(r.out.toStdString(), R"(File name:        \x1b]0;pwned\x07evil\x81.exe
File size:        5632 bytes (6 KB)
Information:      line one\x0d\x1b[2Kfake line
Version:          1.1 (block CRCs leave out each block's last byte)
Start parameter:  yes (-1)
Servers:          2
  \x1b[31mA|http://a/f
  B|file:///etc/passwd
Blocks:           2
CRC list:         2 entries, matches the file size
Hashes:           none (CRC-32 of each block only)
Downloader:       refuses it. Server 2 of the descriptor, "B|file:///etc/passwd", is not an http:// or https:// address.
)");
}

// An extended descriptor shows its size, chunk size and whole-file hash;
// one whose trailer is damaged says so and is refused.
TEST_F(OrvantaDdf, InfoShowsTheTrailer)
{
    const QByteArray data = randomBytes(3 * 1048576 + 1, 2);
    const QByteArray good = descriptor({.servers = {"http://h/f"}}, data) + trailerOf(data);
    QByteArray damaged = good;
    damaged[damaged.size() - 100] = char(damaged[damaged.size() - 100] ^ 1);
    const ToolRun r = runTool({"info", file("g.ddf", good)});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    for (const QString &line : {QStringLiteral("File size:        3145729 bytes"),
                                QStringLiteral("Chunk size:       1048576 bytes (4 chunks)"),
                                "SHA-256:          " + QString::fromLatin1(sha256Reference(data).toHex()),
                                QStringLiteral("Downloader:       accepts it")})
        EXPECT_TRUE(r.out.contains(line)) << line.toStdString() << " in " << r.out.toStdString();
    const ToolRun bad = runTool({"info", file("d.ddf", damaged)});
    EXPECT_TRUE(bad.out.contains("Downloader:       refuses it. The descriptor's hash record is damaged")) << bad.out.toStdString();
    const ToolRun verify = runTool({"verify", file("d.ddf", damaged), file("data.bin", data)});
    EXPECT_EQ(verify.exitCode, 2);
    EXPECT_TRUE(verify.err.contains("damaged")) << verify.err.toStdString();
}

// What verify found, and the usage lines, on standard output with the exit code.
TEST_F(OrvantaDdf, VerifyHelpAndVersionSayWhatTheyFound)
{
    const QByteArray original = randomBytes(40000, 8);
    const QString ddf = file("f.ddf", descriptor({}, original));
    QByteArray block5 = original, lastByteOfBlock0 = original;
    block5[20480 + 100] ^= 0x10, lastByteOfBlock0[4095] ^= 1;
    // Five chunks; a block of chunk 1 and one of chunk 3 forged to keep their CRCs.
    const QByteArray large = randomBytes(4 * 1048576 + 100, 9);
    QByteArray forged = large;
    for (const qint64 block : {300, 800})
        forged.replace(block * 4096, 4096, forgedBlock(large.mid(block * 4096, 4096)));
    const QString strong = file("s.ddf", descriptor({}, large) + trailerOf(large));
    const struct { QStringList args; int exitCode; QString says; } cases[] = {
        {{"verify", strong, file("s.bin", large)}, 0, "complete and intact (4194404 bytes, every chunk's SHA-256 matches)"},
        {{"verify", strong, file("f.bin", forged)}, 1,
         "2 bad chunks of 1048576 bytes each\n  chunk 1: bytes 1048576 to 2097151\n  chunk 3: bytes 3145728 to 4194303\n"},
        {{"verify", file("p.ddf", descriptor({}, large)), file("f.bin", forged)}, 0, "complete and intact"},  // CRCs alone
        {{"verify", ddf, file("a.bin", original)}, 0, "complete and intact"},
        {{"verify", ddf, file("b.bin", block5)}, 1, "first bad block 5 at offset 20480"},
        {{"verify", ddf, file("c.bin", original.left(10000))}, 1,
         "shorter than described (10000 of 40000 bytes); intact up to offset 8192"},
        {{"verify", file("old.ddf", descriptor({.version = 1.1f}, original)), file("d.bin", lastByteOfBlock0)}, 0,
         "complete and intact"},
        {{"--help"}, 0, "Usage: orvanta-ddf COMMAND [ARGUMENTS...]\n"},
        {{"create", "--help"}, 0, "Usage: orvanta-ddf create [options] FILE\n"},
        {{"verify", "-h"}, 0, "Usage: orvanta-ddf verify [options] DESCRIPTOR FILE\n"},
        {{"--help-all"}, 0, "Usage: orvanta-ddf COMMAND [ARGUMENTS...]\n"},
        {{"verify", ddf, m_dir.path()}, 2, m_dir.path() + ": not a regular file"},  // refusals go to standard error
        {{"info", file("ok.ddf", descriptor({.servers = {"http://h/f"}}, original))}, 0, "Downloader:       accepts it"},
        {{"info", file("below.ddf", descriptor({.version = std::nextafter(1.04f, 0.f)}, original))}, 1,
         "Version:          1.0399998 (below 1.04"},
        {{"info", file("nan.ddf", descriptor({.version = std::nanf("")}, original))}, 1, "(not a version number"},
        {{"info", file("neg.ddf", headerBytes({.fileSize = -300000}))}, 1, "File size:        -300000 bytes\n"},
        {{"info", file("one.ddf", "x")}, 2, "it holds 1 byte,"},
        {{"verify", file("huge.ddf", descriptor({.version = 1e30f}, original)), file("e.bin", original)}, 2,
         "version field holds no version number"},
    };
    for (const auto &c : cases) {
        const ToolRun r = runTool(c.args);
        EXPECT_EQ(r.exitCode, c.exitCode) << c.args.join(' ').toStdString() << ": " << r.err.toStdString();
        const QString &shown = c.exitCode == 2 ? r.err : r.out;
        EXPECT_TRUE(shown.contains(c.says)) << c.args.join(' ').toStdString() << ": " << shown.toStdString();
    }
    const ToolRun version = runTool({"--version"});
    EXPECT_TRUE(version.exitCode == 0 && QRegularExpression("^orvanta-ddf \\d+\\.\\d+\\.\\d+\n$").match(version.out).hasMatch())
        << version.out.toStdString();
}
