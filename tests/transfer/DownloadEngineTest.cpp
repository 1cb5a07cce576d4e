// The engine on a scripted client, for what neither the recorded sessions nor
// the fault table reach: the descriptor's version rule, pauses inside a check
// or a repair, offsets past 32 bits.
#include <support/EngineSettle.h>
#include <support/FakeHttpClient.h>
#include <support/TestServer.h>

#include <descriptor/DescriptorBytes.h>
#include <transfer/DownloadEngine.h>

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

using S = DownloadEngine::State;

class EngineTest : public testing::Test {
protected:
    QTemporaryDir dir;
    FakeHttpClient http;
    DownloadEngine engine{http};
    DownloadJob job;

    void SetUp() override
    {
        job.sourceUrl = "http://127.0.0.1:1/f.bin";
        job.destination = dir.filePath("out.bin");
        engine.setRetryDelay(std::chrono::hours(1));
        engine.setResumeDelay(std::chrono::milliseconds(0));
    }
    QByteArray content(qint64 size) { return writeRandomFile(dir.filePath("served"), size); }
    static QByteArray damaged(QByteArray bytes, qint64 at) { bytes[at] = char(bytes[at] ^ 0x5a); return bytes; }
    void put(const QString &path, const QByteArray &bytes)
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size());
    }
    QByteArray onDisk() const { QFile f(job.destination); return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray(); }
    void describe(const QByteArray &bytes, float version = 1.2f)
    {
        DescriptorHeader record;
        record.version = version;
        const QByteArray ddf = buildDescriptor(record, bytes).value();
        put(job.descriptorPath = dir.filePath("f.ddf"), ddf);
        job.mode = DownloadJob::Mode::Descriptor;
        job.descriptor = DescriptorHeader::fromBytes(ddf);
    }
    void serve(const QByteArray &whole)
    {
        http.answer = [=](const HttpRequest &r, int) {
            return r.rangeStart < 0 ? FakeHttpClient::reply(200, whole)
                                    : FakeHttpClient::reply(206, whole.mid(r.rangeStart), r.rangeStart, whole.size());
        };
    }
    QStringList ranges() const
    {
        QStringList out;
        for (const HttpRequest &r : http.requests)
            out << (r.rangeStart < 0 ? QStringLiteral("-") : QString::number(r.rangeStart));
        return out;
    }
};

// The fault table's descriptors are of version 1.2, whose checksums cover
// every byte.
TEST_F(EngineTest, Version11LeavesEachBlocksLastByteUnchecked)
{
    const QByteArray whole = content(20480);
    describe(whole, 1.1f);
    put(job.destination, damaged(whole, 4095));
    serve(whole);
    engine.start(job);
    EXPECT_TRUE(settle(engine, http));
    EXPECT_EQ(engine.state(), S::Verified);
    EXPECT_TRUE(http.requests.empty());
}

TEST_F(EngineTest, APausedRepairIsCarriedOutOnResumeNotDeclaredDone)
{
    const QByteArray whole = content(20480);
    describe(whole);
    put(job.destination, damaged(whole, 8192));
    serve(whole);
    bool paused = false;
    engine.start(job);
    EXPECT_TRUE(runUntil([&] {
        if (!paused && engine.state() == S::Connecting)  // the repair's request is out
            paused = (engine.pause(), true);
        return paused && !engine.isBusy();
    }));
    EXPECT_EQ(onDisk(), damaged(whole, 8192));
    engine.resume();
    EXPECT_TRUE(runUntil([&] { return engine.state() == S::Verified; }));
    EXPECT_EQ(ranges(), (QStringList{"8192", "8192"}));
    EXPECT_EQ(onDisk(), whole);
}

// A server that ignores Range rewrites the file from its start; when that
// stops early, the old bytes after the stopping point (the bad block among
// them) are unchecked, and the next attempt has to check them.
TEST_F(EngineTest, ARewriteFromTheStartCutShortIsCheckedBeforeItContinues)
{
    struct Row { const char *name; qint64 existing, damagedAt; bool pause; };
    const Row rows[] = {
        {"complete file, paused during the rewrite", 40960, 30000, true},
        {"complete file, dropped during the rewrite", 40960, 30000, false},
        {"partial file, its repair dropped during the rewrite", 24576, 16500, false},
    };
    const QByteArray whole = content(40960);
    describe(whole);
    engine.setRetryDelay(std::chrono::milliseconds(0));
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        put(job.destination, damaged(whole.left(row.existing), row.damagedAt));
        http.requests.clear();
        http.answer = [&](const HttpRequest &, int index) {
            FakeHttpClient::Reply reply = FakeHttpClient::reply(200, whole);
            reply.breakAfter = index == 0 && !row.pause ? 8192 : -1;
            return reply;
        };
        http.afterRun = [&](int index, qint64 delivered) {
            if (index == 0 && delivered == 8192 && row.pause)
                engine.pause(), engine.resume();
        };
        engine.start(job);
        EXPECT_TRUE(runUntil([&] { return engine.state() == S::Completed || engine.state() == S::Failed; }));
        EXPECT_EQ(engine.state(), S::Completed);
        EXPECT_TRUE(onDisk() == whole);
        EXPECT_EQ(http.requests.size(), 2u);
    }
}

// A server may answer a shorter range than asked: its Content-Range still
// gives the file's size, and the rest is asked for again.
TEST_F(EngineTest, AShorterRangeThanAskedIsTakenAndTheRestFetched)
{
    const QByteArray whole = content(20480);
    engine.setRetryDelay(std::chrono::milliseconds(0));
    http.answer = [&](const HttpRequest &r, int) {
        const qint64 from = std::max<qint64>(r.rangeStart, 0);
        return FakeHttpClient::reply(206, whole.mid(from, 8192), from, whole.size());
    };
    for (const bool described : {true, false}) {
        SCOPED_TRACE(described ? "descriptor" : "URL");
        QFile::remove(job.destination);
        http.requests.clear();
        if (described)
            describe(whole);
        else
            job.mode = DownloadJob::Mode::Url;
        engine.start(job);
        EXPECT_TRUE(runUntil([&] { return engine.state() == S::Completed || engine.state() == S::Failed; }));
        EXPECT_EQ(ranges(), (QStringList{"-", "8192", "16384"}));
        EXPECT_TRUE(onDisk() == whole);
    }
}

// The check runs on its worker: the event loop turns and progress comes
// meanwhile; a pause stops it, and the resume checks again from the start.
TEST_F(EngineTest, TheCheckReportsFromItsWorkerAndAPausedOneIsDoneAgain)
{
    const QByteArray whole = content(16 << 20);
    describe(whole);
    put(job.destination, damaged(whole, (16 << 20) - 100));
    serve(whole);
    std::vector<qint64> progress;
    QObject::connect(&engine, &DownloadEngine::checkProgressed, [&](qint64 value, qint64) { progress.push_back(value); });
    engine.start(job);
    ASSERT_EQ(engine.state(), S::Checking);
    engine.pause();
    EXPECT_EQ(engine.state(), S::Paused);
    EXPECT_TRUE(settle(engine, http));
    EXPECT_TRUE(http.requests.empty());
    int turns = 0;
    progress.clear();
    engine.resume();
    EXPECT_TRUE(runUntil([&] { return ++turns, engine.state() == S::Verified; }, 30000));
    EXPECT_GT(turns, 10);
    EXPECT_GT(progress.size(), 10u);
    EXPECT_EQ(ranges(), QStringList{QString::number((16 << 20) - 4096)});  // the bad block near the end
    EXPECT_EQ(onDisk(), whole);
}

TEST_F(EngineTest, OffsetsBeyond4GiB)
{
    const qint64 fiveGiB = 5368709120;
    QFile f(job.destination);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite) && f.resize(fiveGiB));  // sparse
    const QByteArray tail = content(4096);
    http.replies.push_back(FakeHttpClient::reply(206, tail, fiveGiB, fiveGiB + 4096));
    engine.start(job);
    EXPECT_TRUE(settle(engine, http));
    EXPECT_EQ(engine.state(), S::Completed);
    EXPECT_EQ(ranges(), QStringList{QString::number(fiveGiB)});
    ASSERT_TRUE(f.seek(fiveGiB));
    EXPECT_EQ(f.readAll(), tail);
}

}  // namespace
