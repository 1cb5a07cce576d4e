// Pause, resume and retry handlers, the failure report and the timers.
#include "DownloadEngineFixture.h"

#include <QSignalSpy>

namespace {

TEST_F(EngineTest, ScheduleRetryWithAndWithoutRetry)
{
    view.setText(Label::Status, QStringLiteral("before"));
    QSignalSpy changed(&log, &ActivityLog::changed);

    engine->ScheduleRetry(QStringLiteral("final"), true);
    EXPECT_EQ(logLines(), QStringList{"final"});
    EXPECT_EQ(view.text(Label::Status), QStringLiteral("before"));
    EXPECT_FALSE(engine->RetryPending);
    EXPECT_FALSE(engine->RetryTimer.isActive());
    EXPECT_EQ(changed.count(), 1);

    engine->ScheduleRetry(QStringLiteral("again"), false);
    EXPECT_EQ(logLines(), (QStringList{"final", "again", "Preparing to try again in 30 seconds..."}));
    EXPECT_EQ(view.text(Label::Status), QStringLiteral("Recovering from error. Retrying in 30 seconds..."));
    EXPECT_TRUE(engine->RetryPending);
    EXPECT_TRUE(engine->RetryTimer.isActive());
}

TEST_F(EngineTest, PauseResumeAndExitCaptions)
{
    engine->ServerCount = 2;
    view.setCancelEnabled(true);
    engine->RetryPending = true;
    engine->RetryTimer.start();

    engine->CancelButton_Click();  // pause
    EXPECT_EQ(view.cancelCaption(), QStringLiteral("Resume Download..."));
    EXPECT_TRUE(view.cancelEnabled());
    EXPECT_TRUE(view.pauseChecked());
    EXPECT_TRUE(view.serversVisible());
    EXPECT_TRUE(engine->StopTransfer);
    EXPECT_FALSE(engine->RetryPending);
    EXPECT_FALSE(engine->RetryTimer.isActive());
    EXPECT_EQ(view.text(Label::Status), QStringLiteral("Transfer interrupted by user."));
    EXPECT_EQ(logLines(), QStringList{"Transfer interrupted by user."});

    engine->Pause_Click();  // resume through the tray item
    EXPECT_EQ(view.cancelCaption(), QStringLiteral("Pause Download..."));
    EXPECT_FALSE(view.cancelEnabled());
    EXPECT_FALSE(view.pauseChecked());
    EXPECT_FALSE(view.serversVisible());
    EXPECT_TRUE(engine->FileVerified);
    EXPECT_TRUE(engine->ResumeTimer.isActive());

    // Disabled button: the tray item does nothing.
    engine->Pause_Click();
    EXPECT_EQ(view.cancelCaption(), QStringLiteral("Pause Download..."));

    QSignalSpy exitSpy(engine.get(), &DownloadEngine::exitRequested);
    view.setCancelCaption(QStringLiteral("Exit"));
    engine->CancelButton_Click();
    EXPECT_EQ(exitSpy.count(), 1);
}

TEST_F(EngineTest, ResumeTickCallsTheEntryPointOfTheMode)
{
    for (bool urlMode : {true, false}) {
        SCOPED_TRACE(urlMode);
        QFile::remove(dest());
        const QByteArray content = pattern(5000);
        if (!urlMode)
            loadDescriptor(content);
        engine->URLMode = urlMode;
        engine->ResumeTimer.start();
        inet.responses.push_back(FakeHttpControl::reply(200, content));
        engine->ResumeTimer_Timer();
        EXPECT_FALSE(engine->ResumeTimer.isActive());
        EXPECT_EQ(readFile(dest()), content);
    }
}

TEST_F(EngineTest, RetryTickRestartsOnlyWhenPending)
{
    engine->URLMode = true;
    engine->RetryTimer_Timer();  // nothing pending
    EXPECT_EQ(inet.executeCount(), 0);

    inet.responses.push_back(FakeHttpControl::reply(200, pattern(100)));
    engine->RetryPending = true;
    engine->RetryTimer.start();
    engine->RetryTimer_Timer();
    EXPECT_EQ(inet.executeCount(), 1);
    EXPECT_FALSE(engine->RetryPending);
    EXPECT_FALSE(engine->RetryTimer.isActive());
    EXPECT_TRUE(engine->FileVerified);
}

TEST_F(EngineTest, FailureDuringRetryKeepsTheNextRetryArmed)
{
    engine->URLMode = true;
    FakeHttpControl::Response none;  // no answer at all
    inet.responses.push_back(none);
    inet.responses.push_back(none);
    EXPECT_FALSE(runURL());
    ASSERT_TRUE(engine->RetryTimer.isActive());

    engine->RetryTimer_Timer();
    EXPECT_EQ(inet.executeCount(), 2);
    EXPECT_TRUE(engine->RetryPending);
    EXPECT_TRUE(engine->RetryTimer.isActive());
}

TEST_F(EngineTest, RetryThenPauseMeansNoRestart)
{
    engine->URLMode = true;
    FakeHttpControl::Response none;
    inet.responses.push_back(none);
    EXPECT_FALSE(runURL());
    ASSERT_TRUE(engine->RetryPending);
    EXPECT_TRUE(view.cancelEnabled());

    engine->CancelButton_Click();
    engine->RetryTimer_Timer();  // a tick already queued still does nothing
    EXPECT_EQ(inet.executeCount(), 1);
    EXPECT_EQ(view.text(Label::Status), QStringLiteral("Transfer interrupted by user."));
}

TEST_F(EngineTest, TicksDuringAnAttemptDoNothing)
{
    engine->URLMode = true;
    QSignalSpy active(engine.get(), &DownloadEngine::activeChanged);
    inet.responses.push_back(FakeHttpControl::reply(200, pattern(8192)));
    int nestedExecutes = -1;
    inet.onChunk = [&](qint64) {
        EXPECT_TRUE(engine->transferActive());
        engine->RetryPending = true;
        engine->RetryTimer_Timer();
        engine->ResumeTimer_Timer();
        EXPECT_FALSE(engine->DownloadFileFromURL(engine->SourceURL, dest(), {}, {}));
        nestedExecutes = inet.executeCount();
        inet.onChunk = nullptr;
    };
    EXPECT_TRUE(runURL());
    EXPECT_EQ(nestedExecutes, 1);
    EXPECT_EQ(active.count(), 2);
    EXPECT_FALSE(engine->transferActive());

    engine->cancelPendingRestart();
    EXPECT_FALSE(engine->RetryPending);
    EXPECT_FALSE(engine->RetryTimer.isActive());
    EXPECT_FALSE(engine->ResumeTimer.isActive());
}

TEST_F(EngineTest, GatheredBlocksReachDiskOnExit)
{
    // Blocks accepted during a transfer wait in memory; ending the program
    // in the middle writes them out first.
    const QByteArray body = pattern(64 * 1024);
    inet.responses.push_back(FakeHttpControl::reply(200, body));
    qint64 lengthAtExit = -1;
    inet.onChunk = [&](qint64 delivered) {
        if (delivered == 32768) {
            exitSeam.endProgram();
            lengthAtExit = QFileInfo(dest()).size();
        }
    };
    EXPECT_TRUE(runURL());
    EXPECT_EQ(exitSeam.exitCount, 1);
    EXPECT_EQ(lengthAtExit, 32768);
    EXPECT_EQ(readFile(dest()), body);
}

} // namespace
