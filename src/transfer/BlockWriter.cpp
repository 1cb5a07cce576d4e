#include "BlockWriter.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

BlockWriter::Failure lastFailure()
{
    const int code = errno;
    return {code, QString::fromLocal8Bit(std::strerror(code))};
}

} // namespace

BlockWriter::~BlockWriter() { close(); }

std::optional<BlockWriter::Failure> BlockWriter::open(const QString &path)
{
    if (auto failure = close())
        return failure;
    const QByteArray name = QFile::encodeName(path);
    int fd;
    do {
        fd = ::open(name.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return lastFailure();
    m_fd = fd;
    return std::nullopt;
}

std::optional<BlockWriter::Failure> BlockWriter::write(qint64 offset, QByteArrayView data)
{
    if (m_fd < 0)
        return Failure{EBADF, QString::fromLocal8Bit(std::strerror(EBADF))};
    if (!m_pending.isEmpty() && offset != m_pendingOffset + m_pending.size()) {
        if (auto failure = flush())
            return failure;
    }
    // A piece as large as a gathered write goes out as it is: copying it
    // first would only cost time.
    if (m_pending.isEmpty() && data.size() >= GatherLimit)
        return writeAt(offset, data);
    if (m_pending.isEmpty()) {
        m_pendingOffset = offset;
        m_pending.reserve(GatherLimit);
    }
    m_pending.append(data.data(), data.size());
    if (m_pending.size() >= GatherLimit)
        return flush();
    return std::nullopt;
}

std::optional<BlockWriter::Failure> BlockWriter::flush()
{
    auto failure = writeAt(m_pendingOffset, m_pending);
    m_pending.clear();
    return failure;
}

std::optional<BlockWriter::Failure> BlockWriter::writeAt(qint64 offset, QByteArrayView data)
{
    const char *p = data.data();
    qint64 left = data.size();
    qint64 at = offset;
    std::optional<Failure> failure;
    while (left > 0) {
        const ssize_t n = ::pwrite(m_fd, p, size_t(left), off_t(at));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            failure = lastFailure();
            break;
        }
        if (n == 0) {
            errno = ENOSPC;
            failure = lastFailure();
            break;
        }
        p += n;
        at += n;
        left -= n;
    }
    struct stat status {};
    if (!failure && ::fstat(m_fd, &status) == 0 && status.st_nlink == 0)
        failure = Failure{ENOENT, QStringLiteral("The file was deleted while it was being written")};
    return failure;
}

std::optional<BlockWriter::Failure> BlockWriter::close()
{
    if (m_fd < 0) {
        m_pending.clear();
        return std::nullopt;
    }
    auto failure = flush();
    if (::close(m_fd) != 0 && !failure && errno != EINTR)
        failure = lastFailure();
    m_fd = -1;
    return failure;
}

std::optional<BlockWriter::Failure> syncToDevice(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return lastFailure();
    std::optional<BlockWriter::Failure> failure;
    if (::fdatasync(fd) != 0)
        failure = lastFailure();
    ::close(fd);
    return failure;
}

std::optional<BlockWriter::Failure> truncateToZero(const QString &path)
{
    if (::truncate(QFile::encodeName(path).constData(), 0) != 0)
        return lastFailure();
    return std::nullopt;
}

std::optional<BlockWriter::Failure> removeFile(const QString &path)
{
    if (::unlink(QFile::encodeName(path).constData()) != 0)
        return lastFailure();
    return std::nullopt;
}
