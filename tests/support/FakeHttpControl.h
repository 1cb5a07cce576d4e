#pragma once

#include <transfer/HttpControl.h>

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <deque>
#include <functional>

// A scripted HttpControl: every Execute takes the next scripted response
// and records what was asked. Events "run" through hooks the test sets, so
// a test can pause, stop or tick timers at exact points of the loop.
class FakeHttpControl : public HttpControl {
public:
    struct Response {
        QString header;             // the whole header block; empty = no response
        QByteArray body;
        qint64 failAt = -1;         // body offset where the transfer fails (-1: never)
        int errorCode = 56;
        QString errorText = QStringLiteral("Failure when receiving data from the peer");
        int pendingPolls = 0;       // StillExecuting answers true this many times first
    };

    // "HTTP/1.1 <status> X" with the given header lines; a Content-Length
    // of the body unless `contentLength` says otherwise ("" leaves it out).
    static Response reply(int status, const QByteArray &body, const QStringList &headers = {},
                          const QString &contentLength = QStringLiteral("auto"));

    std::deque<Response> responses;

    // Recorded calls.
    QStringList urls;          // the URL at each Execute
    QStringList extraHeaders;  // extraHeaders of each Execute
    QString userName;
    QString password;
    int cancelCount = 0;
    int chunkCalls = 0;
    int processEventsCalls = 0;

    // Runs where the real control would run window events: in processEvents
    // and inside GetChunk before it delivers (argument: body bytes already
    // delivered in this response).
    std::function<void(bool wait)> onEvents;
    std::function<void(qint64 delivered)> onChunk;

    void setURL(const QString &url) override { m_url = url; }
    void setUserName(const QString &name) override { userName = name; }
    void setPassword(const QString &pass) override { password = pass; }
    void Execute(const QString &extra = {}) override;
    bool StillExecuting() const override;
    void Cancel() override;
    QString requestAddress() const override { return m_url; }
    QString GetHeader() const override { return m_active ? m_current.header : QString(); }
    QString GetHeader(const QString &name) const override;
    QString failureText() const override { return {}; }
    Chunk GetChunk(qsizetype size, const std::function<bool()> &interrupted = {}) override;
    void processEvents(bool wait) override;

    int executeCount() const { return int(urls.size()); }

private:
    QString m_url;
    Response m_current;
    bool m_active = false;
    mutable int m_pollsLeft = 0;
    qint64 m_delivered = 0;
    QByteArray m_chunk;
};
