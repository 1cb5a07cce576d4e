// Every fault a user can meet, one row each, played through the window's
// commands, the engine and the real libcurl client against the project's
// scriptable server on loopback. Each row checks the state the window is
// left in, the reason it shows (and logs), and the file on disk.
#include <app/AppHarness.h>
#include <support/TestServer.h>

#include <descriptor/DescriptorWriter.h>
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
enum class Where { Folder, MissingFolder, ReadOnlyFolder, SmallDisk };
enum class During { Nothing, DeleteFile, MakeFileReadOnly };
enum class Then { Nothing, RetryUntilDone, ChangeServedFileAndStartAgain };
enum class Ends { Whole, Prefix, Absent };  // Prefix: every byte that was on disk is still there
enum class Tls { None, UnknownAuthority, OtherHost, Trusted };  // the test authority is trusted for the last two

struct FaultRow {
    const char *name;
    const char *query = "";  // faults of every request ("?status=404")
    const char *once = "";   // faults of the first request only, as JSON ({"drop": 70000})
    Start start = Start::Url;
    qint64 existing = 0;     // bytes of the served file on disk before
    qint64 damagedAt = -1;   // ... with this byte flipped
    Where where = Where::Folder;
    During during = During::Nothing;
    Then then = Then::Nothing;
    qint64 freeSpace = -1;   // -1: the real query; -2: cannot tell
    Tls tls = Tls::None;
    const char *address = "";  // instead of the server's
    State end = State::Completed;
    const char *reason = "";  // in the status line or the reason shown after the first attempt
    Ends file = Ends::Whole;
    const char *range = "";   // Range of the last request, when it matters
    bool pinned = false;      // the last request carried a strong If-Range
    bool startParam = false;  // the descriptor wants the offset in the URL too
    bool logged = true;       // the reason is in the log as well
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

void writeTo(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(bytes);
}

struct FaultRun {
    const FaultRow &row;
    TestServer &server;
    QByteArray expected;
    QString root;
    AppHarnessOn<CurlHttpClient> h;
    QString folder = h.path(row.where == Where::MissingFolder ? "missing" : "out"), destination = folder + "/out.bin";
    QString url;
    bool mounted = false;
    QStringList failures;

    FaultRun(const FaultRow &row, TestServer &server, const QByteArray &content, const QString &root)
        : row(row), server(server), expected(content), root(root) {}
    ~FaultRun()
    {
        setImmutable(folder, false);
        setImmutable(destination, false);
        if (mounted)
            ::umount2(QFile::encodeName(folder).constData(), MNT_DETACH);
    }
    void check(bool ok, const QString &what)
    {
        if (!ok)
            failures << what;
    }

    // Empty when the row ran; otherwise why it could not run here.
    QString play()
    {
        if (const QString missing = prepare(); !missing.isEmpty())
            return missing;
        begin();
        settle();
        check(h.engine.state() == row.end, QStringLiteral("ends in state %1").arg(int(h.engine.state())));
        const QString reason = h.model.text(MainWindowModel::Label::Reason);
        const QString shown = h.model.text(MainWindowModel::Label::Status) + '|' + reason;
        check(shown.contains(QLatin1String(row.reason)) && (!row.logged || h.log.text().contains(reason)),
              "shows \"" + shown + '"');
        check(row.end != State::Failed || (!h.model.pauseButtonEnabled() && h.model.loadDescriptorEnabled()),
              "leaves the start commands enabled");
        afterwards();
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
            if (row.during != During::Nothing && !std::exchange(acted, true))
                row.during == During::DeleteFile ? void(QFile::remove(destination)) : void(setImmutable(destination, true));
        });
        if (row.where != Where::MissingFolder)
            QDir().mkpath(folder);
        if (row.where == Where::SmallDisk
            && !(mounted = ::mount("tmpfs", QFile::encodeName(folder).constData(), "tmpfs", 0, "size=64k") == 0))
            return "mounting a small filesystem needs root";
        QByteArray local = expected.left(row.existing);
        if (row.damagedAt >= 0)
            local[row.damagedAt] = char(local[row.damagedAt] ^ 0x5a);
        if (row.existing)
            writeTo(destination, local);
        if (row.where == Where::ReadOnlyFolder && !setImmutable(folder, true))
            return "making a folder read-only for root needs the immutable flag";
        if (row.during == During::MakeFileReadOnly && !(setImmutable(folder, true) && setImmutable(folder, false)))
            return "the immutable flag is not available";
        if (*row.once)
            server.setScript({QJsonDocument::fromJson(row.once).object()});
        url = *row.address ? QString::fromLatin1(row.address) : server.url(QStringLiteral("/f.bin") + row.query);
        return {};
    }

    void begin()
    {
        if (row.start == Start::Url)
            return startUrl();
        DescriptorHeader record;
        record.version = 1.2f;
        record.fileName = QStringLiteral("f.bin");
        record.startParam = row.startParam ? -1 : 0;
        record.servers[0] = row.start == Start::Descriptor ? url : QString();
        writeTo(h.path("d.ddf"), buildDescriptor(record, expected).value());
        h.dialogs.chooseFile(h.path("d.ddf"));
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
    void settle()
    {
        runUntil([&] { return !h.engine.isBusy() && h.engine.state() != State::Resuming; }, 30000);
    }

    void afterwards()
    {
        if (row.then == Then::ChangeServedFileAndStartAgain) {
            expected = writeRandomFile(root + "/f.bin", kSize, 99);  // a new version, a new ETag
            startUrl();
            settle();
        }
        h.engine.setRetryDelay(std::chrono::milliseconds(0));
        for (int i = 0; i < 5 && row.then != Then::Nothing && h.engine.state() == State::WaitingToRetry; ++i) {
            runUntil([&] { return h.engine.state() != State::WaitingToRetry; });
            settle();
        }
        check(row.then == Then::Nothing || h.engine.state() == State::Completed,
              QStringLiteral("completes in the end, not in state %1").arg(int(h.engine.state())));
        const TestServer::Request last = server.requests().value(server.requests().size() - 1);
        check(!*row.range || last.range == QLatin1String(row.range), "asks for the range " + last.range);
        check(!row.startParam || last.target.endsWith("&start=" + last.range.mid(6).chopped(1)), "asks " + last.target);
        check(!row.pinned || (!last.ifRange.isEmpty() && !last.ifRange.startsWith("W/")), "pins with " + last.ifRange);
    }

    void checkFile()
    {
        setImmutable(destination, false);
        QFile file(destination);
        const bool present = file.open(QIODevice::ReadOnly);
        const QByteArray bytes = present ? file.readAll() : QByteArray();
        const QByteArray before = row.damagedAt < 0 ? expected.left(row.existing) : QByteArray();
        const QString size = QString::number(bytes.size());
        switch (row.file) {
        case Ends::Whole:
            return check(bytes == expected, "leaves the whole file, not " + size + " bytes");
        case Ends::Prefix:
            return check(present && expected.startsWith(bytes) && bytes.startsWith(before),
                         "keeps what was on disk and adds only good bytes (" + size + " bytes)");
        case Ends::Absent:
            return check(!present, "leaves no file, not " + size + " bytes");
        }
    }
};

const FaultRow kRows[] = {
    // Connections
    {.name = "refused connection", .address = "http://127.0.0.1:1/f.bin", .end = State::WaitingToRetry,
     .reason = "Couldn't connect to server", .file = Ends::Absent},
    {.name = "malformed URL stops", .address = "http://[127.0.0.1/f.bin", .end = State::Failed,
     .reason = "URL using bad/illegal format", .file = Ends::Absent},
    {.name = "no answer at all is retried", .query = "?hang=1", .end = State::WaitingToRetry,
     .reason = "Timeout was reached", .file = Ends::Absent},
    {.name = "drop mid-body, then resumed", .once = R"({"drop": 70000})", .then = Then::RetryUntilDone,
     .end = State::WaitingToRetry, .reason = "Transferred a partial file"},
    {.name = "stall, then resumed", .once = R"({"stall": 70000})", .then = Then::RetryUntilDone,
     .end = State::WaitingToRetry, .reason = "Timeout was reached"},
    {.name = "trickle is slow, not broken", .query = "?trickle=400000"},
    {.name = "self-signed TLS stops", .tls = Tls::UnknownAuthority, .end = State::Failed, .reason = "SSL",
     .file = Ends::Absent},
    {.name = "TLS for another host stops", .tls = Tls::OtherHost, .end = State::Failed, .reason = "SSL",
     .file = Ends::Absent},
    {.name = "TLS from a trusted authority", .tls = Tls::Trusted},
    {.name = "redirect is followed", .query = "?redirect=1"},
    {.name = "redirect loop", .query = "?redirect=loop", .end = State::WaitingToRetry,
     .reason = "Number of redirects hit maximum amount", .file = Ends::Absent},
    {.name = "redirect to file:// stops", .query = "?redirect=file", .end = State::Failed,
     .reason = "Unsupported protocol", .file = Ends::Absent},
    // Answers
    {.name = "204 stops", .query = "?status=204", .end = State::Failed, .reason = "The server answered 204 No Content.",
     .file = Ends::Absent},
    {.name = "401 stops", .query = "?status=401", .end = State::Failed, .reason = "The server answered 401 Unauthorized.",
     .file = Ends::Absent},
    {.name = "404 stops with the window usable", .query = "?status=404", .end = State::Failed,
     .reason = "The server answered 404 Not Found.", .file = Ends::Absent},
    {.name = "416 to a complete file", .existing = kSize, .end = State::Failed, .reason = "The server answered 416"},
    {.name = "503 is retried", .query = "?status=503", .end = State::WaitingToRetry,
     .reason = "The server answered 503 Service Unavailable.", .file = Ends::Absent},
    {.name = "wrong Content-Range keeps the partial file", .query = "?crstart=4096", .existing = 100000,
     .end = State::WaitingToRetry, .reason = "The server sent bytes from offset 4096; they were asked from 100000.",
     .file = Ends::Prefix},
    {.name = "200 to a range starts again", .query = "?norange=1", .existing = 100000, .range = "bytes=100000-"},
    {.name = "unannounced size is not called verified", .query = "?nolength=1&drop=70000", .reason = "not verified",
     .file = Ends::Prefix},
    {.name = "changed file answers 200 to its If-Range", .once = R"({"drop": 70000})",
     .then = Then::ChangeServedFileAndStartAgain, .end = State::WaitingToRetry, .pinned = true},
    {.name = "weak ETag: the resume is pinned by Last-Modified", .query = "?etag=weak", .once = R"({"drop": 70000})",
     .then = Then::RetryUntilDone, .end = State::WaitingToRetry, .pinned = true},
    // Descriptor downloads
    {.name = "descriptor without servers is refused", .start = Start::DescriptorWithoutServers, .end = State::Idle,
     .reason = "names no server", .file = Ends::Absent, .logged = false},
    {.name = "descriptor: server sends no size", .query = "?nolength=1", .start = Start::Descriptor,
     .end = State::Failed, .reason = "did not announce the file's size", .file = Ends::Absent},
    {.name = "descriptor: body longer than announced", .query = "?length=100000", .start = Start::Descriptor,
     .existing = 8192, .end = State::Failed, .reason = "gives the file 108192 bytes; the descriptor gives 200000",
     .file = Ends::Prefix},
    {.name = "descriptor: block corrupted in flight", .once = R"({"corrupt": 50000})", .start = Start::Descriptor,
     .then = Then::RetryUntilDone, .end = State::WaitingToRetry, .reason = "The block at byte 49152"},
    {.name = "descriptor: a repair asks for one block", .start = Start::Descriptor, .existing = kSize,
     .damagedAt = 12287, .end = State::Verified, .range = "bytes=8192-12287"},
    {.name = "descriptor: the offset in the URL as well", .query = "?id=7", .start = Start::Descriptor,
     .existing = 16384, .range = "bytes=16384-", .startParam = true},
    {.name = "descriptor: 416 to a resume is retried", .query = "?status=416", .start = Start::Descriptor,
     .existing = 8192, .end = State::WaitingToRetry, .reason = "The server answered 416", .file = Ends::Prefix},
    {.name = "descriptor: a resume mid-block needs exactly the missing bytes", .start = Start::Descriptor,
     .existing = 150000, .freeSpace = kSize - 150000},
    {.name = "descriptor: one byte less is refused", .start = Start::Descriptor, .existing = 150000,
     .freeSpace = kSize - 150001, .end = State::Failed, .reason = "more are needed", .file = Ends::Prefix},
    {.name = "descriptor: a complete file needs no space", .start = Start::Descriptor, .existing = kSize,
     .freeSpace = 0, .end = State::Verified},
    {.name = "descriptor: unknown free space never refuses", .start = Start::Descriptor, .freeSpace = -2},
    // The disk
    {.name = "2 TiB announced, refused before writing", .query = "?length=2199023255552", .end = State::Failed,
     .reason = "more are needed", .file = Ends::Absent},
    {.name = "a URL resume needs exactly the missing bytes", .existing = 100000, .freeSpace = kSize - 100000},
    {.name = "missing destination folder stops", .where = Where::MissingFolder, .end = State::Failed,
     .reason = "No such file or directory", .file = Ends::Absent},
    {.name = "read-only destination folder stops", .where = Where::ReadOnlyFolder, .end = State::Failed,
     .reason = "Operation not permitted", .file = Ends::Absent},
    {.name = "full disk is retried", .query = "?nolength=1", .where = Where::SmallDisk, .end = State::WaitingToRetry,
     .reason = "No space left on device", .file = Ends::Prefix},
    {.name = "destination deleted during the download", .query = "?trickle=400000", .during = During::DeleteFile,
     .end = State::Failed, .reason = "deleted while it was being written", .file = Ends::Absent},
    {.name = "destination made read-only during the download", .query = "?trickle=400000",
     .during = During::MakeFileReadOnly, .end = State::Failed, .reason = "Operation not permitted", .file = Ends::Prefix},
};

TEST(FaultTable, EveryFaultEndsVisiblyAndKeepsTheFile)
{
    QTemporaryDir root;
    const QByteArray content = writeRandomFile(root.filePath("f.bin"), kSize, 77);
    TestCertificates certificates;
    TestServer plain(root.path()), tls(root.path(), {certificates.serverCert(), certificates.serverKey()}),
        otherHost(root.path(), {certificates.wrongHostCert(), certificates.wrongHostKey()});
    ASSERT_TRUE(plain.isRunning() && tls.isRunning() && otherHost.isRunning()) << tls.errorString().toStdString();
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

}  // namespace
