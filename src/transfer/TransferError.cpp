#include "TransferError.h"

#include "CurlHandles.h"

#include <curl/curl.h>

#include <cerrno>

namespace {

// libcurl results that no amount of waiting mends: the request itself is
// wrong (scheme, URL, credentials) rather than the network.
bool curlResultIsTransient(int code)
{
    switch (code) {
    case CURLE_UNSUPPORTED_PROTOCOL:
    case CURLE_URL_MALFORMAT:
    case CURLE_NOT_BUILT_IN:
    case CURLE_BAD_FUNCTION_ARGUMENT:
    case CURLE_LOGIN_DENIED:
        return false;
    default:
        return true;
    }
}

// A handshake cut short (reset, time-out) and a failed close are the
// network's doing; certificates, keys and ciphers stay wrong until someone
// changes them.
bool tlsResultIsTransient(int code)
{
    return code == CURLE_SSL_CONNECT_ERROR || code == CURLE_SSL_SHUTDOWN_FAILED;
}

// A status that says "later" (server trouble, overload, a slow request)
// rather than "never".
bool httpStatusIsTransient(int status)
{
    return status >= 500 || status == 408 || status == 429;
}

// Path and permission problems stay until the user acts; a full disk or
// quota may clear (files deleted elsewhere), and so may I/O hiccups.
bool diskErrorIsTransient(int error)
{
    switch (error) {
    case EROFS:
    case EACCES:
    case EPERM:
    case ENOENT:
    case ENOTDIR:
    case EISDIR:
    case ENAMETOOLONG:
        return false;
    default:
        return true;
    }
}

TransferError::Origin curlResultOrigin(CURLcode result)
{
    switch (result) {
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SSL_ENGINE_NOTFOUND:
    case CURLE_SSL_ENGINE_SETFAILED:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_USE_SSL_FAILED:
    case CURLE_SSL_ENGINE_INITFAILED:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_SHUTDOWN_FAILED:
    case CURLE_SSL_CRL_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
    case CURLE_SSL_INVALIDCERTSTATUS:
    case CURLE_SSL_CLIENTCERT:
        return TransferError::Origin::Tls;
    case CURLE_UNSUPPORTED_PROTOCOL:
    case CURLE_URL_MALFORMAT:
    case CURLE_TOO_MANY_REDIRECTS:
    case CURLE_WEIRD_SERVER_REPLY:
    case CURLE_HTTP_RETURNED_ERROR:
    case CURLE_RANGE_ERROR:
    case CURLE_BAD_CONTENT_ENCODING:
    case CURLE_HTTP2:
    case CURLE_HTTP2_STREAM:
    case CURLE_HTTP3:
        return TransferError::Origin::Protocol;
    default:
        return TransferError::Origin::Network;
    }
}

}  // namespace

bool TransferError::transient() const
{
    switch (origin) {
    case Origin::Network:
        return curlResultIsTransient(code);
    case Origin::Tls:
        return tlsResultIsTransient(code);
    case Origin::Descriptor:
        return false;
    case Origin::Disk:
        return diskErrorIsTransient(code);
    case Origin::Protocol:
        // A server's status, or else a libcurl result about the exchange.
        return code >= 100 && code <= 599 ? httpStatusIsTransient(code) : curlResultIsTransient(code);
    }
    return true;
}

QString TransferError::numberedText() const
{
    switch (origin) {
    case Origin::Network:
    case Origin::Tls:
    case Origin::Protocol:  // 100 and up: a server's status, not libcurl's
        if (code > 0 && code < 100)
            return QStringLiteral("libcurl error %1: %2").arg(code).arg(text);
        break;
    case Origin::Disk:
        if (code > 0)
            return QStringLiteral("System error %1: %2").arg(code).arg(text);
        break;
    case Origin::Descriptor:
        break;
    }
    return QStringLiteral("Error: ") + text;
}

TransferError curlTransferError(CURLcode result, const char *errorBuffer)
{
    TransferError error;
    error.origin = curlResultOrigin(result);
    error.code = int(result);
    error.text = QString::fromUtf8(curl_easy_strerror(result));
    QString detail = errorBuffer ? QString::fromUtf8(errorBuffer).trimmed() : QString();
    while (detail.endsWith(QLatin1Char('.')))
        detail.chop(1);
    if (!detail.isEmpty() && detail.compare(error.text, Qt::CaseInsensitive) != 0)
        error.text += QStringLiteral(" (") + detail + QLatin1Char(')');
    return error;
}
