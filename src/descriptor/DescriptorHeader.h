#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>

#include <array>
#include <optional>

// The descriptor header: 3082 bytes, little-endian, texts of 256
// Windows-1252 bytes. The CRC list that follows stays in the file.
struct DescriptorHeader {
    static constexpr int HeaderSize = 3082;
    static constexpr int TextSize = 256;
    static constexpr int ServerSlots = 10;
    static constexpr qint64 CrcListOffset = HeaderSize;  // entry k at 3082 + 4k

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
// (the system's description) when it cannot be opened or read.
std::optional<DescriptorHeader> readDescriptorHeader(const QString &path, QString *error);

// Leading and trailing spaces removed (spaces only, not zero characters).
QString trimSpaces(const QString &text);

// Versions below 1.04 (as 32-bit floats) are refused.
bool versionAccepted(float version);
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
