// Descriptor mode with every server at once: the file's blocks are mapped
// (from what is kept, or by checking the file), then a pool of sources
// fetches what is missing.
#include "DownloadEngine.h"

#include "BlockRecord.h"
#include "ExistingFileCheck.h"

#include <util/Paths.h>

#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QUrl>

#include <cstring>
#include <sys/stat.h>

namespace {

qint64 modifiedTime(const QString &path)
{
    return QFileInfo(path).lastModified().toMSecsSinceEpoch();
}

QString serversText(qsizetype count)
{
    return count == 1 ? QStringLiteral("1 server") : QStringLiteral("%1 servers").arg(count);
}

QString savingText(int servers)
{
    return QStringLiteral("Saving from %1:").arg(serversText(servers));
}

} // namespace

bool DownloadEngine::usesAllServers() const
{
    if (!m_job.checked() || !m_job.useAllServers || !m_makeClient)
        return false;
    const QStringList entries = serverEntries(m_job.descriptor);
    QSet<QString> hosts;
    for (qsizetype i = 0; i < entries.size(); ++i) {
        const QUrl url(entryUrl(entries, i));
        if (url.isValid() && (url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https")))
            hosts.insert(url.authority().toLower());
    }
    return hosts.size() >= 2;
}

// The chosen server first, then the others in the descriptor's order; one
// per host (a mirror is somebody's shared machine), none dropped before.
std::vector<SourceAddress> DownloadEngine::poolServers() const
{
    const QStringList entries = serverEntries(m_job.descriptor);
    std::vector<qsizetype> order{m_job.serverIndex};
    for (qsizetype i = 0; i < entries.size(); ++i)
        if (i != m_job.serverIndex)
            order.push_back(i);
    std::vector<SourceAddress> servers;
    QSet<QString> hosts;
    for (const qsizetype i : order) {
        if (i < 0 || i >= entries.size())
            continue;
        const QString address = i == m_job.serverIndex ? m_job.sourceUrl : entryUrl(entries, i);
        const QUrl url(address);
        const QString host = url.authority().toLower();
        if (!url.isValid() || (url.scheme() != QLatin1String("http") && url.scheme() != QLatin1String("https")) ||
            hosts.contains(host) || m_droppedServers.contains(address))
            continue;
        hosts.insert(host);
        servers.push_back({serverDisplayName(entries[i]), address});
    }
    return servers;
}

// What the file holds on the disk: several servers write it out of order,
// and the gaps between what they wrote take no room yet.
qint64 DownloadEngine::bytesInPlace() const
{
    struct stat info {};
    if (::stat(QFile::encodeName(m_job.destination).constData(), &info) != 0)
        return 0;
    return std::min<qint64>(info.st_size, qint64(info.st_blocks) * 512);
}

void DownloadEngine::beginPoolCycle()
{
    if (!m_resuming) {
        startPool(BlockMap(m_job.expectedSize()));
        return;
    }
    if (std::optional<BlockMap> kept = keptMap()) {
        // Known from this run: nothing to check, and its gaps are no errors.
        if (kept->complete() && fileLength() == m_job.expectedSize())
            completeVerified();
        else
            startPool(std::move(*kept));
        return;
    }
    if (!announceCheck())
        return;
    std::optional<BlockMap> record = loadBlockRecord(m_job.destination, m_job.expectedSize());
    if (record)
        log(QStringLiteral("The file keeps a record of its good blocks: only the rest is checked."));
    m_check->startMapping(record ? std::move(*record) : BlockMap(m_job.expectedSize()), m_job.destination,
                          m_job.descriptorPath, m_job.descriptor.version);
}

void DownloadEngine::onMapped(const BlockMapScanResult &result)
{
    if (result.error)
        log(*result.error);
    if (result.knownRejected)
        log(QStringLiteral("The record does not fit the file: every block was checked."));
    const BlockMap &map = result.map;
    if (map.complete() && fileLength() == m_job.expectedSize()) {
        completeVerified();
        return;
    }
    // Bad blocks inside the file are repaired with the rest, from every server.
    const qint64 length = std::min(fileLength(), map.fileSize());
    for (qint64 k = 0; k * BlockSize < length; ++k) {
        if (!map.isGood(k)) {
            log(QStringLiteral("CRC error in current file. Will attempt to repair..."));
            break;
        }
    }
    startPool(map);
}

void DownloadEngine::startPool(BlockMap map)
{
    const std::vector<SourceAddress> servers = poolServers();
    if (servers.empty()) {
        report({DownloadFailure::Kind::Transfer, QStringLiteral("No server is left to fetch the file from."),
                QStringLiteral("Every server of the descriptor was dropped for this download."), false, std::nullopt});
        return;
    }
    const QString resuming = QStringLiteral("Resuming download...");
    emit statusChanged(m_resuming ? resuming : QStringLiteral("Getting file information..."));
    if (m_resuming)
        emit captionChanged(resuming);
    if (auto failure = m_writer.open(m_job.destination)) {
        reportDiskError(*failure);
        return;
    }
    // The file now fills out of order: only the map knows what is good. With
    // SHA-256 chunks, blocks from several servers do not arrive as one
    // stream to hash: the whole file is hashed before it is called verified.
    m_verifiedEnd = -1;
    m_fileHashConfirmed = false;
    m_keptMap.reset();
    m_total = m_job.expectedSize();
    m_position = m_startPosition = map.goodBytes();
    m_sizeKnown = true;
    m_unannounced = false;
    m_resuming = true;  // the rate counts what this attempt brings
    m_startTime = m_clock() - 1.0;
    m_recordTime = m_clock();
    m_pool = std::make_unique<SourcePool>(std::move(map), servers,
                                          SourcePool::File{m_job.descriptorPath, m_job.descriptor.version, m_job.appendStartOffset},
                                          m_writer, m_makeClient);
    m_pool->setClock(m_clock);
    m_pool->setRetryDelay(std::chrono::duration_cast<std::chrono::milliseconds>(m_retryTimer.intervalAsDuration()));
    connect(m_pool.get(), &SourcePool::logLine, this, &DownloadEngine::log);
    connect(m_pool.get(), &SourcePool::inUseChanged, this, &DownloadEngine::showServersInUse);
    connect(m_pool.get(), &SourcePool::receiving, this, &DownloadEngine::onPoolReceiving);
    connect(m_pool.get(), &SourcePool::progressed, this, [this] {
        m_position = m_pool->map().goodBytes();
        emit progressed(progress());
        if (m_clock() - m_recordTime >= RecordInterval)
            keepRecord(m_pool->map());
    });
    connect(m_pool.get(), &SourcePool::ended, this, &DownloadEngine::onPoolEnded);
    setState(State::Connecting);
    log(QStringLiteral("Connecting to %1 at once...").arg(serversText(qsizetype(servers.size()))));
    m_pool->start();
}

void DownloadEngine::onPoolReceiving()
{
    emit statusChanged(savingText(m_serversInUse));
    emit receivingFrom(m_job.destination, serversText(m_serversInUse));
    emit receivingStarted(m_total, true);
    log(QStringLiteral("Saving data to disk..."));
    setState(State::Receiving);
}

void DownloadEngine::showServersInUse(int count)
{
    if (count == m_serversInUse)
        return;
    m_serversInUse = count;
    emit serversInUseChanged(count);
    if (m_state == State::Receiving && count > 0)
        emit statusChanged(savingText(count));
}

void DownloadEngine::onPoolEnded(const SourcePool::Outcome &outcome)
{
    dropPool();
    if (outcome.diskFailure) {
        reportDiskError(*outcome.diskFailure);
        return;
    }
    if (auto failure = m_writer.close()) {
        reportDiskError(*failure);
        return;
    }
    if (!outcome.complete) {
        report({DownloadFailure::Kind::Transfer, QStringLiteral("Every server failed."), outcome.reason,
                outcome.retrying, std::nullopt});
        return;
    }
    m_position = m_total;
    emit receivingEnded(progress());
    conclude();
}

// Stops the pool (if one runs) with every block it wrote on disk, and
// keeps its map for the next attempt.
void DownloadEngine::dropPool()
{
    if (!m_pool)
        return;
    m_pool->stop();
    m_pool->disconnect(this);
    m_droppedServers += m_pool->dropped();  // also across a pause
    // Deleted later: this may run inside one of the pool's own signals.
    SourcePool *pool = m_pool.release();
    pool->deleteLater();
    showServersInUse(0);
    if (keepRecord(pool->map()))
        keepMap(pool->map());
}

// Records the good blocks with the file once they have all reached the
// system; false (logged) when the writer could not get them there.
bool DownloadEngine::keepRecord(const BlockMap &map)
{
    m_recordTime = m_clock();
    if (auto failure = m_writer.flush()) {
        log(QStringLiteral("Error %1: %2 (%3).").arg(failure->code).arg(failure->description, m_job.destination));
        return false;  // what reached the disk is uncertain: the next attempt checks the file
    }
    if (const int error = storeBlockRecord(m_job.destination, map))
        log(QStringLiteral("Could not keep the record of good blocks with the file: %1").arg(QString::fromLocal8Bit(std::strerror(error))));
    return true;
}

void DownloadEngine::keepMap(const BlockMap &map)
{
    m_keptMap = KeptMap{map, fileLength(), modifiedTime(m_job.destination)};
}

std::optional<BlockMap> DownloadEngine::keptMap() const
{
    if (!m_keptMap || m_keptMap->map.fileSize() != m_job.expectedSize() || m_keptMap->length != fileLength() ||
        m_keptMap->modified != modifiedTime(m_job.destination))
        return std::nullopt;
    return m_keptMap->map;
}
