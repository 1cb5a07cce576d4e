// Descriptor mode: the resume offset found by checking the file, the test of
// every received block, and the repair cycle.
#include "DownloadEngineFixture.h"

#include <transfer/ExistingFileCheck.h>

#include <atomic>

namespace {

struct ResumeRow {
    const char *name;
    qint64 length;           // of the good file on disk before the start
    qint64 damagedAt;        // a byte flipped there (-1: none)
    QStringList requests;    // the Range of each request, answered with the rest of the file
    int repairs;             // repairs counted afterwards
    DownloadEngine::State end;
    int repairsBefore = 0;   // repairs made earlier in the run
    const char *logged = "";
    float version = 1.2f;    // 1.1 leaves the last byte of each block out of its checksum
};
void PrintTo(const ResumeRow &row, std::ostream *os) { *os << row.name; }

class ResumeTable : public EngineTest, public ::testing::WithParamInterface<ResumeRow> {};

TEST_P(ResumeTable, OffsetFollowsTheCheck)
{
    const ResumeRow &row = GetParam();
    const QByteArray content = pattern(20480);
    const QByteArray local = row.damagedAt < 0 ? content.left(row.length) : damaged(content.left(row.length), row.damagedAt);
    describe(content, row.version);
    writeFile(dest(), local);
    // Earlier repairs of this run are made by repairing `repairsBefore` blocks first.
    if (row.repairsBefore) {
        for (int k = 0; k < row.repairsBefore; ++k) {
            http.replies.push_back(partial(content, 0));
            writeFile(dest(), damaged(content, 0));
            engine.start(job);
            ASSERT_TRUE(settle(engine, http));
        }
        ASSERT_EQ(engine.repairCount(), row.repairsBefore);
        writeFile(dest(), local);
        http.requests.clear();
        log.clear();
    }
    serve(content);
    EXPECT_EQ(run(), row.end);
    EXPECT_EQ(ranges(), row.requests);
    EXPECT_EQ(readFile(dest()), row.requests.isEmpty() ? local : content);
    EXPECT_EQ(engine.repairCount(), row.repairs);
    EXPECT_TRUE(QByteArrayView(row.logged).isEmpty() || logged(row.logged)) << log.join('\n').toStdString();
}

using S = DownloadEngine::State;

INSTANTIATE_TEST_SUITE_P(
    Engine, ResumeTable,
    ::testing::Values(
        ResumeRow{"CompleteIntactFile", 20480, -1, {}, 0, S::Verified, 0, "Your file has been verified, and is ready for use!"},
        ResumeRow{"AllGoodPartial", 16384, -1, {"16384"}, 0, S::Completed},
        ResumeRow{"PartialEndingMidBlock", 10000, -1, {"8192", "12288"}, 1, S::Completed},
        ResumeRow{"BadBlockAt8192", 20480, 9000, {"8192"}, 1, S::Verified, 0, "CRC error in current file. Will attempt to repair..."},
        ResumeRow{"TwentyRepairsFetchTheRemainder", 20480, 4097, {"4096"}, 20, S::Completed, 20,
                  "Too many CRC errors in current file. Will download remainder..."},
        ResumeRow{"Version11IgnoresTheLastByteOfABlock", 20480, 4095, {}, 0, S::Verified, 0, "", 1.1f},
        ResumeRow{"Version12ChecksTheLastByteOfABlock", 20480, 4095, {"0"}, 1, S::Verified}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(EngineTest, APausedRepairIsCarriedOutOnResumeNotDeclaredDone)
{
    const QByteArray content = pattern(20480);
    describe(content);
    writeFile(dest(), damaged(content, 8192));
    serve(content);
    bool paused = false;
    engine.start(job);
    // Pause as soon as the repair's request is out.
    EXPECT_TRUE(runUntil([&] {
        if (!paused && engine.state() == S::Connecting)
            paused = (engine.pause(), true);
        return paused && !engine.isBusy();
    }));
    EXPECT_EQ(readFile(dest()), damaged(content, 8192));
    resumeNow();
    EXPECT_TRUE(runUntil([&] { return engine.state() == S::Verified; }));
    EXPECT_EQ(ranges(), (QStringList{"8192", "8192"}));
    EXPECT_EQ(engine.repairCount(), 1);
    EXPECT_EQ(readFile(dest()), content);
}

TEST_F(EngineTest, ACheckPausedHalfWayIsDoneAgainOnResume)
{
    const QByteArray content = pattern(16 << 20);
    describe(content);
    writeFile(dest(), damaged(content, (16 << 20) - 100));
    serve(content);
    engine.start(job);
    ASSERT_EQ(engine.state(), S::Checking);
    engine.pause();
    EXPECT_EQ(engine.state(), S::Paused);
    EXPECT_TRUE(settle(engine, http));
    EXPECT_TRUE(http.requests.empty());
    resumeNow();
    EXPECT_TRUE(runUntil([&] { return engine.state() == S::Verified; }, 30000));
    // Checked again from the start: the bad block near the end is found and repaired.
    EXPECT_EQ(ranges(), QStringList{QString::number((16 << 20) - 4096)});
    EXPECT_EQ(readFile(dest()), content);
}

TEST_F(EngineTest, MissingFilesDuringTheCheckTellTheUser)
{
    describe(pattern(8192));
    writeFile(dest(), pattern(4096));
    QFile::remove(job.descriptorPath);
    EXPECT_EQ(run(), S::Idle);
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(notices[0].text, "Orvanta Downloader file is missing!");
    EXPECT_TRUE(notices[0].endsProgram);
    EXPECT_TRUE(http.requests.empty());
}

// The check runs on its worker: the event loop keeps turning meanwhile, it
// reports progress, and a cancelled check reports nothing.
TEST(ExistingFileCheck, ReportsProgressFromItsWorkerAndCanBeCancelled)
{
    QTemporaryDir dir;
    const QByteArray content = writeRandomFile(dir.filePath("data.bin"), 8 << 20, 5);
    DescriptorHeader record;
    record.version = 1.2f;
    QFile ddf(dir.filePath("d.ddf"));
    ASSERT_TRUE(ddf.open(QIODevice::WriteOnly) && ddf.write(buildDescriptor(record, content).value()) > 0);
    ddf.close();

    ExistingFileCheck check;
    std::vector<qint64> progress;
    std::optional<BlockScanResult> result;
    QObject::connect(&check, &ExistingFileCheck::progressed, [&](qint64 p) { progress.push_back(p); });
    QObject::connect(&check, &ExistingFileCheck::finished, [&](const BlockScanResult &r) { result = r; });
    int turns = 0;
    check.start(dir.filePath("data.bin"), dir.filePath("d.ddf"), 1.2f);
    EXPECT_TRUE(runUntil([&] { return ++turns, result.has_value(); }));
    EXPECT_GT(turns, 1);
    ASSERT_TRUE(result.has_value());
    EXPECT_EQ(result->goodLength, content.size());
    EXPECT_FALSE(result->mismatch || result->cancelled);
    EXPECT_EQ(progress.size(), size_t(content.size() / 4096 / ExistingFileCheck::ProgressBlocks));
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));

    result.reset();
    check.start(dir.filePath("data.bin"), dir.filePath("d.ddf"), 1.2f);
    check.cancel();
    EXPECT_FALSE(check.isRunning());
    EXPECT_FALSE(runUntil([&] { return result.has_value(); }, 200));
}

} // namespace
