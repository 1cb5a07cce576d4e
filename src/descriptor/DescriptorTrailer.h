#pragma once

#include "DescriptorCheck.h"
#include "DescriptorHeader.h"
#include "Sha256.h"

#include <QFile>
#include <QString>

#include <optional>

// The record of strong hashes that follows the CRC list of an extended
// descriptor. Readers that know only the header and the CRC list never look
// past the list, so they read such a descriptor as before.
//
// Layout, little-endian, at T = CrcListOffset + 4 * blockCount(size):
//   T+0    8   signature "OVDXSHA2"
//   T+8    8   file size (unsigned 64-bit)
//   T+16   4   chunk size in bytes (a whole number of blocks)
//   T+20   4   chunk count n
//   T+24   32n SHA-256 of every chunk, in order (the last may be shorter)
//   +32n   32  SHA-256 of the whole file
//   +32    32  seal: SHA-256 of the trailer's bytes before it
//   +32    8   the trailer's length, 96 + 32n, so that it is found from the end
// A file larger than the header's signed 32-bit size field can hold gets
// LargeFileMarker there: the header then names no size a reader could take.
struct DescriptorTrailer {
    static constexpr char Signature[9] = "OVDXSHA2";
    static constexpr qint64 FixedSize = 24;        // signature to chunk count
    static constexpr qint64 FooterSize = 72;       // file hash, seal, length
    static constexpr qint64 HashSize = 32;
    static constexpr qint32 LargeFileMarker = -1;
    // 1 MiB = 256 blocks. A chunk's hash costs 32 bytes, 0.003 % of the file,
    // so a 1 TiB file needs 32 MiB of trailer; a forged or damaged chunk costs
    // at most 1 MiB fetched again; and a whole chunk is one read piece of the
    // file checks, small enough to be hashed while still in the CPU's cache.
    static constexpr qint64 DefaultChunkSize = 256 * BlockSize;
    static constexpr qint64 MaxChunkSize = 64 * 1024 * 1024;

    qint64 offset = 0;     // where the trailer starts in the descriptor
    qint64 fileSize = 0;
    qint64 chunkSize = DefaultChunkSize;
    qint64 chunkCount = 0;
    Sha256Digest fileHash{};

    qint64 chunkStart(qint64 chunk) const { return chunk * chunkSize; }
    qint64 chunkEnd(qint64 chunk) const { return std::min(fileSize, (chunk + 1) * chunkSize); }
    qint64 chunkOf(qint64 offsetInFile) const { return offsetInFile / chunkSize; }
    // Descriptor offset of the hash of `chunk`.
    qint64 chunkHashOffset(qint64 chunk) const { return offset + FixedSize + HashSize * chunk; }
};

// Chunks of `chunkSize` bytes a file of `fileSize` bytes takes (0 for none).
qint64 chunkCount(qint64 fileSize, qint64 chunkSize);
// Trailer length for `chunks` chunks.
qint64 trailerLength(qint64 chunks);
// Where the trailer of a file of `fileSize` bytes starts.
qint64 trailerOffset(qint64 fileSize);
// The value the header's size field holds for a file of `fileSize` bytes.
qint32 headerSizeField(qint64 fileSize);

// What a descriptor holds after its CRC list: no trailer (a descriptor of
// the first format, read as such), a trailer, or a trailer that is cut,
// damaged or disagrees with the header (`check` says which, for the user).
struct TrailerRead {
    std::optional<DescriptorTrailer> trailer;
    DescriptorCheck check;
};

// Reads and checks the trailer of the descriptor at `path`, whose header is
// `header` and whose length is `length`. Reads the whole trailer once to
// check its seal; the chunk hashes stay in the file.
TrailerRead readTrailer(const QString &path, const DescriptorHeader &header, qint64 length);

// Reads chunk hashes from an open descriptor by position.
std::optional<Sha256Digest> readChunkHash(QFile &descriptor, const DescriptorTrailer &trailer, qint64 chunk);

// The bytes of a trailer, written in three parts so that the chunk hashes
// can be streamed between them: head(), each chunk's hash through
// addChunkHash(), then tail() with the whole file's hash.
class TrailerBuilder {
public:
    TrailerBuilder(qint64 fileSize, qint64 chunkSize);
    QByteArray head();
    QByteArray addChunkHash(const Sha256Digest &hash);
    QByteArray tail(const Sha256Digest &fileHash);

private:
    Sha256 m_seal;
    qint64 m_fileSize;
    qint64 m_chunkSize;
};
