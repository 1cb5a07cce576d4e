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
    char value[512];
    const ssize_t length = ::getxattr(name.constData(), kAttribute, value, sizeof value);
    return length > 0 ? QString::fromUtf8(value, length) : QString();
}

bool storeValidator(const QString &path, const QString &validator)
{
    const QByteArray name = QFile::encodeName(path);
    if (validator.isEmpty())
        return ::removexattr(name.constData(), kAttribute) == 0 || errno == ENODATA;
    const QByteArray value = validator.toUtf8();
    return ::setxattr(name.constData(), kAttribute, value.constData(), size_t(value.size()), 0) == 0;
}
