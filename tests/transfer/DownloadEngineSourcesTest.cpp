// The engine fetching from several scripted servers at once, where the
// recorded all_servers_* sessions do not reach: a sparse file's free space,
// an empty file, and the whole file's hash after a forged block.
#include <support/EngineSettle.h>
#include <support/FakeMirrors.h>

#include <descriptor/DescriptorBytes.h>
#include <descriptor/DescriptorTrailer.h>
#include <transfer/DownloadEngine.h>

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

using namespace descriptortest;
using S = DownloadEngine::State;
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
        mirrors.answer = [this](const HttpRequest &r, int) { return FakeMirrors::serve(whole, r); };
        QObject::connect(&engine, &DownloadEngine::logLine, [this](const QString &line) { log << line; });
    }
    bool logged(const QString &part) const
    {
        return std::any_of(log.begin(), log.end(), [&](const QString &l) { return l.contains(part); });
    }
};

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
    mirrors.answer = [&](const HttpRequest &r, int) {
        return FakeMirrors::serve(r.url == kUrls[2] ? forgedBlock(whole, 299 * 4096) : whole, r);
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

} // namespace
