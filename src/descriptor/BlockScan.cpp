#include "BlockScan.h"

#include "Crc32.h"
#include "CrcListReader.h"

#include <QFile>

#include <vector>

namespace {
constexpr qint64 PieceSize = 1024 * 1024;  // a whole number of blocks
}  // namespace

bool openScanInputs(QFile &data, CrcListReader &crcs, const QString &ddfPath, BlockScanResult &result)
{
    if (!data.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
        result.error = QStringLiteral("%1: %2").arg(data.fileName(), data.errorString());
        return false;
    }
    if (const auto error = crcs.open(ddfPath)) {
        result.error = QStringLiteral("%1: %2").arg(ddfPath, *error);
        return false;
    }
    result.fileLength = data.size();
    return true;
}

BlockScanResult scanBlocks(const QString &dataPath, const QString &ddfPath, float version,
                           const std::function<void(qint64)> &onBlockGood, const std::atomic<bool> *cancel)
{
    BlockScanResult result;
    QFile data(dataPath);
    CrcListReader crcs;
    if (!openScanInputs(data, crcs, ddfPath, result))
        return result;
    const qint64 length = result.fileLength;

    std::vector<char> piece(std::size_t(std::min(PieceSize, std::max<qint64>(length, 1))));
    qint64 pieceStart = 0, pieceLength = 0;
    qint64 p = 0;
    for (;;) {
        if (p >= length) {
            result.goodLength = length;
            return result;
        }
        const qint64 blockStart = p;
        if (cancel && cancel->load(std::memory_order_relaxed)) {
            result.cancelled = true;
            result.goodLength = blockStart;
            return result;
        }
        p += BlockSize;
        const qint64 blockLength = p < length ? BlockSize : length - blockStart;

        if (blockStart >= pieceStart + pieceLength) {
            pieceStart = blockStart;
            pieceLength = std::min(PieceSize, length - pieceStart);
            qint64 got = 0;
            while (got < pieceLength) {
                const qint64 n = data.read(piece.data() + got, pieceLength - got);
                if (n <= 0) {
                    result.error = QStringLiteral("%1: %2").arg(
                        dataPath, n < 0 ? data.errorString() : QStringLiteral("the file became shorter while it was read"));
                    result.goodLength = blockStart;
                    return result;
                }
                got += n;
            }
        }

        const QByteArrayView block(piece.data() + (blockStart - pieceStart), blockLength);
        const std::optional<quint32> stored = crcs.next();
        if (!stored)
            result.entryMissing = true;
        if (!stored || *stored != quint32(blockCrc32(block, version))) {
            result.mismatch = true;
            result.goodLength = blockStart;
            return result;
        }
        if (onBlockGood)
            onBlockGood(p);
    }
}
