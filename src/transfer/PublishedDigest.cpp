#include "PublishedDigest.h"

#include <QByteArray>
#include <QList>

#include <cstring>

namespace {

std::optional<Sha256Digest> fromBase64(QByteArrayView text)
{
    const auto decoded = QByteArray::fromBase64Encoding(text.trimmed().toByteArray(), QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded || decoded.decoded.size() != 32)
        return std::nullopt;
    Sha256Digest digest;
    std::memcpy(digest.data(), decoded.decoded.constData(), 32);
    return digest;
}

// The value of member `name` (compared without case) of a comma-separated
// list of name=value pairs.
std::optional<QByteArray> member(QByteArrayView field, const char *name)
{
    for (const QByteArray &item : field.toByteArray().split(',')) {
        const qsizetype equals = item.indexOf('=');
        if (equals > 0 && item.left(equals).trimmed().compare(name, Qt::CaseInsensitive) == 0)
            return item.mid(equals + 1).trimmed();
    }
    return std::nullopt;
}

}  // namespace

std::optional<Sha256Digest> publishedSha256(QByteArrayView reprDigest, QByteArrayView digest)
{
    if (const std::optional<QByteArray> value = member(reprDigest, "sha-256")) {
        // Structured fields keep the key lower-case and the bytes between colons.
        if (value->size() > 2 && value->startsWith(':') && value->endsWith(':'))
            if (auto d = fromBase64(QByteArrayView(*value).sliced(1, value->size() - 2)))
                return d;
    }
    if (const std::optional<QByteArray> value = member(digest, "sha-256"))
        return fromBase64(*value);
    return std::nullopt;
}
