// Every fault a user can meet, one row each, played through the window's
// commands, the engine and the real libcurl client against the project's
// scriptable server on loopback. Each row checks the state the download is
// left in, the reason the window shows (and logs), and the file on disk.
#include <app/AppHarness.h>
#include <support/TestServer.h>

#include <descriptor/DescriptorBytes.h>
#include <transfer/CurlHttpClient.h>

#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <unistd.h>

#include <iostream>

namespace {

using State = DownloadEngine::State;
constexpr qint64 kSize = 200000;  // 48 whole blocks and a short one

enum class Start { Url, Descriptor, DescriptorWithoutServers };
enum class Where { Folder, MissingFolder, SmallDisk };
enum class During { Untouched, DeleteFile, MakeFileReadOnly };
enum class Then { Stop, RetryUntilDone, ChangeServedFileAndStartAgain };
enum class Ends { AsTheEndSays, Whole, Prefix, Absent };  // Prefix: every byte that was on disk is still there
enum class Tls { None, UnknownAuthority, OtherHost, Trusted };  // the test authority is trusted for the last two

using enum State;
using enum Ends;
using enum Start;
using enum Where;
using enum Tls;
using enum During;
using enum Then;

struct FaultRow {
    const char *name;
    const char *query = "";  // faults of every request ("?status=404")
    const char *once = "";   // faults of the first request only, as JSON ({"drop": 70000})
    Start start = Start::Url;
    qint64 existing = 0;     // bytes of the served file on disk before
    Where where = Where::Folder;
    During during = During::Untouched;
    Then then = Then::Stop;
    qint64 freeSpace = -1;   // -1: the real query
    Tls tls = Tls::None;
    const char *address = "";  // instead of the server's
    State end = State::Completed;
    const char *reason = "";  // in the status line or the reason shown after the first attempt
    Ends file = Ends::AsTheEndSays;  // whole once complete, else what was on disk
    const char *range = "";   // Range of the last request, when it matters
    bool pinned = false;      // the last request carried a strong If-Range
    bool startParam = false;  // the descriptor wants the offset in the URL too
};

// Even root cannot write an immutable file, also through a descriptor opened
// before.
bool setImmutable(const QString &path, bool on)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    int flags = 0;
    bool ok = fd >= 0 && ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    flags = on ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
    ok = ok && ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    if (fd >= 0)
        ::close(fd);
    return ok;
}

// d.ddf describing `content` as f.bin, on `servers` ("name|url" or a bare URL).
QString writeDescriptorFor(const AppHarnessOn<CurlHttpClient> &h, const QStringList &servers, const QByteArray &content,
                           bool startParam = false)
{
    DescriptorHeader record{.startParam = qint16(startParam ? -1 : 0), .information = {}, .fileName = "f.bin", .servers = {}, .version = 1.2f};
    std::copy(servers.begin(), servers.end(), record.servers.begin());
    descriptortest::writeFile(h.path("d.ddf"), buildDescriptor(record, content).value());
    return h.path("d.ddf");
}

struct FaultRun {
    const FaultRow &row;
    TestServer &server;
    QByteArray expected;
    QString root;
    AppHarnessOn<CurlHttpClient> h;
    QString folder = h.path(row.where == MissingFolder ? "missing" : "out"), destination = folder + "/out.bin", url;
    bool mounted = false;
    QStringList failures;

    FaultRun(const FaultRow &row, TestServer &server, const QByteArray &content, const QString &root)
        : row(row), server(server), expected(content), root(root) {}
    ~FaultRun()
    {
        setImmutable(folder, false), setImmutable(destination, false);
        if (mounted)
            ::umount2(QFile::encodeName(folder).constData(), MNT_DETACH);
    }
    void check(bool ok, const QString &what)
    {
        if (!ok)
            failures << what;
    }
    void settle() { runUntil([&] { return !h.engine.isBusy() && h.engine.state() != Resuming; }, 30000); }

    // Empty when the row ran; otherwise why it could not run here.
    QString play()
    {
        if (const QString missing = prepare(); !missing.isEmpty())
            return missing;
        row.start == Url ? startUrl() : loadDescriptor();
        settle();
        check(h.engine.state() == row.end, QStringLiteral("ends in state %1").arg(int(h.engine.state())));
        const QString reason = h.model.text(MainWindowModel::Label::Reason);
        const QString shown = h.model.text(MainWindowModel::Label::Status) + '|' + reason;
        check(shown.contains(QLatin1String(row.reason)) && (row.end == Idle || h.log.text().contains(reason)),
              "shows \"" + shown + '"');
        if (row.then == ChangeServedFileAndStartAgain) {
            expected = writeRandomFile(root + "/f.bin", kSize, 99);  // a new version, a new ETag
            startUrl();
            settle();
        }
        h.engine.setRetryDelay(std::chrono::milliseconds(0));
        for (int i = 0; i < 5 && row.then != Stop && h.engine.state() == WaitingToRetry; ++i) {
            runUntil([&] { return h.engine.state() != WaitingToRetry; });
            settle();
        }
        check(row.then == Stop || h.engine.state() == Completed,
              QStringLiteral("completes in the end, not in state %1").arg(int(h.engine.state())));
        const TestServer::Request last = server.requests().value(server.requests().size() - 1);
        check(!*row.range || last.range == QLatin1String(row.range), "asks for the range " + last.range);
        check(!row.startParam || last.target.endsWith("&start=" + last.range.mid(6).chopped(1)), "asks " + last.target);
        check(!row.pinned || (!last.ifRange.isEmpty() && !last.ifRange.startsWith("W/")), "pins with " + last.ifRange);
        checkFile();
        return {};
    }

    QString prepare()
    {
        h.http.setStallSeconds(1);
        h.engine.setRetryDelay(std::chrono::hours(1));
        if (row.freeSpace != -1)
            h.engine.setFreeSpaceQuery([free = row.freeSpace](const QString &) { return std::optional<qint64>(free); });
        QObject::connect(&h.engine, &DownloadEngine::progressed, [this, acted = false](const TransferProgress &) mutable {
            if (row.during != Untouched && !std::exchange(acted, true))
                row.during == DeleteFile ? void(QFile::remove(destination)) : void(setImmutable(destination, true));
        });
        if (row.where != MissingFolder)
            QDir().mkpath(folder);
        if (row.where == SmallDisk
            && !(mounted = ::mount("tmpfs", QFile::encodeName(folder).constData(), "tmpfs", 0, "size=64k") == 0))
            return "mounting a small filesystem needs root";
        if (row.existing)
            descriptortest::writeFile(destination, expected.left(row.existing));
        if (row.during == MakeFileReadOnly && !(setImmutable(folder, true) && setImmutable(folder, false)))
            return "the immutable flag is not available";
        if (*row.once)
            server.setScript({QJsonDocument::fromJson(row.once).object()});
        url = *row.address ? QString::fromLatin1(row.address) : server.url(QStringLiteral("/f.bin") + row.query);
        return {};
    }

    void loadDescriptor()
    {
        h.dialogs.chooseFile(writeDescriptorFor(h, {row.start == Descriptor ? url : QString()}, expected, row.startParam));
        h.dialogs.chooseFile(destination);
        h.controller.loadDescriptor();
    }
    void startUrl()
    {
        h.controller.urlEdited(url);
        h.dialogs.chooseFile(destination);
        h.dialogs.fileExistsAnswers = {FileExistsAnswer::Resume};
        h.controller.downloadUrl();
    }

    void checkFile()
    {
        setImmutable(destination, false);
        QFile file(destination);
        const bool present = file.open(QIODevice::ReadOnly);
        const QByteArray bytes = present ? file.readAll() : QByteArray();
        const QByteArray before = expected.left(row.existing);
        const bool complete = row.end == Completed || row.end == Verified || row.then != Stop;
        const Ends ends = row.file != AsTheEndSays ? row.file : complete ? Whole : row.existing ? Prefix : Absent;
        check(ends == Whole    ? bytes == expected
              : ends == Absent ? !present
                               : present && expected.startsWith(bytes) && bytes.startsWith(before),
              QStringLiteral("leaves %1 bytes (-1: none), not Ends %2").arg(bytes.size() - !present).arg(int(ends)));
    }
};

const FaultRow kRows[] = {
    // Connections
    {.name = "malformed URL stops", .address = "http://[127.0.0.1/f.bin", .end = Failed,
     .reason = "URL using bad/illegal format"},
    {.name = "self-signed TLS stops", .tls = UnknownAuthority, .end = Failed, .reason = "SSL"},
    {.name = "TLS for another host stops", .tls = OtherHost, .end = Failed, .reason = "SSL"},
    {.name = "TLS from a trusted authority", .tls = Trusted},
    {.name = "redirect loop", .query = "?redirect=loop", .end = WaitingToRetry,
     .reason = "Number of redirects hit maximum amount"},
    {.name = "redirect to file:// stops", .query = "?redirect=file", .end = Failed, .reason = "Unsupported protocol"},
    // Answers
    {.name = "204 stops", .query = "?status=204", .end = Failed, .reason = "The server answered 204 No Content."},
    {.name = "401 stops", .query = "?status=401", .end = Failed, .reason = "The server answered 401 Unauthorized."},
    {.name = "403 stops", .query = "?status=403", .end = Failed, .reason = "The server answered 403 Forbidden."},
    {.name = "410 stops", .query = "?status=410", .end = Failed, .reason = "The server answered 410 Gone."},
    {.name = "416 to a fresh request speaks of no existing file", .query = "?status=416", .end = WaitingToRetry,
     .reason = "The server answered 416"},
    {.name = "wrong Content-Range keeps the partial file", .query = "?crstart=4096", .existing = 100000,
     .end = WaitingToRetry, .reason = "The server sent bytes from offset 4096; they were asked from 100000."},
    {.name = "a shorter range than asked is taken and the rest fetched", .query = "?rangemax=40960", .existing = 100000,
     .then = RetryUntilDone, .end = WaitingToRetry, .range = "bytes=181920-"},
    {.name = "200 to a range without room for the whole answer keeps the partial file", .query = "?norange=1",
     .existing = 100000, .freeSpace = kSize - 100001, .end = WaitingToRetry, .reason = "more are needed, the disk has"},
    {.name = "unannounced size is not called verified", .query = "?nolength=1&drop=70000", .reason = "not verified",
     .file = Prefix},
    {.name = "changed file answers 200 to its If-Range", .once = R"({"drop": 70000})",
     .then = ChangeServedFileAndStartAgain, .end = WaitingToRetry, .pinned = true},
    {.name = "weak ETag: the resume is pinned by Last-Modified", .query = "?etag=weak", .once = R"({"drop": 70000})",
     .then = RetryUntilDone, .end = WaitingToRetry, .pinned = true},
    {.name = "a Digest of other bytes stops", .query = "?digest=wrong-legacy", .end = Failed,
     .reason = "sent other data than it describes.", .file = Whole},
    {.name = "a digest of other bytes stops, the file kept", .query = "?digest=wrong", .end = Failed,
     .reason = "sent other data than it describes.", .file = Whole},
    // Descriptor downloads
    {.name = "descriptor without servers is refused", .start = DescriptorWithoutServers, .end = Idle,
     .reason = "names no server"},
    {.name = "descriptor: server sends no size", .query = "?nolength=1", .start = Descriptor, .end = Failed,
     .reason = "did not announce the file's size"},
    {.name = "descriptor: the short last block is checked in flight", .once = R"({"corrupt": 199999})",
     .start = Descriptor, .then = RetryUntilDone, .end = WaitingToRetry, .reason = "The block at byte 196608"},
    {.name = "descriptor: the offset in the URL as well", .query = "?id=7", .start = Descriptor, .existing = 16384,
     .range = "bytes=16384-", .startParam = true},
    {.name = "descriptor: 416 to a resume is retried", .query = "?status=416", .start = Descriptor, .existing = 8192,
     .end = WaitingToRetry, .reason = "The server answered 416"},
    {.name = "descriptor: a resume mid-block needs exactly the missing bytes", .start = Descriptor, .existing = 150000,
     .freeSpace = kSize - 150000},
    {.name = "descriptor: one byte less waits for space", .start = Descriptor, .existing = 150000,
     .freeSpace = kSize - 150001, .end = WaitingToRetry, .reason = "more are needed"},
    // The disk
    {.name = "2 TiB announced, waits for space before writing", .query = "?length=2199023255552", .end = WaitingToRetry,
     .reason = "more are needed"},
    {.name = "a URL resume needs exactly the missing bytes", .existing = 100000, .freeSpace = kSize - 100000},
    {.name = "missing destination folder stops", .where = MissingFolder, .end = Failed,
     .reason = "No such file or directory"},
    {.name = "full disk is retried", .query = "?nolength=1", .where = SmallDisk, .end = WaitingToRetry,
     .reason = "No space left on device", .file = Prefix},
    {.name = "destination deleted during the download", .query = "?trickle=400000", .during = DeleteFile, .end = Failed,
     .reason = "deleted while it was being written"},
    {.name = "destination made read-only during the download", .query = "?trickle=400000", .during = MakeFileReadOnly,
     .end = Failed, .reason = "Operation not permitted", .file = Prefix},
};

TEST(FaultTable, EveryFaultEndsVisiblyAndKeepsTheFile)
{
    QTemporaryDir root;
    const QByteArray content = writeRandomFile(root.filePath("f.bin"), kSize, 77);
    TestCertificates certificates;
    TestServer plain(root.path()), tls(root.path(), certificates.serverCert(), certificates.serverKey()),
        otherHost(root.path(), certificates.wrongHostCert(), certificates.wrongHostKey());
    ASSERT_TRUE(plain.isRunning() && tls.isRunning() && otherHost.isRunning())
        << (tls.errorString() + certificates.errorString()).toStdString();
    for (const FaultRow &row : kRows) {
        SCOPED_TRACE(row.name);
        writeRandomFile(root.filePath("f.bin"), kSize, 77);
        row.tls >= Tls::OtherHost ? qputenv("ORVANTA_CA_BUNDLE", certificates.caBundle().toLocal8Bit())
                                  : qunsetenv("ORVANTA_CA_BUNDLE");
        FaultRun run(row, row.tls == Tls::None ? plain : row.tls == Tls::OtherHost ? otherHost : tls, content, root.path());
        if (const QString skipped = run.play(); !skipped.isEmpty())
            std::cout << "[ skipped ] " << row.name << ": " << skipped.toStdString() << std::endl;
        EXPECT_TRUE(run.failures.isEmpty()) << run.failures.join("; ").toStdString();
    }
    qunsetenv("ORVANTA_CA_BUNDLE");
}

// Three servers at once (test servers on their own ports): one whose answer
// does not fit the descriptor's size is dropped like the two without the
// file, and once every one is dropped the download fails rather than waits.
TEST(FaultTable, EveryServerAtOnceDroppedFailsTheDownload)
{
    QTemporaryDir root;
    const QByteArray content = writeRandomFile(root.filePath("f.bin"), kSize, 77);
    TestServer servers[3] = {TestServer(root.path()), TestServer(root.path()), TestServer(root.path())};
    const char *const faults[3] = {"?status=404", "?length=100000", "?status=403"};
    QStringList named;
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(servers[i].isRunning()) << servers[i].errorString().toStdString();
        named << QStringLiteral("S%1|%2").arg(i).arg(servers[i].url(QStringLiteral("/f.bin") + faults[i]));
    }
    AppHarnessOn<CurlHttpClient> h;
    h.engine.setRetryDelay(std::chrono::hours(1));
    h.engine.setClientFactory([] { return std::make_unique<CurlHttpClient>(); });
    h.dialogs.chooseFile(writeDescriptorFor(h, named, content));
    h.dialogs.chooseFile(h.path("out.bin"));
    h.dialogs.serverAnswers = {0};
    h.dialogs.allServersAnswers = {true};
    h.controller.loadDescriptor();
    runUntil([&] { return h.engine.state() == Failed; }, 20000);
    EXPECT_EQ(h.engine.state(), Failed);
    EXPECT_TRUE(h.log.text().contains("S1 is dropped for this download. Reason: The server announces 100000 bytes"))
        << h.log.text().toStdString();
    EXPECT_TRUE(h.log.text().contains("Every server failed.")) << h.log.text().toStdString();
    EXPECT_GE(servers[0].requests().size() + servers[1].requests().size() + servers[2].requests().size(), 3);  // all were asked
}

}  // namespace
