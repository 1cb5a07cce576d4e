#pragma once

#include "CurlHandles.h"
#include "CurlReceiveBuffer.h"
#include "CurlResponseHeaders.h"
#include "HttpControl.h"

#include <QElapsedTimer>
#include <QObject>
#include <QSocketNotifier>
#include <QString>
#include <QTimer>

#include <map>
#include <memory>
#include <vector>

// The HTTP control on libcurl's multi interface, driven by the Qt event
// loop: libcurl's sockets are watched by QSocketNotifiers and its timeout by
// one single-shot QTimer, so waiting for the network is waiting for events.
// One request at a time; the body is held in a bounded buffer and the
// transfer pauses while that buffer is full.
//
// TLS peers are verified against the system's store, or against the CA
// bundle named by the environment variable ORVANTA_CA_BUNDLE when it is set
// (read at every Execute; the tests use it for their own throw-away CA).
class CurlHttpControl : public QObject, public HttpControl {
    Q_OBJECT
public:
    static constexpr qsizetype kBufferCapacity = qsizetype(4) << 20;
    static constexpr int kMaxRedirects = 10;

    explicit CurlHttpControl(QObject *parent = nullptr);
    ~CurlHttpControl() override;

    void setURL(const QString &url) override;
    void setUserName(const QString &userName) override;
    void setPassword(const QString &password) override;

    void Execute(const QString &extraHeaders = {}) override;
    bool StillExecuting() const override;
    void Cancel() override;
    QString requestAddress() const override;

    QString GetHeader() const override;
    QString GetHeader(const QString &name) const override;
    QString failureText() const override;

    Chunk GetChunk(qsizetype size, const std::function<bool()> &interrupted = {}) override;
    void processEvents(bool wait) override;

    // Seconds without a single byte received before the transfer fails
    // (also the connect time-out); 60 unless set. Applies to the next Execute.
    // Time spent paused for a slow reader does not count; 0 turns the check off.
    void setStallSeconds(int seconds) { m_stallSeconds = seconds; }
    // Body bytes received and not yet handed out, and their high-water mark
    // for the current request; never above kBufferCapacity.
    qsizetype bufferedBytes() const { return m_buffer.size(); }
    qsizetype peakBufferedBytes() const { return m_buffer.peakSize(); }
    // True while the transfer waits for the reader to drain the buffer.
    bool receivePaused() const { return m_paused; }

private:
    struct SocketWatch {
        std::unique_ptr<QSocketNotifier> read;
        std::unique_ptr<QSocketNotifier> write;
    };

    static int socketCallback(CURL *easy, curl_socket_t socket, int what, void *self, void *socketData);
    static int timerCallback(CURLM *multi, long timeoutMs, void *self);
    static size_t headerCallback(char *data, size_t size, size_t count, void *self);
    static size_t writeCallback(char *data, size_t size, size_t count, void *self);

    void watchSocket(curl_socket_t socket, int what);
    void retireNotifier(std::unique_ptr<QSocketNotifier> notifier);
    void socketAction(curl_socket_t socket, int eventMask);
    void drainMessages();
    void finishRequest(CURLcode result);
    void releaseRequest();
    void resumeIfDrained();
    void runEventsIfDue();
    void checkStall();
    QString describe(CURLcode code) const;
    Chunk errorChunk() const;

    CurlMultiHandle m_multi;
    CurlEasyHandle m_easy;
    CurlHeaderList m_headerList;
    QTimer m_timer;
    // Fails a request that received nothing for m_stallSeconds: libcurl's own
    // low-speed check averages over several seconds and reacts late.
    QTimer m_stallTimer;
    QElapsedTimer m_lastActivity;
    std::map<curl_socket_t, SocketWatch> m_sockets;
    // Notifiers libcurl let go of while one of them may still be emitting;
    // destroyed at the next safe point.
    std::vector<std::unique_ptr<QSocketNotifier>> m_retired;

    QString m_url;
    QString m_userName;
    QString m_password;
    QString m_effectiveUrl;
    int m_stallSeconds = 60;

    CurlResponseHeaders m_headers{kMaxRedirects};
    CurlReceiveBuffer m_buffer{kBufferCapacity};
    qsizetype m_handedOut = 0;  // size of the view the last GetChunk returned
    char m_errorBuffer[CURL_ERROR_SIZE] = {};
    bool m_running = false;   // a request is in the multi handle
    bool m_finished = false;  // the request ended (body complete or failed)
    bool m_paused = false;
    CURLcode m_result = CURLE_OK;
    QString m_failure;
    QElapsedTimer m_sinceEvents;
};
