#include "Paths.h"

#include <QDir>
#include <QFileInfo>

#include <sys/statvfs.h>

QString SplitPathPart(const QString &path, bool wantFileName, bool useSlash)
{
    const QChar separator = useSlash ? QLatin1Char('/') : QLatin1Char('\\');
    const qsizetype last = path.lastIndexOf(separator);
    if (last < 0)
        return path;
    return wantFileName ? path.mid(last + 1) : path.left(last + 1);
}

QString AddTrailingBackslash(const QString &path)
{
    return path.endsWith(QLatin1Char('/')) ? path : path + QLatin1Char('/');
}

double GetFreeDiskSpace(const QString &path)
{
    if (path.isEmpty())
        return 0;
    // A file that is still to be created is looked up by its nearest
    // existing folder, which is where it will land.
    QString existing = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    while (!QFileInfo::exists(existing)) {
        const QString parent = QFileInfo(existing).path();
        if (parent == existing)
            return 0;
        existing = parent;
    }
    struct statvfs fs {};
    if (::statvfs(QFile::encodeName(existing).constData(), &fs) != 0)
        return 0;
    return double(fs.f_bavail) * double(fs.f_frsize);
}

bool regularFileExists(const QString &path)
{
    return !path.isEmpty() && QFileInfo(path).isFile();
}
