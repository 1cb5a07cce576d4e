#include "DescriptorTrailer.h"

#include "util/ReadFully.h"

#include <QtEndian>

#include <cstring>
#include <limits>

namespace {

constexpr qint64 MaxFileSize = qint64(1) << 62;  // keeps every offset sum in range

QByteArrayView signature()
{
    return QByteArrayView(DescriptorTrailer::Signature, 8);
}

bool chunkSizeValid(qint64 chunkSize)
{
    return chunkSize >= BlockSize && chunkSize <= DescriptorTrailer::MaxChunkSize && chunkSize % BlockSize == 0;
}

DescriptorCheck fault(DescriptorFault f, const QString &reason)
{
    return DescriptorCheck{f, reason};
}

// Reads `size` bytes at `offset`; empty when they are not all there.
QByteArray readAt(QFile &file, qint64 offset, qint64 size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    if (!file.seek(offset) || readFully(file, bytes.data(), size) != size)
        return {};
    return bytes;
}

// Where a trailer would start, judged from the header and the end of the
// file; nullopt when the descriptor has none there.
std::optional<qint64> locate(QFile &file, const DescriptorHeader &header, qint64 length)
{
    if (header.fileSize > 0) {
        const qint64 at = trailerOffset(header.fileSize);
        if (length <= at)
            return std::nullopt;
        // Bytes past the list that are not a signature (or its start) were
        // never read by anybody: the first format ignores them.
        const QByteArray start = readAt(file, at, std::min<qint64>(8, length - at));
        return !start.isEmpty() && signature().startsWith(start) ? std::optional<qint64>(at) : std::nullopt;
    }
    if (header.fileSize != DescriptorTrailer::LargeFileMarker)
        return std::nullopt;
    const qint64 minimum = DescriptorTrailer::FixedSize + DescriptorTrailer::FooterSize;
    if (length < DescriptorHeader::CrcListOffset + minimum)
        return std::nullopt;
    const QByteArray last = readAt(file, length - 8, 8);
    if (last.isEmpty())
        return std::nullopt;
    const quint64 stated = qFromLittleEndian<quint64>(last.constData());
    if (stated < quint64(minimum) || stated > quint64(length - DescriptorHeader::CrcListOffset))
        return std::nullopt;
    const qint64 at = length - qint64(stated);
    return readAt(file, at, 8) == signature() ? std::optional<qint64>(at) : std::nullopt;
}

// Hashes the trailer's bytes before its seal and compares.
bool sealHolds(QFile &file, qint64 at, qint64 available)
{
    const qint64 covered = available - 40;
    if (!file.seek(at))
        return false;
    Sha256 seal;
    QByteArray piece(64 * 1024, Qt::Uninitialized);
    for (qint64 done = 0; done < covered;) {
        const qint64 want = std::min<qint64>(piece.size(), covered - done);
        if (readFully(file, piece.data(), want) != want)
            return false;
        seal.add(QByteArrayView(piece.constData(), want));
        done += want;
    }
    const QByteArray stored = readAt(file, at + covered, 32);
    const Sha256Digest digest = seal.finish();
    return stored.size() == 32 && std::memcmp(stored.constData(), digest.data(), 32) == 0;
}

TrailerRead judge(QFile &file, const DescriptorHeader &header, qint64 length, qint64 at)
{
    TrailerRead read;
    const qint64 available = length - at;
    const QByteArray fixed = readAt(file, at, DescriptorTrailer::FixedSize);
    if (available < DescriptorTrailer::FixedSize + DescriptorTrailer::FooterSize || fixed.isEmpty()) {
        read.check = fault(DescriptorFault::TrailerCut,
                           QStringLiteral("The descriptor's hash record is cut short: it holds only %1 bytes.").arg(available));
        return read;
    }
    const auto *p = reinterpret_cast<const uchar *>(fixed.constData());
    const quint64 size = qFromLittleEndian<quint64>(p + 8);
    const qint64 chunkSize = qFromLittleEndian<quint32>(p + 16);
    const qint64 count = qFromLittleEndian<quint32>(p + 20);
    const bool fieldsValid = size >= 1 && size <= quint64(MaxFileSize) && chunkSizeValid(chunkSize)
                             && count == chunkCount(qint64(size), chunkSize);
    const qint64 expected = fieldsValid ? trailerLength(count) : -1;
    const QByteArray last = readAt(file, length - 8, 8);
    const bool lengthHolds = !last.isEmpty() && qFromLittleEndian<quint64>(last.constData()) == quint64(available);
    if (!lengthHolds || !sealHolds(file, at, available) || expected != available) {
        if (fieldsValid && available < expected)
            read.check = fault(DescriptorFault::TrailerCut,
                               QStringLiteral("The descriptor's hash record is cut short: it holds %1 of its %2 bytes.")
                                   .arg(available).arg(expected));
        else
            read.check = fault(DescriptorFault::TrailerDamaged,
                               QStringLiteral("The descriptor's hash record is damaged: its own checksum does not match."));
        return read;
    }
    const qint64 fileSize = qint64(size);
    if (at != trailerOffset(fileSize) || headerSizeField(fileSize) != header.fileSize) {
        read.check = fault(DescriptorFault::TrailerDisagrees,
                           QStringLiteral("The descriptor disagrees with itself: its hash record describes a file of %1 "
                                          "bytes, but its header and checksum list do not.")
                               .arg(fileSize));
        return read;
    }
    DescriptorTrailer trailer;
    trailer.offset = at;
    trailer.fileSize = fileSize;
    trailer.chunkSize = chunkSize;
    trailer.chunkCount = count;
    const QByteArray whole = readAt(file, at + DescriptorTrailer::FixedSize + 32 * count, 32);
    std::memcpy(trailer.fileHash.data(), whole.constData(), 32);
    read.trailer = trailer;
    return read;
}

void putLE64(QByteArray &out, quint64 value)
{
    uchar b[8];
    qToLittleEndian<quint64>(value, b);
    out.append(reinterpret_cast<const char *>(b), 8);
}

void putLE32(QByteArray &out, quint32 value)
{
    uchar b[4];
    qToLittleEndian<quint32>(value, b);
    out.append(reinterpret_cast<const char *>(b), 4);
}

QByteArray digestBytes(const Sha256Digest &d)
{
    return QByteArray(reinterpret_cast<const char *>(d.data()), 32);
}

}  // namespace

qint64 chunkCount(qint64 fileSize, qint64 chunkSize)
{
    return fileSize > 0 && chunkSize > 0 ? (fileSize + chunkSize - 1) / chunkSize : 0;
}

qint64 trailerLength(qint64 chunks)
{
    return DescriptorTrailer::FixedSize + DescriptorTrailer::HashSize * chunks + DescriptorTrailer::FooterSize;
}

qint64 trailerOffset(qint64 fileSize)
{
    return DescriptorHeader::CrcListOffset + 4 * blockCount(fileSize);
}

qint32 headerSizeField(qint64 fileSize)
{
    return fileSize <= std::numeric_limits<qint32>::max() ? qint32(fileSize) : DescriptorTrailer::LargeFileMarker;
}

TrailerRead readTrailer(const QString &path, const DescriptorHeader &header, qint64 length)
{
    QFile file(path);
    if (length < DescriptorHeader::HeaderSize || !file.open(QIODevice::ReadOnly))
        return {};
    const std::optional<qint64> at = locate(file, header, length);
    // The marker with bytes after the header promises a trailer that is not
    // there to be found (the size -1 alone stays the first format's fault).
    if (!at && header.fileSize == DescriptorTrailer::LargeFileMarker && length > DescriptorHeader::HeaderSize)
        return {std::nullopt,
                fault(DescriptorFault::TrailerCut,
                      QStringLiteral("The descriptor marks its file as larger than 2 GiB, but the record of hashes "
                                     "that gives its size is missing or cut short."))};
    if (!at)
        return {};
    return judge(file, header, length, *at);
}

std::optional<Sha256Digest> readChunkHash(QFile &descriptor, const DescriptorTrailer &trailer, qint64 chunk)
{
    if (chunk < 0 || chunk >= trailer.chunkCount)
        return std::nullopt;
    const QByteArray bytes = readAt(descriptor, trailer.chunkHashOffset(chunk), 32);
    if (bytes.isEmpty())
        return std::nullopt;
    Sha256Digest digest;
    std::memcpy(digest.data(), bytes.constData(), 32);
    return digest;
}

TrailerBuilder::TrailerBuilder(qint64 fileSize, qint64 chunkSize) : m_fileSize(fileSize), m_chunkSize(chunkSize) {}

QByteArray TrailerBuilder::head()
{
    QByteArray out(DescriptorTrailer::Signature, 8);
    putLE64(out, quint64(m_fileSize));
    putLE32(out, quint32(m_chunkSize));
    putLE32(out, quint32(chunkCount(m_fileSize, m_chunkSize)));
    m_seal.add(out);
    return out;
}

QByteArray TrailerBuilder::addChunkHash(const Sha256Digest &hash)
{
    const QByteArray out = digestBytes(hash);
    m_seal.add(out);
    return out;
}

QByteArray TrailerBuilder::tail(const Sha256Digest &fileHash)
{
    QByteArray out = digestBytes(fileHash);
    m_seal.add(out);
    out += digestBytes(m_seal.finish());
    putLE64(out, quint64(trailerLength(chunkCount(m_fileSize, m_chunkSize))));
    return out;
}
