// Descriptor mode: where a resumed download continues, found by checking the
// file on disk against the descriptor (on a worker thread).
#include "DownloadEngine.h"

#include "ExistingFileCheck.h"

#include <util/Paths.h>

void DownloadEngine::planResume()
{
    // A repair that did not finish (paused, or its block failed in flight)
    // leaves a bad block inside the file: its length proves nothing then.
    if (!fileKnownGood() || m_repairMode)
        checkExistingFile([this](qint64 goodLength) { afterFirstCheck(goodLength); });
    else
        afterFirstCheck(fileLength());
}

// What is on disk was checked or written block by block, unless a pause cut
// the last check short or an attempt wrote over a longer file and stopped
// before its old end (the old bytes after it are unchecked).
bool DownloadEngine::fileKnownGood() const
{
    return !m_checkInterrupted && fileLength() == m_verifiedEnd;
}

void DownloadEngine::afterFirstCheck(qint64 verifiedLength)
{
    if (m_repairMode)
        m_position = verifiedLength;
    if (fileLength() == m_job.expectedSize() && m_repairs > 0 && !m_repairMode) {
        log(QStringLiteral("Full data verification check due to previous file repairs..."));
        // The full check is the newer word on where the good data ends.
        checkExistingFile([this](qint64 goodLength) {
            m_position = goodLength;
            settleResumeOffset(goodLength);
        });
        return;
    }
    settleResumeOffset(verifiedLength);
}

void DownloadEngine::settleResumeOffset(qint64 verifiedLength)
{
    if (m_position != verifiedLength) {
        m_position = verifiedLength;
    } else if (m_position == m_job.expectedSize()) {
        completeVerified();
        return;
    }
    // Checks work on whole blocks (whole chunks with strong hashes): continue
    // at the start of the one that holds the offset.
    if (m_position != m_job.expectedSize())
        m_position -= m_position % (m_repairMode ? BlockSize : resumeGranule());
    sendRequest();
}

void DownloadEngine::completeVerified()
{
    if (!madeDurable() || awaitWholeFileHash([this] { completeVerified(); }))
        return;
    const QString complete = QStringLiteral("File complete and verified!");
    emit statusChanged(complete);
    emit captionChanged(complete);
    setState(State::Verified);
    log(QStringLiteral("Your file has been verified, and is ready for use!"));
}

// Checks the destination and hands the offset up to which it is good to
// `then`, unless the check is cancelled first.
void DownloadEngine::checkExistingFile(std::function<void(qint64)> then)
{
    closeFiles();
    if (!regularFileExists(m_job.destination)) {
        notify({QStringLiteral("Source file is missing!"), {}, false});
        then(0);
        return;
    }
    if (!announceCheck())
        return;
    m_afterCheck = std::move(then);
    m_check->start(m_job.destination, m_job.descriptorPath, m_job.descriptor.version, m_job.strongHashes);
}

// Shows that a check of the file begins; false (and the program is to end)
// when the descriptor it needs is gone.
bool DownloadEngine::announceCheck()
{
    if (!regularFileExists(m_job.descriptorPath)) {
        stop();
        notify({QStringLiteral("Orvanta Downloader file is missing!"), {}, true});
        return false;
    }
    emit checkProgressed(0, m_job.expectedSize());
    announceVerifying();
    setState(State::Checking);
    m_checkInterrupted = false;
    return true;
}

void DownloadEngine::onCheckFinished(const BlockScanResult &result)
{
    if (m_state != State::Checking || !m_afterCheck)
        return;
    // The bar ends where the last good block ends, as a block-by-block
    // check would have left it.
    const bool whole = !result.mismatch && !result.error;
    const qint64 reached = whole ? (result.fileLength + BlockSize - 1) / BlockSize * BlockSize : result.goodLength;
    emit checkProgressed(reached <= m_job.expectedSize() ? reached : 0, m_job.expectedSize());
    if (result.error)
        log(*result.error);  // unreadable: nothing past the good part can be trusted
    m_fileHashConfirmed = result.wholeFileMatches.value_or(false);
    if (result.mismatch) {
        if (result.chunkMismatch) {
            // Every block passed its CRC: one block fetched again would not
            // mend the chunk, so all of it comes again.
            log(QStringLiteral("SHA-256 error in current file. Will download again from the bad chunk..."));
        } else if (m_repairs >= RepairLimit) {
            log(QStringLiteral("Too many CRC errors in current file. Will download remainder..."));
        } else {
            m_repairMode = true;
            log(QStringLiteral("CRC error in current file. Will attempt to repair..."));
        }
    }
    m_verifiedEnd = result.goodLength;
    const auto then = std::move(m_afterCheck);
    m_afterCheck = nullptr;
    then(result.goodLength);
}
