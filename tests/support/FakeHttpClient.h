#pragma once

#include <transfer/HttpClient.h>

#include <QByteArray>

#include <deque>
#include <functional>
#include <optional>
#include <vector>

// A scripted HttpClient. Each start() records the request and takes its
// reply from `answer` (or, without one, the next of `replies`). Everything
// arrives from the event loop, as from the real client: the head, the body
// one block at a time, then the end. `afterRun` runs after each block was
// handled, so a test can act at an exact byte count.
class FakeHttpClient : public HttpClient {
public:
    static constexpr qsizetype BlockSize = 4096;

    struct Reply {
        std::optional<HttpResponse> head;  // nullopt: the request fails before any answer, with `error`
        QByteArray body = {};
        qint64 breakAfter = -1;            // the body stops after this many bytes, with `error`
        TransferError error = {TransferError::Origin::Network, 56,
                               QStringLiteral("Failure when receiving data from the peer")};
    };
    // A head with `status`, the body's length and, for 206, its range.
    static Reply reply(int status, const QByteArray &body, qint64 rangeStart = -1, qint64 rangeTotal = -1);

    std::function<Reply(const HttpRequest &request, int index)> answer;
    std::deque<Reply> replies;
    std::vector<HttpRequest> requests;
    std::function<void(int request, qint64 delivered)> afterRun;

    void start(const HttpRequest &request) override;
    void cancel() override;
    // A request is in flight and has not ended.
    bool active() const { return m_active; }

private:
    void step();
    void end(const std::optional<TransferError> &error);

    quint64 m_generation = 0;  // a start or cancel drops every step still queued
    bool m_active = false;
    qint64 m_delivered = -1;   // -1: the head is still to come
    Reply m_reply;
};
