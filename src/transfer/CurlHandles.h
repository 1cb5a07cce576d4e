#pragma once

#include "TransferError.h"

#include <curl/curl.h>

#include <memory>

// Owning handles for libcurl objects; each frees its object with the
// matching libcurl call.
struct CurlEasyDeleter {
    void operator()(CURL *easy) const { curl_easy_cleanup(easy); }
};
struct CurlMultiDeleter {
    void operator()(CURLM *multi) const { curl_multi_cleanup(multi); }
};
struct CurlSlistDeleter {
    void operator()(curl_slist *list) const { curl_slist_free_all(list); }
};

using CurlEasyHandle = std::unique_ptr<CURL, CurlEasyDeleter>;
using CurlMultiHandle = std::unique_ptr<CURLM, CurlMultiDeleter>;
using CurlHeaderList = std::unique_ptr<curl_slist, CurlSlistDeleter>;

// Runs curl_global_init once per process, before the first handle exists.
// Not thread-safe by itself; everything here runs on the event loop's thread.
void ensureCurlGlobalInit();

// The failure a libcurl result stands for (defined in TransferError.cpp): origin Tls for certificate and
// handshake results, Protocol for what the exchange itself refused (scheme,
// URL, redirects, a reply libcurl cannot read), Network for the rest. The
// text is curl_easy_strerror's, followed by the error buffer's detail in
// parentheses when that says more. `result` must not be CURLE_OK.
TransferError curlTransferError(CURLcode result, const char *errorBuffer = nullptr);
