#include "Sha256.h"

#include "util/ReadFully.h"

#include <QFile>

#include <openssl/evp.h>

#include <new>

void Sha256::Free::operator()(evp_md_ctx_st *ctx) const
{
    EVP_MD_CTX_free(ctx);
}

Sha256::Sha256() : m_ctx(EVP_MD_CTX_new())
{
    if (!m_ctx || EVP_DigestInit_ex(m_ctx.get(), EVP_sha256(), nullptr) != 1)
        throw std::bad_alloc();
}

Sha256::~Sha256() = default;

void Sha256::add(QByteArrayView data)
{
    if (!data.isEmpty())
        EVP_DigestUpdate(m_ctx.get(), data.data(), std::size_t(data.size()));
}

Sha256Digest Sha256::finish()
{
    Sha256Digest digest{};
    unsigned int length = 0;
    EVP_DigestFinal_ex(m_ctx.get(), digest.data(), &length);
    EVP_DigestInit_ex(m_ctx.get(), EVP_sha256(), nullptr);
    return digest;
}

Sha256Digest Sha256::of(QByteArrayView data)
{
    Sha256 hash;
    hash.add(data);
    return hash.finish();
}

QString digestHex(const Sha256Digest &digest)
{
    return QString::fromLatin1(QByteArray(reinterpret_cast<const char *>(digest.data()), qsizetype(digest.size())).toHex());
}

std::optional<Sha256Digest> sha256OfFile(const QString &path, QString *error, const std::atomic<bool> *cancel)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
        *error = QStringLiteral("%1: %2").arg(path, file.errorString());
        return std::nullopt;
    }
    Sha256 hash;
    QByteArray piece(1024 * 1024, Qt::Uninitialized);
    for (;;) {
        if (cancel && cancel->load(std::memory_order_relaxed)) {
            *error = QStringLiteral("cancelled");
            return std::nullopt;
        }
        const qint64 got = readFully(file, piece.data(), piece.size());
        if (got < 0) {
            *error = QStringLiteral("%1: %2").arg(path, file.errorString());
            return std::nullopt;
        }
        hash.add(QByteArrayView(piece.constData(), got));
        if (got < piece.size())
            return hash.finish();
    }
}
