#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>

#include <array>
#include <optional>

// Bytes per checked block of a described file; block k covers bytes
// BlockSize * k up to BlockSize * (k + 1) - 1, the last one may be shorter.
inline constexpr qint64 BlockSize = 4096;  // one value for every reader and writer

// The descriptor header: 3082 bytes, little-endian, texts of 256
// Windows-1252 bytes. The CRC list that follows stays in the file.
struct DescriptorHeader {
    static constexpr int HeaderSize = 3082;
    static constexpr int TextSize = 256;
    static constexpr int ServerSlots = 10;
    // File offset of the CRC list: entry k (of block k) at CrcListOffset + 4k.
    static constexpr qint64 CrcListOffset = HeaderSize;

    qint16 startParam = 0;     // -1 true, 0 false
    qint32 fileSize = 0;
    QString information;       // 256 characters each, as stored
    QString fileName;
    std::array<QString, ServerSlots> servers;
    float version = 0.0f;

    // Reads the header field by field; bytes missing from a short input
    // read as zero (the version rule then refuses it).
    static DescriptorHeader fromBytes(QByteArrayView bytes);
    // Writes the header; texts are padded with spaces (server slots that are
    // empty text become 256 zero bytes). nullopt when a text is longer than
    // 256 bytes or not encodable.
    std::optional<QByteArray> toBytes() const;
};

// Reads the header of the descriptor at `path`; nullopt with `error` set
// (the system's description) when it cannot be opened or read, or names a
// folder or anything else that is not a regular file. A file shorter than a
// header reads as described at fromBytes; `fileLength`, when given, receives
// the descriptor's length in bytes so that the CRC list can be judged
// (DescriptorCheck.h).
std::optional<DescriptorHeader> readDescriptorHeader(const QString &path, QString *error,
                                                     qint64 *fileLength = nullptr);

// Number of blocks of a file of `fileSize` bytes (0 for none or less).
qint64 blockCount(qint64 fileSize);

// The CRC-32 of one block under the descriptor's version rule: below 1.2 the
// block's last byte is left out. Compared with the list entry as 32 bits.
quint32 blockCrc32(QByteArrayView block, float version);

// Leading and trailing spaces removed (spaces only, not zero characters).
QString trimSpaces(const QString &text);

// Versions below 1.04 (as 32-bit floats) are refused.
bool versionAccepted(float version);
// A version field that holds no version at all marks a damaged descriptor,
// not an old one: versions are written with two decimals, so anything that
// is not a finite number from 0.01 to 100 (zero, negative, tiny, huge, NaN)
// is junk.
inline constexpr float MinPlausibleVersion = 0.01f, MaxPlausibleVersion = 100.0f;
bool versionPlausible(float version);
// The shortest text that reads back as the same 32-bit float: a version
// just below 1.04 is not shown as 1.04.
QString versionText(float version);
// From 1.2 on every byte of a block counts; below it the last byte is left out.
bool versionCoversLastByte(float version);

// The server list: entries before the first empty one (empty = nothing left
// after trimming spaces and removing every zero character).
bool isEmptyServerEntry(const QString &entry);
QStringList serverEntries(const DescriptorHeader &record);
// Text before the first "|" (the whole entry without one), trimmed.
QString serverDisplayName(const QString &entry);
// Text between the first and second "|", trimmed; an entry without "|" is
// taken whole as the URL.
QString serverUrl(const QString &entry);
// The URL a download from `entries[index]` uses: a lone entry that starts
// with http:// or https:// is taken whole (zero characters removed,
// trimmed), any other by serverUrl.
QString entryUrl(const QStringList &entries, qsizetype index);
