#include "DownloadEngine.h"

#include "DownloadEngineImpl.h"
#include "HttpControl.h"

#include <util/ActivityLog.h>
#include <util/Dialogs.h>
#include <util/Format.h>
#include <util/Paths.h>
#include <util/ProcessExit.h>

#include <descriptor/Crc32.h>

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <chrono>
#include <cmath>

using namespace engine_text;
using Label = MainWindowModel::Label;

namespace {

// Marks an attempt as running for the span of one entry-point call.
class ActiveScope {
public:
    ActiveScope(bool &flag, std::function<void(bool)> notify) : m_flag(flag), m_notify(std::move(notify))
    {
        m_flag = true;
        m_notify(true);
    }
    ~ActiveScope()
    {
        m_flag = false;
        m_notify(false);
    }

private:
    bool &m_flag;
    std::function<void(bool)> m_notify;
};

// The leading whole number of a header value, rounded; nullopt when there
// is none.
std::optional<qint64> leadingNumber(const QString &value)
{
    static const QRegularExpression number(QStringLiteral("^\\s*(\\d+(?:\\.\\d*)?)"));
    const auto match = number.match(value);
    if (!match.hasMatch())
        return std::nullopt;
    return qint64(std::llround(match.captured(1).toDouble()));
}

// The first byte offset of a "Content-Range: bytes A-B/C" value, or -1.
qint64 contentRangeStart(const QString &value)
{
    static const QRegularExpression range(QStringLiteral("^\\s*bytes\\s+(\\d+)\\s*-"),
                                          QRegularExpression::CaseInsensitiveOption);
    const auto match = range.match(value);
    if (!match.hasMatch())
        return -1;
    bool ok = false;
    const qint64 start = match.captured(1).toLongLong(&ok);
    return ok ? start : -1;
}

qint64 fileLength(const QString &path) { return regularFileExists(path) ? QFileInfo(path).size() : 0; }

} // namespace

DownloadEngine::DownloadEngine(MainWindowModel &view, HttpControl &inet, Dialogs &dialogs, ActivityLog &log,
                               ProcessExit &exit, QObject *parent)
    : QObject(parent),
      d(std::make_unique<Impl>()),
      m_alive(std::make_shared<bool>(true)),
      m_view(view),
      m_inet(inet),
      m_dialogs(dialogs),
      m_log(log),
      m_exit(exit)
{
    clock = [] {
        using namespace std::chrono;
        return duration<double>(steady_clock::now().time_since_epoch()).count();
    };
    freeSpace = [](const QString &path) { return double(freeDiskSpace(path).value_or(std::numeric_limits<qint64>::max())); };

    Timer1.setInterval(1000);
    RetryTimer.setInterval(30000);
    RetryTimer.setSingleShot(true);
    ResumeTimer.setInterval(52);
    ResumeTimer.setSingleShot(true);
    connect(&Timer1, &QTimer::timeout, this, &DownloadEngine::Timer1_Timer);
    connect(&RetryTimer, &QTimer::timeout, this, &DownloadEngine::RetryTimer_Timer);
    connect(&ResumeTimer, &QTimer::timeout, this, &DownloadEngine::ResumeTimer_Timer);
    Timer1.start();

    // Data accepted for the disk reaches it even when the program ends in
    // the middle of a transfer.
    std::weak_ptr<bool> alive = m_alive;
    m_exit.addFlush([this, alive] {
        if (alive.lock())
            flushPendingWrites();
    });
}

DownloadEngine::~DownloadEngine() { closeAllFiles(); }

void DownloadEngine::flushPendingWrites()
{
    if (d->writer.isOpen())
        d->writer.flush();
}

void DownloadEngine::closeAllFiles()
{
    d->writer.close();
    d->crcList.close();
}

bool DownloadEngine::DownloadFile(const QString &strURL, const QString &strDestination, const QString &UserName,
                                  const QString &Password)
{
    return runAttempt(Mode::Descriptor, strURL, strDestination, UserName, Password);
}

bool DownloadEngine::DownloadFileFromURL(const QString &strURL, const QString &strDestination,
                                         const QString &UserName, const QString &Password)
{
    return runAttempt(Mode::URL, strURL, strDestination, UserName, Password);
}

void DownloadEngine::ScheduleRetry(const QString &Message, bool NoRetry)
{
    m_log.addQuietly(Message);
    if (!NoRetry) {
        closeAllFiles();
        m_log.add(QStringLiteral("Preparing to try again in 30 seconds..."));
        m_view.setText(Label::Status, QStringLiteral("Recovering from error. Retrying in 30 seconds..."));
        RetryPending = true;
        RetryTimer.start();
    }
    m_log.notifyChanged();
}

bool DownloadEngine::errorReport(Attempt &a, int code, const QString &description)
{
    closeAllFiles();
    if (!a.descriptor()) {
        m_view.setCmdURLEnabled(true);
        m_view.setCommand1Enabled(true);
    }
    a.LastMessage = QStringLiteral("Error %1: %2.").arg(code).arg(description);
    StopTransfer = true;
    ScheduleRetry(a.LastMessage, false);
    return false;
}

bool DownloadEngine::displayStep(Attempt &a, bool final)
{
    const auto duration = formatDuration(float(a.TimeLeft));
    if (!duration)
        return false;
    const QString copied = a.sizeKnown ? formatByteSize(double(a.Position)) + QStringLiteral(" of ") +
                                             formatByteSize(double(a.TotalSize))
                                       : formatByteSize(double(a.Position));
    m_view.setText(Label::Time, (a.sizeKnown ? *duration : QStringLiteral("Size unknown")) + QStringLiteral(" (") +
                                    copied + QStringLiteral(" copied)"));
    if (!final)
        m_view.setTrayTip(copied + QStringLiteral(" copied..."));
    const bool fast = !final && a.Rate >= 1048575.0;
    m_view.setText(Label::Rate, formatByteSize(a.Rate, fast ? QStringLiteral("###.00") : QStringLiteral("###")) +
                                    QStringLiteral("/Sec"));
    if (a.sizeKnown)
        m_view.setProgressValue(a.Position);
    const double fraction = a.TotalSize != 0 ? double(a.Position) / double(a.TotalSize) : 0.0;
    const QString done = a.sizeKnown ? formatWithPattern(fraction, QStringLiteral("##0%"))
                                     : formatByteSize(double(a.Position));
    m_view.setCaption(done + QStringLiteral(" of ") + a.destinationName + QStringLiteral(" Completed"));
    return true;
}

bool DownloadEngine::runAttempt(Mode mode, const QString &strURL, const QString &strDestination,
                                const QString &UserName, const QString &Password)
{
    // A restart never runs inside a running attempt.
    if (m_active)
        return false;
    ActiveScope active(m_active, [this](bool on) { emit activeChanged(on); });

    Attempt a;
    a.mode = mode;
    a.url = strURL;
    a.destination = strDestination;

    // Step 1: free space, for any destination whose folder can be named.
    if (a.descriptor() && QFileInfo(strDestination).isAbsolute()) {
        const double free = freeSpace(QFileInfo(strDestination).absolutePath());
        if (free < double(ExpectedSize)) {
            m_dialogs.messageBox(QStringLiteral("There is not enough free space on the selected disk for this file. "
                                                "Please free up some disk space and try again, or try another "
                                                "location."),
                                 Dialogs::Buttons::Ok, QStringLiteral("Insufficient Disk Space..."));
            return false;
        }
    }

    // Steps 2-4.
    StopTransfer = false;
    a.destinationName = QFileInfo(strDestination).fileName();
    flushPendingWrites();
    if (regularFileExists(strDestination)) {
        a.Position = QFileInfo(strDestination).size();
        if (a.Position != 0) {
            a.Resuming = true;
        } else {
            closeAllFiles();
            QFile::remove(strDestination);
        }
    }
    for (Label label : {Label::Source, Label::Time, Label::To, Label::Rate})
        m_view.setText(label, QString());

    for (;;) {
        // Step 5: a repair cycle comes back here.
        if (!m_log.isEmpty())
            m_log.add(QStringLiteral("----------"));

        // Step 6.
        if (a.Resuming) {
            if (a.descriptor()) {
                if (!chooseResumeOffset(a))
                    return false;
                // Checks work on whole blocks: continue at the start of the
                // block that holds the offset.
                if (a.Position != ExpectedSize)
                    a.Position -= a.Position % BlockSize;
            } else {
                a.Position = fileLength(strDestination);
            }
            m_view.setText(Label::Status, QStringLiteral("Resuming download..."));
            m_view.setCaption(QStringLiteral("Resuming download..."));
            a.StartPosition = a.Position;
            if (a.Position < 0)
                a.Position = 0;
        } else {
            m_view.setText(Label::Status, QStringLiteral("Getting file information..."));
        }

        // Step 7.
        if (a.descriptor()) {
            if (auto failure = d->crcList.open(DescriptorPath))
                return errorReport(a, 53, *failure);
            d->crcList.seekBlock(a.Position / BlockSize);
        }

        // Step 8.
        m_view.setCancelEnabled(true);
        m_view.setCommand1Enabled(false);
        m_inet.processEvents(false);

        // Steps 9-11.
        m_inet.setURL(UseStartParam ? strURL + QStringLiteral("&start=") + QString::number(a.Position) : strURL);
        m_inet.setUserName(UserName);
        m_inet.setPassword(Password);
        m_log.add(QStringLiteral("Connecting..."));
        if (a.Resuming)
            m_inet.Execute(QStringLiteral("Range: bytes=%1-\r\n").arg(a.Position));
        else
            m_inet.Execute();
        m_log.add(QStringLiteral("Waiting for initial response from server..."));

        // Step 12.
        while (m_inet.StillExecuting()) {
            m_inet.processEvents(true);
            if (StopTransfer) {
                closeAllFiles();
                m_inet.Cancel();
                return false;
            }
        }

        // Step 13.
        m_view.setText(Label::Status, QStringLiteral("Saving:"));
        m_view.setText(Label::Source,
                       m_view.fitText(Label::Source, strDestination + QStringLiteral(" from ") + m_inet.requestAddress()));
        m_view.setText(Label::To, m_view.fitText(Label::To, strDestination));

        // Steps 14-15.
        const QString header = m_inet.GetHeader();
        m_log.add(QStringLiteral("Reading response from server..."));
        const QString StatusCode = header.mid(9, 3);
        const auto endOfCall = [&](const QString &text, bool noRetry) {
            a.LastMessage = text;
            StopTransfer = true;
            ScheduleRetry(text, noRetry);
            m_inet.Cancel();
            closeAllFiles();
            return false;
        };
        if (StatusCode == QLatin1String("200")) {
            if (a.Resuming) {
                a.LastMessage = QStringLiteral("Could not resume. Starting from beginning of file.");
                m_log.add(a.LastMessage);
                d->writer.close();
                QFile::remove(strDestination);
                a.Resuming = false;
                if (a.descriptor())
                    d->crcList.seekBlock(0);
            }
        } else if (StatusCode == QLatin1String("206")) {
            // Bytes from anywhere but the requested offset would land in the
            // wrong place.
            const qint64 expectedStart = a.Resuming ? a.Position : 0;
            if (contentRangeStart(m_inet.GetHeader(QStringLiteral("Content-Range"))) != expectedStart)
                return endOfCall(QStringLiteral("The server resumed from the wrong position."), false);
            a.LastMessage = QStringLiteral("Entered resume mode successfully.");
            m_log.add(a.LastMessage);
        } else if (StatusCode == QLatin1String("204")) {
            return endOfCall(QStringLiteral("The server did not return any content."), true);
        } else if (StatusCode == QLatin1String("401")) {
            return endOfCall(QStringLiteral("Authorization failed!"), true);
        } else if (StatusCode == QLatin1String("404")) {
            return endOfCall(QStringLiteral("File not found on server. Please check for a newer ddf file."), true);
        } else if (StatusCode == QLatin1String("416") && !a.descriptor()) {
            m_dialogs.messageBox(
                QStringLiteral("The server reports that there are no more bytes to be downloaded because your existing "
                               "file is at least the same size as the one on the server. If you need to re-download "
                               "the file, select the Overwrite option when trying again."),
                Dialogs::Buttons::Ok);
            a.LastMessage = QStringLiteral("No content to be download. File has already completed.");
            StopTransfer = true;
            ScheduleRetry(a.LastMessage, true);
            m_view.setCommand1Enabled(true);
            m_view.setCmdURLEnabled(true);
            m_inet.Cancel();
            closeAllFiles();
            return false;
        } else if (StatusCode == QLatin1String("\r\n")) {
            return endOfCall(QStringLiteral("Could not establish a connection to the server."), true);
        } else {
            return endOfCall(QStringLiteral("There was a problem making the proper connection..."), false);
        }

        // Step 16.
        a.StartTime = clock() - 1.0;
        const std::optional<qint64> contentLength = leadingNumber(m_inet.GetHeader(QStringLiteral("Content-Length")));
        a.TotalSize = contentLength.value_or(0);
        if (a.Resuming)
            a.TotalSize += a.Position;
        // A URL whose server does not announce the size is read to the end
        // of its body: taking it as empty would report a download that never
        // happened as complete.
        a.sizeKnown = contentLength.has_value() || a.descriptor();
        // Only the described file can end as "verified": a body of another
        // size (or of no stated size) cannot be it.
        if (a.descriptor() && a.TotalSize != ExpectedSize)
            return endOfCall(QStringLiteral("The file on the server is not the size the descriptor gives."), true);
        if (a.TotalSize != 0 || !a.sizeKnown) {
            // Step 17.
            m_view.setProgressValue(0);
            if (a.sizeKnown)
                m_view.setProgressMax(a.TotalSize);
            m_inet.processEvents(false);
            if (!a.Resuming)
                a.Position = 0;

            // Step 18.
            if (auto failure = d->writer.open(strDestination))
                return errorReport(a, failure->code, failure->description);
            m_log.add(QStringLiteral("Saving data to disk..."));

            // Step 19.
            bool repairCycleEnded = false;
            while (!a.sizeKnown || a.Position < a.TotalSize) {
                if (StopTransfer)
                    break;
                const HttpControl::Chunk chunk = m_inet.GetChunk(BlockSize, [this] { return StopTransfer; });
                if (chunk.status == HttpControl::Chunk::Status::Interrupted)
                    continue;
                if (chunk.status == HttpControl::Chunk::Status::Error)
                    return errorReport(a, chunk.errorCode, chunk.errorText);
                if (chunk.status == HttpControl::Chunk::Status::End && !a.sizeKnown) {
                    a.TotalSize = a.Position;
                    a.sizeKnown = true;
                    break;
                }
                if (chunk.status == HttpControl::Chunk::Status::End || chunk.data.isEmpty())
                    return errorReport(a, 0,
                                       QStringLiteral("The server closed the connection before the whole file arrived"));

                if (a.descriptor()) {
                    const std::optional<quint32> ExpectedCRC = d->crcList.next();
                    if (!ExpectedCRC || *ExpectedCRC != quint32(blockCrc32(chunk.data, DDF.version))) {
                        a.LastMessage = QStringLiteral("CRC error in bytes retrieved. Rolling back to retry...");
                        StopTransfer = true;
                        ScheduleRetry(a.LastMessage, false);
                        closeAllFiles();
                        return false;
                    }
                }
                if (auto failure = d->writer.write(a.Position, chunk.data))
                    return errorReport(a, failure->code, failure->description);
                if (a.descriptor())
                    FileVerified = false;
                a.Position += chunk.data.size();

                const double elapsed = clock() - a.StartTime;
                a.Rate = double(a.Resuming ? a.Position - a.StartPosition : a.Position) / elapsed;
                a.TimeLeft = a.sizeKnown ? double(a.TotalSize - a.Position) / a.Rate : 0.0;

                if (RefreshDue) {
                    if (!displayStep(a, false))
                        return errorReport(a, 6, QStringLiteral("Overflow"));
                    RefreshDue = false;
                } else if (a.sizeKnown) {
                    m_view.setProgressValue(a.Position);
                }

                if (a.descriptor() && RepairMode) {
                    // End of a repair cycle: the rest of the response is
                    // abandoned and the file is checked again.
                    StopTransfer = true;
                    if (auto failure = d->writer.close())
                        return errorReport(a, failure->code, failure->description);
                    closeAllFiles();
                    ++CRCErrorCount;
                    RepairMode = false;
                    m_inet.Cancel();
                    repairCycleEnded = true;
                    break;
                }
            }
            if (repairCycleEnded)
                continue;

            // Step 20.
            if (auto failure = d->writer.close())
                return errorReport(a, failure->code, failure->description);
            closeAllFiles();
            if (!displayStep(a, true))
                return errorReport(a, 6, QStringLiteral("Overflow"));
        }

        // Step 21.
        closeAllFiles();
        bool result = false;
        if (a.sizeKnown && a.Position == a.TotalSize) {
            m_view.setText(Label::Status, QStringLiteral("Download completed and verified!"));
            result = true;
            m_view.setProgressValue(0);
            m_view.setCancelCaption(QStringLiteral("Exit"));
            m_view.setCommand1Enabled(false);
            m_log.add(QStringLiteral("Your download has been completed and verified!"));
        } else if (!regularFileExists(strDestination)) {
            StopTransfer = true;
        } else if (!StopTransfer) {
            // The body ran past the announced size: the file cannot be
            // judged complete, and asking again would give the same answer.
            a.LastMessage = QStringLiteral("The server sent more data than it announced.");
            ScheduleRetry(a.LastMessage, true);
        }
        m_inet.Cancel();
        closeAllFiles();
        return result;
    }
}
