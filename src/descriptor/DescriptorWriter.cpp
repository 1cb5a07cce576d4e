#include "DescriptorWriter.h"

#include "util/ReadFully.h"

#include <QFile>
#include <QSaveFile>
#include <QtEndian>

#include <limits>
#include <vector>

namespace {

constexpr qint64 PieceSize = 1024 * 1024;
constexpr qint64 MaxFileSize = std::numeric_limits<qint32>::max();

// Appends the CRC entries of `data`, block by block.
void appendCrcs(QByteArray &out, QByteArrayView data, float version)
{
    for (qint64 at = 0; at < data.size(); at += BlockSize) {
        const QByteArrayView block = data.sliced(at, std::min(BlockSize, data.size() - at));
        uchar entry[4];
        qToLittleEndian<quint32>(blockCrc32(block, version), entry);
        out.append(reinterpret_cast<const char *>(entry), 4);
    }
}

}  // namespace

std::optional<QString> writeDescriptorFile(const QString &dataPath, const QString &outPath, DescriptorHeader header,
                                           const std::function<void(qint64, qint64)> &progress)
{
    QFile data(dataPath);
    if (!data.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return QStringLiteral("cannot read %1: %2").arg(dataPath, data.errorString());
    const qint64 total = data.size();
    if (total > MaxFileSize)
        return QStringLiteral("%1 is %2 bytes; a descriptor describes at most %3 bytes")
            .arg(dataPath).arg(total).arg(MaxFileSize);
    header.fileSize = qint32(total);
    const std::optional<QByteArray> headerBytes = header.toBytes();
    if (!headerBytes)
        return QStringLiteral("a header text is longer than 256 bytes or not encodable in Windows-1252");

    QSaveFile out(outPath);
    if (!out.open(QIODevice::WriteOnly))
        return QStringLiteral("cannot write %1: %2").arg(outPath, out.errorString());
    if (out.write(*headerBytes) != headerBytes->size())
        return QStringLiteral("cannot write %1: %2").arg(outPath, out.errorString());

    std::vector<char> piece(std::size_t(std::min(PieceSize, std::max<qint64>(total, 1))));
    QByteArray crcs;
    crcs.reserve(PieceSize / BlockSize * 4);
    qint64 done = 0;
    while (done < total) {
        const qint64 want = std::min(PieceSize, total - done);
        const qint64 got = readFully(data, piece.data(), want);
        if (got != want)
            return QStringLiteral("cannot read %1: %2")
                .arg(dataPath, got < 0 ? data.errorString() : QStringLiteral("the file became shorter while it was read"));
        crcs.clear();
        appendCrcs(crcs, QByteArrayView(piece.data(), want), header.version);
        if (out.write(crcs) != crcs.size())
            return QStringLiteral("cannot write %1: %2").arg(outPath, out.errorString());
        done += want;
        if (progress)
            progress(done, total);
    }
    char extra;
    if (data.read(&extra, 1) > 0)
        return QStringLiteral("cannot read %1: the file grew while it was read").arg(dataPath);
    if (!out.commit())
        return QStringLiteral("cannot write %1: %2").arg(outPath, out.errorString());
    return std::nullopt;
}
