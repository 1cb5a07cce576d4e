#pragma once

#include "DescriptorHeader.h"

#include <QFile>
#include <QString>

#include <optional>
#include <vector>

// Sequential reader of a descriptor's CRC list, reading the file in large
// pieces rather than four bytes at a time.
class CrcListReader {
public:
    // nullopt on success, else the system's description of the failure.
    std::optional<QString> open(const QString &ddfPath);
    void close();

    // Places the reader at the entry of block `block`.
    void seekBlock(qint64 block);
    // The next entry; nullopt when the descriptor has no entry there (a
    // block that cannot be checked is never good).
    std::optional<quint32> next();

    // Entries read per piece (64 KiB).
    static constexpr qint64 PieceEntries = 16384;

private:
    bool readPiece();

    QFile m_file;
    std::vector<quint32> m_entries;   // the piece read ahead
    std::size_t m_index = 0;
    qint64 m_nextBlock = 0;           // block of m_entries[m_index]
    qint64 m_filePos = -1;            // where the file stands; -1 unknown
};
