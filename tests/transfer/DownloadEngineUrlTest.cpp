// The transfer loop: how each answer is classified, resume, progress display,
// stop, pause and retry, and the failures it must survive.
#include "DownloadEngineFixture.h"

#include <sys/resource.h>

#include <csignal>

namespace {

enum class Mode { Url, UrlStart, Ddf };  // UrlStart: "&start=" instead of relying on Range alone
enum class Outcome { Done, Final, Retry, Box };

struct StatusRow {
    const char *name;
    Mode mode;
    qint64 existing;     // bytes of the file already on disk
    const char *answer;  // "200"/"206": the (rest of the) file; else the whole header block
    const char *logged;
    Outcome outcome;
};
void PrintTo(const StatusRow &row, std::ostream *os) { *os << row.name; }

class StatusTable : public EngineTest, public ::testing::WithParamInterface<StatusRow> {};

TEST_P(StatusTable, AnswerDecidesOutcome)
{
    const StatusRow &row = GetParam();
    const QByteArray content = pattern(9000);
    // "200?": the file without a usable Content-Length, read to the end of the body.
    const bool unannounced = QByteArrayView(row.answer) == "200?";
    const bool generated = QByteArrayView(row.answer).size() == 3 || unannounced, retry = row.outcome == Outcome::Retry;
    if (row.mode == Mode::Ddf)
        loadDescriptor(content);
    if (row.existing)
        writeFile(dest(), content.left(row.existing));
    engine->UseStartParam = row.mode == Mode::UrlStart;
    Reply r = unannounced ? Reply{"HTTP/1.1 200 X\r\nContent-Length: none\r\n\r\n", content}
              : !generated ? Reply{row.answer}
              : QByteArrayView(row.answer) == "206" ? partial(content, row.existing)
                                                       : FakeHttpControl::reply(200, content);
    r.pendingPolls = 2;
    inet.responses.push_back(r);
    view.setCmdURLEnabled(false);

    EXPECT_EQ(row.mode == Mode::Ddf ? runDDF() : runURL(), row.outcome == Outcome::Done);
    EXPECT_EQ(inet.extraHeaders, QStringList{row.existing ? range(row.existing) : QString()});
    EXPECT_EQ(inet.urls.value(0), engine->SourceURL + (engine->UseStartParam ? QStringLiteral("&start=%1").arg(row.existing) : ""));
    EXPECT_TRUE(logged(row.logged)) << log.text().toStdString();
    EXPECT_TRUE(engine->RetryPending == retry && engine->RetryTimer.isActive() == retry);
    EXPECT_EQ(status(), retry ? "Recovering from error. Retrying in 30 seconds..."
                        : row.outcome == Outcome::Done ? "Download completed and verified!" : "Saving:");
    // Nothing of a refused answer is written.
    EXPECT_TRUE(QFileInfo::exists(dest()) == (generated || row.existing) &&
                readFile(dest()) == (generated ? content : content.left(row.existing)));
    const bool box = row.outcome == Outcome::Box;
    ASSERT_EQ(dialogs.asked.size(), box ? 1u : 0u);
    EXPECT_TRUE(!box || (dialogs.asked[0].text.startsWith("The server reports that there are no more bytes") &&
                         view.cmdURLEnabled() && view.command1Enabled()));
}

constexpr const char *kDone = "Your download has been completed and verified!";
constexpr const char *kRestart = "Could not resume. Starting from beginning of file.";
constexpr const char *kProblem = "There was a problem making the proper connection...";
constexpr const char *kSize = "The file on the server is not the size the descriptor gives.";
using enum Mode;
using enum Outcome;

INSTANTIATE_TEST_SUITE_P(
    Engine, StatusTable,
    ::testing::Values(
        StatusRow{"Fresh200", Url, 0, "200", kDone, Done},
        StatusRow{"Resumed200", Url, 5000, "200", kRestart, Done},
        StatusRow{"Resumed206", Url, 5000, "206", "Entered resume mode successfully.", Done},
        StatusRow{"StartParamFresh", UrlStart, 0, "200", kDone, Done},
        StatusRow{"StartParamResumed", UrlStart, 4096, "206", "Entered resume mode successfully.", Done},
        StatusRow{"UnannouncedLength", Url, 0, "200?", kDone, Done},
        StatusRow{"ZeroLength", Url, 0, "HTTP/1.1 200 X\r\nContent-Length: 0\r\n\r\n", kDone, Done},
        StatusRow{"NoContent", Url, 0, "HTTP/1.1 204 No Content\r\n\r\n", "The server did not return any content.", Final},
        StatusRow{"Unauthorized", Url, 0, "HTTP/1.1 401 X\r\n\r\n", "Authorization failed!", Final},
        StatusRow{"NotFound", Url, 0, "HTTP/1.1 404 X\r\n\r\n",
                  "File not found on server. Please check for a newer ddf file.", Final},
        StatusRow{"RangeNotSatisfiable", Url, 5000, "HTTP/1.1 416 X\r\n\r\n",
                  "No content to be download. File has already completed.", Box},
        StatusRow{"ElevenCharsCrLf", Url, 0, "HTTP/1.1 \r\n", "Could not establish a connection to the server.", Final},
        StatusRow{"TwelveCharsCrLf", Url, 0, "HTTP/1.1 XX\r\n", kProblem, Retry},
        StatusRow{"Empty", Url, 0, "", kProblem, Retry},
        StatusRow{"ServerError", Url, 0, "HTTP/1.1 500 X\r\n\r\n", kProblem, Retry},
        StatusRow{"PartialFromWrongOffset", Url, 8192, "HTTP/1.1 206 X\r\nContent-Range: bytes 4096-8999/9000\r\n\r\n",
                  "The server resumed from the wrong position.", Retry},
        StatusRow{"PartialWithoutRange", Url, 8192, "HTTP/1.1 206 X\r\n\r\n", "The server resumed from the wrong position.", Retry},
        StatusRow{"DdfFresh200", Ddf, 0, "200", kDone, Done},
        StatusRow{"DdfResumed200", Ddf, 8192, "200", kRestart, Done},
        StatusRow{"DdfResumed206", Ddf, 8192, "206", kDone, Done},
        StatusRow{"DdfRangeNotSatisfiable", Ddf, 8192, "HTTP/1.1 416 X\r\n\r\n", kProblem, Retry},
        StatusRow{"DdfNoLength", Ddf, 0, "HTTP/1.1 200 X\r\n\r\n", kSize, Final},
        StatusRow{"DdfShorterLength", Ddf, 0, "HTTP/1.1 200 X\r\nContent-Length: 4096\r\n\r\n", kSize, Final}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(EngineTest, StopWhileWaitingEndsWithoutALogLine)
{
    inet.responses = {Reply{"HTTP/1.1 200 X\r\n\r\n", {}, 100}};
    int polls = 0;
    inet.onEvents = [&](bool wait) { engine->StopTransfer = wait && ++polls == 3; };
    EXPECT_FALSE(runURL());
    EXPECT_TRUE(polls == 3 && inet.cancelCount == 1);
    EXPECT_TRUE(log.text().endsWith("Waiting for initial response from server...\r\n"));
    EXPECT_FALSE(engine->RetryPending || QFileInfo::exists(dest()));
}

TEST_F(EngineTest, StopDuringBodyKeepsBlocksAndDrawsFinalFigures)
{
    inet.responses.push_back(FakeHttpControl::reply(200, pattern(40960)));
    inet.onChunk = [&](qint64 delivered) { engine->StopTransfer = delivered == 8192; };
    EXPECT_FALSE(runURL());
    EXPECT_EQ(readFile(dest()), pattern(8192));
    EXPECT_EQ(view.text(MainWindowModel::Label::Time), QStringLiteral("4 sec (8 KB of 40 KB copied)"));
    EXPECT_FALSE(engine->RetryPending);
}

TEST_F(EngineTest, RateFormatSwitchesAt1048575AndFinalUsesWholeNumbers)
{
    for (const auto &[size, during] : {std::pair{1048574, "1024 KB/Sec"}, {1048575, "1024.00 KB/Sec"}}) {
        QFile::remove(dest());
        inet.responses.push_back(FakeHttpControl::reply(200, pattern(size)));
        // The clock stands still: the rate after the last block is the size itself.
        inet.onChunk = [&, size = size](qint64 delivered) { engine->RefreshDue = delivered + 4096 >= size; };
        QStringList rates;
        QObject context;
        QObject::connect(&view, &MainWindowModel::changed, &context, [&] { rates << view.text(MainWindowModel::Label::Rate); });
        EXPECT_TRUE(runURL());
        EXPECT_TRUE(rates.contains(during)) << rates.join('|').toStdString();
        EXPECT_EQ(rates.last(), "1024 KB/Sec");
        EXPECT_TRUE(view.tray().shownTip() == "1024 KB of 1024 KB copied..." && view.tray().szTip().size() == 64);  // a fixed field
    }
}

TEST_F(EngineTest, WriteFailureKeepsTheFileAndReportsTheSystemText)
{
    // Files may not grow past 12288 bytes: the write fails part-way, as on a full disk.
    const QByteArray content = pattern(24576);
    writeFile(dest(), content.left(8192));
    inet.responses.push_back(partial(content, 8192));
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    const rlimit small{12288, old.rlim_max};
    const bool failed = setrlimit(RLIMIT_FSIZE, &small) == 0 && !runURL();
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_TRUE(failed);
    EXPECT_TRUE(logged("Error 27: File too large.") && engine->RetryPending) << log.text().toStdString();
    EXPECT_EQ(readFile(dest()), content.left(12288));
}

TEST_F(EngineTest, OffsetsBeyond4GiB)
{
    const qint64 fiveGiB = 5368709120;
    QFile f(dest());
    ASSERT_TRUE(f.open(QIODevice::ReadWrite) && f.resize(fiveGiB));  // sparse
    const QString contentRange = QStringLiteral("Content-Range: bytes 5368709120-5368713215/5368713216");
    inet.responses.push_back(FakeHttpControl::reply(206, pattern(4096), {contentRange}));
    EXPECT_TRUE(runURL());
    EXPECT_EQ(inet.extraHeaders, QStringList{QStringLiteral("Range: bytes=5368709120-\r\n")});
    ASSERT_TRUE(f.seek(fiveGiB));
    EXPECT_EQ(f.readAll(), pattern(4096));
}

TEST_F(EngineTest, RetriesKeepReArmingUntilPausedThenResume)
{
    engine->ServerCount = 2;
    inet.responses = {Reply{}, Reply{}};  // no answer at all, twice
    EXPECT_FALSE(runURL());
    engine->RetryTimer_Timer();
    EXPECT_TRUE(inet.urls.size() == 2 && engine->RetryPending && engine->RetryTimer.isActive());

    engine->CancelButton_Click();  // pause; a tick already queued then does nothing
    engine->RetryTimer_Timer();
    EXPECT_EQ(inet.urls.size(), 2);
    EXPECT_EQ(view.cancelCaption(), "Resume Download...");
    EXPECT_TRUE(view.cancelEnabled() && view.pauseChecked() && view.serversVisible() && engine->StopTransfer);
    EXPECT_FALSE(engine->RetryPending || engine->RetryTimer.isActive());
    EXPECT_EQ(status(), "Transfer interrupted by user.");

    engine->Pause_Click();  // resume through the tray item
    EXPECT_EQ(view.cancelCaption(), "Pause Download...");
    EXPECT_FALSE(view.cancelEnabled() || view.pauseChecked() || view.serversVisible());
    EXPECT_TRUE(engine->ResumeTimer.isActive());
}

TEST_F(EngineTest, UnannouncedBodyThatBreaksOffIsRetriedNotCompleted)
{
    inet.responses = {Reply{"HTTP/1.1 200 X\r\n\r\n", pattern(10000), 0, 8192}};
    inet.onChunk = [&](qint64 delivered) { engine->RefreshDue = delivered == 4096; };
    EXPECT_FALSE(runURL());
    EXPECT_TRUE(engine->RetryPending && logged("Error 56: Failure when receiving data from the peer."));
    EXPECT_EQ(readFile(dest()), pattern(8192));
    EXPECT_EQ(view.text(MainWindowModel::Label::Time), "Size unknown (8 KB copied)");
}

TEST_F(EngineTest, TooLittleFreeSpaceStopsADescriptorDownloadBeforeAnyRequest)
{
    loadDescriptor(pattern(9000));
    engine->freeSpace = [&](const QString &folder) { return folder == dir.path() ? 8999.0 : 1e15; };
    EXPECT_FALSE(runDDF());
    ASSERT_EQ(dialogs.asked.size(), 1u);
    EXPECT_EQ(dialogs.asked[0].title, "Insufficient Disk Space...");
    EXPECT_TRUE(inet.urls.isEmpty() && !QFileInfo::exists(dest()) && !engine->RetryPending);
}

TEST_F(EngineTest, EndingTheProgramMidTransferWritesTheCheckedBlocks)
{
    inet.responses.push_back(FakeHttpControl::reply(200, pattern(40960)));
    inet.onChunk = [&](qint64 delivered) {
        if (delivered == 12288)
            exitSeam.endProgram(0);  // runs the registered flushes, as the real exit does
        engine->StopTransfer = delivered == 12288;
    };
    EXPECT_FALSE(runURL());
    EXPECT_EQ(exitSeam.exitCount, 1);
    EXPECT_EQ(readFile(dest()), pattern(12288));
}

TEST_F(EngineTest, AResumeTickWhileAnAttemptEndsWaitsForIt)
{
    inet.responses.push_back(FakeHttpControl::reply(200, pattern(8192)));
    inet.onChunk = [&](qint64) { engine->ResumeTimer_Timer(); };
    EXPECT_TRUE(runURL());
    EXPECT_TRUE(engine->ResumeTimer.isActive() && inet.urls.size() == 1);
}

} // namespace
