#pragma once

// A descriptor writer sharing no code with the program's, with its own
// CRC-32 as the reference the program's paths are tested against.

#include "descriptor/DescriptorHeader.h"

#include <QByteArray>
#include <QFile>
#include <QRandomGenerator>

#include <openssl/evp.h>

#include <algorithm>
#include <bit>
#include <optional>
#include <vector>

namespace descriptortest {

// CRC-32 the slowest way: bit by bit.
inline quint32 crc32Reference(const void *data, std::size_t length)
{
    const auto *p = static_cast<const unsigned char *>(data);
    quint32 c = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < length; ++i) {
        c ^= p[i];
        for (int k = 0; k < 8; ++k)
            c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
    }
    return c ^ 0xFFFFFFFFu;
}

inline void pushLE(QByteArray &out, quint64 value, int bytes = 4)
{
    for (int i = 0; i < bytes; ++i)
        out.append(char(value >> (8 * i)));
}

struct Header {
    qint16 startParam = 0;
    qint32 fileSize = 0;
    QByteArray information = {}, fileName = {};
    std::vector<QByteArray> servers = {};  // unused slots: 256 zero bytes
    float version = 1.2f;
};

inline QByteArray headerBytes(const Header &h)
{
    QByteArray out;
    pushLE(out, quint16(h.startParam), 2);
    pushLE(out, quint32(h.fileSize));
    out += h.information.leftJustified(256, ' ', true) + h.fileName.leftJustified(256, ' ', true);
    for (std::size_t i = 0; i < 10; ++i)
        out += i < h.servers.size() ? h.servers[i].leftJustified(256, ' ', true) : QByteArray(256, '\0');
    pushLE(out, std::bit_cast<quint32>(h.version));
    return out;
}

// Header (FileSize from `data`) followed by the CRC of every 4096-byte block.
inline QByteArray descriptor(Header h, const QByteArray &data)
{
    h.fileSize = qint32(data.size());
    QByteArray out = headerBytes(h);
    for (qsizetype at = 0; at < data.size(); at += 4096) {
        const qsizetype n = std::min<qsizetype>(4096, data.size() - at) - (h.version < 1.2f ? 1 : 0);
        pushLE(out, crc32Reference(data.constData() + at, std::size_t(n)));
    }
    return out;
}

// A SHA-256 by OpenSSL's one-shot call, apart from the program's wrapper.
inline QByteArray sha256Reference(QByteArrayView data)
{
    unsigned char digest[32];
    unsigned int length = 0;
    EVP_Digest(data.data(), std::size_t(data.size()), digest, &length, EVP_sha256(), nullptr);
    return QByteArray(reinterpret_cast<const char *>(digest), 32);
}

// The strong-hash trailer of a file whose chunk hashes are `chunkHashes`
// (32 bytes each): signature, size, chunk size, count, hashes, whole-file
// hash, seal over all of that, and the trailer's own length.
inline QByteArray trailerFromHashes(quint64 size, quint32 chunkSize, const QByteArray &chunkHashes, const QByteArray &fileHash)
{
    QByteArray out("OVDXSHA2");
    pushLE(out, size, 8);
    pushLE(out, chunkSize);
    pushLE(out, quint32(chunkHashes.size() / 32));
    out += chunkHashes + fileHash;
    out += sha256Reference(out);
    pushLE(out, quint64(out.size() + 8), 8);
    return out;
}

// The trailer of `data` in chunks of `chunkSize` bytes; `fileHash`, when
// given, stands in for the whole file's.
inline QByteArray trailerOf(const QByteArray &data, quint32 chunkSize = 1024 * 1024, const QByteArray &fileHash = {})
{
    QByteArray hashes;
    for (qsizetype at = 0; at < data.size(); at += chunkSize)
        hashes += sha256Reference(QByteArrayView(data).sliced(at, std::min<qsizetype>(chunkSize, data.size() - at)));
    return trailerFromHashes(quint64(data.size()), chunkSize, hashes, fileHash.isEmpty() ? sha256Reference(data) : fileHash);
}

// A block of other content with the same CRC-32 as `block`: the CRC's own
// polynomial (x^32 + ..., 33 bits in the reflected bit order) added at `at`
// leaves the remainder as it was.
inline QByteArray forgedBlock(const QByteArray &block, qsizetype at = 0)
{
    QByteArray forged = block;
    const char polynomial[] = {'\x41', '\x06', '\x71', '\xDB', '\x01'};
    for (qsizetype i = 0; i < 5; ++i)
        forged[at + i] = char(forged[at + i] ^ polynomial[i]);
    return forged;
}

inline QByteArray randomBytes(qsizetype size, quint32 seed)
{
    QByteArray out(size, Qt::Uninitialized);
    QRandomGenerator gen(seed);
    std::generate(out.begin(), out.end(), [&] { return char(gen.generate()); });
    return out;
}

inline bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

inline QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

}  // namespace descriptortest

// The descriptor of `data` for the program's header type (FileSize taken
// from `data`), for tests that build jobs from one; the CRC list is the
// reference's. nullopt when a header text does not fit its field.
inline std::optional<QByteArray> buildDescriptor(DescriptorHeader header, const QByteArray &data)
{
    header.fileSize = qint32(data.size());
    std::optional<QByteArray> bytes = header.toBytes();
    if (bytes)
        *bytes += descriptortest::descriptor({.version = header.version}, data).sliced(DescriptorHeader::HeaderSize);
    return bytes;
}
