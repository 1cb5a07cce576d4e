// Pause, resume and retry through the handlers the buttons and timers call.
#include "DownloadEngineFixture.h"

namespace {

TEST_F(EngineTest, PauseAndResumeCaptions)
{
    engine->ServerCount = 2;
    view.setCancelEnabled(true);
    engine->RetryPending = true;
    engine->RetryTimer.start();
    engine->CancelButton_Click();  // pause
    EXPECT_EQ(view.cancelCaption(), QStringLiteral("Resume Download..."));
    EXPECT_TRUE(view.cancelEnabled() && view.pauseChecked() && view.serversVisible() && engine->StopTransfer);
    EXPECT_FALSE(engine->RetryPending || engine->RetryTimer.isActive());
    EXPECT_EQ(status(), QStringLiteral("Transfer interrupted by user."));

    engine->Pause_Click();  // resume through the tray item
    EXPECT_EQ(view.cancelCaption(), QStringLiteral("Pause Download..."));
    EXPECT_FALSE(view.cancelEnabled() || view.pauseChecked() || view.serversVisible());
    EXPECT_TRUE(engine->ResumeTimer.isActive());
    engine->Pause_Click();  // the button is disabled: nothing happens
    EXPECT_EQ(view.cancelCaption(), QStringLiteral("Pause Download..."));
}

TEST_F(EngineTest, RetriesKeepReArmingUntilPaused)
{
    inet.responses = {Reply{}, Reply{}};  // no answer at all, twice
    EXPECT_FALSE(runURL());
    ASSERT_TRUE(engine->RetryTimer.isActive());
    engine->RetryTimer_Timer();
    EXPECT_EQ(inet.executeCount(), 2);
    EXPECT_TRUE(engine->RetryPending && engine->RetryTimer.isActive());

    engine->CancelButton_Click();  // pause; a tick already queued then does nothing
    engine->RetryTimer_Timer();
    EXPECT_EQ(inet.executeCount(), 2);
    EXPECT_EQ(status(), QStringLiteral("Transfer interrupted by user."));
}

} // namespace
