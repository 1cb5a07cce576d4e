#include "CurlHandles.h"

#include <cstdlib>

void ensureCurlGlobalInit()
{
    static const bool initialised = [] {
        curl_global_init(CURL_GLOBAL_DEFAULT);
        std::atexit(curl_global_cleanup);
        return true;
    }();
    (void)initialised;
}

namespace {

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
