#include "ChunkVerifier.h"

std::optional<QString> ChunkVerifier::begin(const QString &ddfPath, const DescriptorTrailer &trailer)
{
    end();
    m_trailer = trailer;
    m_descriptor.setFileName(ddfPath);
    if (!m_descriptor.open(QIODevice::ReadOnly))
        return m_descriptor.errorString();
    return std::nullopt;
}

void ChunkVerifier::end()
{
    m_descriptor.close();
    m_chunk = -1;
    m_hashedEnd = 0;
    m_confirmed = 0;
    m_hash.finish();
}

std::optional<ChunkVerifier::BadChunk> ChunkVerifier::written(qint64 offset, QByteArrayView data)
{
    if (!active())
        return std::nullopt;
    std::optional<BadChunk> bad;
    while (!data.isEmpty()) {
        const qint64 chunk = m_trailer.chunkOf(offset);
        const qint64 chunkEnd = m_trailer.chunkEnd(chunk);
        const qsizetype take = qsizetype(std::min<qint64>(data.size(), chunkEnd - offset));
        if (offset == m_trailer.chunkStart(chunk)) {
            m_chunk = chunk;  // a chunk entered at its start: hash it from here
            m_hashedEnd = offset;
            m_hash.finish();
        }
        if (chunk == m_chunk && offset == m_hashedEnd) {
            m_hash.add(data.first(take));
            m_hashedEnd += take;
            if (m_hashedEnd == chunkEnd && !bad)
                bad = completeChunk();
            else if (m_hashedEnd == chunkEnd)
                completeChunk();
        } else {
            m_chunk = -1;  // a gap or a jump: this chunk cannot be judged here
        }
        offset += take;
        data = data.sliced(take);
    }
    return bad;
}

std::optional<ChunkVerifier::BadChunk> ChunkVerifier::completeChunk()
{
    const qint64 chunk = m_chunk;
    m_chunk = -1;
    const Sha256Digest digest = m_hash.finish();
    const std::optional<Sha256Digest> stored = readChunkHash(m_descriptor, m_trailer, chunk);
    if (stored && *stored == digest) {
        ++m_confirmed;
        return std::nullopt;
    }
    return BadChunk{chunk, m_trailer.chunkStart(chunk), m_trailer.chunkEnd(chunk)};
}
