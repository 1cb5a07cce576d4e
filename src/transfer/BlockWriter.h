#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <optional>

// The destination file of one attempt. Blocks that passed their checks are
// gathered in memory while they are consecutive and written at their offset
// in one go (at most `GatherLimit` bytes wait: a piece that stays in the CPU
// cache is copied into the page cache faster than a larger one). Opening never truncates; a
// failed write leaves what is already on disk in place. A file deleted while
// it is written fails the next write (ENOENT) instead of filling an inode
// nobody can reach.
class BlockWriter {
public:
    static constexpr qsizetype GatherLimit = 256 << 10;

    struct Failure {
        int code = 0;          // errno
        QString description;   // strerror's text
    };

    BlockWriter() = default;
    ~BlockWriter();
    BlockWriter(const BlockWriter &) = delete;
    BlockWriter &operator=(const BlockWriter &) = delete;

    // Opens (creating when absent) for reading and writing.
    std::optional<Failure> open(const QString &path);
    bool isOpen() const { return m_fd >= 0; }

    // Queues `data` for offset `offset`; writes what waits first when the
    // new bytes do not follow it or the limit is reached. A piece of at
    // least `GatherLimit` bytes is written at once, without a copy.
    std::optional<Failure> write(qint64 offset, QByteArrayView data);
    // Writes everything that waits. On failure the unwritten rest is dropped:
    // what was written stays, followed by whatever the file held there before.
    std::optional<Failure> flush();
    // Flushes, then closes; the first failure is returned.
    std::optional<Failure> close();

private:
    std::optional<Failure> writeAt(qint64 offset, QByteArrayView data);

    int m_fd = -1;
    QByteArray m_pending;
    qint64 m_pendingOffset = 0;
};

// Flushes what the system holds of the file at `path` to its device
// (fdatasync), so that a file called complete is complete after a power
// loss as well.
std::optional<BlockWriter::Failure> syncToDevice(const QString &path);

// Truncates the file at `path` to nothing, keeping the file itself; or
// removes it.
std::optional<BlockWriter::Failure> truncateToZero(const QString &path);
std::optional<BlockWriter::Failure> removeFile(const QString &path);
