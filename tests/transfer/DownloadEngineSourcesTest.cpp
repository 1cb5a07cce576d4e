// The engine fetching from several scripted servers at once: what reaches
// the disk, what each server is asked, and how failures of single servers
// are carried by the others.
#include <support/EngineSettle.h>
#include <support/FakeMirrors.h>
#include <support/TestServer.h>

#include <descriptor/DescriptorBytes.h>
#include <descriptor/DescriptorTrailer.h>
#include <transfer/DownloadEngine.h>

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <sys/xattr.h>

namespace {

using S = DownloadEngine::State;
using Reply = FakeHttpClient::Reply;
const QStringList kUrls = {"http://127.0.0.1:11/f.bin", "http://127.0.0.1:12/f.bin", "http://127.0.0.1:13/f.bin"};
constexpr qint64 kSize = 300 * 4096 + 123;

class SourcesTest : public testing::Test {
protected:
    QTemporaryDir dir;
    FakeHttpClient http;  // the single-server client: never asked here
    FakeMirrors mirrors;
    DownloadEngine engine{http};
    DownloadJob job;
    QByteArray whole;
    QStringList log;
    std::vector<int> inUse;
    // Per server: how request k to it is answered (default: plainly).
    std::map<QString, std::function<Reply(const HttpRequest &, int)>> rules;

    void SetUp() override
    {
        whole = writeRandomFile(dir.filePath("served"), kSize);
        DescriptorHeader record;
        record.version = 1.2f;
        for (int i = 0; i < kUrls.size(); ++i)
            record.servers[size_t(i)] = QStringLiteral("S%1|%2").arg(i).arg(kUrls[i]);
        const QByteArray ddf = buildDescriptor(record, whole).value();
        QFile f(job.descriptorPath = dir.filePath("f.ddf"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly) && f.write(ddf) == ddf.size());
        job.mode = DownloadJob::Mode::Descriptor;
        job.descriptor = DescriptorHeader::fromBytes(ddf);
        job.sourceUrl = kUrls[0];
        job.destination = dir.filePath("out.bin");
        job.useAllServers = true;
        engine.setRetryDelay(std::chrono::hours(1));
        engine.setResumeDelay(std::chrono::milliseconds(0));
        engine.setClientFactory(mirrors.factory());
        mirrors.answer = [this](const HttpRequest &r, int k) {
            const auto rule = rules.find(r.url);
            return rule != rules.end() ? rule->second(r, k) : FakeMirrors::serve(whole, r);
        };
        QObject::connect(&engine, &DownloadEngine::logLine, [this](const QString &line) { log << line; });
        QObject::connect(&engine, &DownloadEngine::serversInUseChanged, [this](int n) { inUse.push_back(n); });
    }
    bool rest()
    {
        int quiet = 0;
        return runUntil([&] { return (quiet = !engine.isBusy() && !mirrors.active() ? quiet + 1 : 0) >= 3; });
    }
    QByteArray onDisk() const { QFile f(job.destination); return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray(); }
    void put(const QByteArray &bytes)
    {
        QFile f(job.destination);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size());
    }
    qint64 asked() const
    {
        qint64 sum = 0;
        for (const QString &url : kUrls)
            sum += mirrors.askedOf(url, kSize);
        return sum;
    }
    // Pauses once the servers together have delivered `bytes`.
    void pauseAfter(qint64 bytes)
    {
        mirrors.afterRun = [this, bytes, paused = false](const FakeHttpClient &, qint64) mutable {
            if (!paused && mirrors.delivered() >= bytes)
                paused = true, engine.pause();
        };
    }
    bool logged(const QString &part) const
    {
        return std::any_of(log.begin(), log.end(), [&](const QString &l) { return l.contains(part); });
    }
};

TEST_F(SourcesTest, EveryServerFetchesWholeBlocksAndNothingTwice)
{
    engine.start(job);
    ASSERT_TRUE(rest());
    EXPECT_EQ(engine.state(), S::Completed);
    EXPECT_TRUE(onDisk() == whole);
    EXPECT_EQ(asked(), kSize);  // no byte asked twice
    std::vector<std::pair<qint64, qint64>> ranges;
    for (const FakeMirrors::Request &r : mirrors.requests) {
        EXPECT_EQ(r.from % 4096, 0);
        EXPECT_TRUE(r.to == kSize - 1 || (r.to + 1) % 4096 == 0);
        ranges.emplace_back(r.from, r.to);
    }
    EXPECT_EQ(mirrors.requests.front().url, kUrls[0]);
    EXPECT_EQ(mirrors.requests.front().from, 0);  // the chosen server starts at the beginning
    for (const QString &url : kUrls)
        EXPECT_GT(mirrors.askedOf(url, kSize), 0) << url.toStdString();
    EXPECT_EQ(inUse, (std::vector<int>{3, 0}));
    EXPECT_TRUE(http.requests.empty());
}

// One server misbehaving in a way of its own; the others finish the file.
// (The recorded sessions and the fault table play the commoner faults.)
struct Misbehaviour {
    const char *name;
    std::function<Reply(const QByteArray &whole, const HttpRequest &r, int k)> reply;
    const char *logged;   // a line of the log contains this
    enum { Dropped, Waits, GoesOn } after;  // dropped for good, waiting to retry, or still used
};
void PrintTo(const Misbehaviour &m, std::ostream *os) { *os << m.name; }

class OneServerFails : public SourcesTest, public testing::WithParamInterface<Misbehaviour> {};

TEST_P(OneServerFails, TheOthersFinishTheFile)
{
    const Misbehaviour &m = GetParam();
    rules[kUrls[1]] = [&](const HttpRequest &r, int k) { return m.reply(whole, r, k); };
    engine.start(job);
    ASSERT_TRUE(rest());
    EXPECT_EQ(engine.state(), S::Completed);
    EXPECT_TRUE(onDisk() == whole);
    EXPECT_TRUE(logged(m.logged)) << log.join('\n').toStdString();
    EXPECT_EQ(logged("S1 is dropped for this download"), m.after == Misbehaviour::Dropped);
    EXPECT_EQ(logged("S1 failed:"), m.after == Misbehaviour::Waits);
    EXPECT_LE(asked(), kSize + 3 * 256 * 4096);  // within the file plus a few runs
}

Reply statusOnly(int status)
{
    Reply r = FakeHttpClient::reply(status, {});
    r.head->reasonPhrase = "Reason";
    return r;
}

INSTANTIATE_TEST_SUITE_P(Table, OneServerFails, testing::Values(
    Misbehaviour{"forbidden", [](const QByteArray &, const HttpRequest &, int) { return statusOnly(403); },
                 "answered 403", Misbehaviour::Dropped},
    Misbehaviour{"no answer", [](const QByteArray &, const HttpRequest &, int) { return Reply{}; },
                 "S1 failed: Error 56: Failure when receiving data from the peer.", Misbehaviour::Waits},
    Misbehaviour{"TLS failure", [](const QByteArray &, const HttpRequest &, int) {
                     return Reply{std::nullopt, {}, -1, {TransferError::Origin::Tls, 60, "SSL peer certificate was not OK"}};
                 }, "Reason: Error 60: SSL peer certificate was not OK.", Misbehaviour::Dropped},
    Misbehaviour{"ignores ranges", [](const QByteArray &w, const HttpRequest &, int) { return FakeHttpClient::reply(200, w); },
                 "does not send parts of the file", Misbehaviour::Dropped},
    Misbehaviour{"every block corrupted", [](const QByteArray &w, const HttpRequest &r, int) {
                     QByteArray bad = w;
                     for (qsizetype i = 0; i < bad.size(); i += 4096)
                         bad[i] = char(bad[i] ^ 1);
                     return FakeMirrors::serve(bad, r);
                 }, "Reason: Its blocks failed their checks 3 times.", Misbehaviour::Dropped}),
    [](const auto &info) { return std::to_string(info.index); });

// A pause keeps the map: the resume asks only for what is missing and
// does not read the file again.
TEST_F(SourcesTest, APauseAndResumeFetchesOnlyWhatIsMissing)
{
    pauseAfter(40960);
    engine.start(job);
    ASSERT_TRUE(rest());
    ASSERT_EQ(engine.state(), S::Paused);
    const qint64 before = onDisk().size();
    EXPECT_GT(before, 0);
    log.clear();
    engine.resume();
    ASSERT_TRUE(runUntil([&] { return engine.state() == S::Completed; }));
    EXPECT_TRUE(onDisk() == whole);
    EXPECT_FALSE(logged("Verifying file integrity..."));
    EXPECT_EQ(mirrors.delivered(), kSize);  // every block received was kept
}

// A server dropped for good stays dropped when the download is paused and
// resumed: it is the same download.
TEST_F(SourcesTest, ADroppedServerIsNotAskedAgainAfterAPause)
{
    rules[kUrls[1]] = [](const HttpRequest &, int) { return FakeHttpClient::reply(404, {}); };
    pauseAfter(40960);
    engine.start(job);
    ASSERT_TRUE(rest());
    ASSERT_EQ(engine.state(), S::Paused);
    engine.resume();
    ASSERT_TRUE(runUntil([&] { return engine.state() == S::Completed; }));
    EXPECT_TRUE(onDisk() == whole);
    EXPECT_EQ(std::count_if(mirrors.requests.begin(), mirrors.requests.end(), [](const auto &r) { return r.url == kUrls[1]; }), 1);
}

// What a kill leaves: a file with holes and a torn end. A new engine checks
// every block and fetches only the bad and missing ones.
TEST_F(SourcesTest, AFileWithHolesIsRepairedFromEveryServer)
{
    QByteArray holey = whole.left(250 * 4096 + 100);
    for (qint64 block : {3, 4, 5, 40, 41, 100, 249})
        holey.replace(block * 4096, 4096, QByteArray(4096, '\0'));
    put(holey);
    engine.start(job);
    ASSERT_TRUE(rest());
    EXPECT_EQ(engine.state(), S::Completed);
    EXPECT_TRUE(onDisk() == whole);
    EXPECT_TRUE(logged("CRC error in current file. Will attempt to repair..."));
    EXPECT_EQ(asked(), 7 * 4096 + (kSize - 250 * 4096));
}

// A kill leaves the record written at the last pause or every few seconds:
// a new engine trusts its runs after checking each one's first block, reads
// only the rest, and fetches only what is missing. A record that does not
// fit the file is thrown away and every block is checked.
TEST_F(SourcesTest, ANewEngineResumesFromTheRecordKeptWithTheFile)
{
    for (const bool spoilt : {false, true}) {
        SCOPED_TRACE(spoilt ? "a record that does not fit" : "a record that fits");
        QFile::remove(job.destination);
        const qint64 start = mirrors.delivered();
        pauseAfter(start + 40960);
        engine.start(job);
        ASSERT_TRUE(rest());
        ASSERT_EQ(engine.state(), S::Paused);
        engine.stop();
        mirrors.afterRun = nullptr;
        if (spoilt) {  // the first block changed behind the record's back
            QFile f(job.destination);
            ASSERT_TRUE(f.open(QIODevice::ReadWrite) && f.write("x") == 1);
        }
        FakeHttpClient http2;
        DownloadEngine restarted{http2};
        restarted.setClientFactory(mirrors.factory());
        log.clear();
        QObject::connect(&restarted, &DownloadEngine::logLine, [this](const QString &line) { log << line; });
        const qint64 before = mirrors.delivered(), kept = before - start;
        restarted.start(job);
        ASSERT_TRUE(runUntil([&] { return restarted.state() == S::Completed; }));
        EXPECT_TRUE(onDisk() == whole);
        EXPECT_TRUE(logged("The file keeps a record of its good blocks: only the rest is checked."));
        EXPECT_EQ(logged("The record does not fit the file: every block was checked."), spoilt);
        EXPECT_EQ(mirrors.delivered() - before, kSize - kept + (spoilt ? 4096 : 0));
        EXPECT_EQ(getxattr(QFile::encodeName(job.destination).constData(), "user.orvanta.blocks", nullptr, 0), -1);
    }
}

// With SHA-256 chunks the blocks from several servers are not hashed as one
// stream: the whole file is, before "verified". A forged block (its CRC-32
// kept) from one server is never called verified: the retry, from the
// chosen server alone, checks the chunks and fetches the forged one again.
TEST_F(SourcesTest, AnExtendedDescriptorIsVerifiedByTheWholeFilesHash)
{
    using namespace descriptortest;
    for (const bool forging : {false, true}) {
        SCOPED_TRACE(forging ? "one server forges a block" : "honest servers");
        QFile::remove(job.destination);
        const QByteArray trailer = trailerOf(whole, 64 * 1024);
        const QByteArray ddf = readFile(job.descriptorPath).left(DescriptorHeader::HeaderSize + 4 * ((kSize + 4095) / 4096));
        ASSERT_TRUE(writeFile(job.descriptorPath, ddf + trailer));
        job.strongHashes = readTrailer(job.descriptorPath, job.descriptor, ddf.size() + trailer.size()).trailer;
        ASSERT_TRUE(job.strongHashes);
        if (forging)
            rules[kUrls[2]] = [&](const HttpRequest &r, int) {
                QByteArray bad = whole;
                bad.replace(299 * 4096, 4096, forgedBlock(whole.mid(299 * 4096, 4096)));
                return FakeMirrors::serve(bad, r);
            };
        log.clear();
        engine.start(job);
        ASSERT_TRUE(rest());
        EXPECT_EQ(engine.state(), forging ? S::WaitingToRetry : S::Completed);
        EXPECT_EQ(logged("The file's SHA-256 does not match the descriptor's."), forging);
        EXPECT_EQ(onDisk() == whole, !forging);
        if (!forging)
            continue;
        http.answer = [&](const HttpRequest &r, int) { return FakeMirrors::serve(whole, r); };
        engine.setRetryDelay(std::chrono::milliseconds(0));
        ASSERT_TRUE(runUntil([&] { return engine.state() == S::Completed || engine.state() == S::Verified; }));
        EXPECT_TRUE(onDisk() == whole);
        ASSERT_EQ(http.requests.size(), 1u);  // the forged chunk alone
        EXPECT_EQ(http.requests[0].rangeStart, 299 * 4096 / (64 * 1024) * (64 * 1024));
    }
}

// Written out of order, the file's length says little: only the bytes
// still to come need room.
TEST_F(SourcesTest, FreeSpaceIsTheBytesStillNeeded)
{
    for (const qint64 spare : {0, -1}) {
        SCOPED_TRACE(spare ? "a byte short" : "just enough");
        QFile::remove(job.destination);
        QFile f(job.destination);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly) && f.resize(kSize));  // all holes
        ASSERT_TRUE(f.seek(4096 * 100) && f.write(whole.mid(4096 * 100, 4096 * 50)) == 4096 * 50);
        f.close();
        engine.setFreeSpaceQuery([&](const QString &) { return std::optional<qint64>(kSize - 4096 * 50 + spare); });
        engine.start(job);
        ASSERT_TRUE(rest());
        EXPECT_EQ(engine.state(), spare ? S::WaitingToRetry : S::Completed);
        EXPECT_EQ(logged("There is not enough free space on the selected disk for this file."), spare != 0);
    }
}

TEST_F(SourcesTest, AnEmptyFileIsCompleteWithoutARequest)
{
    DescriptorHeader record = job.descriptor;
    const QByteArray ddf = buildDescriptor(record, QByteArray()).value();
    ASSERT_TRUE(descriptortest::writeFile(job.descriptorPath, ddf));
    job.descriptor = DescriptorHeader::fromBytes(ddf);
    engine.start(job);
    ASSERT_TRUE(rest());
    EXPECT_EQ(engine.state(), S::Completed);
    EXPECT_TRUE(QFileInfo(job.destination).isFile() && onDisk().isEmpty());
    EXPECT_TRUE(mirrors.requests.empty());
}

TEST_F(SourcesTest, OneServerOrTheBoxOffIsTheSingleServerDownload)
{
    http.answer = [&](const HttpRequest &r, int) { return FakeMirrors::serve(whole, r); };
    for (const bool box : {false, true}) {
        SCOPED_TRACE(box ? "one host" : "box off");
        QFile::remove(job.destination);
        http.requests.clear();
        job.useAllServers = box;
        if (box)  // every entry on one host: one connection only
            for (int i = 0; i < 3; ++i)
                job.descriptor.servers[size_t(i)] = QStringLiteral("S%1|http://127.0.0.1:11/f%1.bin").arg(i);
        engine.start(job);
        ASSERT_TRUE(rest());
        EXPECT_EQ(engine.state(), S::Completed);
        EXPECT_EQ(http.requests.size(), 1u);
        EXPECT_TRUE(mirrors.requests.empty());
    }
}

} // namespace
