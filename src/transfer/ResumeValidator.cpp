#include "ResumeValidator.h"

#include <QFile>

#include <cerrno>
#include <sys/xattr.h>

namespace {
constexpr const char *kAttribute = "user.orvanta.validator";
}

QString resumeValidator(const HttpResponse &head)
{
    const QString etag = head.etag.trimmed();
    if (!etag.isEmpty() && !etag.startsWith(QLatin1String("W/")))
        return etag;
    return head.lastModified.trimmed();
}

QString storedValidator(const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    const ssize_t size = ::getxattr(name.constData(), kAttribute, nullptr, 0);
    if (size <= 0)
        return {};
    QByteArray value(size, Qt::Uninitialized);
    const ssize_t length = ::getxattr(name.constData(), kAttribute, value.data(), size_t(value.size()));
    return length > 0 ? QString::fromUtf8(value.constData(), length) : QString();
}

int storeValidator(const QString &path, const QString &validator)
{
    const QByteArray name = QFile::encodeName(path);
    const QByteArray value = validator.toUtf8();
    const bool kept = validator.isEmpty()
                          ? ::removexattr(name.constData(), kAttribute) == 0 || errno == ENODATA
                          : ::setxattr(name.constData(), kAttribute, value.constData(), size_t(value.size()), 0) == 0;
    return kept || errno == ENOTSUP ? 0 : errno;
}
