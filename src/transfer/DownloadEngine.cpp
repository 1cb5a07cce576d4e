#include "DownloadEngine.h"

#include "BlockRecord.h"
#include "ExistingFileCheck.h"
#include "ResponseVerdict.h"
#include "ResumeValidator.h"

#include <descriptor/Crc32.h>
#include <util/Format.h>
#include <util/Paths.h>

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>

namespace {

const QString kInterrupted = QStringLiteral("Transfer interrupted by user.");

} // namespace

DownloadEngine::DownloadEngine(HttpClient &http, QObject *parent)
    : QObject(parent), m_http(http), m_check(new ExistingFileCheck(this))
{
    m_clock = [] {
        using namespace std::chrono;
        return duration<double>(steady_clock::now().time_since_epoch()).count();
    };
    m_freeSpace = freeDiskSpace;
    m_retryTimer.setSingleShot(true);
    m_retryTimer.setInterval(std::chrono::seconds(30));
    m_resumeTimer.setSingleShot(true);
    m_resumeTimer.setInterval(std::chrono::milliseconds(52));
    connect(&m_retryTimer, &QTimer::timeout, this, &DownloadEngine::restart);
    connect(&m_resumeTimer, &QTimer::timeout, this, &DownloadEngine::restart);
    connect(m_check, &ExistingFileCheck::progressed, this, [this](qint64 p) {
        emit checkProgressed(p <= m_job.expectedSize() ? p : 0, m_job.expectedSize());
    });
    connect(m_check, &ExistingFileCheck::finished, this, &DownloadEngine::onCheckFinished);
    connect(m_check, &ExistingFileCheck::mapped, this, &DownloadEngine::onMapped);
    connect(m_check, &ExistingFileCheck::wholeFileHashed, this, &DownloadEngine::onWholeFileHashed);
    connect(&m_http, &HttpClient::responseReceived, this, &DownloadEngine::onResponse);
    connect(&m_http, &HttpClient::dataReceived, this, &DownloadEngine::onData);
    connect(&m_http, &HttpClient::finished, this, &DownloadEngine::onFinished);
}

DownloadEngine::~DownloadEngine()
{
    m_http.cancel();
    closeFiles();
}

bool DownloadEngine::isBusy() const
{
    return m_state == State::Checking || m_state == State::Connecting || m_state == State::Receiving;
}

void DownloadEngine::setState(State state)
{
    if (m_state == state)
        return;
    m_state = state;
    emit stateChanged(state);
}

void DownloadEngine::log(const QString &text)
{
    m_loggedBefore = true;
    emit logLine(text);
}

// --- Commands ----------------------------------------------------------------

void DownloadEngine::start(const DownloadJob &job)
{
    stop();
    m_job = job;
    // What was learnt about another job's file says nothing about this one.
    m_verifiedEnd = -1;
    m_repairMode = false;
    m_keptMap.reset();
    m_droppedServers.clear();
    m_fileHashConfirmed = false;
    m_checkInterrupted = false;
    m_forgedChunks.clear();
    m_spaceNoticeShown = false;
    beginAttempt();
}

void DownloadEngine::pause()
{
    if (!isBusy() && m_state != State::WaitingToRetry)
        return;
    const bool receiving = m_state == State::Receiving;
    // A check cut short proves nothing about the file.
    m_checkInterrupted = m_state == State::Checking;
    emit statusChanged(kInterrupted);
    log(kInterrupted);
    m_http.cancel();
    m_check->cancel();
    m_afterCheck = nullptr;
    m_retryTimer.stop();
    dropPool();
    closeFilesLogged();
    setState(State::Paused);
    if (receiving)
        emit receivingEnded(progress());
}

void DownloadEngine::resume()
{
    if (m_state != State::Paused)
        return;
    setState(State::Resuming);
    m_resumeTimer.start();
}

void DownloadEngine::resume(const DownloadJob &amended)
{
    if (m_state != State::Paused)
        return;
    m_job = amended;
    resume();
}

void DownloadEngine::stop()
{
    m_http.cancel();
    dropPool();
    m_check->cancel();
    m_afterCheck = nullptr;
    m_retryTimer.stop();
    m_resumeTimer.stop();
    m_restartDue = false;
    closeFilesLogged();
    setState(State::Idle);
}

void DownloadEngine::setRestartsHeld(bool held)
{
    m_restartsHeld = held;
    if (!held && m_restartDue) {
        m_restartDue = false;
        restart();
    }
}

void DownloadEngine::restart()
{
    if (m_restartsHeld) {
        m_restartDue = true;
        return;
    }
    if (m_state != State::WaitingToRetry && m_state != State::Resuming)
        return;
    beginAttempt();
}

// --- One attempt -----------------------------------------------------------------

void DownloadEngine::beginAttempt()
{
    const QString &destination = m_job.destination;
    m_destinationName = QFileInfo(destination).fileName();
    closeFiles();
    m_resuming = false;
    m_position = 0;
    emit attemptStarted();
    if (regularFileExists(destination)) {
        m_position = QFileInfo(destination).size();
        m_resuming = m_position != 0;
        const std::optional<BlockWriter::Failure> failure = m_resuming ? std::nullopt : removeFile(destination);
        if (failure) {
            reportDiskError(*failure);
            return;
        }
    }
    if (!m_resuming)
        m_verifiedEnd = 0;  // nothing on disk yet
    if (m_job.checked() && !enoughSpaceFor(m_job.expectedSize()))
        return;
    beginCycle();
}

// Only the bytes still to come need room, and a filesystem that cannot
// tell is not taken for a full one.
bool DownloadEngine::enoughSpaceFor(qint64 total)
{
    const QFileInfo destination(m_job.destination);
    const qint64 needed = total - (usesAllServers() ? bytesInPlace() : fileLength());
    if (needed <= 0 || !destination.isAbsolute())
        return true;
    const std::optional<qint64> free = m_freeSpace(destination.absolutePath());
    if (!free || *free >= needed)
        return true;
    // Space may be freed meanwhile, so the retries go on; the box needs an
    // answer and comes once per download, the reason stays in the window.
    if (!std::exchange(m_spaceNoticeShown, true))
        notify({QStringLiteral("There is not enough free space on the selected disk for this file. "
                               "Please free up some disk space and try again, or try another location."),
                QStringLiteral("Insufficient Disk Space..."), false});
    report({DownloadFailure::Kind::Transfer, QStringLiteral("There is not enough free space on the selected disk for this file."),
            QStringLiteral("%1 more are needed, the disk has %2 free.").arg(formatByteSize(double(needed)), formatByteSize(double(*free))),
            true, TransferError{TransferError::Origin::Disk, ENOSPC, QString::fromLocal8Bit(std::strerror(ENOSPC))}});
    return false;
}

// A repair cycle comes back here with the offset it reached.
void DownloadEngine::beginCycle()
{
    if (m_loggedBefore)
        log(QStringLiteral("----------"));
    if (usesAllServers()) {
        beginPoolCycle();
        return;
    }
    if (m_resuming && m_job.checked()) {
        planResume();
        return;
    }
    if (m_resuming && resumeCutShortHash())
        return;
    if (m_resuming)
        m_position = fileLength();
    sendRequest();
}

void DownloadEngine::sendRequest()
{
    if (m_resuming) {
        const QString resuming = QStringLiteral("Resuming download...");
        emit statusChanged(resuming);
        emit captionChanged(resuming);
        m_startPosition = m_position;
    } else {
        emit statusChanged(QStringLiteral("Getting file information..."));
    }
    if (m_job.checked()) {
        if (auto failure = m_checksums.open(m_job.descriptorPath)) {
            reportTransferError({TransferError::Origin::Descriptor, 53, *failure});
            return;
        }
        m_checksums.seekBlock(m_position / BlockSize);
        if (!beginChunkCheck())
            return;
    }
    m_answered = false;
    m_truncateFirst = false;
    setState(State::Connecting);

    HttpRequest request;
    request.url = m_job.sourceUrl;
    if (m_job.appendStartOffset)
        request.url += QStringLiteral("&start=") + QString::number(m_position);
    // A repair asks for its one block; a URL resume for the same version of
    // the file it continues.
    m_blockOnly = m_resuming && m_job.checked() && m_repairMode;
    if (m_resuming) {
        request.rangeStart = m_position;
        if (m_blockOnly)
            request.rangeEnd = std::min(m_position + BlockSize, m_job.expectedSize()) - 1;
        // Block checksums pin a described file's content, whichever server
        // sends it; another mirror's ETag or date must not cost good blocks.
        if (!m_job.checked())
            request.ifRange = storedValidator(m_job.destination);
    }
    m_requestUrl = request.url;
    log(QStringLiteral("Connecting..."));
    m_http.start(request);
    log(QStringLiteral("Waiting for initial response from server..."));
}

// --- The answer ------------------------------------------------------------------

void DownloadEngine::onResponse(const HttpResponse &head)
{
    if (m_state != State::Connecting)
        return;
    m_answered = true;
    judge(head);
}

// `error`: why a request ended without any answer.
void DownloadEngine::judge(const std::optional<HttpResponse> &head, const std::optional<TransferError> &error)
{
    using Action = ResponseVerdict::Action;
    emit statusChanged(QStringLiteral("Saving:"));
    emit receivingFrom(m_job.destination, head ? head->effectiveUrl : m_requestUrl);
    log(QStringLiteral("Reading response from server..."));
    const ResponseVerdict verdict = judgeResponse(head, m_resuming ? m_position : -1, m_job.checked());
    switch (verdict.action) {
    case Action::RestartFromZero:
        log(verdict.message);
        m_resuming = false;
        // The whole file is coming: a repair becomes a download over the
        // file in place, every block checked; a URL download starts its file
        // again once the answer is accepted.
        m_repairMode = false;
        m_truncateFirst = !m_job.checked();
        if (m_job.checked()) {
            m_checksums.seekBlock(0);
            m_verifiedEnd = 0;  // the file is rewritten from its start, over what it held
        }
        acceptBody(*head);
        return;
    case Action::Receive:
        if (!verdict.message.isEmpty())
            log(verdict.message);
        acceptBody(*head);
        return;
    case Action::NothingLeft:
        notify({QStringLiteral("The server reports that there are no more bytes to be downloaded because "
                                             "your existing file is at least the same size as the one on the server. "
                                             "If you need to re-download the file, select the Overwrite option when "
                                             "trying again."),
                              {}, false});
        report({DownloadFailure::Kind::NothingLeft, verdict.message, verdict.reason, false, std::nullopt});
        return;
    case Action::Stop:
    case Action::Retry:
        // No answer at all is the connection's failure, not the server's.
        report({head ? DownloadFailure::Kind::Answer : DownloadFailure::Kind::Transfer, verdict.message,
                error ? error->text : verdict.reason,
                verdict.action == Action::Retry && (!error || error->transient()), error});
        return;
    }
}

void DownloadEngine::acceptBody(const HttpResponse &head)
{
    m_startTime = m_clock() - 1.0;
    // A range answer says the file's size in its Content-Range. A server may
    // send a shorter range than asked: taking its length as the rest of the
    // file would call a short file complete, so the rest is fetched later.
    m_total = head.status == 206 && head.rangeTotal
                  ? *head.rangeTotal
                  : head.contentLength.value_or(0) + (m_resuming ? m_position : 0);
    // A URL whose server does not announce the size is read to the end of
    // its body: taking it as empty would report a download that never
    // happened as complete.
    m_unannounced = !head.contentLength.has_value() && !m_job.checked();
    m_publishedDigest = m_job.checked() ? std::nullopt : head.sha256;
    m_sizeKnown = !m_unannounced;
    if (!sizeAccepted(head))
        return;
    if (!m_resuming)
        m_position = 0;
    if (m_truncateFirst && regularFileExists(m_job.destination)) {
        if (auto failure = truncateToZero(m_job.destination)) {
            reportDiskError(*failure);
            return;
        }
    }
    if (m_total == 0 && m_sizeKnown) {
        m_http.cancel();
        conclude();
        return;
    }
    if (!openDestination(head))
        return;
    emit receivingStarted(m_total, m_sizeKnown);
    log(QStringLiteral("Saving data to disk..."));
    setState(State::Receiving);
}

// Only the described file can end as "verified", and only a file that fits
// is begun. Nothing on disk has changed yet.
bool DownloadEngine::sizeAccepted(const HttpResponse &head)
{
    if (m_job.checked() && m_total != m_job.expectedSize()) {
        report({DownloadFailure::Kind::Answer, QStringLiteral("The file on the server is not the size the descriptor gives."),
                head.contentLength ? QStringLiteral("The server's answer gives the file %1 bytes; the descriptor gives %2.")
                                         .arg(m_total)
                                         .arg(m_job.expectedSize())
                                   : QStringLiteral("The server did not announce the file's size."),
                false, std::nullopt});
        return false;
    }
    return !m_sizeKnown || m_job.checked() || enoughSpaceFor(m_total);
}

// Opens the destination for the accepted answer; a file begun by it is
// pinned to the answer's version.
bool DownloadEngine::openDestination(const HttpResponse &head)
{
    if (auto failure = m_writer.open(m_job.destination)) {
        reportDiskError(*failure);
        return false;
    }
    if (!m_resuming)
        keepValidator(resumeValidator(head));
    return true;
}

// --- The body --------------------------------------------------------------------

void DownloadEngine::onData(QByteArrayView data)
{
    if (m_state != State::Receiving)
        return;
    // Whole blocks up to the announced end (the last one may run past it,
    // which the end of the attempt reports).
    if (m_sizeKnown)
        data = data.first(std::min(data.size(), (m_total - m_position + BlockSize - 1) / BlockSize * BlockSize));
    if (!takeRun(data))
        return;
    emit progressed(progress());
    if (m_sizeKnown && m_position >= m_total)
        finishReceiving();
}

// Checks the run's blocks and writes the good ones in one piece; false when
// the run ended the attempt.
bool DownloadEngine::takeRun(QByteArrayView run)
{
    qsizetype good = run.size();
    bool mismatch = false;
    if (m_job.checked()) {
        good = 0;
        while (good < run.size() && !(m_repairMode && good > 0)) {
            const QByteArrayView block = run.sliced(good, std::min(BlockSize, run.size() - good));
            const std::optional<quint32> expected = m_checksums.next();
            if (!expected || *expected != quint32(blockCrc32(block, m_job.descriptor.version))) {
                mismatch = true;
                break;
            }
            good += block.size();
        }
    }
    if (good > 0) {
        if (auto failure = m_writer.write(m_position, run.first(good))) {
            // Blocks that waited may be lost with it: the figures show where
            // the file ends.
            m_position = std::min(m_position, fileLength());
            reportDiskError(*failure);
            return false;
        }
        if (m_job.checked() && m_position <= m_verifiedEnd)
            m_verifiedEnd = std::max(m_verifiedEnd, m_position + good);
        m_position += good;
        if (!chunkWritten(m_position - good, run.first(good)))
            return false;
    }
    if (mismatch) {
        // The bad block is not written: the file keeps only blocks that passed.
        report({DownloadFailure::Kind::Checksum, QStringLiteral("CRC error in bytes retrieved. Rolling back to retry..."),
                QStringLiteral("The block at byte %1 did not match its checksum in the descriptor.").arg(m_position),
                true, std::nullopt});
        return false;
    }
    if (m_job.checked() && m_repairMode && good > 0) {
        emit progressed(progress());
        endRepairCycle();
        return false;
    }
    return true;
}

void DownloadEngine::onFinished(const std::optional<TransferError> &error)
{
    if (m_state == State::Connecting) {
        judge(std::nullopt, error);  // no answer at all
        return;
    }
    if (m_state != State::Receiving)
        return;
    if (error) {
        reportTransferError(*error);
    } else if (!m_sizeKnown) {
        m_total = m_position;
        m_sizeKnown = true;
        finishReceiving();
    } else if (m_position < m_total) {
        reportTransferError({TransferError::Origin::Network, 0,
                             QStringLiteral("The server closed the connection before the whole file arrived")});
    } else {
        finishReceiving();
    }
}

// Drops the rest of the answer and closes the destination with every good
// block on disk; false (reported) when the last write failed.
bool DownloadEngine::closeBody()
{
    m_http.cancel();
    if (auto failure = m_writer.close()) {
        reportDiskError(*failure);
        return false;
    }
    closeFiles();
    return true;
}

// One bad block was rewritten: the file is checked again from its start.
void DownloadEngine::endRepairCycle()
{
    if (!closeBody())
        return;
    ++m_repairs;
    m_repairMode = false;
    beginCycle();
}

void DownloadEngine::finishReceiving()
{
    if (!closeBody())
        return;
    emit receivingEnded(progress());
    conclude();
}

void DownloadEngine::conclude()
{
    closeFiles();
    if (m_position != m_total) {
        // The body ran past the announced size: the file cannot be judged
        // complete, and asking again would give the same answer.
        const QString text = QStringLiteral("The server sent more data than it announced.");
        report({DownloadFailure::Kind::Answer, text, text, false, std::nullopt});
        return;
    }
    if (m_total > 0 && !madeDurable())
        return;
    if (awaitWholeFileHash([this] { conclude(); }))
        return;
    logUrlCheck();
    // Without an announced size, a connection that broke off looks the same
    // as the end of the file: nothing can be called verified then.
    emit statusChanged(m_unannounced ? QStringLiteral("Download completed (size not announced by the server, not verified).")
                                     : QStringLiteral("Download completed and verified!"));
    setState(State::Completed);
    log(m_unannounced ? QStringLiteral("Your download has been completed, but the server did not announce its size, so "
                                       "it could not be verified.")
                      : QStringLiteral("Your download has been completed and verified!"));
}

// The finished file is on the device, and needs no pin any more; false
// (reported) when it is gone or cannot be flushed.
bool DownloadEngine::madeDurable()
{
    std::optional<BlockWriter::Failure> failure;
    if (!regularFileExists(m_job.destination))
        failure = BlockWriter::Failure{ENOENT, QStringLiteral("The file was deleted while it was being written")};
    else
        failure = m_sync(m_job.destination);
    if (failure) {
        reportDiskError(*failure);
        return false;
    }
    keepValidator(QString());
    removeBlockRecord(m_job.destination);
    return true;
}

// --- Failures --------------------------------------------------------------------

void DownloadEngine::report(DownloadFailure failure)
{
    const bool receiving = m_state == State::Receiving;
    m_http.cancel();
    dropPool();
    closeFiles();
    // The window shows where the file on disk really ends.
    if (receiving)
        emit receivingEnded(progress());
    emit failed(failure);
    log(failure.message);
    if (!failure.reason.isEmpty() && !failure.message.contains(failure.reason))
        log(QStringLiteral("Reason: ") + failure.reason);
    if (!failure.retrying) {
        setState(State::Failed);
        return;
    }
    log(QStringLiteral("Preparing to try again in 30 seconds..."));
    emit statusChanged(QStringLiteral("Recovering from error. Retrying in 30 seconds..."));
    setState(State::WaitingToRetry);
    m_retryTimer.start();
}

// Retried only when waiting may mend it.
void DownloadEngine::reportTransferError(const TransferError &error, const QString &reason)
{
    report({DownloadFailure::Kind::Transfer, error.numberedText() + QLatin1Char('.'),
            reason.isEmpty() ? error.text : reason, error.transient(), error});
}

void DownloadEngine::reportDiskError(const BlockWriter::Failure &failure)
{
    m_verifiedEnd = -1;  // what reached the disk is uncertain
    reportTransferError({TransferError::Origin::Disk, failure.code, failure.description},
                        QStringLiteral("%1 (%2)").arg(failure.description, m_job.destination));
}

// --- Helpers ---------------------------------------------------------------------

// The window shows a notice in a message box, whose own event loop would
// deliver the rest of the request meanwhile: the request ends first.
void DownloadEngine::notify(const EngineNotice &notice)
{
    m_http.cancel();
    emit noticeRequested(notice);
}

// A pin that cannot be kept only costs a later resume its protection
// against another version: logged, not a failure.
void DownloadEngine::keepValidator(const QString &validator)
{
    if (const int error = storeValidator(m_job.destination, validator))
        log(QStringLiteral("Could not keep the file's version with it: %1").arg(QString::fromLocal8Bit(std::strerror(error))));
}

// Writes what waits before the files close; a failure is logged, since no
// attempt is left to report it to.
void DownloadEngine::closeFilesLogged()
{
    if (auto failure = m_writer.close()) {
        m_verifiedEnd = -1;  // the blocks that waited are lost: the file needs a check
        log(QStringLiteral("%1 (%2).").arg(TransferError{TransferError::Origin::Disk, failure->code, failure->description}.numberedText(),
                                          m_job.destination));
    }
    closeFiles();
}

void DownloadEngine::closeFiles()
{
    m_writer.close();
    m_checksums.close();
    m_chunkCheck.end();
}

qint64 DownloadEngine::fileLength() const
{
    return regularFileExists(m_job.destination) ? QFileInfo(m_job.destination).size() : 0;
}

TransferProgress DownloadEngine::progress() const
{
    TransferProgress p;
    p.position = m_position;
    p.total = m_total;
    p.sizeKnown = m_sizeKnown;
    p.destinationName = m_destinationName;
    const double elapsed = m_clock() - m_startTime;
    p.rate = double(m_resuming ? m_position - m_startPosition : m_position) / elapsed;
    p.timeLeft = m_sizeKnown ? double(m_total - m_position) / p.rate : 0.0;
    return p;
}
