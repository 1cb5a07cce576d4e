#include "DescriptorWriter.h"

#include "DescriptorTrailer.h"
#include "PieceHasher.h"

#include "util/ReadFully.h"

#include <QFile>
#include <QSaveFile>
#include <QtEndian>

#include <limits>

namespace {

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

QString writeFailure(const QString &path, const QFileDevice &out)
{
    return QStringLiteral("cannot write %1: %2").arg(path, out.errorString());
}

// Streams the CRC list and, when `hasher` is given, the chunk hashes into
// `out`: the list in order, each chunk's hash at its place in the trailer as
// soon as it is known (the pieces read are the chunks).
class DescriptorStream {
public:
    DescriptorStream(QSaveFile &out, const QString &outPath, float version, PieceHasher *hasher,
                     TrailerBuilder *trailer, qint64 trailerAt)
        : m_out(out), m_outPath(outPath), m_version(version), m_hasher(hasher), m_trailer(trailer),
          m_hashAt(trailerAt + DescriptorTrailer::FixedSize), m_listAt(DescriptorHeader::CrcListOffset)
    {
    }

    std::optional<QString> addPiece(const QByteArray &piece)
    {
        QByteArray crcs;
        crcs.reserve(piece.size() / BlockSize * 4 + 4);
        appendCrcs(crcs, piece, m_version);
        if (!writeAt(m_listAt, crcs))
            return writeFailure(m_outPath, m_out);
        m_listAt += crcs.size();
        if (!m_hasher)
            return std::nullopt;
        m_hasher->add(piece);
        return drain(PieceHasher::MaxWaiting - 1);
    }

    // Writes the hashes of finished pieces until at most `keep` wait.
    std::optional<QString> drain(qint64 keep)
    {
        while (m_hasher && m_hasher->waiting() > keep) {
            const QByteArray bytes = m_trailer->addChunkHash(*m_hasher->takeNext());
            if (!writeAt(m_hashAt, bytes))
                return writeFailure(m_outPath, m_out);
            m_hashAt += bytes.size();
        }
        return std::nullopt;
    }

    bool writeAt(qint64 offset, const QByteArray &bytes)
    {
        return (m_out.pos() == offset || m_out.seek(offset)) && m_out.write(bytes) == bytes.size();
    }

    qint64 hashEnd() const { return m_hashAt; }

private:
    QSaveFile &m_out;
    const QString &m_outPath;
    float m_version;
    PieceHasher *m_hasher;
    TrailerBuilder *m_trailer;
    qint64 m_hashAt;
    qint64 m_listAt;
};

}  // namespace

std::optional<QString> writeDescriptorFile(const QString &dataPath, const QString &outPath, DescriptorHeader header,
                                           const std::function<void(qint64, qint64)> &progress, DescriptorFormat format)
{
    QFile data(dataPath);
    if (!data.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return QStringLiteral("cannot read %1: %2").arg(dataPath, data.errorString());
    const qint64 total = data.size();
    const bool withHashes = format == DescriptorFormat::WithHashes;
    if (total > MaxFileSize && !withHashes)
        return QStringLiteral("%1 is %2 bytes; a descriptor without hashes describes at most %3 bytes")
            .arg(dataPath).arg(total).arg(MaxFileSize);
    header.fileSize = headerSizeField(total);
    const std::optional<QByteArray> headerBytes = header.toBytes();
    if (!headerBytes)
        return QStringLiteral("a header text is longer than 256 bytes or not encodable in Windows-1252");

    QSaveFile out(outPath);
    if (!out.open(QIODevice::WriteOnly))
        return writeFailure(outPath, out);
    if (out.write(*headerBytes) != headerBytes->size())
        return writeFailure(outPath, out);

    const qint64 pieceSize = DescriptorTrailer::DefaultChunkSize;  // one chunk per piece
    std::optional<PieceHasher> hasher;
    std::optional<TrailerBuilder> trailer;
    if (withHashes) {
        hasher.emplace(PieceHasher::defaultWorkers(), true);
        trailer.emplace(total, pieceSize);
    }
    const qint64 trailerAt = trailerOffset(total);
    DescriptorStream stream(out, outPath, header.version, hasher ? &*hasher : nullptr, trailer ? &*trailer : nullptr,
                            trailerAt);
    if (trailer && !stream.writeAt(trailerAt, trailer->head()))
        return writeFailure(outPath, out);
    PiecePool pool;
    qint64 done = 0;
    while (done < total) {
        const qint64 want = std::min(pieceSize, total - done);
        QByteArray piece = pool.take(want);  // the hasher may still hold the last ones
        const qint64 got = readFully(data, piece.data(), want);
        if (got != want)
            return QStringLiteral("cannot read %1: %2")
                .arg(dataPath, got < 0 ? data.errorString() : QStringLiteral("the file became shorter while it was read"));
        if (auto failure = stream.addPiece(piece))
            return failure;
        pool.give(std::move(piece));
        done += want;
        if (progress)
            progress(done, total);
    }
    char extra;
    if (data.read(&extra, 1) > 0)
        return QStringLiteral("cannot read %1: the file grew while it was read").arg(dataPath);
    if (trailer) {
        if (auto failure = stream.drain(0))
            return failure;
        if (!stream.writeAt(stream.hashEnd(), trailer->tail(hasher->finishWhole())))
            return writeFailure(outPath, out);
    }
    if (!out.commit())
        return writeFailure(outPath, out);
    return std::nullopt;
}
