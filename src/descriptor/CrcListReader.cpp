#include "CrcListReader.h"

#include "DescriptorHeader.h"

#include "util/ReadFully.h"

#include <QtEndian>

std::optional<QString> CrcListReader::open(const QString &ddfPath)
{
    close();
    m_file.setFileName(ddfPath);
    if (!m_file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return m_file.errorString();
    m_filePos = 0;
    return std::nullopt;
}

void CrcListReader::close()
{
    m_file.close();
    m_entries.clear();
    m_index = 0;
    m_nextBlock = 0;
    m_filePos = -1;
}

void CrcListReader::seekBlock(qint64 block)
{
    if (block == m_nextBlock && m_index < m_entries.size())
        return;  // already there: keep what was read ahead
    m_entries.clear();
    m_index = 0;
    m_nextBlock = block;
}

bool CrcListReader::readPiece()
{
    m_entries.clear();
    m_index = 0;
    if (!m_file.isOpen() || m_nextBlock < 0)
        return false;
    const qint64 offset = DescriptorHeader::CrcListOffset + 4 * m_nextBlock;
    if (m_filePos != offset) {
        if (!m_file.seek(offset)) {
            m_filePos = -1;
            return false;
        }
        m_filePos = offset;
    }
    QByteArray piece(PieceEntries * 4, Qt::Uninitialized);
    const qint64 got = readFully(m_file, piece.data(), piece.size());
    if (got < 0) {
        m_filePos = -1;
        return false;  // a read error: no entry, so the block counts as bad
    }
    m_filePos += got;
    const qint64 count = got / 4;  // a torn last entry is no entry
    m_entries.resize(std::size_t(count));
    const auto *p = reinterpret_cast<const uchar *>(piece.constData());
    for (qint64 i = 0; i < count; ++i)
        m_entries[std::size_t(i)] = qFromLittleEndian<quint32>(p + 4 * i);
    if (got % 4 != 0)
        m_filePos = -1;  // next piece must re-seek to a whole entry
    return count > 0;
}

std::optional<quint32> CrcListReader::next()
{
    if (m_index >= m_entries.size() && !readPiece())
        return std::nullopt;
    ++m_nextBlock;
    return m_entries[m_index++];
}
