// Pause, resume, retry and the display tick.
#include "DownloadEngine.h"

#include "DownloadEngineImpl.h"

#include <util/ActivityLog.h>

using Label = MainWindowModel::Label;

void DownloadEngine::CancelButton_Click()
{
    const QString caption = m_view.cancelCaption();
    if (caption == QLatin1String("Exit")) {
        emit exitRequested();
        return;
    }
    if (caption == QLatin1String("Pause Download...")) {
        m_view.setPauseChecked(true);
        const QString interrupted = QStringLiteral("Transfer interrupted by user.");
        m_view.setText(Label::Status, interrupted);
        m_log.add(interrupted);
        StopTransfer = true;
        m_view.setCancelCaption(QStringLiteral("Resume Download..."));
        m_view.setCancelEnabled(true);
        if (ServerCount > 1)
            m_view.setServersVisible(true);
        RetryTimer.stop();
        RetryPending = false;
        return;
    }
    m_view.setPauseChecked(false);
    m_view.setCancelCaption(QStringLiteral("Pause Download..."));
    m_view.setCancelEnabled(false);
    m_view.setServersVisible(false);
    FileVerified = true;
    ResumeTimer.start();
}

void DownloadEngine::Pause_Click()
{
    if (m_view.cancelEnabled())
        CancelButton_Click();
}

void DownloadEngine::ResumeTimer_Timer()
{
    ResumeTimer.stop();
    // The paused attempt may still be winding down; the resume waits for it
    // rather than being lost with the button already disabled.
    if (m_active) {
        ResumeTimer.start();
        return;
    }
    restart();
}

void DownloadEngine::RetryTimer_Timer()
{
    if (RetryPending && !m_active) {
        RetryPending = false;
        RetryTimer.stop();
        FileVerified = true;
        restart();
    }
    // A failure of the restart may have armed the next retry; that one
    // must survive, or retrying would end after the second failure.
    if (!RetryPending)
        RetryTimer.stop();
}

void DownloadEngine::Timer1_Timer() { RefreshDue = true; }

void DownloadEngine::cancelPendingRestart()
{
    RetryTimer.stop();
    ResumeTimer.stop();
    RetryPending = false;
}

void DownloadEngine::rearmRetry()
{
    RetryPending = true;
    RetryTimer.start();
}

void DownloadEngine::restart()
{
    if (URLMode)
        DownloadFileFromURL(SourceURL, DestinationPath, QString(), QString());
    else
        DownloadFile(SourceURL, DestinationPath, QString(), QString());
}
