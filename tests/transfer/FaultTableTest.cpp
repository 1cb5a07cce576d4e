// Every fault a user can meet, one row each, played through the window's
// commands, the engine and the real libcurl client against the project's
// scriptable server on loopback. Each row checks the state the window is
// left in, the reason it shows (and logs), and the file on disk.
#include <app/AppHarness.h>
#include <support/TestServer.h>

#include <descriptor/DescriptorBytes.h>
#include <transfer/CurlHttpClient.h>

#include <QElapsedTimer>
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
enum class Where { Folder, MissingFolder, ReadOnlyFolder, SmallDisk };
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
    qint64 damagedAt = -1;   // ... with this byte flipped
    Where where = Where::Folder;
    During during = During::Untouched;
    Then then = Then::Stop;
    qint64 freeSpace = -1;   // -1: the real query; -2: cannot tell
    Tls tls = Tls::None;
    const char *address = "";  // instead of the server's
    State end = State::Completed;
    const char *reason = "";  // in the status line or the reason shown after the first attempt
    Ends file = Ends::AsTheEndSays;  // whole once complete, else what was on disk
    const char *range = "";   // Range of the last request, when it matters
    bool pinned = false;      // the last request carried a strong If-Range
    bool startParam = false;  // the descriptor wants the offset in the URL too
};

// Even root cannot write an immutable file or create in an immutable folder,
// also through a descriptor opened before.
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
        check(row.end != Failed || (!h.model.pauseButtonEnabled() && h.model.loadDescriptorEnabled()),
              "leaves the start commands enabled");
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
            h.engine.setFreeSpaceQuery([free = row.freeSpace](const QString &) {
                return free < 0 ? std::nullopt : std::optional<qint64>(free);
            });
        QObject::connect(&h.engine, &DownloadEngine::progressed, [this, acted = false](const TransferProgress &) mutable {
            if (row.during != Untouched && !std::exchange(acted, true))
                row.during == DeleteFile ? void(QFile::remove(destination)) : void(setImmutable(destination, true));
        });
        if (row.where != MissingFolder)
            QDir().mkpath(folder);
        if (row.where == SmallDisk
            && !(mounted = ::mount("tmpfs", QFile::encodeName(folder).constData(), "tmpfs", 0, "size=64k") == 0))
            return "mounting a small filesystem needs root";
        QByteArray local = expected.left(row.existing);
        if (row.damagedAt >= 0)
            local[row.damagedAt] = char(local[row.damagedAt] ^ 0x5a);
        if (row.existing)
            descriptortest::writeFile(destination, local);
        if (row.where == ReadOnlyFolder && !setImmutable(folder, true))
            return "making a folder read-only for root needs the immutable flag";
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
        const QByteArray before = row.damagedAt < 0 ? expected.left(row.existing) : QByteArray();
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
    {.name = "refused connection", .address = "http://127.0.0.1:1/f.bin", .end = WaitingToRetry,
     .reason = "Couldn't connect to server"},
    {.name = "malformed URL stops", .address = "http://[127.0.0.1/f.bin", .end = Failed,
     .reason = "URL using bad/illegal format"},
    {.name = "no answer at all is retried", .query = "?hang=1", .end = WaitingToRetry, .reason = "Timeout was reached"},
    {.name = "trickle is slow, not broken", .query = "?trickle=400000"},
    {.name = "self-signed TLS stops", .tls = UnknownAuthority, .end = Failed, .reason = "SSL"},
    {.name = "TLS for another host stops", .tls = OtherHost, .end = Failed, .reason = "SSL"},
    {.name = "TLS from a trusted authority", .tls = Trusted},
    {.name = "redirect is followed", .query = "?redirect=1"},
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
    {.name = "503 is retried", .query = "?status=503", .end = WaitingToRetry,
     .reason = "The server answered 503 Service Unavailable."},
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
    {.name = "a published Repr-Digest is checked", .query = "?digest=repr"},
    {.name = "a published Digest is checked", .query = "?digest=legacy"},
    {.name = "a Digest of other bytes stops", .query = "?digest=wrong-legacy", .end = Failed,
     .reason = "sent other data than it describes.", .file = Whole},
    {.name = "a digest of other bytes stops, the file kept", .query = "?digest=wrong", .end = Failed,
     .reason = "sent other data than it describes.", .file = Whole},
    // Descriptor downloads
    {.name = "descriptor without servers is refused", .start = DescriptorWithoutServers, .end = Idle,
     .reason = "names no server"},
    {.name = "descriptor: server sends no size", .query = "?nolength=1", .start = Descriptor, .end = Failed,
     .reason = "did not announce the file's size"},
    {.name = "descriptor: body longer than announced", .query = "?length=100000", .start = Descriptor, .end = Failed,
     .reason = "gives the file 100000 bytes; the descriptor gives 200000"},
    {.name = "descriptor: block corrupted in flight", .once = R"({"corrupt": 50000})", .start = Descriptor,
     .then = RetryUntilDone, .end = WaitingToRetry, .reason = "The block at byte 49152"},
    {.name = "descriptor: the short last block is checked in flight", .once = R"({"corrupt": 199999})",
     .start = Descriptor, .then = RetryUntilDone, .end = WaitingToRetry, .reason = "The block at byte 196608"},
    {.name = "descriptor: a repair asks for one block", .start = Descriptor, .existing = kSize, .damagedAt = 12287,
     .end = Verified, .range = "bytes=8192-12287"},
    {.name = "descriptor: a shorter range than asked is taken and the rest fetched", .query = "?rangemax=40960",
     .start = Descriptor, .existing = 100000, .then = RetryUntilDone, .end = WaitingToRetry, .range = "bytes=184320-"},
    {.name = "descriptor: the offset in the URL as well", .query = "?id=7", .start = Descriptor, .existing = 16384,
     .range = "bytes=16384-", .startParam = true},
    {.name = "descriptor: 416 to a resume is retried", .query = "?status=416", .start = Descriptor, .existing = 8192,
     .end = WaitingToRetry, .reason = "The server answered 416"},
    {.name = "descriptor: a resume mid-block needs exactly the missing bytes", .start = Descriptor, .existing = 150000,
     .freeSpace = kSize - 150000},
    {.name = "descriptor: one byte less waits for space", .start = Descriptor, .existing = 150000,
     .freeSpace = kSize - 150001, .end = WaitingToRetry, .reason = "more are needed"},
    {.name = "descriptor: a complete file needs no space", .start = Descriptor, .existing = kSize, .freeSpace = 0,
     .end = Verified},
    {.name = "descriptor: unknown free space never refuses", .start = Descriptor, .freeSpace = -2},
    // The disk
    {.name = "2 TiB announced, waits for space before writing", .query = "?length=2199023255552", .end = WaitingToRetry,
     .reason = "more are needed"},
    {.name = "a URL resume needs exactly the missing bytes", .existing = 100000, .freeSpace = kSize - 100000},
    {.name = "missing destination folder stops", .where = MissingFolder, .end = Failed,
     .reason = "No such file or directory"},
    {.name = "read-only destination folder stops", .where = ReadOnlyFolder, .end = Failed,
     .reason = "Operation not permitted"},
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
        const QString skipped = run.play();
        EXPECT_TRUE(run.failures.isEmpty()) << run.failures.join("; ").toStdString();
        std::cout << "[ fault ] " << row.name << ": "
                  << (skipped.isEmpty() ? (run.failures.isEmpty() ? "ok" : "FAILED") : "skipped, " + skipped.toStdString())
                  << std::endl;
    }
    qunsetenv("ORVANTA_CA_BUNDLE");
}

// Downloads from three servers at once (three test servers on their own
// ports), one of them misbehaving as the row says; the others carry the
// file, or the download fails only when every one has.
struct AllServersRow {
    const char *name;
    std::array<const char *, 3> query = {"", "", ""};  // faults of every request to each server
    std::array<const char *, 3> once = {"", "", ""};   // faults of its first request, as JSON
    State end = Completed;
    const char *logged = "";                           // a line of the log holds this
    double withinSeconds = 10;
};

const AllServersRow kAllServersRows[] = {
    {.name = "a server without the file is dropped", .query = {"", "?status=404", ""},
     .logged = "Second is dropped for this download. Reason: The server answered 404 Not Found."},
    {.name = "a server dying mid-way waits, the others go on", .once = {"", R"({"drop": 20000})", ""},
     .logged = "Second failed: Error 18: Transferred a partial file"},
    {.name = "a corrupted block is fetched again from another server", .once = {"", "", R"({"corrupt": 139300})"},
     .logged = "Third sent bytes 139264-143359 with a CRC error; it is fetched again from another server."},
    {.name = "a server of another size is dropped", .query = {"", "?length=100000", ""},
     .logged = "does not fit the descriptor"},
    {.name = "a slow server's end is taken over", .query = {"", "?trickle=8000", ""}, .logged = "from Second.",
     .withinSeconds = 3},
    {.name = "only when every server fails does the download", .query = {"?status=404", "?status=410", "?status=403"},
     .end = Failed, .logged = "Every server failed."},
};

TEST(FaultTable, EveryServerAtOnce)
{
    QTemporaryDir root;
    const QByteArray content = writeRandomFile(root.filePath("f.bin"), kSize, 77);
    TestServer servers[3] = {TestServer(root.path()), TestServer(root.path()), TestServer(root.path())};
    for (const TestServer &server : servers)
        ASSERT_TRUE(server.isRunning()) << server.errorString().toStdString();
    const char *const names[3] = {"First", "Second", "Third"};
    const auto askedSoFar = [&] { return servers[0].requests().size() + servers[1].requests().size() + servers[2].requests().size(); };
    for (const AllServersRow &row : kAllServersRows) {
        SCOPED_TRACE(row.name);
        AppHarnessOn<CurlHttpClient> h;
        h.engine.setRetryDelay(std::chrono::hours(1));
        h.engine.setClientFactory([] {
            auto client = std::make_unique<CurlHttpClient>();
            client->setStallSeconds(2);
            return client;
        });
        QStringList named;
        for (int i = 0; i < 3; ++i) {
            servers[i].setScript(*row.once[i] ? QJsonArray{QJsonDocument::fromJson(row.once[i]).object()} : QJsonArray{});
            named << QStringLiteral("%1|%2").arg(names[i], servers[i].url(QStringLiteral("/f.bin") + row.query[i]));
        }
        const qsizetype asked = askedSoFar();
        h.dialogs.chooseFile(writeDescriptorFor(h, named, content));
        h.dialogs.chooseFile(h.path("out.bin"));
        h.dialogs.serverAnswers = {0};
        h.dialogs.allServersAnswers = {true};
        QElapsedTimer timer;
        timer.start();
        h.controller.loadDescriptor();
        runUntil([&] { return h.engine.state() == row.end; }, 20000);
        EXPECT_EQ(h.engine.state(), row.end);
        EXPECT_LT(timer.elapsed(), row.withinSeconds * 1000);
        EXPECT_TRUE(h.log.text().contains(QLatin1String(row.logged))) << h.log.text().toStdString();
        QFile file(h.path("out.bin"));
        EXPECT_TRUE(row.end != Completed || (file.open(QIODevice::ReadOnly) && file.readAll() == content));
        EXPECT_GE(askedSoFar() - asked, 3);  // every server with work was asked
        std::cout << "[ fault ] all servers: " << row.name << std::endl;
    }
}

}  // namespace
