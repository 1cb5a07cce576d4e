#include "TransferError.h"

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

}  // namespace

bool TransferError::transient() const
{
    switch (origin) {
    case Origin::Network:
        return curlResultIsTransient(code);
    case Origin::Tls:
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
