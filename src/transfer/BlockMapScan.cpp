#include "BlockMapScan.h"

#include <descriptor/Crc32.h>
#include <descriptor/CrcListReader.h>
#include <util/ReadFully.h>

#include <QFile>

#include <vector>

namespace {

constexpr qint64 PieceBlocks = 256;  // 1 MiB read at a time

bool blockMatches(QFile &data, CrcListReader &crcs, const BlockMap &map, qint64 block, float version)
{
    QByteArray bytes(map.bytesOf(block), Qt::Uninitialized);
    crcs.seekBlock(block);
    const std::optional<quint32> stored = crcs.next();
    return data.seek(block * BlockMap::BlockBytes) && readFully(data, bytes.data(), bytes.size()) == bytes.size() &&
           stored && *stored == quint32(blockCrc32(bytes, version));
}

}  // namespace

BlockMapScanResult scanIntoMap(BlockMap known, const QString &dataPath, const QString &ddfPath, float version,
                               const std::function<void(qint64)> &onProgress, const std::atomic<bool> *cancel)
{
    BlockMapScanResult result{std::move(known), std::nullopt, false};
    BlockMap &map = result.map;
    QFile data(dataPath);
    CrcListReader crcs;
    if (!data.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
        result.error = QStringLiteral("%1: %2").arg(dataPath, data.errorString());
        return result;
    }
    if (const auto error = crcs.open(ddfPath)) {
        result.error = QStringLiteral("%1: %2").arg(ddfPath, *error);
        return result;
    }
    for (const auto &[first, last] : map.goodRuns()) {
        if (!blockMatches(data, crcs, map, first, version)) {
            map = BlockMap(map.fileSize());
            result.knownRejected = true;
            break;
        }
    }
    // Only whole blocks on disk can be good.
    const qint64 length = data.size();
    qint64 present = 0;
    while (present < map.blockCount() && present * BlockMap::BlockBytes + map.bytesOf(present) <= length)
        ++present;
    std::vector<char> piece(size_t(PieceBlocks * BlockMap::BlockBytes));
    bool skipped = true;  // the checksum reader is not where the loop starts
    for (qint64 first = 0; first < present; first += PieceBlocks) {
        if (cancel && cancel->load(std::memory_order_relaxed)) {
            result.cancelled = true;
            return result;
        }
        const qint64 count = std::min(PieceBlocks, present - first);
        qint64 known = 0;
        while (known < count && map.isGood(first + known))
            ++known;
        if (known == count) {
            skipped = true;  // nothing to learn here: not even read
            continue;
        }
        const qint64 bytes = (count - 1) * BlockMap::BlockBytes + map.bytesOf(first + count - 1);
        if (!data.seek(first * BlockMap::BlockBytes) || readFully(data, piece.data(), bytes) != bytes) {
            result.error = QStringLiteral("%1: %2").arg(dataPath, data.errorString());
            return result;
        }
        if (std::exchange(skipped, false))
            crcs.seekBlock(first);
        for (qint64 k = first; k < first + count; ++k) {
            const std::optional<quint32> stored = crcs.next();
            const QByteArrayView block(piece.data() + (k - first) * BlockMap::BlockBytes, map.bytesOf(k));
            if (!map.isGood(k) && stored && *stored == quint32(blockCrc32(block, version)))
                map.markGood(k);
        }
        if (onProgress)
            onProgress((first + count) * BlockMap::BlockBytes);
    }
    return result;
}
