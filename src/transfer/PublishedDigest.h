#pragma once

#include <descriptor/Sha256.h>

#include <QByteArrayView>

#include <optional>

// The SHA-256 of the whole representation as a server publishes it: the
// "sha-256" member of a Repr-Digest field (a byte sequence between colons),
// else the "SHA-256" instance digest of a Digest field (base64). nullopt
// when neither has one of 32 bytes.
std::optional<Sha256Digest> publishedSha256(QByteArrayView reprDigest, QByteArrayView digest);
