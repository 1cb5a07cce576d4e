// The engine in URL mode, and what both modes share: how each answer is
// classified, resume, pause, retry, and the failures it must survive.
#include "DownloadEngineFixture.h"

#include <sys/resource.h>

#include <csignal>

namespace {

enum class Mode { Url, UrlStart, Ddf };  // UrlStart: "&start=" in the URL as well

struct AnswerRow {
    const char *name;
    Mode mode;
    qint64 existing;        // bytes of the file already on disk
    int status;             // 200/206 carry the (rest of the) file unless `length` says otherwise
    qint64 length;          // announced length: -2 as the body says, -1 none
    qint64 rangeStart;      // Content-Range start of a 206 (-2: the requested offset)
    const char *logged;
    DownloadEngine::State end;
    bool fileBecomesWhole;  // else: untouched
};
void PrintTo(const AnswerRow &row, std::ostream *os) { *os << row.name; }

class AnswerTable : public EngineTest, public ::testing::WithParamInterface<AnswerRow> {};

TEST_P(AnswerTable, AnswerDecidesOutcome)
{
    const AnswerRow &row = GetParam();
    const QByteArray content = pattern(9000);
    if (row.mode == Mode::Ddf)
        describe(content);
    if (row.existing)
        writeFile(dest(), content.left(row.existing));
    job.appendStartOffset = row.mode == Mode::UrlStart;
    const bool carriesFile = row.status == 200 || row.status == 206;
    Reply reply = carriesFile ? FakeHttpClient::reply(row.status, row.status == 206 ? content.mid(row.existing) : content)
                              : FakeHttpClient::reply(row.status, {});
    if (row.length != -2)
        reply.head->contentLength = row.length < 0 ? std::nullopt : std::optional<qint64>(row.length);
    if (row.status == 206 && row.rangeStart != -1)
        reply.head->rangeStart = row.rangeStart == -2 ? row.existing : row.rangeStart;
    http.replies.push_back(reply);

    EXPECT_EQ(run(), row.end);
    ASSERT_EQ(http.requests.size(), 1u);
    EXPECT_EQ(http.requests[0].rangeStart, row.existing ? row.existing : -1);
    EXPECT_EQ(http.requests[0].url, job.sourceUrl + (job.appendStartOffset ? QStringLiteral("&start=%1").arg(row.existing) : ""));
    EXPECT_TRUE(logged(row.logged)) << log.join('\n').toStdString();
    EXPECT_EQ(readFile(dest()), row.fileBecomesWhole ? content : content.left(row.existing));
    const bool done = row.end == DownloadEngine::State::Completed;
    EXPECT_EQ(status, row.end == DownloadEngine::State::WaitingToRetry ? "Recovering from error. Retrying in 30 seconds..."
                      : done                                           ? "Download completed and verified!"
                                                                       : "Saving:");
    EXPECT_EQ(notices.size(), row.status == 416 && row.mode != Mode::Ddf ? 1u : 0u);
}

constexpr const char *kDone = "Your download has been completed and verified!";
constexpr const char *kRestart = "Could not resume. Starting from beginning of file.";
constexpr const char *kProblem = "There was a problem making the proper connection...";
constexpr const char *kSize = "The file on the server is not the size the descriptor gives.";
constexpr const char *kWrongPlace = "The server resumed from the wrong position.";
using enum Mode;
using S = DownloadEngine::State;

INSTANTIATE_TEST_SUITE_P(
    Engine, AnswerTable,
    ::testing::Values(
        AnswerRow{"Fresh200", Url, 0, 200, -2, -1, kDone, S::Completed, true},
        AnswerRow{"Resumed200StartsTheFileAgain", Url, 5000, 200, -2, -1, kRestart, S::Completed, true},
        AnswerRow{"Resumed206", Url, 5000, 206, -2, -2, "Entered resume mode successfully.", S::Completed, true},
        AnswerRow{"StartParamFresh", UrlStart, 0, 200, -2, -1, kDone, S::Completed, true},
        AnswerRow{"StartParamResumed", UrlStart, 4096, 206, -2, -2, "Entered resume mode successfully.", S::Completed, true},
        AnswerRow{"UnannouncedLengthReadToTheEnd", Url, 0, 200, -1, -1, kDone, S::Completed, true},
        AnswerRow{"NoContent", Url, 0, 204, -2, -1, "The server did not return any content.", S::Failed, false},
        AnswerRow{"Unauthorized", Url, 0, 401, -2, -1, "Authorization failed!", S::Failed, false},
        AnswerRow{"NotFound", Url, 0, 404, -2, -1, "File not found on server. Please check for a newer ddf file.", S::Failed, false},
        AnswerRow{"RangeNotSatisfiable", Url, 5000, 416, -2, -1, "No content to be download. File has already completed.", S::Failed, false},
        AnswerRow{"ServerError", Url, 0, 500, -2, -1, kProblem, S::WaitingToRetry, false},
        AnswerRow{"PartialFromWrongOffset", Url, 8192, 206, -2, 4096, kWrongPlace, S::WaitingToRetry, false},
        AnswerRow{"PartialWithoutRange", Url, 8192, 206, -2, -1, kWrongPlace, S::WaitingToRetry, false},
        AnswerRow{"DdfFresh200", Ddf, 0, 200, -2, -1, kDone, S::Completed, true},
        AnswerRow{"DdfResumed200", Ddf, 8192, 200, -2, -1, kRestart, S::Completed, true},
        AnswerRow{"DdfResumed206", Ddf, 8192, 206, -2, -2, kDone, S::Completed, true},
        AnswerRow{"DdfRangeNotSatisfiableIsRetried", Ddf, 8192, 416, -2, -1, kProblem, S::WaitingToRetry, false},
        AnswerRow{"DdfNoLength", Ddf, 0, 200, -1, -1, kSize, S::Failed, false},
        AnswerRow{"DdfShorterLength", Ddf, 0, 200, 4096, -1, kSize, S::Failed, false}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(EngineTest, NoAnswerAtAllIsRetriedAndTheRetryResumesFromTheDisk)
{
    const QByteArray content = pattern(20000);
    http.replies = {Reply{}, FakeHttpClient::reply(200, content)};
    http.replies[0].error = {TransferError::Origin::Network, 7, QStringLiteral("Couldn't connect to server")};
    EXPECT_EQ(run(), S::WaitingToRetry);
    EXPECT_TRUE(logged(kProblem));
    engine.setRetryDelay(std::chrono::milliseconds(0));  // the armed retry fires now
    EXPECT_TRUE(runUntil([&] { return engine.state() == S::Completed; }));
    EXPECT_EQ(readFile(dest()), content);
}

TEST_F(EngineTest, PauseWhileConnectingEndsWithoutAnotherLine)
{
    http.replies.push_back(FakeHttpClient::reply(200, pattern(8192)));
    engine.start(job);
    engine.pause();
    EXPECT_TRUE(settle(engine, http));
    EXPECT_EQ(engine.state(), S::Paused);
    EXPECT_EQ(log.last(), "Transfer interrupted by user.");
    EXPECT_EQ(http.cancels, 1);
    EXPECT_FALSE(QFileInfo::exists(dest()));
    EXPECT_TRUE(ended.empty());
}

TEST_F(EngineTest, PauseDuringTheBodyKeepsTheBlocksAndResumeContinuesFromThem)
{
    const QByteArray content = pattern(40960);
    http.answer = [&](const HttpRequest &r, int) {
        return r.rangeStart < 0 ? FakeHttpClient::reply(200, content) : partial(content, r.rangeStart);
    };
    http.afterRun = [&](int request, qint64 delivered) {
        if (request == 0 && delivered == 8192)
            engine.pause();
    };
    EXPECT_EQ(run(), S::Paused);
    EXPECT_EQ(readFile(dest()), content.left(8192));
    ASSERT_EQ(ended.size(), 1u);
    EXPECT_EQ(ended[0].position, 8192);

    engine.setResumeDelay(std::chrono::milliseconds(0));
    engine.resume();
    EXPECT_EQ(engine.state(), S::Resuming);
    EXPECT_TRUE(runUntil([&] { return engine.state() == S::Completed; }));
    EXPECT_EQ(ranges(), (QStringList{"-", "8192"}));
    EXPECT_EQ(readFile(dest()), content);
}

TEST_F(EngineTest, RetriesGoOnUntilPausedAndAHeldRetryWaitsForItsRelease)
{
    http.answer = [](const HttpRequest &, int) { return Reply{}; };
    EXPECT_EQ(run(), S::WaitingToRetry);
    engine.setRestartsHeld(true);
    engine.setRetryDelay(std::chrono::milliseconds(1));
    EXPECT_FALSE(runUntil([&] { return http.requests.size() > 1; }, 100));  // held: due, not started
    engine.setRestartsHeld(false);
    EXPECT_TRUE(runUntil([&] { return http.requests.size() >= 3; }));  // every failure arms the next retry
    engine.pause();
    const size_t asked = http.requests.size();
    EXPECT_EQ(engine.state(), S::Paused);
    EXPECT_FALSE(runUntil([&] { return http.requests.size() > asked; }, 100));
    EXPECT_EQ(status, "Transfer interrupted by user.");
}

TEST_F(EngineTest, BodyCutShortIsRetriedNotCompleted)
{
    const QByteArray content = pattern(10000);
    struct Case {
        const char *name;
        std::optional<qint64> length;
        bool failsWithError;  // else: ends normally, short of the announced length
        const char *logged;
    };
    for (const Case &c : {Case{"unannounced, dropped", std::nullopt, true, "Error 56: Failure when receiving data from the peer."},
                          Case{"announced, ended early", 10000, false,
                               "Error 0: The server closed the connection before the whole file arrived."}}) {
        SCOPED_TRACE(c.name);
        QFile::remove(dest());
        log.clear();
        Reply reply = FakeHttpClient::reply(200, content);
        reply.head->contentLength = c.length;
        reply.body = c.failsWithError ? content : content.left(8192);
        reply.breakAfter = c.failsWithError ? 8192 : -1;
        http.replies.push_back(reply);
        EXPECT_EQ(run(), S::WaitingToRetry);
        EXPECT_TRUE(logged(c.logged)) << log.join('\n').toStdString();
        EXPECT_EQ(readFile(dest()), content.left(8192));
        EXPECT_EQ(ended.back().position, 8192);
    }
}

TEST_F(EngineTest, WriteFailureKeepsTheFileAndReportsTheSystemText)
{
    // Files may not grow past 12288 bytes: the write fails part-way, as on a full disk.
    const QByteArray content = pattern(24576);
    writeFile(dest(), content.left(8192));
    http.replies.push_back(partial(content, 8192));
    http.runBlocks = 4;
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    const rlimit small{12288, old.rlim_max};
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const State end = run();
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(end, S::WaitingToRetry);
    EXPECT_TRUE(logged("Error 27: File too large.")) << log.join('\n').toStdString();
    ASSERT_FALSE(failures.empty());
    ASSERT_TRUE(failures.back().error.has_value());
    EXPECT_EQ(failures.back().error->origin, TransferError::Origin::Disk);
    EXPECT_EQ(readFile(dest()), content.left(12288));
}

TEST_F(EngineTest, OffsetsBeyond4GiB)
{
    const qint64 fiveGiB = 5368709120;
    QFile f(dest());
    ASSERT_TRUE(f.open(QIODevice::ReadWrite) && f.resize(fiveGiB));  // sparse
    const QByteArray tail = pattern(4096);
    http.replies.push_back(FakeHttpClient::reply(206, tail, fiveGiB, fiveGiB + 4096));
    EXPECT_EQ(run(), S::Completed);
    EXPECT_EQ(ranges(), QStringList{QString::number(fiveGiB)});
    ASSERT_TRUE(f.seek(fiveGiB));
    EXPECT_EQ(f.readAll(), tail);
}

TEST_F(EngineTest, LargeRunsAreSplitIntoBlocksAndEndAtTheAnnouncedSize)
{
    for (const qsizetype runBlocks : {1, 3, 64}) {
        SCOPED_TRACE(runBlocks);
        QFile::remove(dest());
        const QByteArray content = pattern(300000);  // 73 whole blocks and a short one
        http.runBlocks = runBlocks;
        http.replies.push_back(FakeHttpClient::reply(200, content));
        EXPECT_EQ(run(), S::Completed);
        EXPECT_EQ(readFile(dest()), content);
    }
}

TEST_F(EngineTest, TooLittleFreeSpaceStopsADescriptorDownloadBeforeAnyRequest)
{
    describe(pattern(9000));
    engine.setFreeSpaceQuery([&](const QString &folder) { return folder == dir.path() ? 8999.0 : 1e15; });
    EXPECT_EQ(run(), S::Idle);
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(notices[0].title, "Insufficient Disk Space...");
    EXPECT_TRUE(http.requests.empty() && !QFileInfo::exists(dest()));
}

TEST_F(EngineTest, StopLeavesEveryReceivedBlockOnDisk)
{
    const QByteArray content = pattern(1 << 20);
    http.replies.push_back(FakeHttpClient::reply(200, content));
    http.afterRun = [&](int, qint64 delivered) {
        if (delivered == 12288)
            engine.stop();  // what leaving the program does
    };
    EXPECT_EQ(run(), S::Idle);
    EXPECT_EQ(readFile(dest()), content.left(12288));
}

} // namespace
