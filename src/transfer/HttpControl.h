#pragma once

#include <QByteArrayView>
#include <QString>

#include <functional>

// The HTTP control the transfer loop drives (the "Inet1" of the main
// window): one request at a time, headers first, then the body in blocks.
// Everything runs on the caller's thread inside its event loop.
class HttpControl {
public:
    struct Chunk {
        enum class Status {
            Data,         // `data` holds the next bytes of the body
            End,          // the body has ended; `data` is empty
            Interrupted,  // `interrupted()` turned true while waiting; `data` is empty
            Error,        // the transfer failed; see errorCode and errorText
        };
        Status status = Status::End;
        QByteArrayView data;  // valid until the next call on the control
        int errorCode = 0;    // the engine's own number (libcurl's code for network failures)
        QString errorText;    // the system's description of the failure
    };

    virtual ~HttpControl() = default;

    virtual void setURL(const QString &url) = 0;
    virtual void setUserName(const QString &userName) = 0;
    virtual void setPassword(const QString &password) = 0;

    // Starts a GET of the URL; `extraHeaders` is empty or header lines each
    // ending in CR LF (e.g. "Range: bytes=100-\r\n"). Returns at once; a
    // failure to start surfaces as a finished request with no header.
    virtual void Execute(const QString &extraHeaders = {}) = 0;
    // True until the response headers are in or the request has failed.
    virtual bool StillExecuting() const = 0;
    // Drops the current request; harmless when none runs.
    virtual void Cancel() = 0;
    // The address the data comes from (after redirects), for display.
    virtual QString requestAddress() const = 0;

    // The final response's header block, status line first in the form
    // "HTTP/1.1 NNN Reason" whatever the protocol spoken; empty when there
    // was no response.
    virtual QString GetHeader() const = 0;
    // One header's value; empty when absent.
    virtual QString GetHeader(const QString &name) const = 0;
    // Why the request failed when it produced no response (empty otherwise).
    virtual QString failureText() const = 0;

    // The next body bytes: exactly `size` bytes unless the body ends first.
    // While it waits the caller's pending events run; when `interrupted`
    // (may be empty) turns true after such a run, it returns Interrupted.
    virtual Chunk GetChunk(qsizetype size, const std::function<bool()> &interrupted = {}) = 0;

    // Runs pending events once, waiting for at least one when `wait` is
    // true (the transfer loop's "let window events run" point). The real
    // control wakes on its own socket activity as well.
    virtual void processEvents(bool wait) = 0;
};
