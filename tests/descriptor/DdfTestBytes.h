#pragma once

// A descriptor writer for tests that shares no code with the program's:
// bytes pushed one by one, CRCs from the one-lookup-per-byte reference.

#include "descriptor/CRC32.h"

#include <QByteArray>
#include <QFile>
#include <QRandomGenerator>
#include <QString>

#include <cstring>
#include <vector>

namespace ddftest {

inline void pushLE(QByteArray &out, quint32 value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.append(char((value >> (8 * i)) & 0xFF));
}

inline void pushText(QByteArray &out, const QByteArray &text, char fill = ' ')
{
    QByteArray field = text.left(256);
    field.append(256 - field.size(), fill);
    out.append(field);
}

inline quint32 floatBits(float f)
{
    quint32 bits;
    std::memcpy(&bits, &f, 4);
    return bits;
}

struct Header {
    qint16 startParam = 0;
    qint32 fileSize = 0;
    QByteArray information;
    QByteArray fileName;
    std::vector<QByteArray> servers;  // unused slots: 256 zero bytes
    float version = 1.2f;
};

inline QByteArray headerBytes(const Header &h)
{
    QByteArray out;
    pushLE(out, quint16(h.startParam), 2);
    pushLE(out, quint32(h.fileSize), 4);
    pushText(out, h.information);
    pushText(out, h.fileName);
    for (int i = 0; i < 10; ++i) {
        if (i < int(h.servers.size()))
            pushText(out, h.servers[i]);
        else
            out.append(256, '\0');
    }
    pushLE(out, floatBits(h.version), 4);
    return out;
}

inline QByteArray crcList(const QByteArray &data, float version)
{
    QByteArray out;
    const bool lastByte = version >= 1.2f;
    for (qsizetype at = 0; at < data.size(); at += 4096) {
        qsizetype n = std::min<qsizetype>(4096, data.size() - at);
        if (!lastByte)
            --n;
        pushLE(out, crc32Reference(data.constData() + at, std::size_t(n)), 4);
    }
    return out;
}

// Header (FileSize from `data`) followed by the CRC list of `data`.
inline QByteArray descriptor(Header h, const QByteArray &data)
{
    h.fileSize = qint32(data.size());
    return headerBytes(h) + crcList(data, h.version);
}

inline QByteArray randomBytes(qsizetype size, quint32 seed)
{
    QRandomGenerator gen(seed);
    QByteArray out(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i)
        out[i] = char(gen.generate() & 0xFF);
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

}  // namespace ddftest
