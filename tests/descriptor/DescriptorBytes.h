#pragma once

// A descriptor writer sharing no code with the program's, with its own
// CRC-32 as the reference the program's paths are tested against.

#include "descriptor/DescriptorHeader.h"

#include <QByteArray>
#include <QFile>
#include <QRandomGenerator>

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

inline void pushLE(QByteArray &out, quint32 value, int bytes = 4)
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
