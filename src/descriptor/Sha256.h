#pragma once

#include <QByteArrayView>
#include <QString>

#include <array>
#include <atomic>
#include <memory>
#include <optional>

struct evp_md_ctx_st;

using Sha256Digest = std::array<unsigned char, 32>;

// Incremental SHA-256 through OpenSSL's EVP interface.
class Sha256 {
public:
    Sha256();
    Sha256(Sha256 &&) noexcept = default;
    Sha256 &operator=(Sha256 &&) noexcept = default;
    ~Sha256();

    void add(QByteArrayView data);
    // The digest of everything added; the hash starts over afterwards.
    Sha256Digest finish();

    static Sha256Digest of(QByteArrayView data);

private:
    struct Free {
        void operator()(evp_md_ctx_st *ctx) const;
    };
    std::unique_ptr<evp_md_ctx_st, Free> m_ctx;
};

// Lower-case hexadecimal, 64 characters.
QString digestHex(const Sha256Digest &digest);

// The SHA-256 of the file at `path`, read in 1 MiB pieces; nullopt with
// `error` set when it cannot be read or `cancel` turned true.
std::optional<Sha256Digest> sha256OfFile(const QString &path, QString *error, const std::atomic<bool> *cancel = nullptr);
