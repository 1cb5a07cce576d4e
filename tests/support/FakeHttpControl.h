#pragma once

#include <transfer/HttpControl.h>

#include <QStringList>

#include <deque>
#include <functional>

// A scripted HttpControl: every Execute takes the next scripted response and records what was asked. The hooks
// run where the real control would run window events, so a test can pause, stop or tick timers at exact points.
class FakeHttpControl : public HttpControl {
public:
    struct Response {
        QString header;        // the whole header block; empty = no response
        QByteArray body = {};
        int pendingPolls = 0;  // StillExecuting answers true this many times first
        qint64 failAt = -1;    // the connection breaks once this many body bytes went out
    };
    // "HTTP/1.1 <status> X" with the body's Content-Length and `headers`.
    static Response reply(int status, const QByteArray &body, const QStringList &headers = {});

    std::deque<Response> responses;
    QStringList urls, extraHeaders;  // the URL and extra headers of each Execute
    int cancelCount = 0;
    std::function<void(bool wait)> onEvents;        // in processEvents
    std::function<void(qint64 delivered)> onChunk;  // in GetChunk, before it delivers

    void setURL(const QString &url) override { m_url = url; }
    void setUserName(const QString &) override {}
    void setPassword(const QString &) override {}
    void Execute(const QString &extra = {}) override;
    bool StillExecuting() const override { return m_pollsLeft > 0 && m_pollsLeft--; }
    void Cancel() override { ++cancelCount; m_current = {}; m_delivered = m_pollsLeft = 0; }
    QString requestAddress() const override { return m_url; }
    QString GetHeader() const override { return m_current.header; }
    QString GetHeader(const QString &name) const override;
    QString failureText() const override { return {}; }
    Chunk GetChunk(qsizetype size, const std::function<bool()> &interrupted = {}) override;
    void processEvents(bool wait) override { if (onEvents) onEvents(wait); }

private:
    QString m_url;
    Response m_current;
    mutable int m_pollsLeft = 0;
    qint64 m_delivered = 0;
};
