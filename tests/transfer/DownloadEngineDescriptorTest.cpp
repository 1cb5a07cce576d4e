// Descriptor mode: the choice of the resume offset, the per-block test and the repair cycle.
#include "DownloadEngineFixture.h"

namespace {

struct ResumeRow {
    const char *name;
    qint64 length;           // of the good file on disk before the call
    qint64 damagedAt;        // a byte flipped there (-1: none)
    QList<qint64> requests;  // the Range of each request, answered with the rest of the file
    int repairs;             // CRCErrorCount afterwards
    bool fetchedToEnd;       // a finished download (else: verified with nothing left to fetch)
    int repairsBefore = 0;
    bool verified = false;   // FileVerified before the call: a resume that skips verification
    const char *logged = "";
    float version = 1.2f;    // 1.1 leaves the last byte of each block out of its checksum
};
void PrintTo(const ResumeRow &row, std::ostream *os) { *os << row.name; }

class ResumeTable : public EngineTest, public ::testing::WithParamInterface<ResumeRow> {};

TEST_P(ResumeTable, OffsetFollowsVerification)
{
    const ResumeRow &row = GetParam();
    const QByteArray content = pattern(20480);
    const QByteArray local = row.damagedAt < 0 ? content.left(row.length) : damaged(content.left(row.length), row.damagedAt);
    loadDescriptor(content, row.version);
    writeFile(dest(), local);
    engine->CRCErrorCount = row.repairsBefore;
    engine->FileVerified = row.verified;
    QStringList ranges;
    for (qint64 at : row.requests) {
        inet.responses.push_back(partial(content, at));
        ranges << range(at);
    }
    EXPECT_EQ(runDDF(), row.fetchedToEnd);
    EXPECT_EQ(inet.extraHeaders, ranges);  // a further request would find no scripted answer
    EXPECT_EQ(readFile(dest()), row.requests.isEmpty() ? local : content);
    EXPECT_EQ(engine->CRCErrorCount, row.repairs);
    EXPECT_TRUE(logged(row.logged)) << log.text().toStdString();
    EXPECT_EQ(status(), row.fetchedToEnd ? "Download completed and verified!" : "File complete and verified!");
}

INSTANTIATE_TEST_SUITE_P(
    Engine, ResumeTable,
    ::testing::Values(
        ResumeRow{"CompleteIntactFile", 20480, -1, {}, 0, false, 0, false, "Your file has been verified, and is ready for use!"},
        ResumeRow{"AllGoodPartial", 16384, -1, {16384}, 0, true},
        ResumeRow{"PartialEndingMidBlock", 10000, -1, {8192, 12288}, 1, true},
        ResumeRow{"UnverifiedEndingMidBlock", 10000, -1, {8192}, 0, true, 0, true},
        ResumeRow{"BadBlockAt8192", 20480, 9000, {8192}, 1, false, 0, false, "CRC error in current file. Will attempt to repair..."},
        ResumeRow{"TwentyRepairsFetchRemainder", 20480, 4097, {4096}, 20, true, 20, false,
                  "Too many CRC errors in current file. Will download remainder..."},
        ResumeRow{"Version11IgnoresLastByteOfBlock", 20480, 4095, {}, 0, false, 0, false, "", 1.1f},
        ResumeRow{"Version12ChecksLastByteOfBlock", 20480, 4095, {0}, 1, false}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(EngineTest, PausedRepairIsCarriedOutOnResumeNotDeclaredDone)
{
    const QByteArray content = pattern(20480);
    loadDescriptor(content);
    writeFile(dest(), damaged(content, 8192));
    inet.responses = {partial(content, 8192), partial(content, 8192)};
    inet.onChunk = [&](qint64) {
        view.setCancelCaption(QStringLiteral("Pause Download..."));
        engine->CancelButton_Click();
        inet.onChunk = nullptr;  // last: this destroys the closure
    };
    EXPECT_FALSE(runDDF());
    EXPECT_EQ(readFile(dest()), damaged(content, 8192));

    engine->CancelButton_Click();  // resume
    engine->ResumeTimer_Timer();
    EXPECT_EQ(inet.extraHeaders, QStringList(2, range(8192)));
    EXPECT_EQ(engine->CRCErrorCount, 1);
    EXPECT_EQ(readFile(dest()), content);
    EXPECT_EQ(status(), "File complete and verified!");
}

TEST_F(EngineTest, VerificationOfMissingFilesTellsTheUser)
{
    loadDescriptor(pattern(8192));
    EXPECT_EQ(engine->VerifyExistingFile(dest(), engine->DescriptorPath, 3083), 0);
    EXPECT_EQ(dialogs.messages(), QStringList{"Source file is missing!"});
    EXPECT_EQ(exitSeam.exitCount, 0);

    writeFile(dest(), pattern(4096));
    EXPECT_EQ(engine->VerifyExistingFile(dest(), dir.filePath("gone.ddf"), 3083), 0);
    EXPECT_EQ(dialogs.messages().value(1), "Orvanta Downloader file is missing!");
    EXPECT_EQ(exitSeam.exitCount, 1);  // the program ends
    EXPECT_FALSE(engine->RepairMode);
}

} // namespace
