#include "ServedFiles.h"

using Kind = ServedFiles::Behaviour::Kind;

QString ServedFiles::reasonPhrase(int status)
{
    switch (status) {
    case 200: return QStringLiteral("OK");
    case 204: return QStringLiteral("No Content");
    case 206: return QStringLiteral("Partial Content");
    case 401: return QStringLiteral("Unauthorized");
    case 404: return QStringLiteral("Not Found");
    case 416: return QStringLiteral("Range Not Satisfiable");
    default: return QStringLiteral("Other");
    }
}

ServedFiles::Answer ServedFiles::answer(int requestIndex, const QString &url, qint64 rangeStart, qint64 rangeEnd) const
{
    const Behaviour b = requestIndex < int(plan.size()) ? plan[size_t(requestIndex)] : Behaviour{};
    Answer a;
    a.breakAfter = b.breakAfter;
    a.stall = b.stall;
    const QString path = url.section(QLatin1Char('?'), 0, 0).section(QLatin1Char('&'), 0, 0);
    switch (b.kind) {
    case Kind::NoAnswer:
        a.answered = false;
        return a;
    case Kind::Status:
        a.status = b.status;
        a.contentLength = 0;
        return a;
    case Kind::Page:
        a.body = b.page;
        a.contentLength = b.page.size();
        return a;
    case Kind::File:
    case Kind::IgnoreRange:
        break;
    }
    if (!files.contains(path)) {
        a.status = 404;
        a.contentLength = 0;
        return a;
    }
    QByteArray file = files.value(path);
    if (b.corruptAt >= 0 && b.corruptAt < file.size())
        file[b.corruptAt] = char(file[b.corruptAt] ^ 0xff);
    const qint64 from = b.kind == Kind::File && rangeStart >= 0 ? rangeStart : 0;
    if (from > 0 && from >= file.size()) {
        a.status = 416;
        a.contentLength = 0;
        a.rangeTotal = file.size();
        return a;
    }
    a.status = rangeStart >= 0 && b.kind == Kind::File ? 206 : 200;
    a.body = b.kind == Kind::File && rangeEnd >= 0 ? file.mid(from, rangeEnd + 1 - from) : file.mid(from);
    a.contentLength = a.body.size();
    if (a.status == 206) {
        a.rangeStart = from;
        a.rangeTotal = file.size();
    }
    return a;
}
