#include "ToolProcess.h"

#include <QRegularExpression>

#include <cmath>

#include <sys/stat.h>

using namespace descriptortest;

class OrvantaDdf : public ServedFolder {
protected:
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
        {1, singleArgs, single, true}, {1048576, singleArgs, single, true}, {6 * 1048576 + 77, singleArgs, single, true},
        {50001, fullArgs, full, true}, {50001, fullArgs + QStringList{"--crc-only"}, full, false}};
    for (const auto &c : cases) {
        const QByteArray data = randomBytes(c.size, quint32(c.size));
        QFile::remove(out);
        const QStringList output = c.size > 1 ? QStringList{"-o", out} : QStringList{"--output=" + out};
        const ToolRun r = runOrvantaDdf(QStringList{"create", save("data.bin", data)} + output + c.args);
        EXPECT_EQ(r.exitCode, 0) << c.size << ": " << r.err.toStdString();
        EXPECT_TRUE(readFile(out) == descriptor(c.header, data) + (c.trailer ? trailerOf(data) : QByteArray())) << c.size;
    }
}

// Bad input ends the run with exit status 2 and the reason before any
// request, and leaves every file as it was.
TEST_F(OrvantaDdf, RefusesWithExitTwoAndWritesNothing)
{
    const QByteArray data = randomBytes(9000, 5);
    const QString in = save("in.bin", data), kept = save("kept.ddf", "keep me"), none = m_dir.filePath("none");
    const QString cut = save("cut.ddf", descriptor({}, data).left(3000)), work = m_dir.filePath("work");
    const QString good = save("g.ddf", descriptor({.fileName = "f.bin", .servers = {url()}}, data));
    const QString old = save("old.ddf", descriptor({.fileName = "f.bin", .servers = {url()}, .version = 1.03f}, data));
    const QString longer = save("long.bin", data + "x");
    ASSERT_TRUE(QDir().mkpath(work));
    const QString pipe = m_dir.filePath("pipe.ddf");  // read, it would block: only a regular file is read
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    QFile big(m_dir.filePath("big.bin"));  // sparse
    ASSERT_TRUE(big.open(QIODevice::WriteOnly) && big.resize(qint64(1) << 31));
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
        {"create", save("empty.bin", {}), "-o", out, "--server", "http://h/f"}, {"verify", cut, in}, {"info", cut},
        {"info", m_dir.path()}, {"info", pipe}, {"check", in}, {},
        {"create", in, "-o", m_dir.filePath("none/x.ddf"), "--server", "http://h/f"},  // cannot be written
        {"create", big.fileName(), "-o", out, "--server", "http://h/f", "--crc-only"},  // 2 GiB needs the trailer
        withUrl({"--name", "../../x.bin"}), withUrl({"--name", "a/b.bin"}), withUrl({"--name", "a\x01b.bin"}),
        withUrl({"--name", ".."}),  // names the downloader would not offer as given
    };
    const std::pair<QStringList, const char *> getCases[] = {
        {{"get", old}, "older than 1.04"},
        {{"get", save("ftp.ddf", descriptor({.fileName = "f.bin", .servers = {"ftp://h/f.bin"}}, data))}, "is refused"},
        {{"get", m_dir.filePath("none.ddf")}, "cannot read"},
        {{"get", good, "--output", m_dir.filePath("no/such/f.bin")}, "no such folder"},
        {{"get", good, "-o", m_dir.filePath("copy.DDF")}, "a descriptor's name"},
        {{"get", good, "-o", longer}, "longer than the described file"},
        {{"get", good, "-o", m_dir.path()}, "not a regular file"},
        {{"get", good, "--server", "2"}, "--server takes a number from 1 to 1"},
        {{"get", good, "--retries", "-1"}, "--retries takes a number"},
        {{"get"}, "usage: orvanta-ddf get"},
    };
    const auto refused = [&](const QStringList &args, const char *says) {
        const ToolRun r = runOrvantaDdf(args, work);
        EXPECT_EQ(r.exitCode, 2) << args.join(' ').toStdString();
        EXPECT_TRUE(*says ? r.err.startsWith("orvanta-ddf: ") && r.err.contains(says) : r.err.contains("orvanta-ddf: "))
            << args.join(' ').toStdString() << ": " << r.err.toStdString();
        EXPECT_FALSE(QFile::exists(out)) << args.join(' ').toStdString();
    };
    for (const QStringList &args : cases)
        refused(args, "");
    for (const auto &[args, says] : getCases)
        refused(args, says);
    EXPECT_TRUE(server.requests().isEmpty());
    EXPECT_TRUE(QDir(work).isEmpty());
    EXPECT_TRUE(readFile(longer) == data + "x");
    EXPECT_EQ(std::pair(readFile(kept), readFile(in)), std::pair(QByteArray("keep me"), data));  // neither overwritten
    EXPECT_EQ(runOrvantaDdf(create(named + QStringList{"--info", QString(256, 'i')})).exitCode, 0);  // just within the limits
    // One byte past the header's range: the header gets the marker, the hash record the size.
    ASSERT_EQ(runOrvantaDdf({"create", big.fileName(), "-o", out, "--force", "--server", "http://h/f"}, {}, 180000).exitCode, 0);
    const ToolRun large = runOrvantaDdf({"info", out});
    EXPECT_EQ(large.exitCode, 0) << large.out.toStdString();
    EXPECT_TRUE(large.out.contains("File size:        2147483648 bytes") && large.out.contains("(2048 chunks)"))
        << large.out.toStdString();
}

// What verify and info found, and the usage lines, on standard output with the exit code, a descriptor's
// control characters escaped; an extended descriptor shows its chunks and whole-file hash, and one whose
// trailer is damaged is refused.
TEST_F(OrvantaDdf, VerifyInfoAndHelpSayWhatTheyFound)
{
    const QByteArray original = randomBytes(40000, 8);
    const QString ddf = save("f.ddf", descriptor({}, original));
    QByteArray block5 = original, lastByteOfBlock0 = original;
    block5[20480 + 100] ^= 0x10, lastByteOfBlock0[4095] ^= 1;
    // Five chunks; a block of chunk 1 and one of chunk 3 forged to keep their CRCs.
    const QByteArray large = randomBytes(4 * 1048576 + 100, 9);
    const QByteArray forged = forgedBlock(forgedBlock(large, 300 * 4096), 800 * 4096);
    const QString strong = save("s.ddf", descriptor({.servers = {"http://h/f"}}, large) + trailerOf(large));
    QByteArray damaged = readFile(strong);
    damaged[damaged.size() - 100] = char(damaged[damaged.size() - 100] ^ 1);
    const Header hostileHeader{-1, 0, "line one\r\x1b[2Kfake line", "\x1b]0;pwned\x07" "evil\x81.exe",
                               {"\x1b[31mA|http://a/f", "B|file:///etc/passwd"}, 1.1f};
    const QString hostile = save("h.ddf", descriptor(hostileHeader, randomBytes(5632, 1)));
    const struct { QStringList args; int exitCode; QString says; } cases[] = {
        {{"verify", strong, save("s.bin", large)}, 0, "complete and intact (4194404 bytes, every chunk's SHA-256 matches)"},
        {{"verify", strong, save("f.bin", forged)}, 1,
         "2 bad chunks of 1048576 bytes each\n  chunk 1: bytes 1048576 to 2097151\n  chunk 3: bytes 3145728 to 4194303\n"},
        {{"verify", ddf, save("b.bin", block5)}, 1, "first bad block 5 at offset 20480"},
        {{"verify", ddf, save("c.bin", original.left(10000))}, 1,
         "shorter than described (10000 of 40000 bytes); intact up to offset 8192"},
        {{"verify", save("old.ddf", descriptor({.version = 1.1f}, original)), save("d.bin", lastByteOfBlock0)}, 0,
         "complete and intact"},
        {{"--help"}, 0, "Usage: orvanta-ddf COMMAND [ARGUMENTS...]\n"},
        {{"verify", "-h"}, 0, "Usage: orvanta-ddf verify [options] DESCRIPTOR FILE\n"},
        {{"--help-all"}, 0, "Usage: orvanta-ddf COMMAND [ARGUMENTS...]\n"},
        {{"verify", ddf, m_dir.path()}, 2, m_dir.path() + ": not a regular file"},  // refusals go to standard error
        {{"info", strong}, 0,
         "Chunk size:       1048576 bytes (5 chunks)\nSHA-256:          " + QString::fromLatin1(sha256Reference(large).toHex())},
        {{"info", save("d.ddf", damaged)}, 1, "Downloader:       refuses it. The descriptor's hash record is damaged"},
        {{"verify", save("d.ddf", damaged), save("s.bin", large)}, 2, "damaged"},
        {{"info", hostile}, 1, "File name:        \\x1b]0;pwned\\x07evil\\x81.exe\nFile size:        5632 bytes (6 KB)\n"
                               "Information:      line one\\x0d\\x1b[2Kfake line\nVersion:          1.1 (block CRCs leave out"},
        {{"info", hostile}, 1, "Start parameter:  yes (-1)\nServers:          2\n  \\x1b[31mA|http://a/f\n"},
        {{"info", hostile}, 1, "Blocks:           2\nCRC list:         2 entries, matches the file size\nHashes:           none"},
        {{"info", hostile}, 1, "refuses it. Server 2 of the descriptor, \"B|file:///etc/passwd\", is not an http://"},
        {{"info", save("ok.ddf", descriptor({.servers = {"http://h/f"}}, original))}, 0, "Downloader:       accepts it"},
        {{"info", save("below.ddf", descriptor({.version = std::nextafter(1.04f, 0.f)}, original))}, 1,
         "Version:          1.0399998 (below 1.04"},
        {{"info", save("nan.ddf", descriptor({.version = std::nanf("")}, original))}, 1, "(not a version number"},
        {{"info", save("neg.ddf", headerBytes({.fileSize = -300000}))}, 1, "File size:        -300000 bytes\n"},
        {{"info", save("one.ddf", "x")}, 2, "it holds 1 byte,"},
        {{"verify", save("huge.ddf", descriptor({.version = 1e30f}, original)), save("e.bin", original)}, 2,
         "version field holds no version number"},
    };
    for (const auto &c : cases) {
        const ToolRun r = runOrvantaDdf(c.args);
        EXPECT_EQ(r.exitCode, c.exitCode) << c.args.join(' ').toStdString() << ": " << r.err.toStdString();
        const QString &shown = c.exitCode == 2 ? r.err : r.out;
        EXPECT_TRUE(shown.contains(c.says)) << c.args.join(' ').toStdString() << ": " << shown.toStdString();
        EXPECT_FALSE(shown.contains(QRegularExpression("[\\x00-\\x09\\x0b-\\x1f\\x7f-\\x9f]"))) << shown.toStdString();
    }
    const ToolRun version = runOrvantaDdf({"--version"});
    EXPECT_TRUE(version.exitCode == 0 && QRegularExpression("^orvanta-ddf \\d+\\.\\d+\\.\\d+\n$").match(version.out).hasMatch())
        << version.out.toStdString();
}
