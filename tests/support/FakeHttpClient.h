#pragma once

#include <transfer/HttpClient.h>

#include <QByteArray>
#include <QTimer>

#include <deque>
#include <functional>
#include <optional>
#include <stdexcept>
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
        int pace = 1;                      // a block every `pace` turns of the event loop (a slow server)
    };
    // A head with `status`, the body's length and, for 206, its range.
    static Reply reply(int status, const QByteArray &body, qint64 rangeStart = -1, qint64 rangeTotal = -1)
    {
        HttpResponse head;
        head.status = status;
        head.contentLength = body.size();
        if (rangeStart >= 0)
            head.rangeStart = rangeStart, head.rangeTotal = rangeTotal;
        return Reply{head, body};
    }

    std::function<Reply(const HttpRequest &request, int index)> answer;
    std::deque<Reply> replies;
    std::vector<HttpRequest> requests;
    std::function<void(int request, qint64 delivered)> afterRun;

    void start(const HttpRequest &request) override
    {
        ++m_generation;
        requests.push_back(request);
        if (!answer && replies.empty())
            throw std::logic_error("FakeHttpClient: no scripted reply left");
        m_reply = answer ? answer(request, int(requests.size()) - 1) : replies.front();
        if (!answer)
            replies.pop_front();
        if (m_reply.head && m_reply.head->effectiveUrl.isEmpty())
            m_reply.head->effectiveUrl = request.url;
        m_active = true;
        m_delivered = -1;
        m_turns = 0;
        step();
    }
    void cancel() override { ++m_generation; m_active = false; }
    // A request is in flight and has not ended.
    bool active() const { return m_active; }

private:
    // Queues the next piece; it runs unless a start or cancel came first.
    void step()
    {
        QTimer::singleShot(0, this, [this, generation = m_generation] {
            if (generation != m_generation)
                return;
            if (m_delivered < 0) {
                m_delivered = 0;
                if (!m_reply.head)
                    return end(m_reply.error);
                emit responseReceived(*m_reply.head);
            } else if (m_reply.pace > 1 && ++m_turns % m_reply.pace != 0) {
                // a slow server: nothing this turn
            } else {
                const qint64 size = m_reply.body.size(), stop = m_reply.breakAfter >= 0 ? std::min(m_reply.breakAfter, size) : size;
                const qint64 n = std::min<qint64>(BlockSize, stop - m_delivered);
                if (n <= 0)
                    return end(stop < size ? std::optional(m_reply.error) : std::nullopt);
                m_delivered += n;
                emit dataReceived(QByteArrayView(m_reply.body).sliced(m_delivered - n, n));
                if (generation == m_generation && afterRun)
                    afterRun(int(requests.size()) - 1, m_delivered);
            }
            if (generation == m_generation)
                step();
        });
    }
    void end(const std::optional<TransferError> &error) { m_active = false; emit finished(error); }

    quint64 m_generation = 0;  // a start or cancel drops every step still queued
    bool m_active = false;
    qint64 m_delivered = -1;   // -1: the head is still to come
    int m_turns = 0;
    Reply m_reply;
};
