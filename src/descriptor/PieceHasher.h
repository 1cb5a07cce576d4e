#pragma once

#include "Sha256.h"

#include <QByteArray>

#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

// Buffers for the pieces of a file, used again once the hasher has let go
// of them: fresh memory for every piece would be mapped and zeroed by the
// system each time, which costs more than the copy from the page cache.
class PiecePool {
public:
    // A buffer of `size` bytes that nobody else holds.
    QByteArray take(qsizetype size);
    // Hands a buffer back; it is taken again once it is not shared.
    void give(QByteArray buffer);

private:
    std::vector<QByteArray> m_buffers;
};

// Hashes pieces of a file on worker threads while the caller reads the next
// ones: each piece's own SHA-256 on any of `workers` threads, and, when asked
// for, all pieces in order into one hash of the whole on a thread of its own.
// At most `MaxWaiting` pieces wait, so memory stays bounded by their size.
class PieceHasher {
public:
    static constexpr int MaxWaiting = 6;

    PieceHasher(int workers, bool wholeHash);
    ~PieceHasher();
    PieceHasher(const PieceHasher &) = delete;
    PieceHasher &operator=(const PieceHasher &) = delete;

    // Hands a piece over (shared, not copied); blocks while too many wait.
    void add(const QByteArray &piece);
    // The digest of the oldest piece not yet taken; blocks until it is done.
    // nullopt when every piece given has been taken.
    std::optional<Sha256Digest> takeNext();
    // Pieces given and not yet taken.
    qint64 waiting() const;
    // The hash of every piece given, in order; waits for the last one.
    Sha256Digest finishWhole();

    // Workers for this machine: its cores, at least one.
    static int defaultWorkers();

private:
    void runPieces();
    void runWhole();

    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<std::pair<qint64, QByteArray>> m_pieceQueue;
    std::deque<QByteArray> m_wholeQueue;
    std::map<qint64, Sha256Digest> m_done;
    qint64 m_nextIndex = 0;   // index of the next piece given
    qint64 m_nextTaken = 0;   // index of the next digest taken
    bool m_stopping = false;
    bool m_wholeHash;
    Sha256 m_whole;
    std::vector<std::thread> m_threads;
};
