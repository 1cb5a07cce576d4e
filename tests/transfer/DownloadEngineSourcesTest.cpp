// The engine fetching from several scripted servers at once: what reaches
// the disk, what each server is asked, and how failures of single servers
// are carried by the others.
#include <support/EngineSettle.h>
#include <support/FakeMirrors.h>

#include <descriptor/DescriptorBytes.h>
#include <descriptor/DescriptorTrailer.h>
#include <transfer/DownloadEngine.h>

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <sys/xattr.h>

namespace {

using namespace descriptortest;
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
    // Per server: how request k to it is answered (default: plainly).
    std::map<QString, std::function<Reply(const HttpRequest &, int)>> rules;

    void SetUp() override
    {
        whole = randomBytes(kSize, 1);
        DescriptorHeader record;
        record.version = 1.2f;
        for (int i = 0; i < kUrls.size(); ++i)
            record.servers[size_t(i)] = QStringLiteral("S%1|%2").arg(i).arg(kUrls[i]);
        const QByteArray ddf = buildDescriptor(record, whole).value();
        ASSERT_TRUE(writeFile(job.descriptorPath = dir.filePath("f.ddf"), ddf));
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

// One server misbehaving in a way of its own is dropped, and stays dropped
// over a pause and resume (the same download); the others finish the file.
// (The recorded sessions and the fault table play the commoner faults.)
struct Misbehaviour {
    const char *name;
    std::function<Reply(const QByteArray &whole, const HttpRequest &r)> reply;
    const char *logged;   // the start of the reason it is dropped for
    int asked;            // requests it gets in all (0: not counted)
};
void PrintTo(const Misbehaviour &m, std::ostream *os) { *os << m.name; }

class OneServerFails : public SourcesTest, public testing::WithParamInterface<Misbehaviour> {};

TEST_P(OneServerFails, TheOthersFinishTheFile)
{
    const Misbehaviour &m = GetParam();
    rules[kUrls[1]] = [&](const HttpRequest &r, int) { return m.reply(whole, r); };
    pauseAfter(40960);
    engine.start(job);
    ASSERT_TRUE(settle(engine, mirrors));
    ASSERT_EQ(engine.state(), S::Paused);
    engine.resume();
    ASSERT_TRUE(settle(engine, mirrors));
    EXPECT_EQ(engine.state(), S::Completed);
    EXPECT_TRUE(!m.asked || mirrors.requests.count(kUrls[1]) == m.asked) << mirrors.requests.count(kUrls[1]);
    EXPECT_TRUE(readFile(job.destination) == whole);
    EXPECT_TRUE(logged("S1 is dropped for this download. Reason: " + QString(m.logged))) << log.join('\n').toStdString();
    EXPECT_FALSE(logged("S1 failed:"));
    EXPECT_LE(mirrors.delivered(), 2 * kSize + 3 * 256 * 4096);  // no endless fetching again
}

INSTANTIATE_TEST_SUITE_P(Table, OneServerFails, testing::Values(
    Misbehaviour{"TLS failure", [](const QByteArray &, const HttpRequest &) {
                     return Reply{std::nullopt, {}, -1, {TransferError::Origin::Tls, 60, "SSL peer certificate was not OK"}};
                 }, "Error 60: SSL peer certificate was not OK.", 1},
    Misbehaviour{"ignores ranges", [](const QByteArray &w, const HttpRequest &) { return FakeHttpClient::reply(200, w); },
                 "The server does not send parts of the file", 1},
    Misbehaviour{"every block corrupted", [](const QByteArray &w, const HttpRequest &r) {
                     QByteArray bad = w;
                     for (qsizetype i = 0; i < bad.size(); i += 4096)
                         bad[i] = char(bad[i] ^ 1);
                     return FakeMirrors::serve(bad, r);
                 }, "Its blocks failed their checks 3 times.", 0}));

// A record kept with the file that no longer fits it (the first block
// changed behind its back) is thrown away and every block is checked; the
// record goes once the file is complete.
TEST_F(SourcesTest, ARecordThatDoesNotFitTheFileIsThrownAway)
{
    pauseAfter(40960);
    engine.start(job);
    ASSERT_TRUE(settle(engine, mirrors));
    ASSERT_EQ(engine.state(), S::Paused);
    engine.stop();
    mirrors.afterRun = nullptr;
    QFile f(job.destination);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite) && f.write("x") == 1);
    f.close();
    log.clear();
    const qint64 kept = mirrors.delivered();
    engine.start(job);  // a new start knows nothing of the file but its record
    ASSERT_TRUE(runUntil([&] { return engine.state() == S::Completed; }));
    EXPECT_TRUE(readFile(job.destination) == whole);
    EXPECT_TRUE(logged("The record does not fit the file: every block was checked."));
    EXPECT_EQ(mirrors.delivered() - kept, kSize - kept + 4096);  // the good blocks stay, the changed one comes again
    EXPECT_EQ(getxattr(QFile::encodeName(job.destination).constData(), "user.orvanta.blocks", nullptr, 0), -1);
}

// With SHA-256 chunks the blocks from several servers are not hashed as one
// stream: the whole file is, before "verified". A forged block (its CRC-32
// kept) from one server is never called verified: the retry, from the
// chosen server alone, checks the chunks and fetches the forged one again.
TEST_F(SourcesTest, AnExtendedDescriptorIsVerifiedByTheWholeFilesHash)
{
    const QByteArray trailer = trailerOf(whole, 64 * 1024);
    const QByteArray ddf = readFile(job.descriptorPath).left(DescriptorHeader::HeaderSize + 4 * ((kSize + 4095) / 4096));
    ASSERT_TRUE(writeFile(job.descriptorPath, ddf + trailer));
    job.strongHashes = readTrailer(job.descriptorPath, job.descriptor, ddf.size() + trailer.size()).trailer;
    ASSERT_TRUE(job.strongHashes);
    rules[kUrls[2]] = [&](const HttpRequest &r, int) {
        QByteArray bad = whole;
        bad.replace(299 * 4096, 4096, forgedBlock(whole.mid(299 * 4096, 4096)));
        return FakeMirrors::serve(bad, r);
    };
    engine.start(job);
    ASSERT_TRUE(settle(engine, mirrors));
    EXPECT_EQ(engine.state(), S::WaitingToRetry);
    EXPECT_TRUE(logged("The file's SHA-256 does not match the descriptor's."));
    http.answer = [&](const HttpRequest &r, int) { return FakeMirrors::serve(whole, r); };
    engine.setRetryDelay(std::chrono::milliseconds(0));
    ASSERT_TRUE(runUntil([&] { return engine.state() == S::Completed || engine.state() == S::Verified; }));
    EXPECT_TRUE(readFile(job.destination) == whole);
    ASSERT_EQ(http.requests.size(), 1u);  // the forged chunk alone
    EXPECT_EQ(http.requests[0].rangeStart, 299 * 4096 / (64 * 1024) * (64 * 1024));
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
        ASSERT_TRUE(settle(engine, mirrors));
        EXPECT_EQ(engine.state(), spare ? S::WaitingToRetry : S::Completed);
        EXPECT_EQ(logged("There is not enough free space on the selected disk for this file."), spare != 0);
    }
}

TEST_F(SourcesTest, AnEmptyFileIsCompleteWithoutARequest)
{
    const QByteArray ddf = buildDescriptor(job.descriptor, QByteArray()).value();
    ASSERT_TRUE(writeFile(job.descriptorPath, ddf));
    job.descriptor = DescriptorHeader::fromBytes(ddf);
    engine.start(job);
    ASSERT_TRUE(settle(engine, mirrors));
    EXPECT_EQ(engine.state(), S::Completed);
    EXPECT_TRUE(QFileInfo(job.destination).isFile() && readFile(job.destination).isEmpty());
    EXPECT_TRUE(mirrors.requests.empty());
}

// Every entry on one host: one connection only, the single-server download.
TEST_F(SourcesTest, ServersAllOnOneHostAreTheSingleServerDownload)
{
    http.answer = [&](const HttpRequest &r, int) { return FakeMirrors::serve(whole, r); };
    for (int i = 0; i < 3; ++i)
        job.descriptor.servers[size_t(i)] = QStringLiteral("S%1|http://127.0.0.1:11/f%1.bin").arg(i);
    engine.start(job);
    ASSERT_TRUE(settle(engine, mirrors));
    EXPECT_EQ(engine.state(), S::Completed);
    EXPECT_EQ(http.requests.size(), 1u);
    EXPECT_TRUE(mirrors.requests.empty());
}

} // namespace
