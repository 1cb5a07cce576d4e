#pragma once

#include "CurlHandles.h"
#include "HttpClient.h"

#include <descriptor/DescriptorHeader.h>

#include <QByteArray>
#include <QElapsedTimer>
#include <QTimer>

#include <map>
#include <memory>

class QSocketNotifier;

// HttpClient on libcurl's multi interface, driven by the Qt event loop the
// way curl's ghiper example drives it from glib: libcurl's sockets are
// watched by QSocketNotifiers and its time-outs by one single-shot QTimer, so
// waiting for the network is waiting for events.
//
// libcurl's write callback copies body bytes into one bounded buffer and
// nothing else; the signals go out after curl_multi_socket_action has
// returned, so a slot may call cancel() or start() (or deleteLater()) freely.
// A run is handed out as soon as whole blocks are in, so the buffer holds
// little; should one read bring more than it can take, the transfer pauses
// (CURL_WRITEFUNC_PAUSE) until the buffer is drained.
//
// When a body fails part-way, its last incomplete block is not handed out:
// a resume fetches it again, and a block-checking reader never sees a short
// block before the end.
//
// Only http and https, also after redirects (at most kMaxRedirects). TLS
// peers are verified against the system's store, or against the CA bundle
// named by the environment variable ORVANTA_CA_BUNDLE (read at every start).
class CurlHttpClient : public HttpClient {
    Q_OBJECT
public:
    static constexpr qsizetype kDefaultBlockSize = ::BlockSize;
    static constexpr qsizetype kDefaultBufferCapacity = qsizetype(4) << 20;
    static constexpr int kMaxRedirects = 10;
    static constexpr int kDefaultStallSeconds = 60;

    explicit CurlHttpClient(QObject *parent = nullptr);
    // `bufferCapacity` is raised to what one libcurl write plus a block needs.
    explicit CurlHttpClient(qsizetype blockSize, qsizetype bufferCapacity = kDefaultBufferCapacity,
                            QObject *parent = nullptr);
    ~CurlHttpClient() override;

    void start(const HttpRequest &request) override;
    void cancel() override;

    // Seconds without a single byte from the server before the request fails
    // with a time-out (also the connect time-out); 0 turns the check off.
    // Applies to the next start().
    void setStallSeconds(int seconds) { m_stallSeconds = seconds; }
    int stallSeconds() const { return m_stallSeconds; }

    qsizetype blockSize() const { return m_blockSize; }
    qsizetype bufferCapacity() const { return m_capacity; }
    // Most bytes held for the reader at once during the current (or last)
    // request, and how often it paused for a full buffer.
    qsizetype peakBufferedBytes() const { return m_peakBuffered; }
    int pauseCount() const { return m_pauseCount; }

private:
    enum class State { Idle, Running, Ended };
    struct SocketWatch {
        QSocketNotifier *read = nullptr;   // owned through Qt parenting
        QSocketNotifier *write = nullptr;
    };

    static int socketCallback(CURL *easy, curl_socket_t socket, int what, void *self, void *socketData);
    static int timerCallback(CURLM *multi, long timeoutMs, void *self);
    static size_t headerCallback(char *data, size_t size, size_t count, void *self);
    static size_t writeCallback(char *data, size_t size, size_t count, void *self);

    bool configure(const HttpRequest &request);
    void watchSocket(curl_socket_t socket, int what);
    void forgetSocket(curl_socket_t socket);
    void socketAction(curl_socket_t socket, int eventMask);
    void readMessages();
    void endRequest(CURLcode result);
    void deliver();
    bool deliverHead(quint64 request);
    bool deliverWholeBlocks(quint64 request);
    void deliverEnd();
    bool headIsFinal() const;
    HttpResponse response() const;
    void resumeReceiving();
    void releaseRequest();
    void checkStall();
    bool isCurrent(quint64 request) const { return m_request == request && m_state != State::Idle; }
    qsizetype buffered() const { return m_end - m_begin; }

    const qsizetype m_blockSize;
    const qsizetype m_capacity;
    const qsizetype m_maxRun;  // longest run handed out at once, whole blocks

    CurlMultiHandle m_multi;
    CurlEasyHandle m_easy;
    CurlHeaderList m_headerList;
    QTimer m_curlTimer;
    // Fails a request that received nothing for m_stallSeconds: libcurl's
    // own low-speed check averages over its window and reacts late. It
    // samples a counter the callbacks bump, so the hot path reads no clock.
    QTimer m_stallTimer;
    // Reports a request that could not even be handed to libcurl, from the
    // event loop rather than from inside start().
    QTimer m_failLater;
    QElapsedTimer m_quietSince;
    quint64 m_activity = 0;  // callbacks seen for the current request
    quint64 m_activitySeen = 0;
    std::map<curl_socket_t, SocketWatch> m_sockets;
    int m_stallSeconds = kDefaultStallSeconds;

    State m_state = State::Idle;
    quint64 m_request = 0;  // bumped by start() and cancel(): a stale delivery stops
    CURLcode m_result = CURLE_OK;
    QByteArray m_statusLine;     // the latest status line, for the reason phrase
    bool m_headComplete = false; // the latest response's head ended (empty line)
    bool m_bodyStarted = false;  // body bytes arrived: that head is the final one
    bool m_headDelivered = false;
    bool m_paused = false;

    std::unique_ptr<char[]> m_buffer;
    qsizetype m_begin = 0;  // bytes [m_begin, m_end) are held for the reader
    qsizetype m_end = 0;
    qsizetype m_peakBuffered = 0;
    int m_pauseCount = 0;
    char m_errorBuffer[CURL_ERROR_SIZE] = {};
};
