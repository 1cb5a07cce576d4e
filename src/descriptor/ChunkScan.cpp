#include "ChunkScan.h"

#include "CrcListReader.h"
#include "PieceHasher.h"

#include "util/ReadFully.h"

#include <QFile>

#include <algorithm>
#include <deque>
#include <limits>

namespace {

// The state of one scan: what it found so far, and the chunks whose hashes
// are still being computed.
class Scan {
public:
    Scan(BlockScanResult &result, const DescriptorTrailer &trailer, QFile &descriptor, bool listAll)
        : m_result(result), m_trailer(trailer), m_descriptor(descriptor), m_listAll(listAll)
    {
    }

    // Marks the good part as ending at `offset` at the latest.
    void endGoodAt(qint64 offset) { m_goodEnd = std::min(m_goodEnd, offset); }
    qint64 goodEnd() const { return m_goodEnd; }
    bool stopped() const { return !m_listAll && m_goodEnd != NoEnd; }

    // `goodUntil`: where the good data ends, the chunk's start for a hash
    // mismatch, the bad block's for a CRC one.
    void badChunk(qint64 chunk, qint64 goodUntil, bool byHash)
    {
        m_result.mismatch = true;
        if (!m_listAll && goodUntil >= m_goodEnd)
            return;  // a scan that stops reports the first bad chunk only
        if (goodUntil < m_goodEnd) {
            m_result.chunkMismatch = byHash;
            if (byHash)
                m_result.entryMissing = false;
        }
        endGoodAt(goodUntil);
        if (m_result.badChunks.size() < MaxListed)
            m_result.badChunks.push_back(chunk);
    }

    // Compares finished hashes until at most `keep` chunks wait.
    void settle(PieceHasher &hasher, qint64 keep)
    {
        while (hasher.waiting() > keep) {
            const qint64 chunk = m_pending.front();
            m_pending.pop_front();
            const Sha256Digest digest = *hasher.takeNext();
            const std::optional<Sha256Digest> stored = readChunkHash(m_descriptor, m_trailer, chunk);
            if (!stored || *stored != digest)
                badChunk(chunk, m_trailer.chunkStart(chunk), true);
        }
    }

    void pending(qint64 chunk) { m_pending.push_back(chunk); }

    static constexpr qint64 NoEnd = std::numeric_limits<qint64>::max();
    static constexpr std::size_t MaxListed = 1000;

private:
    BlockScanResult &m_result;
    const DescriptorTrailer &m_trailer;
    QFile &m_descriptor;
    bool m_listAll;
    qint64 m_goodEnd = NoEnd;
    std::deque<qint64> m_pending;
};

// The first block of `piece` (at file offset `start`) whose CRC differs;
// -1 when all match.
qint64 firstBadBlock(QByteArrayView piece, qint64 start, CrcListReader &crcs, float version, bool *entryMissing,
                     const std::function<void(qint64)> &onBlockGood)
{
    crcs.seekBlock(start / BlockSize);
    for (qint64 at = 0; at < piece.size(); at += BlockSize) {
        const QByteArrayView block = piece.sliced(at, std::min(BlockSize, piece.size() - at));
        const std::optional<quint32> stored = crcs.next();
        if (!stored || *stored != blockCrc32(block, version)) {
            *entryMissing = !stored;
            return start + at;
        }
        if (onBlockGood)
            onBlockGood(start + at + BlockSize);
    }
    return -1;
}

}  // namespace

BlockScanResult scanChunks(const QString &dataPath, const QString &ddfPath, float version,
                           const DescriptorTrailer &trailer, const ChunkScanOptions &options,
                           const std::function<void(qint64)> &onBlockGood, const std::atomic<bool> *cancel)
{
    BlockScanResult result;
    QFile data(dataPath);
    CrcListReader crcs;
    if (!openScanInputs(data, crcs, ddfPath, result))
        return result;
    QFile descriptor(ddfPath);
    if (!descriptor.open(QIODevice::ReadOnly)) {
        result.error = QStringLiteral("%1: %2").arg(ddfPath, descriptor.errorString());
        return result;
    }
    const qint64 length = result.fileLength;
    const bool whole = options.wholeFile && length == trailer.fileSize;
    PieceHasher hasher(options.workers > 0 ? options.workers : PieceHasher::defaultWorkers(), whole);
    Scan scan(result, trailer, descriptor, !options.stopAtFirstBad);
    PiecePool pool;

    for (qint64 chunk = 0; trailer.chunkStart(chunk) < length && !scan.stopped(); ++chunk) {
        const qint64 start = trailer.chunkStart(chunk);
        if (cancel && cancel->load(std::memory_order_relaxed)) {
            result.cancelled = true;
            scan.endGoodAt(start);
            break;
        }
        const qint64 want = std::min(trailer.chunkSize, length - start);
        QByteArray piece = pool.take(want);  // the hasher may still hold the last ones
        const qint64 got = readFully(data, piece.data(), want);
        if (got != want) {
            result.error = QStringLiteral("%1: %2").arg(
                dataPath, got < 0 ? data.errorString() : QStringLiteral("the file became shorter while it was read"));
            scan.endGoodAt(start);
            break;
        }
        bool entryMissing = false;
        const qint64 bad = firstBadBlock(piece, start, crcs, version, &entryMissing, onBlockGood);
        if (bad >= 0) {
            if (bad < scan.goodEnd())
                result.entryMissing = entryMissing;
            scan.badChunk(chunk, bad, false);
            continue;
        }
        // A chunk cut off by the end of a file shorter than described.
        if (start + want < trailer.chunkEnd(chunk)) {
            scan.endGoodAt(start);
            break;
        }
        hasher.add(piece);
        pool.give(std::move(piece));
        scan.pending(chunk);
        scan.settle(hasher, PieceHasher::MaxWaiting - 1);
    }
    scan.settle(hasher, 0);
    result.goodLength = std::min(scan.goodEnd(), length);
    std::sort(result.badChunks.begin(), result.badChunks.end());
    if (whole && !result.mismatch && !result.error && !result.cancelled)
        result.wholeFileMatches = hasher.finishWhole() == trailer.fileHash;
    return result;
}
