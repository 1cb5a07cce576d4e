#pragma once

#include "MainWindowModel.h"

#include <descriptor/DescriptorHeader.h>

#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>
#include <memory>

class ActivityLog;
class Dialogs;
class HttpControl;
class ProcessExit;

// The main window's download logic without any widget: its fields, the two
// transfer entry points, the failure report, the existing-file verification
// and the pause/resume/retry handlers with their three timers. Everything
// runs on one thread; a transfer runs inside the call that started it and
// lets events run at fixed points.
class DownloadEngine : public QObject {
    Q_OBJECT
public:
    DownloadEngine(MainWindowModel &view, HttpControl &inet, Dialogs &dialogs, ActivityLog &log,
                   ProcessExit &exit, QObject *parent = nullptr);
    ~DownloadEngine() override;

    // --- Main-window fields -------------------------------------------------
    bool URLMode = false;
    bool StopTransfer = false;
    QString DescriptorPath;
    QString DestinationPath;
    qint32 ExpectedSize = 0;
    bool RefreshDue = false;
    bool RetryPending = false;
    bool FileVerified = false;
    bool RepairMode = false;
    qint32 CRCErrorCount = 0;

    // --- Program-wide values ------------------------------------------------
    QString SourceURL;
    bool UseStartParam = false;
    qint16 ServerIndex = 0;
    qint16 ServerCount = 0;
    DescriptorHeader DDF;

    // --- Transfer ------------------------------------------------------------
    bool DownloadFile(const QString &strURL, const QString &strDestination, const QString &UserName,
                      const QString &Password);
    bool DownloadFileFromURL(const QString &strURL, const QString &strDestination, const QString &UserName,
                             const QString &Password);
    void ScheduleRetry(const QString &Message, bool NoRetry);
    qint64 VerifyExistingFile(const QString &dataPath, const QString &ddfPath, qint64 crcStart);
    // True while an attempt runs (the start commands stay disabled meanwhile).
    bool transferActive() const { return m_active; }
    // Drops an armed retry or resume; the commands call it before a fresh
    // start so that an old restart cannot fire into the new download.
    void cancelPendingRestart();
    // Arms the 30-second retry again (a command that dropped it was cancelled
    // before it changed anything).
    void rearmRetry();

    // --- Pause, resume, retry ------------------------------------------------
    void CancelButton_Click();
    void Pause_Click();
    void RetryTimer_Timer();
    void ResumeTimer_Timer();
    void Timer1_Timer();

    QTimer Timer1;       // 1000 ms, running
    QTimer RetryTimer;   // 30000 ms, one-shot
    QTimer ResumeTimer;  // 52 ms, one-shot

    // --- Seams for tests -------------------------------------------------------
    // Seconds from a monotonic clock (rates stay sane across midnight).
    std::function<double()> clock;
    // Free bytes for the filesystem of a destination path.
    std::function<double(const QString &)> freeSpace;
    // Writes the bytes gathered for the disk; runs before anything reads the
    // file and at every end of an attempt (the exit seam calls it too).
    void flushPendingWrites();

signals:
    // The "Exit" caption was clicked: the program ends.
    void exitRequested();
    // An attempt started or ended (the commands re-evaluate their buttons).
    void activeChanged(bool active);

private:
    struct Impl;
    struct Attempt;
    enum class Mode { Descriptor, URL };

    bool runAttempt(Mode mode, const QString &strURL, const QString &strDestination, const QString &UserName,
                    const QString &Password);
    // Descriptor mode, step 6 when resuming: false when the file turned out
    // complete (the call then ends at once).
    bool chooseResumeOffset(Attempt &a);
    bool displayStep(Attempt &a, bool final);
    bool errorReport(Attempt &a, int code, const QString &description);
    void closeAllFiles();
    void restart();

    std::unique_ptr<Impl> d;
    std::shared_ptr<bool> m_alive;
    bool m_active = false;
    MainWindowModel &m_view;
    HttpControl &m_inet;
    Dialogs &m_dialogs;
    ActivityLog &m_log;
    ProcessExit &m_exit;
};
