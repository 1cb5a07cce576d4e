// The strong hashes: each chunk of an extended descriptor checked as its
// blocks are written, the whole file hashed before it is called verified,
// and in URL mode the digest a server publishes.
#include "DownloadEngine.h"

#include "ExistingFileCheck.h"

#include <QUrl>

namespace {

// A server as the log names it: its host, and its port when the URL gives one.
QString serverName(const QString &url)
{
    const QUrl parsed(url);
    return parsed.port() >= 0 ? QStringLiteral("%1:%2").arg(parsed.host()).arg(parsed.port()) : parsed.host();
}

}  // namespace

// Opens the descriptor's chunk hashes for the attempt; false (reported) when
// it cannot be read.
bool DownloadEngine::beginChunkCheck()
{
    if (!m_job.strongHashes)
        return true;
    if (auto failure = m_chunkCheck.begin(m_job.descriptorPath, *m_job.strongHashes)) {
        reportTransferError({TransferError::Origin::Descriptor, 53, *failure});
        return false;
    }
    return true;
}

// `data` reached the file at `offset`; false (reported) when it completed a
// chunk that is not the one described. The chunk's blocks are then no
// longer counted good, so the next attempt checks the file and fetches them
// again. A server that does it a second time is not asked again by itself:
// the download stops until the user starts it or picks another server.
bool DownloadEngine::chunkWritten(qint64 offset, QByteArrayView data)
{
    m_fileHashConfirmed = false;
    const std::optional<ChunkVerifier::BadChunk> bad = m_chunkCheck.written(offset, data);
    if (!bad)
        return true;
    m_verifiedEnd = std::min(m_verifiedEnd, bad->start);
    const QString host = serverName(m_job.sourceUrl);
    const bool again = ++m_forgedChunks[host] < 2;
    report({DownloadFailure::Kind::Checksum,
            again ? QStringLiteral("SHA-256 error in bytes retrieved. Rolling back to retry...")
                  : QStringLiteral("Server %1 sent data other than the described file twice. Please choose another "
                                   "server.")
                        .arg(host),
            QStringLiteral("Chunk %1 (bytes %2 to %3) from server %4 passed its block CRCs but not its SHA-256 in the "
                           "descriptor: a mirror sent other data than the described file.")
                .arg(bad->chunk)
                .arg(bad->start)
                .arg(bad->end - 1)
                .arg(host),
            again, std::nullopt});
    return false;
}

// Resumes of an extended descriptor start at a chunk's start, so that every
// chunk fetched is hashed in memory as it arrives.
qint64 DownloadEngine::resumeGranule() const
{
    return m_job.checked() && m_job.strongHashes ? m_job.strongHashes->chunkSize : BlockSize;
}

// Starts hashing the whole file when it has a SHA-256 to match that has not
// been confirmed yet, and returns true: `then` runs when it matches.
bool DownloadEngine::awaitWholeFileHash(std::function<void()> then)
{
    std::optional<Sha256Digest> wanted;
    if (m_job.checked() && m_job.strongHashes)
        wanted = m_job.strongHashes->fileHash;
    else if (!m_job.checked())
        wanted = m_publishedDigest;
    if (!wanted || m_fileHashConfirmed)
        return false;
    if (m_job.checked())
        announceVerifying();
    setState(State::Checking);
    m_checkInterrupted = false;
    m_afterFileHash = std::move(then);
    m_check->startWholeFileHash(m_job.destination, *wanted);
    return true;
}

void DownloadEngine::onWholeFileHashed(bool matches, const std::optional<QString> &error)
{
    if (m_state != State::Checking || !m_afterFileHash)
        return;
    const auto then = std::move(m_afterFileHash);
    m_afterFileHash = nullptr;
    if (matches) {
        m_fileHashConfirmed = true;
        then();
        return;
    }
    if (error) {
        reportTransferError({TransferError::Origin::Disk, 0, *error});
        return;
    }
    m_verifiedEnd = -1;  // the next start checks every chunk again
    // Blocks from several servers at once are not hashed chunk by chunk: the
    // retry, from one server, checks the chunks and fetches the bad one again.
    const bool chunksUnchecked = usesAllServers();
    if (chunksUnchecked)
        m_job.useAllServers = false;
    const QString text = m_job.checked()
                             ? QStringLiteral("The file's SHA-256 does not match the descriptor's.")
                             : QStringLiteral("The file's SHA-256 does not match the digest the server published.");
    const QString reason =
        chunksUnchecked ? QStringLiteral("One of the servers used at once sent a block that kept its CRC-32 but not its "
                                         "chunk's SHA-256; the chunks are checked one by one from one server.")
        : m_job.checked() ? QStringLiteral("Every chunk matched, but the whole file did not: the descriptor or the file "
                                           "on disk changed during the download.")
                          : QStringLiteral("Server %1 sent other data than it describes.").arg(serverName(m_job.sourceUrl));
    report({DownloadFailure::Kind::Checksum, text, reason, chunksUnchecked, std::nullopt});
}

// URL mode: a pause cut short the hash of a body received whole. While the
// file keeps that length the hash is all that is left (a request would only
// hear that nothing is missing); true when it is started again.
bool DownloadEngine::resumeCutShortHash()
{
    if (m_job.checked() || !m_checkInterrupted || fileLength() != m_total)
        return false;
    const QString resuming = QStringLiteral("Resuming download...");
    emit statusChanged(resuming);
    emit captionChanged(resuming);
    m_position = m_total;
    conclude();
    return true;
}

// URL mode says what "verified" rests on.
void DownloadEngine::logUrlCheck()
{
    if (m_job.checked() || m_unannounced)
        return;
    log(m_publishedDigest ? QStringLiteral("The file's SHA-256 matches the digest the server published.")
                          : QStringLiteral("The server published no digest of the file: only its size was checked."));
}

// The window and the log say that the file is being checked.
void DownloadEngine::announceVerifying()
{
    const QString verifying = QStringLiteral("Verifying file integrity...");
    emit statusChanged(verifying);
    log(verifying);
    emit captionChanged(verifying);
}
