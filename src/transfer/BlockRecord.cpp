#include "BlockRecord.h"

#include <QFile>

#include <cerrno>
#include <sys/xattr.h>

namespace {

constexpr const char *kAttribute = "user.orvanta.blocks";
constexpr const char *kMagic = "orvanta-blocks-1";
// What fits beside other attributes in the space most filesystems give.
constexpr qsizetype kMaxLength = 3500;

} // namespace

int storeBlockRecord(const QString &path, const BlockMap &map)
{
    QByteArray value = QByteArray(kMagic) + ' ' + QByteArray::number(map.fileSize());
    for (const auto &[first, last] : map.goodRuns()) {
        const QByteArray run = ' ' + QByteArray::number(first) + '-' + QByteArray::number(last);
        if (value.size() + run.size() > kMaxLength)
            break;  // the rest is found by the check
        value += run;
    }
    const QByteArray name = QFile::encodeName(path);
    const bool kept = ::setxattr(name.constData(), kAttribute, value.constData(), size_t(value.size()), 0) == 0;
    return kept || errno == ENOTSUP ? 0 : errno;
}

std::optional<BlockMap> loadBlockRecord(const QString &path, qint64 fileSize)
{
    const QByteArray name = QFile::encodeName(path);
    QByteArray value(kMaxLength, Qt::Uninitialized);
    const ssize_t length = ::getxattr(name.constData(), kAttribute, value.data(), size_t(value.size()));
    if (length <= 0)
        return std::nullopt;
    const QList<QByteArray> parts = value.left(length).split(' ');
    if (parts.size() < 2 || parts[0] != kMagic || parts[1].toLongLong() != fileSize)
        return std::nullopt;
    BlockMap map(fileSize);
    for (qsizetype i = 2; i < parts.size(); ++i) {
        const QList<QByteArray> ends = parts[i].split('-');
        bool firstOk = false, lastOk = false;
        const qint64 first = ends.value(0).toLongLong(&firstOk), last = ends.value(1).toLongLong(&lastOk);
        if (ends.size() != 2 || !firstOk || !lastOk || first < 0 || last < first || last >= map.blockCount())
            return std::nullopt;
        for (qint64 k = first; k <= last; ++k)
            map.markGood(k);
    }
    return map;
}

void removeBlockRecord(const QString &path)
{
    ::removexattr(QFile::encodeName(path).constData(), kAttribute);
}
