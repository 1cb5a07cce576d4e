#pragma once

#include <descriptor/DescriptorTrailer.h>
#include <descriptor/Sha256.h>

#include <QByteArrayView>
#include <QFile>
#include <QString>

#include <optional>

// Checks chunks of a download against the descriptor's SHA-256 hashes while
// their blocks are written. A chunk whose blocks arrive in order from its
// first one is hashed in memory as they pass, so no byte is read twice; a
// chunk entered anywhere else is left to the next check of the file (the
// engine resumes on chunk boundaries, so only a one-block repair does that).
class ChunkVerifier {
public:
    // Starts over for `trailer` of the descriptor at `ddfPath`; nullopt on
    // success, else why the descriptor cannot be read.
    std::optional<QString> begin(const QString &ddfPath, const DescriptorTrailer &trailer);
    void end();
    bool active() const { return m_descriptor.isOpen(); }

    struct BadChunk {
        qint64 chunk = 0;
        qint64 start = 0;  // file offset of its first byte
        qint64 end = 0;    // one past its last byte
    };
    // `data` (whole blocks) was written at `offset`. Returns the chunk that
    // completed with a hash other than the descriptor's, if any.
    std::optional<BadChunk> written(qint64 offset, QByteArrayView data);
    // Chunks found good in memory since begin().
    qint64 chunksConfirmed() const { return m_confirmed; }

private:
    std::optional<BadChunk> completeChunk();

    QFile m_descriptor;
    DescriptorTrailer m_trailer;
    Sha256 m_hash;
    qint64 m_chunk = -1;     // the chunk being hashed; -1: none
    qint64 m_hashedEnd = 0;  // file offset up to which m_hash has taken it
    qint64 m_confirmed = 0;
};
