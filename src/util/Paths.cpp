#include "Paths.h"

#include <QDir>
#include <QFileInfo>
#include <QStorageInfo>

std::optional<qint64> freeDiskSpace(const QString &path)
{
    if (path.isEmpty())
        return std::nullopt;
    QString existing = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    while (!QFileInfo::exists(existing)) {
        const QString parent = QFileInfo(existing).path();
        if (parent == existing)
            return std::nullopt;
        existing = parent;
    }
    const QStorageInfo storage(existing);
    if (!storage.isValid() || !storage.isReady())
        return std::nullopt;
    const qint64 available = storage.bytesAvailable();
    if (available < 0)
        return std::nullopt;
    return available;
}

bool regularFileExists(const QString &path)
{
    return !path.isEmpty() && QFileInfo(path).isFile();
}

namespace {

// Control characters, and the invisible format characters (such as the
// right-to-left override) that make a name read differently than it is.
bool isHidden(QChar c)
{
    return c.category() == QChar::Other_Control || c.category() == QChar::Other_Format;
}

bool isDotsOnly(const QString &name)
{
    return name.count(QLatin1Char('.')) == name.size();
}

}  // namespace

QString safeFileName(const QString &name, const QString &fallback)
{
    qsizetype start = 0;
    for (qsizetype i = 0; i < name.size(); ++i) {
        if (name[i] == QLatin1Char('/') || name[i] == QLatin1Char('\\'))
            start = i + 1;
    }
    QString bare;
    for (qsizetype i = start; i < name.size(); ++i) {
        if (!isHidden(name[i]))
            bare.append(name[i]);
    }
    bare = bare.trimmed();
    // A file name takes at most 255 bytes; shorten the stem so that a short
    // extension survives.
    constexpr qsizetype MaxBytes = 255;
    while (bare.toUtf8().size() > MaxBytes) {
        const qsizetype dot = bare.lastIndexOf(QLatin1Char('.'));
        const qsizetype end = dot > 0 && bare.size() - dot <= 16 ? dot : bare.size();
        const bool pair = end >= 2 && bare[end - 1].isLowSurrogate() && bare[end - 2].isHighSurrogate();
        const qsizetype width = pair ? 2 : 1;
        bare.remove(end - width, width);
    }
    bare = bare.trimmed();
    // Nothing, ".", ".." and the like name no file of their own.
    if (bare.isEmpty() || isDotsOnly(bare))
        return fallback;
    return bare;
}

QString escapeControlCharacters(const QString &text)
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        if (c == QLatin1Char('\\'))
            out += QLatin1String("\\\\");
        else if (isHidden(c) && c.unicode() <= 0xFF)
            out += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
        else if (isHidden(c))
            out += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
        else
            out += c;
    }
    return out;
}
