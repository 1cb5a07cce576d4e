#pragma once

#include "TransferError.h"

#include <descriptor/Sha256.h>

#include <QByteArrayView>
#include <QObject>
#include <QString>

#include <optional>

// One GET as the engine asks for it.
struct HttpRequest {
    QString url;
    // Byte range asked for: none when rangeStart < 0; "bytes=S-" when
    // rangeEnd < 0; "bytes=S-E" (inclusive) otherwise.
    qint64 rangeStart = -1;
    qint64 rangeEnd = -1;
    // Validator sent as If-Range with a range (a strong ETag or an HTTP date);
    // empty sends none.
    QString ifRange;
    QString userName;
    QString password;
};

// The final response's head (after redirects), typed.
struct HttpResponse {
    int status = 0;                      // e.g. 200, 206, 404
    QString reasonPhrase;                // e.g. "Not Found"; may be empty (HTTP/2)
    std::optional<qint64> contentLength; // Content-Length, when announced and valid
    std::optional<qint64> rangeStart;    // first offset of Content-Range "bytes A-B/C"
    std::optional<qint64> rangeTotal;    // C of Content-Range, when it is a number
    QString effectiveUrl;                // where the data comes from, for display
    QString etag;                        // ETag as sent (quotes kept); empty when absent
    QString lastModified;                // Last-Modified as sent; empty when absent
    std::optional<Sha256Digest> sha256;  // the file's SHA-256 from Repr-Digest or Digest, when published
};

// One request at a time, driven by the caller's event loop; no call blocks.
// Order of signals for a request: at most one responseReceived, then zero or
// more dataReceived, then exactly one finished — unless cancel() is called,
// after which nothing more is emitted for that request.
class HttpClient : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~HttpClient() override = default;

    // Starts a request, dropping any running one. Failures to start surface
    // as finished(error) from the event loop, never from inside start().
    virtual void start(const HttpRequest &request) = 0;
    // Drops the current request; harmless when none runs. Safe to call from
    // a slot connected to any of the signals below.
    virtual void cancel() = 0;

signals:
    // The final response head is in (redirects followed).
    void responseReceived(const HttpResponse &response);
    // Body bytes, in runs whose length is a multiple of `blockSize` (given to
    // the client's constructor, 4096 in the program), except the last run of
    // the body, which holds the remainder. `data` is valid only during the
    // emission. The whole body arrives in order, nothing skipped or repeated.
    void dataReceived(QByteArrayView data);
    // The request ended: nullopt when the whole body arrived, otherwise why it
    // failed (network, TLS, protocol). Bytes already delivered stay valid.
    void finished(const std::optional<TransferError> &error);
};
